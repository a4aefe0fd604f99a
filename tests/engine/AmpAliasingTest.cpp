// How much of a high-gain amplifier's output lands off the harmonics of the
// tone played (aliasing), with and without oversampling: a stepped sine sweep
// from 2 to 18 kHz through preamp and power amp, run as the engine runs them.
// The figures are printed; the assertion only asks that oversampling lowers
// them clearly. The first 50 ms of every tone (the switches' fades and the
// chain's settling) are left out of the measurement.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "DspTestKit.h"
#include "engine/Tonewright.h"

using namespace tonewright;

using namespace testkit;

namespace {

// The engine with its gain knob fully up and a second preamp stage driven by
// the first; the cabinet is switched off so that what comes out is the
// amplifier's output behind the engine's fixed, linear filters.
std::unique_ptr<Tonewright> highGainEngine(double fs, bool oversampled)
{
    auto e = std::make_unique<Tonewright>();
    e->SetFs(fs);
    e->SetParameter(89, oversampled ? 1 : 0);
    e->SetParameter(39, 0);
    PreampParameters model = e->GetParameters()->preamp;
    model.stages[1].enable = true;
    e->SetPreamp(&model);
    e->SetParameter(15, 1.0);
    return e;
}

// Least-squares fit of DC and every harmonic of f below half the rate over
// y[begin, end); returns the energy of y and of what the fit leaves.
struct Energy {
    double total = 0, offHarmonic = 0;
};

Energy harmonicFit(const std::vector<double>& y, size_t begin, size_t end, double fs, double f)
{
    const int harmonics = int(std::floor((0.5 * fs - 1.0) / f));
    const int m = 1 + 2 * harmonics;
    std::vector<double> basis(static_cast<size_t>(m));
    std::vector<double> normal(size_t(m * m), 0.0), rhs(size_t(m), 0.0);
    const auto fill = [&](size_t i) {
        basis[0] = 1.0;
        for (int h = 1; h <= harmonics; ++h) {
            const double phase = 2.0 * kPi * h * f * double(i) / fs;
            basis[size_t(2 * h - 1)] = std::cos(phase);
            basis[size_t(2 * h)] = std::sin(phase);
        }
    };
    for (size_t i = begin; i < end; ++i) {
        fill(i);
        for (int r = 0; r < m; ++r) {
            rhs[size_t(r)] += basis[size_t(r)] * y[i];
            for (int c = 0; c < m; ++c) normal[size_t(r * m + c)] += basis[size_t(r)] * basis[size_t(c)];
        }
    }
    // Gaussian elimination with partial pivoting.
    std::vector<double> coef = rhs;
    for (int col = 0; col < m; ++col) {
        int pivot = col;
        for (int r = col + 1; r < m; ++r)
            if (std::fabs(normal[size_t(r * m + col)]) > std::fabs(normal[size_t(pivot * m + col)])) pivot = r;
        for (int c = 0; c < m; ++c) std::swap(normal[size_t(col * m + c)], normal[size_t(pivot * m + c)]);
        std::swap(coef[size_t(col)], coef[size_t(pivot)]);
        for (int r = col + 1; r < m; ++r) {
            const double k = normal[size_t(r * m + col)] / normal[size_t(col * m + col)];
            for (int c = col; c < m; ++c) normal[size_t(r * m + c)] -= k * normal[size_t(col * m + c)];
            coef[size_t(r)] -= k * coef[size_t(col)];
        }
    }
    for (int r = m - 1; r >= 0; --r) {
        for (int c = r + 1; c < m; ++c) coef[size_t(r)] -= normal[size_t(r * m + c)] * coef[size_t(c)];
        coef[size_t(r)] /= normal[size_t(r * m + r)];
    }
    Energy e;
    for (size_t i = begin; i < end; ++i) {
        fill(i);
        double fit = 0;
        for (int r = 0; r < m; ++r) fit += coef[size_t(r)] * basis[size_t(r)];
        e.total += (y[i] - coef[0]) * (y[i] - coef[0]);
        e.offHarmonic += (y[i] - fit) * (y[i] - fit);
    }
    return e;
}

// The sweep's tones: fs / f is a whole number plus 0.618, so that the
// folded harmonics of every tone land well clear of its true harmonics
// (k * 0.618 stays at least 0.05 from a whole number for k up to 11); and
// 18 kHz, which has no harmonic below half the rate.
std::vector<double> sweepTones(double fs)
{
    std::vector<double> tones;
    for (int n = 21; n >= 2; --n) tones.push_back(fs / (n + 0.618034));
    tones.push_back(18000.0);
    return tones;
}

}  // namespace

TEST(AmpAliasing, OversamplingLowersTheEnergyOffTheHarmonics)
{
    const double fs = 44100.0;
    const double segment = 0.15, settle = 0.05;
    const auto tones = sweepTones(fs);
    double offTotal[2] = {}, energyTotal[2] = {}, worst[2] = {-1e9, -1e9};
    std::printf("tone Hz    off-harmonic energy dB (base rate, oversampled)\n");
    for (double f : tones) {
        double ratio[2];
        for (int raised = 0; raised < 2; ++raised) {
            auto engine = highGainEngine(fs, raised == 1);
            auto in = sine(fs, f, segment, 0.5);
            std::vector<double> y(in.size()), right(in.size());
            for (size_t pos = 0; pos < y.size(); pos += 256) {
                const int n = int(std::min<size_t>(256, y.size() - pos));
                engine->process(in.data() + pos, y.data() + pos, right.data() + pos, n);
            }
            ASSERT_TRUE(allFinite(y));
            const Energy e = harmonicFit(y, size_t(settle * fs), y.size(), fs, f);
            offTotal[raised] += e.offHarmonic;
            energyTotal[raised] += e.total;
            ratio[raised] = 10.0 * std::log10(e.offHarmonic / e.total);
            worst[raised] = std::max(worst[raised], ratio[raised]);
        }
        std::printf("%8.1f  %8.1f %8.1f\n", f, ratio[0], ratio[1]);
    }
    const double base = 10.0 * std::log10(offTotal[0] / energyTotal[0]);
    const double raised = 10.0 * std::log10(offTotal[1] / energyTotal[1]);
    std::printf("whole sweep: %.1f dB at the base rate, %.1f dB oversampled (worst tone %.1f / %.1f dB)\n", base,
                raised, worst[0], worst[1]);
    EXPECT_LT(raised, base - 10.0);
    EXPECT_LT(worst[1], worst[0]);
}
