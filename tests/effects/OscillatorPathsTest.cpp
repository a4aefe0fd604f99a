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
using Vector = std::vector<double>;

namespace {

double ulpsApart(double got, double want)
{
    return got == want ? 0.0 : std::fabs(got - want) / std::fabs(std::nextafter(want, INFINITY) - want);
}

// k runs of n values filled by f on the wide vector path, which the
// portable path must fill alike.
template <class F>
std::vector<Vector> samePortable(size_t k, size_t n, F f)
{
    std::vector<Vector> wide(k, Vector(n)), portable = wide;
    f(wide);
    AllowWideVectors(false);
    f(portable);
    AllowWideVectors(true);
    EXPECT_EQ(wide, portable);
    return wide;
}

// A circular line read as the formulas say: d samples before index w, by
// linear interpolation between floor(d) and the sample before it.
struct Line {
    Vector data;
    int mask;
    explicit Line(int length) : data(size_t(length), 0.0), mask(length - 1) {}
    double& at(int i) { return data[size_t(i & mask)]; }
    double read(int w, double d)
    {
        d = std::clamp(d, 0.0, double(mask - 1));
        const int i = int(std::floor(d));
        return (1 - (d - i)) * at(w - i) + (d - i) * at(w - i - 1);
    }
};

// The formulas take the effect's parameters in the order of their ids and
// turn their phase at the ends of blocks, as the effects do; a null right
// channel is the mono form. The chorus:
// sin(phi + offset) for the voice phases 0, 270, 0, 180, 90 degrees, written
// as s, -c, s, -s, c.
struct ChorusFormula {
    double mix, increment, amount, base, phi = 0.0;
    const double* gains;
    Line left, right;
    int w = 0;
    ChorusFormula(double fs, const Vector& p, const Chorus& e)
        : mix(p[3]), increment(2 * kPi * p[1] / fs), amount((range(p[2], 1.0, 1.02) - 1.0) / increment),
          base(p[4] * fs), left(e.LineLength()), right(e.LineLength())
    {
        static const double kGains[3][5] = {{1, 0, 1, 0, 0}, {1, 0, 0, 1, 0}, {0.5, 0.5, 0, 0.5, 0.5}};
        gains = kGains[int(p[0])];
    }
    void process(double* l, double* r, int n)
    {
        for (int i = 0; i < n; ++i) {
            w = (w + 1) & left.mask;
            left.at(w) = l[i];
            right.at(w) = r ? r[i] : l[i];
            phi += increment;
            const double s = std::sin(phi), c = std::cos(phi), sweep[5] = {s, -c, s, -s, c};
            double tap[5];
            for (int v = 0; v < 5; ++v) tap[v] = (v < 2 ? left : right).read(w, (sweep[v] + 1) * amount + base);
            const double wetL = gains[0] * tap[0] + gains[1] * tap[1];
            const double wetR = gains[2] * tap[2] + gains[3] * tap[3] + gains[4] * tap[4];
            if (r) r[i] = (1 - mix) * r[i] + mix * wetR;
            l[i] = (1 - mix) * l[i] + (r ? mix * wetL : 0.5 * mix * (wetL + wetR));
        }
        while (phi >= 2 * kPi) phi -= 2 * kPi;
    }
};

struct FlangerFormula {
    double centre, swing, wet, sign, regeneration, increment, phi = 0.0;
    int type, w = 0;
    Line left, right;
    FlangerFormula(double fs, const Vector& p, const Flanger& e)
        : centre(p[3] * fs), swing(p[3] * fs * p[4]), wet(0.5 * p[2]), sign(p[6] != 0 ? -1 : 1),
          regeneration(p[5]), increment(2 * kPi * p[1] / fs), type(int(p[0])), left(e.LineLength()),
          right(e.LineLength())
    {
    }
    void process(double* l, double* r, int n)
    {
        for (int i = 0; i < n; ++i) {
            phi += increment;
            const double d1 = swing * std::sin(phi) + centre, d2 = swing * std::sin(phi + kPi / 2) + centre;
            const double tapL = left.read(w, d1), tapR = right.read(w, type == 0 ? d1 : d2);
            const double inL = l[i], inR = r ? r[i] : l[i];
            w = (w + 1) & left.mask;
            left.at(w) = inL + regeneration * tapL;
            right.at(w) = inR + regeneration * tapR;
            if (r) r[i] = (1 - wet) * inR + sign * wet * tapR;
            l[i] = (1 - wet) * inL + (r ? sign * wet * tapL : 0.5 * sign * wet * (tapL + tapR));
        }
        while (phi >= 2 * kPi) phi -= 2 * kPi;
    }
};

// Sections of base frequency f0 and radius r in chains by the stage count,
// swept by the exponential triangle oscillator; type 1's right chain by 3 - m.
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
    std::vector<Section> chains[2];
    double up, depth, scale, regeneration, m = 1.0, feedback[2] = {0, 0};
    bool rising = true, against;
    PhaserFormula(double fs, const Vector& p, const Phaser&)
        : up(std::pow(2.0, 2 * p[1] / fs)), depth(p[2]), scale(p[3]), regeneration(p[4]), against(p[0] == 1)
    {
        const double base[6] = {300, 1000, 800, 4000, 450, 2650}, radius[6] = {0.9, 0.95, 0.8, 0.9, 0.95, 0.9};
        for (int s = 0; s < 2 + 2 * int(p[5]); ++s) chains[0].push_back({2 * kPi * base[s] / fs, radius[s]});
        chains[1] = chains[0];
    }
    void process(double* l, double* r, int n)
    {
        for (int i = 0; i < n; ++i) {
            m *= rising ? up : 1.0 / up;
            rising = rising ? m < 2 : m <= 1;
            for (int c = 0; c < (r ? 2 : 1); ++c) {
                double& x = c ? r[i] : l[i];
                double s = feedback[c] * regeneration + x;
                for (auto& section : chains[c]) s = section.step(s, c && against ? 3 - m : m, scale);
                x += depth * (feedback[c] = s);
            }
        }
    }
};

template <class Effect, class EffectFormula>
void expectFollowsFormula(double fs, bool stereo, const Vector& p)
{
    Effect e;
    e.SetFs(fs);
    for (size_t id = 1; id <= p.size(); ++id) e.SetParameter(int(id), p[id - 1]);
    e.Settle();
    EffectFormula f(fs, p, e);
    const auto d = blocksAgainstSamples(e, f, whiteNoise(44100, 0.5, 3), stereo ? whiteNoise(44100, 0.5, 4) : Vector{},
                                        BlockPlan::Random(700, 5), 0, true);
    EXPECT_LE(d.worst, 1e-11 * d.tailPeak) << "type " << p[0] << (stereo ? ", stereo" : ", mono");
    EXPECT_GT(d.tailPeak, 0.05);
}

}  // namespace

TEST(Sines, WithinAnUlpOfTheCLibraryOnEveryPathAndOneAtATime)
{
    std::mt19937_64 rng(7);
    for (double reach : {1.0, 7.0, 100.0, 2e4}) {
        std::uniform_real_distribution<double> angle(-reach, reach);
        Vector x(4099);
        for (double& v : x) v = angle(rng);
        const int n = int(x.size());
        // Both, sines alone, cosines alone and both without the sines.
        const auto r = samePortable(5, x.size(), [&](std::vector<Vector>& out) {
            sines::sinCos(x.data(), out[0].data(), out[1].data(), n);
            sines::sin(x.data(), out[2].data(), n);
            sines::cos(x.data(), out[3].data(), n);
            sines::sinCos(x.data(), nullptr, out[4].data(), n);
        });
        double worst = 0.0;
        for (size_t i = 0; i < x.size(); ++i) {
            worst = std::max({worst, ulpsApart(r[0][i], std::sin(x[i])), ulpsApart(r[1][i], std::cos(x[i]))});
            ASSERT_TRUE(r[0][i] == r[2][i] && r[0][i] == sines::sin(x[i])) << x[i];
            ASSERT_TRUE(r[1][i] == r[3][i] && r[1][i] == r[4][i] && r[1][i] == sines::cos(x[i])) << x[i];
        }
        EXPECT_LE(worst, 1.0) << reach;
    }
    // A section's cosine terms: the angle and product as written.
    Vector m(1001);
    for (size_t i = 0; i < m.size(); ++i) m[i] = 1.0 + double(i) / 1000.0;
    for (const auto& ab : {std::pair(0.0427, 0.0427), std::pair(1.9, -0.3), std::pair(4e4, 1.0)}) {
        const Vector terms = samePortable(1, m.size(), [&](std::vector<Vector>& t) {
            sines::scaledCos(m.data(), ab.first, ab.second, -1.8, t[0].data(), int(m.size()));
        })[0];
        for (size_t i = 0; i < m.size(); ++i) ASSERT_EQ(terms[i], -1.8 * sines::cos(m[i] * ab.first + ab.second));
    }
    // Wide angles are the C library's own; zeros keep their sign.
    for (double v : {1e6, -3e7, 1e300}) EXPECT_TRUE(sines::sin(v) == std::sin(v) && sines::cos(v) == std::cos(v));
    EXPECT_TRUE(std::signbit(sines::sin(-0.0)) && sines::cos(0.0) == 1.0);
    EXPECT_TRUE(std::isnan(sines::sin(INFINITY)) && std::isnan(sines::cos(NAN)));
}

TEST(Sines, RunsNearTheirFirstAngleAreTurnedFromItWithinTwoUlps)
{
    // A section's cosines: runs of control values spread up to the limit
    // over angles in every quadrant, rising, falling and turning round.
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> base(-7.0, 7.0), slope(-1.0, 1.0);
    for (int run = 0; run < 400; ++run) {
        const int n = 1 + run % 37;
        const double a = run % 3 ? 0.5 + run / 100.0 : -2.2, b = base(rng);
        const double x0 = 1.0 + run / 400.0, step = slope(rng) * sines::kNear / (std::fabs(a) * n);
        Vector x(static_cast<size_t>(n)), direct(x.size());
        for (int i = 0; i < n; ++i) x[size_t(i)] = x0 + step * (run % 2 ? i : std::abs(i - n / 2));
        sines::scaledCos(x.data(), a, b, -1.7, direct.data(), n);
        const double t0 = x[0] * a + b;
        const Vector turned = samePortable(1, x.size(), [&](std::vector<Vector>& c) {
            sines::scaledCosNear(x.data(), a, b, -1.7, sines::sin(t0), sines::cos(t0), c[0].data(), n);
        })[0];
        for (size_t i = 0; i < x.size(); ++i)
            ASSERT_LE(std::fabs(turned[i] - direct[i]), 2.0 * 1.7 * 0x1p-53) << run << " " << i;
    }
    // The oscillators' phases: runs of every length at increments up to and
    // past the limit, in every quadrant; sines alone, cosines alone, in place.
    for (double increment : {1e-5, 7e-4, sines::kNear / 31.0, sines::kNear / 20.0, 0.3}) {
        for (int n = 1; n <= 40; ++n) {
            Vector x(static_cast<size_t>(n)), s(x.size()), c(x.size());
            for (int i = 0; i < n; ++i) x[size_t(i)] = -6.0 + n * 0.33 + i * increment;
            sines::sinCos(x.data(), s.data(), c.data(), n);
            const auto r = samePortable(5, x.size(), [&](std::vector<Vector>& out) {
                sines::sinCosNear(x.data(), out[0].data(), out[1].data(), n);
                sines::sinCosNear(x.data(), out[2].data(), nullptr, n);
                sines::sinCosNear(x.data(), nullptr, out[3].data(), n);
                out[4] = x;
                sines::sinCosNear(out[4].data(), out[4].data(), nullptr, n);
            });
            EXPECT_TRUE(r[0] == r[2] && r[1] == r[3] && r[0] == r[4]) << increment << " " << n;
            const bool near = (n - 1) * increment <= sines::kNear;
            for (size_t i = 0; i < x.size(); ++i) {
                ASSERT_LE(std::fabs(r[0][i] - s[i]), 2.0 * 0x1p-53) << increment << " " << n << " " << i;
                ASSERT_LE(std::fabs(r[1][i] - c[i]), 2.0 * 0x1p-53) << increment << " " << n << " " << i;
                ASSERT_TRUE(near || r[0][i] == s[i]) << increment << " " << n << " " << i;
            }
        }
    }
}

TEST(FunctionGenerator, BlocksGiveTheSamplesOfOneOutputAtATimeToAnUlpOrTwo)
{
    // Blocks turn their sines from a run's first angle when the wave moves
    // little (1 Hz), and compute each at faster speeds (7.3 Hz); the
    // trapezoids have no sines. The mono form is the phase-shifted value.
    for (auto [shape, hz] : {std::pair(0.0, 7.3), std::pair(0.2, 7.3), std::pair(0.49, 1.0), std::pair(0.2, 1.0),
                             std::pair(0.5, 7.3), std::pair(0.9, 7.3)}) {
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
        Vector wantA(length), wantB(length), a(length, 1.0), b(length, 1.0), y(length, 1.0);
        for (int i = 0; i < length; ++i) one.Output(&wantA[size_t(i)], &wantB[size_t(i)]);
        forEachBlock(length, BlockPlan::Random(300, 9), [&](int at, int n) { block.Modulate(&a[size_t(at)], &b[size_t(at)], n); });
        block.Reset();
        forEachBlock(length, BlockPlan::Random(300, 10), [&](int at, int n) { block.Modulate(&y[size_t(at)], n); });
        for (const auto& [got, want] : {std::pair(&a, &wantA), std::pair(&b, &wantB), std::pair(&y, &wantB)}) {
            double worst = 0.0;
            for (int i = 0; i < length; ++i) worst = std::max(worst, std::fabs((*got)[size_t(i)] - (*want)[size_t(i)]));
            EXPECT_LE(worst, 3e-16 * peak(*want)) << shape << " at " << hz << " Hz";
            EXPECT_GT(peak(*want), 0.05);
        }
    }
}

TEST(ModulationEffects, SteadyOutputFollowsTheFormulasSampleBySample)
{
    // Type, speed, depth, mix, delay.
    const auto chorus = expectFollowsFormula<Chorus, ChorusFormula>;
    chorus(44100, true, {0, 1.0, 0.5, 0.5, 0.01});
    chorus(48000, true, {1, 3.7, 1.0, 0.8, 0.002});
    chorus(44100, true, {2, 0.4, 0.7, 1.0, 0.025});
    chorus(96000, false, {2, 9.0, 0.3, 0.6, 0.0});
    // Type, speed, depth, delay, sweep, regeneration, inverted.
    const auto flanger = expectFollowsFormula<Flanger, FlangerFormula>;
    flanger(44100, true, {0, 1.0, 1.0, 0.0025, 0.5, 0.5, 1});
    flanger(48000, true, {1, 4.0, 0.6, 0.004, 0.9, 0.9, 0});
    flanger(96000, false, {1, 0.3, 0.8, 0.001, 1.0, 0.3, 1});
    // Type, speed, depth, sweep, regeneration, stages.
    const auto phaser = expectFollowsFormula<Phaser, PhaserFormula>;
    phaser(44100, true, {1, 0.5, 0.5, 2.0, 0.5, 1});
    phaser(48000, true, {0, 3.0, 1.0, 3.0, 0.9, 2});
    phaser(44100, true, {1, 20.0, 0.7, 1.5, 0.0, 0});
    phaser(96000, false, {0, 1.0, 0.8, 2.5, 0.7, 2});
}
