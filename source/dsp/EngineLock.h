#pragma once
// The engine lock and the check that keeps slow work out from under it.
//
// Threads. `EngineMutex` is an ordinary mutex that also counts, per thread,
// how many engine locks the thread holds. Every slow operation (allocating
// storage, preparing or interning impulses, minimum phase, resampling,
// convolver spectra, waiting for a worker) starts with
// `CheckOffEngineLock("what")`, which counts a violation when the calling
// thread holds an engine lock. The checks are cheap (one thread-local read)
// and run in every build; the count is what tests read. Wake-ups a holder
// asks for are sent after it lets go (`AfterEngineUnlock`).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>

namespace tonewright {

class EngineMutex {
public:
    void lock();
    bool try_lock();
    void unlock();

    // The holder says its hold is one audio block, so that measured holds
    // are kept apart from the other threads' commits and copies.
    void MarkAudioHold() { audioHold = true; }

    // Hold times, for benchmarks: measured only while switched on (two
    // steady-clock reads per hold), longest so far in seconds.
    void MeasureHolds(bool on);
    double LongestAudioHold() const;
    double LongestOtherHold() const;

private:
    void Acquired();

    std::mutex mutex;
    // Written by the holder only.
    bool audioHold = false;
    bool timing = false;
    std::chrono::steady_clock::time_point since;

    std::atomic<bool> measuring{false};
    std::atomic<std::int64_t> longestAudioNs{0};
    std::atomic<std::int64_t> longestOtherNs{0};
};

// True while the calling thread holds at least one engine lock.
bool ThisThreadHoldsEngineLock();
void CountEngineLockViolation(const char* what);

// Called at the top of every slow operation: counts a violation (and keeps
// the first one's name) when the calling thread holds an engine lock.
inline void CheckOffEngineLock(const char* what)
{
    if (ThisThreadHoldsEngineLock()) CountEngineLockViolation(what);
}

// Runs fn(arg) on the calling thread once it has released its last engine
// lock, or at once when it holds none. Waking a worker from under the lock
// would let the woken thread take the holder's processor while every other
// thread waits for the lock. A few such calls per hold are kept (repeats of
// one call are kept once); beyond that they run at once.
void AfterEngineUnlock(void (*fn)(void*), void* arg);

// Violations counted since the start (or the last reset), and the name the
// first of them gave (null when none).
long EngineLockViolations();
const char* FirstEngineLockViolation();
void ResetEngineLockViolations();

}  // namespace tonewright
