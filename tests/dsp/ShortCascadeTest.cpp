// The short-wait cascade against the toolkit's cascade of the same
// sections: the same output but for rounding at every count and block size,
// the same on both vector paths, stopped sections skipped, and nothing done
// when a section is not steady.

#include <gtest/gtest.h>

#include "DspTestKit.h"
#include "dsp/Filter.h"
#include "dsp/WideVectors.h"

using namespace tonewright;
using namespace testkit;

namespace {

// count sections of assorted kinds at 48 kHz, settled, the one numbered
// `stopped` switched off.
struct Sections {
    std::vector<Filter> owned;
    std::vector<Filter*> p;
    explicit Sections(int count, int stopped = -1) : owned(size_t(count))
    {
        const int types[] = {Filter::kPeak, Filter::kLowShelf1, Filter::kHighPass, Filter::kGain, Filter::kHighShelf,
                             Filter::kLowPass1, Filter::kBandPass, Filter::kAllPass};
        for (int j = 0; j < count; ++j) {
            Filter& f = owned[size_t(j)];
            f.SetFs(48000.0);
            for (auto [id, v] : {std::pair(1, double(types[j % 8])), {2, 60.0 * (j + 1) * (j + 1)}, {3, 0.5 + 0.3 * j},
                                 {4, j % 2 ? 9.0 : -6.0}})
                f.SetParameter(id, v);
            if (j == stopped) f.SetParameter(0, 0.0);
            f.Settle();
            p.push_back(&f);
        }
    }
};

}  // namespace

TEST(ShortCascade, MatchesTheToolkitCascadeOnEveryPath)
{
    const std::vector<double> noise = whiteNoise(6000, 0.5, 21);
    for (int count : {1, 2, 3, 5, 9, 11, 12}) {
        const int stopped = count >= 5 ? 2 : -1;  // skipped
        Sections want(count, stopped), wide(count, stopped), portable(count, stopped);
        std::vector<double> x = noise, y = noise, z = noise;
        forEachBlock(int(noise.size()), BlockPlan::Random(700, 3), [&](int at, int n) {
            if (count <= Filter::kCascade) Filter::processCascade(want.p.data(), count, &x[size_t(at)], n);
            else
                for (Filter* f : want.p) f->process(&x[size_t(at)], n);
            ASSERT_TRUE(Filter::processShortCascade(wide.p.data(), count, &y[size_t(at)], n));
            AllowWideVectors(false);
            ASSERT_TRUE(Filter::processShortCascade(portable.p.data(), count, &z[size_t(at)], n));
            AllowWideVectors(true);
        });
        EXPECT_EQ(y, z) << count;
        double worst = 0.0;
        for (size_t i = 0; i < y.size(); ++i) worst = std::max(worst, std::fabs(y[i] - x[i]));
        EXPECT_LE(worst, 1e-12 * peak(x)) << count;
        EXPECT_GT(peak(x), 0.05);
    }
}

TEST(ShortCascade, RefusesWhatItCannotRun)
{
    Sections s(13);
    std::vector<double> x(64, 0.25);
    EXPECT_FALSE(Filter::processShortCascade(s.p.data(), 13, x.data(), 64));
    s.p[1]->SetParameter(2, 500.0);  // a change pending: not steady
    EXPECT_FALSE(Filter::processShortCascade(s.p.data(), 3, x.data(), 64));
    EXPECT_EQ(x, std::vector<double>(64, 0.25));
    EXPECT_TRUE(Filter::processShortCascade(s.p.data() + 2, 3, x.data(), 64));
}
