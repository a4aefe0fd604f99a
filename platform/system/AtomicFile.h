#pragma once
// Files are replaced whole or not at all: the bytes go to a temporary file
// beside the target, every write and the close are checked, and only then is
// the temporary renamed over (or linked to) the target. A failure leaves the
// old file as it was and removes the temporary. A target that is a symbolic
// link keeps its link: the file it leads to is the one replaced. Reading
// goes through ReadableFile, so that no reader blocks on what is not a
// regular file.
//
// Threads: every function may be called from any thread; FileLock objects
// belong to the thread that made them.

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace tonewright::system {

// Writes `bytes` as `target`, replacing any file there (through its links).
bool WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes);

// Writes `bytes` as `target` only when no file of that name exists; when two
// processes race, one complete file results and the other call returns
// false. An existing file is never touched.
bool WriteFileIfAbsent(const std::filesystem::path& target, std::string_view bytes);

// Where PlaceFile put the bytes: `file` is empty on failure (`error` holds
// the errno then); `created` tells a new file from one that held them
// already.
struct PlacedFile {
    std::filesystem::path file;
    bool created = false;
    int error = 0;
};
// Puts `bytes` into `folder` as `name` without replacing anything: a file of
// that name holding the same bytes is used as it is; one holding others
// keeps its name and the bytes go to "<stem> 2<ext>", "<stem> 3<ext>", ...
PlacedFile PlaceFile(const std::filesystem::path& folder, const std::string& name, std::string_view bytes);

// Whether a reader says so when the file it was asked for does not exist
// (a preference store or a mark that is simply not there yet need not).
enum class IfMissing { quiet, report };

// The whole file (a ReadableFile), or false, bytes untouched, when it cannot
// be read: one "Quarrystone TWR:: ..." line names the file and why, except
// for a missing file read quietly.
bool ReadWholeFile(const std::filesystem::path& file, std::string& bytes, size_t maxBytes = size_t(1) << 30,
                   IfMissing missing = IfMissing::quiet);
// The same, with the line (without its line end) kept in `said` for the
// caller to show, instead of written to standard error.
bool ReadWholeFile(const std::filesystem::path& file, std::string& bytes, size_t maxBytes, std::string& said);

// An advisory lock (flock) on `file`, made when missing, taken for as long
// as the object lives. Other processes and other FileLock objects of this
// one wait for it; `bound` limits how long this one waits.
class FileLock {
public:
    enum class State { held, busy, failed };
    FileLock(const std::filesystem::path& file, std::chrono::milliseconds bound);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    State state() const { return taken; }

private:
    int fd = -1;
    State taken = State::failed;
};

// Tests only: while set, every write and lock file under `folder` fails as
// on a read-only file system (EROFS); an empty path ends it.
void SimulateReadOnlyFolder(const std::filesystem::path& folder);

}  // namespace tonewright::system
