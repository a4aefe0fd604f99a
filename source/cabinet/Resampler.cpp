#include "cabinet/Resampler.h"

#include <algorithm>
#include <cmath>

#include "cabinet/WindowFunction.h"
#include "dsp/AudioThread.h"

namespace tonewright {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRolloff = 0.9;    // cutoff as a fraction of the lower half rate
constexpr double kKaiserBeta = 6.0;
// Bounds that keep every size below well within int and memory.
constexpr double kLargestWing = 1 << 24;
constexpr double kLargestBuffer = 1 << 26;

}  // namespace

Resampler::Resampler(double minFactor_, double maxFactor_, long filterLength, double tableStep_, bool interpolate_)
    : tableStep(tableStep_), interpolate(interpolate_), minFactor(minFactor_), maxFactor(maxFactor_)
{
    CheckOffAudioThread("designing a resampler");
    const double wing = (static_cast<double>(filterLength) - 1.0) * tableStep * 0.5;
    const double h = (static_cast<double>(filterLength) + 1.0) * 0.5;
    const bool factorsUsable = std::isfinite(minFactor) && std::isfinite(maxFactor) && minFactor > 0.0 &&
                               maxFactor >= minFactor;
    const bool filterUsable = std::isfinite(tableStep) && tableStep >= 1.0 && filterLength >= 2 && wing >= 2.0 &&
                              wing <= kLargestWing;
    const double historyNeeded = factorsUsable ? h * std::max(1.0, 1.0 / minFactor) + 10.0 : 0.0;
    usable = factorsUsable && filterUsable && historyNeeded <= kLargestBuffer &&
             std::max(2.0 * historyNeeded + 10.0, 4096.0) * maxFactor + 2.0 <= kLargestBuffer;
    if (!usable) return;

    wingLength = static_cast<int>(wing);
    table.resize(static_cast<size_t>(wingLength));
    tableDiff.resize(static_cast<size_t>(wingLength));
    table[0] = kRolloff;
    const double window0 = i0(kKaiserBeta);
    for (int i = 1; i < wingLength; ++i) {
        const double t = kPi * i / tableStep;
        const double u = static_cast<double>(i) / (wingLength - 1);
        table[size_t(i)] = std::sin(kRolloff * t) / t * i0(kKaiserBeta * std::sqrt(std::max(0.0, 1.0 - u * u))) / window0;
    }
    for (int i = 0; i < wingLength - 1; ++i) tableDiff[size_t(i)] = table[size_t(i) + 1] - table[size_t(i)];
    tableDiff[size_t(wingLength) - 1] = -table[size_t(wingLength) - 1];

    history = std::max(static_cast<int>(h * std::max(1.0, 1.0 / minFactor) + 10.0),
                       static_cast<int>(h * std::max(1.0, 1.0 / maxFactor) + 10.0));
    inputSize = std::max(2 * history + 10, 4096);
    input.assign(size_t(inputSize) + size_t(history), 0.0);
    outputSize = static_cast<int>(inputSize * maxFactor + 2.0);
    output.assign(size_t(outputSize), 0.0);
    reset();
}

void Resampler::reset()
{
    std::fill_n(input.begin(), history, 0.0);
    pending = 0;
    inputWrite = history;
    time = history;
}

double Resampler::FilterUp(int k, double f) const
{
    const double d = tableStep;
    double v = 0.0;

    const double p = f * d;
    const int ip = static_cast<int>(p);
    double a = interpolate ? p - std::floor(p) : 0.0;
    for (int j = 0; j <= k; ++j) {
        const double at = ip + j * d;
        if (at >= wingLength) break;
        const size_t idx = size_t(at);
        v += (table[idx] + a * tableDiff[idx]) * input[size_t(k - j)];
    }

    const double q = (1.0 - f) * d;
    const int iq = static_cast<int>(q);
    a = interpolate ? q - std::floor(q) : 0.0;
    const int inputEnd = static_cast<int>(input.size());
    for (int j = 0; k + 1 + j < inputEnd; ++j) {
        const double at = iq + j * d;
        if (at >= wingLength - 1) break;
        const size_t idx = size_t(at);
        v += (table[idx] + a * tableDiff[idx]) * input[size_t(k + 1 + j)];
    }
    return v;
}

double Resampler::FilterDown(int k, double f, double factor) const
{
    // The table stepped more finely stretches the filter in time, which moves
    // its cutoff down to the output rate.
    const double d = factor * tableStep;
    double v = 0.0;

    double at = f * d;
    for (int j = 0; j <= k && static_cast<int>(at) < wingLength; ++j, at += d) {
        const size_t idx = size_t(at);
        v += (table[idx] + (at - std::floor(at)) * tableDiff[idx]) * input[size_t(k - j)];
    }

    at = (1.0 - f) * d;
    const int inputEnd = static_cast<int>(input.size());
    for (int j = 0; k + 1 + j < inputEnd && static_cast<int>(at) < wingLength - 1; ++j, at += d) {
        const size_t idx = size_t(at);
        v += (table[idx] + (at - std::floor(at)) * tableDiff[idx]) * input[size_t(k + 1 + j)];
    }
    return v * factor;
}

void Resampler::Deliver(double* out, int& delivered, int outLen)
{
    const int n = std::min(pending, outLen - delivered);
    if (n <= 0) return;
    std::copy_n(output.begin(), n, out + delivered);
    std::copy(output.begin() + n, output.begin() + pending, output.begin());
    pending -= n;
    delivered += n;
}

int Resampler::process(double factor, const double* in, int inLen, int last, int* inUsed, double* out, int outLen)
{
    CheckOffAudioThread("resampling");
    if (!usable || !(factor >= minFactor && factor <= maxFactor)) return -1;
    if (!inUsed || inLen < 0 || *inUsed < 0 || *inUsed > inLen || (!in && inLen > *inUsed) || (!out && outLen > 0))
        return -1;
    outLen = std::max(outLen, 0);

    int delivered = 0;
    if (pending > 0) Deliver(out, delivered, outLen);

    while (pending == 0) {
        const int n = std::min(inputSize - inputWrite, inLen - *inUsed);
        if (n > 0) std::copy_n(in + *inUsed, n, input.begin() + inputWrite);
        *inUsed += n;
        inputWrite += n;

        int count;
        if (last && *inUsed == inLen) {
            // End of the stream: run the positions up to the last input
            // sample, with silence after it.
            count = inputWrite - history;
            std::fill_n(input.begin() + inputWrite, history, 0.0);
        } else {
            // Keep a full filter's look-ahead for the next call.
            count = inputWrite - 2 * history;
        }
        if (count < 1) return delivered;

        const double end = time + count;
        const double step = 1.0 / factor;
        while (time < end && pending < outputSize) {
            const int k = static_cast<int>(time);
            const double f = time - k;
            output[size_t(pending++)] = factor >= 1.0 ? FilterUp(k, f) : FilterDown(k, f, factor);
            time += step;
        }

        // Drop the input the filter no longer reaches, keeping `history`
        // samples before the current position.
        const int shift = std::clamp(static_cast<int>(time) - history, 0, inputWrite);
        time -= shift;
        inputWrite -= shift;
        std::copy(input.begin() + shift, input.begin() + shift + inputWrite, input.begin());

        Deliver(out, delivered, outLen);
    }
    return delivered;
}

double Resampler::i0(double x) { return WindowFunction::Bessel0(x); }

double Resampler::i0_precise(double x)
{
    double sum = 1.0;
    double term = 1.0;
    // NaN ends the loop at once; the count bounds it for infinities.
    for (int k = 1; k < 1000; ++k) {
        const double r = x / (2.0 * k);
        term *= r * r;
        sum += term;
        if (!(term >= sum * 1e-21)) break;
    }
    return sum;
}

}  // namespace tonewright
