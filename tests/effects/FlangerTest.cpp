// The flanger: its impulse response at a fixed sweep, the sweep read off a
// ramp, the phase switch and its lines at high rates.

#include <gtest/gtest.h>

#include <cmath>

#include "DspTestKit.h"
#include "effects/Flanger.h"

using namespace tonewright;

using namespace testkit;

namespace {

struct FlangerSetup {
    double fs = 48000.0;
    int type = 0;
    double speed = 1.0;
    double depth = 1.0;
    double delay = 0.0025;
    double sweep = 0.0;
    double regeneration = 0.0;
    bool phase = false;
};

void configure(Flanger& f, const FlangerSetup& s)
{
    f.SetFs(s.fs);
    f.SetParameter(1, s.type);
    f.SetParameter(2, s.speed);
    f.SetParameter(3, s.depth);
    f.SetParameter(4, s.delay);
    f.SetParameter(5, s.sweep);
    f.SetParameter(6, s.regeneration);
    f.SetParameter(7, s.phase ? 1.0 : 0.0);
    f.Settle();
}

std::vector<double> ramp(size_t n)
{
    std::vector<double> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = double(i);
    return v;
}

}  // namespace

TEST(Flanger, ImpulseResponseIsTheDirectSignalAndDecayingRepeatsAtTheDelay)
{
    for (bool phase : {true, false}) {
        for (int type : {0, 1}) {
            SCOPED_TRACE(phase);
            SCOPED_TRACE(type);
            const FlangerSetup s{48000, type, 2.0, 0.8, 0.0025, 0.0, 0.6, phase};
            const int period = 120 + 1;  // delay x fs, plus the sample read before writing
            const double wet = 0.4, sign = phase ? -1.0 : 1.0;
            auto expected = [&](int n) {
                if (n == 0) return 1.0 - wet;
                if (n % period) return 0.0;
                return sign * wet * std::pow(0.6, n / period - 1);
            };
            Flanger mono, stereo;
            configure(mono, s);
            configure(stereo, s);
            const auto h = impulseResponse([&mono](double* x, int k) { mono.process(x, k); }, 1000,
                                           BlockPlan::Random(200, 7));
            std::vector<double> l = impulse(1000), r = impulse(1000, 0.5);
            stereo.process(l.data(), r.data(), 1000);
            for (int n = 0; n < 1000; ++n) {
                ASSERT_NEAR(h[size_t(n)], expected(n), 1e-12) << n;
                ASSERT_NEAR(l[size_t(n)], expected(n), 1e-12) << n;
                ASSERT_NEAR(r[size_t(n)], 0.5 * expected(n), 1e-12) << n;
            }
        }
    }
}

TEST(Flanger, TheDelaySwingsAroundTheCentreByTheSweep)
{
    // Depth 1 without regeneration: out = (x + tap) / 2, so a ramp gives the
    // delay of each read; the right line runs a quarter cycle apart in type 1.
    for (const FlangerSetup s : {FlangerSetup{44100, 1, 3.0, 1.0, 0.003, 0.7}, FlangerSetup{192000, 1, 0.5, 1.0, 0.004, 1.0},
                                 FlangerSetup{384000, 1, 7.0, 1.0, 0.004, 1.0}}) {
        SCOPED_TRACE(s.fs);
        Flanger f;
        configure(f, s);
        const double centre = s.delay * s.fs;
        const double inc = 2 * kPi * s.speed / s.fs;
        const size_t n = size_t(0.3 * s.fs / s.speed);
        std::vector<double> l = ramp(n), r = ramp(n);
        forEachBlock(int(n), BlockPlan::Random(3000, 8),
                     [&](int pos, int k) { f.process(l.data() + pos, r.data() + pos, k); });
        double deepest = 0;
        for (size_t i = size_t(2 * centre) + 2; i < n; i += 5) {
            const double phi = double(i + 1) * inc;
            const double dl = double(i) - 1 - (2 * l[i] - double(i));
            const double dr = double(i) - 1 - (2 * r[i] - double(i));
            ASSERT_NEAR(dl, centre * (1 + s.sweep * std::sin(phi)), 1e-6) << i;
            ASSERT_NEAR(dr, centre * (1 + s.sweep * std::cos(phi)), 1e-6) << i;
            deepest = std::max(deepest, dl);
        }
        EXPECT_NEAR(deepest, centre * (1 + s.sweep), 1e-3);
        EXPECT_LT(deepest, f.LineLength() - 1);
    }
}

TEST(Flanger, PhaseSwitchCancelsAConstantAndTypeSpreadsTheSides)
{
    Flanger f;
    configure(f, {44100, 0, 1.0, 1.0, 0.002, 0.5, 0.0, true});
    const auto out = runMono([&f](double* x, int k) { f.process(x, k); }, std::vector<double>(5000, 0.7));
    EXPECT_NE(out[50], 0.0);
    EXPECT_LT(peak(out, 200), 1e-15);

    // Type 0 sweeps both sides alike; type 1 does not.
    const auto noise = whiteNoise(20000, 0.5, 4);
    for (int type : {0, 1}) {
        Flanger s;
        configure(s, {44100, type, 2.0, 0.7, 0.003, 0.8, 0.5, true});
        std::vector<double> l = noise, r = noise;
        s.process(l.data(), r.data(), int(l.size()));
        if (type == 0) {
            EXPECT_EQ(l, r);
        } else {
            EXPECT_NE(l, r);
        }
    }
}
