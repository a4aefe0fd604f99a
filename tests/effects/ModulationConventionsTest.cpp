// What the five modulation and delay effects share: the setter rules, the
// rate rules, allocation-free processing, transparency, switching without
// clicks and the flushing of decaying feedback.

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "ModulationHarness.h"

using namespace testkit;
using namespace fxtest;

namespace {

void apply(Effect& e, const std::vector<std::pair<int, double>>& settings)
{
    for (const auto& [id, v] : settings) e.Set(id, v);
}

// A settled, switched-on effect with the given settings.
std::unique_ptr<Effect> made(const Description& d, const std::vector<std::pair<int, double>>& settings = {})
{
    auto e = d.make();
    apply(*e, settings);
    e->Settle();
    return e;
}

}  // namespace

TEST(ModulationConventions, SetterRulesForEveryId)
{
    for (const auto& d : effects()) {
        SCOPED_TRACE(d.name);
        auto e = d.make();
        for (const Id& id : d.ids) {
            SCOPED_TRACE(id.id);
            const double before = e->Get(id.id);
            // A flag reads infinities as clearly on or off; only NaN means nothing.
            const std::vector<double> nonFinite =
                id.kind == Kind::Flag ? std::vector<double>{NAN} : std::vector<double>{NAN, INFINITY, -INFINITY};
            for (double bad : nonFinite) {
                e->Set(id.id, bad);
                EXPECT_EQ(e->Get(id.id), before);
            }
            for (double bad : id.refused) {
                e->Set(id.id, bad);
                EXPECT_EQ(e->Get(id.id), before) << bad;
            }
            switch (id.kind) {
            case Kind::Flag:
                e->Set(id.id, 0.49);
                EXPECT_EQ(e->Get(id.id), 0.0);
                e->Set(id.id, 0.5);
                EXPECT_EQ(e->Get(id.id), 1.0);
                break;
            case Kind::Int:
                e->Set(id.id, id.valid + 0.4);  // rounds to the nearest
                EXPECT_EQ(e->Get(id.id), id.valid);
                e->Set(id.id, 1.4);
                EXPECT_EQ(e->Get(id.id), 1.0);
                e->Set(id.id, 0.5);  // half-way rounds up
                EXPECT_EQ(e->Get(id.id), 1.0);
                break;
            case Kind::Double:
                for (const auto& [value, stored] : id.clamped) {
                    e->Set(id.id, value);
                    EXPECT_EQ(e->Get(id.id), stored) << value;
                }
                e->Set(id.id, id.valid);
                EXPECT_EQ(e->Get(id.id), id.valid);
                break;
            }
        }
        for (int bad : {-1, d.idCount, 1000}) {
            e->Set(bad, 1.0);
            EXPECT_EQ(e->Get(bad), 0.0);
        }
    }
}

TEST(ModulationConventions, RefusedRatesAndRepeatedCallsChangeNothing)
{
    const auto noise = whiteNoise(8000, 0.5, 3);
    for (const auto& d : effects()) {
        SCOPED_TRACE(d.name);
        auto a = made(d, d.audible);
        auto b = made(d, d.audible);
        const auto first = runStereo(*a, noise, noise, BlockPlan::Fixed(300));
        runStereo(*b, noise, noise, BlockPlan::Fixed(300));
        // b hears rates it must refuse, its own record again, and an "on"
        // while it is on: none of that may touch its state or lines.
        for (double rate : {0.0, -1.0, double(NAN), double(INFINITY), 44100.0}) b->SetFs(rate);
        b->ReapplyOwnRecord();
        b->Set(0, 1.0);
        const auto x = runStereo(*a, noise, noise, BlockPlan::Random(700, 4));
        const auto y = runStereo(*b, noise, noise, BlockPlan::Random(700, 4));
        EXPECT_EQ(x.l, y.l);
        EXPECT_EQ(x.r, y.r);
        EXPECT_NE(first.l, noise);  // the settings are audible
    }
}

TEST(ModulationConventions, TransparentSettingsPassTheInput)
{
    const auto noise = whiteNoise(20000, 0.5, 5);
    for (const auto& d : effects()) {
        SCOPED_TRACE(d.name);
        auto mono = made(d, d.transparent);
        const auto m = runMono(*mono, noise, BlockPlan::Random(512, 2));
        auto stereo = made(d, d.transparent);
        const auto s = runStereo(*stereo, noise, noise, BlockPlan::Random(512, 3));
        for (size_t i = 0; i < noise.size(); ++i) {
            ASSERT_NEAR(m[i], noise[i], 1e-12) << i;
            ASSERT_NEAR(s.l[i], noise[i], 1e-12) << i;
            ASSERT_NEAR(s.r[i], noise[i], 1e-12) << i;
        }
    }
}

TEST(ModulationConventions, ProcessingAllocatesNothingOnceReserved)
{
    const auto noise = whiteNoise(2048, 0.5, 9);
    for (const auto& d : effects()) {
        SCOPED_TRACE(d.name);
        auto mono = made(d, d.audible);
        auto stereo = made(d, d.audible);
        mono->Reserve(1024);
        stereo->Reserve(1024);
        std::vector<double> x(1024), l(1024), r(1024);
        std::mt19937 rng(3);
        std::uniform_int_distribution<int> size(1, 1024);
        AllocationCounter allocations;
        for (int block = 0; block < 600; ++block) {
            const int n = size(rng);
            std::copy_n(noise.begin(), n, x.begin());
            std::copy_n(noise.begin() + 1, n, l.begin());
            std::copy_n(noise.begin() + 2, n, r.begin());
            // Parameter changes, glides and switching in between.
            if (block % 50 == 10) mono->Set(0, 0.0), stereo->Set(0, 0.0);
            if (block % 50 == 30) mono->Set(0, 1.0), stereo->Set(0, 1.0);
            if (block % 7 == 0) {
                const Id& id = d.ids[size_t(block / 7) % d.ids.size()];
                const double v = block % 14 == 0 ? id.valid : mono->Get(id.id) == id.valid ? 0.0 : id.valid;
                mono->Set(id.id, v);
                stereo->Set(id.id, v);
            }
            mono->Mono(x.data(), n);
            stereo->Stereo(l.data(), r.data(), n);
        }
        EXPECT_EQ(allocations.count(), 0);
        EXPECT_EQ(allocations.freed(), 0);
    }
}

// The guard leaves at most a residue at the level of its own quantum (far
// below anything audible), never a subnormal number.
TEST(ModulationConventions, DecayingFeedbackNeverTurnsSubnormal)
{
    const double fs = 44100.0;
    auto loud = whiteNoise(int(0.5 * fs), 0.9, 6);
    loud.resize(size_t(12 * fs), 0.0);
    for (const auto& d : effects()) {
        SCOPED_TRACE(d.name);
        auto e = made(d, d.audible);
        const auto out = runStereo(*e, loud, loud, BlockPlan::Fixed(512));
        for (const auto* ch : {&out.l, &out.r}) {
            EXPECT_TRUE(allFinite(*ch));
            EXPECT_TRUE(noSubnormals(*ch));
            EXPECT_GT(peak(*ch, 0, size_t(0.5 * fs)), 0.1);
            EXPECT_LT(peak(*ch, size_t(11 * fs)), 1e-20);
        }
    }
}

TEST(ModulationConventions, SwitchingBackOnDuringTheFadeOutDoesNotClick)
{
    const double fs = 44100.0;
    const auto tone = sine(fs, 220.0, 1.0, 0.5);
    const size_t off = size_t(0.5 * fs), on = off + size_t(0.005 * fs);
    for (const auto& d : effects()) {
        SCOPED_TRACE(d.name);
        auto steady = made(d, d.audible);
        auto switched = made(d, d.audible);
        switched->Set(8, 0.0);  // echo: no tails, so switching on may clear lines
        steady->Set(8, 0.0);
        const auto ref = runMono(*steady, tone, BlockPlan::Fixed(64));
        std::vector<double> out = tone;
        forEachBlock(int(tone.size()), BlockPlan::Fixed(64), [&](int pos, int n) {
            if (size_t(pos) == off - off % 64) switched->Set(0, 0.0);
            if (size_t(pos) == on - on % 64) switched->Set(0, 1.0);
            switched->Mono(out.data() + pos, n);
        });
        const double natural = largestStep(ref, off - 2000, on + 2000);
        EXPECT_LT(largestStep(out, off - 2000, on + 2000), 1.25 * natural);
    }
}

TEST(ModulationConventions, SwitchedOffTheRampEndsAndLaterBlocksAreUntouched)
{
    const double fs = 44100.0;
    const auto noise = whiteNoise(int(0.2 * fs), 0.5, 8);
    for (const auto& d : effects()) {
        SCOPED_TRACE(d.name);
        auto e = made(d, d.audible);
        e->Set(8, 0.0);  // echo: repeats muted when off
        e->Set(3, d.name == "Echo" ? 0.0 : 1.0);
        runMono(*e, noise, BlockPlan::Fixed(100));
        std::vector<double> x = noise;
        e->Set(0, 0.0);
        e->Mono(x.data(), 300);  // the switch lands inside this block
        std::vector<double> rest(noise.begin() + 300, noise.end());
        const auto fading = runMono(*e, std::vector<double>(rest.begin(), rest.begin() + int(0.04 * fs)),
                                    BlockPlan::Fixed(128));
        EXPECT_NE(std::vector<double>(x.begin(), x.begin() + 300),
                  std::vector<double>(noise.begin(), noise.begin() + 300));
        const std::vector<double> later(rest.begin() + int(0.04 * fs), rest.end());
        EXPECT_EQ(runMono(*e, later, BlockPlan::Random(400, 2)), later);
    }
}
