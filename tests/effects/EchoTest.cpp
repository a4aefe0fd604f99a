// The echo: its repeats against the style filters applied independently,
// at every rate up to 384 kHz; feedback, ping-pong, switching with and
// without tails, fractional delays and the energy that decides when it
// stops.

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "DspTestKit.h"
#include "effects/Echo.h"
#include "dsp/Filter.h"
#include "dsp/ParameterRules.h"
#include "dsp/RangeHelpers.h"

using namespace tonewright;

using namespace testkit;

namespace {

struct EchoSetup {
    double fs = 44100.0;
    int type = 0;
    double delay = 0.25;
    double feedback = 0.0;
    double directlevel = 0.0;
    double delaylevel = 0.0;
    double style = 1.0;
    bool filterInput = false;
    bool tails = true;
};

void configure(Echo& e, const EchoSetup& s)
{
    e.SetFs(s.fs);
    e.SetParameter(1, s.type);
    e.SetParameter(2, s.delay);
    e.SetParameter(3, s.feedback);
    e.SetParameter(4, s.directlevel);
    e.SetParameter(5, s.delaylevel);
    e.SetParameter(6, s.style);
    e.SetParameter(7, s.filterInput ? 1.0 : 0.0);
    e.SetParameter(8, s.tails ? 1.0 : 0.0);
    e.Settle();
}

// The repeats' path: low-pass, then band-pass, as the style sets them.
std::vector<double> styled(const std::vector<double>& x, double fs, double style)
{
    Filter low, band;
    low.SetFs(fs);
    band.SetFs(fs);
    low.SetParameters({true, Filter::kLowPass, rangeLog(style, 250, 18000), 0.7071, 0.0});
    band.SetParameters({true, Filter::kBandPass, 1000.0, range(1 - std::fabs(2 * style - 1), 0.001, 1), 0.0});
    low.Settle();
    band.Settle();
    std::vector<double> y = x;
    low.process(y.data(), int(y.size()));
    band.process(y.data(), int(y.size()));
    return y;
}

std::vector<double> burst(size_t total, size_t length, unsigned seed)
{
    auto v = whiteNoise(int(length), 0.5, seed);
    v.resize(total, 0.0);
    return v;
}

double peakAround(const std::vector<double>& v, size_t at, size_t width = 40)
{
    return peak(v, at > width ? at - width : 0, at + width);
}

}  // namespace

TEST(Echo, RepeatsAreTheStyledInputAtTheSetDelayAtEveryRate)
{
    for (const EchoSetup s : {EchoSetup{44100, 0, 0.25, 0, 0, 0, 0.3}, EchoSetup{96000, 0, 0.5, 0, 0, 0, 0.7},
                              EchoSetup{192000, 0, 1.0, 0, 0, 0, 0.3}, EchoSetup{384000, 0, 1.0, 0, 0, 0, 0.5}}) {
        SCOPED_TRACE(s.fs);
        Echo e;
        configure(e, s);
        const size_t delay = size_t(std::lround(s.delay * s.fs)) + 1;  // read one sample old
        const size_t total = delay + 4000;
        const auto inL = burst(total, 1500, 1), inR = burst(total, 1500, 2);
        std::vector<double> l = inL, r = inR;
        forEachBlock(int(total), BlockPlan::Random(4096, 3),
                     [&](int pos, int n) { e.process(l.data() + pos, r.data() + pos, n); });
        const auto refL = styled(inL, s.fs, s.style), refR = styled(inR, s.fs, s.style);
        const double makeUp = rangeDb(s.style, 12, 0);
        for (size_t n = 0; n < total; ++n) {
            const double wl = n >= delay ? makeUp * refL[n - delay] : 0.0;
            const double wr = n >= delay ? makeUp * refR[n - delay] : 0.0;
            ASSERT_NEAR(l[n], inL[n] + wl, 1e-12) << n;
            ASSERT_NEAR(r[n], inR[n] + wr, 1e-12) << n;
        }
        EXPECT_GT(peak(l, delay, delay + 1500), 0.1);
    }

    // Mono, with the direct signal through the style filters at its own
    // levels.
    const EchoSetup s{48000, 0, 0.1, 0, -6, 3, 0.4, true};
    Echo e;
    configure(e, s);
    const auto in = burst(8000, 1500, 4);
    const auto out = runMono([&e](double* x, int n) { e.process(x, n); }, in, BlockPlan::Random(700, 5));
    Filter low, band;
    low.SetFs(s.fs);
    band.SetFs(s.fs);
    low.SetParameters({true, Filter::kLowPass, rangeLog(s.style, 250, 18000), 0.7071, 0.0});
    band.SetParameters({true, Filter::kBandPass, 1000.0, range(1 - std::fabs(2 * s.style - 1), 0.001, 1),
                        range(s.style, 12, 0)});
    low.Settle();
    band.Settle();
    std::vector<double> direct = in;
    low.process(direct.data(), int(direct.size()));
    band.process(direct.data(), int(direct.size()));
    const auto wet = styled(in, s.fs, s.style);
    const double gd = std::pow(10, -6 / 20.0), gw = std::pow(10, 3 / 20.0) * rangeDb(s.style, 12, 0);
    for (size_t n = 0; n < out.size(); ++n)
        ASSERT_NEAR(out[n], gd * direct[n] + (n >= 4801 ? gw * wet[n - 4801] : 0.0), 1e-12) << n;
}

TEST(Echo, FeedbackSetsTheLevelOfEachRepeat)
{
    const double fs = 44100.0;
    Echo e;
    configure(e, {fs, 0, 0.2, 0.6, 0, -6, 1.0});
    auto in = sine(fs, 1000.0, 0.1, 0.5);
    in.resize(size_t(1.2 * fs), 0.0);
    const auto out = runMono([&e](double* x, int n) { e.process(x, n); }, in, BlockPlan::Fixed(512));
    // Each pass through the repeats' filters at 1 kHz.
    Filter low;
    low.SetParameters({true, Filter::kLowPass, 18000.0, 0.7071, 0.0});
    low.Settle();
    const double pass = measureSine([&low](double* x, int n) { low.process(x, n); }, fs, 1000.0).gain;
    const size_t d = 8821;
    double previous = 0;
    for (int k = 1; k <= 4; ++k) {
        const double a = fitSine(out, k * d + 500, k * d + 3500, fs, 1000.0).amplitude;
        const double expected = 0.5 * std::pow(10, -6 / 20.0) * std::pow(0.6, k - 1) * std::pow(pass, k);
        EXPECT_NEAR(a, expected, 1e-4 * expected) << k;
        if (k > 1) {
            EXPECT_NEAR(a / previous, 0.6 * pass, 1e-4);
        }
        previous = a;
        // Between repeats only the band-pass's slow low-frequency tail.
        EXPECT_LT(peak(out, k * d - 2500, k * d - 100), 1e-3) << k;
    }
}

TEST(Echo, PingPongAlternatesTheSides)
{
    const double fs = 44100.0;
    const size_t d = 4411;
    for (double feedback : {0.5, 0.0}) {
        Echo e;
        configure(e, {fs, 1, 0.1, feedback});
        std::vector<double> l = impulse(int(5 * d)), r = l;
        forEachBlock(int(l.size()), BlockPlan::Random(1000, 6),
                     [&](int pos, int n) { e.process(l.data() + pos, r.data() + pos, n); });
        // The summed input enters the left line only; each line's repeats
        // feed the other.
        // (Beside a repeat only the band-pass's slow low-frequency tail.)
        EXPECT_GT(peakAround(l, d), 0.9);
        EXPECT_EQ(peakAround(r, d), 0.0);
        for (int k = 2; k <= 4; ++k) {
            const auto& loud = k % 2 ? l : r;
            const auto& quiet = k % 2 ? r : l;
            if (feedback > 0) {
                EXPECT_GT(peakAround(loud, k * d), 0.9 * std::pow(0.5, k - 1) / std::sqrt(2.0)) << k;
            } else {
                EXPECT_LT(peakAround(loud, k * d), 1e-3) << k;
            }
            EXPECT_LT(peakAround(quiet, k * d), 1e-3) << k;
        }
    }
    // Mono with type 1 hears only the left line: every second repeat.
    Echo m;
    configure(m, {fs, 1, 0.1, 0.5});
    const auto out = runMono([&m](double* x, int n) { m.process(x, n); }, impulse(int(5 * d)));
    EXPECT_GT(peakAround(out, d), 0.4);
    EXPECT_LT(peakAround(out, 2 * d), 1e-3);
    EXPECT_GT(peakAround(out, 3 * d), 0.1);
    EXPECT_LT(peakAround(out, 4 * d), 1e-3);
}

TEST(Echo, SwitchedOffTheTailsRingOutWhileTheInputPassesDryThenItStops)
{
    const double fs = 44100.0;
    const std::vector<double> first = burst(size_t(4 * fs), size_t(0.05 * fs), 7);
    std::vector<double> withLater = first;
    const auto later = whiteNoise(int(0.03 * fs), 0.5, 8);  // arrives after switching off
    std::copy(later.begin(), later.end(), withLater.begin() + long(0.26 * fs));

    std::vector<double> wet[2];
    size_t stoppedAt = 0;
    for (int run = 0; run < 2; ++run) {
        Echo e;
        configure(e, {fs, 0, 0.1, 0.5});
        const auto& in = run ? withLater : first;
        std::vector<double> out = in;
        forEachBlock(int(in.size()), BlockPlan::Fixed(256), [&](int pos, int n) {
            if (pos == 256 * 10) e.SetParameter(0, 0.0);  // at 58 ms, after the burst
            e.process(out.data() + pos, n);
            if (run && !stoppedAt && !e.IsRunning()) stoppedAt = size_t(pos + n);
            EXPECT_GE(e.Energy(), 0.0);
        });
        wet[run].resize(in.size());
        for (size_t i = 0; i < in.size(); ++i) wet[run][i] = out[i] - in[i];
        if (run) {
            // Once the tails are below the limit the echo stops and costs
            // nothing: blocks pass untouched.
            ASSERT_GT(stoppedAt, 0u);
            EXPECT_LT(e.Energy(), Echo::kSilentEnergy);
            EXPECT_EQ(std::vector<double>(out.begin() + long(stoppedAt), out.end()),
                      std::vector<double>(in.begin() + long(stoppedAt), in.end()));
        }
    }
    // The old repeats go on at every delay time...
    EXPECT_GT(peak(wet[1], size_t(0.3 * fs), size_t(0.35 * fs)), 0.05);
    EXPECT_GT(peak(wet[1], size_t(0.4 * fs), size_t(0.45 * fs)), 0.02);
    // ...but what arrives after switching off only passes through: the
    // repeats are those of a run without it.
    for (size_t i = 0; i < first.size(); ++i) ASSERT_NEAR(wet[1][i], wet[0][i], 1e-15) << i;
}

TEST(Echo, WithoutTailsTheRepeatsAreMutedAndDoNotComeBack)
{
    const double fs = 44100.0;
    for (bool tails : {false, true}) {
        SCOPED_TRACE(tails);
        Echo e;
        configure(e, {fs, 0, 0.1, 0.8, 0, 0, 1.0, false, tails});
        auto in = burst(size_t(0.05 * fs), size_t(0.05 * fs), 9);
        runMono([&e](double* x, int n) { e.process(x, n); }, in, BlockPlan::Fixed(256));
        e.SetParameter(0, 0.0);
        const auto noise = whiteNoise(int(0.2 * fs), 0.3, 10);
        const auto passed = runMono([&e](double* x, int n) { e.process(x, n); }, noise, BlockPlan::Fixed(256));
        if (!tails) {
            // Muted after the 30 ms glide: the input passes exactly.
            const size_t after = size_t(0.035 * fs);
            EXPECT_EQ(std::vector<double>(passed.begin() + long(after), passed.end()),
                      std::vector<double>(noise.begin() + long(after), noise.end()));
            EXPECT_TRUE(e.IsRunning());  // the lines still decay in the background
        }
        e.SetParameter(0, 1.0);
        const auto after = runMono([&e](double* x, int n) { e.process(x, n); }, std::vector<double>(size_t(0.3 * fs)),
                                   BlockPlan::Fixed(256));
        if (tails) {
            EXPECT_GT(peak(after), 0.01);  // the old repeats carry on
        } else {
            EXPECT_EQ(peak(after), 0.0);  // nothing old is heard
        }
    }
}

TEST(Echo, AGlideEndingBetweenSamplesKeepsReadingThatPoint)
{
    const double fs = 44100.0;
    Echo e;
    configure(e, {fs, 0, 0.2, 0.0});
    const double target = 0.2 + 10.44 / fs;
    const auto in = whiteNoise(int(2.6 * fs), 0.5, 11);
    std::vector<double> out = in;
    e.process(out.data(), 1000);
    e.SetParameter(2, target);
    forEachBlock(int(in.size()) - 1000, BlockPlan::Random(512, 12),
                 [&](int pos, int n) { e.process(out.data() + 1000 + pos, n); });
    const auto ref = styled(in, fs, 1.0);
    const double d = target * fs;
    const int i = int(d);
    const double f = d - i;
    // After the one-second glide has ended, every read interpolates at the
    // target's fraction.
    for (size_t n = size_t(2.2 * fs); n < in.size(); ++n) {
        const double wet = (1 - f) * ref[n - 1 - size_t(i)] + f * ref[n - 2 - size_t(i)];
        ASSERT_NEAR(out[n] - in[n], wet, 1e-9) << n;
    }
    EXPECT_GT(f, 0.4);
}

TEST(Echo, EnergyStaysFiniteAndNeverNegative)
{
    Echo e;
    configure(e, {44100, 1, 0.05, 0.9});
    std::mt19937 rng(13);
    std::uniform_real_distribution<double> level(-8, 1);
    std::vector<double> l(512), r(512);
    for (int block = 0; block < 2000; ++block) {
        const double amplitude = std::pow(10.0, level(rng));
        const auto noise = whiteNoise(512, amplitude, unsigned(block));
        std::copy(noise.begin(), noise.end(), l.begin());
        std::reverse_copy(noise.begin(), noise.end(), r.begin());
        if (block % 97 == 3) e.SetParameter(0, e.GetParameter(0) > 0.5 ? 0.0 : 1.0);
        e.process(l.data(), r.data(), 512);
        ASSERT_GE(e.Energy(), 0.0) << block;
        ASSERT_TRUE(std::isfinite(e.Energy())) << block;
    }
    // Samples whose squares overflow: the lines are emptied rather than
    // left with an energy that can never fall again.
    std::fill(l.begin(), l.end(), 1e200);
    std::fill(r.begin(), r.end(), -1e200);
    e.process(l.data(), r.data(), 512);
    EXPECT_TRUE(std::isfinite(e.Energy()));
    EXPECT_GE(e.Energy(), 0.0);
    e.SetParameter(0, 0.0);
    e.SetParameter(3, 0.3);
    for (int block = 0; block < 400; ++block) {
        std::fill(l.begin(), l.end(), 0.0);
        std::fill(r.begin(), r.end(), 0.0);
        e.process(l.data(), r.data(), 512);
    }
    EXPECT_TRUE(allFinite(l) && allFinite(r));
    EXPECT_FALSE(e.IsRunning());
}

TEST(Echo, SwitchedOnFromStoppedTheDelayTakesItsSettingAtOnce)
{
    const double fs = 44100.0;
    Echo e;
    configure(e, {fs, 0, 0.25, 0.0});
    e.SetParameter(0, 0.0);
    std::vector<double> quiet(512, 0.0);
    for (int k = 0; k < 10; ++k) e.process(quiet.data(), 512);  // past the 30 ms switching glide
    ASSERT_FALSE(e.IsRunning());
    // Set while stopped: there is nothing in the lines to bend.
    e.SetParameter(2, 0.1);
    e.SetParameter(0, 1.0);
    const size_t start = size_t(0.05 * fs);  // after the 30 ms fade-in
    std::vector<double> in(start + 8000, 0.0);
    const auto noise = whiteNoise(1500, 0.5, 14);
    std::copy(noise.begin(), noise.end(), in.begin() + long(start));
    const auto out = runMono([&e](double* x, int n) { e.process(x, n); }, in, BlockPlan::Fixed(256));
    const auto ref = styled(in, fs, 1.0);
    for (size_t n = start; n < in.size(); ++n)
        ASSERT_NEAR(out[n] - in[n], n >= 4411 ? ref[n - 4411] : 0.0, 1e-12) << n;
}

TEST(Echo, StyleMakeUpGainFollowsAtOnceDuringADelayGlide)
{
    // A 100 Hz tone, which the style's sections pass alike at styles 0 and 1,
    // so the repeats' level is the make-up gain: 0 dB at style 1, +12 dB at
    // style 0, within 100 ms of the change, although the delay glide started
    // just before lasts about 1.9 s.
    for (double fs : {44100.0, 96000.0}) {
        SCOPED_TRACE(fs);
        Echo e;
        configure(e, {fs, 0, 0.3, 0.0, kLowestLevelDb, 0.0, 1.0, false});
        const auto in = sine(fs, 100.0, 1.2, 0.25);
        const int block = 64;
        const size_t glideAt = size_t(0.5 * fs) / block * block, styleAt = glideAt + size_t(0.05 * fs) / block * block;
        std::vector<double> out = in;
        forEachBlock(int(in.size()), BlockPlan::Fixed(block), [&](int pos, int n) {
            if (size_t(pos) == glideAt) e.SetParameter(2, 0.31);
            if (size_t(pos) == styleAt) e.SetParameter(6, 0.0);
            e.process(&out[size_t(pos)], n);
        });
        const auto levelDb = [&](size_t from, double seconds) {
            const size_t to = from + size_t(seconds * fs);
            return dB(rms(out, from, to) / rms(in, from, to));
        };
        EXPECT_NEAR(levelDb(glideAt - size_t(0.1 * fs), 0.1), 0.0, 0.05);
        EXPECT_NEAR(levelDb(styleAt + size_t(0.1 * fs), 0.2), 12.0, 0.2);
    }
}

TEST(Echo, BlocksGiveExactlyTheSamplesOfOneSampleAtATime)
{
    // Short delays at a low rate make the runs of a block shorter than it.
    for (auto [fs, delay, type] : {std::tuple(44100.0, 0.01, 1), std::tuple(8000.0, 0.0123, 0),
                                   std::tuple(96000.0, 0.3, 1)}) {
        const size_t length = size_t(0.5 * fs);
        for (bool stereo : {true, false}) {
            SCOPED_TRACE(fs + stereo);
            Echo one, block;
            for (Echo* e : {&one, &block}) {
                configure(*e, {fs, stereo ? type : 0, delay, 0.8, -3.0, 2.0, 0.4, true, true});
                if (stereo) e->Reserve(1500);  // and the mono form without
            }
            const auto d = blocksAgainstSamples(block, one, burst(length, 700, 21),
                                                stereo ? burst(length, 900, 22) : std::vector<double>{},
                                                BlockPlan::Random(1500, 23), length / 2);
            EXPECT_EQ(d.worst, 0.0);
            EXPECT_GT(d.tailPeak, 1e-5);  // repeats still circulate
        }
    }
}
