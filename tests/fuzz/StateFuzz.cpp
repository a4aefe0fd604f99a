// libFuzzer targets for what the plug-in reads from outside: the preset and
// bank readers (FUZZ_READERS) and the host's state chunks (FUZZ_CHUNKS).
// Whatever the bytes, nothing crashes, and what was read writes out as text
// that reads back to the same text (the readers and writers agree).

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "plugin/Effect.h"
#include "plugin/PresetXml.h"

using namespace tonewright;

namespace {

void require(bool condition, const char* what)
{
    if (condition) return;
    std::fprintf(stderr, "state reader invariant broken: %s\n", what);
    std::abort();
}

[[maybe_unused]] std::string bankText(const EffectProgram* programs) { return BankElementText(programs); }

[[maybe_unused]] std::string presetText(const TonewrightParameters& p)
{
    std::string text;
    XmlWriter w(text);
    w.Open("TWRPreset");
    AddPresetToXML(p, w);
    w.Close();
    return text;
}

VstIntPtr host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
#if defined(FUZZ_READERS)
    pugi::xml_document doc;
    if (!ParseXml(doc, text)) return 0;
    const pugi::xml_node root = doc.document_element();
    TonewrightParameters record;
    GetPresetFromXML(record, root);
    const std::string once = presetText(record);
    TonewrightParameters again;
    pugi::xml_document second;
    require(ParseXml(second, once), "a written preset does not parse");
    GetPresetFromXML(again, second.document_element());
    require(presetText(again) == once, "a preset does not read back as written");

    auto programs = std::make_unique<EffectProgram[]>(kBankSize);
    GetBankFromXML(programs.get(), root);
    const std::string bank = bankText(programs.get());
    auto reread = std::make_unique<EffectProgram[]>(kBankSize);
    pugi::xml_document third;
    require(ParseXml(third, bank), "a written bank does not parse");
    GetBankFromXML(reread.get(), third.document_element());
    require(bankText(reread.get()) == bank, "a bank does not read back as written");
#elif defined(FUZZ_CHUNKS)
    static Effect* effect = [] {
        ::setenv("XDG_DATA_HOME", "/dev/null/no-support-folder", 1);
        ::setenv("XDG_CONFIG_HOME", "/dev/null/no-config", 1);
        return new Effect(host);
    }();
    if (size == 0) return 0;
    const bool preset = data[0] & 1;
    std::string copy(text.substr(1));
    effect->setChunk(copy.data(), static_cast<VstInt32>(copy.size()), preset);
    require(effect->getProgram() >= 0 && effect->getProgram() < kBankSize, "current program out of range");
    void* out = nullptr;
    const VstInt32 written = effect->getChunk(&out, preset);
    require(written > 0 && out, "no chunk after a restore");
    // What came out goes back in and comes out the same.
    std::string state(static_cast<const char*>(out), size_t(written));
    effect->setChunk(state.data(), written, preset);
    void* again = nullptr;
    const VstInt32 rewritten = effect->getChunk(&again, preset);
    require(std::string_view(static_cast<const char*>(again), size_t(rewritten)) == state,
            "a chunk does not restore to itself");
#endif
    return 0;
}
