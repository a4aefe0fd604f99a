// The reverb selector and its three types: the wet level, its glide,
// selection and switching, and allocation-free processing.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "DspTestKit.h"
#include "effects/Reverb.h"
#include "engine/Tonewright.h"

using namespace tonewright;

using namespace testkit;

namespace {

struct Block {
    std::vector<double> l, r;
};

// A short stereo noise burst followed by silence.
Block burst(int length, unsigned seed)
{
    Block b{whiteNoise(length, 0.4, seed), whiteNoise(length, 0.4, seed + 100)};
    for (size_t i = 2000; i < b.l.size(); ++i) b.l[i] = b.r[i] = 0.0;
    return b;
}

Block silence(int length) { return {std::vector<double>(size_t(length), 0.0), std::vector<double>(size_t(length), 0.0)}; }

template <class P>
Block run(P& p, Block b, const BlockPlan& plan = BlockPlan::Fixed(256))
{
    forEachBlock(static_cast<int>(b.l.size()), plan, [&](int pos, int n) { p.process(&b.l[pos], &b.r[pos], n); });
    return b;
}

// The algorithm of each type with that type's fixed settings, as an oracle.
Block wetOf(int type, const Block& in)
{
    Block out = in;
    if (type == 0) {
        NRev a;
        a.setmix(1.0);
        a.setwidth(0.77);
        a.setdecay(0.795);
        a.setdamping(0.345);
        a.process(out.l.data(), out.r.data(), static_cast<int>(out.l.size()));
    } else if (type == 1) {
        Freeverb a;
        a.setmix(1.0);
        a.setwidth(1.0);
        a.setdecay(0.79);
        a.setdamping(0.93);
        a.process(out.l.data(), out.r.data(), static_cast<int>(out.l.size()));
    } else {
        Dottorroverb a;
        a.setmix(1.0);
        a.setwidth(0.825);
        a.setdecay(0.26);
        a.setdamping(0.66);
        a.setbandwidth(0.67);
        a.setdiffusion(0.655);
        a.process(out.l.data(), out.r.data(), static_cast<int>(out.l.size()));
    }
    return out;
}

double offsetOf(int type) { return type == 0 ? -13.25 : type == 1 ? -28.45 : -1.482; }

std::unique_ptr<Reverb> settled(int type, double level)
{
    auto r = std::make_unique<Reverb>();
    r->SetParameter(1, type);
    r->SetParameter(2, level);
    r->Settle();
    return r;
}

void expectIdentical(const Block& a, const Block& b)
{
    ASSERT_EQ(a.l.size(), b.l.size());
    size_t differing = 0;
    for (size_t i = 0; i < a.l.size(); ++i)
        if (a.l[i] != b.l[i] || a.r[i] != b.r[i]) ++differing;
    EXPECT_EQ(differing, 0u);
}

}  // namespace

TEST(Reverb, WetPartIsTheAlgorithmAtTheTypesLevel)
{
    const Block in = burst(30000, 1);
    for (int type = 0; type < 3; ++type) {
        const Block wet = wetOf(type, in);
        for (double level : {-6.0, 0.0, 7.5}) {
            SCOPED_TRACE(testing::Message() << "type " << type << " level " << level);
            auto r = settled(type, level);
            const Block out = run(*r, in, BlockPlan::Random(300, unsigned(type + 1)));
            const double g = std::pow(10.0, (level + offsetOf(type)) / 20.0);
            double worst = 0.0, wetPeak = 0.0;
            for (size_t i = 0; i < in.l.size(); ++i) {
                worst = std::max(worst, std::fabs((out.l[i] - in.l[i]) - g * wet.l[i]));
                worst = std::max(worst, std::fabs((out.r[i] - in.r[i]) - g * wet.r[i]));
                wetPeak = std::max(wetPeak, std::fabs(g * wet.l[i]));
            }
            EXPECT_LT(worst, 1e-12);
            EXPECT_GT(wetPeak, 1e-3);
        }
    }
    auto club = settled(1, 0.0);
    EXPECT_EQ(club->Club().GetParameter(1), -28.45);
    EXPECT_DOUBLE_EQ(club->Club().WetGain(), std::pow(10.0, -28.45 / 20.0));
    EXPECT_DOUBLE_EQ(club->Room().GetParameter(1), -13.25);
    EXPECT_DOUBLE_EQ(club->Hall().GetParameter(1), -1.482);
}

TEST(Reverb, ConstructedStateAndSelection)
{
    Reverb r;
    const ReverbParameters p = r.GetParameters();
    EXPECT_TRUE(p.enable);
    EXPECT_EQ(p.type, 2);
    EXPECT_EQ(p.level, -6.0);
    EXPECT_EQ(r.Hall().GetParameter(0), 1.0);
    EXPECT_EQ(r.Club().GetParameter(0), 0.0);
    EXPECT_EQ(r.Room().GetParameter(0), 0.0);
    EXPECT_DOUBLE_EQ(r.Room().GetParameter(1), -19.25);
    EXPECT_DOUBLE_EQ(r.Club().GetParameter(1), -34.45);
    EXPECT_DOUBLE_EQ(r.Hall().GetParameter(1), -7.482);
    EXPECT_EQ(r.Hall().WetGain(), 0.0);  // the first blocks glide the wet level up

    r.SetParameter(1, -0.4);
    EXPECT_EQ(r.GetParameters().type, 0);
    EXPECT_EQ(r.Room().GetParameter(0), 1.0);
    EXPECT_EQ(r.Hall().GetParameter(0), 0.0);
    for (double bad : {2.5, 3.0, -0.6, double(NAN), double(INFINITY)}) r.SetParameter(1, bad);
    EXPECT_EQ(r.GetParameters().type, 0);

    // While off a type change is only stored.
    r.SetParameter(0, 0.0);
    r.SetParameter(1, 1.0);
    EXPECT_EQ(r.Club().GetParameter(0), 0.0);
    EXPECT_EQ(r.Room().GetParameter(0), 0.0);
    r.SetParameter(0, 1.0);
    EXPECT_EQ(r.Club().GetParameter(0), 1.0);
    EXPECT_EQ(r.Room().GetParameter(0), 0.0);
    EXPECT_EQ(r.Hall().GetParameter(0), 0.0);

    // Levels: non-finite refused, overflow clamped.
    r.SetParameter(2, NAN);
    r.SetParameter(2, -INFINITY);
    EXPECT_EQ(r.GetParameters().level, -6.0);
    r.SetParameter(2, 1e6);
    EXPECT_EQ(r.GetParameters().level, Reverb::kMaxLevel);
    r.SetParameter(2, -1e6);
    EXPECT_EQ(r.GetParameters().level, Reverb::kMinLevel);
    r.SetParameter(99, 1.0);
    EXPECT_EQ(r.GetParameter(99), 0.0);
    EXPECT_EQ(r.GetParameter(1), 1.0);
}

TEST(Reverb, LevelChangeGlidesWithinThirtyMilliseconds)
{
    auto r = settled(2, -6.0);
    const double from = std::pow(10.0, -7.482 / 20.0), to = std::pow(10.0, -1.482 / 20.0);
    EXPECT_DOUBLE_EQ(r->Hall().WetGain(), from);
    r->SetParameter(2, 0.0);
    Block b = silence(1);
    run(*r, b);
    const double first = r->Hall().WetGain();
    EXPECT_GT(first, from);
    EXPECT_LT(first - from, 0.01);
    run(*r, silence(int(0.020 * 44100)));
    EXPECT_LT(r->Hall().WetGain(), to);
    run(*r, silence(int(0.010 * 44100)));
    EXPECT_EQ(r->Hall().WetGain(), to);  // snapped within 0.001

    r->SetParameter(2, 0.0);  // the same level again changes nothing
    run(*r, silence(1));
    EXPECT_EQ(r->Hall().WetGain(), to);
}

TEST(Reverb, SwitchingOffAndOnStartsLikeAFreshReverb)
{
    for (int type = 0; type < 3; ++type) {
        SCOPED_TRACE(type);
        auto used = settled(type, 3.0);
        run(*used, burst(20000, 3));

        // Off: after the 20 ms fade the signal passes bit-identical.
        used->SetParameter(0, 0.0);
        const Block noise{whiteNoise(8000, 0.4, 9), whiteNoise(8000, 0.4, 10)};
        const Block passed = run(*used, noise);
        for (size_t i = 1000; i < noise.l.size(); ++i) {
            ASSERT_EQ(passed.l[i], noise.l[i]);
            ASSERT_EQ(passed.r[i], noise.r[i]);
        }
        EXPECT_NE(passed.l[100], noise.l[100]);  // the tail fades rather than stopping

        // On again: nothing of the earlier sound comes back.
        used->SetParameter(0, 1.0);
        auto fresh = std::make_unique<Reverb>();
        fresh->SetParameter(1, type);
        fresh->SetParameter(2, 3.0);
        Block probe = silence(int(0.05 * 44100));
        const Block tail = burst(30000, 11);
        probe.l.insert(probe.l.end(), tail.l.begin(), tail.l.end());
        probe.r.insert(probe.r.end(), tail.r.begin(), tail.r.end());
        expectIdentical(run(*used, probe), run(*fresh, probe, BlockPlan::Random(512, 4)));

        // The same with both settled: identical from the first sample. (Once
        // stopped: one switched back on during its fade-out keeps its tail.)
        used->SetParameter(0, 0.0);
        run(*used, silence(int(0.021 * 44100)));
        used->SetParameter(0, 1.0);
        used->Settle();
        auto settledFresh = settled(type, 3.0);
        expectIdentical(run(*used, tail), run(*settledFresh, tail));

        // Selecting another type and coming back also starts empty.
        used->SetParameter(1, (type + 1) % 3);
        run(*used, burst(5000, 12));
        used->SetParameter(1, type);
        used->Settle();
        auto again = settled(type, 3.0);
        expectIdentical(run(*used, tail), run(*again, tail));
    }
}

TEST(Reverb, SwitchedBackOnDuringItsFadeOutKeepsItsTailWithoutAStep)
{
    // Off for 10 ms of the 20 ms fade, then on again, against an untouched
    // reverb: the lines are kept, so there is no cut, and once the ramp is
    // back the output is the untouched one.
    const int offAt = 40 * 147, onAt = offAt + 3 * 147, end = onAt + 8000;  // at block starts
    const int settledAt = onAt + 882 + 1;
    for (int type = 0; type < 3; ++type) {
        SCOPED_TRACE(type);
        auto touched = settled(type, 12.0);
        auto untouched = settled(type, 12.0);
        // A low sine: the output is smooth, so a cut in it shows.
        const auto tone = sine(44100.0, 110.0, double(end) / 44100.0, 0.5);
        Block in{tone, tone};
        in.l.resize(size_t(end));
        in.r.resize(size_t(end));
        const Block plain = run(*untouched, in);
        Block out = in;
        forEachBlock(end, BlockPlan::Fixed(147), [&](int pos, int n) {
            if (pos == offAt) touched->SetParameter(0, 0.0);
            if (pos == onAt) touched->SetParameter(0, 1.0);
            touched->process(&out.l[size_t(pos)], &out.r[size_t(pos)], n);
        });
        const double usual = std::max(largestStep(plain.l, offAt, settledAt), largestStep(plain.r, offAt, settledAt));
        const double step = std::max(largestStep(out.l, offAt, settledAt), largestStep(out.r, offAt, settledAt));
        EXPECT_LT(step, 1.5 * usual) << step << " where the untouched output steps " << usual;
        double apart = 0.0;
        for (size_t i = settledAt; i < size_t(end); ++i)
            apart = std::max({apart, std::fabs(out.l[i] - plain.l[i]), std::fabs(out.r[i] - plain.r[i])});
        EXPECT_LT(apart, 1e-12);
    }
}

TEST(Reverb, TypeSwitchFadesTheOldTypeOut)
{
    auto r = settled(2, 0.0);
    run(*r, burst(20000, 5));
    r->SetParameter(1, 0.0);
    run(*r, silence(int(0.021 * 44100) + 1));
    EXPECT_EQ(r->Hall().Bypass().running, 0);
    EXPECT_EQ(r->Room().Bypass().running, 1);
    // The hall's tail has ended and the room started from empty lines.
    const Block after = run(*r, silence(4000));
    EXPECT_EQ(peak(after.l), 0.0);
    EXPECT_EQ(peak(after.r), 0.0);
}

TEST(Reverb, ProcessingAllocatesNothing)
{
    auto r = std::make_unique<Reverb>();
    r->SetFs(48000.0);
    r->Reserve(512);
    r->Settle();
    Block b = burst(48000, 6);
    int step = 0;
    const std::function<void(int, int)> block = [&](int pos, int n) {
        switch (step++ % 9) {
        case 2: r->SetParameter(1, (step / 9) % 3); break;
        case 4: r->SetParameter(0, 0.0); break;
        case 6: r->SetParameter(0, 1.0); break;
        case 8: r->SetParameter(2, -12.0 + step % 20); break;
        default: break;
        }
        r->process(&b.l[pos], &b.r[pos], n);
    };
    AllocationCounter counter;
    forEachBlock(static_cast<int>(b.l.size()), BlockPlan::Random(512, 7), block);
    EXPECT_EQ(counter.count(), 0);
    EXPECT_EQ(counter.freed(), 0);
    EXPECT_TRUE(allFinite(b.l) && allFinite(b.r));
    EXPECT_TRUE(noSubnormals(b.l) && noSubnormals(b.r));
}

TEST(Reverb, EngineAddsATail)
{
    auto tail = [](bool on) {
        auto e = std::make_unique<Tonewright>();
        e->SetParameter(86, on ? 1.0 : 0.0);
        e->SetParameter(87, 2.0);
        const Stereo out = runStereo([&](double* in, double* l, double* r, int n) { e->process(in, l, r, n); },
                                     impulse(44100, 0.5), BlockPlan::Fixed(256));
        return rms(out.left, 22050, 44100) + rms(out.right, 22050, 44100);
    };
    EXPECT_GT(tail(true), 100.0 * tail(false));
}
