// The engine's whole cost and its fixed filters.

#include <cmath>
#include <memory>
#include <random>
#include <string>

#include "Bench.h"
#include "engine/Tonewright.h"

namespace tonewright {
namespace {

struct Signal {
    std::vector<double> noise, in, l, r;
    explicit Signal(int block) : noise(size_t(block)), in(size_t(block)), l(size_t(block)), r(size_t(block))
    {
        std::mt19937 rng(1);
        std::uniform_real_distribution<double> d(-0.3, 0.3);
        for (double& x : noise) x = d(rng);
    }
};

// A stereo cabinet of `taps` samples: decaying noise, like a miked room.
void loadCabinet(Tonewright& e, int taps)
{
    std::mt19937 rng(3);
    std::normal_distribution<double> d(0.0, 1.0);
    std::vector<double> l(static_cast<size_t>(taps)), r(static_cast<size_t>(taps));
    for (int i = 0; i < taps; ++i) {
        const double decay = std::exp(-6.0 * i / taps);
        l[size_t(i)] = d(rng) * decay;
        r[size_t(i)] = d(rng) * decay;
    }
    e.SetCabinetImpulse(l.data(), r.data(), taps, false, 44100.0, "bench");
    e.cabinet.WaitForRebuild();
}

bench::Result engine(double fs, int block, const std::vector<std::pair<int, double>>& settings, int cabinetTaps = 0)
{
    auto e = std::make_unique<Tonewright>();
    e->SetFs(fs);
    e->Reserve(block);
    for (const auto& [id, v] : settings) e->SetParameter(id, v);
    if (cabinetTaps > 0) loadCabinet(*e, cabinetTaps);
    Signal s(block);
    return bench::measure(fs, block, 10.0, 5, [&](int n) {
        std::copy_n(s.noise.begin(), n, s.in.begin());
        e->process(s.in.data(), s.l.data(), s.r.data(), n);
    });
}

const bench::Register defaults44("engine: default settings, 44.1 kHz", [] { return engine(44100.0, 512, {}); });
const bench::Register defaults96("engine: default settings, 96 kHz", [] { return engine(96000.0, 512, {}); });
const bench::Register switches("engine: boost, deep, bright on, 44.1 kHz",
                               [] { return engine(44100.0, 512, {{93, 1}, {91, 1}, {92, 1}}); });
// Every stage switched in: gate, wah (auto), sustainer, the equaliser after
// the amplifier, an 8192-tap stereo cabinet, the five modulation effects
// after it, the hall reverb, boost, deep and bright.
const std::vector<std::pair<int, double>> kEverything = {
    {1, 1}, {6, 1}, {7, 1}, {9, 1}, {27, 1}, {40, 8192}, {47, 1}, {53, 1}, {60, 1}, {69, 1}, {77, 1},
    {86, 1}, {87, 2}, {93, 1}, {91, 1}, {92, 1}};
const bench::Register everything512("engine: every stage on, 44.1 kHz",
                                    [] { return engine(44100.0, 512, kEverything, 8192); });
const bench::Register everything64("engine: every stage on, 44.1 kHz, block 64",
                                   [] { return engine(44100.0, 64, kEverything, 8192); });
const bench::Register block64("engine: default settings, 44.1 kHz, block 64", [] { return engine(44100.0, 64, {}); });

// The cost per sample as the host's block grows.
const bool blockSizes = [] {
    for (const int block : {256, 1024}) {
        const std::string at = ", 44.1 kHz, block " + std::to_string(block);
        bench::registry().push_back({"engine: default settings" + at, [=] { return engine(44100.0, block, {}); }});
        bench::registry().push_back(
            {"engine: every stage on" + at, [=] { return engine(44100.0, block, kEverything, 8192); }});
    }
    return true;
}();

}  // namespace

}  // namespace tonewright
