// The tremolo and its function generator: the wave shapes against an
// independent description of them, the gain curves of each wave and type,
// periods, continuity across changes and the glides.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "DspTestKit.h"
#include "effects/FunctionGenerator.h"
#include "effects/Tremolo.h"

using namespace tonewright;

using namespace testkit;

namespace {

// The plain triangle: 0 up to 1, down to -1 and back to 0, its rising part
// taking the duty share d of the cycle; p is the position in the cycle.
double triangle(double p, double d)
{
    p -= std::floor(p);
    if (p < d / 2) return 2 * p / d;
    if (p < 1 - d / 2) return 1 - 2 * (p - d / 2) / (1 - d);
    return -1 + 2 * (p - (1 - d / 2)) / d;
}

// The generator's wave: below shape 0.5 the triangle bent towards a sine,
// above it the triangle steepened by 1/q and clipped (duty 0.5).
double wave(double p, double shape, double d = 0.5)
{
    const double u = triangle(p, d);
    if (shape < 0.5) return (1 - 2 * shape) * std::sin(u * kPi / 2) + 2 * shape * u;
    const double q = 2 - 2 * shape;
    return std::clamp(u / q, -1.0, 1.0);
}

std::vector<double> gains(Tremolo& t, size_t n)
{
    return runMono([&t](double* x, int k) { t.process(x, k); }, std::vector<double>(n, 1.0), BlockPlan::Random(700, 5));
}

}  // namespace

TEST(FunctionGenerator, WavesMatchTheirShapes)
{
    for (double shape : {0.0, 0.2, 0.5, 0.7, 0.95}) {
        for (double duty : {0.5, 0.3}) {
            if (shape >= 0.5 && duty != 0.5) continue;
            SCOPED_TRACE(shape);
            SCOPED_TRACE(duty);
            FunctionGenerator g;
            g.SetFs(48000);
            g.SetFrequency(2.5);
            g.SetDutyCycle(duty);
            g.SetWaveShape(shape);
            g.SetAmplitude(0.3);
            g.SetOffset(0.6);
            for (int i = 0; i < 2000; ++i) {
                const double t = i * 0.000537;  // a little over two and a half cycles
                ASSERT_NEAR(g.Function(t), 0.6 + 0.3 * wave(t * 2.5, shape, duty), 1e-12) << t;
            }
        }
    }
    FunctionGenerator g;
    g.SetFrequency(0.0);
    g.SetOffset(0.25);
    EXPECT_EQ(g.Function(0.123), 0.25);
}

TEST(FunctionGenerator, OutputsRunFromTimeZeroAndKeepThePositionAcrossAFrequencyChange)
{
    FunctionGenerator g;
    g.SetFs(1000);
    g.SetFrequency(1);
    g.SetPhase(0.25);
    g.Reset();
    double a = 0, b = 0;
    g.Output(&a, &b);
    EXPECT_NEAR(a, 0.0, 1e-15);   // time 0
    EXPECT_NEAR(b, 1.0, 1e-15);   // a quarter cycle on
    for (int i = 0; i < 99; ++i) g.Output(&a, &b);
    EXPECT_NEAR(g.Time(), 0.099, 1e-12);
    const double before = g.Function(g.Time());
    g.SetFrequency(3);  // the position within the cycle stays
    EXPECT_NEAR(g.Time(), 0.033, 1e-12);
    EXPECT_NEAR(g.Function(g.Time()), before, 1e-12);
    // Bad settings leave it as it was.
    g.SetFrequency(-1);
    g.SetFrequency(NAN);
    g.SetDutyCycle(0);
    g.SetDutyCycle(1);
    g.SetWaveShape(1);
    g.SetFs(0);
    EXPECT_NEAR(g.Period(), 1.0 / 3.0, 1e-15);
    EXPECT_NEAR(g.Function(g.Time()), before, 1e-12);
}

TEST(Tremolo, GainCurvesForEachWaveAndType)
{
    const double fs = 44100.0;
    const double depth = 0.8;
    for (double waveform : {0.0, 0.3, 0.53, 1.0}) {
        for (int type : {0, 1}) {
            SCOPED_TRACE(waveform);
            SCOPED_TRACE(type);
            const double shape = 0.95 * waveform;
            const double offset = type == 1 ? 0.5 : 0.0;
            auto expected = [&](size_t n, double ph) {
                return 1 - depth / 2 + depth / 2 * wave(double(n) / fs + ph, shape);
            };
            Tremolo mono;
            mono.SetParameter(1, type);
            mono.SetParameter(3, depth);
            mono.SetParameter(4, waveform);
            mono.Settle();
            const auto g = gains(mono, size_t(2.2 * fs));
            for (size_t n = 0; n < g.size(); ++n) ASSERT_NEAR(g[n], expected(n, offset), 1e-9) << n;

            Tremolo stereo;
            stereo.SetParameter(1, type);
            stereo.SetParameter(3, depth);
            stereo.SetParameter(4, waveform);
            stereo.Settle();
            std::vector<double> l(size_t(2.2 * fs), 1.0), r = l;
            forEachBlock(int(l.size()), BlockPlan::Random(600, 6),
                         [&](int pos, int k) { stereo.process(l.data() + pos, r.data() + pos, k); });
            for (size_t n = 0; n < l.size(); ++n) {
                ASSERT_NEAR(l[n], expected(n, 0.0), 1e-9) << n;
                ASSERT_NEAR(r[n], expected(n, offset), 1e-9) << n;
            }
        }
    }
}

TEST(Tremolo, QuarterCyclesAtFullDepthAndOppositeSides)
{
    Tremolo t;
    t.SetParameter(1, 0);
    t.SetParameter(3, 1.0);
    t.Settle();
    const auto g = gains(t, 44101);
    const double expected[] = {0.5, 1.0, 0.5, 0.0, 0.5};
    for (int k = 0; k < 5; ++k) EXPECT_NEAR(g[size_t(k) * 11025], expected[k], 1e-9) << k;
    EXPECT_GT(g[100], 0.5);  // rising from the start

    for (double waveform : {0.0, 1.0}) {
        Tremolo pan;  // type 1
        pan.SetParameter(3, 1.0);
        pan.SetParameter(4, waveform);
        pan.Settle();
        std::vector<double> l(30000, 1.0), r = l;
        pan.process(l.data(), r.data(), int(l.size()));
        for (size_t n = 0; n < l.size(); ++n) ASSERT_NEAR(l[n] + r[n], 1.0, 1e-12) << n;
        if (waveform == 1.0) {
            // Near square: the gain holds at 1 or 0 for most of the cycle.
            const auto held = std::count_if(l.begin(), l.end(), [](double v) { return v == 1.0 || v == 0.0; });
            EXPECT_GT(double(held) / double(l.size()), 0.85);
        }
    }
}

TEST(Tremolo, PeriodFollowsTheSpeed)
{
    const double fs = 48000.0;
    for (double speed : {0.1, 0.37, 3.7, 10.0, 60.0}) {
        SCOPED_TRACE(speed);
        Tremolo t;
        t.SetFs(fs);
        t.SetParameter(2, speed);
        t.SetParameter(3, 1.0);
        t.Settle();
        const auto g = gains(t, size_t(fs * 2.5 / speed));
        // Rising crossings of the middle gain, with sub-sample positions.
        std::vector<double> crossings;
        for (size_t n = 1; n < g.size(); ++n)
            if (g[n - 1] < 0.5 && g[n] >= 0.5)
                crossings.push_back(double(n - 1) + (0.5 - g[n - 1]) / (g[n] - g[n - 1]));
        ASSERT_GE(crossings.size(), 2u);
        EXPECT_NEAR(crossings[1] - crossings[0], fs / speed, 1e-3 * fs / speed);
    }
}

TEST(Tremolo, ChangesGlideWithoutJumps)
{
    const double fs = 44100.0;
    // A new speed mid-cycle keeps the wave continuous.
    Tremolo t;
    t.SetParameter(3, 1.0);
    t.Settle();
    auto g = gains(t, size_t(0.3 * fs));
    t.SetParameter(2, 2.0);
    const auto more = gains(t, size_t(0.3 * fs));
    g.insert(g.end(), more.begin(), more.end());
    EXPECT_LT(largestStep(g), 2.5 * 2 * kPi * 2.0 / fs);  // the steepest slope at 2 Hz, with margin

    // A type change glides the right channel's phase over about 30 ms.
    Tremolo s;
    s.SetParameter(1, 0);
    s.SetParameter(3, 1.0);
    s.Settle();
    std::vector<double> l(size_t(fs), 1.0), r = l;
    s.process(l.data(), r.data(), 4410);
    s.SetParameter(1, 1);
    s.process(l.data() + 4410, r.data() + 4410, int(l.size()) - 4410);
    EXPECT_LT(largestStep(r), 0.01);
    EXPECT_NEAR(l[30000] + r[30000], 1.0, 1e-12);  // opposite sides once it has arrived
}

TEST(Tremolo, SmallChangesJumpAndLargeOnesGlideForThirtyMilliseconds)
{
    const double fs = 44100.0;
    auto at = [](double p) { return wave(p, 0.0); };
    Tremolo t;
    t.SetParameter(1, 0);
    t.SetParameter(3, 1.0);
    t.Settle();
    gains(t, 33075);  // three quarters of a cycle: the gain is at its lowest
    t.SetParameter(3, 0.9995);
    const auto g = gains(t, 1);
    EXPECT_NEAR(g[0], 1 - 0.9995 / 2 + 0.9995 / 2 * at(33075.0 / fs), 1e-12);

    t.SetParameter(3, 0.0);
    const auto glide = gains(t, size_t(0.04 * fs));
    EXPECT_LT(glide[size_t(0.025 * fs)], 0.999);   // still on its way
    EXPECT_EQ(glide[size_t(0.0305 * fs)], 1.0);    // arrived: amplitude 0, offset 1
}
