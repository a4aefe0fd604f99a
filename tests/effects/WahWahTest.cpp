// Wah: the measured response across the pedal range against the analog
// band-pass prototype, the glide, the automatic mode, and when the filter
// forgets its ringing.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "DspTestKit.h"
#include "effects/WahWah.h"

using namespace tonewright;

using namespace testkit;
using cd = std::complex<double>;

namespace {

MonoProcess of(WahWah& w)
{
    return [&w](double* x, int n) { w.process(x, n); };
}

WahWah make(double fs, double pedal, int type = 0)
{
    WahWah w;
    w.SetFs(fs);
    w.SetParameter(1, type);
    w.SetParameter(2, pedal);
    w.Settle();
    return w;
}

// Dry tenth plus the wet band-pass, the band-pass being the analog
// (s/Q) / (s^2 + s/Q + 1) at the pre-warped frequency.
cd expected(double s, double f, double fs)
{
    const double f0 = 10.0 * s * s + 1685.0 * s + 435.0;
    const double q = 7.6 * s * s - 13.0 * s + 7.8;
    const double wet = std::pow(10.0, 0.1 * s);
    const cd jw(0.0, std::tan(kPi * f / fs) / std::tan(kPi * f0 / fs));
    return 0.1 + wet * (jw / q) / (jw * jw + jw / q + 1.0);
}

}  // namespace

TEST(WahWah, SweepLawsAtHeelMiddleAndToe)
{
    EXPECT_DOUBLE_EQ(WahWah::Frequency(0.0), 435.0);
    EXPECT_DOUBLE_EQ(WahWah::Frequency(0.5), 1280.0);
    EXPECT_DOUBLE_EQ(WahWah::Frequency(1.0), 2130.0);
    EXPECT_DOUBLE_EQ(WahWah::Q(0.0), 7.8);
    EXPECT_NEAR(WahWah::Q(0.5), 3.2, 1e-12);
    EXPECT_NEAR(WahWah::Q(1.0), 2.4, 1e-12);
    EXPECT_DOUBLE_EQ(WahWah::WetGain(1.0), std::pow(10.0, 0.1));
}

TEST(WahWah, SteadyGainAtThePedalFrequencyAcrossThePedalRange)
{
    for (double fs : {44100.0, 96000.0}) {
        for (int step = 0; step <= 10; ++step) {
            const double s = step / 10.0;
            const double f0 = WahWah::Frequency(s);
            for (double f : {f0, f0 / 2.0, f0 * 2.0}) {
                WahWah w = make(fs, s);
                const Response r = measureSine(of(w), fs, f, 0.25, 0.5, 0.2, BlockPlan::Random(512, 3));
                const cd want = expected(s, f, fs);
                SCOPED_TRACE(testing::Message() << "fs " << fs << " pedal " << s << " f " << f);
                EXPECT_NEAR(r.gain, std::abs(want), 1e-7);
                EXPECT_NEAR(std::remainder(r.phase - std::arg(want), 2 * kPi), 0.0, 1e-7);
                // At the centre the band-pass is exactly in phase at 0 dB.
                if (f == f0) {
                    EXPECT_NEAR(r.gain, 0.1 + std::pow(10.0, 0.1 * s), 1e-7);
                }
            }
        }
    }
}

TEST(WahWah, PedalMoveGlidesOverAboutThirtyMillisecondsThenStops)
{
    WahWah w = make(44100.0, 0.0);
    w.SetParameter(2, 1.0);
    runMono(of(w), std::vector<double>(1323, 0.0), BlockPlan::Fixed(1323));  // 30 ms
    EXPECT_NEAR(2130.0 - w.CurrentFrequency(), 0.001 * 1695.0, 0.05);
    EXPECT_TRUE(w.Gliding());
    runMono(of(w), std::vector<double>(2000, 0.0), BlockPlan::Fixed(500));
    EXPECT_FALSE(w.Gliding());
    EXPECT_EQ(w.CurrentFrequency(), 2130.0);
}

TEST(WahWah, TypesZeroAndTwoSoundAlike)
{
    const auto noise = whiteNoise(20000, 0.3, 12);
    WahWah a = make(44100.0, 0.3, 0), b = make(44100.0, 0.3, 2);
    a.SetParameter(2, 0.8);
    b.SetParameter(2, 0.8);
    EXPECT_EQ(runMono(of(a), noise), runMono(of(b), noise));
    b.SetParameter(1, 2.6);
    EXPECT_EQ(b.GetParameter(1), 2.0);
}

TEST(WahWah, AutoModeFollowsTheInputLevel)
{
    const double fs = 44100.0;
    // Sensitivity 0: the sweep spans -6..+18 dB.
    WahWah quiet = make(fs, 0.0, 1);
    EXPECT_NEAR(measureSine(of(quiet), fs, 435.0, 0.25).gain, 1.1, 1e-7);
    WahWah loud = make(fs, 0.0, 1);
    EXPECT_NEAR(measureSine(of(loud), fs, 2130.0, 20.0).gain, 0.1 + std::pow(10.0, 0.1), 1e-7);
    // Sensitivity 1: -50..-26 dB, so -20 dB is already toe down.
    WahWah sensitive = make(fs, 1.0, 1);
    EXPECT_NEAR(measureSine(of(sensitive), fs, 2130.0, 0.1).gain, 0.1 + std::pow(10.0, 0.1), 1e-7);
    WahWah belowRange = make(fs, 1.0, 1);
    EXPECT_NEAR(measureSine(of(belowRange), fs, 435.0, 0.002).gain, 1.1, 1e-7);

    // Digital silence: the envelope falls to zero, the position stays at the
    // heel, and nothing becomes NaN.
    WahWah silent = make(fs, 0.5, 1);
    runMono(of(silent), whiteNoise(4410, 0.5, 2));
    const auto out = runMono(of(silent), std::vector<double>(44100 * 4, 0.0));
    EXPECT_TRUE(allFinite(out));
    EXPECT_TRUE(noSubnormals(out));
    EXPECT_LT(peak(out, out.size() - 4410), 1e-20);  // what rounding leaves of the ringing
    EXPECT_EQ(silent.CurrentFrequency(), 435.0);

    // Back in pedal mode the filter glides from the last automatic position.
    silent.SetParameter(1, 0.0);
    runMono(of(silent), std::vector<double>(64, 0.0), BlockPlan::Fixed(64));
    EXPECT_GT(silent.CurrentFrequency(), 435.0);
    EXPECT_LT(silent.CurrentFrequency(), 1280.0);
    EXPECT_TRUE(silent.Gliding());
}

TEST(WahWah, HistoryIsClearedOnlyAfterAFullStop)
{
    const double fs = 44100.0;
    const auto noise = whiteNoise(6000, 0.3, 21);

    // Off and on again within the fade-out: the filter keeps ringing, so once
    // the fade-in has ended the output is the uninterrupted wah's.
    WahWah a = make(fs, 0.2), b = make(fs, 0.2);
    const auto steady = runMono(of(a), noise, BlockPlan::Fixed(100));
    std::vector<double> flipped;
    for (int k = 0; k < 60; ++k) {
        if (k == 10) b.SetParameter(0, 0.0);
        if (k == 12) b.SetParameter(0, 1.0);
        std::vector<double> y(noise.begin() + k * 100, noise.begin() + k * 100 + 100);
        b.process(y.data(), 100);
        flipped.insert(flipped.end(), y.begin(), y.end());
    }
    EXPECT_NE(flipped[1100], steady[1100]);
    for (size_t i = 2000; i < noise.size(); ++i) ASSERT_EQ(flipped[i], steady[i]) << i;

    // After a full stop the ringing is gone: the same as a wah that never ran.
    WahWah c = make(fs, 0.2);
    runMono(of(c), noise);
    c.SetParameter(0, 0.0);
    runMono(of(c), std::vector<double>(1000, 0.0));
    EXPECT_EQ(c.Bypass().running, 0);
    c.SetParameter(0, 1.0);
    WahWah fresh = make(fs, 0.2);
    fresh.SetParameter(0, 0.0);
    fresh.Settle();
    fresh.SetParameter(0, 1.0);
    EXPECT_EQ(runMono(of(c), noise), runMono(of(fresh), noise));
}

TEST(WahWah, SettleSkipsTheStartingGlideAndAnOffWahLeavesBlocksUntouched)
{
    const auto noise = whiteNoise(5000, 0.3, 3);
    WahWah settled;
    settled.Settle();
    EXPECT_FALSE(settled.Gliding());
    WahWah run;  // glides its wet gain up from 0 over the first blocks
    runMono(of(run), std::vector<double>(44100, 0.0));
    EXPECT_EQ(runMono(of(settled), noise), runMono(of(run), noise));

    settled.SetParameter(0, 0.0);
    runMono(of(settled), noise);
    EXPECT_EQ(runMono(of(settled), noise, BlockPlan::Random(700, 5)), noise);
}

TEST(WahWah, NoAllocationOnceReserved)
{
    WahWah w;
    w.Reserve(1024);
    const auto run = allocationsOverRandomBlocks(of(w), whiteNoise(1024, 0.3, 6), 400, 2, [&](int b) {
        if (b % 3 == 0) w.SetParameter(2, (b % 11) / 10.0);
        if (b % 50 == 0) w.SetParameter(1, (b / 50) % 2);
        if (b % 70 == 35) w.SetParameter(0, b % 140 == 35 ? 0.0 : 1.0);
    });
    EXPECT_EQ(run.allocations, 0);
    EXPECT_EQ(run.frees, 0);
    EXPECT_TRUE(run.finite);
}

TEST(WahWah, ParameterRules)
{
    WahWah w;
    w.SetParameter(2, 1.01);
    w.SetParameter(2, -0.01);
    w.SetParameter(2, NAN);
    w.SetParameter(2, INFINITY);
    EXPECT_EQ(w.GetParameter(2), 0.5);
    w.SetParameter(1, 1.4);
    EXPECT_EQ(w.GetParameter(1), 1.0);
    w.SetParameter(1, -0.6);
    w.SetParameter(1, NAN);
    EXPECT_EQ(w.GetParameter(1), 1.0);
    EXPECT_EQ(w.GetParameter(3), 0.0);
    w.SetParameter(0, NAN);
    EXPECT_EQ(w.GetParameter(0), 1.0);

    // Any rate, however low, keeps the section stable.
    WahWah low = make(4000.0, 1.0);
    const auto out = runMono(of(low), whiteNoise(8000, 0.5, 1));
    EXPECT_TRUE(allFinite(out));
    EXPECT_LT(peak(out), 20.0);
}
