// Graphic equaliser: flatness at 0 dB, each band's centre gain, the output
// level, the frequency sets, and the whole response against the product of
// the analog peaking prototypes.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>

#include "DspTestKit.h"
#include "dsp/WideVectors.h"
#include "effects/GraphicEQ7.h"

using namespace tonewright;

using namespace testkit;
using cd = std::complex<double>;

namespace {

MonoProcess of(GraphicEQ7& e)
{
    return [&e](double* x, int n) { e.process(x, n); };
}

double gainDb(GraphicEQ7& e, double fs, double f)
{
    return measureSine(of(e), fs, f, 0.25, 0.5, 0.2, BlockPlan::Random(512, 2)).gainDb();
}

// The analog peaking section at the frequency pre-warped to its centre.
cd peaking(double f, double f0, double q, double levelDb, double fs)
{
    const double A = std::pow(10.0, levelDb / 40.0);
    const cd s(0.0, std::tan(kPi * f / fs) / std::tan(kPi * f0 / fs));
    return (s * s + s * (A / q) + 1.0) / (s * s + s / (A * q) + 1.0);
}

}  // namespace

TEST(GraphicEQ7, FlatAtZeroDecibels)
{
    for (double fs : {44100.0, 96000.0}) {
        for (int type = 0; type < 3; ++type) {
            GraphicEQ7 e;
            e.SetFs(fs);
            e.SetParameter(1, type);
            e.Settle();
            for (double f : {30.0, 80.0, 440.0, 1000.0, 5120.0, 15000.0}) {
                const Response r = measureSine(of(e), fs, f);
                EXPECT_NEAR(r.gainDb(), 0.0, 1e-9) << fs << " " << type << " " << f;
                EXPECT_NEAR(r.phase, 0.0, 1e-9);
            }
        }
    }
}

TEST(GraphicEQ7, BandCentreGainEqualsItsLevel)
{
    const double fs = 44100.0;
    for (int type = 0; type < 3; ++type) {
        for (int band = 0; band < GraphicEQ7::kBands; ++band) {
            for (double level : {12.0, -9.0}) {
                GraphicEQ7 e;
                e.SetParameter(1, type);
                e.SetParameter(2 + band, level);
                e.Settle();
                EXPECT_NEAR(gainDb(e, fs, GraphicEQ7::BandFrequency(type, band)), level, 1e-7)
                    << "type " << type << " band " << band;
            }
        }
    }
    GraphicEQ7 mid;
    mid.SetParameter(9, 1500.0);
    mid.SetParameter(10, 2.0);
    mid.SetParameter(11, 7.0);
    mid.Settle();
    EXPECT_NEAR(gainDb(mid, fs, 1500.0), 7.0, 1e-7);
}

TEST(GraphicEQ7, OutputLevelRaisesEverythingAfterTheBands)
{
    const double fs = 48000.0;
    GraphicEQ7 e;
    e.SetFs(fs);
    e.SetParameter(12, 6.0);
    e.Settle();
    for (double f : {50.0, 1000.0, 12000.0}) EXPECT_NEAR(gainDb(e, fs, f), 6.0, 1e-9);
    e.SetParameter(4, -5.0);  // band 3 of set 1: 320 Hz
    e.Settle();
    EXPECT_NEAR(gainDb(e, fs, 320.0), 1.0, 1e-7);
}

TEST(GraphicEQ7, TypeChangeMovesOnlyTheBandFrequencies)
{
    const double fs = 44100.0;
    GraphicEQ7 e;
    e.SetParameter(2, 12.0);
    e.SetParameter(8, -12.0);
    e.SetParameter(9, 700.0);
    e.SetParameter(11, 3.0);
    e.SetParameter(12, -2.0);
    e.Settle();
    const auto expected = [&](double f, int type) {
        const double f1 = GraphicEQ7::BandFrequency(type, 0), f7 = GraphicEQ7::BandFrequency(type, 6);
        return dB(std::abs(peaking(f, f1, 1.0, 12.0, fs) * peaking(f, f7, 1.0, -12.0, fs) *
                           peaking(f, 700.0, 0.7071, 3.0, fs))) - 2.0;
    };
    EXPECT_EQ(e.GetParameter(1), 1.0);  // set 1 by default
    EXPECT_NEAR(gainDb(e, fs, 80.0), expected(80.0, 1), 1e-7);
    EXPECT_NEAR(gainDb(e, fs, 5120.0), expected(5120.0, 1), 1e-7);
    e.SetParameter(1, 0.0);
    runMono(of(e), std::vector<double>(2000, 0.0));  // the sections' 31 ms crossfade
    EXPECT_EQ(e.Section(0).GetParameter(2), 100.0);
    EXPECT_EQ(e.Section(6, true).GetParameter(2), 6400.0);
    EXPECT_EQ(e.Section(7).GetParameter(2), 700.0);
    EXPECT_EQ(e.Section(7).GetParameter(4), 3.0);
    EXPECT_EQ(e.Section(8).GetParameter(4), -2.0);
    EXPECT_EQ(e.GetParameters().band1, 12.0);
    EXPECT_EQ(e.GetParameters().band7, -12.0);
    EXPECT_NEAR(gainDb(e, fs, 100.0), expected(100.0, 0), 1e-7);
    EXPECT_NEAR(gainDb(e, fs, 6400.0), expected(6400.0, 0), 1e-7);
    EXPECT_EQ(e.Section(0).GetParameter(4), 12.0);
    e.SetParameter(1, 2.0);
    EXPECT_EQ(e.Section(0).GetParameter(2), 62.5);
    EXPECT_EQ(e.Section(6).GetParameter(2), 4000.0);
}

TEST(GraphicEQ7, WholeResponseIsTheProductOfItsSections)
{
    const double fs = 44100.0;
    std::mt19937 rng(17);
    std::uniform_real_distribution<double> level(-18.0, 18.0);
    for (int type = 0; type < 3; ++type) {
        GraphicEQ7Parameters p;
        p.type = type;
        double* bands[] = {&p.band1, &p.band2, &p.band3, &p.band4, &p.band5, &p.band6, &p.band7};
        for (double* b : bands) *b = level(rng);
        p.parametric_frequency = 2300.0;
        p.parametric_q = 1.7;
        p.parametric_level = level(rng);
        p.level = level(rng);
        GraphicEQ7 e;
        e.SetParameters(p);
        e.Settle();
        for (double f : {45.0, 150.0, 700.0, 2300.0, 7000.0, 16000.0}) {
            cd h = std::pow(10.0, p.level / 20.0);
            for (int b = 0; b < GraphicEQ7::kBands; ++b) h *= peaking(f, GraphicEQ7::BandFrequency(type, b), 1.0, *bands[b], fs);
            h *= peaking(f, 2300.0, 1.7, p.parametric_level, fs);
            const Response r = measureSine(of(e), fs, f, 0.1, 0.5, 0.2);
            EXPECT_NEAR(r.gainDb(), dB(std::abs(h)), 1e-7) << type << " " << f;
            EXPECT_NEAR(std::remainder(r.phase - std::arg(h), 2 * kPi), 0.0, 1e-7);
        }
    }
}

TEST(GraphicEQ7, StereoFormRunsEachChannelThroughItsOwnSections)
{
    GraphicEQ7 e;
    e.SetParameter(12, -6.0);
    e.Settle();
    const auto a = whiteNoise(3000, 0.3, 1), b = whiteNoise(3000, 0.3, 2);
    auto l = a, r = b;
    e.process(l.data(), r.data(), 3000);
    const double g = std::pow(10.0, -6.0 / 20.0);
    for (size_t i = 0; i < a.size(); ++i) {
        ASSERT_NEAR(l[i], g * a[i], 1e-12);
        ASSERT_NEAR(r[i], g * b[i], 1e-12);
    }
}

TEST(GraphicEQ7, OffLeavesBlocksUntouchedAndNothingAllocatesOnceReserved)
{
    GraphicEQ7 e;
    e.SetParameter(3, 9.0);
    e.Settle();
    e.Reserve(1024);
    const auto noise = whiteNoise(1024, 0.3, 4);
    const auto run = allocationsOverRandomBlocks(of(e), noise, 300, 8, [&](int b) {
        if (b % 9 == 0) e.SetParameter(1, b % 3);
        if (b % 4 == 0) e.SetParameter(2 + b % 7, (b % 13) - 6.0);
        if (b % 60 == 30) e.SetParameter(0, b % 120 == 30 ? 0.0 : 1.0);
    });
    EXPECT_EQ(run.allocations, 0);
    EXPECT_EQ(run.frees, 0);
    EXPECT_TRUE(run.finite);

    e.SetParameter(0, 0.0);
    runMono(of(e), noise);
    EXPECT_EQ(e.Bypass().running, 0);
    EXPECT_EQ(runMono(of(e), noise, BlockPlan::Random(333, 1)), noise);
}

TEST(GraphicEQ7, ParameterRules)
{
    GraphicEQ7 e;
    e.SetParameter(1, 2.5);
    EXPECT_EQ(e.GetParameter(1), 1.0);
    e.SetParameter(1, 1.49);
    EXPECT_EQ(e.GetParameter(1), 1.0);
    e.SetParameter(9, 0.0);
    e.SetParameter(9, -100.0);
    e.SetParameter(10, 0.0);
    e.SetParameter(10, -1.0);
    EXPECT_EQ(e.GetParameter(9), 1000.0);
    EXPECT_EQ(e.GetParameter(10), 0.7071);
    for (double bad : {NAN, INFINITY, -INFINITY}) {
        for (int id = 1; id <= 12; ++id) {
            const double before = e.GetParameter(id);
            e.SetParameter(id, bad);
            EXPECT_EQ(e.GetParameter(id), before) << id;
        }
    }
    // Clamped where the coefficients would overflow or degenerate.
    e.SetParameter(2, 500.0);
    EXPECT_EQ(e.GetParameter(2), GraphicEQ7::kLargestGainDb);
    EXPECT_EQ(e.Section(0).GetParameter(4), GraphicEQ7::kLargestGainDb);
    e.SetParameter(12, -1e6);
    EXPECT_EQ(e.GetParameter(12), -GraphicEQ7::kLargestGainDb);
    e.SetParameter(10, 1e-300);
    EXPECT_EQ(e.GetParameter(10), GraphicEQ7::kSmallestQ);
    EXPECT_EQ(e.Section(7, true).GetParameter(3), GraphicEQ7::kSmallestQ);
    EXPECT_EQ(e.GetParameter(13), 0.0);

    // A mid frequency above half the rate reaches the sections just below it,
    // and in full once the rate allows it.
    e.SetParameter(9, 30000.0);
    EXPECT_EQ(e.GetParameter(9), 30000.0);
    EXPECT_DOUBLE_EQ(e.Section(7).GetParameter(2), 0.499 * 44100.0);
    e.SetFs(96000.0);
    EXPECT_EQ(e.Section(7).GetParameter(2), 30000.0);
    // Likewise the top bands at a low rate.
    e.SetFs(11025.0);
    e.SetParameter(1, 0.0);
    EXPECT_DOUBLE_EQ(e.Section(6).GetParameter(2), 0.499 * 11025.0);
    e.Settle();
    EXPECT_TRUE(allFinite(runMono(of(e), whiteNoise(4000, 0.3, 3))));
}

TEST(GraphicEQ7, BlocksOnEitherVectorPathGiveTheSamplesOfOneSampleAtATime)
{
    const double settings[][2] = {{1, 2},   {2, 5.0},    {3, -7.5}, {4, 3.0},   {5, 11.0}, {6, -2.0},
                                  {7, 6.0}, {8, -9.0}, {9, 2400.0}, {10, 3.3}, {11, -4.0}, {12, 1.5}};
    for (bool wide : {true, false}) {
        AllowWideVectors(wide);
        GraphicEQ7 one, block;
        for (GraphicEQ7* e : {&one, &block}) {
            e->SetFs(48000.0);
            for (const auto& [id, v] : settings) e->SetParameter(int(id), v);
            e->Settle();
        }
        const auto d = blocksAgainstSamples(block, one, whiteNoise(20000, 0.5, 31), {}, BlockPlan::Random(700, 32));
        EXPECT_EQ(d.worst, 0.0) << wide;
        EXPECT_GT(d.tailPeak, 0.1);
    }
    AllowWideVectors(true);
}
