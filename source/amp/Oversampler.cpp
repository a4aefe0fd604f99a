#include "amp/Oversampler.h"

#include <climits>
#include <cmath>

namespace tonewright {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kMask = Oversampler::kTaps - 1;

struct FilterTableData {
    double h[Oversampler::kTaps];
    FilterTableData()
    {
        // Windowed sinc, cut at 1/16 of the running rate, four-term
        // Blackman-Nuttall window, scaled to unit DC gain. Computed for one
        // half and mirrored, so the phase is exactly linear.
        constexpr int kHalf = Oversampler::kTaps / 2;
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
    }
};

// Longer blocks than this would overflow the raised count.
bool validLength(int n) { return n > 0 && n <= INT_MAX / 4; }

const FilterTableData& table()
{
    static const FilterTableData data;
    return data;
}

}  // namespace

const double* Oversampler::FilterTable() { return table().h; }

Oversampler::Oversampler()
{
    table();
    SetFs(44100.0);
    buffer.Resize(factor);
}

void Oversampler::SetFs(double rate)
{
    if (!(rate > 0.0) || !std::isfinite(rate) || rate == fs) return;
    fs = rate;
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
    gain = factor;
}

void Oversampler::CheckLength(int n) { buffer.Resize(n * factor); }

void Oversampler::UpsampleInput(const double* x, int n)
{
    if (!validLength(n)) return;
    CheckLength(n);
    const double* h = table().h;
    double* out = buffer.data();
    const int taps = kTaps / factor;
    for (int i = 0; i < n; ++i) {
        upPosition = (upPosition - 1) & kMask;
        upHistory[upPosition] = upHistory[upPosition + kTaps] = x[i];
        // Newest first: history[j] is the input j samples back. The phases
        // accumulate side by side, each in the order j = 0, 1, 2, ...
        const double* history = upHistory + upPosition;
        double acc[4] = {};
        for (int j = 0; j < taps; ++j) {
            const double* hj = h + j * factor;
            for (int p = 0; p < factor; ++p) acc[p] += history[j] * hj[p];
        }
        for (int p = 0; p < factor; ++p) *out++ = gain * acc[p];
    }
}

void Oversampler::DownsampleOutput(double* y, int n)
{
    if (!validLength(n)) return;
    CheckLength(n);
    const double* h = table().h;
    const double* in = buffer.data();
    for (int i = 0; i < n; ++i) {
        for (int p = 0; p < factor; ++p) {
            downPosition = (downPosition - 1) & kMask;
            downHistory[downPosition] = downHistory[downPosition + kTaps] = *in++;
        }
        // Four partial sums keep the adds from waiting on each other.
        const double* history = downHistory + downPosition;
        double acc[4] = {};
        for (int j = 0; j < kTaps; j += 4) {
            for (int k = 0; k < 4; ++k) acc[k] += history[j + k] * h[j + k];
        }
        y[i] = (acc[0] + acc[1]) + (acc[2] + acc[3]);
    }
}

}  // namespace tonewright
