#include "system/AtomicFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <new>
#include <string>
#include <thread>

#include "system/Diagnostics.h"
#include "system/ReadableFile.h"

namespace tonewright::system {

namespace {

// The longest chain of links followed, as the kernel does (ELOOP beyond).
constexpr int kMostLinks = 40;
// PlaceFile gives up after this many names in use.
constexpr int kMostCopies = 1000;

struct ReadOnlySimulation {
    std::mutex mutex;
    std::filesystem::path folder;
};

ReadOnlySimulation& simulation()
{
    static ReadOnlySimulation s;
    return s;
}

// Whether the tests made `file`'s folder read-only.
bool refused(const std::filesystem::path& file)
{
    ReadOnlySimulation& s = simulation();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.folder.empty()) return false;
    const std::string folder = s.folder.lexically_normal().string(), path = file.lexically_normal().string();
    if (path.compare(0, folder.size(), folder) != 0) return false;
    if (path.size() == folder.size() || folder.back() == '/' || path[folder.size()] == '/') {
        errno = EROFS;
        return true;
    }
    return false;
}

// The file a write to `target` replaces: the end of its chain of links, or
// target itself. Empty (errno ELOOP) for a chain that does not end.
std::filesystem::path resolved(const std::filesystem::path& target)
{
    std::filesystem::path at = target;
    for (int hops = 0; hops <= kMostLinks; ++hops) {
        struct stat st;
        if (::lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return at;
        std::string next(size_t(st.st_size > 0 ? st.st_size : 0) + 256, '\0');
        const ssize_t n = ::readlink(at.c_str(), next.data(), next.size());
        if (n < 0 || size_t(n) >= next.size()) return at;
        next.resize(size_t(n));
        const std::filesystem::path link(next);
        at = link.is_absolute() ? link : at.parent_path() / link;
    }
    errno = ELOOP;
    return {};
}

// Writes the bytes to a fresh temporary file in the target's folder and
// returns its name, or an empty path on any failure (nothing left behind,
// errno telling why).
std::filesystem::path writeTemporary(const std::filesystem::path& target, std::string_view bytes)
{
    if (refused(target)) return {};
    std::string name = target.string() + ".XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return {};
    bool ok = ::fchmod(fd, 0644) == 0;
    int why = ok ? 0 : errno;
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (ok && left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            why = n < 0 ? errno : ENOSPC;
            ok = false;
            break;
        }
        p += n;
        left -= size_t(n);
    }
    if (ok && ::fsync(fd) != 0) ok = false, why = errno;
    if (::close(fd) != 0 && ok) ok = false, why = errno;
    if (!ok) {
        ::unlink(name.c_str());
        errno = why;
        return {};
    }
    return name;
}

}  // namespace

bool WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes)
{
    const auto file = resolved(target);
    if (file.empty()) return false;
    const auto temporary = writeTemporary(file, bytes);
    if (temporary.empty()) return false;
    if (::rename(temporary.c_str(), file.c_str()) != 0) {
        const int why = errno;
        ::unlink(temporary.c_str());
        errno = why;
        return false;
    }
    return true;
}

bool WriteFileIfAbsent(const std::filesystem::path& target, std::string_view bytes)
{
    struct stat st;
    if (::lstat(target.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    const auto temporary = writeTemporary(target, bytes);
    if (temporary.empty()) return false;
    // link() never replaces: of two racing writers exactly one succeeds.
    const bool linked = ::link(temporary.c_str(), target.c_str()) == 0;
    const int why = errno;
    ::unlink(temporary.c_str());
    errno = linked ? 0 : why;
    return linked;
}

PlacedFile PlaceFile(const std::filesystem::path& folder, const std::string& name, std::string_view bytes)
{
    PlacedFile placed;
    const size_t dot = name.rfind('.');
    const bool extension = dot != std::string::npos && dot > 0;
    const std::string stem = extension ? name.substr(0, dot) : name;
    const std::string tail = extension ? name.substr(dot) : std::string();
    int raced = 0;
    for (int n = 1; n <= kMostCopies; ++n) {
        const auto candidate = folder / (n == 1 ? name : stem + " " + std::to_string(n) + tail);
        struct stat st;
        if (::lstat(candidate.c_str(), &st) == 0) {
            std::string held;
            // Only a file of the same size can hold the same bytes.
            if (S_ISREG(st.st_mode) && size_t(st.st_size) == bytes.size() &&
                ReadWholeFile(candidate, held, bytes.size()) && held == bytes) {
                placed.file = candidate;
                return placed;
            }
            continue;
        }
        if (errno != ENOENT) {
            placed.error = errno;
            return placed;
        }
        if (WriteFileIfAbsent(candidate, bytes)) {
            placed.file = candidate;
            placed.created = true;
            return placed;
        }
        const int why = errno;
        // Taken by another writer meanwhile: that name is looked at again.
        if (::lstat(candidate.c_str(), &st) == 0 && ++raced < kMostCopies) {
            --n;
            continue;
        }
        placed.error = why;
        return placed;
    }
    placed.error = EEXIST;
    return placed;
}

namespace {

// Reads the file whole; the reason when it cannot.
const char* readWhole(const ReadableFile& source, std::string& bytes)
{
    if (const char* why = source.refusal()) return why;
    std::string data;
    try {
        data.resize(size_t(source.size()));
        if (!source.read(0, data.data(), data.size())) return "it cannot be read";
    } catch (const std::bad_alloc&) {
        return "there is not enough memory for it";
    }
    bytes.swap(data);
    return nullptr;
}

std::string cannotRead(const std::filesystem::path& file, const char* why)
{
    return "Quarrystone TWR:: Cannot read " + (file.empty() ? std::string("(no path)") : file.string()) + ": " + why +
           ".";
}

}  // namespace

bool ReadWholeFile(const std::filesystem::path& file, std::string& bytes, size_t maxBytes, IfMissing missing)
{
    const ReadableFile source(file, maxBytes);
    const char* why = readWhole(source, bytes);
    if (!why) return true;
    if (!source.missing() || missing == IfMissing::report) Complain(cannotRead(file, why));
    return false;
}

bool ReadWholeFile(const std::filesystem::path& file, std::string& bytes, size_t maxBytes, std::string& said)
{
    const ReadableFile source(file, maxBytes);
    const char* why = readWhole(source, bytes);
    if (!why) return true;
    said = cannotRead(file, why);
    return false;
}

FileLock::FileLock(const std::filesystem::path& file, std::chrono::milliseconds bound)
{
    if (refused(file)) return;
    fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    const auto give = std::chrono::steady_clock::now() + bound;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            taken = State::held;
            return;
        }
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) break;
        if (std::chrono::steady_clock::now() >= give) {
            taken = State::busy;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ::close(fd);
    fd = -1;
}

FileLock::~FileLock()
{
    // Closing the last descriptor releases the lock.
    if (fd >= 0) ::close(fd);
}

void SimulateReadOnlyFolder(const std::filesystem::path& folder)
{
    ReadOnlySimulation& s = simulation();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.folder = folder;
}

}  // namespace tonewright::system
