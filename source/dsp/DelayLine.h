#pragma once
// A circular line of samples on the heap, a power of two long so that every
// index is masked into it. Its owner sizes it for the longest delay it must
// hold at the running rate (in SetFs, never while processing); reads are
// limited to that length, so no delay can reach outside the line.

#include <algorithm>
#include <memory>

namespace tonewright {

class DelayLine {
public:
    // Makes the line hold delays of up to `maxDelay` samples, read with
    // linear interpolation from the last written index. Returns true when
    // the storage was replaced (the line is then silent); a line that
    // already has the right length, or a request that is not finite, keeps
    // what it has.
    bool Allocate(double maxDelay);

    void Clear();

    int Length() const { return length; }
    int Mask() const { return mask; }
    // The longest delay a read can reach (samples).
    double MaxDelay() const { return static_cast<double>(length - 2); }

    double& operator[](int i) { return data[i & mask]; }
    double operator[](int i) const { return data[i & mask]; }

    // The sample d samples older than index w, by linear interpolation
    // between w - floor(d) and the sample before it. d is limited to
    // 0..MaxDelay().
    double Read(int w, double d) const
    {
        d = std::clamp(d, 0.0, MaxDelay());
        const int i = static_cast<int>(d);
        return Read(w, i, d - i);
    }
    // The same with the whole and fractional parts already split
    // (0 <= i <= MaxDelay(), 0 <= f < 1).
    double Read(int w, int i, double f) const
    {
        const int k = (w - i) & mask;
        return (1.0 - f) * data[k] + f * data[(k - 1) & mask];
    }

    double* Data() { return data.get(); }
    const double* Data() const { return data.get(); }

private:
    std::unique_ptr<double[]> data;
    int length = 0;
    int mask = 0;
};

}  // namespace tonewright
