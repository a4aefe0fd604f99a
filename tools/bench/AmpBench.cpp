// Cost of the amplifier (preamp and power amp with the settings a new engine
// record holds) per second of audio, at the host rate and oversampled, at
// 44.1 and 96 kHz; and of the tube, the oversampler and the crossfades alone.

#include <memory>
#include <vector>

#include "Bench.h"
#include "amp/Amplifier.h"
#include "amp/Oversampler.h"
#include "amp/PowerAmp.h"
#include "amp/Preamp.h"
#include "engine/TonewrightParameters.h"

namespace tonewright {
namespace {

constexpr int kBlock = 512;

// The engine's amplifier step: preamp and power amp, oversampled or not.
struct Amplifier {
    Oversampler os;
    Preamp preamp;
    PowerAmp poweramp;
    bool raised;

    Amplifier(double fs, bool oversampled) : raised(oversampled)
    {
        const TonewrightParameters defaults;
        os.SetFs(fs);
        const double rate = raised ? fs * os.Factor() : fs;
        preamp.SetFs(rate);
        preamp.SetParameters(defaults.preamp);
        poweramp.SetFs(rate);
        poweramp.SetParameters(defaults.poweramp);
        preamp.Settle();
        poweramp.Settle();
        os.Reserve(kBlock);
        preamp.Reserve(kBlock * os.Factor());
        poweramp.Reserve(kBlock * os.Factor());
    }

    void process(double* x, int n)
    {
        if (!raised) {
            runAmplifier(preamp, poweramp, x, n);
            return;
        }
        os.UpsampleInput(x, n);
        runAmplifier(preamp, poweramp, os.Buffer(), os.Count());
        os.DownsampleOutput(x, n);
    }
};

// changeEvery: blocks between a preamp placement change and a power amp
// type change (0: never), to cost the crossfades.
bench::Result amplifier(double fs, bool oversampled, int changeEvery = 0)
{
    auto amp = std::make_unique<Amplifier>(fs, oversampled);
    const auto in = bench::noise(kBlock);
    std::vector<double> x(kBlock);
    int block = 0;
    return bench::measure(fs, kBlock, 10.0, 5, [&](int n) {
        if (changeEvery > 0 && ++block % changeEvery == 0) {
            amp->preamp.SetParameter(89, block / changeEvery % 2 ? 3 : 2);
            amp->poweramp.SetParameter(1, block / changeEvery % 3);
        }
        std::copy_n(in.begin(), n, x.begin());
        amp->process(x.data(), n);
    });
}

// One half of the amplifier alone at 176.4 kHz, on the signal the other
// half gives it (the preamp's output feeds the power amp).
bench::Result half(bool preamp)
{
    auto amp = std::make_unique<Amplifier>(44100.0, true);
    const int n = kBlock * 4;
    auto in = bench::noise(n);
    if (!preamp) amp->preamp.process(in.data(), n);
    std::vector<double> x(static_cast<size_t>(n));
    return bench::measure(176400.0, n, 10.0, 5, [&](int m) {
        std::copy_n(in.begin(), m, x.begin());
        if (preamp)
            amp->preamp.process(x.data(), m);
        else
            amp->poweramp.process(x.data(), m);
    });
}

bench::Result tube(bool dynamic)
{
    Tube t;
    t.SetParameter(6, dynamic ? 1.0 : 0.0);
    t.Settle();
    const auto in = bench::noise(kBlock);
    std::vector<double> x(kBlock);
    return bench::measure(44100.0, kBlock, 10.0, 5, [&](int n) {
        std::copy_n(in.begin(), n, x.begin());
        t.process(x.data(), n);
    });
}

bench::Result oversampler()
{
    Oversampler os;
    os.Reserve(kBlock);
    const auto in = bench::noise(kBlock);
    std::vector<double> x(kBlock);
    return bench::measure(44100.0, kBlock, 10.0, 5, [&](int n) {
        std::copy_n(in.begin(), n, x.begin());
        os.UpsampleInput(x.data(), n);
        os.DownsampleOutput(x.data(), n);
    });
}

const bench::Register amp44("amp: 44.1 kHz, host rate", [] { return amplifier(44100.0, false); });
const bench::Register amp44os("amp: 44.1 kHz, oversampled x4", [] { return amplifier(44100.0, true); });
const bench::Register amp96("amp: 96 kHz, host rate", [] { return amplifier(96000.0, false); });
const bench::Register amp96os("amp: 96 kHz, oversampled x2", [] { return amplifier(96000.0, true); });
const bench::Register ampFading("amp: 44.1 kHz, oversampled x4, changing every 4 blocks",
                                [] { return amplifier(44100.0, true, 4); });
const bench::Register preampOnly("amp: preamp alone at 176.4 kHz", [] { return half(true); });
const bench::Register powerOnly("amp: power amp alone at 176.4 kHz", [] { return half(false); });
const bench::Register tubeLoop("amp: one tube with its loop, 44.1 kHz", [] { return tube(true); });
const bench::Register tubePlain("amp: one tube without loop, 44.1 kHz", [] { return tube(false); });
const bench::Register osOnly("amp: oversampler up and down, 44.1 kHz", [] { return oversampler(); });

}  // namespace

}  // namespace tonewright
