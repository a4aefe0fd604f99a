// The sound a user hears first: the factory bank's first program, through the
// engine alone and through the whole plug-in, on played notes at the two
// common rates and three block sizes.

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "Bench.h"
#include "engine/Tonewright.h"
#include "plugin/Effect.h"
#include "plugin/PresetXml.h"
#include "plugin/SupportFolders.h"

using namespace tonewright;

namespace {

constexpr double kSeconds = 10.0;

// Program 0 with the engine's own oversampling choice and first switch, as
// a new instance plays it.
TonewrightParameters firstProgram(Tonewright& e)
{
    auto bank = std::make_unique<EffectProgram[]>(kBankSize);
    LoadBankFromText(bank.get(), FactoryBankText());
    TonewrightParameters sound = bank[0].params;
    sound.enable = e.GetParameters()->enable;
    sound.upsampler_enabled = e.GetParameters()->upsampler_enabled;
    return sound;
}

bench::Result engine(double fs, int block)
{
    auto e = std::make_unique<Tonewright>(fs);
    e->Reserve(block);
    const Tonewright::Replaced replaced = e->CommitSound(e->PrepareSound(firstProgram(*e)));
    e->Settle();
    const int length = static_cast<int>(kSeconds * fs) + block;
    const std::vector<double> played = bench::plucked(length, fs);
    std::vector<double> in(static_cast<size_t>(block)), l(in.size()), r(in.size());
    long position = 0;
    return bench::measure(fs, block, kSeconds, 5, [&](int n) {
        std::copy_n(played.begin() + position % (length - block), n, in.begin());
        position += n;
        e->process(in.data(), l.data(), r.data(), n);
    });
}

VstIntPtr host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

// A new instance whose support folder cannot be made plays program 0 of the
// bank it carries, whatever the user's own folder holds.
bench::Result plugin(double fs, int block)
{
    setenv("TONEWRIGHT_SUPPORT_FOLDER", "/proc/version/tonewright-bench", 1);
    auto fx = std::make_unique<Effect>(host);
    fx->setSampleRate(static_cast<float>(fs));
    fx->setBlockSize(block);
    fx->resume();
    const int length = static_cast<int>(kSeconds * fs) + block;
    const std::vector<double> played = bench::plucked(length, fs);
    std::vector<float> in(played.begin(), played.end()), l(static_cast<size_t>(block)), r(l.size());
    float* outputs[2] = {l.data(), r.data()};
    long position = 0;
    return bench::measure(fs, block, kSeconds, 5, [&](int n) {
        float* at = in.data() + position % (length - block);
        position += n;
        float* inputs[2] = {at, nullptr};
        fx->processReplacing(inputs, outputs, n);
    });
}

}  // namespace

// A bank whose every program is the engine's own default sound, which a new
// instance then plays: what the plug-in sounds like without the factory bank.
bool bench::writeDefaultBank(const char* path)
{
    auto bank = std::make_unique<EffectProgram[]>(kBankSize);
    Tonewright e;
    for (int k = 0; k < kBankSize; ++k) bank[k].params = *e.GetParameters();
    return SaveBankAsXML(bank.get(), path);
}

namespace {

const bool registered = [] {
    for (const bool isEngine : {true, false})
        for (const double fs : {44100.0, 48000.0})
            for (const int block : {64, 256, 1024})
                bench::registry().push_back(
                    {std::string(isEngine ? "engine" : "plugin") + ": factory program 0, " +
                         (fs == 44100.0 ? "44.1" : "48") + " kHz, block " + std::to_string(block),
                     [=] { return isEngine ? engine(fs, block) : plugin(fs, block); }});
    return true;
}();

}  // namespace
