#pragma once
// Counts the calls a thread makes that can wait for another thread: locking
// a pthread mutex or read-write lock (plain, try, timed and clock forms) and
// waiting on a semaphore, whatever makes them (std::mutex, std::shared_mutex,
// a library). The program that links this replaces those functions with
// counting ones that call the C library's.
//
// Under ThreadSanitizer, whose runtime replaces them itself, nothing is
// counted: `measured` is false there, and noneTaken() says so on standard
// output instead of passing silently.

#include <string>

namespace testkit {

class LockCounter {
public:
    static const bool measured;

    LockCounter();
    LockCounter(const LockCounter&) = delete;
    LockCounter& operator=(const LockCounter&) = delete;

    // The calls made on this thread since the counter was made (0 where not
    // measured).
    long count() const;
    // "none", or how many and the last one's name ("2, the last
    // pthread_mutex_lock").
    std::string describe() const;
    // True when this thread took none; where locks are not measured, prints
    // a line saying that `what` was not checked and returns true.
    bool noneTaken(const std::string& what) const;

private:
    long start;
};

}  // namespace testkit
