// The cabinet's level: the energy scale has a ceiling. Measured with sines
// through the whole stage (DI box off, so only the impulse shapes the
// response).

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "DspTestKit.h"
#include "cabinet/CabinetProcessor.h"

using namespace tonewright;
using namespace testkit;

namespace {

// Left and right gain of the stage in dB for a sine at freq, once settled.
std::array<double, 2> gainDb(CabinetProcessor& c, double fs, double freq)
{
    const std::vector<double> in = sine(fs, freq, 0.5, 0.25);
    const Stereo out = runStereo([&c](double* x, double* l, double* r, int n) { c.process(x, l, r, n); }, in,
                                 BlockPlan::Fixed(512));
    const size_t from = size_t(0.3 * fs);
    const double a = fitSine(in, from, in.size(), fs, freq).amplitude;
    return {dB(fitSine(out.left, from, in.size(), fs, freq).amplitude / a),
            dB(fitSine(out.right, from, in.size(), fs, freq).amplitude / a)};
}

}  // namespace

TEST(CabinetLevel, TheEnergyScaleStopsAtFortyDecibels)
{
    // A one-tap impulse a has energy a^2 and plays at a / a^2 = 1/a, up to
    // a gain of 100 on its tap.
    struct Row {
        double tap;
        double fs;
        double expectedDb;
    };
    const Row rows[] = {
        {1.0, 44100.0, 0.0},      {0.5, 44100.0, 6.0206}, {0.1, 44100.0, 20.0},
        {0.05, 44100.0, 13.9794}, {1e-6, 44100.0, -80.0}, {1e-10, 44100.0, -160.0},
    };
    for (const Row& row : rows) {
        auto c = std::make_unique<CabinetProcessor>();
        c->SetParameter(4, 0.0);
        c->SetFs(row.fs);
        ASSERT_TRUE(c->SetImpulse(&row.tap, nullptr, 1, true, 44100.0, "one tap"));
        c->WaitForRebuild();
        c->Settle();
        const std::array<double, 2> g = gainDb(*c, row.fs, 1000.0);
        EXPECT_NEAR(g[0], row.expectedDb, 0.01) << row.tap << " at " << row.fs;
        EXPECT_EQ(g[0], g[1]);
    }

    // Silence stays silent (minimum phase leaves e^-100 of it), and an
    // impulse whose energy overflows is silent rather than infinite.
    for (double tap : {0.0, 1e200}) {
        auto c = std::make_unique<CabinetProcessor>();
        c->SetParameter(4, 0.0);
        const std::vector<double> h(4, tap);
        ASSERT_TRUE(c->SetImpulse(h.data(), nullptr, 4, true, 44100.0, "extreme"));
        c->WaitForRebuild();
        c->Settle();
        const Stereo out = runStereo([&c](double* x, double* l, double* r, int n) { c->process(x, l, r, n); },
                                     whiteNoise(2000, 0.5, 3), BlockPlan::Fixed(128));
        EXPECT_LT(peak(out.left), 1e-40) << tap;
        EXPECT_LT(peak(out.right), 1e-40) << tap;
    }
}
