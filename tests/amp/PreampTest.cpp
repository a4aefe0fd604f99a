// The preamp: the chain its record describes, the placement crossfade's
// timing, click-free model swaps and placement changes, the index rules,
// models keeping the user's knobs, and on/off.

#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "DspTestKit.h"
#include "amp/Preamp.h"
#include "engine/TonewrightParameters.h"

using namespace tonewright;

using namespace testkit;

namespace {

MonoProcess processOf(Preamp& p)
{
    return [&p](double* x, int n) { p.process(x, n); };
}

// The preamp a new engine record holds: one stage, gain control type 1
// before it, a circuit tone stack before stage 2.
PreampParameters standard()
{
    TonewrightParameters t;
    return t.preamp;
}

// A hotter model: three stages with filters between them, other control
// types and places.
PreampParameters lead()
{
    PreampParameters p = standard();
    std::snprintf(p.name, sizeof p.name, "Lead");
    p.stages[0].tube.gain = 30.0;
    p.stages[0].preFilter = {true, Filter::kHighPass, 120.0, 0.7, 0.0};
    p.stages[1].enable = true;
    p.stages[1].tube = {true, 20.0, false, 0.7, 0.3, 0.1, true, -9.0, 800.0};
    p.stages[1].postFilter = {true, Filter::kLowPass, 6000.0, 0.7, -2.0};
    p.stages[2].enable = true;
    p.stages[2].tube = {true, 8.0, true, 0.5, -0.2, 0.0, true, -12.0, 400.0};
    p.gainControl = {3, 0.9};
    p.gainControlLocation = 2;
    p.toneControl = {4, 0.7, 0.3, 0.6, 0.8};
    p.toneControlLocation = 5;
    return p;
}

void settled(Preamp& p, const PreampParameters& r, double fs = 44100.0)
{
    p.SetFs(fs);
    p.SetParameters(r);
    p.Settle();
}

// Runs `in` in blocks of `block`, calling change(pos) before each block.
template <typename Change>
std::vector<double> runWithChanges(Preamp& p, std::vector<double> in, int block, Change change)
{
    for (int pos = 0; pos < int(in.size()); pos += block) {
        change(pos);
        p.process(in.data() + pos, std::min(block, int(in.size()) - pos));
    }
    return in;
}

}  // namespace

TEST(Preamp, RunsTheChainItsRecordDescribes)
{
    const double fs = 48000.0;
    const auto in = sine(fs, 180.0, 0.15, 0.2);
    // Both controls at one place (gain control first), before a stage, after
    // the last stage, and out of the chain; stage 3 switched off.
    const struct {
        int gainAt, toneAt;
    } places[] = {{3, 3}, {1, 5}, {5, 2}, {0, 4}, {2, 0}, {0, 0}, {5, 5}};
    for (const auto& place : places) {
        SCOPED_TRACE(testing::Message() << place.gainAt << " " << place.toneAt);
        PreampParameters r = lead();
        r.stages[3].enable = true;
        r.stages[2].enable = false;
        r.gainControlLocation = place.gainAt;
        r.toneControlLocation = place.toneAt;
        Preamp preamp;
        settled(preamp, r, fs);
        const auto out = runMono(processOf(preamp), in, BlockPlan::Random(333, 2));

        GainStage stages[4];
        GainControl gain;
        ToneControl tone;
        for (int s = 0; s < 4; ++s) {
            stages[s].SetFs(fs);
            stages[s].SetParameters(r.stages[s]);
            stages[s].Settle();
        }
        gain.SetFs(fs);
        gain.SetParameters(r.gainControl);
        gain.Settle();
        tone.SetFs(fs);
        tone.SetParameters(r.toneControl);
        tone.Settle();
        auto expected = in;
        const int n = int(expected.size());
        for (int s = 1; s <= 5; ++s) {
            if (place.gainAt == s) gain.process(expected.data(), n);
            if (place.toneAt == s) tone.process(expected.data(), n);
            if (s <= 4 && r.stages[s - 1].enable) stages[s - 1].process(expected.data(), n);
        }
        for (size_t i = 0; i < in.size(); ++i) ASSERT_NEAR(out[i], expected[i], 1e-12) << i;
    }
}

TEST(Preamp, PlacementChangeHoldsTenMillisecondsThenFadesOverFifty)
{
    const double fs = 44100.0;
    const auto in = sine(fs, 200.0, 0.4, 0.3);
    const PreampParameters first = standard();
    PreampParameters second = first;
    second.toneControlLocation = 5;

    const int block = 100;
    const int change = 5000;
    Preamp preamp;
    settled(preamp, first);
    const auto out = runWithChanges(preamp, in, block, [&](int pos) {
        if (pos == change) preamp.SetParameter(89, 5);
        // Two more moves during the fade: one further fade after it.
        if (pos == change + 1000) preamp.SetParameter(87, 0);
        if (pos == change + 1500) preamp.SetParameter(89, 1);
    });

    const auto tail = [&](int from) { return std::vector<double>(in.begin() + from, in.end()); };
    Preamp oldRef, secondRef;
    settled(oldRef, first);
    settled(secondRef, second);
    const auto oldOut = runMono(processOf(oldRef), in);
    const auto secondOut = runMono(processOf(secondRef), tail(change));

    const double step = 1.0 / (0.05 * fs);
    double position = 1.2;
    int i = change;
    for (; position >= 0; ++i) {
        const double w = std::min(1.0, position);
        ASSERT_NEAR(out[i], (1 - w) * secondOut[i - change] + w * oldOut[i], 1e-14) << i - change;
        if (i - change < 441) {
            ASSERT_EQ(out[i], oldOut[i]) << "the first 10 ms are the old arrangement";
        }
        position -= step;
    }
    EXPECT_NEAR(i - change, 2646, 1);  // 60 ms
    const int next = ((i + block - 1) / block) * block;
    for (; i < next; ++i) ASSERT_EQ(out[i], secondOut[i - change]);

    // The bank that played `first` comes back with the third arrangement
    // (carrying the history it stopped with), again heard only after 10 ms.
    for (int j = 0; j < 441; ++j) ASSERT_EQ(out[next + j], secondOut[next + j - change]) << j;
    EXPECT_GT(std::fabs(out[next + 3000] - secondOut[next + 3000 - change]), 1e-3);
    EXPECT_FALSE(preamp.Fading());
    EXPECT_EQ(preamp.GetParameters().gainControlLocation, 0);
    EXPECT_EQ(preamp.GetParameters().toneControlLocation, 1);
}

// The same model with every tube's drive scaled: at 0.1 the output is
// nearly a sine, so its steps are small beside its level and a jump shows.
PreampParameters scaled(PreampParameters p, double drive)
{
    for (auto& stage : p.stages) stage.tube.gain *= drive;
    return p;
}

TEST(Preamp, ModelSwapAndPlacementChangeWithASinePlayingMakeNoStep)
{
    // The largest step while the change fades in may exceed the larger of
    // the steady steps before and after it by this much: the chain is
    // nonlinear, so a signal half way between two settings (and the new
    // bank's filters settling) can be a little steeper than either. A click
    // is a jump many times the signal's own steps.
    const double allowance = 1.1;
    for (double fs : {44100.0, 176400.0}) {
        // A whole number of samples per period, so every period is sampled
        // alike and the largest step of a steady signal is the same in any
        // stretch of it.
        const auto in = sine(fs, 220.5, 0.5, 0.3);
        const int block = 256;
        const int change = int(0.2 * fs) / block * block;
        struct Steps {
            double before, during, after;
        };
        const auto steps = [&](const std::vector<double>& out) {
            return Steps{largestStep(out, size_t(0.1 * fs), size_t(change)),
                         largestStep(out, size_t(change), size_t(change + 0.1 * fs)),
                         largestStep(out, size_t(change + 0.15 * fs), out.size())};
        };
        // What a plain switch to the new settings, started from rest, would
        // do at the change: the check must be able to see that.
        const auto plainSwitch = [&](const PreampParameters& from, const PreampParameters& to) {
            Preamp a, b;
            settled(a, from, fs);
            settled(b, to, fs);
            auto x = in;
            a.process(x.data(), change);
            b.process(x.data() + change, int(x.size()) - change);
            return std::fabs(x[size_t(change)] - x[size_t(change) - 1]);
        };

        for (double drive : {1.0, 0.1}) {
            for (bool hotFirst : {true, false}) {
                SCOPED_TRACE(testing::Message() << fs << " drive " << drive
                                                << (hotFirst ? " lead -> standard" : " standard -> lead"));
                const PreampParameters from = scaled(hotFirst ? lead() : standard(), drive);
                const PreampParameters to = scaled(hotFirst ? standard() : lead(), drive);
                Preamp preamp;
                settled(preamp, from, fs);
                const auto out = runWithChanges(preamp, in, block, [&](int pos) {
                    if (pos == change) preamp.SetPreamp(to);
                });
                const Steps s = steps(out);
                // Where the new model is the quieter one this is exactly "no
                // step larger than the signal's own before the change".
                EXPECT_LE(s.during, allowance * std::max(s.before, s.after)) << s.before << " " << s.after;
                PreampParameters model = to;  // SetPreamp keeps the knobs
                model.gainControl.wiper = from.gainControl.wiper;
                model.toneControl = {to.toneControl.type, from.toneControl.bass, from.toneControl.mids,
                                     from.toneControl.treble, from.toneControl.presence};
                if (drive < 1.0) {
                    EXPECT_GT(plainSwitch(from, model), allowance * std::max(s.before, s.after));
                }
            }

            // Each control moved in turn, and both at once.
            for (const auto& move : {std::pair(87, 4), std::pair(89, 0), std::pair(89, 5)}) {
                SCOPED_TRACE(testing::Message() << fs << " drive " << drive << " move " << move.first << " to "
                                                << move.second);
                const PreampParameters from = scaled(lead(), drive);
                PreampParameters to = from;
                (move.first == 87 ? to.gainControlLocation : to.toneControlLocation) = move.second;
                if (move.second == 5) to.gainControlLocation = 1;
                Preamp preamp;
                settled(preamp, from, fs);
                const auto out = runWithChanges(preamp, in, block, [&](int pos) {
                    if (pos != change) return;
                    preamp.SetParameter(87, to.gainControlLocation);
                    preamp.SetParameter(89, to.toneControlLocation);
                });
                const Steps s = steps(out);
                EXPECT_LE(s.during, allowance * std::max(s.before, s.after)) << s.before << " " << s.after;
                if (drive < 1.0) {
                    EXPECT_GT(plainSwitch(from, to), allowance * std::max(s.before, s.after));
                }
            }
        }
    }
}

TEST(Preamp, IndexRules)
{
    Preamp preamp;
    preamp.SetParameters(standard());
    preamp.Settle();
    const auto location = [&](int index) { return preamp.GetParameter(index); };

    preamp.SetParameter(89, 5.4);
    EXPECT_EQ(location(89), 5.0);
    preamp.SetParameter(89, 5.5);
    preamp.SetParameter(89, -0.6);
    preamp.SetParameter(89, NAN);
    preamp.SetParameter(89, 1e12);
    EXPECT_EQ(location(89), 5.0);
    preamp.SetParameter(87, -0.4);
    EXPECT_EQ(location(87), 0.0);

    // The same location again starts no crossfade.
    std::vector<double> x(64, 0.1);
    preamp.process(x.data(), 64);
    runMono(processOf(preamp), std::vector<double>(4000, 0.0));
    EXPECT_FALSE(preamp.Fading());
    preamp.SetParameter(87, 0.2);
    preamp.SetParameter(89, 5.0);
    preamp.process(x.data(), 64);
    EXPECT_FALSE(preamp.Fading());

    // Gain-stage parameters: 20 per stage from index 6, both banks alike.
    preamp.SetParameter(6 + 2 * 20 + 7, 33.0);   // stage 3, tube gain
    preamp.SetParameter(6 + 3 * 20 + 17, 2500);  // stage 4, post filter frequency
    preamp.SetParameter(6 + 1 * 20 + 9, 1.5);    // stage 2, tube clipping: refused
    EXPECT_EQ(preamp.GetParameters().stages[2].tube.gain, 33.0);
    EXPECT_EQ(preamp.GetParameter(6 + 2 * 20 + 7), 33.0);
    EXPECT_EQ(preamp.GetParameters().stages[3].postFilter.frequency, 2500.0);
    EXPECT_EQ(preamp.GetParameters().stages[1].tube.clipping, 0.9);

    // Knobs and types: refused values leave the record as the parts hold it.
    preamp.SetParameter(1, 0.75);
    preamp.SetParameter(1, 1.2);
    preamp.SetParameter(3, 0.25);
    preamp.SetParameter(5, -0.1);
    preamp.SetParameter(86, 4.6);
    preamp.SetParameter(88, 7.4);
    preamp.SetParameter(88, 8.0);
    const PreampParameters r = preamp.GetParameters();
    EXPECT_EQ(r.gainControl.wiper, 0.75);
    EXPECT_EQ(r.toneControl.mids, 0.25);
    EXPECT_EQ(r.toneControl.presence, 0.5);
    EXPECT_EQ(r.gainControl.type, 5);
    EXPECT_EQ(r.toneControl.type, 7);
    EXPECT_EQ(preamp.GetParameter(86), 5.0);
    EXPECT_EQ(preamp.GetParameter(88), 7.0);
    EXPECT_EQ(preamp.GetParameter(3), 0.25);

    for (int bad : {-1, 90, 1000}) preamp.SetParameter(bad, 1.0);
    EXPECT_EQ(preamp.GetParameter(90), 0.0);
    EXPECT_EQ(preamp.GetParameter(-1), 0.0);
}

TEST(Preamp, HostRateAndOversampledCopiesKeepTheSameFrequencies)
{
    // Frequencies at or above half of either rate are kept by both copies
    // (and so by a saved record), whichever way they arrive.
    constexpr int kTubeFrequency = 6 + 2 * 20 + 14;  // stage 3
    constexpr int kPreFilterFrequency = 6 + 1 * 20 + 3;  // stage 2
    for (double f : {30000.0, 90000.0, 1e308}) {
        SCOPED_TRACE(f);
        Preamp host, oversampled;
        host.SetFs(44100.0);
        oversampled.SetFs(176400.0);
        PreampParameters r = standard();
        r.stages[0].tube.frequency = f;
        r.stages[0].postFilter.frequency = f;
        for (Preamp* p : {&host, &oversampled}) {
            p->SetParameters(r);
            p->SetParameter(kTubeFrequency, f);
            p->SetParameter(kPreFilterFrequency, f);
            const PreampParameters got = p->GetParameters();
            EXPECT_EQ(got.stages[0].tube.frequency, f);
            EXPECT_EQ(got.stages[0].postFilter.frequency, f);
            EXPECT_EQ(got.stages[2].tube.frequency, f);
            EXPECT_EQ(got.stages[1].preFilter.frequency, f);
            EXPECT_EQ(p->GetParameter(kTubeFrequency), f);
        }
    }
}

TEST(Preamp, ModelsKeepTheKnobsAndNamesAreAlwaysTerminated)
{
    Preamp preamp;
    preamp.SetParameters(standard());
    preamp.SetParameter(1, 0.8);
    preamp.SetParameter(2, 0.1);
    preamp.SetParameter(5, 0.9);

    PreampParameters model = lead();
    std::memset(model.name, 'x', sizeof model.name);  // no terminator at all
    preamp.SetPreamp(model);
    PreampParameters r = preamp.GetParameters();
    EXPECT_EQ(r.gainControl.wiper, 0.8);
    EXPECT_EQ(r.toneControl.bass, 0.1);
    EXPECT_EQ(r.toneControl.presence, 0.9);
    EXPECT_EQ(r.toneControl.treble, 0.5);
    EXPECT_EQ(r.gainControl.type, 3);
    EXPECT_EQ(r.toneControl.type, 4);
    EXPECT_EQ(r.gainControlLocation, 2);
    EXPECT_EQ(r.toneControlLocation, 5);
    EXPECT_EQ(r.stages[2].tube.gain, 8.0);
    EXPECT_TRUE(r.stages[2].enable);
    EXPECT_EQ(std::strlen(r.name), 255u);

    preamp.SetParameters(lead());
    r = preamp.GetParameters();
    EXPECT_EQ(r.gainControl.wiper, 0.9);
    EXPECT_EQ(r.toneControl.bass, 0.7);
    EXPECT_STREQ(r.name, "Lead");
}

TEST(Preamp, SwitchedOffFadesOutThenLeavesBlocksUntouched)
{
    Preamp preamp;
    settled(preamp, lead());
    preamp.SetParameter(0, 0.0);
    const auto in = sine(44100, 300, 0.2, 0.3);
    runMono(processOf(preamp), in, BlockPlan::Fixed(441));
    EXPECT_EQ(preamp.Bypass().running, 0);
    EXPECT_EQ(runMono(processOf(preamp), in, BlockPlan::Random(500)), in);
    preamp.SetParameter(0, 1.0);
    EXPECT_NE(runMono(processOf(preamp), in), in);
}

TEST(Preamp, ProcessesWithoutAllocatingOnceReserved)
{
    Preamp preamp;
    settled(preamp, lead(), 176400.0);
    preamp.Reserve(2048);
    auto in = whiteNoise(30000, 0.3, 9);
    const PreampParameters other = standard();
    AllocationCounter counter;
    int pos = 0;
    for (int n : {2048, 1, 700, 2048, 33, 2048, 2048, 1500}) {
        if (pos == 2049) preamp.SetPreamp(other);
        if (pos == 2749) preamp.SetParameter(89, 3);
        preamp.process(in.data() + pos, n);
        pos += n;
    }
    EXPECT_EQ(counter.count(), 0);
    EXPECT_EQ(counter.freed(), 0);
    EXPECT_TRUE(allFinite(in));
}
