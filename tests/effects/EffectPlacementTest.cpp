// The effects inside the engine: an effect placed post runs after the
// cabinet in stereo, placed pre before the amplifier in mono, and a program
// change that keeps an effect on lets its tail continue.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "DspTestKit.h"
#include "engine/Tonewright.h"

using namespace tonewright;

using namespace testkit;

namespace {

MonoToStereoProcess processOf(Tonewright& e)
{
    return [&e](double* in, double* l, double* r, int n) { e.process(in, l, r, n); };
}

// Level in 10 ms windows from `begin` on.
std::vector<double> envelope(const std::vector<double>& v, size_t begin)
{
    std::vector<double> env;
    for (size_t i = begin; i + 441 <= v.size(); i += 441) env.push_back(rms(v, i, i + 441));
    return env;
}

// (max - min) / (max + min) of the envelope.
double modulation(const std::vector<double>& v)
{
    const auto env = envelope(v, 4410);
    const auto [lo, hi] = std::minmax_element(env.begin(), env.end());
    return (*hi - *lo) / (*hi + *lo);
}

double correlation(const std::vector<double>& a, const std::vector<double>& b)
{
    double ma = 0, mb = 0;
    for (size_t i = 0; i < a.size(); ++i) ma += a[i], mb += b[i];
    ma /= double(a.size());
    mb /= double(b.size());
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        ab += (a[i] - ma) * (b[i] - mb);
        aa += (a[i] - ma) * (a[i] - ma);
        bb += (b[i] - mb) * (b[i] - mb);
    }
    return ab / std::sqrt(aa * bb);
}

struct Pair {
    int placement;  // id of `post`; the next id is `enable`
    std::function<bool(Tonewright&)> preRuns, postRuns;
};

const std::vector<Pair>& pairs()
{
    static const std::vector<Pair> list = {
        {46, [](Tonewright& e) { return e.tremolo_pre.Bypass().running != 0; },
         [](Tonewright& e) { return e.tremolo_post.Bypass().running != 0; }},
        {52, [](Tonewright& e) { return e.chorus_pre.Bypass().running != 0; },
         [](Tonewright& e) { return e.chorus_post.Bypass().running != 0; }},
        {59, [](Tonewright& e) { return e.flanger_pre.Bypass().running != 0; },
         [](Tonewright& e) { return e.flanger_post.Bypass().running != 0; }},
        {68, [](Tonewright& e) { return e.phaser_pre.Bypass().running != 0; },
         [](Tonewright& e) { return e.phaser_post.Bypass().running != 0; }},
        {76, [](Tonewright& e) { return e.echo_pre.IsRunning(); }, [](Tonewright& e) { return e.echo_post.IsRunning(); }},
    };
    return list;
}

}  // namespace

TEST(EffectPlacement, ExactlyTheChosenInstanceRuns)
{
    for (const Pair& p : pairs()) {
        SCOPED_TRACE(p.placement);
        auto e = std::make_unique<Tonewright>();
        EXPECT_FALSE(p.preRuns(*e) || p.postRuns(*e));  // constructed off, and settled
        e->SetParameter(p.placement + 1, 1);  // on, placed post
        runStereo(processOf(*e), std::vector<double>(4410, 0.0), BlockPlan::Fixed(512));
        EXPECT_TRUE(p.postRuns(*e));
        EXPECT_FALSE(p.preRuns(*e));
        e->SetParameter(p.placement, 0);  // moves before the amplifier at once
        runStereo(processOf(*e), std::vector<double>(4410, 0.0), BlockPlan::Fixed(512));
        EXPECT_TRUE(p.preRuns(*e));
        EXPECT_FALSE(p.postRuns(*e));
        e->SetParameter(p.placement + 1, 0);
        runStereo(processOf(*e), std::vector<double>(4410, 0.0), BlockPlan::Fixed(512));
        EXPECT_FALSE(p.preRuns(*e) || p.postRuns(*e));
    }
}

TEST(EffectPlacement, TremoloPostPansTheStereoOutputAndPreModulatesTheMonoChain)
{
    const auto tone = sine(44100.0, 200.0, 1.0, 0.05);
    for (bool post : {true, false}) {
        SCOPED_TRACE(post);
        auto e = std::make_unique<Tonewright>();
        e->SetParameter(48, 4.0);  // speed
        e->SetParameter(49, 1.0);  // depth
        e->SetParameter(50, 1.0);  // right channel half a cycle apart
        e->SetParameter(46, post ? 1 : 0);
        e->SetParameter(47, 1);
        const Stereo out = runStereo(processOf(*e), tone, BlockPlan::Random(512, 4));
        if (post) {
            // After the cabinet: the two sides move against each other; the
            // mono chain before it is untouched.
            EXPECT_GT(modulation(out.left), 0.5);
            EXPECT_GT(modulation(out.right), 0.5);
            EXPECT_LT(correlation(envelope(out.left, 4410), envelope(out.right, 4410)), -0.9);
            EXPECT_LT(modulation(out.mono), 0.05);
        } else {
            // Before the amplifier: the mono chain carries it, so both sides
            // are the same.
            EXPECT_GT(modulation(out.mono), 0.5);
            EXPECT_GT(modulation(out.left), 0.5);
            for (size_t i = 0; i < tone.size(); ++i) ASSERT_NEAR(out.left[i], out.right[i], 1e-12) << i;
        }
    }
}

TEST(EffectPlacement, EchoPostRepeatsInStereoWithItsTypeAndPreInTheMonoChain)
{
    const size_t d = 4411;  // 0.1 s: the delay is read one sample old
    const size_t length = 882;
    auto in = sine(44100.0, 500.0, 0.02, 0.1);
    in.resize(5 * d, 0.0);
    auto level = [&](const std::vector<double>& v, size_t at) { return rms(v, at, at + length); };
    for (bool post : {true, false}) {
        SCOPED_TRACE(post);
        auto e = std::make_unique<Tonewright>();
        e->SetParameter(79, 0.1);  // delay
        e->SetParameter(80, 0.5);  // feedback
        e->SetParameter(78, 1);    // ping-pong: the post instance only
        e->SetParameter(76, post ? 1 : 0);
        e->SetParameter(77, 1);
        const Stereo out = runStereo(processOf(*e), in, BlockPlan::Random(512, 5));
        if (post) {
            const double direct = level(out.left, 0);
            EXPECT_LT(level(out.mono, d), 1e-9 * direct);  // the mono chain has no repeats
            EXPECT_GT(level(out.left, d), 0.3 * direct);
            EXPECT_LT(level(out.right, d), 0.01 * direct);  // type 1: the sides alternate
            EXPECT_GT(level(out.right, 2 * d), 0.1 * direct);
            EXPECT_LT(level(out.left, 2 * d), 0.01 * direct);
        } else {
            const double direct = level(out.mono, 0);
            EXPECT_GT(level(out.mono, d), 0.5 * direct);
            EXPECT_GT(level(out.mono, 2 * d), 0.25 * direct);  // type 0 before the amplifier
            for (size_t i = 0; i < in.size(); ++i) ASSERT_NEAR(out.left[i], out.right[i], 1e-12) << i;
        }
    }
}

TEST(EffectPlacement, AProgramChangeThatKeepsAnEffectOnLetsItsTailContinue)
{
    const double fs = 44100.0;
    auto signal = whiteNoise(int(0.05 * fs), 0.2, 6);
    signal.resize(size_t(1.2 * fs), 0.0);
    const size_t change = size_t(0.3 * fs);

    auto a = std::make_unique<Tonewright>();
    auto b = std::make_unique<Tonewright>();
    for (auto* e : {a.get(), b.get()}) {
        e->SetParameter(79, 0.1);
        e->SetParameter(80, 0.6);
        e->SetParameter(77, 1);   // echo, post
        e->SetParameter(66, 0.8);
        e->SetParameter(60, 1);   // flanger, post, strong regeneration
        e->SetParameter(53, 1);   // chorus, post
        e->SetParameter(69, 1);   // phaser, post
    }
    // The next program differs only where nothing sounds (the tremolo is
    // off); the effects stay on where they were. A third engine gets a
    // program that also changes the echo's feedback.
    TonewrightParameters next, other;
    next = *b->GetParameters();
    next.tremolo.parameters.speed = 7.0;
    next.tremolo.parameters.depth = 0.3;
    other = next;
    other.echo.parameters.feedback = 0.3;
    auto c = std::make_unique<Tonewright>();
    c->SetParameters(b->GetParameters());

    std::vector<double> inA = signal, inB = signal, inC = signal, la(signal.size()), ra = la, lb = la, rb = la,
                        lc = la, rc = la;
    forEachBlock(int(signal.size()), BlockPlan::Fixed(441), [&](int pos, int n) {
        if (size_t(pos) == change) {
            b->SetParameters(&next);
            c->SetParameters(&other);
        }
        a->process(inA.data() + pos, la.data() + pos, ra.data() + pos, n);
        b->process(inB.data() + pos, lb.data() + pos, rb.data() + pos, n);
        c->process(inC.data() + pos, lc.data() + pos, rc.data() + pos, n);
    });
    EXPECT_TRUE(b->echo_post.IsRunning());
    EXPECT_DOUBLE_EQ(b->GetParameters()->tremolo.parameters.speed, 7.0);
    // The input is silent by then: what follows is the effects' tails, the
    // same as without the change (to rounding: the program change also
    // re-applies the preamp, whose gain control then fades between two equal
    // coefficient banks).
    EXPECT_GT(rms(la, change, change + size_t(0.3 * fs)), 1e-3);
    for (size_t i = change; i < signal.size(); ++i) {
        ASSERT_NEAR(lb[i], la[i], 1e-6) << i;
        ASSERT_NEAR(rb[i], ra[i], 1e-6) << i;
    }
    // With the new feedback the repeats already in the line still sound;
    // only the later ones are weaker.
    const size_t period = size_t(0.1 * fs);
    EXPECT_NEAR(rms(lc, change, change + period), rms(la, change, change + period),
                0.05 * rms(la, change, change + period));
    EXPECT_LT(rms(lc, change + 3 * period, change + 4 * period), 0.5 * rms(la, change + 3 * period, change + 4 * period));
}
