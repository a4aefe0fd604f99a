// The modulation and delay effects, stereo: the cost of a second of audio
// with signal, and of silence after a loud signal (the decaying feedback
// must not slow down into subnormal numbers).

#include <memory>
#include <random>

#include "Bench.h"
#include "effects/Chorus.h"
#include "effects/Echo.h"
#include "effects/Flanger.h"
#include "effects/Phaser.h"
#include "effects/Tremolo.h"

namespace tonewright {
namespace {

constexpr double kFs = 44100.0;
constexpr int kBlock = 512;

struct Buffers {
    std::vector<double> noise, l, r;
    Buffers() : noise(size_t(kFs)), l(kBlock), r(kBlock)
    {
        std::mt19937 rng(1);
        std::uniform_real_distribution<double> d(-0.9, 0.9);
        for (double& x : noise) x = d(rng);
    }
};

template <class Effect>
std::unique_ptr<Effect> made(const std::vector<std::pair<int, double>>& settings)
{
    auto e = std::make_unique<Effect>();
    e->SetFs(kFs);
    for (const auto& [id, v] : settings) e->SetParameter(id, v);
    e->Settle();
    e->Reserve(kBlock);
    return e;
}

template <class Effect>
bench::Result withSignal(const std::vector<std::pair<int, double>>& settings)
{
    auto e = made<Effect>(settings);
    Buffers b;
    size_t pos = 0;
    return bench::measure(kFs, kBlock, 10.0, 5, [&](int n) {
        if (pos + size_t(n) > b.noise.size()) pos = 0;
        std::copy_n(b.noise.begin() + long(pos), n, b.l.begin());
        std::copy_n(b.noise.rbegin() + long(pos), n, b.r.begin());
        pos += size_t(n);
        e->process(b.l.data(), b.r.data(), n);
    });
}

// One second of loud noise, then a minute of silence, timed.
template <class Effect>
bench::Result silenceAfterLoud(const std::vector<std::pair<int, double>>& settings)
{
    auto e = made<Effect>(settings);
    Buffers b;
    for (size_t pos = 0; pos + kBlock <= b.noise.size(); pos += kBlock) {
        std::copy_n(b.noise.begin() + long(pos), kBlock, b.l.begin());
        std::copy_n(b.noise.rbegin() + long(pos), kBlock, b.r.begin());
        e->process(b.l.data(), b.r.data(), kBlock);
    }
    return bench::measure(kFs, kBlock, 60.0, 1, [&](int n) {
        std::fill_n(b.l.begin(), n, 0.0);
        std::fill_n(b.r.begin(), n, 0.0);
        e->process(b.l.data(), b.r.data(), n);
    });
}

const std::vector<std::pair<int, double>> kTremolo = {{2, 5.0}, {3, 1.0}, {4, 0.5}};
const std::vector<std::pair<int, double>> kChorus = {{1, 2}, {2, 0.8}, {3, 0.7}};
const std::vector<std::pair<int, double>> kFlanger = {{1, 1}, {4, 0.003}, {6, 0.7}};
const std::vector<std::pair<int, double>> kPhaser = {{1, 1}, {2, 0.8}, {5, 0.7}, {6, 2}};
// Short repeats with strong feedback: a minute of silence takes the
// repeats far below where subnormal numbers would begin.
const std::vector<std::pair<int, double>> kEcho = {{2, 0.02}, {3, 0.7}, {6, 0.6}, {7, 1}};

const bench::Register tremolo("tremolo: stereo, 44.1 kHz", [] { return withSignal<Tremolo>(kTremolo); });
const bench::Register chorus("chorus: stereo, type 2, 44.1 kHz", [] { return withSignal<Chorus>(kChorus); });
const bench::Register flanger("flanger: stereo, type 1, 44.1 kHz", [] { return withSignal<Flanger>(kFlanger); });
const bench::Register phaser("phaser: stereo, 6 stages, 44.1 kHz", [] { return withSignal<Phaser>(kPhaser); });
const bench::Register echo("echo: stereo, ping-pong, filtered, 44.1 kHz", [] { return withSignal<Echo>(kEcho); });

const bench::Register tremoloQuiet("tremolo: silence after loud signal",
                                   [] { return silenceAfterLoud<Tremolo>(kTremolo); });
const bench::Register chorusQuiet("chorus: silence after loud signal", [] { return silenceAfterLoud<Chorus>(kChorus); });
const bench::Register flangerQuiet("flanger: silence after loud signal",
                                   [] { return silenceAfterLoud<Flanger>(kFlanger); });
const bench::Register phaserQuiet("phaser: silence after loud signal", [] { return silenceAfterLoud<Phaser>(kPhaser); });
const bench::Register echoQuiet("echo: silence after loud signal", [] { return silenceAfterLoud<Echo>(kEcho); });

}  // namespace

}  // namespace tonewright
