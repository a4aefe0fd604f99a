#include "effects/ReverbDelayBlock.h"

#include <algorithm>
#include "dsp/AudioThread.h"

namespace tonewright {

ReverbDelayBlock::ReverbDelayBlock() : buffer(std::make_unique<double[]>(1)) {}

void ReverbDelayBlock::resize(int n)
{
    CheckOffAudioThread("sizing a reverb delay");
    n = std::max(n, 1);
    buffer.reset();
    buffer = std::make_unique<double[]>(static_cast<size_t>(n));
    size = n;
    index = 0;
}

void ReverbDelayBlock::Peek(double* y, int n) const
{
    const int first = std::min(n, size - index);
    std::copy_n(buffer.get() + index, first, y);
    std::copy_n(buffer.get(), n - first, y + first);
}

void ReverbDelayBlock::clear_buffer()
{
    std::fill(buffer.get(), buffer.get() + size, 0.0);
    index = 0;
    state = 0.0;
    out = 0.0;
}

}  // namespace tonewright
