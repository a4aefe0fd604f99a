// The engine's sound held to renders stored from an earlier build: the
// default sound, the factory bank's first program at both common rates and
// every stage on, each within 1e-9 of its peak, sample for sample (every
// kStride-th sample is stored). Work on the processing paths may change
// rounding, never the sound.
//
// To store new references after a change that is meant to move the sound:
//   TONEWRIGHT_STORE_REFERENCE_RENDERS=1 build/tests/tests_plugin --gtest_filter='ReferenceRender.*'

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "DspTestKit.h"
#include "engine/Tonewright.h"
#include "plugin/EffectProgram.h"
#include "plugin/PresetXml.h"
#include "plugin/SupportFolders.h"

namespace {

using namespace tonewright;
using namespace testkit;

constexpr int kLength = 24000;
constexpr int kStride = 6;

std::filesystem::path referenceFile()
{
    const char* root = std::getenv("TONEWRIGHT_SOURCE_DIR");
    return std::filesystem::path(root ? root : ".") / "tests" / "plugin" / "data" / "reference-renders.bin";
}

// Notes as a guitar's direct signal gives them: a plucked chord every
// 0.15 s, decaying harmonics, peaks about -6 dBFS, then silence for the tails.
std::vector<double> played(double fs)
{
    constexpr double kPi = 3.14159265358979323846;
    const double chords[3][3] = {{82.41, 123.47, 164.81}, {110.0, 164.81, 220.0}, {98.0, 146.83, 196.0}};
    std::vector<double> x(kLength);
    const int period = static_cast<int>(0.15 * fs);
    for (int i = 0; i < kLength * 3 / 4; ++i) {
        const int note = i / period;
        const double t = (i % period) / fs;
        double v = 0.0;
        for (const double f : chords[note % 3])
            for (int k = 1; k <= 6; ++k) v += std::sin(2.0 * kPi * f * k * t) * std::exp(-t * (4.0 + k)) / k;
        x[size_t(i)] = 0.12 * v;
    }
    return x;
}

TonewrightParameters firstProgram()
{
    auto bank = std::make_unique<EffectProgram[]>(kBankSize);
    EXPECT_TRUE(LoadBankFromText(bank.get(), FactoryBankText()));
    return bank[0].params;
}

struct Render {
    const char* name;
    double fs;
    int block;
    enum Sound { defaults, program0, everyStage } sound;
};

constexpr Render kRenders[] = {
    {"default sound, 44.1 kHz", 44100.0, 512, Render::defaults},
    // Blocks longer than the engine runs at once.
    {"factory program 0, 44.1 kHz", 44100.0, 4096, Render::program0},
    {"factory program 0, 48 kHz", 48000.0, 64, Render::program0},
    {"every stage on, 44.1 kHz", 44100.0, 1024, Render::everyStage},
};

// Both channels, every kStride-th sample, left then right.
std::vector<double> render(const Render& r)
{
    auto e = std::make_unique<Tonewright>(r.fs, CabinetProcessor::Worker::none);
    e->Reserve(r.block);
    if (r.sound == Render::program0) {
        // As a new instance plays it: the engine's own oversampling and first switch.
        TonewrightParameters sound = firstProgram();
        sound.enable = e->GetParameters()->enable;
        sound.upsampler_enabled = e->GetParameters()->upsampler_enabled;
        const Tonewright::Replaced replaced = e->CommitSound(e->PrepareSound(sound));
    } else if (r.sound == Render::everyStage) {
        for (const auto& [id, v] : {std::pair(1, 1.0), {6, 1}, {7, 1}, {9, 1}, {27, 1}, {47, 1}, {53, 1}, {60, 1},
                                    {69, 1}, {77, 1}, {86, 1}, {87, 2}, {93, 1}, {91, 1}, {92, 1}})
            e->SetParameter(id, v);
    }
    e->Settle();
    std::vector<double> in = played(r.fs), l(kLength), rr(kLength);
    forEachBlock(kLength, BlockPlan::Fixed(r.block),
                 [&](int at, int n) { e->process(in.data() + at, l.data() + at, rr.data() + at, n); });
    std::vector<double> kept;
    for (const auto* channel : {&l, &rr})
        for (size_t i = 0; i < channel->size(); i += kStride) kept.push_back((*channel)[i]);
    return kept;
}

}  // namespace

TEST(ReferenceRender, TheEngineSoundsAsTheStoredRenders)
{
    std::vector<double> all;
    for (const Render& r : kRenders) {
        const std::vector<double> one = render(r);
        all.insert(all.end(), one.begin(), one.end());
    }
    const size_t each = all.size() / std::size(kRenders);
    if (std::getenv("TONEWRIGHT_STORE_REFERENCE_RENDERS")) {
        std::filesystem::create_directories(referenceFile().parent_path());
        std::ofstream out(referenceFile(), std::ios::binary);
        out.write(reinterpret_cast<const char*>(all.data()), std::streamsize(all.size() * sizeof(double)));
        ASSERT_TRUE(out.good());
    }
    std::ifstream in(referenceFile(), std::ios::binary);
    ASSERT_TRUE(in) << referenceFile();
    std::vector<double> stored(all.size() + 1);
    in.read(reinterpret_cast<char*>(stored.data()), std::streamsize(stored.size() * sizeof(double)));
    ASSERT_EQ(size_t(in.gcount()), all.size() * sizeof(double)) << "the stored renders have another length";
    for (size_t k = 0; k < std::size(kRenders); ++k) {
        SCOPED_TRACE(kRenders[k].name);
        const auto begin = stored.begin() + std::ptrdiff_t(k * each);
        const std::vector<double> want(begin, begin + std::ptrdiff_t(each));
        const double top = peak(want);
        ASSERT_GT(top, 0.05);
        ASSERT_GT(rms(want), 0.02 * top);
        double worst = 0.0;
        size_t at = 0;
        for (size_t i = 0; i < each; ++i) {
            const double d = std::fabs(all[k * each + i] - want[i]);
            if (!(d <= worst)) worst = d, at = i;
        }
        EXPECT_LE(worst, 1e-9 * top) << "at stored sample " << at;
        std::printf("%s: largest difference %.3g of the peak\n", kRenders[k].name, worst / top);
    }
}
