// Noise gate: the static gain law at DC, the 1 ms + 30 ms crossfade of a
// setting change, the curve capacity, and the parameter rules.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "DspTestKit.h"
#include "effects/NoiseGate.h"

using namespace tonewright;

using namespace testkit;

namespace {

MonoProcess gated(NoiseGate& g)
{
    return [&g](double* x, int n) {
        g.process_input(x, n);
        g.process(x, n);
    };
}

// Gain a steady DC level settles to.
double dcGain(NoiseGate& g, double level, const BlockPlan& plan = BlockPlan::Fixed(256))
{
    const auto out = runMono(gated(g), std::vector<double>(3 * 44100, level), plan);
    return out.back() / level;
}

// Weight of the old settings at sample k of a fade that starts at k = 0.
double oldWeight(int k, double fs) { return std::clamp(31.0 / 30.0 - k / (0.03 * fs), 0.0, 1.0); }

NoiseGate instantGate(double fs)
{
    NoiseGate g;
    g.SetFs(fs);
    g.SetParameter(3, 0.0);
    g.SetParameter(4, 0.0);
    g.Settle();
    return g;
}

}  // namespace

TEST(NoiseGate, StaticGainIsARampBetweenTheClosedAndOpenThresholds)
{
    // Defaults: open at -60 dB (0.001), closed at half of it.
    for (const BlockPlan& plan : {BlockPlan::Fixed(256), BlockPlan::Random(700, 3)}) {
        NoiseGate g;
        EXPECT_NEAR(dcGain(g, 0.002, plan), 1.0, 1e-12);
        EXPECT_NEAR(dcGain(g, 0.00075, plan), 0.5, 1e-9);
        EXPECT_EQ(dcGain(g, 0.0004, plan), 0.0);
    }

    NoiseGate g;
    g.SetParameter(1, -40.0);  // T = 0.01
    g.SetParameter(2, 0.2);    // C = 0.002
    EXPECT_NEAR(dcGain(g, 0.006), 0.5, 1e-9);
    EXPECT_NEAR(dcGain(g, 0.0028), 0.1, 1e-9);
    g.SetParameter(2, 0.0);  // the ramp then starts at zero
    EXPECT_NEAR(dcGain(g, 0.0025), 0.25, 1e-9);
    EXPECT_NEAR(dcGain(g, 0.05), 1.0, 1e-12);
}

TEST(NoiseGate, ThresholdChangeHoldsOneMillisecondThenFadesOverThirty)
{
    for (double fs : {44100.0, 96000.0}) {
        NoiseGate g = instantGate(fs);
        const double x = 0.00075;  // gain 0.5 at -60 dB, 1 at -80 dB
        runMono(gated(g), std::vector<double>(1000, x));
        g.SetParameter(1, -80.0);
        const int total = int(0.05 * fs);
        const auto out = runMono(gated(g), std::vector<double>(size_t(total), x), BlockPlan::Random(300, 9));
        for (int k = 0; k < total; ++k) {
            const double w = oldWeight(k, fs);
            ASSERT_NEAR(out[size_t(k)], x * ((1.0 - w) * 1.0 + w * 0.5), 1e-15) << "fs " << fs << " sample " << k;
        }
        EXPECT_EQ(out[size_t(0.001 * fs) - 1], x * 0.5);  // the first 1 ms is the old threshold alone
        EXPECT_EQ(out[size_t(0.0312 * fs)], x);           // the fade is over after 31 ms
        EXPECT_FALSE(g.Crossfading());
    }
}

TEST(NoiseGate, ChangeDuringAFadeWaitsForItsEnd)
{
    const double fs = 44100.0;
    NoiseGate g = instantGate(fs);
    const double x = 0.00075;
    runMono(gated(g), std::vector<double>(1000, x));
    g.SetParameter(1, -80.0);  // to gain 1
    std::vector<double> out;
    const std::vector<double> block(100, x);
    for (int b = 0; b < 40; ++b) {
        if (b == 5) g.SetParameter(1, -20.0);  // to gain 0, while the first fade runs
        auto y = block;
        gated(g)(y.data(), int(y.size()));
        out.insert(out.end(), y.begin(), y.end());
    }
    // The first fade runs to its end (inside the block at 1300); the second
    // starts with the next block, at 1400.
    for (int k = 0; k < 1400; ++k) {
        const double w = oldWeight(k, fs);
        ASSERT_NEAR(out[size_t(k)], x * ((1.0 - w) + w * 0.5), 1e-15) << k;
    }
    for (int k = 1400; k < 4000; ++k) {
        const double w = oldWeight(k - 1400, fs);
        ASSERT_NEAR(out[size_t(k)], x * w, 1e-15) << k;
    }
}

TEST(NoiseGate, StereoDetectorTakesTheLouderChannel)
{
    NoiseGate g = instantGate(44100.0);
    std::vector<double> l(2000, 0.00075), r(2000, -0.0001);
    g.process_input(l.data(), r.data(), 2000);
    g.process(l.data(), r.data(), 2000);
    EXPECT_NEAR(l.back(), 0.00075 * 0.5, 1e-15);
    EXPECT_NEAR(r.back(), -0.0001 * 0.5, 1e-15);
}

TEST(NoiseGate, SettleStartsWithoutAFadeAndAnOffGateLeavesBlocksUntouched)
{
    NoiseGate g;
    g.SetParameter(3, 0.0);
    g.SetParameter(4, 0.0);
    g.SetParameter(1, -40.0);
    g.Settle();
    const auto out = runMono(gated(g), std::vector<double>(64, 0.0075));  // halfway up the ramp
    for (double y : out) ASSERT_NEAR(y, 0.0075 * 0.5, 1e-15);

    g.SetParameter(0, 0.0);
    runMono(gated(g), std::vector<double>(1000, 0.0001));  // the 20 ms fade ends
    EXPECT_EQ(g.Bypass().running, 0);
    const auto noise = whiteNoise(5000, 0.3, 4);
    EXPECT_EQ(runMono(gated(g), noise, BlockPlan::Random(1024, 2)), noise);

    NoiseGate off;
    off.SetParameter(0, 0.0);
    off.Settle();
    EXPECT_EQ(runMono(gated(off), noise), noise);
}

TEST(NoiseGate, CurvesNeverGrowWhileProcessing)
{
    // A block longer than the curves is measured up to their capacity; the
    // rest keeps the last gain.
    NoiseGate g = instantGate(44100.0);
    const int n = NoiseGate::kDefaultCapacity + 900;
    std::vector<double> x(size_t(n), 0.00075);
    x[size_t(NoiseGate::kDefaultCapacity - 1)] = 0.002;  // the last measured sample: gain 1
    x[size_t(NoiseGate::kDefaultCapacity + 10)] = 0.0001;
    g.process_input(x.data(), n);
    g.process(x.data(), n);
    EXPECT_NEAR(x[size_t(NoiseGate::kDefaultCapacity - 2)], 0.00075 * 0.5, 1e-15);
    EXPECT_EQ(x[size_t(NoiseGate::kDefaultCapacity - 1)], 0.002);
    EXPECT_EQ(x[size_t(NoiseGate::kDefaultCapacity + 10)], 0.0001);
    EXPECT_EQ(x.back(), 0.00075);

    // process given more samples than process_input measured.
    std::vector<double> y(200, 0.00075);
    g.process_input(y.data(), 100);
    g.process(y.data(), 200);
    for (double v : y) ASSERT_NEAR(v, 0.00075 * 0.5, 1e-15);
}

TEST(NoiseGate, NoAllocationOnceReserved)
{
    NoiseGate g;
    g.Reserve(8192);
    const auto run = allocationsOverRandomBlocks(gated(g), whiteNoise(8192, 0.01, 5), 300, 3, [&](int b) {
        if (b % 7 == 0) g.SetParameter(1, b % 14 == 0 ? -30.0 : -70.0);
        if (b % 50 == 25) g.SetParameter(0, b % 100 == 25 ? 0.0 : 1.0);
    });
    EXPECT_EQ(run.allocations, 0);
    EXPECT_EQ(run.frees, 0);
    EXPECT_TRUE(run.finite);
}

TEST(NoiseGate, ParameterRules)
{
    NoiseGate g;
    g.Settle();
    g.SetParameter(1, -500.0);  // clamped: the linear thresholds stay finite and non-zero
    EXPECT_EQ(g.GetParameter(1), NoiseGate::kLowestThreshold);
    g.SetParameter(1, 1e6);
    EXPECT_EQ(g.GetParameter(1), NoiseGate::kHighestThreshold);
    for (double bad : {NAN, INFINITY, -INFINITY}) {
        for (int id = 1; id < 5; ++id) {
            const double before = g.GetParameter(id);
            g.SetParameter(id, bad);
            EXPECT_EQ(g.GetParameter(id), before) << id;
        }
    }
    g.SetParameter(2, 1.0);
    g.SetParameter(2, -0.1);
    EXPECT_EQ(g.GetParameter(2), 0.5);
    g.SetParameter(2, 0.95);
    EXPECT_EQ(g.GetParameter(2), 0.95);
    g.SetParameter(3, -0.001);
    EXPECT_EQ(g.GetParameter(3), 0.001);
    g.SetParameter(3, 3600.0);
    EXPECT_EQ(g.GetParameter(3), NoiseGate::kLongestTime);
    g.SetParameter(4, 0.0);
    EXPECT_EQ(g.GetParameter(4), 0.0);
    EXPECT_EQ(g.GetParameter(5), 0.0);
    EXPECT_EQ(g.GetParameter(-1), 0.0);

    // An unchanged value, an unknown id or a rejected rate starts no fade.
    g.Settle();
    g.SetParameter(1, g.GetParameter(1));
    g.SetParameter(7, 3.0);
    g.SetFs(0.0);
    g.SetFs(-48000.0);
    g.SetFs(44100.0);
    std::vector<double> x(64, 0.1);
    gated(g)(x.data(), 64);
    EXPECT_FALSE(g.Crossfading());
    g.SetFs(48000.0);
    gated(g)(x.data(), 64);
    EXPECT_TRUE(g.Crossfading());
}
