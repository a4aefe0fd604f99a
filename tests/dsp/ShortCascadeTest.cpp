// The short-wait cascade against the toolkit's cascade of the same
// sections: the same output but for rounding at every count and block size,
// the same on both vector paths, stopped sections skipped, and nothing done
// when a section is not steady.

#include <gtest/gtest.h>

#include <memory>

#include "DspTestKit.h"
#include "dsp/Filter.h"
#include "dsp/WideVectors.h"

using namespace tonewright;
using namespace testkit;

namespace {

// count sections of assorted kinds at 48 kHz, settled.
std::vector<std::unique_ptr<Filter>> sections(int count)
{
    const int types[] = {Filter::kPeak, Filter::kLowShelf1, Filter::kHighPass, Filter::kGain, Filter::kHighShelf,
                         Filter::kLowPass1, Filter::kBandPass, Filter::kAllPass};
    std::vector<std::unique_ptr<Filter>> s;
    for (int j = 0; j < count; ++j) {
        auto f = std::make_unique<Filter>();
        f->SetFs(48000.0);
        f->SetParameter(1, types[j % 8]);
        f->SetParameter(2, 60.0 * (j + 1) * (j + 1));
        f->SetParameter(3, 0.5 + 0.3 * j);
        f->SetParameter(4, j % 2 ? 9.0 : -6.0);
        f->Settle();
        s.push_back(std::move(f));
    }
    return s;
}

std::vector<Filter*> pointers(const std::vector<std::unique_ptr<Filter>>& s)
{
    std::vector<Filter*> p;
    for (const auto& f : s) p.push_back(f.get());
    return p;
}

}  // namespace

TEST(ShortCascade, MatchesTheToolkitCascadeOnEveryPath)
{
    const std::vector<double> noise = whiteNoise(6000, 0.5, 21);
    for (int count : {1, 2, 3, 5, 9, 11, 12}) {
        SCOPED_TRACE(count);
        auto a = sections(count), b = sections(count), c = sections(count);
        // One section of the longer cascades stopped: it is skipped.
        if (count >= 5) {
            for (auto* s : {&a, &b, &c}) {
                (*s)[2]->SetParameter(0, 0.0);
                (*s)[2]->Settle();
            }
        }
        const auto pa = pointers(a), pb = pointers(b), pc = pointers(c);
        std::vector<double> want = noise, got = noise, portable = noise;
        forEachBlock(int(noise.size()), BlockPlan::Random(700, 3), [&](int at, int n) {
            if (count <= Filter::kCascade) Filter::processCascade(pa.data(), count, &want[size_t(at)], n);
            else
                for (Filter* f : pa) f->process(&want[size_t(at)], n);
            ASSERT_TRUE(Filter::processShortCascade(pb.data(), count, &got[size_t(at)], n));
            AllowWideVectors(false);
            ASSERT_TRUE(Filter::processShortCascade(pc.data(), count, &portable[size_t(at)], n));
            AllowWideVectors(true);
        });
        EXPECT_EQ(got, portable);
        double worst = 0.0;
        for (size_t i = 0; i < got.size(); ++i) worst = std::max(worst, std::fabs(got[i] - want[i]));
        EXPECT_LE(worst, 1e-12 * peak(want));
        EXPECT_GT(peak(want), 0.05);
    }
}

TEST(ShortCascade, RefusesWhatItCannotRun)
{
    auto s = sections(13);
    const auto p = pointers(s);
    std::vector<double> x(64, 0.25);
    EXPECT_FALSE(Filter::processShortCascade(p.data(), 13, x.data(), 64));
    s[1]->SetParameter(2, 500.0);  // a change pending: not steady
    EXPECT_FALSE(Filter::processShortCascade(p.data(), 3, x.data(), 64));
    EXPECT_EQ(x, std::vector<double>(64, 0.25));
    EXPECT_TRUE(Filter::processShortCascade(p.data() + 2, 3, x.data(), 64));
}
