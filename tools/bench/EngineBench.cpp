// The engine's whole cost and its fixed filters.

#include <memory>
#include <random>

#include "Bench.h"
#include "Tonewright.h"

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

bench::Result engine(double fs, int block, const std::vector<std::pair<int, double>>& settings)
{
    auto e = std::make_unique<Tonewright>();
    e->SetFs(fs);
    e->Reserve(block);
    for (const auto& [id, v] : settings) e->SetParameter(id, v);
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
const bench::Register block64("engine: default settings, 44.1 kHz, block 64", [] { return engine(44100.0, 64, {}); });

}  // namespace
