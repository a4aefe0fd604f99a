#include "amp/Oversampler.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstring>

#include "dsp/WideVectors.h"
#include "dsp/ParameterRules.h"

namespace tonewright {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kMask = Oversampler::kTaps - 1;
constexpr int kHalf = Oversampler::kTaps / 2;

// Two doubles, one SSE2 register on x86-64 (GCC and Clang vector extension).
typedef double Pair __attribute__((vector_size(16)));

inline Pair load(const double* p)
{
    Pair v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store(double* p, Pair v) { std::memcpy(p, &v, sizeof v); }

struct FilterTableData {
    double h[Oversampler::kTaps];
    // The interpolation's rows: row j holds tap j of every phase (h[j F + p]),
    // times the factor, which restores the level the zeros between the input
    // samples take away (a power of two, so exactly as if applied after).
    alignas(16) double up4[Oversampler::kTaps];
    alignas(16) double up2[Oversampler::kTaps];

    FilterTableData()
    {
        // Windowed sinc, cut at 1/16 of the running rate, four-term
        // Blackman-Nuttall window, scaled to unit DC gain. Computed for one
        // half and mirrored, so the phase is exactly linear.
        double sum = 0.0;
        for (int k = 0; k < kHalf; ++k) {
            const double t = (k - 31.5) / 8.0;
            const double sinc = std::sin(kPi * t) / (kPi * t);
            const double a = 2.0 * kPi * k / 63.0;
            const double w = 0.3635819 - 0.4891775 * std::cos(a) + 0.1365995 * std::cos(2.0 * a)
                             - 0.0106411 * std::cos(3.0 * a);
            h[k] = h[Oversampler::kTaps - 1 - k] = w * sinc;
            sum += 2.0 * h[k];
        }
        for (double& v : h) v /= sum;
        for (int k = 0; k < Oversampler::kTaps; ++k) {
            up4[k] = 4.0 * h[k];
            up2[k] = 2.0 * h[k];
        }
    }
};

// Longer blocks than this would overflow the raised count.
bool validLength(int n) { return n > 0 && n <= (INT_MAX - Oversampler::kTaps) / Oversampler::kMaxFactor; }

const FilterTableData& table()
{
    static const FilterTableData data;
    return data;
}

// The full filter at the newest sample of w[0..63] (oldest first). The taps
// are symmetric, so each pair of mirrored samples is added first and
// multiplied once; two accumulators keep the adds from waiting on each other.
inline double foldedFilter(const double* h, const double* w)
{
    Pair a = {0.0, 0.0};
    Pair b = {0.0, 0.0};
    for (int k = 0; k < kHalf; k += 4) {
        const Pair m0 = __builtin_shufflevector(load(w + 62 - k), load(w + 62 - k), 1, 0);
        const Pair m1 = __builtin_shufflevector(load(w + 60 - k), load(w + 60 - k), 1, 0);
        a += (load(w + k) + m0) * load(h + k);
        b += (load(w + k + 2) + m1) * load(h + k + 2);
    }
    const Pair s = a + b;
    return s[0] + s[1];
}

#ifdef TONEWRIGHT_WIDE_VECTORS
#define TONEWRIGHT_OVERSAMPLER_AVX2 1

// The same loops four doubles a register, where the processor has AVX2 (the
// build itself assumes no more than x86-64). Every sum is formed in the same
// order as by the two-lane loops, so the results are the same.
typedef double Quad __attribute__((vector_size(32)));

std::atomic<bool> wideAllowed{true};

bool haveAvx2()
{
    static const bool have = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return have && wideAllowed.load(std::memory_order_relaxed);
}

__attribute__((target("avx2"))) void upsample4Avx2(const double* rows, double* ring, int& position,
                                                   const double* x, double* out, int n)
{
    for (int i = 0; i < n; ++i) {
        position = (position - 1) & kMask;
        ring[position] = ring[position + Oversampler::kTaps] = x[i];
        const double* history = ring + position;
        Quad a = {0.0, 0.0, 0.0, 0.0};
        for (int j = 0; j < Oversampler::kTaps / 4; ++j) {
            Quad row;
            std::memcpy(&row, rows + 4 * j, sizeof row);
            a += Quad{history[j], history[j], history[j], history[j]} * row;
        }
        std::memcpy(out, &a, sizeof a);
        out += 4;
    }
}

__attribute__((target("avx2"))) void downsampleAvx2(const double* h, const double* window, int step, double* y,
                                                    int n)
{
    for (int i = 0; i < n; ++i, window += step) {
        Quad acc = {0.0, 0.0, 0.0, 0.0};
        for (int k = 0; k < kHalf; k += 4) {
            Quad forward, backward, taps;
            std::memcpy(&forward, window + k, sizeof forward);
            std::memcpy(&backward, window + 60 - k, sizeof backward);
            std::memcpy(&taps, h + k, sizeof taps);
            acc += (forward + __builtin_shufflevector(backward, backward, 3, 2, 1, 0)) * taps;
        }
        y[i] = (acc[0] + acc[2]) + (acc[1] + acc[3]);
    }
}
#endif

}  // namespace

const double* Oversampler::FilterTable() { return table().h; }

void Oversampler::AllowWideVectors([[maybe_unused]] bool allow)
{
#ifdef TONEWRIGHT_OVERSAMPLER_AVX2
    wideAllowed.store(allow, std::memory_order_relaxed);
#endif
}

Oversampler::Oversampler()
{
    table();
    SetFs(44100.0);
    buffer.Reserve(kTaps + factor);
    count = factor;
}

void Oversampler::SetFs(double rate)
{
    if (!acceptNewRate(fs, rate)) return;
    if (rate < 46050.0) {
        factor = 4; nominalRate = 176400.0;
    } else if (rate < 68100.0) {
        factor = 4; nominalRate = 192000.0;
    } else if (rate < 92100.0) {
        factor = 2; nominalRate = 176400.0;
    } else if (rate < 136200.0) {
        factor = 2; nominalRate = 192000.0;
    } else if (rate < 184200.0) {
        factor = 1; nominalRate = 176400.0;
    } else {
        factor = 1; nominalRate = 192000.0;
    }
}

void Oversampler::Reserve(int n)
{
    if (!validLength(n) || kTaps + kMaxFactor * n <= buffer.Capacity()) return;
    // Growing copies only the buffer's logical contents: keep the history.
    double history[kTaps];
    std::copy_n(buffer.data(), kTaps, history);
    buffer.Reserve(kTaps + kMaxFactor * n);
    std::copy_n(history, kTaps, buffer.data());
}

void Oversampler::CheckLength(int n)
{
    const int raised = n * factor;
    if (raised == count) return;
    if (kTaps + raised > buffer.Capacity()) Reserve((raised + kMaxFactor - 1) / kMaxFactor);
    std::fill_n(Buffer(), raised, 0.0);
    count = raised;
}

template <int Factor>
void Oversampler::Upsample(const double* x, int n)
{
    const FilterTableData& t = table();
    double* out = Buffer();
#ifdef TONEWRIGHT_OVERSAMPLER_AVX2
    if (Factor == 4 && haveAvx2()) {
        upsample4Avx2(t.up4, upHistory, upPosition, x, out, n);
        return;
    }
#endif
    for (int i = 0; i < n; ++i) {
        upPosition = (upPosition - 1) & kMask;
        upHistory[upPosition] = upHistory[upPosition + kTaps] = x[i];
        // Newest first: history[j] is the input j samples back.
        const double* history = upHistory + upPosition;
        if constexpr (Factor == 4) {
            // Every phase accumulates in the order j = 0, 1, 2, ...
            Pair a = {0.0, 0.0};
            Pair b = {0.0, 0.0};
            for (int j = 0; j < kTaps / 4; ++j) {
                const Pair v = {history[j], history[j]};
                a += v * load(t.up4 + 4 * j);
                b += v * load(t.up4 + 4 * j + 2);
            }
            store(out, a);
            store(out + 2, b);
            out += 4;
        } else if constexpr (Factor == 2) {
            Pair a = {0.0, 0.0};
            for (int j = 0; j < kTaps / 2; ++j) a += Pair{history[j], history[j]} * load(t.up2 + 2 * j);
            store(out, a);
            out += 2;
        } else {
            // Mirrored pairs are the same read from either end.
            *out++ = foldedFilter(t.h, history);
        }
    }
}

template <int Factor>
void Oversampler::Downsample(double* y, int n)
{
    const double* h = table().h;
    // The window of output i ends at the last raised sample of its group and
    // reaches 63 samples back, into the previous block's end before Buffer().
    const double* window = Buffer() + Factor - kTaps;
#ifdef TONEWRIGHT_OVERSAMPLER_AVX2
    if (haveAvx2())
        downsampleAvx2(h, window, Factor, y, n);
    else
#endif
        for (int i = 0; i < n; ++i, window += Factor) y[i] = foldedFilter(h, window);
    // The block's end becomes the next block's history.
    std::memmove(buffer.data(), buffer.data() + count, kTaps * sizeof(double));
}

void Oversampler::UpsampleInput(const double* x, int n)
{
    if (!validLength(n)) return;
    CheckLength(n);
    switch (factor) {
    case 4: Upsample<4>(x, n); break;
    case 2: Upsample<2>(x, n); break;
    default: Upsample<1>(x, n); break;
    }
}

void Oversampler::DownsampleOutput(double* y, int n)
{
    if (!validLength(n)) return;
    CheckLength(n);
    switch (factor) {
    case 4: Downsample<4>(y, n); break;
    case 2: Downsample<2>(y, n); break;
    default: Downsample<1>(y, n); break;
    }
}

}  // namespace tonewright
