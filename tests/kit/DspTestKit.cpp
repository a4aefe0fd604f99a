#include "DspTestKit.h"

#include <algorithm>
#include <cmath>

namespace testkit {

void forEachBlock(int total, const BlockPlan& plan, const std::function<void(int, int)>& f)
{
    std::mt19937 rng(plan.seed);
    std::uniform_int_distribution<int> size(1, std::max(1, plan.size));
    for (int pos = 0; pos < total;) {
        const int want = plan.random ? size(rng) : std::max(1, plan.size);
        const int n = std::min(want, total - pos);
        f(pos, n);
        pos += n;
    }
}

std::vector<double> runMono(const MonoProcess& p, std::vector<double> signal, const BlockPlan& plan)
{
    forEachBlock(static_cast<int>(signal.size()), plan, [&](int pos, int n) { p(signal.data() + pos, n); });
    return signal;
}

Stereo runStereo(const MonoToStereoProcess& p, std::vector<double> signal, const BlockPlan& plan)
{
    Stereo out;
    out.left.assign(signal.size(), 0.0);
    out.right.assign(signal.size(), 0.0);
    forEachBlock(static_cast<int>(signal.size()), plan, [&](int pos, int n) {
        p(signal.data() + pos, out.left.data() + pos, out.right.data() + pos, n);
    });
    out.mono = std::move(signal);
    return out;
}

std::vector<double> sine(double fs, double freq, double seconds, double amplitude, double phase)
{
    std::vector<double> v(static_cast<size_t>(seconds * fs));
    const double w = 2.0 * kPi * freq / fs;
    for (size_t i = 0; i < v.size(); ++i) v[i] = amplitude * std::sin(w * static_cast<double>(i) + phase);
    return v;
}

std::vector<double> impulse(int length, double amplitude, int at)
{
    std::vector<double> v(static_cast<size_t>(length), 0.0);
    if (at >= 0 && at < length) v[static_cast<size_t>(at)] = amplitude;
    return v;
}

std::vector<double> whiteNoise(int length, double amplitude, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> d(-amplitude, amplitude);
    std::vector<double> v(static_cast<size_t>(length));
    for (double& x : v) x = d(rng);
    return v;
}

SineFit fitSine(const std::vector<double>& y, size_t begin, size_t end, double fs, double freq)
{
    end = std::min(end, y.size());
    // Normal equations for y ~ a sin + b cos + c.
    double m[3][3] = {}, r[3] = {};
    const double w = 2.0 * kPi * freq / fs;
    for (size_t i = begin; i < end; ++i) {
        const double basis[3] = {std::sin(w * double(i)), std::cos(w * double(i)), 1.0};
        for (int j = 0; j < 3; ++j) {
            r[j] += basis[j] * y[i];
            for (int k = 0; k < 3; ++k) m[j][k] += basis[j] * basis[k];
        }
    }
    // Gaussian elimination with partial pivoting.
    int order[3] = {0, 1, 2};
    for (int col = 0; col < 3; ++col) {
        int best = col;
        for (int row = col + 1; row < 3; ++row)
            if (std::fabs(m[order[row]][col]) > std::fabs(m[order[best]][col])) best = row;
        std::swap(order[col], order[best]);
        const int p = order[col];
        for (int row = col + 1; row < 3; ++row) {
            const int q = order[row];
            const double f = m[q][col] / m[p][col];
            for (int k = col; k < 3; ++k) m[q][k] -= f * m[p][k];
            r[q] -= f * r[p];
        }
    }
    double coef[3];
    for (int col = 2; col >= 0; --col) {
        const int p = order[col];
        double s = r[p];
        for (int k = col + 1; k < 3; ++k) s -= m[p][k] * coef[k];
        coef[col] = s / m[p][col];
    }
    SineFit fit;
    fit.amplitude = std::hypot(coef[0], coef[1]);
    fit.phase = std::atan2(coef[1], coef[0]);
    fit.dc = coef[2];
    double residual = 0.0;
    for (size_t i = begin; i < end; ++i) {
        const double e = y[i] - (coef[0] * std::sin(w * double(i)) + coef[1] * std::cos(w * double(i)) + coef[2]);
        residual += e * e;
    }
    fit.residualRms = end > begin ? std::sqrt(residual / double(end - begin)) : 0.0;
    return fit;
}

double Response::gainDb() const { return dB(gain); }

Response measureSine(const MonoProcess& p, double fs, double freq, double amplitude, double settleSeconds,
                     double measureSeconds, const BlockPlan& plan)
{
    const auto in = sine(fs, freq, settleSeconds + measureSeconds, amplitude);
    const auto out = runMono(p, in, plan);
    const size_t begin = static_cast<size_t>(settleSeconds * fs);
    const SineFit a = fitSine(in, begin, in.size(), fs, freq);
    const SineFit b = fitSine(out, begin, out.size(), fs, freq);
    Response r;
    r.gain = b.amplitude / a.amplitude;
    r.phase = std::remainder(b.phase - a.phase, 2.0 * kPi);
    return r;
}

double dB(double linear) { return 20.0 * std::log10(linear); }

std::vector<double> impulseResponse(const MonoProcess& p, int length, const BlockPlan& plan)
{
    return runMono(p, impulse(length), plan);
}

size_t peakIndex(const std::vector<double>& v)
{
    size_t best = 0;
    for (size_t i = 1; i < v.size(); ++i)
        if (std::fabs(v[i]) > std::fabs(v[best])) best = i;
    return best;
}

int measureDelay(const std::vector<double>& in, const std::vector<double>& out, int maxLag)
{
    int bestLag = 0;
    double best = -1.0;
    for (int lag = 0; lag <= maxLag; ++lag) {
        double s = 0.0;
        for (size_t i = static_cast<size_t>(lag); i < out.size() && i - lag < in.size(); ++i)
            s += out[i] * in[i - static_cast<size_t>(lag)];
        if (s > best) {
            best = s;
            bestLag = lag;
        }
    }
    return bestLag;
}

double rms(const std::vector<double>& v, size_t begin, size_t end)
{
    end = std::min(end, v.size());
    if (end <= begin) return 0.0;
    double s = 0.0;
    for (size_t i = begin; i < end; ++i) s += v[i] * v[i];
    return std::sqrt(s / double(end - begin));
}

double peak(const std::vector<double>& v, size_t begin, size_t end)
{
    end = std::min(end, v.size());
    double p = 0.0;
    for (size_t i = begin; i < end; ++i) p = std::max(p, std::fabs(v[i]));
    return p;
}

double largestStep(const std::vector<double>& v, size_t begin, size_t end)
{
    end = std::min(end, v.size());
    double s = 0.0;
    for (size_t i = std::max<size_t>(begin, 1); i < end; ++i) s = std::max(s, std::fabs(v[i] - v[i - 1]));
    return s;
}

bool allFinite(const std::vector<double>& v)
{
    return std::all_of(v.begin(), v.end(), [](double x) { return std::isfinite(x); });
}

bool noSubnormals(const std::vector<double>& v)
{
    return std::none_of(v.begin(), v.end(), [](double x) { return std::fpclassify(x) == FP_SUBNORMAL; });
}

AllocationRun allocationsOverRandomBlocks(const MonoProcess& p, const std::vector<double>& signal, int blocks,
                                          unsigned seed, const std::function<void(int block)>& between)
{
    const int longest = static_cast<int>(signal.size());
    std::vector<double> x(signal.size());
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> size(1, std::max(1, longest));
    AllocationRun run;
    AllocationCounter allocations;
    for (int b = 0; b < blocks; ++b) {
        const int n = b == 0 ? longest : size(rng);
        std::copy_n(signal.begin(), n, x.begin());
        between(b);
        p(x.data(), n);
        for (int i = 0; i < n; ++i) run.finite = run.finite && std::isfinite(x[size_t(i)]);
    }
    run.allocations = allocations.count();
    run.frees = allocations.freed();
    return run;
}

}  // namespace testkit
