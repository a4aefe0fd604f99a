// The partitioned convolver against direct convolution for every row of its
// partition table, mono and stereo, with blocks of 1, odd and long sizes; a
// single tap at each partition boundary comes out as an exact delay.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "cabinet/CabinetConvolver.h"
#include "DspTestKit.h"

using namespace tonewright;

using namespace testkit;

namespace {

std::vector<double> noise(int n, unsigned seed) { return whiteNoise(n, 1.0, seed); }

struct Output {
    std::vector<double> left, right;
};

Output convolve(CabinetConvolver& c, const std::vector<double>& input, const BlockPlan& plan)
{
    Output out{std::vector<double>(input.size()), std::vector<double>(input.size())};
    forEachBlock(int(input.size()), plan, [&](int offset, int n) {
        c.process(input.data() + offset, out.left.data() + offset, out.right.data() + offset, n);
    });
    return out;
}

// Direct convolution at output sample t.
double directAt(const std::vector<double>& h, const std::vector<double>& x, size_t t)
{
    double y = 0.0;
    const size_t taps = std::min(h.size(), t + 1);
    for (size_t k = 0; k < taps; ++k) y += h[k] * x[t - k];
    return y;
}

// The samples checked: all of them for short impulses, otherwise every
// seventh plus every sample around each long block boundary.
std::vector<size_t> checkedSamples(size_t total, int N, int M)
{
    std::vector<size_t> at;
    for (size_t t = 0; t < total; ++t) {
        const size_t inBlock = t % size_t(M);
        if (N <= 4096 || t % 7 == 0 || inBlock < 3 || inBlock + 3 >= size_t(M)) at.push_back(t);
    }
    return at;
}

struct Reference {
    std::vector<size_t> at;
    std::vector<double> value;
};

Reference reference(const std::vector<double>& h, const std::vector<double>& x, const std::vector<size_t>& at)
{
    Reference r{at, {}};
    for (size_t t : at) r.value.push_back(directAt(h, x, t));
    return r;
}

void expectMatches(const std::vector<double>& got, const Reference& ref, const char* what)
{
    double worst = 0.0, scale = 0.0;
    size_t worstAt = 0;
    for (size_t i = 0; i < ref.at.size(); ++i) {
        const size_t t = ref.at[i];
        scale = std::max(scale, std::abs(ref.value[i]));
        if (std::abs(got[t] - ref.value[i]) > worst) {
            worst = std::abs(got[t] - ref.value[i]);
            worstAt = t;
        }
    }
    EXPECT_LE(worst, 1e-10 * scale) << what << ": worst error at sample " << worstAt;
}

}  // namespace

TEST(CabinetConvolver, RowsAreChosenByLength)
{
    auto c = std::make_unique<CabinetConvolver>();
    const std::vector<double> h(100000, 0.0);
    const struct {
        int length, L, M, shortParts, longParts;
    } cases[] = {{1, 1, 1, 0, 0},        {16, 16, 16, 0, 0},     {17, 32, 32, 0, 0},        {200, 16, 64, 7, 2},
                 {2048, 32, 256, 15, 6}, {2049, 32, 512, 31, 6}, {8192, 32, 1024, 63, 6}, {65536, 64, 2048, 63, 30}, {100000, 64, 2048, 63, 30},
                 {0, 1, 1, 0, 0}};
    for (const auto& k : cases) {
        c->SetImpulse(h.data(), h.data(), k.length, true);
        EXPECT_EQ(c->ShortBlock(), k.L) << k.length;
        EXPECT_EQ(c->LongBlock(), k.M) << k.length;
        EXPECT_EQ(c->ShortPartitions(), k.shortParts) << k.length;
        EXPECT_EQ(c->LongPartitions(), k.longParts) << k.length;
    }
}

TEST(CabinetConvolver, NewConvolverPassesInputAndOneTapIsAGain)
{
    auto c = std::make_unique<CabinetConvolver>();
    const std::vector<double> x = noise(1000, 3);
    Output out = convolve(*c, x, BlockPlan::Random(100, 4));
    EXPECT_EQ(out.left, x);
    EXPECT_EQ(out.right, x);

    const double g = -0.375;
    c->SetImpulse(&g, nullptr, 1, true);
    out = convolve(*c, x, BlockPlan::Fixed(7));
    for (size_t i = 0; i < x.size(); ++i) ASSERT_EQ(out.left[i], g * x[i]) << i;
}

TEST(CabinetConvolver, MatchesDirectConvolutionForEveryRow)
{
    auto c = std::make_unique<CabinetConvolver>();
    for (const auto& row : CabinetConvolver::NLM) {
        const int N = row[0], M = row[2];
        const std::vector<double> hl = noise(N, unsigned(N));
        const std::vector<double> hr = noise(N, unsigned(N) + 1);
        const std::vector<double> x = noise(N + 3 * M + 50, unsigned(N) + 2);
        const auto at = checkedSamples(x.size(), N, M);
        const Reference left = reference(hl, x, at);
        const Reference right = reference(hr, x, at);
        for (const BlockPlan& plan : {BlockPlan::Fixed(1), BlockPlan::Fixed(37), BlockPlan::Fixed(2 * M + 3),
                                      BlockPlan::Random(3 * M, unsigned(N))}) {
            SCOPED_TRACE(::testing::Message() << "N " << N << ", block " << plan.size << (plan.random ? " random" : ""));
            c->SetImpulse(hl.data(), nullptr, N, true);
            Output mono = convolve(*c, x, plan);
            expectMatches(mono.left, left, "mono");
            EXPECT_EQ(mono.left, mono.right);

            c->SetImpulse(hl.data(), hr.data(), N, false);
            Output stereo = convolve(*c, x, plan);
            expectMatches(stereo.left, left, "stereo left");
            expectMatches(stereo.right, right, "stereo right");
        }
    }
}

TEST(CabinetConvolver, SingleTapAtEachPartitionBoundaryIsAnExactDelay)
{
    auto c = std::make_unique<CabinetConvolver>();
    for (const auto& row : CabinetConvolver::NLM) {
        const int N = row[0], L = row[1], M = row[2];
        std::vector<int> taps;
        for (int d = L; d < M; d += L) taps.push_back(d);
        for (int d = M; d < N; d += M) taps.push_back(d);
        taps.push_back(N - 1);
        for (int d : taps) {
            for (bool isMono : {true, false}) {
                std::vector<double> h(size_t(N), 0.0);
                h[size_t(d)] = 1.0;
                c->SetImpulse(h.data(), h.data(), N, isMono);
                const std::vector<double> x = noise(d + 2 * M + 5, unsigned(d));
                const Output out = convolve(*c, x, BlockPlan::Random(M + 5, unsigned(d)));
                double worst = 0.0;
                for (size_t t = 0; t < x.size(); ++t) {
                    const double want = t >= size_t(d) ? x[t - size_t(d)] : 0.0;
                    worst = std::max({worst, std::abs(out.left[t] - want), std::abs(out.right[t] - want)});
                }
                EXPECT_LT(worst, 1e-13) << "N " << N << ", tap at " << d << (isMono ? " mono" : " stereo");
            }
        }
    }
}

TEST(CabinetConvolver, EqualStereoChannelsMatchTheMonoPath)
{
    auto c = std::make_unique<CabinetConvolver>();
    const std::vector<double> h = noise(3000, 11);
    const std::vector<double> x = noise(9000, 12);
    c->SetImpulse(h.data(), nullptr, 3000, true);
    const Output mono = convolve(*c, x, BlockPlan::Fixed(64));
    c->SetImpulse(h.data(), h.data(), 3000, false);
    EXPECT_FALSE(c->IsMono());
    const Output stereo = convolve(*c, x, BlockPlan::Fixed(64));
    for (size_t t = 0; t < x.size(); ++t) {
        ASSERT_NEAR(stereo.left[t], mono.left[t], 1e-12) << t;
        ASSERT_NEAR(stereo.left[t], stereo.right[t], 1e-12) << t;
    }
}

TEST(CabinetConvolver, NewImpulseClearsThePreviousTail)
{
    auto c = std::make_unique<CabinetConvolver>();
    const std::vector<double> h(20000, 0.5);
    c->SetImpulse(h.data(), nullptr, 20000, true);
    convolve(*c, noise(5000, 5), BlockPlan::Fixed(128));
    const double g = 1.0;
    c->SetImpulse(&g, &g, 1, false);
    const Output out = convolve(*c, std::vector<double>(30000, 0.0), BlockPlan::Fixed(128));
    EXPECT_EQ(peak(out.left), 0.0);
    EXPECT_EQ(peak(out.right), 0.0);
}

namespace {

// Blocks of the given sizes in turn, over and over, allocating nothing.
Output convolveInBlocks(CabinetConvolver& c, const std::vector<double>& input, const std::vector<int>& sizes)
{
    Output out{std::vector<double>(input.size()), std::vector<double>(input.size())};
    AllocationCounter counter;
    for (size_t i = 0, at = 0, n = 0; at < input.size(); at += n, ++i) {
        n = std::min(size_t(sizes[i % sizes.size()]), input.size() - at);
        c.process(input.data() + at, out.left.data() + at, out.right.data() + at, int(n));
    }
    EXPECT_EQ(counter.count(), 0) << "blocks of " << sizes[0] << " (" << sizes.size() << " sizes)";
    EXPECT_EQ(counter.freed(), 0) << "blocks of " << sizes[0] << " (" << sizes.size() << " sizes)";
    return out;
}

}  // namespace

TEST(CabinetConvolver, WholeBlocksGiveTheSampleBySampleOutputForEveryRowAndBlockSize)
{
    // Sample by sample is the reference; steady blocks of every power of two
    // from 1 to 4M (the head at every block size, every partition at once for
    // M), and sizes that change between them (switching up, down, and in and
    // out of whole blocks of M at odd times) give the same output to rounding.
    auto c = std::make_unique<CabinetConvolver>();
    for (const auto& row : CabinetConvolver::NLM) {
        const int N = row[0], M = row[2];
        const std::vector<double> hl = noise(N, unsigned(N) + 5), hr = noise(N, unsigned(N) + 6);
        const std::vector<double> x = noise(N + 12 * M + 300, unsigned(N) + 7);
        std::vector<std::vector<int>> plans{{M, M, M, 3, M - 3, M, M, M / 2, M / 2, 2 * M, 2 * M, 1, 2 * M - 1, 4 * M},
                                            {64, 64, 256, 256, 256, 100, 1024, 1024, 1024, 17}};
        for (int b = 2; b <= 4 * M; b *= 2) plans.push_back({b});
        for (bool isMono : {true, false}) {
            c->SetImpulse(hl.data(), hr.data(), N, isMono);
            const Output want = convolveInBlocks(*c, x, {1});
            const double scale = std::max(peak(want.left), peak(want.right));
            for (const auto& plan : plans) {
                c->SetImpulse(hl.data(), hr.data(), N, isMono);
                const Output out = convolveInBlocks(*c, x, plan);
                double worst = 0.0;
                for (size_t t = 0; t < x.size(); ++t)
                    worst = std::max({worst, std::abs(out.left[t] - want.left[t]), std::abs(out.right[t] - want.right[t])});
                EXPECT_LE(worst, 1e-13 * scale) << "N " << N << (isMono ? " mono" : " stereo") << ", blocks of " << plan[0]
                                                << " (" << plan.size() << " sizes)";
                // Steady blocks between L and M are taken whole.
                if (plan.size() == 1 && plan[0] > c->ShortBlock() && plan[0] < M && c->ShortPartitions() > 0) {
                    c->SetImpulse(hl.data(), hr.data(), N, isMono);
                    convolveInBlocks(*c, std::vector<double>(size_t(3 * plan[0]), 0.0), plan);
                    EXPECT_EQ(c->HeadBlock(), plan[0]) << "N " << N;
                }
            }
        }
    }
}

TEST(CabinetConvolver, TheSpreadLongLevelIsTheSameWhateverTheBlocks)
{
    // Only long taps (from 2M on): the head adds exact zeros, so the output is
    // the long level's alone, whose work is cut into the same steps however
    // the blocks fall: bit for bit the same for any blocks that are not
    // steady blocks of M (which take every partition at once), and the
    // direct convolution to rounding.
    auto c = std::make_unique<CabinetConvolver>();
    for (const int N : {256, 8192, 32768}) {
        for (bool isMono : {true, false}) {
            c->SetImpulse(std::vector<double>(size_t(N), 0.0).data(), nullptr, N, true);
            const int M = c->LongBlock();
            std::vector<double> hl = noise(N, unsigned(N) + 8), hr = noise(N, unsigned(N) + 9);
            std::fill(hl.begin(), hl.begin() + 2 * M, 0.0);
            std::fill(hr.begin(), hr.begin() + 2 * M, 0.0);
            const std::vector<double> x = noise(N + 4 * M, unsigned(N) + 10);
            c->SetImpulse(hl.data(), hr.data(), N, isMono);
            const Output want = convolveInBlocks(*c, x, {1});
            for (const std::vector<int>& plan : std::vector<std::vector<int>>{{37}, {M / 2}, {M - 1}, {3 * M + 5}, {1, 700, 64, 2}}) {
                c->SetImpulse(hl.data(), hr.data(), N, isMono);
                const Output out = convolveInBlocks(*c, x, plan);
                EXPECT_TRUE(out.left == want.left && out.right == want.right) << "N " << N << ", blocks of " << plan[0];
            }
            const auto at = checkedSamples(x.size(), N, M);
            expectMatches(want.left, reference(hl, x, at), "long level, left");
            if (!isMono) expectMatches(want.right, reference(hr, x, at), "long level, right");
        }
    }
}
