// The phaser: its gain at DC, its response with the sweep held still
// against the all-pass chain computed independently, the oscillator, the
// sections each setting runs, and its stereo forms.

#include <gtest/gtest.h>

#include <complex>

#include "DspTestKit.h"
#include "effects/Phaser.h"

using namespace tonewright;

using namespace testkit;

namespace {

void configure(Phaser& p, double fs, int type, double speed, double depth, double sweep, double regeneration,
               int stages)
{
    p.SetFs(fs);
    p.SetParameter(1, type);
    p.SetParameter(2, speed);
    p.SetParameter(3, depth);
    p.SetParameter(4, sweep);
    p.SetParameter(5, regeneration);
    p.SetParameter(6, stages);
    p.Settle();
}

// 1 + depth A / (1 - g z^-1 A), A the chain of second-order all-passes at
// their base frequencies; the feedback is the chain's previous output.
std::complex<double> staticResponse(double f, double fs, double depth, double g, int stages)
{
    const double base[6] = {300, 1000, 800, 4000, 450, 2650};
    const double radius[6] = {0.9, 0.95, 0.8, 0.9, 0.95, 0.9};
    const int count = 2 + 2 * stages;
    const std::complex<double> z1 = std::polar(1.0, -2 * kPi * f / fs);  // z^-1
    std::complex<double> a = 1.0;
    for (int k = 0; k < count; ++k) {
        const double r = radius[k];
        const double c = -2 * r * std::cos(2 * kPi * base[k] / fs);
        a *= (r * r + c * z1 + z1 * z1) / (1.0 + c * z1 + r * r * z1 * z1);
    }
    return 1.0 + depth * a / (1.0 - g * z1 * a);
}

}  // namespace

TEST(Phaser, DcGainIsOnePlusDepthOverOneMinusRegeneration)
{
    for (auto [depth, g] : {std::pair(0.5, 0.5), std::pair(1.0, 0.9), std::pair(0.3, 0.0), std::pair(0.8, 0.99)}) {
        SCOPED_TRACE(depth);
        SCOPED_TRACE(g);
        for (int type : {0, 1}) {
            Phaser p;
            configure(p, 44100, type, 3.0, depth, 2.5, g, 2);
            std::vector<double> l(size_t(3 * 44100), 1.0), r = l;
            forEachBlock(int(l.size()), BlockPlan::Random(512, 3),
                         [&](int pos, int n) { p.process(l.data() + pos, r.data() + pos, n); });
            const double expected = 1 + depth / (1 - g);
            // The all-passes pass DC unchanged however they are swept.
            EXPECT_NEAR(l.back(), expected, 1e-6 * expected);
            EXPECT_NEAR(r.back(), expected, 1e-6 * expected);
        }
    }
}

TEST(Phaser, HeldSweepMatchesTheAllPassChain)
{
    const double fs = 48000.0;
    for (int stages : {0, 1, 2}) {
        Phaser p;
        configure(p, fs, 1, 4.0, 0.7, 1.0, 0.6, stages);  // sweep 1: every section at its base frequency
        for (double f : {120.0, 310.0, 990.0, 2200.0, 4100.0, 9000.0}) {
            SCOPED_TRACE(stages);
            SCOPED_TRACE(f);
            const Response m = measureSine([&p](double* x, int n) { p.process(x, n); }, fs, f, 0.2, 0.5, 0.2);
            const auto h = staticResponse(f, fs, 0.7, 0.6, stages);
            EXPECT_NEAR(m.gain, std::abs(h), 1e-4 * std::abs(h));
            EXPECT_NEAR(std::remainder(m.phase - std::arg(h), 2 * kPi), 0.0, 1e-4);
        }
    }
}

TEST(Phaser, OscillatorRisesAndFallsExponentially)
{
    Phaser p;  // speed 0.5 Hz
    p.Settle();
    double x = 0.0;
    int top = -1, bottom = -1;
    for (int n = 0; n < 100000 && bottom < 0; ++n) {
        p.process(&x, 1);
        if (top < 0 && p.Control() >= 2.0) top = n + 1;
        if (top > 0 && p.Control() <= 1.0) bottom = n + 1;
        if (n + 1 == 22050) {
            EXPECT_NEAR(p.Control(), std::sqrt(2.0), 1e-9);  // exponential: half way in time
        }
    }
    EXPECT_NEAR(top, 44100, 2);
    EXPECT_NEAR(bottom, 88200, 4);
}

TEST(Phaser, SectionsRunningForEachStagesAndType)
{
    for (int stages : {0, 1, 2}) {
        for (int type : {0, 1}) {
            Phaser p;
            configure(p, 44100, type, 1.0, 0.5, 2.0, 0.5, stages);
            int left = 0, right0 = 0, right1 = 0;
            for (int i = 0; i < 6; ++i) {
                left += p.Section(i).Running();
                right0 += p.Section(6 + i).Running();
                right1 += p.Section(12 + i).Running();
            }
            EXPECT_EQ(left, 2 + 2 * stages);
            EXPECT_EQ(right0, type == 0 ? 2 + 2 * stages : 0);
            EXPECT_EQ(right1, type == 1 ? 2 + 2 * stages : 0);
        }
    }
    // From 2 to 0 stages: sections 2 to 5 of each running chain fade out
    // over 20 ms.
    Phaser p;
    configure(p, 44100, 1, 1.0, 0.5, 2.0, 0.5, 2);
    std::vector<double> l(441, 0.1), r = l;
    p.SetParameter(6, 0);
    p.process(l.data(), r.data(), 441);
    EXPECT_TRUE(p.Section(5).Running() && p.Section(17).Running());
    for (int k = 0; k < 2; ++k) p.process(l.data(), r.data(), 441);
    for (int i : {2, 3, 4, 5, 14, 15, 16, 17}) EXPECT_FALSE(p.Section(i).Running()) << i;
    EXPECT_TRUE(p.Section(1).Running() && p.Section(13).Running());
}

TEST(Phaser, StereoTypesAndMono)
{
    const auto noise = whiteNoise(30000, 0.5, 12);
    std::vector<double> mono[2];
    for (int type : {0, 1}) {
        Phaser s, m;
        configure(s, 44100, type, 2.0, 0.8, 3.0, 0.7, 2);
        configure(m, 44100, type, 2.0, 0.8, 3.0, 0.7, 2);
        std::vector<double> l = noise, r = noise;
        forEachBlock(int(l.size()), BlockPlan::Random(800, 2),
                     [&](int pos, int n) { s.process(l.data() + pos, r.data() + pos, n); });
        if (type == 0) {
            EXPECT_EQ(l, r);
        } else {
            double diff = 0;
            for (size_t i = 0; i < l.size(); ++i) diff = std::max(diff, std::fabs(l[i] - r[i]));
            EXPECT_GT(diff, 0.1);
        }
        mono[type] = runMono([&m](double* x, int n) { m.process(x, n); }, noise, BlockPlan::Random(800, 2));
        EXPECT_EQ(mono[type], l);  // the mono chain is the left chain
    }
    EXPECT_EQ(mono[0], mono[1]);  // the type only concerns the right channel
}
