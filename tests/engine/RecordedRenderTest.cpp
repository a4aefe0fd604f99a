// The engine's output with every stage on and a long stereo cabinet, against
// samples recorded from the x86-64 build with its vector kernels: every
// processor and every form of the loops (the portable ones, SSE2, AVX2)
// gives them within 1e-9 of the output's peak. A deliberate change of the
// sound records new ones (the failure prints them).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "DspTestKit.h"
#include "amp/Oversampler.h"
#include "cabinet/Fft.h"
#include "dsp/WideVectors.h"
#include "engine/Tonewright.h"

using namespace tonewright;
using namespace testkit;

namespace {

struct Render {
    std::vector<double> left, right;
};

// 48 kHz, blocks of 256: gate, wah, sustainer, equaliser, modulation, hall
// reverb, boost, deep and bright (as EngineTest's every-stage run), and a
// 12000-tap stereo cabinet, on a second of noise bursts.
Render everyStageWithACabinet()
{
    auto e = std::make_unique<Tonewright>(48000.0);
    for (const auto& [id, v] : {std::pair(1, 1.0), {6, 1}, {7, 1}, {9, 1}, {27, 1}, {47, 1}, {53, 1}, {60, 1}, {69, 1},
                                {77, 1}, {86, 1}, {87, 2}, {93, 1}, {91, 1}, {92, 1}, {94, -6}})
        e->SetParameter(id, v);
    TonewrightParameters sound = *e->GetParameters();
    constexpr int kTaps = 12000;
    std::vector<double> l = whiteNoise(kTaps, 0.5, 31), r = whiteNoise(kTaps, 0.5, 32);
    for (int i = 0; i < kTaps; ++i) {
        const double decay = std::exp(-i / 1500.0);
        l[size_t(i)] *= decay;
        r[size_t(i)] *= decay;
    }
    l[0] = r[3] = 1.0;
    EXPECT_TRUE(sound.cabinet.SetImpulse(l.data(), r.data(), kTaps, false, 48000.0, "Recorded.wav"));
    e->SetParameters(&sound);
    e->Settle();

    std::vector<double> in = whiteNoise(48000, 0.3, 33);
    for (size_t i = 0; i < in.size(); ++i) in[i] *= (i / 6000) % 2 ? 0.1 : 1.0;
    Render out{std::vector<double>(in.size()), std::vector<double>(in.size())};
    forEachBlock(int(in.size()), BlockPlan::Fixed(256), [&](int offset, int n) {
        const size_t k = size_t(offset);
        e->process(in.data() + k, out.left.data() + k, out.right.data() + k, n);
    });
    return out;
}

// Samples at 1999 k, k = 1..24, left then right.
constexpr int kSpacing = 1999;
constexpr double kRecorded[2][24] = {
    {0.015049287111724636, -0.00024742285084648595, 0.0044304064781901624, -0.017625531245874859,
     0.004103004184801598, -0.0077573394234494632, -0.0048636139628432913, -0.024646323574104984,
     0.029552883042546052, 0.015310524458185506, -0.0097918937665645162, -0.026938023945766547,
     -0.003112594847682143, 0.013379666918820953, -0.0056649154196563405, -0.013613755895511117,
     0.040100209904166427, 3.1627205582585332e-05, -0.0095503300402576541, 0.00290394150390394,
     0.0053328783051965461, -0.017699400321484798, 0.028075838639505336, 0.00076346616732145983},
    {-0.0020793022724073713, 0.0092062823128003929, -0.0045813279854219867, -0.0089732029557811361,
     -0.0016271888380855698, -0.0078812967840139782, -0.008889426473884179, -0.015035062930800409,
     0.0078508639804212733, -0.013600329209703567, -0.0068913945810703718, -0.00091379761379438288,
     0.026539327346084527, -0.02457851401566186, 0.0086226947759117031, -0.012665331861530895,
     0.028037457518419042, -0.023197701951421644, -0.0043136697924511698, 0.00036404367153989431,
     0.0032728649144283385, -0.0035886408713041323, 0.011591820208262783, 0.0089501059849407347},
};

}  // namespace

TEST(RecordedRender, EveryStageWithALongStereoCabinetGivesTheRecordedSamples)
{
    // With the widest loops this processor runs, then with the portable
    // ones (those chosen at run time; a build without the vector kernels
    // has only these).
    for (const bool widest : {true, false}) {
        fft::UseIsa(widest ? fft::SupportedIsa() : fft::Isa::portable);
        AllowWideVectors(widest);
        Oversampler::AllowWideVectors(widest);
        const Render out = everyStageWithACabinet();
        const double tolerance = 1e-9 * std::max(peak(out.left), peak(out.right));
        ASSERT_GT(rms(out.left), 0.005);
        bool same = true;
        std::string now;
        for (int side = 0; side < 2; ++side) {
            now += "    {";
            for (int k = 0; k < 24; ++k) {
                const double x = (side ? out.right : out.left)[size_t(kSpacing * (k + 1))];
                same = same && std::fabs(x - kRecorded[side][k]) <= tolerance;
                char text[32];
                std::snprintf(text, sizeof text, "%s%.17g", k ? ", " : "", x);
                now += text;
            }
            now += "},\n";
        }
        EXPECT_TRUE(same) << (widest ? "widest" : "portable") << " loops, within " << tolerance
                          << "; the samples now:\n"
                          << now;
    }
    fft::UseIsa(fft::SupportedIsa());
    AllowWideVectors(true);
    Oversampler::AllowWideVectors(true);
}
