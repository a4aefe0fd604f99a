#pragma once
// The one building block of the reverbs: a delay line with a gain, a one-pole
// low-pass memory and the per-sample rules of the delay, comb and all-pass
// kinds. Each process_ call takes one input sample, returns one output sample
// and advances the line by one. Lines are allocated only by the setups.

#include <algorithm>
#include <utility>
#include <cmath>
#include <cstring>
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

    // Runs: n samples through one kind at once, exactly as n calls of its
    // process_ would take them, x in place. n must not exceed the line's
    // length, so every sample a run reads was written before it.
    void run_DLY(double* x, int n)
    {
        Runs(n, [&](double* line, int at, int count) {
            double* y = x + at;
            std::swap_ranges(y, y + count, line);
            return y[count - 1];
        });
    }
    void run_AP(double* x, int n)
    {
        const double gain = g;
        Runs(n, [&](double* line, int at, int count) {
            double* y = x + at;
            int i = 0;
            for (; i + 2 <= count; i += 2) {
                const Pair w = load(line + i);
                const Pair v = (w * gain + load(y + i) + kDenormalOffset) - kDenormalOffset;
                store(line + i, v);
                store(y + i, w - gain * v);
            }
            for (; i < count; ++i) {
                const double w = line[i];
                const double v = denormalGuard(w * gain + y[i]);
                line[i] = v;
                y[i] = w - gain * v;
            }
            return y[count - 1];
        });
    }
    // sum[i] += the comb's output for x[i].
    void add_FBCF(const double* x, double* sum, int n)
    {
        const double gain = g;
        Runs(n, [&](double* line, int at, int count) {
            int i = 0;
            for (; i + 2 <= count; i += 2) {
                const Pair v = (gain * load(line + i) + load(x + at + i) + kDenormalOffset) - kDenormalOffset;
                store(line + i, v);
                store(sum + at + i, load(sum + at + i) + v);
            }
            for (; i < count; ++i) {
                const double v = denormalGuard(gain * line[i] + x[at + i]);
                line[i] = v;
                sum[at + i] += v;
            }
            return line[count - 1];
        });
    }
    void add_LBCF(const double* x, double* sum, int n)
    {
        const double gain = g, keep = d, take = oneMinusD;
        double s = state;
        Runs(n, [&](double* line, int at, int count) {
            double w = 0.0;
            for (int i = 0; i < count; ++i) {
                w = line[i];
                s = denormalGuard(s * keep + w * take);
                line[i] = s * gain + x[at + i];
                sum[at + i] += w;
            }
            return w;
        });
        state = s;
    }
    void run_FBFFCF(double* x, int n)
    {
        const double gain = g;
        Runs(n, [&](double* line, int at, int count) {
            double* y = x + at;
            int i = 0;
            for (; i + 2 <= count; i += 2) {
                const Pair w = load(line + i), in = load(y + i);
                store(line + i, (w * gain + in + kDenormalOffset) - kDenormalOffset);
                store(y + i, w - in);
            }
            for (; i < count; ++i) {
                const double w = line[i];
                line[i] = denormalGuard(w * gain + y[i]);
                y[i] = w - y[i];
            }
            return y[count - 1];
        });
    }
    // Any n: the low-pass has no line.
    void run_OPLP(double* x, int n)
    {
        const double keep = d, take = oneMinusD;
        double s = state;
        for (int i = 0; i < n; ++i) x[i] = s = denormalGuard(s * keep + x[i] * take);
        state = s;
        if (n > 0) out = s;
    }
    // Low-pass feedback combs side by side over n samples (each comb's
    // loop waits on its own memory, so they run interleaved), their outputs
    // added to sum[i] in the order given; n up to the shortest line.
    template <int N>
    static void add_LBCF(ReverbDelayBlock* const (&combs)[N], const double* x, double* sum, int n)
    {
        double state[N], gain[N], keep[N], take[N];
        for (int c = 0; c < N; ++c) {
            state[c] = combs[c]->state;
            gain[c] = combs[c]->g;
            keep[c] = combs[c]->d;
            take[c] = combs[c]->oneMinusD;
        }
        for (int at = 0; at < n;) {
            int count = n - at;
            for (int c = 0; c < N; ++c) count = std::min(count, combs[c]->size - combs[c]->index);
            double* line[N];
            for (int c = 0; c < N; ++c) line[c] = combs[c]->buffer.get() + combs[c]->index;
            for (int i = 0; i < count; ++i) {
                double total = sum[at + i];
#pragma GCC unroll 16
                for (int c = 0; c < N; ++c) {
                    const double w = line[c][i];
                    state[c] = denormalGuard(state[c] * keep[c] + w * take[c]);
                    line[c][i] = state[c] * gain[c] + x[at + i];
                    total += w;
                }
                sum[at + i] = total;
            }
            for (int c = 0; c < N; ++c) {
                combs[c]->out = line[c][count - 1];
                combs[c]->index += count;
                if (combs[c]->index >= combs[c]->size) combs[c]->index = 0;
            }
            at += count;
        }
        for (int c = 0; c < N; ++c) combs[c]->state = state[c];
    }
    // Low-passes side by side, each over its own samples x[k][0..n-1].
    template <int N>
    static void run_OPLP(ReverbDelayBlock* const (&lowPasses)[N], double* const (&x)[N], int n)
    {
        double state[N], keep[N], take[N];
        for (int k = 0; k < N; ++k) {
            state[k] = lowPasses[k]->state;
            keep[k] = lowPasses[k]->d;
            take[k] = lowPasses[k]->oneMinusD;
        }
        // Unrolled, so that each memory stays in a register; the input's
        // term joins the guard's offset first, so that a sample waits for
        // one product and two sums.
        for (int i = 0; i < n; ++i) {
#pragma GCC unroll 16
            for (int k = 0; k < N; ++k) x[k][i] = state[k] = guardedSum(state[k] * keep[k], x[k][i] * take[k]);
        }
        for (int k = 0; k < N; ++k) {
            lowPasses[k]->state = state[k];
            if (n > 0) lowPasses[k]->out = state[k];
        }
    }

    // A signed tap: sign x gettap(k) of a line.
    struct Tap {
        const ReverbDelayBlock* line;
        int k;
        double sign;  // +1 or -1
    };
    // sum[i] = the signed taps added in order, as they read after each of
    // the last n process_ calls, reading the lines as they are now: a caller
    // runs its n samples first, then its taps (n + k must not exceed a
    // line's length, after k is reduced modulo it).
    template <int N>
    static void SumTaps(const Tap (&taps)[N], double* sum, int n)
    {
        int from[N];
        const double* line[N];
        // The signs in locals: the sums could alias the taps.
        double sign[N];
        for (int j = 0; j < N; ++j) {
            sign[j] = taps[j].sign;
            const ReverbDelayBlock& b = *taps[j].line;
            // The index read after the first of the n calls, which the run
            // started at (now index - n).
            const long long p = (static_cast<long long>(b.index) - n + 1 - taps[j].k) % b.size;
            from[j] = static_cast<int>(p < 0 ? p + b.size : p);
        }
        for (int at = 0; at < n;) {
            int count = n - at;
            for (int j = 0; j < N; ++j) {
                count = std::min(count, taps[j].line->size - from[j]);
                line[j] = taps[j].line->buffer.get() + from[j];
            }
            // Two samples a register, each lane adding in the same order.
            int i = 0;
            for (; i + 2 <= count; i += 2) {
                Pair total = {0.0, 0.0};
#pragma GCC unroll 16
                for (int j = 0; j < N; ++j) total += sign[j] * load(line[j] + i);
                store(sum + at + i, total);
            }
            for (; i < count; ++i) {
                double total = 0.0;
#pragma GCC unroll 16
                for (int j = 0; j < N; ++j) total += sign[j] * line[j][i];
                sum[at + i] = total;
            }
            for (int j = 0; j < N; ++j) {
                from[j] += count;
                if (from[j] >= taps[j].line->size) from[j] = 0;
            }
            at += count;
        }
    }
    // The next n outputs of a delay (n up to the line's length), before a
    // run takes them.
    void Peek(double* y, int n) const;
    int Length() const { return size; }

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
    // Two samples a register (SSE2, the x86-64 baseline): each lane rounds
    // as the scalar rule does.
    typedef double Pair __attribute__((vector_size(16)));
    static Pair load(const double* p)
    {
        Pair v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    static void store(double* p, Pair v) { std::memcpy(p, &v, sizeof v); }

    // Frees the old line and allocates n zeroed samples (at least one);
    // the low-pass memory and last output stay.
    void resize(int n);

    double Advance(double y)
    {
        out = y;
        if (++index >= size) index = 0;
        return y;
    }
    // Calls body(line, at, count) for the pieces of a run of n samples
    // between the line's wraps (line = the line at the piece's first index,
    // at = the piece's offset in the run); body returns the piece's last
    // output.
    template <class Body>
    void Runs(int n, Body&& body)
    {
        for (int at = 0; at < n;) {
            const int count = std::min(n - at, size - index);
            out = body(buffer.get() + index, at, count);
            index += count;
            if (index >= size) index = 0;
            at += count;
        }
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
