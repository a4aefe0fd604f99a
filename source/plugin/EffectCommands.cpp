// What the editor's menus and buttons do to the effect: banks, preamps,
// cabinet impulses and presets from files and back. Each reads into a copy
// first, so that a file that cannot be used changes nothing, and hands the
// audio thread what it read as a prepared sound (docs/threads.md).

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "cabinet/ImpulseFile.h"
#include "dsp/StringUtil.h"
#include "plugin/Effect.h"
#include "plugin/PresetXml.h"
#include "system/Diagnostics.h"

namespace tonewright {

namespace {

// A preamp description brings its voicing; the knobs stay as the player set
// them.
void keepKnobs(PreampParameters& loaded, const PreampParameters& current)
{
    loaded.gainControl.wiper = current.gainControl.wiper;
    loaded.toneControl.bass = current.toneControl.bass;
    loaded.toneControl.mids = current.toneControl.mids;
    loaded.toneControl.treble = current.toneControl.treble;
    loaded.toneControl.presence = current.toneControl.presence;
}

// Right after a failed write: its errno says why.
void cannotWrite(const char* what, const char* path)
{
    system::Complainf("Quarrystone TWR:: Cannot write %s %s: %s.", what, path, std::strerror(errno));
}

}  // namespace

bool Effect::takeBankLocked(const EffectProgram* bank, std::filesystem::path file, int current)
{
    Change change;
    try {
        // A program keeps the current oversampling choice and first switch.
        TonewrightParameters next = bank[current].params;
        next.enable = sound.enable;
        next.upsampler_enabled = sound.upsampler_enabled;
        change = prepareChangeLocked(nullptr, PrepareTable(bank, rate), Prepare(next, rate, true));
    } catch (const std::bad_alloc&) {
        system::Complain("Quarrystone TWR:: Not enough memory for the bank; the programs stay as they were.");
        return false;
    }
    for (int i = 0; i < kNumPrograms; ++i) programs[i] = bank[i];
    bankFile.swap(file);
    copyBounded(bankName, bankFile.filename().c_str());
    curProgram = current;
    copyBounded(currentProgramName, programs[current].name);
    commitChangeLocked(std::move(change));
    notifyEditorProgram(current);
    return true;
}

bool Effect::loadBank(const char* path)
{
    if (!path) return false;
    float before[kNumParameters];
    {
        const auto control = lockControl();
        auto bank = std::make_unique<EffectProgram[]>(kNumPrograms);
        for (int i = 0; i < kNumPrograms; ++i) bank[i] = programs[i];
        if (!LoadBankFromXML(bank.get(), path)) return false;
        snapshotValues(before);
        if (!takeBankLocked(bank.get(), path, 0)) return false;
        programModified = false;
        compareBankLocked();
    }
    announce(Origin::plugin, before);
    return true;
}

bool Effect::saveBank()
{
    const auto control = lockControl();
    if (bankName[0] == '\0' || bankFile.empty()) {
        system::Complain("Quarrystone TWR:: The bank was not read from a file of its own: it is not saved "
                         "(export it to keep it).");
        return false;
    }
    if (!SaveBankAsXML(programs, bankFile.c_str())) {
        cannotWrite("the bank", bankFile.c_str());
        return false;
    }
    compareBankLocked();
    return true;
}

bool Effect::exportBank(const char* path)
{
    if (!path) return false;
    const auto control = lockControl();
    if (!SaveBankAsXML(programs, path)) {
        cannotWrite("the bank", path);
        return false;
    }
    // Exported over its own file, the bank is saved.
    if (bankFile == path) compareBankLocked();
    return true;
}

std::filesystem::path Effect::getBankFile()
{
    const auto control = lockControl();
    return bankFile;
}

std::string Effect::getBankName()
{
    const auto control = lockControl();
    return bankName;
}

bool Effect::loadPreamp(const char* path)
{
    if (!path) return false;
    float before[kNumParameters];
    {
        const auto control = lockControl();
        PreampParameters preamp = sound.preamp;
        if (!LoadPreampFromXML(preamp, path)) return false;
        keepKnobs(preamp, sound.preamp);
        snapshotValues(before);
        TonewrightParameters next = sound;
        next.preamp = preamp;
        playSoundLocked(next);
    }
    programModified = true;
    announce(Origin::plugin, before);
    return true;
}

bool Effect::loadCabinetImpulse(const char* path)
{
    if (!path) return false;
    std::vector<double> left, right;
    int frames = 0, impulseRate = 0;
    bool mono = true;
    if (!LoadImpulse(path, &left, &right, &frames, &impulseRate, &mono)) return false;
    auto impulse = CabinetImpulse::Make(left.data(), right.data(), frames, mono, impulseRate, fname(path));
    if (!impulse) return false;
    left = {};
    right = {};

    float before[kNumParameters];
    {
        const auto control = lockControl();
        snapshotValues(before);
        TonewrightParameters next = sound;
        next.cabinet.SetImpulse(std::move(impulse));
        // The slow part (minimum phase, the version at the running rate, the
        // spectra) is done here, before the audio thread is handed it.
        playSoundLocked(next);
    }
    programModified = true;
    announce(Origin::plugin, before);
    return true;
}

bool Effect::importPreset(const char* path)
{
    if (!path) return false;
    float before[kNumParameters];
    {
        const auto control = lockControl();
        TonewrightParameters next = sound;
        std::string name;
        if (!LoadPresetFromXML(next, path, &name)) return false;
        snapshotValues(before);
        playSoundLocked(next);
        copyBounded(currentProgramName, name.c_str());
    }
    // The sound came from a file, not from the program's slot.
    programModified = true;
    announce(Origin::plugin, before);
    return true;
}

bool Effect::exportPreset(const char* path, const char* name)
{
    if (!path) return false;
    if (SavePresetAsXML(currentSound(), path, name ? name : "")) return true;
    cannotWrite("the preset", path);
    return false;
}

void Effect::setWorkingProgramName(const char* name)
{
    float before[kNumParameters];
    {
        const auto control = lockControl();
        snapshotValues(before);
        copyBounded(currentProgramName, name);
    }
    programModified = true;
    // The name is saved with the session: the host has to know it changed.
    announce(Origin::plugin, before);
}

void Effect::getSoundNames(std::string& preamp, std::string& impulse)
{
    const auto control = lockControl();
    preamp = sound.preamp.name;
    impulse = sound.cabinet.GetName();
}

}  // namespace tonewright
