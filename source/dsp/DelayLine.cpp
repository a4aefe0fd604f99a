#include "dsp/DelayLine.h"

#include <cmath>
#include "dsp/AudioThread.h"

namespace tonewright {

namespace {
constexpr double kLongestLine = 1 << 30;
}

bool DelayLine::Allocate(double maxDelay)
{
    if (!std::isfinite(maxDelay) || maxDelay < 0.0 || maxDelay > kLongestLine - 2.0) return false;
    // The deepest read touches index w - floor(d) - 1: it must not reach the
    // sample about to be overwritten.
    const double needed = std::floor(maxDelay) + 2.0;
    int n = 16;
    while (n < needed) n *= 2;
    if (n == length) return false;
    CheckOffAudioThread("allocating a delay line");
    data = std::make_unique<double[]>(static_cast<size_t>(n));  // zeroed
    length = n;
    mask = n - 1;
    return true;
}

void DelayLine::Clear()
{
    if (data) std::fill(data.get(), data.get() + length, 0.0);
}

}  // namespace tonewright
