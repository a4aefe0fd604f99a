// The pedal-board stages at the head of the chain and the graphic equaliser,
// each on its own: cost per second of guitar-like audio.

#include <cmath>
#include <random>

#include "Bench.h"
#include "effects/CompressorSustainer.h"
#include "effects/GraphicEQ7.h"
#include "effects/NoiseGate.h"
#include "effects/WahWah.h"

namespace tonewright {
namespace {

constexpr double kFs = 44100.0;
constexpr int kBlock = 512;

// Decaying plucks over a little noise, so the detectors open and close.
struct Signal {
    std::vector<double> source, work;
    Signal() : source(size_t(kFs)), work(size_t(kBlock))
    {
        std::mt19937 rng(1);
        std::uniform_real_distribution<double> noise(-0.001, 0.001);
        for (size_t i = 0; i < source.size(); ++i) {
            const double t = double(i % 22050) / kFs;
            source[i] = 0.4 * std::exp(-6.0 * t) * std::sin(2.0 * 3.14159265358979 * 196.0 * t) + noise(rng);
        }
    }
    double* Next(int n)
    {
        std::copy_n(source.begin() + long(pos), n, work.begin());
        pos = (pos + size_t(n)) % (source.size() - size_t(kBlock));
        return work.data();
    }
    size_t pos = 0;
};

template <typename Stage, typename Run>
bench::Result run(Stage& stage, Run process, int block = kBlock)
{
    stage.SetFs(kFs);
    stage.Reserve(block);
    stage.Settle();
    Signal s;
    return bench::measure(kFs, block, 20.0, 5, [&](int n) { process(s.Next(n), n); });
}

bench::Result gate(int block)
{
    NoiseGate g;
    g.SetParameter(1, -40.0);
    return run(g, [&](double* x, int n) {
        g.process_input(x, n);
        g.process(x, n);
    }, block);
}

bench::Result sustainer(int type)
{
    CompressorSustainer c;
    c.SetParameter(1, type);
    return run(c, [&](double* x, int n) { c.process(x, n); });
}

bench::Result wah(int type, bool sweep)
{
    WahWah w;
    w.SetParameter(1, type);
    int blocks = 0;
    return run(w, [&](double* x, int n) {
        // A pedal moved every 40 ms keeps the glide (and its per-sample
        // coefficients) running.
        if (sweep && ++blocks % 4 == 0) w.SetParameter(2, (blocks / 4) % 2 ? 0.9 : 0.1);
        w.process(x, n);
    });
}

bench::Result eq(int block)
{
    GraphicEQ7 e;
    e.SetParameter(3, 4.0);
    e.SetParameter(7, -3.0);
    return run(e, [&](double* x, int n) { e.process(x, n); }, block);
}

const bench::Register gate512("noise gate, 44.1 kHz", [] { return gate(kBlock); });
const bench::Register gate64("noise gate, 44.1 kHz, block 64", [] { return gate(64); });
const bench::Register sustain1("compressor/sustainer law 1, 44.1 kHz", [] { return sustainer(1); });
const bench::Register sustain0("compressor/sustainer law 0 (pow), 44.1 kHz", [] { return sustainer(0); });
const bench::Register wahStill("wah pedal, still, 44.1 kHz", [] { return wah(0, false); });
const bench::Register wahMoving("wah pedal, moving, 44.1 kHz", [] { return wah(0, true); });
const bench::Register wahAuto("wah automatic, 44.1 kHz", [] { return wah(1, false); });
const bench::Register eq512("graphic equaliser, 44.1 kHz", [] { return eq(kBlock); });
const bench::Register eq64("graphic equaliser, 44.1 kHz, block 64", [] { return eq(64); });

}  // namespace

}  // namespace tonewright
