#include "system/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

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

bool ReadWholeFile(const std::filesystem::path& file, std::string& bytes, size_t maxBytes)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && size_t(st.st_size) <= maxBytes;
    std::string data;
    if (ok) {
        try {
            data.resize(size_t(st.st_size));
        } catch (...) {
            ok = false;
        }
    }
    size_t done = 0;
    while (ok && done < data.size()) {
        const ssize_t n = ::read(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        done += size_t(n);
    }
    ::close(fd);
    if (ok) bytes.swap(data);
    return ok;
}

}  // namespace tonewright::system
