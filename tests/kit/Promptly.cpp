#include "Promptly.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>

namespace testkit {

bool ReturnsPromptly(const std::function<void()>& act, const std::vector<std::filesystem::path>& unblock,
                     double seconds)
{
    auto done = std::async(std::launch::async, act);
    const bool prompt = done.wait_for(std::chrono::duration<double>(seconds)) == std::future_status::ready;
    // A reader stuck in open() or read() on a FIFO goes on once a writer
    // comes and goes.
    while (done.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready)
        for (const auto& fifo : unblock)
            if (const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC); fd >= 0) ::close(fd);
    done.get();
    return prompt;
}

bool MakeFifo(const std::filesystem::path& path)
{
    std::error_code ignored;
    std::filesystem::create_directories(path.parent_path(), ignored);
    return ::mkfifo(path.c_str(), 0600) == 0;
}

bool MakeSparseFile(const std::filesystem::path& path, unsigned long long bytes)
{
    std::error_code ignored;
    std::filesystem::create_directories(path.parent_path(), ignored);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const bool sized = ::ftruncate(fd, static_cast<off_t>(bytes)) == 0;
    return ::close(fd) == 0 && sized;
}

}  // namespace testkit
