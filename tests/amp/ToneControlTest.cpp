// The tone control: each type's chain and knob routing against the
// processors built by hand, the filter equalisers against their sections,
// the default levels, the 1 ms + 30 ms type crossfade, the parameter rules
// and allocation-free processing.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <memory>
#include <random>

#include "amp/BasicToneControls.h"
#include "amp/BoogieToneStack.h"
#include "DspTestKit.h"
#include "amp/FenderToneStack.h"
#include "amp/GainControl.h"
#include "amp/JMP1ToneControls.h"
#include "amp/MarshallToneStack.h"
#include "amp/MatchlessBassMidsStack.h"
#include "amp/MatchlessTrebleVolumeStack.h"
#include "amp/MidsControl.h"
#include "amp/PeaveyToneStack.h"
#include "amp/PresenceControl.h"
#include "amp/ToneControl.h"
#include "ToneTestSupport.h"
#include "amp/VoxToneStack.h"

using namespace tonewright;

using namespace testkit;
using tonetest::run;
using tonetest::tail;
using tonetest::Knobs;

namespace {

using Stage = std::function<void(double*, int)>;

// One processor, set up and settled, as a stage of a hand-built chain.
template <class T>
Stage stage(const Knobs& k, double fs)
{
    auto p = std::make_shared<T>();
    p->SetFs(fs);
    tonetest::apply(*p, k);
    p->Settle();
    return [p](double* x, int n) { p->process(x, n); };
}

// What each type runs, in order.
std::vector<Stage> chainOf(int type, const Knobs& k, double fs)
{
    switch (type) {
    case 0: return {stage<BasicToneControls>(k, fs)};
    case 1: return {stage<FenderToneStack>(k, fs), stage<PresenceControl>(k, fs)};
    case 2: return {stage<MarshallToneStack>(k, fs), stage<PresenceControl>(k, fs)};
    case 3: return {stage<VoxToneStack>(k, fs), stage<MidsControl>(k, fs), stage<PresenceControl>(k, fs)};
    case 4: return {stage<BoogieToneStack>(k, fs)};
    case 5: return {stage<PeaveyToneStack>(k, fs), stage<PresenceControl>(k, fs)};
    case 6:
        return {stage<MatchlessBassMidsStack>(k, fs), stage<MatchlessTrebleVolumeStack>(k, fs),
                stage<PresenceControl>(k, fs)};
    default: return {stage<JMP1ToneControls>(k, fs)};
    }
}

std::vector<double> runChain(const std::vector<Stage>& chain, std::vector<double> x)
{
    return runMono(
        [&](double* p, int n) {
            for (const Stage& s : chain) s(p, n);
        },
        std::move(x));
}

std::unique_ptr<ToneControl> makeTone(int type, const Knobs& k, double fs)
{
    auto t = std::make_unique<ToneControl>();
    t->SetFs(fs);
    t->SetParameters({type, k.bass, k.mids, k.treble, k.presence});
    t->Settle();
    return t;
}

// A Filter section configured from a row of the equaliser tables: type,
// frequency, Q and the knob's level between low and high dB.
struct Row {
    int type;
    double frequency, q, lowDb, highDb;
};

Stage section(const Row& r, double knob, double fs)
{
    auto f = std::make_shared<Filter>();
    f->SetFs(fs);
    f->SetParameter(1, r.type);
    f->SetParameter(2, r.frequency);
    f->SetParameter(3, r.q);
    f->SetParameter(4, r.lowDb + knob * (r.highDb - r.lowDb));
    f->Settle();
    return [f](double* x, int n) { f->process(x, n); };
}

void expectSame(const std::vector<double>& a, const std::vector<double>& b, double tol = 1e-13)
{
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) ASSERT_NEAR(a[i], b[i], tol) << "sample " << i;
}

}  // namespace

TEST(ToneControl, EveryTypeRunsItsChainWithTheRightKnobs)
{
    const auto noise = whiteNoise(6000, 0.5, 21);
    for (double fs : {44100.0, 96000.0}) {
        for (const Knobs& k : {Knobs{0.3, 0.7, 0.6, 0.2}, Knobs{0.95, 0.05, 0.15, 0.85}}) {
            for (int type = 0; type < 8; ++type) {
                SCOPED_TRACE(testing::Message() << "type " << type << " fs " << fs << " bass " << k.bass);
                const auto tone = makeTone(type, k, fs);
                EXPECT_EQ(tone->PlayingType(), type);
                expectSame(run(*tone, noise, BlockPlan::Random(400, 2)), runChain(chainOf(type, k, fs), noise));
            }
        }
    }
}

TEST(ToneControl, EveryTypeRespondsToAllFourKnobs)
{
    const auto noise = whiteNoise(8000, 0.5, 22);
    const Knobs base{0.5, 0.5, 0.5, 0.5};
    for (int type = 0; type < 8; ++type) {
        for (int knob = 0; knob < 4; ++knob) {
            Knobs lo = base, hi = base;
            double* l[] = {&lo.bass, &lo.mids, &lo.treble, &lo.presence};
            double* h[] = {&hi.bass, &hi.mids, &hi.treble, &hi.presence};
            *l[knob] = 0.1;
            *h[knob] = 0.9;
            const auto a = run(*makeTone(type, lo, 44100.0), noise);
            const auto b = run(*makeTone(type, hi, 44100.0), noise);
            std::vector<double> d(a.size());
            for (size_t i = 0; i < a.size(); ++i) d[i] = a[i] - b[i];
            EXPECT_GT(rms(d), 1e-3 * rms(noise)) << "type " << type << " knob " << knob;
        }
    }
}

TEST(ToneControl, FilterEqualisersAreTheirSectionsInOrder)
{
    const double fs = 48000.0;
    const auto noise = whiteNoise(5000, 0.5, 23);
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int trial = 0; trial < 6; ++trial) {
        const Knobs k{u(rng), u(rng), u(rng), u(rng)};
        SCOPED_TRACE(testing::Message() << "trial " << trial);
        // Rows: type, Hz, Q, dB at knob 0, dB at knob 1; in running order.
        expectSame(runChain({stage<BasicToneControls>(k, fs)}, noise),
                   runChain({section({11, 250, 0.7071, -12, 12}, k.bass, fs),
                             section({12, 2500, 0.7071, -12, 6}, k.treble, fs),
                             section({10, 950, 0.7071, -18, 12}, k.mids, fs),
                             section({12, 4000, 0.7071, -12, 6}, k.presence, fs)},
                            noise));
        expectSame(runChain({stage<JMP1ToneControls>(k, fs)}, noise),
                   runChain({section({11, 156, 0.692, -6, 6}, k.bass, fs),
                             section({10, 778, 0.959, -8, 8}, k.mids, fs),
                             section({12, 2321, 0.466, -8, 8}, k.treble, fs),
                             section({12, 5000, 0.7071, -5, 5}, k.presence, fs)},
                            noise));
        expectSame(runChain({stage<PresenceControl>(k, fs)}, noise),
                   runChain({section({4, 3000, 1.0, -12, 3}, k.presence, fs)}, noise));
        expectSame(runChain({stage<MidsControl>(k, fs)}, noise),
                   runChain({section({10, 900, 1.5, -12, 3}, k.mids, fs)}, noise));
    }
}

TEST(ToneControl, DefaultsPlayThePlainEqualiserAtItsMidLevels)
{
    // Bass 0 dB, treble -3 dB, mids -3 dB, presence -3 dB.
    const double fs = 44100.0;
    ToneControl tone;
    tone.Settle();
    const auto p = tone.GetParameters();
    EXPECT_EQ(p.type, 0);
    EXPECT_EQ(p.bass, 0.5);
    EXPECT_EQ(p.presence, 0.5);
    const auto noise = whiteNoise(5000, 0.5, 24);
    expectSame(run(tone, noise), runChain({section({11, 250, 0.7071, 0, 0}, 0, fs),
                                           section({12, 2500, 0.7071, -3, -3}, 0, fs),
                                           section({10, 950, 0.7071, -3, -3}, 0, fs),
                                           section({12, 4000, 0.7071, -3, -3}, 0, fs)},
                                          noise));
}

TEST(ToneControl, PresenceAndMidsControlsReachTheirLevels)
{
    // Presence at 0.5 is -4.5 dB: a first-order shelf (1 + G s)/(1 + s)
    // at the corner 3 kHz, pre-warped there.
    for (double fs : {44100.0, 96000.0}) {
        PresenceControl presence;
        presence.SetFs(fs);
        presence.Settle();
        const double G = std::pow(10.0, -4.5 / 20.0);
        for (double f : {100.0, 3000.0, 15000.0}) {
            const double w = std::tan(kPi * f / fs) / std::tan(kPi * 3000.0 / fs);
            const double want = std::abs(std::complex<double>(1.0, G * w) / std::complex<double>(1.0, w));
            const Response r = measureSine([&](double* x, int n) { presence.process(x, n); }, fs, f);
            EXPECT_NEAR(r.gainDb(), dB(want), 1e-6) << "f " << f << " fs " << fs;
        }
        // The mids peak at its centre is its level: -12 .. +3 dB.
        for (double knob : {0.0, 0.5, 1.0}) {
            MidsControl mids;
            mids.SetFs(fs);
            mids.SetMids(knob);
            mids.Settle();
            const Response r = measureSine([&](double* x, int n) { mids.process(x, n); }, fs, 900.0);
            EXPECT_NEAR(r.gainDb(), -12.0 + 15.0 * knob, 1e-6) << "knob " << knob;
        }
    }
}

TEST(ToneControl, TypeChangeHoldsOneMillisecondThenFadesOverThirty)
{
    const double fs = 44100.0;
    const Knobs k{0.4, 0.6, 0.7, 0.3};
    const int before = 700, after = 2000;
    const auto noise = whiteNoise(before + after, 0.5, 25);
    const auto tone = makeTone(0, k, fs);
    run(*tone, {noise.begin(), noise.begin() + before});
    tone->SetParameter(0, 2);
    const auto changed = run(*tone, tail(noise, before), BlockPlan::Random(256, 4));
    EXPECT_EQ(tone->PlayingType(), 2);
    EXPECT_FALSE(tone->Fading());
    const auto yOld = tail(run(*makeTone(0, k, fs), noise), before);
    // The incoming bank's processors have not run before: zero history.
    const auto yNew = run(*makeTone(2, k, fs), tail(noise, before));
    for (int i = 0; i < after; ++i) {
        const size_t s = size_t(i);
        const double g = std::clamp(31.0 / 30.0 - i / 1323.0, 0.0, 1.0);
        if (i <= 44) {
            ASSERT_EQ(changed[s], yOld[s]) << i;
        } else if (i >= 1368) {
            ASSERT_EQ(changed[s], yNew[s]) << i;
        } else {
            ASSERT_NEAR(changed[s], (1.0 - g) * yNew[s] + g * yOld[s], 1e-12) << i;
        }
    }
}

TEST(ToneControl, TypeChangesDuringAFadeWaitAndOnlyTheLatestIsApplied)
{
    const double fs = 44100.0;
    const Knobs k{0.5, 0.5, 0.5, 0.5};
    const auto tone = makeTone(0, k, fs);
    std::vector<double> x(441, 0.0);
    tone->SetParameter(0, 4);
    tone->process(x.data(), 441);
    EXPECT_TRUE(tone->Fading());
    tone->SetParameter(0, 5);
    tone->SetParameter(0, 7);
    for (int i = 0; i < 3; ++i) tone->process(x.data(), 441);  // to 1764: the first fade ends at 1368
    EXPECT_FALSE(tone->Fading());
    EXPECT_EQ(tone->PlayingType(), 4);
    tone->process(x.data(), 64);
    EXPECT_TRUE(tone->Fading());
    EXPECT_EQ(tone->PlayingType(), 7);
    // Setting the type it already has starts nothing.
    for (int i = 0; i < 4; ++i) tone->process(x.data(), 441);
    tone->SetParameter(0, 7.2);
    tone->process(x.data(), 64);
    EXPECT_FALSE(tone->Fading());
}

TEST(ToneControl, KnobChangesReachTheIdleTypesToo)
{
    // Bass changed while type 0 plays; type 1 then plays with it.
    const double fs = 44100.0;
    const Knobs k{0.5, 0.5, 0.5, 0.5};
    const auto tone = makeTone(0, k, fs);
    run(*tone, whiteNoise(2000, 0.5, 1));
    tone->SetParameter(1, 0.9);
    tone->SetParameter(4, 0.1);
    run(*tone, whiteNoise(2000, 0.5, 2));
    tone->SetParameter(0, 1);
    const auto ref = makeTone(1, Knobs{0.9, 0.5, 0.5, 0.1}, fs);
    for (double f : {100.0, 1000.0, 8000.0}) {
        const Response a = measureSine([&](double* x, int n) { tone->process(x, n); }, fs, f);
        const Response b = measureSine([&](double* x, int n) { ref->process(x, n); }, fs, f);
        EXPECT_NEAR(a.gain / b.gain, 1.0, 1e-9) << f;
    }
}

TEST(ToneControl, ParameterRules)
{
    ToneControl t;
    t.SetParameter(0, 6.4);
    EXPECT_EQ(t.GetParameter(0), 6.0);
    for (double bad : {7.5, -0.6, double(NAN), double(INFINITY), -1e300}) t.SetParameter(0, bad);
    EXPECT_EQ(t.GetParameters().type, 6);
    t.SetParameter(0, -0.4);
    EXPECT_EQ(t.GetParameters().type, 0);
    t.SetParameter(0, 7.49);
    EXPECT_EQ(t.GetParameters().type, 7);

    for (int i = 1; i <= 4; ++i) {
        t.SetParameter(i, 0.25 * i);
        for (double bad : {1.2, -0.1, double(NAN), double(-INFINITY)}) t.SetParameter(i, bad);
        EXPECT_EQ(t.GetParameter(i), 0.25 * i) << i;
    }
    t.SetParameter(5, 0.3);
    t.SetParameter(-1, 0.3);
    EXPECT_EQ(t.GetParameter(5), 0.0);
    EXPECT_EQ(t.GetParameter(-1), 0.0);
    const auto p = t.GetParameters();
    EXPECT_EQ(p.bass, 0.25);
    EXPECT_EQ(p.mids, 0.5);
    EXPECT_EQ(p.treble, 0.75);
    EXPECT_EQ(p.presence, 1.0);

    // A refused rate changes nothing; a new one reaches every processor.
    t.SetFs(0.0);
    t.SetFs(-44100.0);
    t.SetFs(NAN);
    t.Settle();
    const auto noise = whiteNoise(3000, 0.5, 26);
    expectSame(run(t, noise), runChain(chainOf(7, {0.25, 0.5, 0.75, 1.0}, 44100.0), noise));
}

TEST(ToneControl, NewControlFadesOnceBetweenEqualBanks)
{
    const auto noise = whiteNoise(3000, 0.5, 27);
    ToneControl fresh;
    const auto out = run(fresh, noise);
    EXPECT_FALSE(fresh.Fading());
    ToneControl settled;
    settled.Settle();
    expectSame(out, run(settled, noise), 1e-12);
}

TEST(ToneControl, ProcessingAllocatesNothingAfterReserve)
{
    ToneControl tone;
    GainControl gain;
    tone.Reserve(512);
    tone.Settle();
    gain.Settle();
    std::vector<double> x = whiteNoise(512, 0.5, 28);
    AllocationCounter counter;
    for (int block = 0; block < 200; ++block) {
        if (block % 20 == 0) {
            tone.SetParameter(0, (block / 20) % 8);
            tone.SetParameter(1, 0.05 * (block % 19));
            tone.SetParameter(4, 0.9 - 0.04 * (block % 19));
            gain.SetParameters({(block / 20) % 6, 0.05 * (block % 17)});
        }
        const int n = 1 + (block * 37) % 512;
        gain.process(x.data(), n);
        tone.process(x.data(), n);
    }
    EXPECT_EQ(counter.count(), 0);
    EXPECT_EQ(counter.freed(), 0);
    EXPECT_TRUE(allFinite(x));
}
