#pragma once
// Files are replaced whole or not at all: the bytes go to a temporary file
// beside the target, every write and the close are checked, and only then is
// the temporary renamed over (or linked to) the target. A failure leaves the
// old file as it was and removes the temporary.

#include <filesystem>
#include <string_view>

namespace tonewright::system {

// Writes `bytes` as `target`, replacing any file there.
bool WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes);

// Writes `bytes` as `target` only when no file of that name exists; when two
// processes race, one complete file results and the other call returns
// false. An existing file is never touched.
bool WriteFileIfAbsent(const std::filesystem::path& target, std::string_view bytes);

// The whole file, or false when it cannot be read (or exceeds maxBytes).
bool ReadWholeFile(const std::filesystem::path& file, std::string& bytes, size_t maxBytes = size_t(1) << 30);

}  // namespace tonewright::system
