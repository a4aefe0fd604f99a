// Minimum-phase conversion against a numpy real-cepstrum oracle, with its
// magnitude and energy properties; the Kaiser half window and Bessel I0.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "DspTestKit.h"
#include "cabinet/Fft.h"
#include "cabinet/MinimumPhase.h"
#include "NumpyOracle.h"
#include "cabinet/WindowFunction.h"

using namespace tonewright;

using namespace testkit;

namespace {

// A decaying noise burst: a rough room or cabinet response.
std::vector<double> decayingNoise(int n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> d(0.0, 1.0);
    std::vector<double> v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) v[size_t(i)] = d(rng) * std::exp(-6.0 * i / n);
    return v;
}

// A symmetric (linear-phase) low-pass: Hann-windowed sinc, centred.
std::vector<double> symmetricLowPass(int n)
{
    std::vector<double> v(static_cast<size_t>(n));
    const double centre = 0.5 * (n - 1);
    for (int i = 0; i < n; ++i) {
        const double t = i - centre;
        const double sinc = t == 0.0 ? 0.3 : std::sin(kPi * 0.3 * t) / (kPi * t);
        v[size_t(i)] = sinc * (0.5 - 0.5 * std::cos(2.0 * kPi * (i + 1) / (n + 1)));
    }
    return v;
}

std::vector<double> minimumPhase(const std::vector<double>& x)
{
    std::vector<double> y(x.size());
    EXPECT_TRUE(ConvertToMinimumPhaseFast(x.data(), y.data(), int(x.size())));
    return y;
}

// |DFT| over `points` (zero-padded).
std::vector<double> magnitudes(const std::vector<double>& x, int points)
{
    std::vector<double> a(size_t(points), 0.0);
    std::copy(x.begin(), x.end(), a.begin());
    std::vector<int> ip(size_t(fft::rdftIpSize(points)), 0);
    std::vector<double> w(size_t(fft::rdftWSize(points)));
    rdft(points, 1, a.data(), ip.data(), w.data());
    std::vector<double> m(size_t(points / 2 + 1));
    m[0] = std::abs(a[0]);
    m[size_t(points / 2)] = std::abs(a[1]);
    for (int k = 1; k < points / 2; ++k) m[size_t(k)] = std::hypot(a[size_t(2 * k)], a[size_t(2 * k + 1)]);
    return m;
}

double energy(const std::vector<double>& x, size_t upTo)
{
    double e = 0.0;
    for (size_t i = 0; i < upTo && i < x.size(); ++i) e += x[i] * x[i];
    return e;
}

}  // namespace

TEST(MinimumPhase, MatchesTheRealCepstrumOracle)
{
    const std::vector<std::vector<double>> inputs = {decayingNoise(1000, 1), symmetricLowPass(255),
                                                     decayingNoise(4096, 2), decayingNoise(65536, 3),
                                                     decayingNoise(3, 4)};
    NumpyOracle oracle;
    for (const auto& x : inputs) oracle.Add("minphase", int(x.size()), x);
    ASSERT_TRUE(oracle.Run());
    for (const auto& x : inputs) {
        const std::vector<double> want = oracle.Result("minphase", int(x.size()));
        ASSERT_EQ(want.size(), x.size());
        const std::vector<double> got = minimumPhase(x);
        double worst = 0.0;
        for (size_t i = 0; i < x.size(); ++i) worst = std::max(worst, std::abs(got[i] - want[i]));
        EXPECT_LT(worst, 1e-10 * peak(want)) << x.size() << " samples";
    }
}

TEST(MinimumPhase, KeepsTheMagnitudeAndMovesTheEnergyToTheStart)
{
    // The inputs sit in longer arrays so that the converted tails fit.
    std::vector<double> filter = symmetricLowPass(255);
    filter.resize(1024, 0.0);
    std::vector<double> burst = decayingNoise(2000, 9);
    burst.resize(4096, 0.0);

    // The filter's smooth spectrum is kept within 50 dB of its peak (the
    // cepstrum over 2P points blurs only the deepest stop-band nulls).
    const std::vector<double> y = minimumPhase(filter);
    const std::vector<double> mx = magnitudes(filter, 8192);
    const std::vector<double> my = magnitudes(y, 8192);
    const double top = *std::max_element(mx.begin(), mx.end());
    for (size_t k = 0; k < mx.size(); ++k) ASSERT_NEAR(my[k], mx[k], 3e-3 * top) << "bin " << k;
    // Its peak, in the middle before, comes within the first samples.
    EXPECT_LT(peakIndex(y), 16u);

    // Every leading part holds at least the input's share of the energy.
    for (const auto& x : {filter, burst}) {
        SCOPED_TRACE(x.size());
        const std::vector<double> m = minimumPhase(x);
        const double total = energy(x, x.size());
        EXPECT_NEAR(energy(m, m.size()), total, 1e-2 * total);
        for (size_t k = 1; k < x.size(); k += 7) ASSERT_GE(energy(m, k), energy(x, k) - 1e-3 * total) << k;
    }
}

TEST(MinimumPhase, UnitImpulseSilenceAndInPlace)
{
    std::vector<double> unit(100, 0.0);
    unit[0] = 1.0;
    const std::vector<double> y = minimumPhase(unit);
    EXPECT_NEAR(y[0], 1.0, 1e-12);
    for (size_t i = 1; i < y.size(); ++i) ASSERT_NEAR(y[i], 0.0, 1e-12) << i;

    const std::vector<double> quiet = minimumPhase(std::vector<double>(300, 0.0));
    ASSERT_TRUE(allFinite(quiet));
    EXPECT_NEAR(quiet[0], std::exp(-100.0), 1e-50);
    for (size_t i = 1; i < quiet.size(); ++i) ASSERT_LT(std::abs(quiet[i]), 1e-50) << i;

    std::vector<double> x = decayingNoise(500, 5);
    const std::vector<double> separate = minimumPhase(x);
    ASSERT_TRUE(ConvertToMinimumPhaseFast(x.data(), x.data(), int(x.size())));
    EXPECT_EQ(x, separate);
}

TEST(WindowFunction, KaiserHalfWindowEndsAndOutside)
{
    const double i06 = 67.23440697647798;  // I0(6)
    EXPECT_NEAR(WindowFunction::Bessel0(6.0), i06, 2e-7 * i06);
    EXPECT_NEAR(WindowFunction::Bessel0(1.0), 1.2660658777520082, 2e-7);
    EXPECT_NEAR(WindowFunction::Bessel0(-1.0), 1.2660658777520082, 2e-7);
    EXPECT_EQ(WindowFunction::Bessel0(0.0), 1.0);

    for (int n : {2, 16, 4096}) {
        EXPECT_EQ(WindowFunction::KaiserHalfWindow(0, n, 6.0), 1.0);
        EXPECT_NEAR(WindowFunction::KaiserHalfWindow(n - 1, n, 6.0), 1.0 / WindowFunction::Bessel0(6.0), 1e-15);
        EXPECT_EQ(WindowFunction::KaiserHalfWindow(n, n, 6.0), 0.0);
        EXPECT_EQ(WindowFunction::KaiserHalfWindow(-1, n, 6.0), 0.0);
        for (int i = 1; i < n; ++i)
            ASSERT_LT(WindowFunction::KaiserHalfWindow(i, n, 6.0), WindowFunction::KaiserHalfWindow(i - 1, n, 6.0));
    }
    // One point: weight 1, no 0/0.
    EXPECT_EQ(WindowFunction::KaiserHalfWindow(0, 1, 6.0), 1.0);
}
