#include "Promptly.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace testkit {

bool ReturnsPromptly(const std::function<void()>& act, const std::vector<std::filesystem::path>& unblock,
                     double seconds)
{
    struct Done {
        std::mutex mutex;
        std::condition_variable changed;
        bool finished = false;
    };
    auto done = std::make_shared<Done>();
    std::thread worker([&act, done] {
        act();
        std::lock_guard<std::mutex> lock(done->mutex);
        done->finished = true;
        done->changed.notify_all();
    });
    std::unique_lock<std::mutex> lock(done->mutex);
    const bool prompt = done->changed.wait_for(lock, std::chrono::duration<double>(seconds),
                                               [&] { return done->finished; });
    // A reader stuck in open() or read() on a FIFO goes on once a writer
    // comes and goes.
    while (!done->finished) {
        lock.unlock();
        for (const auto& fifo : unblock) {
            const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) ::close(fd);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        lock.lock();
    }
    lock.unlock();
    worker.join();
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
