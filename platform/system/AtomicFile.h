#pragma once
// Files are replaced whole or not at all: the bytes go to a temporary file
// beside the target, every write and the close are checked, and only then is
// the temporary renamed over (or linked to) the target. A failure leaves the
// old file as it was and removes the temporary. Reading goes through
// ReadableFile, so that no reader blocks on what is not a regular file.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace tonewright::system {

// Writes `bytes` as `target`, replacing any file there.
bool WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes);

// Writes `bytes` as `target` only when no file of that name exists; when two
// processes race, one complete file results and the other call returns
// false. An existing file is never touched.
bool WriteFileIfAbsent(const std::filesystem::path& target, std::string_view bytes);

// Whether a reader says so when the file it was asked for does not exist
// (a preference store or a mark that is simply not there yet need not).
enum class IfMissing { quiet, report };

// The whole file (a ReadableFile), or false, bytes untouched, when it cannot
// be read: one "Quarrystone TWR:: ..." line names the file and why, except
// for a missing file read quietly.
bool ReadWholeFile(const std::filesystem::path& file, std::string& bytes, size_t maxBytes = size_t(1) << 30,
                   IfMissing missing = IfMissing::quiet);

}  // namespace tonewright::system
