// Filter: every type's measured response against its analog prototype
// through the pre-warped bilinear transform, the bank crossfade's timing,
// and the parameter rules.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "DspTestKit.h"
#include "dsp/Filter.h"
#include "dsp/ParameterRules.h"

using namespace tonewright;

using namespace testkit;
using cd = std::complex<double>;

namespace {

// Analog prototype of each type, s normalised to the corner or centre.
cd analog(int type, cd s, double Q, double levelDb)
{
    const double G = std::pow(10.0, levelDb / 20.0);
    const double A = std::pow(10.0, levelDb / 40.0);
    const double sqA = std::sqrt(A);
    const cd den2 = s * s + s / Q + 1.0;
    switch (type) {
    case 0: return G;
    case 1: return G / (1.0 + s);
    case 2: return G * s / (1.0 + s);
    case 3: return (s + G) / (s + 1.0);
    case 4: return (1.0 + G * s) / (1.0 + s);
    case 5: return G * (1.0 - s) / (1.0 + s);
    case 6: return G / den2;
    case 7: return G * s * s / den2;
    case 8: return G * (s / Q) / den2;
    case 9: return G * (s * s + 1.0) / den2;
    case 10: return (s * s + s * (A / Q) + 1.0) / (s * s + s / (A * Q) + 1.0);
    case 11: return A * (s * s + (sqA / Q) * s + A) / (A * s * s + (sqA / Q) * s + 1.0);
    case 12: return A * (A * s * s + (sqA / Q) * s + 1.0) / (s * s + (sqA / Q) * s + A);
    case 13: return G * (s * s - s / Q + 1.0) / den2;
    default: return 0.0;
    }
}

// The digital response at f equals the analog one at the pre-warped
// frequency tan(pi f / fs) / tan(pi f0 / fs).
cd expected(int type, double f, double f0, double fs, double Q, double levelDb)
{
    const double omega = std::tan(kPi * f / fs) / std::tan(kPi * f0 / fs);
    return analog(type, cd(0.0, omega), Q, levelDb);
}

Filter makeFilter(int type, double f0, double q, double level, double fs)
{
    Filter f;
    f.SetFs(fs);
    f.SetParameter(1, type);
    f.SetParameter(2, f0);
    f.SetParameter(3, q);
    f.SetParameter(4, level);
    f.Settle();
    return f;
}

}  // namespace

TEST(Filter, EveryTypeMatchesItsAnalogPrototype)
{
    const double fs = 48000.0, f0 = 1000.0, Q = 0.9;
    for (double level : {6.0, -9.0}) {
        for (int type = 0; type <= 13; ++type) {
            for (double f : {40.0, 300.0, 1000.0, 2500.0, 9000.0, 19000.0}) {
                Filter filter = makeFilter(type, f0, Q, level, fs);
                const Response r = measureSine([&](double* x, int n) { filter.process(x, n); }, fs, f);
                const cd want = expected(type, f, f0, fs, Q, level);
                SCOPED_TRACE(testing::Message() << "type " << type << " level " << level << " f " << f);
                if (std::abs(want) < 1e-9) {
                    EXPECT_LT(r.gain, 1e-6);  // the notch's zero
                    continue;
                }
                EXPECT_NEAR(r.gainDb(), dB(std::abs(want)), 1e-6);
                if (std::abs(want) > 1e-3) {
                    EXPECT_NEAR(std::remainder(r.phase - std::arg(want), 2 * kPi), 0.0, 1e-6);
                }
            }
        }
    }
}

TEST(Filter, PeakAtZeroDbIsTransparentAndLevelIsOutputGain)
{
    Filter peakFilter = makeFilter(Filter::kPeak, 2000.0, 2.0, 0.0, 44100.0);
    const auto c = peakFilter.GetCoefficients();
    EXPECT_DOUBLE_EQ(c.B1, -c.A1);
    EXPECT_DOUBLE_EQ(c.B2, -c.A2);
    EXPECT_DOUBLE_EQ(c.B0, 1.0);

    Filter lp = makeFilter(Filter::kLowPass, 1000.0, 0.7071, 6.0, 44100.0);
    const auto dc = runMono([&](double* x, int n) { lp.process(x, n); }, std::vector<double>(20000, 1.0));
    EXPECT_NEAR(dc.back(), std::pow(10.0, 6.0 / 20.0), 1e-9);

    Filter gain = makeFilter(Filter::kGain, 5000.0, 0.7071, -6.0, 44100.0);
    const auto out = runMono([&](double* x, int n) { gain.process(x, n); }, whiteNoise(1000, 0.5));
    const auto in = whiteNoise(1000, 0.5);
    for (size_t i = 0; i < in.size(); ++i) EXPECT_NEAR(out[i], in[i] * std::pow(10.0, -6.0 / 20.0), 1e-12);
}

TEST(Filter, ChangeHoldsOneMillisecondThenFadesOverThirty)
{
    const double fs = 44100.0;
    Filter f = makeFilter(Filter::kGain, 1000.0, 0.7071, 0.0, fs);
    f.SetParameter(4, -6.0);
    const double g = std::pow(10.0, -6.0 / 20.0);
    const auto out = runMono([&](double* x, int n) { f.process(x, n); }, std::vector<double>(3000, 1.0),
                             BlockPlan::Fixed(3000));
    const double step = 1.0 / (0.03 * fs);
    for (int k = 0; k < 3000; ++k) {
        const double w = std::clamp(31.0 / 30.0 - k * step, 0.0, 1.0);
        ASSERT_NEAR(out[size_t(k)], (1.0 - w) * g + w, 1e-12) << "sample " << k;
    }
    // 1 ms of the old setting, then the end of the fade at 31 ms.
    EXPECT_DOUBLE_EQ(out[43], 1.0);
    EXPECT_LT(out[46], 1.0);
    EXPECT_NEAR(out[size_t(0.031 * fs) + 2], g, 1e-12);
}

TEST(Filter, ChangeDuringFadeWaitsForItsEnd)
{
    const double fs = 44100.0;
    Filter f = makeFilter(Filter::kGain, 1000.0, 0.7071, 0.0, fs);
    std::vector<double> out;
    auto run = [&](int n) {
        std::vector<double> x(size_t(n), 1.0);
        f.process(x.data(), n);
        out.insert(out.end(), x.begin(), x.end());
    };
    f.SetParameter(4, -6.0);
    run(441);  // 10 ms into the first fade
    f.SetParameter(4, -12.0);
    f.SetParameter(4, -20.0);  // collapses with the one before
    while (out.size() < 4410) run(64);
    const double g6 = std::pow(10.0, -6.0 / 20.0), g20 = std::pow(10.0, -20.0 / 20.0);
    // The first fade ends at 31 ms; the next block (a multiple of 64 after
    // 441) starts the second one, which ends 31 ms later.
    EXPECT_NEAR(out[1400], g6, 1e-12);
    const size_t secondStart = 441 + 64 * ((1367 - 441) / 64 + 1);
    EXPECT_NEAR(out[secondStart - 1], g6, 1e-12);
    EXPECT_NEAR(out[secondStart + 44], g6, 1e-12);  // still the hold
    EXPECT_NEAR(out.back(), g20, 1e-12);
}

TEST(Filter, SwitchingOffFadesOverTwentyMillisecondsThenLeavesBlocksUntouched)
{
    const double fs = 44100.0;
    Filter f = makeFilter(Filter::kGain, 1000.0, 0.7071, -120.0, fs);
    const double g = 1e-6;
    f.SetParameter(0, 0.0);
    const auto out = runMono([&](double* x, int n) { f.process(x, n); }, std::vector<double>(1000, 1.0),
                             BlockPlan::Fixed(1000));
    for (int i = 0; i < 880; ++i) {
        const double dry = (i + 1) / 882.0;
        ASSERT_NEAR(out[size_t(i)], dry + (1.0 - dry) * g, 1e-12) << i;
    }
    EXPECT_DOUBLE_EQ(out[900], 1.0);
    EXPECT_EQ(f.Bypass().running, 0);

    const auto noise = whiteNoise(777, 0.9, 3);
    const auto after = runMono([&](double* x, int n) { f.process(x, n); }, noise);
    EXPECT_EQ(after, noise);  // bit for bit
}

TEST(Filter, ParameterRules)
{
    Filter f;
    f.SetParameter(1, 13.4);
    EXPECT_EQ(f.GetParameters().type, 13);
    f.SetParameter(1, 13.6);
    EXPECT_EQ(f.GetParameters().type, 13);
    f.SetParameter(1, -0.6);
    f.SetParameter(1, NAN);
    f.SetParameter(1, 1e300);
    EXPECT_EQ(f.GetParameters().type, 13);

    f.SetParameter(3, 0.0);
    f.SetParameter(3, -1.0);
    f.SetParameter(3, INFINITY);
    EXPECT_DOUBLE_EQ(f.GetParameter(3), 0.7071);
    f.SetParameter(4, NAN);
    EXPECT_DOUBLE_EQ(f.GetParameter(4), 0.0);
    f.SetParameter(2, 0.0);
    f.SetParameter(2, NAN);
    EXPECT_DOUBLE_EQ(f.GetParameter(2), 1000.0);
    EXPECT_DOUBLE_EQ(f.GetParameter(7), 0.0);
}

TEST(Filter, StoredFrequencySurvivesRateChangesAndIsLimitedOnlyInUse)
{
    Filter f;
    f.SetFs(96000.0);
    f.SetParameter(2, 30000.0);
    EXPECT_DOUBLE_EQ(f.GetParameter(2), 30000.0);
    f.SetFs(44100.0);
    EXPECT_DOUBLE_EQ(f.GetParameter(2), 30000.0);
    EXPECT_NEAR(f.EffectiveFrequency(), 22005.9, 1e-9);
    f.SetFs(96000.0);
    EXPECT_DOUBLE_EQ(f.EffectiveFrequency(), 30000.0);

    // A section limited below Nyquist stays stable.
    Filter hp = makeFilter(Filter::kHighPass, 1000.0, 0.7071, 0.0, 44100.0);
    hp.SetParameter(2, 50000.0);
    const auto out = runMono([&](double* x, int n) { hp.process(x, n); }, whiteNoise(44100, 0.5));
    EXPECT_TRUE(allFinite(out));
    EXPECT_LT(peak(out), 2.0);
}

TEST(Filter, ValuesBeyondTheirRangesAreStoredAsTheNearerEnd)
{
    const struct {
        int id;
        double value, stored;
    } cases[] = {
        {2, 1e-310, kLowestFrequency}, {2, 0.05, kLowestFrequency}, {2, 1e308, 1e308},  // limited only in use
        {3, 1e-310, Filter::kSmallestQ}, {3, 1e300, Filter::kLargestQ},
        {4, 7000.0, kHighestLevelDb},   {4, -1e308, kLowestLevelDb},
    };
    for (const auto& c : cases) {
        Filter f;
        f.SetParameter(c.id, c.value);
        EXPECT_EQ(f.GetParameter(c.id), c.stored) << c.id << " " << c.value;
    }
}

TEST(Filter, EverySectionStaysStableAndFiniteAtTheEndsOfItsRanges)
{
    // Poles of y = B0 x + .. + A1 y1 + A2 y2: the roots of z^2 - A1 z - A2.
    const auto poleRadius = [](const Filter::Coefficients& c) {
        const double disc = c.A1 * c.A1 + 4.0 * c.A2;
        if (disc < 0.0) return std::sqrt(-c.A2);
        const double r = std::sqrt(disc);
        return std::max(std::fabs(c.A1 + r), std::fabs(c.A1 - r)) / 2.0;
    };
    for (double fs : {8000.0, 44100.0, 384000.0}) {
        for (int type = 0; type <= 13; ++type) {
            for (double frequency : {1e-310, 1e308}) {
                for (double q : {1e-310, 1e300}) {
                    for (double level : {-7000.0, 7000.0}) {
                        SCOPED_TRACE(testing::Message() << fs << " Hz, type " << type << ", f " << frequency << ", q "
                                                        << q << ", level " << level);
                        Filter f = makeFilter(type, frequency, q, level, fs);
                        const auto c = f.GetCoefficients();
                        for (double v : {c.B0, c.B1, c.B2, c.A1, c.A2}) ASSERT_TRUE(std::isfinite(v));
                        EXPECT_LT(poleRadius(c), 1.0);
                        const auto out = runMono([&](double* x, int n) { f.process(x, n); }, whiteNoise(2000, 1.0));
                        EXPECT_TRUE(allFinite(out));
                        EXPECT_TRUE(noSubnormals(out));
                    }
                }
            }
        }
    }
}

TEST(Filter, StereoMatchesMonoOnEachChannel)
{
    Filter a = makeFilter(Filter::kPeak, 700.0, 1.3, 5.0, 44100.0);
    Filter b = makeFilter(Filter::kPeak, 700.0, 1.3, 5.0, 44100.0);
    auto l = whiteNoise(2048, 0.5, 1), r = whiteNoise(2048, 0.5, 2);
    auto lm = l, rm = r;
    a.process(l.data(), r.data(), 2048);
    b.process(lm.data(), 2048);
    Filter c = makeFilter(Filter::kPeak, 700.0, 1.3, 5.0, 44100.0);
    c.process(rm.data(), 2048);
    EXPECT_EQ(l, lm);
    EXPECT_EQ(r, rm);
}

TEST(Filter, DecayingSignalReachesExactZero)
{
    Filter f = makeFilter(Filter::kLowPass, 200.0, 4.0, 0.0, 44100.0);
    std::vector<double> x = impulse(200000);
    f.process(x.data(), int(x.size()));
    EXPECT_TRUE(noSubnormals(x));
    // The guard quantises the history to about 1e-26: what is left is far
    // below audibility and never subnormal.
    EXPECT_LT(peak(x, x.size() - 1000), 1e-20);
}

// A cascade gives exactly what its sections give one after another: in one
// pass while all are steady, section by section while one fades, ramps its
// switch or has stopped, and across the moves between the two.
TEST(Filter, CascadeEqualsItsSectionsInSeries)
{
    constexpr int kCount = 5;
    const int types[kCount] = {Filter::kPeak, Filter::kLowShelf, Filter::kHighPass, Filter::kLowPass1, Filter::kNotch};
    for (int scenario = 0; scenario < 4; ++scenario) {
        // Cascades (mono, and stereo as left and right) and the same sections
        // run one by one.
        Filter sets[6][kCount];
        for (auto& set : sets) {
            for (int j = 0; j < kCount; ++j) {
                Filter& f = set[j];
                f.SetFs(44100.0);
                f.SetParameter(1, types[j]);
                f.SetParameter(2, 200.0 * (j + 1));
                f.SetParameter(3, 0.9);
                f.SetParameter(4, 3.0);
                f.Settle();
                if (scenario == 1 && j == 2) f.SetParameter(2, 3000.0);  // fades from the first block
                if (scenario == 2 && j == 3) f.SetParameter(0, 0.0);     // ramps out, then stops
                if (scenario == 3 && j == 1) {
                    f.SetParameter(0, 0.0);
                    f.Settle();  // stopped from the start
                }
            }
        }
        const auto pointers = [&](int set) {
            std::vector<Filter*> p;
            for (Filter& f : sets[set]) p.push_back(&f);
            return p;
        };
        const auto mono = pointers(0), left = pointers(1), right = pointers(2);
        auto x = whiteNoise(4000, 0.5, 3), l = whiteNoise(4000, 0.5, 4), r = whiteNoise(4000, 0.5, 5);
        auto xs = x, ls = l, rs = r;
        std::mt19937 rng(scenario);
        for (int pos = 0; pos < 4000;) {
            const int n = std::min(std::uniform_int_distribution<int>(1, 700)(rng), 4000 - pos);
            Filter::processCascade(mono.data(), kCount, x.data() + pos, n);
            Filter::processCascade(left.data(), right.data(), kCount, l.data() + pos, r.data() + pos, n);
            for (int j = 0; j < kCount; ++j) {
                sets[3][j].process(xs.data() + pos, n);
                sets[4][j].process(ls.data() + pos, n);
                sets[5][j].process(rs.data() + pos, n);
            }
            pos += n;
        }
        EXPECT_EQ(x, xs) << scenario;
        EXPECT_EQ(l, ls) << scenario;
        EXPECT_EQ(r, rs) << scenario;
    }
}
