// The cabinet stage: window, minimum phase, scaling, resampling, DI box,
// enable crossfade, and impulse changes while audio runs (no allocation in
// process, coalesced rebuilds, WaitForRebuild).

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <mutex>
#include <thread>
#include <vector>

#include "cabinet/CabinetProcessor.h"
#include "DspTestKit.h"
#include "cabinet/MinimumPhase.h"
#include "engine/Tonewright.h"
#include "cabinet/WindowFunction.h"
#include "dsp/AudioThread.h"
#include "dsp/Filter.h"
#include "dsp/ParameterRules.h"

using namespace tonewright;

using namespace testkit;

namespace {

MonoToStereoProcess processOf(CabinetProcessor& c)
{
    return [&c](double* in, double* l, double* r, int n) { c.process(in, l, r, n); };
}

std::vector<double> decaying(int n, unsigned seed, double level = 1.0)
{
    std::vector<double> v = whiteNoise(n, level, seed);
    for (int i = 0; i < n; ++i) v[size_t(i)] *= std::exp(-5.0 * i / n);
    return v;
}

struct Working {
    std::vector<double> left, right;
    int length = 0;
    bool mono = true;
};

Working working(const CabinetProcessor& c)
{
    Working w;
    c.GetImpulse(w.left, w.right, w.length, w.mono);
    return w;
}

double energyOf(const std::vector<double>& v)
{
    double e = 0.0;
    for (double x : v) e += x * x;
    return e;
}

// The stage's output against direct convolution of the DI-filtered input
// (which runStereo returns as `mono`) with the working impulse.
void expectPlays(const Stereo& out, const Working& w, size_t from = 0)
{
    double worst = 0.0, scale = 0.0;
    for (size_t t = from; t < out.left.size(); ++t) {
        double yl = 0.0, yr = 0.0;
        for (size_t k = 0; k <= t && k < w.left.size(); ++k) {
            yl += w.left[k] * out.mono[t - k];
            yr += w.right[k] * out.mono[t - k];
        }
        scale = std::max({scale, std::abs(yl), std::abs(yr)});
        worst = std::max({worst, std::abs(out.left[t] - yl), std::abs(out.right[t] - yr)});
    }
    EXPECT_LE(worst, 1e-10 * scale);
}

}  // namespace

TEST(CabinetProcessor, NewStagePassesTheInputThroughTheDiBoxOnly)
{
    auto c = std::make_unique<CabinetProcessor>();
    EXPECT_EQ(c->GetParameter(0), 1.0);
    EXPECT_EQ(c->GetParameter(1), 32768.0);
    EXPECT_EQ(c->GetParameter(2), 1.0);
    EXPECT_EQ(c->GetParameter(3), 0.0);
    EXPECT_EQ(c->GetParameter(4), 1.0);
    EXPECT_EQ(c->GetParameter(5), 4500.0);
    EXPECT_EQ(c->GetParameter(6), 0.7071);

    DirectBox di;
    di.SetParameters({true, 4500.0, 0.7071});
    di.Settle();
    const std::vector<double> x = whiteNoise(5000, 0.5, 2);
    std::vector<double> expected = x;
    di.process(expected.data(), int(expected.size()));
    const Stereo out = runStereo(processOf(*c), x, BlockPlan::Random(300, 3));
    for (size_t i = 0; i < x.size(); ++i) {
        ASSERT_NEAR(out.left[i], expected[i], 1e-12) << i;
        ASSERT_EQ(out.left[i], out.right[i]) << i;
    }
    CabinetProcessorParameters p;
    c->GetParameters(&p);
    EXPECT_STREQ(p.GetName(), "None");
    EXPECT_EQ(p.Length(), 8);
}

TEST(CabinetProcessor, WindowSizeShortensWithAKaiserHalfWindowAndScalesByEnergy)
{
    auto c = std::make_unique<CabinetProcessor>();
    c->SetParameter(2, 0.0);  // unprocessed arrays
    c->SetParameter(1, 4095.6);
    EXPECT_EQ(c->GetParameter(1), 4096.0);
    c->SetParameter(1, 0.4);
    c->SetParameter(1, 32769);
    c->SetParameter(1, std::nan(""));
    EXPECT_EQ(c->GetParameter(1), 4096.0);

    const std::vector<double> h = decaying(1000, 5);
    ASSERT_TRUE(c->SetImpulse(h.data(), nullptr, 1000, true, 44100.0, "test.wav"));
    c->WaitForRebuild();
    Working w = working(*c);
    EXPECT_EQ(w.length, 4096);
    const double g = 1.0 / energyOf(h);
    for (size_t i = 0; i < 1000; ++i) ASSERT_NEAR(w.left[i], h[i] * g, 1e-15 * g) << i;
    EXPECT_EQ(w.left, w.right);

    c->SetParameter(1, 512);
    c->WaitForRebuild();
    w = working(*c);
    EXPECT_EQ(w.length, 512);
    std::vector<double> shaped(512);
    for (int i = 0; i < 512; ++i) shaped[size_t(i)] = h[size_t(i)] * WindowFunction::KaiserHalfWindow(i, 512, 6.0);
    const double gs = 1.0 / energyOf(shaped);
    for (int i = 0; i < 512; ++i) ASSERT_NEAR(w.left[size_t(i)], shaped[size_t(i)] * gs, 1e-13 * gs) << i;
    for (size_t i = 512; i < w.left.size(); ++i) ASSERT_EQ(w.left[i], 0.0) << i;

    // And the stage plays exactly that.
    const Stereo out = runStereo(processOf(*c), whiteNoise(3000, 0.3, 8), BlockPlan::Random(200, 9));
    expectPlays(out, w);

    // A window of one sample keeps that sample (weight 1).
    c->SetParameter(1, 1);
    c->WaitForRebuild();
    w = working(*c);
    EXPECT_DOUBLE_EQ(w.left[0], 1.0 / h[0]);
    EXPECT_EQ(w.left[1], 0.0);
}

TEST(CabinetProcessor, LouderChannelDecidesTheScaleAndQuietOnesStopAtTheCeiling)
{
    auto c = std::make_unique<CabinetProcessor>();
    c->SetParameter(2, 0.0);
    const std::vector<double> l = decaying(2000, 1, 0.2), r = decaying(2000, 2, 0.5);
    ASSERT_TRUE(c->SetImpulse(l.data(), r.data(), 2000, false, 44100.0, "stereo"));
    c->WaitForRebuild();
    Working w = working(*c);
    EXPECT_FALSE(w.mono);
    const double g = 1.0 / energyOf(r);
    for (size_t i = 0; i < 2000; ++i) {
        ASSERT_NEAR(w.left[i], l[i] * g, 1e-14 * g);
        ASSERT_NEAR(w.right[i], r[i] * g, 1e-14 * g);
    }

    for (double level : {0.0, 1e-12}) {
        const std::vector<double> quiet(500, level);
        ASSERT_TRUE(c->SetImpulse(quiet.data(), nullptr, 500, true, 44100.0, "quiet"));
        c->WaitForRebuild();
        w = working(*c);
        ASSERT_TRUE(allFinite(w.left));
        EXPECT_EQ(w.left[0], level * 100.0);  // the scale stops at 100
    }
}

TEST(CabinetProcessor, MinimumPhaseSwitchAndForcedMono)
{
    auto c = std::make_unique<CabinetProcessor>();
    c->SetParameter(1, 8192);
    const std::vector<double> h = decaying(3000, 4);
    std::vector<double> reversed(h.rbegin(), h.rend());  // far from minimum phase
    ASSERT_TRUE(c->SetImpulse(reversed.data(), nullptr, 3000, true, 44100.0, "reversed"));
    c->WaitForRebuild();
    const Working on = working(*c);
    std::vector<double> expected(3000);
    ASSERT_TRUE(ConvertToMinimumPhaseFast(reversed.data(), expected.data(), 3000));
    const double g = 1.0 / energyOf(expected);
    for (size_t i = 0; i < 3000; ++i) ASSERT_NEAR(on.left[i], expected[i] * g, 1e-14 * g) << i;

    CabinetProcessorParameters p;
    c->GetParameters(&p);
    EXPECT_EQ(p.ImpulseLeft(), reversed);
    EXPECT_EQ((*p.Impulse()->MinimumPhase())[0], expected);

    c->SetParameter(2, 0.0);
    c->WaitForRebuild();
    const Working off = working(*c);
    EXPECT_GT(peakIndex(off.left), 2900u);
    c->SetParameter(2, 1.0);
    c->WaitForRebuild();
    EXPECT_EQ(working(*c).left, on.left);
    c->SetParameter(2, 0.0);
    c->WaitForRebuild();
    EXPECT_EQ(working(*c).left, off.left);

    const auto before = c->RebuildCount();
    c->SetParameter(3, 1.0);
    EXPECT_EQ(c->GetParameter(3), 1.0);
    c->WaitForRebuild();
    EXPECT_GT(c->RebuildCount(), before);
    EXPECT_EQ(working(*c).left, off.left);
}

TEST(CabinetProcessor, ImpulsesAtOtherRatesAreResampledAndLongOnesCut)
{
    auto c = std::make_unique<CabinetProcessor>();
    c->SetParameter(2, 0.0);
    c->SetFs(48000.0);
    std::vector<double> h(100000, 0.0);
    for (size_t i = 0; i < h.size(); ++i) h[i] = std::exp(-double(i) / 30000.0) * std::sin(0.01 * double(i));
    ASSERT_TRUE(c->SetImpulse(h.data(), nullptr, 100000, true, 48000.0, "long"));
    c->WaitForRebuild();
    CabinetProcessorParameters p;
    c->GetParameters(&p);
    EXPECT_EQ(p.Length(), 65536);
    Working w = working(*c);
    EXPECT_NE(w.left[32767], 0.0);

    // A 96 kHz impulse at 48 kHz: a slow sine in it keeps its shape and
    // place (within the converter's fraction of a sample) at half the sample
    // count, twice the height (so that it filters as loudly), scaled by its
    // energy at 96 kHz.
    std::vector<double> slow(4000);
    for (size_t i = 0; i < slow.size(); ++i) slow[i] = std::sin(2.0 * kPi * 500.0 * double(i) / 96000.0) * 0.01;
    ASSERT_TRUE(c->SetImpulse(slow.data(), nullptr, 4000, true, 96000.0, "96k"));
    c->SetParameter(1, 32768);
    c->WaitForRebuild();
    w = working(*c);
    const double height = 2.0 * 0.01 / energyOf(slow);
    const SineFit fit = fitSine(w.left, 300, 1700, 48000.0, 500.0);
    EXPECT_NEAR(fit.amplitude, height, 1e-3 * height);
    EXPECT_NEAR(fit.phase, 0.0, 2.0 * kPi * 500.0 / 48000.0 * 0.25);  // a quarter sample
    EXPECT_LT(fit.residualRms, 1e-3 * height);
    EXPECT_NEAR(w.left[2100], 0.0, 1e-3 * height);

    // A rate the converter refuses (factor above 12) gives a silent cabinet
    // and one diagnostic line, with minimum phase on or off.
    for (double phase : {0.0, 1.0}) {
        c->SetParameter(2, phase);
        c->WaitForRebuild();
        ::testing::internal::CaptureStderr();
        ASSERT_TRUE(c->SetImpulse(slow.data(), nullptr, 4000, true, 3000.0, "slow"));
        c->WaitForRebuild();
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("Quarrystone TWR:: "), std::string::npos);
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        const Stereo out = runStereo(processOf(*c), whiteNoise(2000, 0.5, 3), BlockPlan::Fixed(64));
        EXPECT_EQ(peak(out.left), 0.0);
        EXPECT_TRUE(allFinite(out.right));
    }
}

TEST(CabinetProcessor, RefusedImpulseChangesNothing)
{
    auto c = std::make_unique<CabinetProcessor>();
    const std::vector<double> h = decaying(100, 3);
    ASSERT_TRUE(c->SetImpulse(h.data(), nullptr, 100, true, 44100.0, "kept"));
    std::vector<double> bad = h;
    bad[50] = std::nan("");
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(c->SetImpulse(bad.data(), nullptr, 100, true, 44100.0, "bad"));
    EXPECT_FALSE(c->SetImpulse(h.data(), nullptr, 0, true, 44100.0, "empty"));
    EXPECT_FALSE(c->SetImpulse(h.data(), nullptr, 100, false, 44100.0, "no right"));
    EXPECT_FALSE(::testing::internal::GetCapturedStderr().empty());
    CabinetProcessorParameters p;
    c->GetParameters(&p);
    EXPECT_STREQ(p.GetName(), "kept");
    EXPECT_EQ(p.Length(), 100);
    EXPECT_EQ(p.ImpulseLeft(), h);
}

TEST(CabinetProcessor, DiBoxFrequencyAndQ)
{
    auto c = std::make_unique<CabinetProcessor>();
    auto left = [&c](double* x, int n) {
        std::vector<double> l(static_cast<size_t>(n)), r(static_cast<size_t>(n));
        c->process(x, l.data(), r.data(), n);
        std::copy(l.begin(), l.end(), x);
    };
    // Two cascaded Butterworth-Q sections: -6 dB at the corner.
    c->SetParameter(5, 2500.0);
    EXPECT_EQ(c->GetParameter(5), 2500.0);
    EXPECT_NEAR(measureSine(left, 44100.0, 2500.0).gainDb(), -6.02, 0.1);
    EXPECT_NEAR(measureSine(left, 44100.0, 200.0).gainDb(), 0.0, 0.05);
    EXPECT_LT(measureSine(left, 44100.0, 10000.0).gainDb(), -25.0);

    // A resonant Q lifts the corner.
    c->SetParameter(6, 2.0);
    EXPECT_NEAR(measureSine(left, 44100.0, 2500.0).gainDb(), 20.0 * std::log10(4.0), 0.2);
    c->SetParameter(6, 0.0);
    c->SetParameter(6, -1.0);
    EXPECT_EQ(c->GetParameter(6), 2.0);
    c->SetParameter(6, 0.7071);

    // Off: the box passes the signal (after its bypass fade).
    c->SetParameter(4, 0.0);
    EXPECT_EQ(c->GetParameter(4), 0.0);
    EXPECT_NEAR(measureSine(left, 44100.0, 15000.0).gainDb(), 0.0, 0.01);
    c->SetParameter(4, 1.0);

    // Above half the rate the box stores and reports the frequency; its
    // sections hold it too and run just below half the rate until a rate
    // change makes it reachable.
    c->SetParameter(5, 30000.0);
    EXPECT_EQ(c->GetParameter(5), 30000.0);
    EXPECT_GT(measureSine(left, 44100.0, 8000.0).gainDb(), -0.5);
    c->SetFs(96000.0);
    const double unit = 1.0;  // recorded at the new rate: nothing but the box
    ASSERT_TRUE(c->SetImpulse(&unit, nullptr, 1, true, 96000.0, "unit"));
    c->WaitForRebuild();
    EXPECT_EQ(c->GetParameter(5), 30000.0);
    EXPECT_NEAR(measureSine(left, 96000.0, 30000.0).gainDb(), -6.02, 0.1);
}

TEST(CabinetProcessor, DiBoxStoresFrequencyAndQByTheFiltersRulesAndPlaysWhatItStores)
{
    // What the stage reports (and a saved record keeps) for a value sent
    // through SetParameter (ids 5, 6) or a record; NaN meaning "unchanged".
    struct Row {
        int id;
        double sent;
        double stored;
    };
    const double unchanged = std::nan("");
    const Row rows[] = {
        {5, 2500.0, 2500.0},     {5, 0.05, kLowestFrequency}, {5, 1e-300, kLowestFrequency},
        {5, 1e9, 1e9},           {5, 0.0, unchanged},         {5, -20.0, unchanged},
        {5, unchanged, unchanged}, {5, INFINITY, unchanged},  {6, 2.0, 2.0},
        {6, 1e-5, Filter::kSmallestQ}, {6, 1e6, Filter::kLargestQ}, {6, 0.0, unchanged},
        {6, -1.0, unchanged},    {6, INFINITY, unchanged},
    };
    for (const Row& row : rows) {
        for (bool viaRecord : {false, true}) {
            auto c = std::make_unique<CabinetProcessor>();
            const double before = c->GetParameter(row.id);
            if (viaRecord) {
                CabinetProcessorParameters p;
                c->GetParameters(&p);
                (row.id == 5 ? p.dibox.frequency : p.dibox.q) = row.sent;
                c->SetParameters(&p);
            } else {
                c->SetParameter(row.id, row.sent);
            }
            const double expected = std::isnan(row.stored) ? before : row.stored;
            EXPECT_EQ(c->GetParameter(row.id), expected) << row.id << " " << row.sent << " " << viaRecord;
            CabinetProcessorParameters back;
            c->GetParameters(&back);
            EXPECT_EQ(row.id == 5 ? back.dibox.frequency : back.dibox.q, expected);

            // The sound is that of a stage given the stored value itself.
            auto reference = std::make_unique<CabinetProcessor>();
            reference->SetParameter(row.id, expected);
            c->Settle();
            reference->Settle();
            const std::vector<double> x = whiteNoise(3000, 0.5, 4);
            const Stereo a = runStereo(processOf(*c), x, BlockPlan::Fixed(128));
            const Stereo b = runStereo(processOf(*reference), x, BlockPlan::Fixed(128));
            EXPECT_EQ(a.left, b.left) << row.id << " " << row.sent;
            EXPECT_TRUE(allFinite(a.left));
        }
    }
}

TEST(CabinetProcessor, EnableCrossfadesAndTheOffStageCopiesItsInput)
{
    auto c = std::make_unique<CabinetProcessor>();
    const std::vector<double> h = decaying(500, 6);
    ASSERT_TRUE(c->SetImpulse(h.data(), nullptr, 500, true, 44100.0, "x"));
    c->WaitForRebuild();
    Stereo on = runStereo(processOf(*c), whiteNoise(4410, 0.5, 1), BlockPlan::Fixed(64));

    c->SetParameter(0, 0.0);
    EXPECT_EQ(c->GetParameter(0), 0.0);
    const std::vector<double> x = sine(44100.0, 100.0, 0.1, 0.5);
    const Stereo fading = runStereo(processOf(*c), x, BlockPlan::Fixed(64));
    // Over the 20 ms (882 samples) the output moves to the dry input; after
    // that the input comes out unchanged and the DI box no longer runs.
    EXPECT_GT(std::abs(fading.left[100] - x[100]), 1e-3);
    for (size_t i = 900; i < x.size(); ++i) {
        ASSERT_EQ(fading.left[i], x[i]) << i;
        ASSERT_EQ(fading.right[i], x[i]) << i;
        ASSERT_EQ(fading.mono[i], x[i]) << i;
    }
    EXPECT_LT(largestStep(fading.left), 0.05);

    c->SetParameter(0, 1.0);
    const Stereo back = runStereo(processOf(*c), x, BlockPlan::Fixed(64));
    EXPECT_LT(largestStep(back.left), 0.05);
    EXPECT_NE(back.left[2000], x[2000]);
}

TEST(CabinetProcessor, ImpulseChangesWhileAudioRunsNeverAllocateInProcess)
{
    auto c = std::make_unique<CabinetProcessor>();
    c->Reserve(256);
    std::mutex engine;  // what the plug-in holds around each block and each change
    std::atomic<bool> stop{false};
    std::atomic<long> heapCalls{0};  // allocations and frees
    std::atomic<long> blocks{0};
    std::atomic<bool> finite{true};

    std::thread audio([&] {
        std::vector<double> in(256), l(256), r(256);
        CabinetProcessorParameters settings;
        std::mt19937 rng(1);
        std::uniform_int_distribution<int> size(1, 256);
        while (!stop.load()) {
            const int n = size(rng);
            for (int i = 0; i < n; ++i) in[size_t(i)] = 0.1 * std::sin(0.01 * double(blocks.load() + i));
            std::lock_guard<std::mutex> lock(engine);
            AllocationCounter counter;
            // Parameter changes reach the stage on the audio thread too.
            const long b = blocks.load();
            if (b % 50 == 0) c->SetParameter(1, 1024 + b % 7);
            if (b % 70 == 0) c->SetParameter(int(b / 70 % 7), b % 140 ? 1.0 : 0.0);
            if (b % 90 == 0) c->SetParameter(5, 3000.0 + b % 900);
            c->process(in.data(), l.data(), r.data(), n);
            c->GetSettings(&settings);
            heapCalls += counter.count() + counter.freed();
            for (int i = 0; i < n; ++i) finite = finite && std::isfinite(l[size_t(i)]) && std::isfinite(r[size_t(i)]);
            ++blocks;
        }
    });

    for (int k = 0; k < 40; ++k) {
        const std::vector<double> a = decaying(500 + 700 * k, unsigned(k)), b = decaying(500 + 700 * k, unsigned(k + 99));
        std::lock_guard<std::mutex> lock(engine);
        ASSERT_TRUE(c->SetImpulse(a.data(), b.data(), int(a.size()), k % 3 == 0, k % 2 ? 48000.0 : 44100.0, "run"));
        c->SetParameter(2, k % 4 < 2 ? 1.0 : 0.0);
    }
    c->WaitForRebuild();
    const long seen = blocks.load();
    while (blocks.load() < seen + 20) std::this_thread::yield();
    stop = true;
    audio.join();
    EXPECT_EQ(heapCalls.load(), 0);
    EXPECT_TRUE(finite.load());

    // The last impulse is the one playing.
    c->SetParameter(0, 1.0);
    c->SetParameter(1, 4096);
    c->WaitForRebuild();
    c->Settle();
    const Stereo out = runStereo(processOf(*c), whiteNoise(6000, 0.3, 4), BlockPlan::Random(256, 2));
    expectPlays(out, working(*c));
}

TEST(CabinetProcessor, BurstsOfChangesCoalesceAndWaitForRebuildPublishesTheLast)
{
    auto c = std::make_unique<CabinetProcessor>();
    const std::vector<double> h = decaying(30000, 7);
    ASSERT_TRUE(c->SetImpulse(h.data(), nullptr, 30000, true, 48000.0, "slow to build"));
    const auto before = c->RebuildCount();
    for (int w = 1000; w < 1200; ++w) c->SetParameter(1, w);
    c->WaitForRebuild();
    const auto builds = c->RebuildCount() - before;
    EXPECT_GE(builds, 1u);
    EXPECT_LE(builds, 20u);  // of 200 requests; a loaded machine may split the burst
    EXPECT_EQ(working(*c).length, 1199);
    c->WaitForRebuild();  // nothing pending: returns at once
    EXPECT_EQ(c->RebuildCount() - before, builds);
}

TEST(CabinetProcessor, EngineLoadsImpulseFilesByPathAndNamesThemAfterTheFile)
{
    const char* source = std::getenv("TONEWRIGHT_SOURCE_DIR");
    const std::string folder = source ? std::string(source) + "/resources/impulses"
                                      : (std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() /
                                         "resources/impulses").string();
    auto e = std::make_unique<Tonewright>();
    const std::string stereo = folder + "/Closed 4x12 Stereo.wav";
    ASSERT_TRUE(e->SetCabinetImpulse(stereo.c_str()));
    const TonewrightParameters* p = e->GetParameters();
    EXPECT_STREQ(p->cabinet.GetName(), "Closed 4x12 Stereo.wav");
    EXPECT_FALSE(p->cabinet.Mono());
    EXPECT_GT(p->cabinet.Length(), 1000);
    std::vector<double> converted(size_t(p->cabinet.Length()));
    ASSERT_TRUE(ConvertToMinimumPhaseFast(p->cabinet.ImpulseRight().data(), converted.data(), p->cabinet.Length()));
    EXPECT_EQ((*p->cabinet.Impulse()->MinimumPhase())[1], converted);

    // A file that cannot be read changes nothing.
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(e->SetCabinetImpulse((folder + "/missing.wav").c_str()));
    ::testing::internal::GetCapturedStderr();
    EXPECT_STREQ(e->GetParameters()->cabinet.GetName(), "Closed 4x12 Stereo.wav");

    // The stage plays it once built: a loud, finite, different left and right.
    e->cabinet.WaitForRebuild();
    Working w = working(e->cabinet);
    EXPECT_FALSE(w.mono);
    EXPECT_NE(w.left, w.right);
    const Stereo out = runStereo(processOf(e->cabinet), whiteNoise(4000, 0.3, 1), BlockPlan::Fixed(128));
    EXPECT_TRUE(allFinite(out.left) && allFinite(out.right));
    EXPECT_GT(rms(out.left), 1e-3);
}

TEST(CabinetProcessor, ImpulseMadeOnAnotherThreadIsOnlySwappedIn)
{
    const std::vector<double> l = decaying(5000, 21), r = decaying(5000, 22);
    std::shared_ptr<const CabinetImpulse> made;
    std::thread([&] { made = CabinetImpulse::Make(l.data(), r.data(), 5000, false, 48000.0, "made"); }).join();
    ASSERT_TRUE(made);

    auto direct = std::make_unique<CabinetProcessor>();
    ASSERT_TRUE(direct->SetImpulse(l.data(), r.data(), 5000, false, 48000.0, "made"));
    EXPECT_EQ(direct->Impulse(), made);  // the same contents: the same impulse
    auto handed = std::make_unique<CabinetProcessor>();
    std::shared_ptr<const CabinetImpulse> replaced;
    {
        AllocationCounter counter;  // the hand-over itself only swaps
        replaced = handed->SwapImpulse(made);
        EXPECT_EQ(counter.count(), 0);
        EXPECT_EQ(counter.freed(), 0);
    }
    EXPECT_STREQ(replaced->Name(), "None");
    CabinetProcessorParameters b;
    handed->GetParameters(&b);
    EXPECT_EQ(b.Impulse(), made);
    EXPECT_EQ(b.ImpulseLeft(), l);
    EXPECT_EQ(b.ImpulseRight(), r);
    EXPECT_EQ(b.SampleRate(), 48000.0);
    direct->WaitForRebuild();
    handed->WaitForRebuild();
    EXPECT_EQ(working(*direct).left, working(*handed).left);
    EXPECT_EQ(working(*direct).right, working(*handed).right);

    // A refused impulse is null and swapping null changes nothing.
    std::vector<double> broken = l;
    broken[3] = std::numeric_limits<double>::infinity();
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(CabinetImpulse::Make(broken.data(), nullptr, 5000, true, 44100.0, "broken"));
    EXPECT_FALSE(CabinetImpulse::Make(l.data(), nullptr, 5000, true, 0.0, "no rate"));
    EXPECT_FALSE(handed->SwapImpulse(nullptr));
    // Each refusal names the impulse and says why.
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Quarrystone TWR:: Cabinet impulse \"broken\" refused: sample 3 is not a number.\n"
              "Quarrystone TWR:: Cabinet impulse \"no rate\" refused: its sample rate 0 is not usable.\n");
    handed->GetParameters(&b);
    EXPECT_STREQ(b.GetName(), "made");
}

TEST(CabinetProcessor, WithoutAWorkerTheCallersBuildAndFreeAndEveryChangeIsHeard)
{
    CabinetProcessor::FailWorkerStartForTesting(true);
    ::testing::internal::CaptureStderr();
    auto c = std::make_unique<CabinetProcessor>();
    const std::string err = ::testing::internal::GetCapturedStderr();
    CabinetProcessor::FailWorkerStartForTesting(false);
    EXPECT_NE(err.find("Quarrystone TWR:: No cabinet worker thread"), std::string::npos) << err;

    c->SetParameter(4, 0.0);  // the DI box off: the output is the impulse itself
    c->SetParameter(2, 0.0);
    c->Reserve(64);
    c->Settle();
    ResetAudioThreadViolations();
    // Far more changes than the stage keeps retired convolvers for, by both
    // roads: SetImpulse, and a swap inside an audio callback that the caller
    // then waits for. Each is a click at a delay of its own.
    for (int k = 0; k < 24; ++k) {
        std::vector<double> h(64, 0.0);
        h[size_t(k + 1)] = 1.0;
        if (k % 2) {
            ASSERT_TRUE(c->SetImpulse(h.data(), nullptr, 64, true, 44100.0, "click"));
        } else {
            auto made = CabinetImpulse::Make(h.data(), nullptr, 64, true, 44100.0, "click");
            std::shared_ptr<const CabinetImpulse> replaced;
            {
                const AudioThreadScope audio;
                replaced = c->SwapImpulse(made);
            }
            c->WaitForRebuild();
        }
        long heapCalls = 0;  // allocations and frees
        const Stereo out = runStereo(
            [&](double* in, double* l, double* r, int n) {
                AllocationCounter counter;
                c->process(in, l, r, n);
                heapCalls += counter.count() + counter.freed();
            },
            impulse(200), BlockPlan::Random(50, unsigned(k)));
        EXPECT_EQ(heapCalls, 0) << k;
        EXPECT_EQ(peakIndex(out.left), size_t(k + 1)) << k;
        EXPECT_NEAR(out.left[size_t(k + 1)], 1.0, 1e-12) << k;
        EXPECT_NEAR(rms(out.left), 1.0 / std::sqrt(200.0), 1e-12) << k;
    }
    // A setting changed in an audio callback (as the audio thread applies them) is
    // built by the next wait.
    {
        const AudioThreadScope audio;
        c->SetParameter(1, 10);
    }
    c->WaitForRebuild();
    const Stereo cut = runStereo(processOf(*c), impulse(200), BlockPlan::Fixed(64));
    EXPECT_EQ(peak(cut.left), 0.0);  // the click at 24 lies past the window
    EXPECT_EQ(AudioThreadViolations(), 0) << FirstAudioThreadViolation();
}
