#include "common/Resample.h"

#include <algorithm>
#include <cmath>

#include "cabinet/WindowFunction.h"

namespace tonewright {
namespace {

constexpr double kPi = 3.14159265358979323846;
// Passband to 0.9 of the lower Nyquist frequency, stopband from 1.0, 100 dB
// down: Kaiser's design formulas give beta 10.06 and 128 taps at the lower
// rate; a few more keep the stopband clear of the table's own error.
constexpr double kPassband = 0.9;
constexpr double kBeta = 10.06;
constexpr double kHalfTaps = 68.0;
// Kernel points per input sample; linear interpolation between them errs by
// less than 2e-6 of the peak (-115 dB).
constexpr int kTableStep = 1024;

}  // namespace

std::vector<double> resample(const std::vector<double>& x, double fromRate, double toRate)
{
    const double ratio = toRate / fromRate;
    const auto outSize = static_cast<size_t>(std::llround(static_cast<double>(x.size()) * ratio));
    if (ratio == 1.0) return x;
    // In input samples: the cutoff (in units of the input's Nyquist
    // frequency) and the kernel's half width.
    const double scale = std::min(1.0, ratio);
    const double cutoff = 0.5 * (kPassband + 1.0) * scale;
    const int halfWidth = static_cast<int>(std::ceil(kHalfTaps / scale));
    const int points = halfWidth * kTableStep + 1;
    std::vector<double> kernel(static_cast<size_t>(points) + 1, 0.0);
    for (int k = 0; k < points; ++k) {
        const double t = static_cast<double>(k) / kTableStep;
        const double sinc = k == 0 ? 1.0 : std::sin(kPi * cutoff * t) / (kPi * cutoff * t);
        kernel[size_t(k)] = cutoff * sinc * tonewright::WindowFunction::KaiserHalfWindow(k, points, kBeta);
    }

    std::vector<double> y(outSize, 0.0);
    const long last = static_cast<long>(x.size()) - 1;
    for (size_t m = 0; m < outSize; ++m) {
        const double t = static_cast<double>(m) * fromRate / toRate;
        const long first = std::max(0L, static_cast<long>(std::ceil(t - halfWidth)));
        const long end = std::min(last, static_cast<long>(std::floor(t + halfWidth)));
        double sum = 0.0;
        for (long n = first; n <= end; ++n) {
            const double at = std::fabs(t - static_cast<double>(n)) * kTableStep;
            const auto i = static_cast<size_t>(at);
            const double frac = at - static_cast<double>(i);
            sum += x[size_t(n)] * (kernel[i] + frac * (kernel[i + 1] - kernel[i]));
        }
        y[m] = sum;
    }
    return y;
}

AudioClip resample(const AudioClip& clip, double toRate)
{
    AudioClip out;
    out.sampleRate = toRate;
    out.channels = clip.channels;
    for (const auto& channel : clip.samples) out.samples.push_back(resample(channel, clip.sampleRate, toRate));
    return out;
}

}  // namespace tonewright
