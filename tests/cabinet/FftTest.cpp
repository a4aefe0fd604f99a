// The FFT against numpy.fft at every power of two, both directions, with
// each instruction set the processor runs, and the sharing of one pair of
// work arrays between lengths and kinds; the convolver's steps, spectral
// products and direct filter against the plain arithmetic.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "DspTestKit.h"
#include "cabinet/Fft.h"
#include "dsp/WideVectors.h"
#include "NumpyOracle.h"
#include "SkipUnlessCi.h"

using namespace tonewright;

namespace {

constexpr int kLargest = 131072;

std::vector<double> randomData(int n, unsigned seed) { return testkit::whiteNoise(n, 1.0, seed); }

// Largest difference relative to the largest reference value.
double relativeError(const std::vector<double>& got, const std::vector<double>& want)
{
    double diff = 0.0, scale = 0.0;
    for (size_t i = 0; i < want.size(); ++i) {
        diff = std::max(diff, std::abs(got[i] - want[i]));
        scale = std::max(scale, std::abs(want[i]));
    }
    return scale > 0.0 ? diff / scale : diff;
}

struct Work {
    std::vector<int> ip;
    std::vector<double> w;
    explicit Work(int rdftLength)
        : ip(size_t(fft::rdftIpSize(rdftLength)), 0), w(size_t(fft::rdftWSize(rdftLength)), 0.0)
    {
    }
};

// numpy's rfft result in the packed layout of rdft(n, 1): the conjugate.
std::vector<double> packRfft(const std::vector<double>& r, int n)
{
    std::vector<double> p(static_cast<size_t>(n));
    p[0] = r[0];
    p[1] = r[size_t(n)];
    for (int k = 1; k < n / 2; ++k) {
        p[size_t(2 * k)] = r[size_t(2 * k)];
        p[size_t(2 * k + 1)] = -r[size_t(2 * k + 1)];
    }
    return p;
}

// Each test once per instruction set of the build, one the processor lacks
// skipped.
class FftOnEachIsa : public ::testing::TestWithParam<fft::Isa> {
protected:
    void SetUp() override
    {
        if (GetParam() == fft::Isa::avx2 && fft::SupportedIsa() != fft::Isa::avx2)
            TONEWRIGHT_SKIP_UNLESS_CI("this processor has no AVX2");
        fft::UseIsa(GetParam());
    }
    void TearDown() override { fft::UseIsa(fft::SupportedIsa()); }
};
class FftAgainstNumpy : public FftOnEachIsa {
protected:
    static void SetUpTestSuite()
    {
        oracle = new NumpyOracle;
        for (int n = 2; n <= kLargest; n *= 2) {
            oracle->Add("cdft", n, randomData(2 * n, unsigned(n)));
            oracle->Add("rdft", n, randomData(n, unsigned(n) + 1));
        }
        ran = oracle->Run();
    }
    static void TearDownTestSuite()
    {
        delete oracle;
        oracle = nullptr;
    }
    static NumpyOracle* oracle;
    static bool ran;
};
NumpyOracle* FftAgainstNumpy::oracle = nullptr;
bool FftAgainstNumpy::ran = false;

}  // namespace

TEST_P(FftAgainstNumpy, ComplexTransformBothDirections)
{
    ASSERT_TRUE(ran);
    for (int n = 2; n <= kLargest; n *= 2) {
        const std::vector<double> input = randomData(2 * n, unsigned(n));
        const std::vector<double> want = oracle->Result("cdft", n);
        ASSERT_EQ(want.size(), input.size()) << n;
        const double tolerance = 2e-16 * (std::log2(n) + 4);

        Work work(2 * n);
        std::vector<double> a = input;
        cdft(2 * n, -1, a.data(), work.ip.data(), work.w.data());
        EXPECT_LT(relativeError(a, want), tolerance) << "forward, " << n << " points";

        // The inverse of numpy's spectrum gives the input times n.
        a = want;
        cdft(2 * n, 1, a.data(), work.ip.data(), work.w.data());
        for (double& x : a) x /= n;
        EXPECT_LT(relativeError(a, input), tolerance) << "inverse, " << n << " points";
    }
}

TEST_P(FftAgainstNumpy, RealTransformBothDirections)
{
    ASSERT_TRUE(ran);
    for (int n = 2; n <= kLargest; n *= 2) {
        const std::vector<double> input = randomData(n, unsigned(n) + 1);
        const std::vector<double> reference = oracle->Result("rdft", n);
        ASSERT_EQ(reference.size(), size_t(n + 2)) << n;
        const std::vector<double> want = packRfft(reference, n);
        const double tolerance = 2e-16 * (std::log2(n) + 4);

        Work work(n);
        std::vector<double> a = input;
        rdft(n, 1, a.data(), work.ip.data(), work.w.data());
        EXPECT_LT(relativeError(a, want), tolerance) << "forward, " << n << " samples";

        // The inverse gives the samples times n/2.
        a = want;
        rdft(n, -1, a.data(), work.ip.data(), work.w.data());
        for (double& x : a) x *= 2.0 / n;
        EXPECT_LT(relativeError(a, input), tolerance) << "inverse, " << n << " samples";
    }
}

TEST(Fft, SmallLengthsAreExact)
{
    // Two samples: sum and difference; four: the exact quarter turns.
    std::vector<int> ip(4, 0);
    std::vector<double> w(4, 0.0);
    double two[2] = {3.0, 1.0};
    rdft(2, 1, two, ip.data(), w.data());
    EXPECT_EQ(two[0], 4.0);
    EXPECT_EQ(two[1], 2.0);
    rdft(2, -1, two, ip.data(), w.data());
    EXPECT_EQ(two[0], 3.0);
    EXPECT_EQ(two[1], 1.0);

    double z[8] = {1, 0, 0, 0, 0, 0, 0, 0};  // unit impulse, 4 points
    cdft(8, -1, z, ip.data(), w.data());
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(z[2 * k], 1.0);
        EXPECT_EQ(z[2 * k + 1], 0.0);
    }
    double d[8] = {0, 0, 1, 0, 0, 0, 0, 0};  // delayed by one: e^(-i pi k / 2)
    cdft(8, -1, d, ip.data(), w.data());
    const double expected[8] = {1, 0, 0, -1, -1, 0, 0, 1};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(d[i], expected[i]) << i;
}

TEST_P(FftOnEachIsa, OneWorkAreaServesEveryLengthAndBothKinds)
{
    // Built first for a short length, then grown, then used for shorter
    // lengths again, mixing real and complex transforms: the results equal
    // those of fresh work arrays exactly (a span's twiddles do not depend on
    // the longest length a table serves).
    Work shared(8192);
    for (int n : {64, 8192, 16, 2048, 4096, 2, 512}) {
        const std::vector<double> input = randomData(n, unsigned(7 * n));
        for (int kind = 0; kind < 2; ++kind) {
            Work fresh(n);
            std::vector<double> a = input, b = input;
            if (kind == 0) {
                rdft(n, 1, a.data(), shared.ip.data(), shared.w.data());
                rdft(n, 1, b.data(), fresh.ip.data(), fresh.w.data());
            } else {
                cdft(n, -1, a.data(), shared.ip.data(), shared.w.data());
                cdft(n, -1, b.data(), fresh.ip.data(), fresh.w.data());
            }
            EXPECT_EQ(a, b) << "length " << n << " kind " << kind;
        }
    }
}

TEST_P(FftOnEachIsa, ATransformInStepsOrFromAnotherArrayIsTheTransformInOneCall)
{
    std::vector<fft::Step> steps(16384);
    for (const auto& [kind, isgn] : {std::pair(fft::Transform::rdftPlus, 1), std::pair(fft::Transform::rdftMinus, -1),
                                    std::pair(fft::Transform::cdftPlus, 1), std::pair(fft::Transform::cdftMinus, -1)}) {
        const bool real = kind == fft::Transform::rdftPlus || kind == fft::Transform::rdftMinus;
        for (int n : {16, 64, 128, 1024, 4096, 16384}) {
            const std::vector<double> input = randomData(n, unsigned(n) + 3);
            Work work(2 * n);
            std::vector<double> whole = input;
            (real ? rdft : cdft)(n, isgn, whole.data(), work.ip.data(), work.w.data());
            for (int grain : {1, 37, 1000, 1 << 20}) {
                const int count = fft::PlanSteps(kind, n, grain, steps.data(), int(steps.size()));
                ASSERT_LE(count, int(steps.size()));
                std::vector<double> a = input;
                for (int i = 0; i < count; ++i) fft::RunStep(steps[size_t(i)], a.data(), work.w.data());
                EXPECT_EQ(a, whole) << "n " << n << ", grain " << grain << (real ? " rdft " : " cdft ") << isgn;
            }
        }
    }
    // From another array, across the lengths where the passes go breadth
    // first and depth first; the source is left as it was.
    Work work(65536);
    for (int n : {2, 8, 16, 64, 512, 4096, 8192, 65536}) {
        const std::vector<double> input = randomData(n, unsigned(3 * n));
        std::vector<double> inPlace = input, from(size_t(n), 0.0), source = input;
        rdft(n, 1, inPlace.data(), work.ip.data(), work.w.data());
        rdftFrom(n, source.data(), from.data(), work.ip.data(), work.w.data());
        EXPECT_TRUE(from == inPlace && source == input) << n;
    }
}

TEST_P(FftOnEachIsa, TheSplitLayoutRoundTripsAndPlacesEveryBin)
{
    const int B = 64;
    const std::vector<double> a = randomData(4 * B, 5);
    std::vector<double> split = a, back(a.size(), 0.0), stereo(a.size(), 0.0);
    fft::ToSplit(split.data(), 0, 2 * B / fft::kGroup);
    fft::FromSplit(split.data(), back.data(), 0, 2 * B / fft::kGroup);
    EXPECT_EQ(back, a);
    fft::FromSplitStereo(split.data(), stereo.data(), B, 0, B / fft::kGroup);
    for (int i = 0; i < 2 * B; ++i) {
        ASSERT_EQ(split[size_t(fft::splitRe(i))], a[size_t(2 * i)]) << i;
        ASSERT_EQ(split[size_t(fft::splitIm(i))], a[size_t(2 * i + 1)]) << i;
        // Stereo halves: bins 0..B-1, then B and 2B - s at s.
        const int s = i % B, upper = s == 0 ? B : 2 * B - s;
        if (i < B) ASSERT_EQ(stereo[size_t(2 * s)], a[size_t(2 * s)]) << s;
        else ASSERT_TRUE(stereo[size_t(2 * upper)] == a[size_t(2 * i)] && stereo[size_t(2 * upper + 1)] == a[size_t(2 * i + 1)])
            << s;
    }
}

TEST_P(FftOnEachIsa, SpectralProductsAreTheSumsOfComplexProducts)
{
    // Against plain complex arithmetic, for ranges of groups with and without
    // bin 0, one to thirty partitions, replacing and adding; nothing outside
    // the range changes.
    const int B = 64;
    using C = std::complex<double>;
    const auto at = [](const std::vector<double>& v, int bin, int offset = 0) {
        return C(v[size_t(offset + fft::splitRe(bin))], v[size_t(offset + fft::splitIm(bin))]);
    };
    for (int parts : {1, 3, 30}) {
        std::vector<std::vector<double>> xs, ks;
        std::vector<const double*> x, k;
        for (int p = 0; p < parts; ++p) {
            xs.push_back(randomData(2 * B, unsigned(100 + p)));
            ks.push_back(randomData(4 * B, unsigned(200 + p)));
        }
        for (size_t p = 0; p < xs.size(); ++p) x.push_back(xs[p].data()), k.push_back(ks[p].data());
        for (const auto& [first, last] : {std::pair{0, B / fft::kGroup}, std::pair{1, 3}, std::pair{0, 1}, std::pair{5, 6}}) {
            for (bool clear : {true, false}) {
                const std::vector<double> start = randomData(4 * B, 7);
                std::vector<double> mono = start, stereo = start;
                fft::ProductsMono(mono.data(), x.data(), k.data(), parts, first, last, clear);
                fft::ProductsStereo(stereo.data(), x.data(), k.data(), parts, B, first, last, clear);
                for (int s = 0; s < B; ++s) {
                    const bool in = s >= first * fft::kGroup && s < last * fft::kGroup;
                    C mono0 = in && clear ? 0.0 : at(start, s), low = mono0, high = in && clear ? 0.0 : at(start, s, 2 * B);
                    for (int p = 0; in && p < parts; ++p) {
                        const C xv = at(xs[size_t(p)], s), kl = at(ks[size_t(p)], s), kh = at(ks[size_t(p)], s, 2 * B);
                        // Bin 0 holds the real DC and Nyquist values.
                        mono0 += s == 0 ? C(xv.real() * kl.real(), xv.imag() * kl.imag()) : xv * kl;
                        low += s == 0 ? xv.real() * kl : std::conj(xv) * kl;
                        high += s == 0 ? xv.imag() * kh : xv * kh;
                    }
                    const auto apart = [](C a, C b) {
                        return std::max(std::abs(a.real() - b.real()), std::abs(a.imag() - b.imag()));
                    };
                    ASSERT_LE(std::max({apart(at(mono, s), mono0), apart(at(mono, s, 2 * B), at(start, s, 2 * B)),
                                        apart(at(stereo, s), low), apart(at(stereo, s, 2 * B), high)}),
                              1e-13)
                        << parts << " parts, bin " << s << ", groups " << first << " to " << last
                        << (clear ? ", replacing" : ", adding");
                }
            }
        }
    }
}

TEST_P(FftOnEachIsa, DirectFilterMatchesTheSumOfProductsForEveryLengthAndCount)
{
    // Counts that end inside and outside the vectors, tap counts from one on;
    // nothing past n is written.
    const std::vector<double> x = randomData(200, 11), taps = randomData(33, 12);
    for (int T : {1, 2, 5, 18, 32, 33}) {
        for (int n : {1, 3, 15, 16, 17, 64, 100}) {
            std::vector<double> y(size_t(n) + 4, 7.0);
            fft::Fir(x.data(), taps.data(), T, y.data(), n);
            for (int i = 0; i < n; ++i) {
                double want = 0.0;
                for (int j = 0; j < T; ++j) want += taps[size_t(j)] * x[size_t(i + j)];
                ASSERT_NEAR(y[size_t(i)], want, 1e-14) << "T " << T << ", n " << n << ", i " << i;
            }
            EXPECT_EQ(std::vector<double>(y.begin() + n, y.end()), std::vector<double>(4, 7.0));
        }
    }
}

#ifdef TONEWRIGHT_X86_VECTORS
TEST(Fft, ThePortableLoopsGiveTheSse2LoopsResultsBitForBit)
{
    // The same operations in the same order, so that a build for another
    // processor, or one without the intrinsics, sounds the same.
    const auto run = [](fft::Isa isa, int n) {
        fft::UseIsa(isa);
        Work work(2 * n);
        std::vector<double> r = randomData(n, unsigned(n) + 5), c = randomData(2 * n, unsigned(n) + 6);
        rdft(n, 1, r.data(), work.ip.data(), work.w.data());
        cdft(2 * n, -1, c.data(), work.ip.data(), work.w.data());
        std::vector<double> acc(size_t(2 * n), 0.0), y(size_t(n), 0.0);
        const double* x[2] = {r.data(), c.data()};
        const double* k[2] = {c.data(), c.data()};
        fft::ToSplit(r.data(), 0, n / fft::kGroup / 2);
        fft::ProductsMono(acc.data(), x, k, 2, 0, n / fft::kGroup / 2, true);
        fft::ProductsStereo(acc.data(), x, k, 2, n / 2, 0, n / fft::kGroup / 2, false);
        fft::Fir(c.data(), r.data() + 3, 37, y.data(), n);
        rdft(n, -1, r.data(), work.ip.data(), work.w.data());
        r.insert(r.end(), c.begin(), c.end());
        r.insert(r.end(), acc.begin(), acc.end());
        r.insert(r.end(), y.begin(), y.end());
        fft::UseIsa(fft::SupportedIsa());
        return r;
    };
    for (int n : {64, 256, 2048, 8192, 65536}) EXPECT_TRUE(run(fft::Isa::portable, n) == run(fft::Isa::sse2, n)) << n;
}
#endif

// Each instruction set of the build.
const auto isas = ::testing::Values(fft::Isa::portable
#ifdef TONEWRIGHT_X86_VECTORS
                                    ,
                                    fft::Isa::sse2, fft::Isa::avx2
#endif
);
const auto isaName = [](const ::testing::TestParamInfo<fft::Isa>& i) {
    return i.param == fft::Isa::avx2 ? "AVX2" : i.param == fft::Isa::sse2 ? "SSE2" : "Portable";
};
INSTANTIATE_TEST_SUITE_P(Isa, FftAgainstNumpy, isas, isaName);
INSTANTIATE_TEST_SUITE_P(Isa, FftOnEachIsa, isas, isaName);
