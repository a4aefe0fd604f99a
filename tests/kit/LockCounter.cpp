// Replaces the C library's lock and semaphore-wait functions in the program
// that links this with ones that count the call on the calling thread and
// then call the library's own (found once, by dlsym with RTLD_NEXT).

#include "LockCounter.h"

#include <cstdio>

#if defined(__SANITIZE_THREAD__)
#define TW_LOCKS_UNMEASURED 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TW_LOCKS_UNMEASURED 1
#endif
#endif

namespace {
thread_local long locks = 0;
thread_local const char* lastLock = "";
}  // namespace

#ifndef TW_LOCKS_UNMEASURED

#include <dlfcn.h>
#include <pthread.h>
#include <semaphore.h>

#include <atomic>
#include <cstdlib>

namespace {

void* next(std::atomic<void*>& slot, const char* name)
{
    void* f = slot.load(std::memory_order_acquire);
    if (f) return f;
    f = dlsym(RTLD_NEXT, name);
    if (!f) {
        std::fprintf(stderr, "LockCounter: the C library has no %s\n", name);
        std::abort();
    }
    slot.store(f, std::memory_order_release);
    return f;
}

// Defines `name`: counts the call, then makes it with the library's
// function of that name.
#define TW_COUNTED(name, params, args, ...) \
    int name params __VA_ARGS__ \
    { \
        lastLock = #name; \
        ++locks; \
        static std::atomic<void*> library{nullptr}; \
        return reinterpret_cast<decltype(&::name)>(next(library, #name)) args; \
    }

}  // namespace

using Deadline = const timespec*;

extern "C" {

TW_COUNTED(pthread_mutex_lock, (pthread_mutex_t * m), (m), noexcept)
TW_COUNTED(pthread_mutex_trylock, (pthread_mutex_t * m), (m), noexcept)
TW_COUNTED(pthread_mutex_timedlock, (pthread_mutex_t * m, Deadline t), (m, t), noexcept)
TW_COUNTED(pthread_mutex_clocklock, (pthread_mutex_t * m, clockid_t c, Deadline t), (m, c, t), noexcept)
TW_COUNTED(pthread_rwlock_rdlock, (pthread_rwlock_t * l), (l), noexcept)
TW_COUNTED(pthread_rwlock_tryrdlock, (pthread_rwlock_t * l), (l), noexcept)
TW_COUNTED(pthread_rwlock_timedrdlock, (pthread_rwlock_t * l, Deadline t), (l, t), noexcept)
TW_COUNTED(pthread_rwlock_clockrdlock, (pthread_rwlock_t * l, clockid_t c, Deadline t), (l, c, t), noexcept)
TW_COUNTED(pthread_rwlock_wrlock, (pthread_rwlock_t * l), (l), noexcept)
TW_COUNTED(pthread_rwlock_trywrlock, (pthread_rwlock_t * l), (l), noexcept)
TW_COUNTED(pthread_rwlock_timedwrlock, (pthread_rwlock_t * l, Deadline t), (l, t), noexcept)
TW_COUNTED(pthread_rwlock_clockwrlock, (pthread_rwlock_t * l, clockid_t c, Deadline t), (l, c, t), noexcept)
// Waits on semaphores are cancellation points: not noexcept.
TW_COUNTED(sem_wait, (sem_t * s), (s))
TW_COUNTED(sem_trywait, (sem_t * s), (s), noexcept)
TW_COUNTED(sem_timedwait, (sem_t * s, Deadline t), (s, t))
TW_COUNTED(sem_clockwait, (sem_t * s, clockid_t c, Deadline t), (s, c, t))

}  // extern "C"

const bool testkit::LockCounter::measured = true;

#else

const bool testkit::LockCounter::measured = false;

#endif

namespace testkit {

LockCounter::LockCounter() : start(locks) {}

long LockCounter::count() const { return locks - start; }

std::string LockCounter::describe() const
{
    const long n = count();
    return n == 0 ? "none" : std::to_string(n) + ", the last " + lastLock;
}

bool LockCounter::noneTaken(const std::string& what) const
{
    if (!measured) {
        std::printf("[ NOT MEASURED ] locks taken %s: ThreadSanitizer replaces the lock functions itself\n",
                    what.c_str());
        return true;
    }
    return count() == 0;
}

}  // namespace testkit
