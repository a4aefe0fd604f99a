#include "dsp/EngineLock.h"

namespace tonewright {

namespace {

thread_local int engineLocksHeld = 0;

struct Deferred {
    void (*fn)(void*);
    void* arg;
};
constexpr int kDeferredSlots = 8;
thread_local Deferred deferred[kDeferredSlots];
thread_local int deferredCount = 0;

void runDeferred()
{
    while (deferredCount > 0) {
        const Deferred next = deferred[--deferredCount];
        next.fn(next.arg);
    }
}
std::atomic<long> violations{0};
std::atomic<const char*> firstViolation{nullptr};

void raiseTo(std::atomic<std::int64_t>& longest, std::int64_t value)
{
    std::int64_t seen = longest.load(std::memory_order_relaxed);
    while (value > seen && !longest.compare_exchange_weak(seen, value, std::memory_order_relaxed)) {
    }
}

}  // namespace

void EngineMutex::lock()
{
    mutex.lock();
    Acquired();
}

bool EngineMutex::try_lock()
{
    if (!mutex.try_lock()) return false;
    Acquired();
    return true;
}

void EngineMutex::Acquired()
{
    ++engineLocksHeld;
    audioHold = false;
    timing = measuring.load(std::memory_order_relaxed);
    if (timing) since = std::chrono::steady_clock::now();
}

void EngineMutex::unlock()
{
    if (timing) {
        const auto held = std::chrono::steady_clock::now() - since;
        raiseTo(audioHold ? longestAudioNs : longestOtherNs,
                std::chrono::duration_cast<std::chrono::nanoseconds>(held).count());
    }
    --engineLocksHeld;
    mutex.unlock();
    if (engineLocksHeld == 0) runDeferred();
}

void EngineMutex::MeasureHolds(bool on)
{
    if (on) {
        longestAudioNs.store(0);
        longestOtherNs.store(0);
    }
    measuring.store(on);
}

double EngineMutex::LongestAudioHold() const { return static_cast<double>(longestAudioNs.load()) * 1e-9; }

double EngineMutex::LongestOtherHold() const { return static_cast<double>(longestOtherNs.load()) * 1e-9; }

bool ThisThreadHoldsEngineLock() { return engineLocksHeld > 0; }

void AfterEngineUnlock(void (*fn)(void*), void* arg)
{
    if (engineLocksHeld == 0) {
        fn(arg);
        return;
    }
    for (int i = 0; i < deferredCount; ++i)
        if (deferred[i].fn == fn && deferred[i].arg == arg) return;
    if (deferredCount == kDeferredSlots) {
        fn(arg);
        return;
    }
    deferred[deferredCount++] = {fn, arg};
}

void CountEngineLockViolation(const char* what)
{
    const char* none = nullptr;
    firstViolation.compare_exchange_strong(none, what);
    violations.fetch_add(1);
}

long EngineLockViolations() { return violations.load(); }

const char* FirstEngineLockViolation() { return firstViolation.load(); }

void ResetEngineLockViolations()
{
    violations.store(0);
    firstViolation.store(nullptr);
}

}  // namespace tonewright
