// The tube: its static curve, the exact per-sample solution of the feedback
// loop (against an independent bisection), small-signal gain, the parameter
// crossfade and the refusals. Also the gain stage around it.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>

#include "DspTestKit.h"
#include "amp/GainStage.h"
#include "amp/Tube.h"
#include "dsp/ParameterRules.h"

using namespace tonewright;

using namespace testkit;

namespace {

MonoProcess processOf(Tube& t)
{
    return [&t](double* x, int n) { t.process(x, n); };
}

Tube settledTube(const TubeParameters& p, double fs = 44100.0)
{
    Tube t;
    t.SetFs(fs);
    t.SetParameters(p);
    t.Settle();
    return t;
}

struct CurveCase {
    double clipping, symmetry, offset;
};

// Linear part in the middle, curve shifted both ways, the operating point on
// either rational branch, narrow and wide knees.
const CurveCase kSmoothCurves[] = {
    {0.9, 0.0, 0.0},  {0.5, 0.6, 0.0},  {0.5, -0.6, 0.0}, {0.2, 0.9, 0.3},
    {0.3, -0.9, -0.4}, {0.7, 0.2, 0.75}, {0.7, 0.2, -0.8}, {0.05, 0.0, 0.5},
};
// Symmetry +-1 or clipping 1 puts a knee on the asymptote: a hard clip there.
const CurveCase kHardCurves[] = {{0.4, 1.0, -0.95}, {0.6, -1.0, 0.9}, {1.0, 0.0, 0.2}};

}  // namespace

TEST(TubeCurve, ContinuousInValueAndSlopeAtTheKneesAndBoundedByOne)
{
    for (const auto& c : kSmoothCurves) {
        SCOPED_TRACE(testing::Message() << c.clipping << " " << c.symmetry << " " << c.offset);
        const TubeCurve f = TubeCurve::Make(c.clipping, c.symmetry, c.offset);
        EXPECT_NEAR(f.H - f.L, 2.0 * c.clipping, 1e-12);
        EXPECT_NEAR(f(0.0), c.offset, 1e-14);

        // Each rational branch meets the line u + D with equal value and
        // slope: value of the branch formula at the knee, and its analytic
        // derivative there.
        EXPECT_NEAR((f.A + f.L) / (f.P - f.L), f.L + f.D, 1e-13);
        EXPECT_NEAR((f.H - f.B) / (f.Q + f.H), f.H + f.D, 1e-13);
        EXPECT_NEAR((f.P + f.A) / ((f.P - f.L) * (f.P - f.L)), 1.0, 1e-12);
        EXPECT_NEAR((f.Q + f.B) / ((f.Q + f.H) * (f.Q + f.H)), 1.0, 1e-12);
        // And numerically across the knees, through the curve itself.
        for (double knee : {f.L, f.H}) {
            const double e = 1e-8;
            EXPECT_NEAR(f(knee + e) - f(knee - e), 2 * e, 1e-14);
            EXPECT_NEAR((f(knee - e) - f(knee - 2 * e)) / e, 1.0, 1e-6);
            EXPECT_NEAR((f(knee + 2 * e) - f(knee + e)) / e, 1.0, 1e-6);
        }

        // Rising everywhere, between -1 and +1, tending to them far out.
        double previous = f(-1e3);
        for (double u = -1e3 + 0.01; u < 1e3; u += 0.37) {
            const double v = f(u);
            ASSERT_GT(v, previous) << u;
            ASSERT_GT(v, -1.0);
            ASSERT_LT(v, 1.0);
            previous = v;
        }
        EXPECT_NEAR(f(-1e9), -1.0, 1e-8);
        EXPECT_NEAR(f(1e9), 1.0, 1e-8);
    }

    // Hard clipping at c = 1, and on one side at symmetry +-1; a curve
    // bending from the origin at c = 0.
    const TubeCurve hard = TubeCurve::Make(1.0, 0.0, 0.0);
    EXPECT_EQ(hard(-3.0), -1.0);
    EXPECT_EQ(hard(0.5), 0.5);
    EXPECT_EQ(hard(7.0), 1.0);
    const TubeCurve top = TubeCurve::Make(0.4, 1.0, 0.0);
    EXPECT_EQ(top(top.H + 5.0), 1.0);
    EXPECT_GT(top(top.L - 0.1), -1.0);
    const TubeCurve bottom = TubeCurve::Make(0.4, -1.0, 0.0);
    EXPECT_EQ(bottom(bottom.L - 5.0), -1.0);
    const TubeCurve soft = TubeCurve::Make(0.0, 0.0, 0.0);
    EXPECT_NEAR(soft(0.1), 0.1 / 1.1, 1e-15);
    EXPECT_NEAR(soft(-0.1), -0.1 / 1.1, 1e-15);
}

TEST(Tube, DefaultsAreLinearInsideTheKneesAndInvertTheOutput)
{
    Tube t;  // gain 50, clipping 0.9, invert
    EXPECT_NEAR(t.Function(0.01), -0.5, 1e-15);
    EXPECT_NEAR(t.Function(-0.018), 0.9, 1e-14);
    EXPECT_GT(t.Function(0.1), -1.0);
    EXPECT_LT(t.Function(0.1), -0.9);
    t.SetParameter(2, 0);
    EXPECT_NEAR(t.Function(0.01), 0.5, 1e-15);
    // Beyond the lower knee: (A + u) / (P - u) with L = -0.9, A = L^2, P = 2L + 1.
    EXPECT_NEAR(t.Function(-1.0), (0.81 - 50.0) / (-0.8 + 50.0), 1e-15);
}

// The loop's equation solved independently: for the filter state S, the new
// filter output lp solves lp = S + a0 (f(g (x - k lp)) - o), found here by
// bisection (the right side falls as lp rises, so the root is unique). The
// state is rebuilt from the tube's own outputs, so every sample is checked on
// its own rather than two trajectories drifting apart by rounding.
class LoopOracle {
public:
    LoopOracle(const TubeParameters& p, double fs) : curve(p)
    {
        curve.invert = false;
        const double w = kPi * p.frequency / fs;
        a0 = w / (1 + w);
        a1 = (1 - w) / (1 + w);
        k = (std::pow(10.0, -p.shelf / 20.0) - 1.0) / p.gain;
        sign = p.invert ? -1.0 : 1.0;
        tube.SetParameters(curve);
    }

    // The output the equation demands for input x.
    double Solve(double x) const
    {
        const double S = a1 * lp + a0 * y;
        const auto residual = [&](double v) { return v - S - a0 * tube.Function(x - k * v); };
        double lo = S - 2 * a0 - 1, hi = S + 2 * a0 + 1;
        EXPECT_LT(residual(lo), 0.0);
        EXPECT_GT(residual(hi), 0.0);
        for (int i = 0; i < 400; ++i) {
            const double mid = 0.5 * (lo + hi);
            if (mid == lo || mid == hi) break;
            (residual(mid) < 0 ? lo : hi) = mid;
        }
        return sign * tube.Function(x - k * 0.5 * (lo + hi));
    }

    // Moves the loop filter on with the output the tube gave.
    void Accept(double output)
    {
        const double yNew = sign * output;
        lp = a1 * lp + a0 * (y + yNew);
        y = yNew;
    }

private:
    TubeParameters curve;
    Tube tube;  // used for its static curve only
    double a0, a1, k, sign;
    double lp = 0, y = 0;
};

TEST(Tube, EverySampleSolvesTheLoopEquation)
{
    std::mt19937 rng(11);
    for (double fs : {44100.0, 176400.0}) {
        std::vector<CurveCase> curves(std::begin(kSmoothCurves), std::end(kSmoothCurves));
        curves.insert(curves.end(), std::begin(kHardCurves), std::end(kHardCurves));
        for (const auto& c : curves) {
            for (double gain : {1.0, 8.0, 50.0}) {
                TubeParameters p{true, gain, gain > 10, c.clipping, c.symmetry, c.offset, true, -12.0, 550.0};
                if (gain == 1.0) {
                    p.shelf = -30.0;
                    p.frequency = 8000.0;
                }
                SCOPED_TRACE(testing::Message() << fs << " " << c.clipping << " " << c.symmetry << " "
                                                << c.offset << " " << gain);
                Tube t = settledTube(p, fs);
                LoopOracle oracle(p, fs);
                // Noise with bursts of every size drives both branches and the
                // knees between them.
                std::uniform_real_distribution<double> d(-1.0, 1.0);
                std::vector<double> in(3000);
                for (size_t i = 0; i < in.size(); ++i) in[i] = d(rng) * std::pow(10.0, -3.0 * ((i / 250) % 4) / 3.0);
                const auto out = runMono(processOf(t), in, BlockPlan::Random(300, 4));
                double worst = 0;
                for (size_t i = 0; i < in.size(); ++i) {
                    worst = std::max(worst, std::fabs(out[i] - oracle.Solve(in[i])));
                    oracle.Accept(out[i]);
                }
                EXPECT_LT(worst, 2e-14);  // tens of ulps of the shifted curve constants
            }
        }
    }
}

TEST(Tube, SmallSignalGainFollowsTheLoop)
{
    const double fs = 44100.0;
    for (double shelf : {-6.0, -12.0, -20.0}) {
        const TubeParameters p{true, 50.0, false, 0.9, 0.0, 0.0, true, shelf, 550.0};
        const double K = std::pow(10.0, -shelf / 20.0) - 1.0;
        const double w = kPi * p.frequency / fs;
        const double a0 = w / (1 + w), a1 = (1 - w) / (1 + w);
        for (double f : {10.0, 120.0, 550.0, 3000.0, 15000.0}) {
            // The loop is linear while the tube stays inside its knees:
            // y = g x - K H y with H the one-pole low-pass.
            const std::complex<double> z1 = std::polar(1.0, -2.0 * kPi * f / fs);
            const std::complex<double> H = a0 * (1.0 + z1) / (1.0 - a1 * z1);
            const double expected = p.gain / std::abs(1.0 + K * H);
            Tube t = settledTube(p, fs);
            const Response r = measureSine(processOf(t), fs, f, 0.002, 0.2, 0.2);
            EXPECT_NEAR(r.gain / expected, 1.0, 1e-9) << shelf << " " << f;
        }
        // Well below the corner the gain is lowered by the shelf, well above
        // it approaches the drive.
        Tube low = settledTube(p, fs);
        EXPECT_NEAR(measureSine(processOf(low), fs, 5.0, 0.002, 1.0, 0.4).gainDb(), dB(50.0) + shelf, 0.01);
        Tube high = settledTube(p, 176400.0);
        EXPECT_NEAR(measureSine(processOf(high), 176400.0, 60000.0, 0.002).gainDb(), dB(50.0), 0.02 * -shelf);
    }

    // Without the loop the gain is the drive; invert turns the phase round.
    Tube plain = settledTube({true, 20.0, true, 0.9, 0.0, 0.0, false, -12.0, 550.0});
    const Response r = measureSine(processOf(plain), fs, 200.0, 0.01);
    EXPECT_NEAR(r.gain, 20.0, 1e-9);
    EXPECT_NEAR(std::fabs(r.phase), kPi, 1e-9);
}

TEST(Tube, SilenceGivesExactSilence)
{
    for (const auto& c : kSmoothCurves) {
        for (bool dynamic : {false, true}) {
            Tube t = settledTube({true, 30.0, true, c.clipping, c.symmetry, c.offset, dynamic, -12.0, 550.0});
            const auto out = runMono(processOf(t), std::vector<double>(2000, 0.0), BlockPlan::Random(256));
            EXPECT_EQ(peak(out), 0.0) << c.clipping << " " << c.symmetry << " " << c.offset;
        }
    }
    // Gain 0 gives silence whatever comes in.
    Tube zero = settledTube({true, 0.0, true, 0.9, 0.3, 0.2, true, -12.0, 550.0});
    EXPECT_EQ(peak(runMono(processOf(zero), sine(44100, 440, 0.1, 0.9))), 0.0);
}

TEST(Tube, ParameterChangeHoldsOneMillisecondThenFadesOverTwenty)
{
    const double fs = 44100.0;
    const TubeParameters first{true, 50.0, true, 0.9, 0.0, 0.0, true, -12.0, 550.0};
    TubeParameters second = first;
    second.gain = 12.0;
    second.symmetry = 0.4;
    TubeParameters third = second;
    third.gain = 14.0;
    third.shelf = -3.0;

    const auto in = sine(fs, 330.0, 0.2, 0.05);
    const int change = 4410;  // block boundary for blocks of 63
    const int block = 63;
    const double step = 1.0 / (0.02 * fs);

    // The tube under test: a change at `change`, two more within the fade.
    Tube t = settledTube(first);
    std::vector<double> out = in;
    int firstFadeEnd = -1;
    for (int pos = 0; pos < int(out.size()); pos += block) {
        if (pos == change) t.SetParameters(second);
        if (pos == change + 4 * block) t.SetParameter(1, third.gain);
        if (pos == change + 6 * block) t.SetParameter(7, third.shelf);
        t.process(out.data() + pos, std::min(block, int(out.size()) - pos));
    }
    // References: the old bank runs on; each new bank starts from rest at the
    // start of its fade.
    const auto tail = [&](int from) { return std::vector<double>(in.begin() + from, in.end()); };
    Tube oldRef = settledTube(first);
    const auto oldOut = runMono(processOf(oldRef), in);
    Tube secondRef = settledTube(second);
    const auto secondOut = runMono(processOf(secondRef), tail(change));

    double position = 1.05;
    int i = change;
    for (; position >= 0; ++i) {
        const double w = std::min(1.0, position);
        const double expected = (1 - w) * secondOut[i - change] + w * oldOut[i];
        ASSERT_NEAR(out[i], expected, 1e-15) << i - change;
        if (i - change <= 44) {
            ASSERT_EQ(out[i], oldOut[i]) << "the first millisecond is the old bank";
        }
        position -= step;
    }
    firstFadeEnd = i;
    EXPECT_EQ(firstFadeEnd - change, 927);  // 1.05 * 882 samples, rounded up

    // The later changes wait for the block after the fade and come as one.
    const int secondStart = ((firstFadeEnd + block - 1) / block) * block;
    for (i = firstFadeEnd; i < secondStart; ++i) ASSERT_EQ(out[i], secondOut[i - change]);
    Tube thirdRef = settledTube(third);
    const auto thirdOut = runMono(processOf(thirdRef), tail(secondStart));
    position = 1.05;
    for (i = secondStart; position >= 0; ++i) {
        const double w = std::min(1.0, position);
        ASSERT_NEAR(out[i], (1 - w) * thirdOut[i - secondStart] + w * secondOut[i - change], 1e-15);
        position -= step;
    }
    for (; i < int(out.size()); ++i) ASSERT_EQ(out[i], thirdOut[i - secondStart]);
}

TEST(Tube, RefusesWhatIsNoSetting)
{
    Tube t;
    const TubeParameters before = t.GetParameters();
    for (double bad : {NAN, INFINITY, -INFINITY}) {
        for (int index : {1, 3, 4, 5, 7, 8, 9}) t.SetParameter(index, bad);
    }
    for (int index : {0, 2, 6}) t.SetParameter(index, NAN);
    t.SetParameter(3, -0.01);
    t.SetParameter(3, 1.01);
    t.SetParameter(4, 1.01);
    t.SetParameter(5, 1.0);
    t.SetParameter(5, -1.0);
    t.SetParameter(7, 0.0);
    t.SetParameter(7, 3.0);
    t.SetParameter(8, 0.0);
    t.SetParameter(8, -1.0);
    const TubeParameters after = t.GetParameters();
    EXPECT_EQ(after.gain, before.gain);
    EXPECT_EQ(after.invert, before.invert);
    EXPECT_EQ(after.clipping, before.clipping);
    EXPECT_EQ(after.symmetry, before.symmetry);
    EXPECT_EQ(after.offset, before.offset);
    EXPECT_EQ(after.dynamic, before.dynamic);
    EXPECT_EQ(after.shelf, before.shelf);
    EXPECT_EQ(after.frequency, before.frequency);
    EXPECT_TRUE(after.enable);

    t.SetParameter(5, -0.999);
    EXPECT_EQ(t.GetParameter(5), -0.999);

    // A negative gain sets invert, and a positive one never clears it.
    t.SetParameter(2, 0);
    t.SetParameter(1, -20);
    EXPECT_EQ(t.GetParameter(1), 20.0);
    EXPECT_EQ(t.GetParameter(2), 1.0);
    t.SetParameter(1, 30);
    EXPECT_EQ(t.GetParameter(2), 1.0);
    t.SetParameter(9, 6.0);
    EXPECT_NEAR(t.GetParameter(1), std::pow(10.0, 0.3), 1e-15);
    EXPECT_NEAR(t.GetParameter(9), 6.0, 1e-14);
}

TEST(Tube, ValuesBeyondTheirRangesAreStoredAsTheNearerEnd)
{
    const struct {
        int index;
        double value;
        int field;  // the index that reads the stored value
        double stored;
        bool inverts;
    } cases[] = {
        {1, 1e308, 1, Tube::kLargestGain, false},
        {1, -1e308, 1, Tube::kLargestGain, true},
        {1, 1e-310, 1, Tube::kSmallestGain, false},
        {1, 0.0, 1, 0.0, false},
        {9, 8000.0, 1, Tube::kLargestGain, false},  // 10^400 overflows
        {9, -8000.0, 1, 0.0, false},
        {7, -1e308, 7, Tube::kLowestShelf, false},
        {8, 1e-310, 8, kLowestFrequency, false},
        {8, 30000.0, 8, 30000.0, false},  // limited only where the loop is computed
        {8, 1e308, 8, 1e308, false},
        // The edges of the ranges themselves.
        {5, 0.9999999999999999, 5, 0.9999999999999999, false},
        {5, -0.9999999999999999, 5, -0.9999999999999999, false},
        {3, 0.0, 3, 0.0, false},
        {4, -1.0, 4, -1.0, false},
        {7, -1e-310, 7, -1e-310, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.index << " " << c.value);
        Tube t;
        t.SetParameter(2, 0.0);
        t.SetParameter(c.index, c.value);
        EXPECT_EQ(t.GetParameter(c.field), c.stored);
        EXPECT_EQ(t.GetParameter(2), c.inverts ? 1.0 : 0.0);
        Tube settled = settledTube(t.GetParameters());
        auto in = whiteNoise(2000, 1.0);
        in.resize(6000, 0.0);
        const auto out = runMono(processOf(settled), in);
        EXPECT_TRUE(allFinite(out));
        EXPECT_TRUE(noSubnormals(out));
    }
}

TEST(Tube, KeepsAFrequencyAboveHalfTheRateAndRunsItJustBelow)
{
    // The stored corner survives rate changes; in use it is 0.499 fs.
    const auto in = whiteNoise(3000, 0.5, 4);
    for (double fs : {8000.0, 44100.0, 48000.0}) {
        TubeParameters p;
        p.frequency = 30000.0;
        Tube kept = settledTube(p, 96000.0);
        kept.SetFs(fs);
        kept.Settle();
        EXPECT_EQ(kept.GetParameter(8), 30000.0);
        p.frequency = 0.499 * fs;
        Tube limited = settledTube(p, fs);
        EXPECT_EQ(runMono(processOf(kept), in), runMono(processOf(limited), in)) << fs;
    }
}

TEST(Tube, StaysFiniteForAnySettingAndInput)
{
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int trial = 0; trial < 60; ++trial) {
        const TubeParameters p{true,           std::pow(10.0, 4 * u(rng) - 1), u(rng) < 0.5, u(rng),
                               2 * u(rng) - 1, 1.998 * u(rng) - 0.999,         true,         -60 * u(rng) - 1e-3,
                               1 + 22000 * u(rng)};
        Tube t = settledTube(p);
        auto in = whiteNoise(2000, std::pow(10.0, 4 * u(rng) - 2), trial);
        in[100] = 1e6;
        in[101] = -1e6;
        const auto out = runMono(processOf(t), in, BlockPlan::Random(128, trial));
        ASSERT_TRUE(allFinite(out)) << trial;
        ASSERT_LE(peak(out), 2.0) << trial;
        ASSERT_TRUE(noSubnormals(out));
    }
}

TEST(Tube, SwitchedOffFadesOutThenPassesBlocksUntouched)
{
    Tube t;
    t.Settle();
    t.SetParameter(0, 0);
    runMono(processOf(t), sine(44100, 200, 0.021, 0.3));
    EXPECT_EQ(t.Bypass().running, 0);
    const auto in = sine(44100, 200, 0.05, 0.3);
    EXPECT_EQ(runMono(processOf(t), in), in);
}

TEST(GainStage, RunsFilterTubeFilterAndKeepsItsRecordEqualToItsParts)
{
    GainStageParameters p;
    p.preFilter = {true, Filter::kHighPass, 300.0, 0.7, 2.0};
    p.tube = {true, 20.0, true, 0.6, 0.3, 0.1, true, -9.0, 700.0};
    p.postFilter = {true, Filter::kLowPass, 5000.0, 0.9, -3.0};
    GainStage stage;
    stage.SetParameters(p);
    stage.Settle();

    Filter pre, post;
    pre.SetParameters(p.preFilter);
    post.SetParameters(p.postFilter);
    pre.Settle();
    post.Settle();
    Tube tube = settledTube(p.tube);

    const auto in = sine(44100, 440, 0.1, 0.2);
    const auto out = runMono([&](double* x, int n) { stage.process(x, n); }, in, BlockPlan::Random(200, 3));
    auto expected = in;
    pre.process(expected.data(), int(expected.size()));
    tube.process(expected.data(), int(expected.size()));
    post.process(expected.data(), int(expected.size()));
    for (size_t i = 0; i < in.size(); ++i) ASSERT_NEAR(out[i], expected[i], 1e-13) << i;

    // The index map, and refused values leaving the record as the parts hold it.
    stage.SetParameter(3, -300.0);    // pre filter frequency
    stage.SetParameter(8, 1.5);       // tube clipping
    stage.SetParameter(19, NAN);      // post filter level
    stage.SetParameter(20, 1.0);
    stage.SetParameter(-1, 1.0);
    const GainStageParameters r = stage.GetParameters();
    EXPECT_EQ(r.preFilter.frequency, 300.0);
    EXPECT_EQ(r.tube.clipping, 0.6);
    EXPECT_EQ(r.postFilter.level, -3.0);
    stage.SetParameter(3, 900.0);
    stage.SetParameter(13, -4.0);
    stage.SetParameter(17, 2.5);
    EXPECT_EQ(stage.GetParameters().preFilter.frequency, 900.0);
    EXPECT_EQ(stage.GetParameters().tube.shelf, -4.0);
    EXPECT_EQ(stage.GetParameters().postFilter.frequency, 2.5);
    EXPECT_EQ(stage.GetParameter(13), -4.0);

    // Off: fades out, then the owner skips it.
    stage.SetParameter(0, 0.2);
    EXPECT_FALSE(stage.GetParameters().enable);
    EXPECT_TRUE(stage.IsNotBypassed());
    runMono([&](double* x, int n) { stage.process(x, n); }, in);
    EXPECT_FALSE(stage.IsNotBypassed());
}
