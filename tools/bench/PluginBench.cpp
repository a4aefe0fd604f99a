// The plug-in's whole audio path: processReplacing with its lock, pending
// parameter hand-over, mono mix, engine, clip detection and meters, against
// the engine alone in EngineBench.

#include <memory>
#include <random>
#include <vector>

#include "Bench.h"
#include "plugin/Effect.h"

using namespace tonewright;

namespace {

VstIntPtr host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

bench::Result plugin(double fs, int block, bool stereo, bool meters, bool automate)
{
    auto fx = std::make_unique<Effect>(host);
    fx->setSampleRate(static_cast<float>(fs));
    fx->setBlockSize(block);
    fx->resume();
    fx->moreScreenVisible = meters;
    std::vector<float> in(static_cast<size_t>(block)), l(in.size()), r(in.size());
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> d(-0.3f, 0.3f);
    for (float& x : in) x = d(rng);
    float* inputs[2] = {in.data(), stereo ? in.data() : nullptr};
    float* outputs[2] = {l.data(), r.data()};
    int step = 0;
    return bench::measure(fs, block, 10.0, 5, [&](int n) {
        if (automate) fx->setParameter(30, static_cast<float>(++step % 100) / 99.0f);
        fx->processReplacing(inputs, outputs, n);
    });
}

const bench::Register mono64("plugin: mono in, stereo out, 44.1 kHz, block 64",
                             [] { return plugin(44100.0, 64, false, false, false); });
const bench::Register mono1024("plugin: mono in, stereo out, 44.1 kHz, block 1024",
                               [] { return plugin(44100.0, 1024, false, false, false); });
const bench::Register stereoMeters("plugin: stereo, meters on, 44.1 kHz, block 1024",
                                   [] { return plugin(44100.0, 1024, true, true, false); });
const bench::Register automated("plugin: master automated every block, 44.1 kHz, block 64",
                                [] { return plugin(44100.0, 64, false, false, true); });

}  // namespace
