#include "system/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <new>
#include <string>

#include "system/ReadableFile.h"

namespace tonewright::system {

namespace {

// Writes the bytes to a fresh temporary file in the target's folder and
// returns its name, or an empty path on any failure (nothing left behind).
std::filesystem::path writeTemporary(const std::filesystem::path& target, std::string_view bytes)
{
    std::string name = target.string() + ".XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return {};
    bool ok = ::fchmod(fd, 0644) == 0;
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (ok && left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        p += n;
        left -= size_t(n);
    }
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        ::unlink(name.c_str());
        return {};
    }
    return name;
}

}  // namespace

bool WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes)
{
    const auto temporary = writeTemporary(target, bytes);
    if (temporary.empty()) return false;
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool WriteFileIfAbsent(const std::filesystem::path& target, std::string_view bytes)
{
    struct stat st;
    if (::lstat(target.c_str(), &st) == 0) return false;
    const auto temporary = writeTemporary(target, bytes);
    if (temporary.empty()) return false;
    // link() never replaces: of two racing writers exactly one succeeds.
    const bool linked = ::link(temporary.c_str(), target.c_str()) == 0;
    ::unlink(temporary.c_str());
    return linked;
}

bool ReadWholeFile(const std::filesystem::path& file, std::string& bytes, size_t maxBytes, IfMissing missing)
{
    const ReadableFile source(file, maxBytes);
    const char* why = source.refusal();
    std::string data;
    if (!why) {
        try {
            data.resize(size_t(source.size()));
            if (!source.read(0, data.data(), data.size())) why = "it cannot be read";
        } catch (const std::bad_alloc&) {
            why = "there is not enough memory for it";
        }
    }
    if (why) {
        if (!source.missing() || missing == IfMissing::report)
            std::fprintf(stderr, "Quarrystone TWR:: Cannot read %s: %s.\n", file.empty() ? "(no path)" : file.c_str(),
                         why);
        return false;
    }
    bytes.swap(data);
    return true;
}

}  // namespace tonewright::system
