// The lock counter the unit's real-time checks rely on: it counts the
// calls that can wait for another thread, made by its own thread.

#include <semaphore.h>

#include <functional>
#include <mutex>
#include <shared_mutex>
#include <thread>

#include "AUHarness.h"
#include "LockCounter.h"

using namespace au_test;

TEST(LockCounter, CountsTheLocksAndSemaphoreWaitsOfItsOwnThreadAndNothingElse)
{
    std::mutex mutex;
    std::timed_mutex timed;
    std::shared_mutex shared;
    sem_t semaphore;
    ASSERT_EQ(sem_init(&semaphore, 0, 8), 0);
    const timespec later{std::time(nullptr) + 5, 0};
    std::atomic<int> value{0};
    const struct {
        const char* what;
        std::function<void()> call;
        long counted;
    } rows[] = {
        {"a mutex locked", [&] { std::lock_guard<std::mutex> lock(mutex); }, 1},
        {"a mutex tried", [&] { if (mutex.try_lock()) mutex.unlock(); }, 1},
        {"a timed mutex tried for a while",
         [&] { if (timed.try_lock_for(std::chrono::seconds(1))) timed.unlock(); }, 1},
        {"a shared lock", [&] { std::shared_lock<std::shared_mutex> lock(shared); }, 1},
        {"an exclusive lock", [&] { std::unique_lock<std::shared_mutex> lock(shared); }, 1},
        {"a semaphore waited on, tried, waited on for a while",
         [&] { sem_wait(&semaphore), sem_trywait(&semaphore), sem_timedwait(&semaphore, &later); }, 3},
        {"atomics, a wake-up and a lock on another thread",
         [&] {
             value.fetch_add(1);
             value.notify_one();
             std::thread([&] { std::lock_guard<std::mutex> lock(mutex); }).join();
         },
         0},
    };
    for (const auto& row : rows) {
        const testkit::LockCounter locks;
        row.call();
        EXPECT_EQ(locks.count(), testkit::LockCounter::measured ? row.counted : 0) << row.what;
        EXPECT_EQ(locks.noneTaken(row.what), row.counted == 0 || !testkit::LockCounter::measured) << row.what;
    }
    sem_destroy(&semaphore);
}

