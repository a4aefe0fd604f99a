// Compressor/sustainer: both gain laws at steady DC levels, the 1 ms + 30 ms
// crossfade of a type change, and the parameter rules.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "effects/CompressorSustainer.h"
#include "DspTestKit.h"

using namespace tonewright;

using namespace testkit;

namespace {

MonoProcess of(CompressorSustainer& c)
{
    return [&c](double* x, int n) { c.process(x, n); };
}

CompressorSustainer make(int type, double amount, double attack = 0.001, double release = 0.25)
{
    CompressorSustainer c;
    c.SetParameter(1, type);
    c.SetParameter(2, amount);
    c.SetParameter(3, attack);
    c.SetParameter(4, release);
    c.Settle();
    return c;
}

// Gain a fresh compressor settles to on a steady DC level.
double dcGain(int type, double amount, double level)
{
    CompressorSustainer c = make(type, amount);
    const auto out = runMono(of(c), std::vector<double>(44100, level), BlockPlan::Random(512, 4));
    return out.back() / level;
}

double oldWeight(int k, double fs) { return std::clamp(31.0 / 30.0 - k / (0.03 * fs), 0.0, 1.0); }

}  // namespace

TEST(CompressorSustainer, StaticGainLaws)
{
    // Law 1 at amount 1: (1 + k) / (e + k) with k = 1/9.
    EXPECT_NEAR(dcGain(1, 1.0, 1.0), 1.0, 1e-12);
    EXPECT_NEAR(dcGain(1, 1.0, 0.5), 1.1111111111111112 / 0.6111111111111112, 1e-9);
    EXPECT_NEAR(dcGain(1, 1.0, 1e-6), 9.99991, 1e-5);
    // Its ceiling at amount 0.5 and 0: +10.05 dB and +0.1 dB.
    EXPECT_NEAR(dB(dcGain(1, 0.5, 1e-9)), 10.05, 1e-6);
    EXPECT_NEAR(dB(dcGain(1, 0.0, 1e-9)), 0.1, 1e-6);
    // Law 0: e^(-amount / 2).
    EXPECT_NEAR(dcGain(0, 0.5, 0.25), std::sqrt(std::sqrt(4.0)), 1e-9);
    EXPECT_NEAR(dcGain(0, 1.0, 1e-4), 100.0, 1e-6);
    EXPECT_NEAR(dcGain(0, 0.0, 0.01), 1.0, 1e-12);
    // Above full scale both laws pass at unity.
    EXPECT_EQ(dcGain(1, 1.0, 2.0), 1.0);
    EXPECT_EQ(dcGain(0, 1.0, 2.0), 1.0);
}

TEST(CompressorSustainer, DigitalSilenceStaysSilentAndFollowerTimesAct)
{
    CompressorSustainer c = make(0, 1.0);
    const auto out = runMono(of(c), std::vector<double>(1000, 0.0));
    EXPECT_EQ(peak(out), 0.0);

    // Attack 0 follows a rising step at once: the first sample already has
    // the steady gain.
    CompressorSustainer fast = make(1, 1.0, 0.0, 0.0);
    std::vector<double> step(10, 0.5);
    fast.process(step.data(), 10);
    EXPECT_NEAR(step[0], 0.5 * 1.1111111111111112 / 0.6111111111111112, 1e-12);
    // Release 0 drops at once as well.
    std::vector<double> down(4, 0.25);
    fast.process(down.data(), 4);
    EXPECT_NEAR(down[0], 0.25 * 1.1111111111111112 / (0.25 + 1.0 / 9.0), 1e-12);
}

TEST(CompressorSustainer, TypeChangeHoldsOneMillisecondThenFadesOverThirty)
{
    for (double fs : {44100.0, 48000.0}) {
        CompressorSustainer c;
        c.SetFs(fs);
        c.SetParameter(2, 1.0);
        c.SetParameter(3, 0.0);
        c.SetParameter(4, 0.0);
        c.Settle();
        const double x = 0.5;
        const double law1 = 1.1111111111111112 / 0.6111111111111112, law0 = std::sqrt(2.0);
        runMono(of(c), std::vector<double>(500, x));
        c.SetParameter(1, 0.0);
        const int total = int(0.05 * fs);
        const auto out = runMono(of(c), std::vector<double>(size_t(total), x), BlockPlan::Random(256, 2));
        for (int k = 0; k < total; ++k) {
            const double w = oldWeight(k, fs);
            ASSERT_NEAR(out[size_t(k)], x * ((1.0 - w) * law0 + w * law1), 1e-14) << "fs " << fs << " sample " << k;
        }
        EXPECT_NEAR(out[size_t(0.001 * fs) - 1], x * law1, 1e-15);
        EXPECT_NEAR(out[size_t(0.0312 * fs)], x * law0, 1e-15);
        EXPECT_FALSE(c.Crossfading());
    }
}

TEST(CompressorSustainer, StereoFormSharesOneGain)
{
    CompressorSustainer c = make(1, 1.0, 0.0, 0.0);
    std::vector<double> l(100, 0.25), r(100, -0.5);
    c.process(l.data(), r.data(), 100);
    const double g = 1.1111111111111112 / 0.6111111111111112;
    EXPECT_NEAR(l.back(), 0.25 * g, 1e-14);
    EXPECT_NEAR(r.back(), -0.5 * g, 1e-14);
}

TEST(CompressorSustainer, SettleStartsWithoutAFadeAndAnOffStageLeavesBlocksUntouched)
{
    CompressorSustainer c = make(0, 1.0, 0.0, 0.0);
    const auto out = runMono(of(c), std::vector<double>(32, 0.25));
    for (double y : out) ASSERT_NEAR(y, 0.25 * 2.0, 1e-14);

    const auto noise = whiteNoise(4000, 0.4, 8);
    c.SetParameter(0, 0.0);
    runMono(of(c), noise);
    EXPECT_EQ(c.Bypass().running, 0);
    EXPECT_EQ(runMono(of(c), noise, BlockPlan::Random(900, 1)), noise);
}

TEST(CompressorSustainer, SwitchingOnKeepsTheEnvelope)
{
    // Slow times: the envelope barely moves within a sample.
    CompressorSustainer c = make(0, 1.0, 1.0, 1.0);
    runMono(of(c), std::vector<double>(44100 * 20, 0.25));
    c.SetParameter(0, 0.0);
    runMono(of(c), std::vector<double>(1000, 0.25));  // the fade-out ends
    runMono(of(c), std::vector<double>(44100, 0.0));  // an off stage measures nothing
    c.SetParameter(0, 1.0);
    c.Settle();
    std::vector<double> y(1, 0.25);
    c.process(y.data(), 1);
    EXPECT_NEAR(y[0], 0.25 * 2.0, 1e-6);
}

TEST(CompressorSustainer, NoAllocationOnceReserved)
{
    CompressorSustainer c;
    c.Reserve(2048);
    const auto run = allocationsOverRandomBlocks(of(c), whiteNoise(2048, 0.3, 6), 300, 9, [&](int b) {
        if (b % 5 == 0) c.SetParameter(1, b % 10 == 0 ? 0.0 : 1.0);
        if (b % 40 == 20) c.SetParameter(0, b % 80 == 20 ? 0.0 : 1.0);
    });
    EXPECT_EQ(run.allocations, 0);
    EXPECT_EQ(run.frees, 0);
    EXPECT_TRUE(run.finite);
}

TEST(CompressorSustainer, ParameterRules)
{
    CompressorSustainer c;
    c.SetParameter(1, 1.6);
    EXPECT_EQ(c.GetParameter(1), 1.0);
    c.SetParameter(1, -0.4);
    EXPECT_EQ(c.GetParameter(1), 0.0);
    c.SetParameter(1, 1.4);
    EXPECT_EQ(c.GetParameter(1), 1.0);
    c.SetParameter(1, -0.6);
    EXPECT_EQ(c.GetParameter(1), 1.0);
    c.SetParameter(2, 1.0);
    EXPECT_EQ(c.GetParameter(2), 1.0);
    c.SetParameter(2, 1.0000001);
    c.SetParameter(2, -0.1);
    EXPECT_EQ(c.GetParameter(2), 1.0);
    c.SetParameter(3, 1e9);
    EXPECT_EQ(c.GetParameter(3), CompressorSustainer::kLongestTime);
    c.SetParameter(4, -1.0);
    EXPECT_EQ(c.GetParameter(4), 0.25);
    for (double bad : {NAN, INFINITY, -INFINITY}) {
        for (int id = 1; id < 5; ++id) {
            const double before = c.GetParameter(id);
            c.SetParameter(id, bad);
            EXPECT_EQ(c.GetParameter(id), before) << id;
        }
    }
    EXPECT_EQ(c.GetParameter(9), 0.0);

    c.Settle();
    c.SetParameter(2, 1.0);  // unchanged
    c.SetFs(44100.0);
    c.SetFs(0.0);
    std::vector<double> x(16, 0.1);
    c.process(x.data(), 16);
    EXPECT_FALSE(c.Crossfading());
}
