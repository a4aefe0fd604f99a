// The power amp: each type against tubes driven by hand, the settings'
// rules, the bank crossfade's timing, click-free changes and on/off.

#include <gtest/gtest.h>

#include <cmath>

#include "DspTestKit.h"
#include "amp/PowerAmp.h"
#include "dsp/RangeHelpers.h"

using namespace tonewright;

using namespace testkit;

namespace {

MonoProcess processOf(PowerAmp& p)
{
    return [&p](double* x, int n) { p.process(x, n); };
}

void settle(PowerAmp& amp, const PowerAmpParameters& p, double fs = 44100.0)
{
    amp.SetFs(fs);
    amp.SetParameters(p);
    amp.Settle();
}

std::vector<double> throughAmp(const PowerAmpParameters& p, const std::vector<double>& in, double fs = 44100.0,
                               const BlockPlan& plan = {})
{
    PowerAmp amp;
    settle(amp, p, fs);
    return runMono(processOf(amp), in, plan);
}

// One output tube as the power amp sets it up: matched or asymmetric, with
// the dynamics corner and (single-ended) the bias offset.
std::vector<double> throughTube(std::vector<double> s, double symmetry, double offset, double corner, double fs)
{
    Tube t;
    t.SetFs(fs);
    t.SetParameters({true, 1.0, false, 0.9, symmetry, offset, true, -12.0, corner});
    t.Settle();
    t.process(s.data(), int(s.size()));
    return s;
}

std::vector<double> affine(const std::vector<double>& s, double scale, double shift)
{
    std::vector<double> r(s.size());
    for (size_t i = 0; i < s.size(); ++i) r[i] = s[i] * scale + shift;
    return r;
}

}  // namespace

TEST(PowerAmp, EachTypeIsItsTubesDrivenByHand)
{
    const double fs = 48000.0;
    const auto in = sine(fs, 220.0, 0.1, 0.4);
    for (double drive : {0.6, 1.0, 7.5}) {
        for (double bias : {0.0, 0.3, 1.0}) {
            for (double dynamics : {0.0, 0.5, 1.0}) {
                SCOPED_TRACE(testing::Message() << drive << " " << bias << " " << dynamics);
                const double corner = rangeLog(dynamics, 20.0, 10000.0);

                const auto single = throughAmp({true, 0, drive, bias, dynamics}, in, fs, BlockPlan::Random(300));
                const auto expected0 =
                    throughTube(affine(in, drive * 1.636291506, 0), 0.0, range(bias, -0.52, 0.82), corner, fs);
                for (size_t i = 0; i < in.size(); ++i) ASSERT_NEAR(single[i], expected0[i], 1e-14) << i;

                const double pp = range(bias, -8, 3.52);
                const auto push = throughAmp({true, 1, drive, bias, dynamics}, in, fs, BlockPlan::Random(300));
                const auto a1 = throughTube(affine(in, drive * 3.1420204605, pp), 0.0, 0.0, corner, fs);
                const auto b1 = throughTube(affine(in, -drive * 3.1420204605, pp), 0.0, 0.0, corner, fs);
                for (size_t i = 0; i < in.size(); ++i) ASSERT_NEAR(push[i], 0.5248 * (a1[i] - b1[i]), 1e-13) << i;

                const double as = range(bias, -4, 2.8);
                const auto asym = throughAmp({true, 2, drive, bias, dynamics}, in, fs, BlockPlan::Random(300));
                const auto a2 = throughTube(affine(in, drive, as), 0.8, 0.0, corner, fs);
                const auto b2 = throughTube(affine(in, -drive, as), 0.8, 0.0, corner, fs);
                for (size_t i = 0; i < in.size(); ++i) ASSERT_NEAR(asym[i], 0.5 * (a2[i] - b2[i]), 1e-13) << i;
            }
        }
    }
    // The geometric mean of the corner range sits at dynamics 0.5.
    EXPECT_NEAR(rangeLog(0.5, 20.0, 10000.0), 447.2136, 1e-4);
}

TEST(PowerAmp, SettingsFollowTheirRules)
{
    PowerAmp amp;
    const PowerAmpParameters d = amp.GetParameters();
    EXPECT_TRUE(d.enable);
    EXPECT_EQ(d.type, 1);
    EXPECT_EQ(d.drive, 1.0);
    EXPECT_EQ(d.bias, 0.5);
    EXPECT_EQ(d.dynamics, 0.5);

    amp.SetParameter(1, 2.4);
    EXPECT_EQ(amp.GetParameter(1), 2.0);
    amp.SetParameter(1, 2.6);
    amp.SetParameter(1, -0.7);
    amp.SetParameter(1, NAN);
    amp.SetParameter(1, 1e300);
    EXPECT_EQ(amp.GetParameter(1), 2.0);
    amp.SetParameter(1, -0.4);
    EXPECT_EQ(amp.GetParameter(1), 0.0);

    amp.SetParameter(3, 1.0);
    EXPECT_EQ(amp.GetParameter(3), 1.0);
    amp.SetParameter(3, 1.01);
    amp.SetParameter(3, -0.01);
    amp.SetParameter(3, NAN);
    EXPECT_EQ(amp.GetParameter(3), 1.0);
    amp.SetParameter(4, 0.0);
    amp.SetParameter(4, 1.5);
    EXPECT_EQ(amp.GetParameter(4), 0.0);
    amp.SetParameter(2, 0.0);
    amp.SetParameter(2, -3.0);
    amp.SetParameter(2, INFINITY);
    EXPECT_EQ(amp.GetParameter(2), 1.0);
    amp.SetParameter(2, 15.849);
    EXPECT_EQ(amp.GetParameter(2), 15.849);
    amp.SetParameter(0, NAN);
    EXPECT_EQ(amp.GetParameter(0), 1.0);
    amp.SetParameter(0, 0.49);
    EXPECT_EQ(amp.GetParameter(0), 0.0);
    amp.SetParameter(5, 1.0);
    EXPECT_EQ(amp.GetParameter(5), 0.0);
}

TEST(PowerAmp, ChangeHoldsTheOldBankTwentyMillisecondsThenFadesOverThirty)
{
    const double fs = 44100.0;
    // Bias and dynamics stay, so the tubes themselves keep their settings and
    // the banks' outputs can be rebuilt exactly.
    const PowerAmpParameters before{true, 1, 2.0, 0.5, 0.5};
    const PowerAmpParameters after{true, 0, 3.0, 0.5, 0.5};
    const auto in = sine(fs, 150.0, 0.3, 0.3);
    const int change = 64 * 70;

    PowerAmp amp;
    settle(amp, before);
    std::vector<double> out = in;
    for (int pos = 0; pos < int(out.size()); pos += 64) {
        if (pos == change) amp.SetParameters(after);
        if (pos == change + 64 * 10) amp.SetParameter(2, 5.0);  // waits for the running fade
        amp.process(out.data() + pos, std::min(64, int(out.size()) - pos));
    }
    // The outgoing bank runs on as before; the incoming one starts from rest,
    // like a power amp set up with the new settings at that moment.
    const auto oldOut = throughAmp(before, in);
    const auto newOut = throughAmp(after, std::vector<double>(in.begin() + change, in.end()));

    const double step = 1.0 / (0.03 * fs);
    double position = 5.0 / 3.0;
    int i = change;
    for (; position >= 0; ++i) {
        const double w = std::min(1.0, position);
        ASSERT_NEAR(out[i], (1 - w) * newOut[i - change] + w * oldOut[i], 1e-15) << i - change;
        if (i - change < 882) {
            ASSERT_EQ(out[i], oldOut[i]) << "the first 20 ms are the old bank alone";
        }
        position -= step;
    }
    EXPECT_EQ(i - change, 2206);  // 50 ms
    // Then the new bank alone until the next block starts the waiting change.
    const int next = ((i + 63) / 64) * 64;
    for (; i < next; ++i) ASSERT_EQ(out[i], newOut[i - change]);
    EXPECT_GT(std::fabs(out[next + 1000] - newOut[next + 1000 - change]), 1e-6);
}

TEST(PowerAmp, TypeChangeWithASinePlayingMakesNoStep)
{
    for (double fs : {44100.0, 176400.0}) {
        for (int from = 0; from < 3; ++from) {
            for (int to = 0; to < 3; ++to) {
                if (from == to) continue;
                // Whole samples per period: every period sampled alike.
                const auto in = sine(fs, 441.0, 0.3, 0.5);
                PowerAmp amp;
                settle(amp, {true, from, 4.0, 0.5, 0.5}, fs);
                const int change = int(0.1 * fs) / 128 * 128;
                std::vector<double> out = in;
                for (int pos = 0; pos < int(out.size()); pos += 128) {
                    if (pos == change) amp.SetParameter(1, to);
                    amp.process(out.data() + pos, std::min(128, int(out.size()) - pos));
                }
                const double before = largestStep(out, size_t(0.05 * fs), size_t(change));
                const double steadyAfter = largestStep(out, size_t(change + 0.1 * fs), out.size());
                const double during = largestStep(out, size_t(change), size_t(change + 0.06 * fs));
                // A linear crossfade adds at most its own slope: the two
                // banks' difference (within twice the peak) over the fade.
                const double slope = 2.0 * peak(out) / (0.03 * fs);
                EXPECT_LE(during, std::max(before, steadyAfter) + slope) << fs << " " << from << " -> " << to;
            }
        }
    }
}

TEST(PowerAmp, SwitchedOffFadesOutOver20msThenLeavesBlocksUntouched)
{
    const double fs = 44100.0;
    const auto in = sine(fs, 300.0, 0.2, 0.4);
    PowerAmp amp;
    amp.Settle();
    const auto on = throughAmp(amp.GetParameters(), in);
    amp.SetParameter(0, 0.0);
    const auto out = runMono(processOf(amp), in, BlockPlan::Fixed(100));
    for (int i = 0; i < 882; ++i) {
        const double mix = std::max(0.0, 1.0 - (i + 1) / 882.0);
        ASSERT_NEAR(out[i], mix * on[i] + (1 - mix) * in[i], 1e-12) << i;
    }
    for (size_t i = 900; i < in.size(); ++i) ASSERT_EQ(out[i], in[i]);
    EXPECT_EQ(amp.Bypass().running, 0);
    EXPECT_EQ(runMono(processOf(amp), in, BlockPlan::Random(200)), in);
}

TEST(PowerAmp, ProcessesWithoutAllocatingOnceReserved)
{
    PowerAmp amp;
    amp.Reserve(512);
    auto in = whiteNoise(20000, 0.5, 3);
    AllocationCounter counter;
    int pos = 0;
    for (int n : {512, 1, 300, 512, 77}) {
        if (pos == 813) amp.SetParameter(1, 2);
        amp.process(in.data() + pos, n);
        pos += n;
    }
    amp.SetParameter(0, 0);
    amp.process(in.data() + pos, 512);
    EXPECT_EQ(counter.count(), 0);
    EXPECT_EQ(counter.freed(), 0);
    EXPECT_TRUE(allFinite(in));
}
