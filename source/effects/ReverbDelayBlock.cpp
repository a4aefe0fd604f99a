#include "effects/ReverbDelayBlock.h"

#include <algorithm>
#include "dsp/EngineLock.h"

namespace tonewright {

ReverbDelayBlock::ReverbDelayBlock() : buffer(std::make_unique<double[]>(1)) {}

void ReverbDelayBlock::resize(int n)
{
    CheckOffEngineLock("sizing a reverb delay");
    n = std::max(n, 1);
    buffer.reset();
    buffer = std::make_unique<double[]>(static_cast<size_t>(n));
    size = n;
    index = 0;
}

void ReverbDelayBlock::AddTaps(int k, double sign, double* sum, int n) const
{
    // The index read after the first of the n calls, which is the one the
    // run started at (now `index - n`).
    long long p = (static_cast<long long>(index) - n + 1 - k) % size;
    int from = static_cast<int>(p < 0 ? p + size : p);
    for (int at = 0; at < n;) {
        const int count = std::min(n - at, size - from);
        const double* line = buffer.get() + from;
        if (sign > 0.0)
            for (int i = 0; i < count; ++i) sum[at + i] += line[i];
        else
            for (int i = 0; i < count; ++i) sum[at + i] -= line[i];
        from = 0;
        at += count;
    }
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
