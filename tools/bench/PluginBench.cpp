// The plug-in's whole audio path: processReplacing with its lock, pending
// parameter hand-over, mono mix, engine, clip detection and meters, against
// the engine alone in EngineBench.

#include <memory>
#include <random>
#include <vector>

#include "Bench.h"
#include "plugin/Effect.h"

namespace tonewright {
namespace {

VstIntPtr host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

bench::Result plugin(double fs, int block, bool stereo, bool meters, bool automate, bool notes = false)
{
    auto fx = std::make_unique<Effect>(host);
    fx->setSampleRate(static_cast<float>(fs));
    fx->setBlockSize(block);
    fx->resume();
    fx->showMeters(meters);
    // Noise, or ten seconds of notes played block by block.
    const int length = notes ? static_cast<int>(10.0 * fs) + block : block;
    std::vector<float> in(static_cast<size_t>(length)), l(static_cast<size_t>(block)), r(l.size());
    if (notes) {
        const auto played = bench::plucked(length, fs);
        std::copy(played.begin(), played.end(), in.begin());
    } else {
        std::mt19937 rng(1);
        std::uniform_real_distribution<float> d(-0.3f, 0.3f);
        for (float& x : in) x = d(rng);
    }
    float* outputs[2] = {l.data(), r.data()};
    int step = 0;
    long position = 0;
    return bench::measure(fs, block, 10.0, 5, [&](int n) {
        if (automate) fx->setParameter(30, static_cast<float>(++step % 100) / 99.0f);
        float* at = in.data() + (notes ? position % (length - block) : 0);
        position += n;
        float* inputs[2] = {at, stereo ? at : nullptr};
        fx->processReplacing(inputs, outputs, n);
    });
}

const bench::Register mono64("plugin: mono in, stereo out, 44.1 kHz, block 64",
                             [] { return plugin(44100.0, 64, false, false, false); });
const bench::Register mono1024("plugin: mono in, stereo out, 44.1 kHz, block 1024",
                               [] { return plugin(44100.0, 1024, false, false, false); });
const bench::Register notes64("plugin: notes, 44.1 kHz, block 64", [] { return plugin(44100.0, 64, false, false, false, true); });
const bench::Register notes1024("plugin: notes, 44.1 kHz, block 1024",
                                [] { return plugin(44100.0, 1024, false, false, false, true); });
const bench::Register stereoMeters("plugin: stereo, meters on, 44.1 kHz, block 1024",
                                   [] { return plugin(44100.0, 1024, true, true, false); });
const bench::Register automated("plugin: master automated every block, 44.1 kHz, block 64",
                                [] { return plugin(44100.0, 64, false, false, true); });

}  // namespace

}  // namespace tonewright
