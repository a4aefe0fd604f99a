// Writes seed inputs for the state fuzzers: a preset, a preamp and a bank
// chunk of a plug-in with a short stereo impulse, in the stored formats.

#include <cmath>
#include <fstream>
#include <memory>
#include <string>

#include "plugin/Effect.h"
#include "plugin/PresetXml.h"

using namespace tonewright;

int main(int argc, char** argv)
{
    if (argc < 2) return 2;
    const std::string dir = argv[1];
    TonewrightParameters p;
    double left[24], right[24];
    for (int i = 0; i < 24; ++i) {
        left[i] = std::exp(-i / 4.0) * (i % 2 ? -0.5 : 0.5);
        right[i] = -left[i];
    }
    p.cabinet.SetImpulse(left, right, 24, false, 48000.0, "Seed.wav");
    p.echo.enable = true;
    std::ofstream(dir + "/preset.xml") << PresetFileText(p, "Seed");
    std::ofstream(dir + "/preamp.xml") << PreampFileText(p.preamp);
    auto programs = std::make_unique<EffectProgram[]>(kBankSize);
    programs[1].params = p;
    std::string bank = BankElementText(programs.get());
    // A chunk of one program is small enough to mutate quickly.
    std::string chunk = "<TWRChunk><TWRBank name=\"Seed.xml\">\n<TWRPreset" +
                        bank.substr(bank.find("<TWRPreset") + 10, bank.find("</TWRPreset>") + 12 - bank.find("<TWRPreset") - 10) +
                        "\n</TWRBank><TWRCurrent name=\"Now\" modified=\"true\" prognum=\"1\"></TWRCurrent></TWRChunk>";
    std::ofstream(dir + "/chunk.xml") << '\0' << chunk;
    std::ofstream(dir + "/preset-chunk.xml") << '\1' << PresetFileText(p, "Seed").substr(23);
    return 0;
}
