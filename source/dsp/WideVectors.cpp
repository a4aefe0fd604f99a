#include "dsp/WideVectors.h"

#include <atomic>

namespace tonewright {

namespace {
std::atomic<bool> allowed{true};
}

bool WideVectors()
{
#ifdef TONEWRIGHT_WIDE_VECTORS
    static const bool have = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return have && allowed.load(std::memory_order_relaxed);
#else
    return false;
#endif
}

void AllowWideVectors(bool allow) { allowed.store(allow, std::memory_order_relaxed); }

}  // namespace tonewright
