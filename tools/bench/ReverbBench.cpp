// The reverb types (the selector with one type on and the others faded) and
// the tuner fed a steady tone.

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "Bench.h"
#include "effects/Reverb.h"
#include "engine/Tonewright.h"
#include "effects/Tuner.h"

namespace tonewright {
namespace {

std::vector<double> noise(int n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> d(-0.3, 0.3);
    std::vector<double> v(static_cast<size_t>(n));
    for (double& x : v) x = d(rng);
    return v;
}

bench::Result reverb(int type, int block)
{
    const double fs = 44100.0;
    auto r = std::make_unique<Reverb>();
    r->SetParameter(1, type);
    r->Reserve(block);
    r->Settle();
    const std::vector<double> sl = noise(block, 1), sr = noise(block, 2);
    std::vector<double> l(sl.size()), rr(sr.size());
    return bench::measure(fs, block, 10.0, 5, [&](int n) {
        std::copy_n(sl.begin(), n, l.begin());
        std::copy_n(sr.begin(), n, rr.begin());
        r->process(l.data(), rr.data(), n);
    });
}

bench::Result tuner(double freq, int block)
{
    const double fs = 44100.0;
    auto t = std::make_unique<Tuner>();
    std::vector<double> tone(static_cast<size_t>(fs));
    for (size_t i = 0; i < tone.size(); ++i) tone[i] = 0.3 * std::sin(2.0 * 3.14159265358979323846 * freq * double(i) / fs);
    size_t pos = 0;
    return bench::measure(fs, block, 10.0, 5, [&](int n) {
        if (pos + size_t(n) > tone.size()) pos = 0;
        t->process_input(tone.data() + pos, n);
        pos += size_t(n);
    });
}

// The whole engine at its defaults with the hall reverb switched on.
bench::Result engineWithReverb(int block)
{
    const double fs = 44100.0;
    auto e = std::make_unique<Tonewright>();
    e->Reserve(block);
    e->SetParameter(86, 1.0);
    const std::vector<double> source = noise(block, 3);
    std::vector<double> in(source.size()), l(source.size()), r(source.size());
    return bench::measure(fs, block, 10.0, 5, [&](int n) {
        std::copy_n(source.begin(), n, in.begin());
        e->process(in.data(), l.data(), r.data(), n);
    });
}

const bench::Register room("reverb: room, 44.1 kHz", [] { return reverb(0, 512); });
const bench::Register club("reverb: club, 44.1 kHz", [] { return reverb(1, 512); });
const bench::Register hall("reverb: hall, 44.1 kHz", [] { return reverb(2, 512); });
const bench::Register hall64("reverb: hall, 44.1 kHz, block 64", [] { return reverb(2, 64); });
const bench::Register engine512("engine: defaults + hall reverb, 44.1 kHz", [] { return engineWithReverb(512); });
const bench::Register engine64("engine: defaults + hall reverb, 44.1 kHz, block 64",
                               [] { return engineWithReverb(64); });
const bench::Register tunerLow("tuner: 82 Hz tone, 44.1 kHz", [] { return tuner(82.41, 512); });
const bench::Register tunerHigh("tuner: 1319 Hz tone, 44.1 kHz", [] { return tuner(1318.5, 512); });

}  // namespace

}  // namespace tonewright
