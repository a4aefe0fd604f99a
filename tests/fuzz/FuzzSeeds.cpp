// Writes seed inputs for the state fuzzers in the stored formats, small ones
// to mutate quickly and real-size ones: the factory bank, and the bank and
// preset chunks of a plug-in holding it with a 32768-tap stereo cabinet.
//
//   fuzz-seeds SMALL-DIR LARGE-DIR FACTORY-BANK.xml

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "plugin/Effect.h"
#include "plugin/PresetXml.h"

namespace tonewright {
namespace {

// A decaying stereo impulse of `taps` samples, the sides apart.
void setImpulse(TonewrightParameters& p, int taps, const char* name)
{
    std::vector<double> left(size_t(taps), 0.0), right(size_t(taps), 0.0);
    for (int i = 0; i < taps; ++i) {
        left[size_t(i)] = std::exp(-i / (taps / 6.0)) * std::sin(0.37 * i) * 0.5;
        right[size_t(i)] = std::exp(-i / (taps / 5.0)) * std::cos(0.29 * i) * 0.5;
    }
    p.cabinet.SetImpulse(left.data(), right.data(), taps, false, 48000.0, name);
}

bool write(const std::filesystem::path& file, const std::string& bytes)
{
    std::ofstream out(file, std::ios::binary);
    out << bytes;
    return bool(out);
}

VstIntPtr host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

// The chunk the plug-in gives, with the fuzzer's first byte: 0 bank, 1 preset.
std::string chunkOf(Effect& effect, bool preset)
{
    void* data = nullptr;
    const VstInt32 size = effect.getChunk(&data, preset);
    return std::string(1, preset ? '\1' : '\0') + std::string(static_cast<const char*>(data), size_t(size));
}

bool smallSeeds(const std::filesystem::path& dir)
{
    TonewrightParameters p;
    setImpulse(p, 24, "Seed.wav");
    p.echo.enable = true;
    auto programs = std::make_unique<EffectProgram[]>(kBankSize);
    programs[1].params = p;
    const std::string bank = BankElementText(programs.get());
    // A chunk of one program is small enough to mutate quickly.
    const size_t first = bank.find("<TWRPreset") + 10, end = bank.find("</TWRPreset>") + 12;
    const std::string chunk = "<TWRChunk><TWRBank name=\"Seed.xml\">\n<TWRPreset" + bank.substr(first, end - first) +
                              "\n</TWRBank><TWRCurrent name=\"Now\" modified=\"true\" prognum=\"1\"></TWRCurrent></TWRChunk>";
    return write(dir / "preset.xml", PresetFileText(p, "Seed")) && write(dir / "preamp.xml", PreampFileText(p.preamp)) &&
           write(dir / "chunk.xml", std::string(1, '\0') + chunk) &&
           write(dir / "preset-chunk.xml", '\1' + PresetFileText(p, "Seed").substr(23));
}

bool largeSeeds(const std::filesystem::path& dir, const char* factoryBank)
{
    Effect effect(host);
    if (!effect.loadBank(factoryBank)) return false;
    TonewrightParameters p;
    setImpulse(p, 32768, "Long Stereo.wav");
    std::string preset = PresetFileText(p, "Long");
    // The preset's element as a preset chunk makes it the current sound.
    std::string element = preset.substr(preset.find("<TWRPreset"));
    effect.setChunk(element.data(), VstInt32(element.size()), true);
    const std::string chunk = chunkOf(effect, false);
    if (chunk.find("Long Stereo.wav") == std::string::npos) return false;
    std::ifstream in(factoryBank, std::ios::binary);
    const std::string bankFile{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return write(dir / "factory-bank.xml", bankFile) && write(dir / "long-preset.xml", preset) &&
           write(dir / "factory-chunk.xml", chunk) &&
           write(dir / "long-preset-chunk.xml", chunkOf(effect, true));
}

}  // namespace
}  // namespace tonewright

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: fuzz-seeds SMALL-DIR LARGE-DIR FACTORY-BANK.xml\n");
        return 2;
    }
    ::setenv("XDG_DATA_HOME", "/dev/null/no-support-folder", 1);
    ::setenv("XDG_CONFIG_HOME", "/dev/null/no-config", 1);
    if (!tonewright::smallSeeds(argv[1]) || !tonewright::largeSeeds(argv[2], argv[3])) {
        std::fprintf(stderr, "fuzz-seeds: the seeds could not be made\n");
        return 1;
    }
    return 0;
}
