// The resampler between the six impulse rates: flat passband, no delay,
// band limiting, the stream bookkeeping and the refusal of factors outside
// its limits.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "DspTestKit.h"
#include "cabinet/Resampler.h"

using namespace tonewright;

using namespace testkit;

namespace {

const double kRates[] = {44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0};

// The cabinet's settings.
std::unique_ptr<Resampler> cabinetResampler()
{
    return std::make_unique<Resampler>(1.0 / 12.0, 12.0, 35, 4096.0, true);
}

// One whole stream in one call, with room for all of its output.
std::vector<double> resample(Resampler& r, double factor, const std::vector<double>& x)
{
    std::vector<double> y(size_t(double(x.size()) * factor) + 64);
    int used = 0;
    r.reset();
    const int got = r.process(factor, x.data(), int(x.size()), 1, &used, y.data(), int(y.size()));
    EXPECT_EQ(used, int(x.size()));
    y.resize(size_t(std::max(got, 0)));
    return y;
}

std::vector<double> tone(double fs, double f, int n, double phase = 0.3)
{
    std::vector<double> x(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) x[size_t(i)] = 0.5 * std::sin(2.0 * kPi * f * i / fs + phase);
    return x;
}

}  // namespace

TEST(Resampler, PassbandGainAndDelayBetweenTheSixRates)
{
    auto r = cabinetResampler();
    double worstGain = 0.0, worstDelay = 0.0;
    for (double from : kRates) {
        for (double to : kRates) {
            const double factor = to / from;
            const double lowerNyquist = std::min(from, to) / 2.0;
            for (double rel : {0.02, 0.1, 0.3, 0.5, 0.7, 0.75}) {
                SCOPED_TRACE(testing::Message() << from << " -> " << to << " Hz at " << rel << " of Nyquist");
                const double f = rel * lowerNyquist;
                const int n = int(from * 0.1);
                const std::vector<double> y = resample(*r, factor, tone(from, f, n));
                // One output per position k / factor below the input length.
                EXPECT_NEAR(double(y.size()), n * factor, 1.0);
                const SineFit fit = fitSine(y, y.size() / 4, 3 * y.size() / 4, to, f);
                const double gainDb = 20.0 * std::log10(fit.amplitude / 0.5);
                // Output sample m sits at input position m / factor: no delay.
                const double delay = -std::remainder(fit.phase - 0.3, 2.0 * kPi) / (2.0 * kPi * f) * to;
                EXPECT_NEAR(gainDb, 0.0, 0.01);
                EXPECT_NEAR(delay, 0.0, 1e-3);
                EXPECT_LT(fit.residualRms, 2e-4);
                worstGain = std::max(worstGain, std::fabs(gainDb));
                worstDelay = std::max(worstDelay, std::fabs(delay));
            }
            // The edge of the passband (0.9 of the lower Nyquist) is still
            // within a fraction of a dB at 0.8.
            const std::vector<double> y = resample(*r, factor, tone(from, 0.8 * lowerNyquist, int(from * 0.1)));
            const SineFit fit = fitSine(y, y.size() / 4, 3 * y.size() / 4, to, 0.8 * lowerNyquist);
            EXPECT_NEAR(20.0 * std::log10(fit.amplitude / 0.5), 0.0, 0.1);
        }
    }
    RecordProperty("worst passband gain (dB)", std::to_string(worstGain));
    RecordProperty("worst delay (samples)", std::to_string(worstDelay));
}

TEST(Resampler, DownsamplingRejectsWhatTheOutputCannotCarry)
{
    auto r = cabinetResampler();
    for (double from : kRates) {
        for (double to : kRates) {
            if (to >= from) continue;
            for (double rel : {1.1, 1.5, 2.5}) {
                const double f = rel * to / 2.0;
                if (f >= 0.95 * from / 2.0) continue;
                SCOPED_TRACE(testing::Message() << from << " -> " << to << " Hz, tone at " << f << " Hz");
                const std::vector<double> y = resample(*r, to / from, tone(from, f, int(from * 0.1)));
                const double level = rms(y, y.size() / 4, 3 * y.size() / 4) / (0.5 / std::sqrt(2.0));
                EXPECT_LT(20.0 * std::log10(level), -60.0);
            }
        }
    }
}

TEST(Resampler, ImpulseResponseIsSymmetricLowPass)
{
    // Factor 1: the output of a unit impulse is the filter itself, centred on
    // the impulse: zero phase, 0.9 at the centre (the 0.9 cutoff), and the
    // response of a constant is 1.
    auto r = cabinetResampler();
    std::vector<double> x(200, 0.0);
    x[100] = 1.0;
    const std::vector<double> y = resample(*r, 1.0, x);
    ASSERT_EQ(y.size(), x.size());
    EXPECT_NEAR(y[100], 0.9, 1e-12);
    for (int k = 1; k < 30; ++k) EXPECT_NEAR(y[size_t(100 - k)], y[size_t(100 + k)], 1e-12) << k;
    EXPECT_EQ(y[100 - 18], 0.0);  // 17 samples per wing
    double sum = 0.0;
    for (double v : y) sum += v;
    EXPECT_NEAR(sum, 1.0, 1e-3);

    // Up by 2: one output per half sample, the even ones on the input grid.
    const std::vector<double> up = resample(*r, 2.0, x);
    ASSERT_EQ(up.size(), 2 * x.size());
    EXPECT_NEAR(up[200], 0.9, 1e-12);
    EXPECT_NEAR(up[199], up[201], 1e-12);
}

TEST(Resampler, StreamingInPiecesMatchesOneCall)
{
    auto whole = cabinetResampler();
    const std::vector<double> x = whiteNoise(20000, 0.5, 3);
    for (double factor : {44100.0 / 192000.0, 1.0, 96000.0 / 88200.0, 4.0}) {
        SCOPED_TRACE(factor);
        const std::vector<double> expected = resample(*whole, factor, x);

        // Small input pieces and a small output buffer: the input counter
        // runs on and undelivered output waits for the next call.
        Resampler pieces = *whole;  // a copy carries its own buffers
        pieces.reset();
        std::vector<double> got;
        std::vector<double> out(97);
        int used = 0;
        int offered = 0;
        for (int guard = 0; guard < 100000; ++guard) {
            offered = std::min(offered + 1234, int(x.size()));
            const bool last = offered == int(x.size());
            const int n = pieces.process(factor, x.data(), offered, last, &used, out.data(), int(out.size()));
            ASSERT_GE(n, 0);
            got.insert(got.end(), out.begin(), out.begin() + n);
            if (last && n == 0) break;
        }
        // Rounding in the position arithmetic may take in or leave out the
        // one position that falls on the end of the input.
        ASSERT_NEAR(double(got.size()), double(expected.size()), 1.0);
        double worst = 0.0;
        for (size_t i = 0; i < std::min(got.size(), expected.size()); ++i) worst = std::max(worst, std::fabs(got[i] - expected[i]));
        EXPECT_LT(worst, 1e-9);
    }
}

TEST(Resampler, OutputLimitCutsTheStream)
{
    // The cabinet's use: a 65536-sample impulse, at most 65536 or 32768 out.
    auto r = cabinetResampler();
    const std::vector<double> x = whiteNoise(65536, 0.5, 5);
    std::vector<double> out(65536);
    int used = 0;
    EXPECT_EQ(r->process(96000.0 / 44100.0, x.data(), 65536, 1, &used, out.data(), 65536), 65536);
    r->reset();
    used = 0;
    EXPECT_EQ(r->process(48000.0 / 44100.0, x.data(), 65536, 1, &used, out.data(), 32768), 32768);
    // A new stream after reset starts from silence again.
    r->reset();
    used = 0;
    const std::vector<double> silence(1000, 0.0);
    EXPECT_EQ(r->process(0.5, silence.data(), 1000, 1, &used, out.data(), 65536), 500);
    EXPECT_EQ(peak(std::vector<double>(out.begin(), out.begin() + 500)), 0.0);
}

TEST(Resampler, RefusesFactorsOutsideItsLimits)
{
    auto r = cabinetResampler();
    const std::vector<double> x = whiteNoise(1000, 0.5, 7);
    std::vector<double> out(20000, 42.0);
    int used = 0;
    for (double factor : {12.0001, 0.08, 0.0, -1.0, 100.0, std::numeric_limits<double>::quiet_NaN(),
                          std::numeric_limits<double>::infinity()}) {
        EXPECT_EQ(r->process(factor, x.data(), 1000, 1, &used, out.data(), 20000), -1) << factor;
        EXPECT_EQ(used, 0);
        EXPECT_EQ(out[0], 42.0);
    }
    // Unusable arguments change nothing either.
    EXPECT_EQ(r->process(1.0, x.data(), 1000, 1, nullptr, out.data(), 20000), -1);
    EXPECT_EQ(r->process(1.0, nullptr, 1000, 1, &used, out.data(), 20000), -1);
    EXPECT_EQ(r->process(1.0, x.data(), -5, 1, &used, out.data(), 20000), -1);
    used = 1001;
    EXPECT_EQ(r->process(1.0, x.data(), 1000, 1, &used, out.data(), 20000), -1);

    // The limits themselves are accepted.
    used = 0;
    EXPECT_NEAR(r->process(12.0, x.data(), 1000, 1, &used, out.data(), 20000), 12000.0, 1.0);
    r->reset();
    used = 0;
    EXPECT_NEAR(r->process(1.0 / 12.0, x.data(), 1000, 1, &used, out.data(), 20000), 1000.0 / 12.0, 1.0);

    // Settings the arithmetic cannot honour refuse every factor.
    for (auto bad : {Resampler(0.0, 12.0, 35, 4096.0, true), Resampler(2.0, 1.0, 35, 4096.0, true),
                     Resampler(0.5, 2.0, 1, 4096.0, true), Resampler(0.5, 2.0, 35, 0.0, true),
                     Resampler(0.5, std::numeric_limits<double>::infinity(), 35, 4096.0, true)}) {
        used = 0;
        EXPECT_EQ(bad.process(1.0, x.data(), 1000, 1, &used, out.data(), 20000), -1);
    }
}

TEST(Resampler, BesselApproximationMatchesTheSeries)
{
    for (double x : {0.0, 0.5, 1.0, 3.0, 3.75, 5.0, 6.0, 10.0, 30.0, -6.0}) {
        const double precise = Resampler::i0_precise(x);
        EXPECT_NEAR(Resampler::i0(x) / precise, 1.0, 3e-7) << x;
    }
    EXPECT_EQ(Resampler::i0(0.0), 1.0);
    EXPECT_TRUE(std::isnan(Resampler::i0_precise(std::numeric_limits<double>::quiet_NaN())));
}
