// The gain control: each circuit type's digital filter against its analog
// transfer function (read from the published polynomial text), DC blocking,
// silence at wiper 0, the 1 ms + 20 ms crossfade and the parameter rules.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "CircuitResponse.h"
#include "DspTestKit.h"
#include "FormulaText.h"
#include "amp/GainControl.h"
#include "ToneTestSupport.h"

using namespace tonewright;

using namespace testkit;
using tonetest::run;
using tonetest::tail;
using oracle::cd;
using oracle::Formulas;

namespace {

// The six circuits' polynomials in w = wiper^2, exactly as published.
const char* const kGainTypes[6] = {
    "order = 1\na0 = 2.27272727272727e13 (1 + w)\na1 = 2.5065e11 + 2.5065e11 w - 2.5e11 w^2\nb1 = 2.5e11 w",
    "order = 2\na0 = 1e21 + 2.12765957446809e21 w\na1 = 1.00177e21 + 2.13095553191489e21 w - 2.12865957446809e21 w^2\na2 = 6.11e14 + 4.70689e17 w - 4.713e17 w^2\nb1 = 1e21 w\nb2 = 4.7e17 w - 4.7e17 w^2",
    "order = 2\na0 = 4.7e11 + 1e12 w\na1 = 4.70611e11 + 1.0015209e12 w - 1e12 w^2\na2 = 2.2118717e8 w - 2.209e8 w^2\nb1 = 4.7e11 w\nb2 = 0",
    "order = 3\na0 = 2.0670867768595e26 + 2.06611570247934e23 w\na1 = 4.64461918223141e24 - 4.08334504132232e22 w - 4.59090909090909e21 w^2\na2 = 1.01673774736364e21 + 9.90145217045455e20 w - 1.00148543181818e21 w^2\na3 = 2.8717e14 + 2.2061311717e17 w - 2.2090028717e17 w^2\nb1 = 4.54545454545455e24 w\nb2 = 2.00409090909091e21 w - 1e21 w^2\nb3 = 2.209e17 w - 2.209e17 w^2",
    "order = 3\na0 = 4.559e37 + 9.7e37 w - 2.5e37 w^2\na1 = 9.549037e35 + 2.00962e36 w - 1.2185e36 w^2\na2 = 1.09238528e33 + 2.4698253e33 w - 2.8553125e33 w^2\na3 = 1.05467999999993e27 + 7.0478872e29 w - 7.058434e29 w^2\nb1 = 5.17e35 w\nb2 = 1.22012e33 w - 5.17e32 w^2\nb3 = 7.0312e29 w - 7.0312e29 w^2",
    "order = 2\na0 = 4.99999999999997e22 + 9.67117988394578e22 w\na1 = 1.629475e21 + 3.15178916827853e21 w - 2.12765957446809e21 w^2\na2 = 2.43305887e17 + 4.70611e17 w - 4.7e17 w^2\nb1 = 1.1e21 w\nb2 = 2.4299e17 w",
};

const double kWipers[] = {0.05, 0.3, 0.5, 0.8, 1.0};
const double kRates[] = {44100.0, 48000.0, 96000.0};

GainControl make(int type, double wiper, double fs)
{
    GainControl g;
    g.SetFs(fs);
    g.SetParameters({type, wiper});
    g.Settle();
    return g;
}

oracle::Variables vars(double wiper)
{
    return {{"w", wiper * wiper}};
}

}  // namespace

TEST(GainControl, DigitalEqualsAnalogAtOneKilohertzAndAlongTheWarpedAxis)
{
    for (int type = 0; type < 6; ++type) {
        const Formulas text(kGainTypes[type]);
        const int order = int(text.Eval("order", {}));
        EXPECT_EQ(GainControl::Order(type), order);
        for (double wiper : kWipers) {
            for (double fs : kRates) {
                SCOPED_TRACE(testing::Message() << "type " << type << " wiper " << wiper << " fs " << fs);
                GainControl g = make(type, wiper, fs);
                const auto& c = g.GetCoefficients();
                const cd want = oracle::analogResponse(text, vars(wiper), 1000.0);
                const cd got = oracle::digitalResponse(c, 1000.0, fs);
                EXPECT_NEAR(std::abs(got) / std::abs(want), 1.0, 1e-9);
                EXPECT_NEAR(std::arg(got / want), 0.0, 1e-9);
                for (double f : {300.0, 3000.0, 15000.0}) {
                    const cd a = oracle::analogResponseAt(text, vars(wiper), oracle::warpedOmega(f, fs));
                    const cd d = oracle::digitalResponse(c, f, fs);
                    EXPECT_NEAR(std::abs(d / a), 1.0, 1e-9) << "f " << f;
                }
                // Nothing above the type's order.
                for (int j = order + 1; j <= AnalogSection::kMaxOrder; ++j) {
                    EXPECT_EQ(c.g[j], 0.0);
                    EXPECT_EQ(c.f[j], 0.0);
                }
            }
        }
    }
}

TEST(GainControl, DigitalFollowsAnalogAtLowFrequenciesAndBlocksDc)
{
    for (int type = 0; type < 6; ++type) {
        const Formulas text(kGainTypes[type]);
        for (double wiper : kWipers) {
            for (double fs : kRates) {
                GainControl g = make(type, wiper, fs);
                for (double f : {20.0, 50.0, 100.0, 200.0}) {
                    const cd want = oracle::analogResponse(text, vars(wiper), f);
                    const cd got = oracle::digitalResponse(g.GetCoefficients(), f, fs);
                    EXPECT_NEAR(dB(std::abs(got)), dB(std::abs(want)), 0.1)
                        << "type " << type << " wiper " << wiper << " fs " << fs << " f " << f;
                }
                double sum = 0.0, scale = 0.0;
                for (double c : g.GetCoefficients().g) {
                    sum += c;
                    scale += std::fabs(c);
                }
                EXPECT_LE(std::fabs(sum), 1e-13 * scale) << "type " << type;
            }
        }
        // Types 1 and 2 have a pole near 0.2 Hz: give DC time to die away.
        GainControl g = make(type, 0.7, 44100.0);
        const auto out = run(g, std::vector<double>(size_t(40 * 44100), 1.0));
        EXPECT_LT(std::fabs(out.back()), 1e-6) << "type " << type;
    }
}

TEST(GainControl, MeasuredResponseIsTheCoefficientsResponse)
{
    for (int type = 0; type < 6; ++type) {
        GainControl g = make(type, 0.6, 48000.0);
        for (double f : {100.0, 1000.0, 8000.0}) {
            const Response r = measureSine([&](double* x, int n) { g.process(x, n); }, 48000.0, f, 0.25, 20.0, 0.2,
                                           BlockPlan::Random(500, 9));
            const cd want = oracle::digitalResponse(g.GetCoefficients(), f, 48000.0);
            EXPECT_NEAR(r.gain / std::abs(want), 1.0, 1e-6) << "type " << type << " f " << f;
        }
    }
}

TEST(GainControl, WiperZeroIsSilentForEveryType)
{
    for (int type = 0; type < 6; ++type) {
        GainControl g = make(type, 0.0, 44100.0);
        const auto out = run(g, whiteNoise(2000, 0.9, 5));
        EXPECT_EQ(peak(out), 0.0) << "type " << type;
    }
}

TEST(GainControl, ChangeHoldsOneMillisecondThenFadesOverTwenty)
{
    for (double fs : {44100.0, 96000.0}) {
        const double step = 1.0 / (0.02 * fs);
        const int end = int(1.05 / step) + 1;
        const int before = 300, after = end + 500;
        const auto noise = whiteNoise(before + after, 0.5, 3);
        // A wiper change, a type change, and the same type set again (a fade
        // between equal coefficient sets, the new one from cleared history).
        struct Case {
            int type0;
            double wiper0;
            int type1;
            double wiper1;
        };
        for (const Case& c : {Case{1, 0.5, 1, 0.9}, Case{0, 0.5, 4, 0.5}, Case{3, 0.4, 3, 0.4}}) {
            SCOPED_TRACE(testing::Message() << "type " << c.type1 << " wiper " << c.wiper1 << " fs " << fs);
            GainControl g = make(c.type0, c.wiper0, fs);
            run(g, {noise.begin(), noise.begin() + before});
            g.SetParameters({c.type1, c.wiper1});
            const auto changed = run(g, tail(noise, before), BlockPlan::Random(200, 8));
            GainControl oldRef = make(c.type0, c.wiper0, fs);
            GainControl newRef = make(c.type1, c.wiper1, fs);
            const auto yOld = tail(run(oldRef, noise), before);
            const auto yNew = run(newRef, tail(noise, before));
            bool differs = false;
            for (int k = 0; k < after; ++k) {
                const size_t i = size_t(k);
                const double g0 = std::clamp(1.05 - k * step, 0.0, 1.0);
                if (k < int(0.001 * fs)) {
                    ASSERT_EQ(changed[i], yOld[i]) << "hold, sample " << k;
                } else if (k >= end) {
                    ASSERT_EQ(changed[i], yNew[i]) << "after the fade, sample " << k;
                } else {
                    ASSERT_NEAR(changed[i], (1.0 - g0) * yNew[i] + g0 * yOld[i], 1e-12) << "sample " << k;
                }
                differs = differs || changed[i] != yOld[i];
            }
            EXPECT_TRUE(differs);
        }
    }
}

TEST(GainControl, ChangesDuringAFadeAreAppliedTogetherAfterIt)
{
    const double fs = 44100.0;
    const auto noise = whiteNoise(4000, 0.5, 6);
    GainControl g = make(2, 0.5, fs);
    std::vector<double> out = run(g, {noise.begin(), noise.begin() + 100});
    g.SetParameter(1, 0.7);
    auto more = run(g, {noise.begin() + 100, noise.begin() + 400}, BlockPlan::Fixed(300));
    out.insert(out.end(), more.begin(), more.end());
    g.SetParameter(0, 5);
    g.SetParameter(1, 0.2);
    more = run(g, tail(noise, 400), BlockPlan::Fixed(100));
    out.insert(out.end(), more.begin(), more.end());

    const int firstEnd = 100 + 927;  // first sample after the first fade
    const int secondStart = 1100;    // the next block boundary
    GainControl mid = make(2, 0.7, fs), last = make(5, 0.2, fs);
    const auto yMid = run(mid, tail(noise, 100));
    const auto yLast = run(last, tail(noise, secondStart));
    for (int i = firstEnd; i < secondStart; ++i) ASSERT_EQ(out[size_t(i)], yMid[size_t(i - 100)]) << i;
    for (int k = 0; k < 4000 - secondStart; ++k) {
        const double w = std::clamp(1.05 - k / 882.0, 0.0, 1.0);
        ASSERT_NEAR(out[size_t(secondStart + k)], (1.0 - w) * yLast[size_t(k)] + w * yMid[size_t(secondStart + k - 100)],
                    1e-12)
            << k;
    }
}

TEST(GainControl, ParameterRules)
{
    GainControl g;
    EXPECT_EQ(g.GetParameters().type, 0);
    EXPECT_EQ(g.GetParameters().wiper, 0.5);
    g.SetParameter(0, 5.4);
    EXPECT_EQ(g.GetParameter(0), 5.0);
    for (double bad : {5.5, -0.6, double(NAN), double(INFINITY), 1e300}) g.SetParameter(0, bad);
    EXPECT_EQ(g.GetParameters().type, 5);
    g.SetParameter(0, -0.4);
    EXPECT_EQ(g.GetParameters().type, 0);

    g.SetParameter(1, 1.0);
    EXPECT_EQ(g.GetParameter(1), 1.0);
    for (double bad : {1.01, -0.01, double(NAN), double(-INFINITY)}) g.SetParameter(1, bad);
    EXPECT_EQ(g.GetParameters().wiper, 1.0);
    g.SetParameter(1, 0.0);
    EXPECT_EQ(g.GetParameters().wiper, 0.0);
    g.SetParameter(2, 0.7);
    g.SetParameter(-1, 0.7);
    EXPECT_EQ(g.GetParameter(2), 0.0);
    EXPECT_EQ(g.GetParameters().wiper, 0.0);

    // An unchanged wiper starts no fade; refused rates are ignored.
    g.Settle();
    g.SetParameter(1, 0.0);
    g.SetFs(0.0);
    g.SetFs(-1.0);
    g.SetFs(NAN);
    g.SetFs(44100.0);
    std::vector<double> x(32, 0.3);
    g.process(x.data(), 32);
    EXPECT_EQ(peak(std::vector<double>(x)), 0.0);
}

TEST(GainControl, NewControlFadesOnceBetweenEqualBanksAndTheVariantWithoutFadeSwitchesAtOnce)
{
    const auto noise = whiteNoise(2000, 0.5, 12);
    GainControl fresh;
    GainControl settled;
    settled.Settle();
    const auto a = run(fresh, noise);
    const auto b = run(settled, noise);
    for (size_t i = 0; i < a.size(); ++i) ASSERT_NEAR(a[i], b[i], 1e-12) << i;

    GainControl plain = make(1, 0.5, 44100.0);
    plain.SetParameters({4, 0.9});
    auto out = noise;
    plain.process_iphone(out.data(), int(out.size()));
    GainControl ref = make(4, 0.9, 44100.0);
    const auto want = run(ref, noise);
    for (size_t i = 0; i < out.size(); ++i) ASSERT_NEAR(out[i], want[i], 1e-12) << i;
}
