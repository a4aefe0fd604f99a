#include "factory_bank/Measure.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "cabinet/Fft.h"
#include "engine/Tonewright.h"

namespace tonewright::factory {

namespace {

constexpr int kBlock = 512;
constexpr double kBandEdges[5] = {80.0, 250.0, 1000.0, 4000.0, 10000.0};

double dB(double power) { return 10.0 * std::log10(std::max(power, 1e-300)); }

// The power spectrum of x (zero padded to a power of two of at least n),
// bin k at k * fs / size.
std::vector<double> powerSpectrum(std::vector<double> a)
{
    const int n = int(a.size());
    std::vector<int> ip(size_t(fft::rdftIpSize(n)), 0);
    std::vector<double> w(size_t(fft::rdftWSize(n)));
    rdft(n, 1, a.data(), ip.data(), w.data());
    std::vector<double> p(size_t(n / 2));
    for (int k = 1; k < n / 2; ++k) p[size_t(k)] = a[size_t(2 * k)] * a[size_t(2 * k)] + a[size_t(2 * k + 1)] * a[size_t(2 * k + 1)];
    return p;
}

// Effects that smear a note's envelope or move with time.
const Settings kTimeEffectsOff = {{kTremoloOn, 0}, {kChorusOn, 0}, {kFlangerOn, 0}, {kPhaserOn, 0},
                                  {kEchoOn, 0},    {kReverbOn, 0}};

double totalHarmonicDistortion(const TonewrightParameters& program)
{
    const int n = int(kRate), m = 16384;
    const double f0 = 110.0;
    std::vector<double> sine(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) sine[size_t(i)] = fromDb(-14.0) * std::sin(2.0 * M_PI * f0 * i / kRate);
    const Stereo y = play(program, sine, kTimeEffectsOff + Settings{{kCabinetOn, 0}, {kWahOn, 0}});
    // The last m samples, Hann windowed, after the note has settled.
    std::vector<double> a(static_cast<size_t>(m));
    for (int i = 0; i < m; ++i) {
        const size_t at = size_t(n - m + i);
        a[size_t(i)] = 0.5 * (y.left[at] + y.right[at]) * (0.5 - 0.5 * std::cos(2.0 * M_PI * i / m));
    }
    const std::vector<double> p = powerSpectrum(std::move(a));
    const auto harmonic = [&](int h) {
        const int centre = int(std::lround(h * f0 * m / kRate));
        double sum = 0.0;
        for (int k = centre - 3; k <= centre + 3; ++k) sum += p[size_t(k)];
        return sum;
    };
    double harmonics = 0.0;
    for (int h = 2; h <= 10; ++h) harmonics += harmonic(h);
    return dB(harmonics / harmonic(1));
}

// Frame levels in dB, 1024 samples each.
constexpr size_t kFrame = 1024;
std::vector<double> frameLevels(const std::vector<double>& x, size_t frames)
{
    std::vector<double> levels;
    for (size_t at = 0; at + kFrame <= frames; at += kFrame) {
        double sum = 0.0;
        for (size_t i = at; i < at + kFrame; ++i) sum += x[i] * x[i];
        levels.push_back(dB(sum / double(kFrame)));
    }
    return levels;
}

// Frame levels of the mono mix of the first `frames` samples, dB.
std::vector<double> mixLevels(const Stereo& y, size_t frames)
{
    std::vector<double> mono(frames);
    for (size_t i = 0; i < frames; ++i) mono[i] = 0.5 * (y.left[i] + y.right[i]);
    return frameLevels(mono, frames);
}

// The program's frame levels against those of the same program played 80
// dB quieter without its gate and sustainer, where every stage is linear:
// the amplifier's own frequency response then drops out of the slope.
double compressionIndex(const TonewrightParameters& program, const std::vector<double>& input, size_t clipFrames)
{
    std::vector<double> clip(input.begin(), input.begin() + long(clipFrames));
    const std::vector<double> in = frameLevels(clip, clipFrames);
    const std::vector<double> out = mixLevels(play(program, clip, kTimeEffectsOff), clipFrames);
    for (double& x : clip) x *= fromDb(-80.0);
    const std::vector<double> linear =
        mixLevels(play(program, clip, kTimeEffectsOff + Settings{{kGateOn, 0}, {kSustainerOn, 0}}), clipFrames);
    const double loudest = *std::max_element(in.begin(), in.end());
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (size_t k = 0; k < in.size(); ++k) {
        if (in[k] < loudest - 30.0) continue;
        n += 1;
        sx += linear[k];
        sy += out[k];
        sxx += linear[k] * linear[k];
        sxy += linear[k] * out[k];
    }
    return (n * sxy - sx * sy) / (n * sxx - sx * sx);
}

}  // namespace

Stereo play(const TonewrightParameters& program, const std::vector<double>& input, const Settings& extra)
{
    auto engine = std::make_unique<Tonewright>();
    TonewrightParameters* own = engine->GetParameters();
    *own = program;
    engine->SetParameters(own);  // its own record: the oversampling choice too
    for (const Setting& s : extra) engine->SetParameter(s.id, s.value);
    // The cabinet builds its convolver on a worker: without the wait the
    // first blocks would depend on the thread's timing.
    engine->cabinet.WaitForRebuild();
    engine->Reserve(kBlock);
    Stereo out{std::vector<double>(input.size()), std::vector<double>(input.size())};
    std::vector<double> in(kBlock);
    for (size_t at = 0; at < input.size(); at += kBlock) {
        const int n = int(std::min<size_t>(kBlock, input.size() - at));
        std::copy(input.begin() + long(at), input.begin() + long(at) + n, in.begin());
        engine->process(in.data(), out.left.data() + at, out.right.data() + at, n);
    }
    return out;
}

Bands bandBalance(const std::vector<double>& x, size_t frames, double fs)
{
    size_t n = 1;
    while (n < frames) n *= 2;
    std::vector<double> a(n, 0.0);
    std::copy(x.begin(), x.begin() + long(frames), a.begin());
    const std::vector<double> p = powerSpectrum(std::move(a));
    const double bin = fs / double(n);
    double total = 0.0, band[4] = {0, 0, 0, 0};
    for (size_t k = 1; k < p.size(); ++k) {
        total += p[k];
        const double f = double(k) * bin;
        for (int b = 0; b < 4; ++b)
            if (f >= kBandEdges[b] && f < kBandEdges[b + 1]) band[b] += p[k];
    }
    Bands out;
    for (int b = 0; b < 4; ++b) out.share[b] = dB(band[b] / total);
    return out;
}

double bandDistance(const Bands& a, const Bands& b)
{
    double d = 0.0;
    for (int k = 0; k < 4; ++k) d = std::max(d, std::fabs(a.share[k] - b.share[k]));
    return d;
}

double correlation(const std::vector<float>& a, const std::vector<float>& b)
{
    // Four partial sums each, so that the loop need not wait on one.
    double ab[4] = {}, aa[4] = {}, bb[4] = {};
    const size_t n = std::min(a.size(), b.size()), whole = n / 4 * 4;
    for (size_t i = 0; i < whole; i += 4)
        for (size_t j = 0; j < 4; ++j) {
            const double x = a[i + j], y = b[i + j];
            ab[j] += x * y;
            aa[j] += x * x;
            bb[j] += y * y;
        }
    for (size_t i = whole; i < n; ++i) {
        ab[0] += double(a[i]) * b[i];
        aa[0] += double(a[i]) * a[i];
        bb[0] += double(b[i]) * b[i];
    }
    const double sab = ab[0] + ab[1] + ab[2] + ab[3], saa = aa[0] + aa[1] + aa[2] + aa[3],
                 sbb = bb[0] + bb[1] + bb[2] + bb[3];
    return saa > 0.0 && sbb > 0.0 ? sab / std::sqrt(saa * sbb) : 0.0;
}

Measurement measure(const TonewrightParameters& program, const std::vector<double>& input, size_t clipFrames)
{
    const Stereo y = play(program, input);
    Measurement m;
    double sum = 0.0, peak = 0.0, lr = 0.0, ll = 0.0, rr = 0.0;
    std::vector<double> mono(clipFrames);
    for (size_t i = 0; i < input.size(); ++i) {
        peak = std::max({peak, std::fabs(y.left[i]), std::fabs(y.right[i])});
        if (i >= clipFrames) continue;
        sum += 0.5 * (y.left[i] * y.left[i] + y.right[i] * y.right[i]);
        lr += y.left[i] * y.right[i];
        ll += y.left[i] * y.left[i];
        rr += y.right[i] * y.right[i];
        mono[i] = 0.5 * (y.left[i] + y.right[i]);
    }
    m.rmsDb = dB(sum / double(clipFrames));
    m.peakDb = 20.0 * std::log10(std::max(peak, 1e-300));
    m.leftRight = lr / std::sqrt(std::max(ll * rr, 1e-300));
    m.bands = bandBalance(mono, clipFrames, kRate);
    m.mono.assign(mono.begin(), mono.end());
    m.compression = compressionIndex(program, input, clipFrames);
    m.thdDb = totalHarmonicDistortion(program);
    return m;
}

}  // namespace tonewright::factory
