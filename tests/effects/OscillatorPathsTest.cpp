// The oscillators' batched sines against the C library, and the modulation
// effects' steady paths against their per-sample formulas written out with
// the C library's sin and cos, over random block lengths.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "DspTestKit.h"
#include "dsp/RangeHelpers.h"
#include "dsp/WideVectors.h"
#include "effects/Chorus.h"
#include "effects/Flanger.h"
#include "effects/FunctionGenerator.h"
#include "effects/Phaser.h"
#include "effects/Sines.h"

using namespace tonewright;
using namespace testkit;

namespace {

double ulpsApart(double got, double want)
{
    if (got == want) return 0.0;
    return std::fabs(got - want) / std::fabs(std::nextafter(want, INFINITY) - want);
}

void expectNear(const std::vector<double>& got, const std::vector<double>& want, double relative)
{
    ASSERT_EQ(got.size(), want.size());
    double worst = 0.0;
    size_t at = 0;
    for (size_t i = 0; i < got.size(); ++i)
        if (std::fabs(got[i] - want[i]) > worst) worst = std::fabs(got[i] - want[i]), at = i;
    EXPECT_LE(worst, relative * peak(want)) << "at sample " << at;
    EXPECT_GT(peak(want), 0.05);
}

// A circular line read as the formulas say: d samples before index w, by
// linear interpolation between floor(d) and the sample before it.
struct Line {
    std::vector<double> data;
    int mask;
    explicit Line(int length) : data(size_t(length), 0.0), mask(length - 1) {}
    double& at(int i) { return data[size_t(i & mask)]; }
    double read(int w, double d)
    {
        d = std::clamp(d, 0.0, double(mask - 1));
        const int i = int(std::floor(d));
        const double f = d - i;
        return (1 - f) * at(w - i) + f * at(w - i - 1);
    }
};

// The chorus of its formulas: sin(phi + offset) for the voice phases 0,
// 270, 0, 180, 90 degrees, written as s, -c, s, -s, c.
struct ChorusFormula {
    double fs, amount, base, mix, gains[5];
    Line left, right;
    int w = 0;
    double phi = 0.0, increment;
    ChorusFormula(double rate, int type, double speed, double depth, double m, double delay, int length)
        : fs(rate), mix(m), left(length), right(length)
    {
        static const double kGains[3][5] = {{1, 0, 1, 0, 0}, {1, 0, 0, 1, 0}, {0.5, 0.5, 0, 0.5, 0.5}};
        increment = 2 * kPi * speed / fs;
        amount = (range(depth, 1.0, 1.02) - 1.0) / increment;
        base = delay * fs;
        for (int v = 0; v < 5; ++v) gains[v] = kGains[type][v];
    }
    void process(double* l, double* r, int n)
    {
        for (int i = 0; i < n; ++i) {
            w = (w + 1) & left.mask;
            left.at(w) = l[i];
            right.at(w) = r ? r[i] : l[i];
            phi += increment;
            const double s = std::sin(phi), c = std::cos(phi);
            const double sweep[5] = {s, -c, s, -s, c};
            double tap[5];
            for (int v = 0; v < 5; ++v) tap[v] = (v < 2 ? left : right).read(w, (sweep[v] + 1) * amount + base);
            const double wetL = gains[0] * tap[0] + gains[1] * tap[1];
            const double wetR = gains[2] * tap[2] + gains[3] * tap[3] + gains[4] * tap[4];
            if (r) {
                l[i] = (1 - mix) * l[i] + mix * wetL;
                r[i] = (1 - mix) * r[i] + mix * wetR;
            } else {
                l[i] = (1 - mix) * l[i] + 0.5 * mix * (wetL + wetR);
            }
        }
        while (phi >= 2 * kPi) phi -= 2 * kPi;
    }
};

struct FlangerFormula {
    double fs, centre, swing, wet, sign, regeneration, increment;
    int type;
    Line left, right;
    int w = 0;
    double phi = 0.0;
    FlangerFormula(double rate, int t, double speed, double depth, double delay, double sweep, double regen,
                   bool invert, int length)
        : fs(rate), centre(delay * rate), swing(delay * rate * sweep), wet(0.5 * depth), sign(invert ? -1 : 1),
          regeneration(regen), increment(2 * kPi * speed / rate), type(t), left(length), right(length)
    {
    }
    void process(double* l, double* r, int n)
    {
        for (int i = 0; i < n; ++i) {
            phi += increment;
            const double d1 = swing * std::sin(phi) + centre;
            const double d2 = swing * std::sin(phi + kPi / 2) + centre;
            const double tapL = left.read(w, d1);
            const double rmix = type == 0 ? right.read(w, d1) : right.read(w, d2);
            const double inL = l[i], inR = r ? r[i] : l[i];
            w = (w + 1) & left.mask;
            left.at(w) = inL + regeneration * tapL;
            right.at(w) = inR + regeneration * rmix;
            if (r) {
                l[i] = (1 - wet) * inL + sign * wet * tapL;
                r[i] = (1 - wet) * inR + sign * wet * rmix;
            } else {
                l[i] = (1 - wet) * inL + 0.5 * sign * wet * (tapL + rmix);
            }
        }
        while (phi >= 2 * kPi) phi -= 2 * kPi;
    }
};

// Sections of base frequency f0 and radius r in chains of `count`, swept by
// the exponential triangle oscillator; type 1's right chain by 3 - m.
struct PhaserFormula {
    struct Section {
        double w0, r, x1 = 0, x2 = 0, y1 = 0, y2 = 0;
        double step(double x, double position, double span)
        {
            const double c = -2 * r * std::cos(position * (span - 1) * w0 + (2 - span) * w0);
            const double y = r * r * (x - y2) + c * (x1 - y1) + x2;
            y2 = y1, x2 = x1, y1 = y, x1 = x;
            return y;
        }
    };
    std::vector<Section> leftChain, rightChain;
    double up, scale, depth, regeneration, m = 1.0, feedbackL = 0, feedbackR = 0;
    bool rising = true, against;
    PhaserFormula(double fs, int type, double speed, double d, double sweep, double regen, int stages)
        : up(std::pow(2.0, 2 * speed / fs)), scale(sweep), depth(d), regeneration(regen), against(type == 1)
    {
        const double base[6] = {300, 1000, 800, 4000, 450, 2650};
        const double radius[6] = {0.9, 0.95, 0.8, 0.9, 0.95, 0.9};
        for (int p = 0; p < 2 + 2 * stages; ++p) leftChain.push_back({2 * kPi * base[p] / fs, radius[p]});
        rightChain = leftChain;
    }
    void process(double* l, double* r, int n)
    {
        for (int i = 0; i < n; ++i) {
            if (rising) {
                m *= up;
                if (m >= 2) rising = false;
            } else {
                m *= 1.0 / up;
                if (m <= 1) rising = true;
            }
            double s = feedbackL * regeneration + l[i];
            for (auto& section : leftChain) s = section.step(s, m, scale);
            feedbackL = s;
            l[i] += depth * s;
            if (!r) continue;
            s = feedbackR * regeneration + r[i];
            for (auto& section : rightChain) s = section.step(s, against ? 3 - m : m, scale);
            feedbackR = s;
            r[i] += depth * s;
        }
    }
};

template <class Effect, class Formula>
void expectFollowsFormula(Effect& effect, Formula& formula, bool stereo, double relative)
{
    const int length = 44100;
    std::vector<double> l = whiteNoise(length, 0.5, 3), r = whiteNoise(length, 0.5, 4);
    std::vector<double> wantL = l, wantR = r;
    forEachBlock(length, BlockPlan::Random(700, 5), [&](int at, int n) {
        if (stereo) {
            effect.process(&l[size_t(at)], &r[size_t(at)], n);
            formula.process(&wantL[size_t(at)], &wantR[size_t(at)], n);
        } else {
            effect.process(&l[size_t(at)], n);
            formula.process(&wantL[size_t(at)], nullptr, n);
        }
    });
    expectNear(l, wantL, relative);
    if (stereo) expectNear(r, wantR, relative);
}

}  // namespace

TEST(Sines, WithinAnUlpOfTheCLibraryOnEveryPathAndOneAtATime)
{
    std::mt19937_64 rng(7);
    for (double reach : {1.0, 7.0, 100.0, 2e4}) {
        SCOPED_TRACE(reach);
        std::uniform_real_distribution<double> angle(-reach, reach);
        std::vector<double> x(4099);
        for (double& v : x) v = angle(rng);
        std::vector<double> s(x.size()), c(x.size()), s2(x.size()), c2(x.size()), onlyC(x.size());
        sines::sinCos(x.data(), s.data(), c.data(), int(x.size()));
        sines::cos(x.data(), onlyC.data(), int(x.size()));
        AllowWideVectors(false);
        sines::sin(x.data(), s2.data(), int(x.size()));
        sines::sinCos(x.data(), nullptr, c2.data(), int(x.size()));
        AllowWideVectors(true);
        double worst = 0.0;
        for (size_t i = 0; i < x.size(); ++i) {
            worst = std::max({worst, ulpsApart(s[i], std::sin(x[i])), ulpsApart(c[i], std::cos(x[i]))});
            ASSERT_EQ(s[i], s2[i]) << x[i];
            ASSERT_EQ(c[i], c2[i]) << x[i];
            ASSERT_EQ(c[i], onlyC[i]) << x[i];
            ASSERT_EQ(s[i], sines::sin(x[i])) << x[i];
            ASSERT_EQ(c[i], sines::cos(x[i])) << x[i];
        }
        EXPECT_LE(worst, 1.0);
    }
    // A section's cosine terms: the angle and product as written.
    std::vector<double> m(1001), terms(m.size()), portable(m.size());
    for (size_t i = 0; i < m.size(); ++i) m[i] = 1.0 + double(i) / 1000.0;
    for (auto [a, b] : {std::pair(0.0427, 0.0427), std::pair(1.9, -0.3), std::pair(4e4, 1.0)}) {
        sines::scaledCos(m.data(), a, b, -1.8, terms.data(), int(m.size()));
        AllowWideVectors(false);
        sines::scaledCos(m.data(), a, b, -1.8, portable.data(), int(m.size()));
        AllowWideVectors(true);
        for (size_t i = 0; i < m.size(); ++i) ASSERT_EQ(terms[i], -1.8 * sines::cos(m[i] * a + b)) << m[i];
        EXPECT_EQ(terms, portable);
    }
    // Wide angles are the C library's own; zeros keep their sign.
    for (double v : {1e6, -3e7, 1e300}) {
        EXPECT_EQ(sines::sin(v), std::sin(v));
        EXPECT_EQ(sines::cos(v), std::cos(v));
    }
    EXPECT_TRUE(std::signbit(sines::sin(-0.0)));
    EXPECT_EQ(sines::cos(0.0), 1.0);
    EXPECT_TRUE(std::isnan(sines::sin(INFINITY)) && std::isnan(sines::cos(NAN)));
}

TEST(Sines, TurnedCosinesStayWithinTwoUlpsOfTheDirectOnesOnEveryPath)
{
    // Runs of control values spread up to the limit over angles in every
    // quadrant, rising, falling and turning round; any length.
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> base(-7.0, 7.0), slope(-1.0, 1.0);
    for (int run = 0; run < 400; ++run) {
        const int n = 1 + run % 37;
        const double a = run % 3 ? 0.5 + run / 100.0 : -2.2, b = base(rng);
        std::vector<double> x(static_cast<size_t>(n));
        const double x0 = 1.0 + run / 400.0, step = slope(rng) * sines::kNear / (std::fabs(a) * n);
        for (int i = 0; i < n; ++i) x[size_t(i)] = x0 + step * (run % 2 ? i : std::abs(i - n / 2));
        const double t0 = x[0] * a + b;
        std::vector<double> direct(x.size()), turned(x.size()), portable(x.size());
        sines::scaledCos(x.data(), a, b, -1.7, direct.data(), n);
        sines::scaledCosNear(x.data(), a, b, -1.7, sines::sin(t0), sines::cos(t0), turned.data(), n);
        AllowWideVectors(false);
        sines::scaledCosNear(x.data(), a, b, -1.7, sines::sin(t0), sines::cos(t0), portable.data(), n);
        AllowWideVectors(true);
        EXPECT_EQ(turned, portable);
        for (int i = 0; i < n; ++i)
            ASSERT_LE(std::fabs(turned[size_t(i)] - direct[size_t(i)]), 2.0 * 1.7 * 0x1p-53) << run << " " << i;
    }
}

TEST(Sines, OscillatorRunsNearTheirFirstAngleAreTurnedFromIt)
{
    // Phase runs of every length at increments up to and past the limit,
    // in every quadrant, and the same runs in place.
    for (double increment : {1e-5, 7e-4, sines::kNear / 31.0, sines::kNear / 20.0, 0.3}) {
        for (int n = 1; n <= 40; ++n) {
            const double start = -6.0 + n * 0.33;
            std::vector<double> x(static_cast<size_t>(n));
            for (int i = 0; i < n; ++i) x[size_t(i)] = start + i * increment;
            std::vector<double> s(x.size()), c(x.size()), s2(x.size()), c2(x.size()), ws(x.size()), wc(x.size());
            sines::sinCos(x.data(), ws.data(), wc.data(), n);
            sines::sinCosNear(x.data(), s.data(), c.data(), n);
            AllowWideVectors(false);
            sines::sinCosNear(x.data(), s2.data(), nullptr, n);
            sines::sinCosNear(x.data(), nullptr, c2.data(), n);
            AllowWideVectors(true);
            EXPECT_EQ(s, s2);
            EXPECT_EQ(c, c2);
            const bool near = (n - 1) * increment <= sines::kNear;
            for (int i = 0; i < n; ++i) {
                ASSERT_LE(std::fabs(s[size_t(i)] - ws[size_t(i)]), 2.0 * 0x1p-53) << increment << " " << n << " " << i;
                ASSERT_LE(std::fabs(c[size_t(i)] - wc[size_t(i)]), 2.0 * 0x1p-53) << increment << " " << n << " " << i;
                if (!near) {
                    ASSERT_EQ(s[size_t(i)], ws[size_t(i)]);
                }
            }
            std::vector<double> inPlace = x;
            sines::sinCosNear(inPlace.data(), inPlace.data(), nullptr, n);
            EXPECT_EQ(inPlace, s);
        }
    }
}

TEST(FunctionGenerator, BlocksGiveTheSamplesOfOneOutputAtATimeToAnUlpOrTwo)
{
    // Blocks turn their sines from a run's first angle when the wave moves
    // little (1 Hz), and compute each at faster speeds (7.3 Hz); the
    // trapezoids have no sines.
    for (auto [shape, hz] : {std::pair(0.0, 7.3), std::pair(0.2, 7.3), std::pair(0.49, 1.0), std::pair(0.2, 1.0),
                             std::pair(0.5, 7.3), std::pair(0.9, 7.3)}) {
        SCOPED_TRACE(shape);
        SCOPED_TRACE(hz);
        FunctionGenerator one, block;
        for (FunctionGenerator* g : {&one, &block}) {
            g->SetFs(48000);
            g->SetFrequency(hz);
            g->SetAmplitude(0.4);
            g->SetOffset(0.6);
            g->SetWaveShape(shape);
            g->SetPhase(0.5);
            g->Reset();
        }
        const int length = 100000;
        std::vector<double> wantA(length), wantB(length), a(length, 1.0), b(length, 1.0);
        for (int i = 0; i < length; ++i) one.Output(&wantA[size_t(i)], &wantB[size_t(i)]);
        forEachBlock(length, BlockPlan::Random(300, 9), [&](int at, int n) { block.Modulate(&a[size_t(at)], &b[size_t(at)], n); });
        expectNear(a, wantA, 3e-16);
        expectNear(b, wantB, 3e-16);
        // The mono form is the phase-shifted value.
        std::vector<double> y(length, 1.0);
        block.Reset();
        forEachBlock(length, BlockPlan::Random(300, 10), [&](int at, int n) { block.Modulate(&y[size_t(at)], n); });
        expectNear(y, wantB, 3e-16);
    }
}

TEST(Chorus, SteadyOutputFollowsTheFormulasSampleBySample)
{
    struct Case { double fs; int type; double speed, depth, mix, delay; bool stereo; };
    for (const Case& k : {Case{44100, 0, 1.0, 0.5, 0.5, 0.01, true}, Case{48000, 1, 3.7, 1.0, 0.8, 0.002, true},
                          Case{44100, 2, 0.4, 0.7, 1.0, 0.025, true}, Case{96000, 2, 9.0, 0.3, 0.6, 0.0, false}}) {
        SCOPED_TRACE(k.type + 10 * k.stereo);
        Chorus c;
        c.SetFs(k.fs);
        for (auto [id, v] : {std::pair(1, double(k.type)), {2, k.speed}, {3, k.depth}, {4, k.mix}, {5, k.delay}})
            c.SetParameter(id, v);
        c.Settle();
        ChorusFormula f(k.fs, k.type, k.speed, k.depth, k.mix, k.delay, c.LineLength());
        expectFollowsFormula(c, f, k.stereo, 1e-11);
    }
}

TEST(Flanger, SteadyOutputFollowsTheFormulasSampleBySample)
{
    struct Case { double fs; int type; double speed, depth, delay, sweep, regeneration; bool phase, stereo; };
    for (const Case& k : {Case{44100, 0, 1.0, 1.0, 0.0025, 0.5, 0.5, true, true},
                          Case{48000, 1, 4.0, 0.6, 0.004, 0.9, 0.9, false, true},
                          Case{96000, 1, 0.3, 0.8, 0.001, 1.0, 0.3, true, false}}) {
        SCOPED_TRACE(k.type + 10 * k.stereo);
        Flanger fl;
        fl.SetFs(k.fs);
        for (auto [id, v] : {std::pair(1, double(k.type)), {2, k.speed}, {3, k.depth}, {4, k.delay}, {5, k.sweep},
                             {6, k.regeneration}, {7, k.phase ? 1.0 : 0.0}})
            fl.SetParameter(id, v);
        fl.Settle();
        FlangerFormula f(k.fs, k.type, k.speed, k.depth, k.delay, k.sweep, k.regeneration, k.phase, fl.LineLength());
        expectFollowsFormula(fl, f, k.stereo, 1e-11);
    }
}

TEST(Phaser, SteadyOutputFollowsTheFormulasSampleBySample)
{
    struct Case { double fs; int type; double speed, depth, sweep, regeneration; int stages; bool stereo; };
    for (const Case& k : {Case{44100, 1, 0.5, 0.5, 2.0, 0.5, 1, true}, Case{48000, 0, 3.0, 1.0, 3.0, 0.9, 2, true},
                          Case{44100, 1, 20.0, 0.7, 1.5, 0.0, 0, true}, Case{96000, 0, 1.0, 0.8, 2.5, 0.7, 2, false}}) {
        SCOPED_TRACE(k.type + 10 * k.stages + 100 * k.stereo);
        Phaser p;
        p.SetFs(k.fs);
        for (auto [id, v] : {std::pair(1, double(k.type)), {2, k.speed}, {3, k.depth}, {4, k.sweep},
                             {5, k.regeneration}, {6, double(k.stages)}})
            p.SetParameter(id, v);
        p.Settle();
        PhaserFormula f(k.fs, k.type, k.speed, k.depth, k.sweep, k.regeneration, k.stages);
        expectFollowsFormula(p, f, k.stereo, 1e-11);
    }
}
