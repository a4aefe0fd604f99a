// Cost of the tone control (each type) and the gain control (each type) at
// 44.1 kHz, steady and while their crossfades run.

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "Bench.h"
#include "amp/GainControl.h"
#include "amp/ToneControl.h"

namespace tonewright {
namespace {

constexpr double kFs = 44100.0;
constexpr int kBlock = 512;

std::vector<double> noise()
{
    std::vector<double> v(kBlock);
    std::mt19937 rng(1);
    std::uniform_real_distribution<double> d(-0.3, 0.3);
    for (double& x : v) x = d(rng);
    return v;
}

// changeEvery: blocks between type changes (0: never).
bench::Result tone(int type, int changeEvery)
{
    auto t = std::make_unique<ToneControl>();
    t->Reserve(kBlock);
    t->SetParameters({type, 0.6, 0.4, 0.7, 0.3});
    t->Settle();
    const auto in = noise();
    std::vector<double> x(kBlock);
    int block = 0;
    return bench::measure(kFs, kBlock, 10.0, 5, [&](int n) {
        if (changeEvery > 0 && ++block % changeEvery == 0) t->SetParameter(0, (block / changeEvery) % 8);
        std::copy_n(in.begin(), n, x.begin());
        t->process(x.data(), n);
    });
}

// knobEvery: blocks between wiper changes (0: never).
bench::Result gain(int type, int knobEvery)
{
    GainControl g;
    g.SetParameters({type, 0.6});
    g.Settle();
    const auto in = noise();
    std::vector<double> x(kBlock);
    int block = 0;
    return bench::measure(kFs, kBlock, 10.0, 5, [&](int n) {
        if (knobEvery > 0 && ++block % knobEvery == 0) g.SetParameter(1, 0.3 + 0.001 * (block % 500));
        std::copy_n(in.begin(), n, x.begin());
        g.process(x.data(), n);
    });
}

const char* const kToneNames[] = {"plain EQ", "Fender", "Marshall", "Vox", "Boogie", "Peavey", "Matchless", "JMP1"};

const struct Registrations {
    Registrations()
    {
        for (int type = 0; type < 8; ++type) {
            bench::Register("tone control: type " + std::to_string(type) + " (" + kToneNames[type] + "), 44.1 kHz",
                            [type] { return tone(type, 0); });
        }
        bench::Register("tone control: type change every 3 blocks, 44.1 kHz", [] { return tone(0, 3); });
        for (int type = 0; type < 6; ++type) {
            bench::Register("gain control: type " + std::to_string(type) + ", 44.1 kHz",
                            [type] { return gain(type, 0); });
        }
        bench::Register("gain control: type 3, wiper moving, 44.1 kHz", [] { return gain(3, 1); });
    }
} registrations;

}  // namespace

}  // namespace tonewright
