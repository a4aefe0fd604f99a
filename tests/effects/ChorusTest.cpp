// The chorus, measured through its delays: fed a ramp x[n] = n with mix 1,
// a voice read d samples back gives exactly n - d, so the sweep of every
// voice can be read off the output.

#include <gtest/gtest.h>

#include <cmath>

#include "effects/Chorus.h"
#include "DspTestKit.h"

using namespace tonewright;

using namespace testkit;

namespace {

std::vector<double> ramp(size_t n)
{
    std::vector<double> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = double(i);
    return v;
}

struct ChorusSetup {
    double fs = 44100.0;
    int type = 0;
    double speed = 1.0;
    double depth = 0.5;
    double delay = 0.01;
    double mix = 1.0;
};

Chorus& configure(Chorus& c, const ChorusSetup& s)
{
    c.SetFs(s.fs);
    c.SetParameter(1, s.type);
    c.SetParameter(2, s.speed);
    c.SetParameter(3, s.depth);
    c.SetParameter(4, s.mix);
    c.SetParameter(5, s.delay);
    c.Settle();
    return c;
}

// Sweep amplitude and base delay in samples.
double amountOf(const ChorusSetup& s) { return 0.02 * s.depth * s.fs / (2 * kPi * s.speed); }
double baseOf(const ChorusSetup& s) { return s.delay * s.fs; }

}  // namespace

TEST(Chorus, EachVoiceSweepsBetweenTheBaseDelayAndTwiceTheAmount)
{
    for (const ChorusSetup s : {ChorusSetup{44100, 0, 2.0, 0.6, 0.012}, ChorusSetup{48000, 0, 0.3, 1.0, 0.0},
                          ChorusSetup{192000, 0, 0.1, 1.0, 0.03}, ChorusSetup{384000, 0, 0.1, 1.0, 0.03}}) {
        SCOPED_TRACE(s.fs);
        Chorus c;
        configure(c, s);
        const double a = amountOf(s), b = baseOf(s);
        const double inc = 2 * kPi * s.speed / s.fs;
        // A quarter cycle and a bit: the deepest read comes at a quarter.
        const size_t n = size_t(0.27 * s.fs / s.speed);
        const auto out = runMono([&c](double* x, int k) { c.process(x, k); }, ramp(n), BlockPlan::Random(4000, 3));
        double deepest = 0.0;
        for (size_t i = size_t(b + 2 * a) + 2; i < n; i += 7) {
            const double d = double(i) - out[i];
            ASSERT_NEAR(d, (std::sin(double(i + 1) * inc) + 1) * a + b, 1e-6) << i;
            deepest = std::max(deepest, d);
        }
        EXPECT_NEAR(deepest, b + 2 * a, 1e-3);
        EXPECT_LT(deepest, c.LineLength() - 1);
    }
}

TEST(Chorus, VoiceLayoutsInStereoAndMono)
{
    const ChorusSetup base{44100, 0, 1.5, 0.8, 0.005};
    const double a = amountOf(base), b = baseOf(base);
    const double inc = 2 * kPi * base.speed / base.fs;
    const size_t n = 40000;
    for (int type : {0, 1, 2}) {
        SCOPED_TRACE(type);
        ChorusSetup s = base;
        s.type = type;
        Chorus stereo, mono;
        configure(stereo, s);
        configure(mono, s);
        std::vector<double> l = ramp(n), r = ramp(n);
        forEachBlock(int(n), BlockPlan::Random(900, 4),
                     [&](int pos, int k) { stereo.process(l.data() + pos, r.data() + pos, k); });
        const auto m = runMono([&mono](double* x, int k) { mono.process(x, k); }, ramp(n), BlockPlan::Random(900, 5));
        for (size_t i = 2000; i < n; i += 3) {
            const double sn = std::sin(double(i + 1) * inc), cs = std::cos(double(i + 1) * inc);
            double left = 0, right = 0, both = 0;
            switch (type) {
            case 0:  // the same sweep on both sides; mono one voice
                left = right = both = (sn + 1) * a + b;
                break;
            case 1:  // opposite sweeps; mono two voices in antiphase
                left = (sn + 1) * a + b;
                right = (-sn + 1) * a + b;
                both = a + b;
                break;
            case 2:  // two voices a side; mono four in quadrature
                left = (0.5 * (sn - cs) + 1) * a + b;
                right = (0.5 * (cs - sn) + 1) * a + b;
                both = a + b;
                break;
            }
            ASSERT_NEAR(double(i) - l[i], left, 1e-6) << i;
            ASSERT_NEAR(double(i) - r[i], right, 1e-6) << i;
            ASSERT_NEAR(double(i) - m[i], both, 1e-6) << i;
        }
    }
}

TEST(Chorus, SlowSweepsNeverReadBeyondTheLine)
{
    // At 0.002 Hz the full sweep would need many seconds of line; it is
    // limited to what the line holds, and still sweeps.
    const ChorusSetup s{8000, 0, 0.002, 1.0, 0.03};
    Chorus c;
    configure(c, s);
    const size_t n = size_t(130 * s.fs);  // past the deepest point at a quarter cycle
    const auto out = runMono([&c](double* x, int k) { c.process(x, k); }, ramp(n), BlockPlan::Fixed(4096));
    double deepest = 0, shallowest = 1e9;
    for (size_t i = size_t(c.LineLength()); i < n; i += 11) {
        const double d = double(i) - out[i];
        deepest = std::max(deepest, d);
        shallowest = std::min(shallowest, d);
    }
    EXPECT_LE(deepest, c.LineLength() - 2 + 1e-6);
    EXPECT_GT(deepest, 0.95 * (c.LineLength() - 2));
    EXPECT_LT(shallowest, 0.6 * deepest);
}

TEST(Chorus, MixAndDepthZero)
{
    const auto noise = whiteNoise(20000, 0.5, 2);
    Chorus dry;
    configure(dry, {44100, 2, 3.0, 1.0, 0.02, 0.0});
    EXPECT_EQ(runMono([&dry](double* x, int k) { dry.process(x, k); }, noise), noise);

    // Depth 0: a fixed delay of delay x fs samples.
    const ChorusSetup s{44100, 1, 3.0, 0.0, 0.01, 0.5};
    Chorus fixed;
    configure(fixed, s);
    const auto out = runMono([&fixed](double* x, int k) { fixed.process(x, k); }, ramp(5000));
    for (size_t i = 500; i < out.size(); ++i) ASSERT_NEAR(out[i], double(i) - 0.5 * 441.0, 1e-9) << i;
}

TEST(Chorus, ATypeChangeCrossfadesTheVoices)
{
    const double fs = 44100.0;
    const auto tone = sine(fs, 330.0, 0.6, 0.5);
    Chorus c;
    configure(c, {fs, 0, 1.0, 0.5, 0.01, 0.5});
    std::vector<double> l = tone, r = tone;
    const int half = int(tone.size() / 2);
    c.process(l.data(), r.data(), half);
    c.SetParameter(1, 2);
    c.process(l.data() + half, r.data() + half, int(tone.size()) - half);
    const double natural = largestStep(tone);
    EXPECT_LT(largestStep(l, 1000), 1.3 * natural);
    EXPECT_LT(largestStep(r, 1000), 1.3 * natural);
    EXPECT_EQ(c.GetParameters().type, 2);
}
