#pragma once
// The one building block of the reverbs: a delay line with a gain, a one-pole
// low-pass memory and the per-sample rules of the delay, comb and all-pass
// kinds. Each process_ call takes one input sample, returns one output sample
// and advances the line by one. Lines are allocated only by the setups.

#include <cmath>
#include <memory>

#include "dsp/DspMath.h"

namespace tonewright {

class ReverbDelayBlock {
public:
    ReverbDelayBlock();
    ReverbDelayBlock(const ReverbDelayBlock&) = delete;
    ReverbDelayBlock& operator=(const ReverbDelayBlock&) = delete;
    ReverbDelayBlock(ReverbDelayBlock&&) noexcept = default;
    ReverbDelayBlock& operator=(ReverbDelayBlock&&) noexcept = default;

    void setup_DLY(int n) { resize(n); }
    void setup_AP(double gain, int n) { setg(gain); resize(n); }
    void setup_FFCF(double gain, int n) { setg(gain); resize(n); }
    void setup_FBCF(double gain, int n) { setg(gain); resize(n); }
    void setup_FBCF2(double gain, int n) { setg(gain); resize(n); }
    void setup_LBCF(double gain, double damping, int n) { setg(gain); setd(damping); resize(n); }
    void setup_OPLP(double damping) { setd(damping); }
    void setup_FBFFCF(double gain, int n) { setg(gain); resize(n); }

    // Delay: the sample written n samples ago.
    double process_DLY(double x)
    {
        const double w = buffer[index];
        buffer[index] = x;
        return Advance(w);
    }
    // Schroeder all-pass.
    double process_AP(double x)
    {
        const double w = buffer[index];
        const double v = denormalGuard(w * g + x);
        buffer[index] = v;
        return Advance(w - g * v);
    }
    // Feed-forward comb.
    double process_FFCF(double x)
    {
        const double w = buffer[index];
        buffer[index] = x;
        return Advance(x * g + w);
    }
    // Feedback comb whose output is the sum it stores (no delay on the way out).
    double process_FBCF(double x)
    {
        const double w = buffer[index];
        const double v = denormalGuard(g * w + x);
        buffer[index] = v;
        return Advance(v);
    }
    // Feedback comb with its output taken from the line.
    double process_FBCF2(double x)
    {
        const double w = buffer[index];
        buffer[index] = denormalGuard(w * g + x);
        return Advance(w);
    }
    // Feedback comb with a one-pole low-pass in the loop.
    double process_LBCF(double x)
    {
        const double w = buffer[index];
        state = denormalGuard(state * d + w * oneMinusD);
        buffer[index] = state * g + x;
        return Advance(w);
    }
    // One-pole low-pass; uses no line.
    double process_OPLP(double x)
    {
        state = denormalGuard(state * d + x * oneMinusD);
        out = state;
        return state;
    }
    // The comb/all-pass reverb's all-pass: the line's output minus the input.
    double process_FBFFCF(double x)
    {
        const double w = buffer[index];
        buffer[index] = denormalGuard(w * g + x);
        return Advance(w - x);
    }

    void setg(double gain)
    {
        if (std::isfinite(gain)) g = gain;
    }
    void setd(double damping)
    {
        if (!std::isfinite(damping)) return;
        d = damping;
        oneMinusD = 1.0 - damping;
    }
    double getg() const { return g; }
    double getd() const { return d; }

    // The value written k writes ago (k = 1 is the last one); k beyond the
    // length wraps modulo the length.
    double gettap(int k) const
    {
        long long p = static_cast<long long>(index) - k;
        if (p < 0) p += size;
        if (p < 0 || p >= size) {
            p %= size;
            if (p < 0) p += size;
        }
        return buffer[static_cast<int>(p)];
    }
    double getsize() const { return size; }
    double getout() const { return out; }
    void clear_buffer();

private:
    // Frees the old line and allocates n zeroed samples (at least one);
    // the low-pass memory and last output stay.
    void resize(int n);

    double Advance(double y)
    {
        out = y;
        if (++index >= size) index = 0;
        return y;
    }

    std::unique_ptr<double[]> buffer;
    int size = 1;
    int index = 0;
    double g = 0.0;
    double d = 0.0;
    double oneMinusD = 1.0;
    double state = 0.0;
    double out = 0.0;
};

}  // namespace tonewright
