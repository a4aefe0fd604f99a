#include "system/ReadableFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tonewright::system {

ReadableFile::ReadableFile(const std::filesystem::path& file, uint64_t maxBytes)
{
    if (file.empty()) {
        why = "no path was given";
        return;
    }
    const int opened = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (opened < 0) {
        absent = errno == ENOENT || errno == ENOTDIR;
        why = absent ? "it does not exist" : "it cannot be opened";
        return;
    }
    struct stat st {};
    if (::fstat(opened, &st) != 0) why = "it cannot be examined";
    else if (S_ISDIR(st.st_mode)) why = "it is a folder";
    else if (!S_ISREG(st.st_mode)) why = "it is not a regular file";
    else if (st.st_size < 0 || uint64_t(st.st_size) > maxBytes) why = "it is larger than this reader takes";
    if (why) {
        ::close(opened);
        return;
    }
    fd = opened;
    length = uint64_t(st.st_size);
}

ReadableFile::~ReadableFile()
{
    if (fd >= 0) ::close(fd);
}

bool ReadableFile::read(uint64_t offset, void* dst, size_t n) const
{
    if (fd < 0 || offset > length || n > length - offset) return false;
    auto* out = static_cast<unsigned char*>(dst);
    while (n > 0) {
        const ssize_t got = ::pread(fd, out, n, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        out += got;
        n -= size_t(got);
        offset += uint64_t(got);
    }
    return true;
}

}  // namespace tonewright::system
