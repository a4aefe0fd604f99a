// What the editor's menus and buttons do to the effect: banks, preamps,
// cabinet impulses and presets from files and back. Each reads into a copy
// first, so that a file that cannot be used changes nothing, and hands the
// engine what it read by the thread rules (docs/threads.md): prepared off
// the engine lock, committed or swapped under it.

#include <cstdio>
#include <memory>
#include <vector>

#include "cabinet/ImpulseFile.h"
#include "dsp/StringUtil.h"
#include "plugin/Effect.h"
#include "plugin/PresetXml.h"

namespace tonewright {

bool Effect::loadBank(const char* path)
{
    if (!path) return false;
    std::unique_lock<std::mutex> control(controlMutex);
    auto bank = std::make_unique<EffectProgram[]>(kNumPrograms);
    for (int i = 0; i < kNumPrograms; ++i) bank[i] = programs[i];
    if (!LoadBankFromXML(bank.get(), path)) return false;
    for (int i = 0; i < kNumPrograms; ++i) programs[i] = bank[i];
    bankFile = path;
    copyBounded(bankName, bankFile.filename().c_str());
    applySound(programs[0].params);
    curProgram = 0;
    copyBounded(currentProgramName, programs[0].name);
    notifyEditorProgram(0);
    control.unlock();
    ReloadParametersFromTWR(true);
    programModified = false;
    CompareBank();
    return true;
}

bool Effect::saveBank()
{
    std::lock_guard<std::mutex> control(controlMutex);
    if (bankName[0] == '\0' || bankFile.empty()) {
        std::fprintf(stderr, "Quarrystone TWR:: The bank was not read from a file of its own: it is not saved "
                             "(export it to keep it).\n");
        return false;
    }
    if (!SaveBankAsXML(programs, bankFile.c_str())) {
        std::fprintf(stderr, "Quarrystone TWR:: Cannot write the bank %s.\n", bankFile.c_str());
        return false;
    }
    compareBankLocked();
    return true;
}

bool Effect::exportBank(const char* path)
{
    if (!path) return false;
    std::lock_guard<std::mutex> control(controlMutex);
    if (!SaveBankAsXML(programs, path)) {
        std::fprintf(stderr, "Quarrystone TWR:: Cannot write the bank %s.\n", path);
        return false;
    }
    // Exported over its own file, the bank is saved.
    if (bankFile == path) compareBankLocked();
    return true;
}

std::filesystem::path Effect::getBankFile()
{
    std::lock_guard<std::mutex> control(controlMutex);
    return bankFile;
}

std::string Effect::getBankName()
{
    std::lock_guard<std::mutex> control(controlMutex);
    return bankName;
}

bool Effect::loadPreamp(const char* path)
{
    if (!path) return false;
    std::lock_guard<std::mutex> control(controlMutex);
    PreampParameters preamp = currentSound().preamp;
    if (!LoadPreampFromXML(preamp, path)) return false;
    {
        // Settings only: what a commit copies for the preamp.
        auto lock = lockEngine();
        engine->SetPreamp(&preamp);
    }
    programModified = true;
    return true;
}

bool Effect::loadCabinetImpulse(const char* path)
{
    if (!path) return false;
    std::vector<double> left, right;
    int frames = 0, rate = 0;
    bool mono = true;
    if (!LoadImpulse(path, &left, &right, &frames, &rate, &mono)) return false;
    auto impulse = CabinetImpulse::Make(left.data(), right.data(), frames, mono, rate, fname(path));
    if (!impulse) return false;
    left = {};
    right = {};

    std::lock_guard<std::mutex> control(controlMutex);
    const bool minimumPhase = currentSound().cabinet.minphase;
    // The slow part, off the lock; the cabinet's worker finds it done.
    engine->PrepareImpulse(*impulse, minimumPhase);
    Tonewright::Replaced replaced;
    {
        auto lock = lockEngine();
        replaced = engine->SwapCabinetImpulse(std::move(impulse));
    }
    waitForCabinetRebuild();
    programModified = true;
    return true;
}

bool Effect::importPreset(const char* path)
{
    if (!path) return false;
    std::unique_lock<std::mutex> control(controlMutex);
    TonewrightParameters sound = currentSound();
    std::string name;
    if (!LoadPresetFromXML(sound, path, &name)) return false;
    applySound(sound, SoundScope::wholeRecord);
    copyBounded(currentProgramName, name.c_str());
    control.unlock();
    ReloadParametersFromTWR(true);
    // The sound came from a file, not from the program's slot.
    programModified = true;
    return true;
}

bool Effect::exportPreset(const char* path, const char* name)
{
    if (!path) return false;
    if (SavePresetAsXML(currentSound(), path, name ? name : "")) return true;
    std::fprintf(stderr, "Quarrystone TWR:: Cannot write the preset %s.\n", path);
    return false;
}

void Effect::setWorkingProgramName(const char* name)
{
    {
        std::lock_guard<std::mutex> control(controlMutex);
        copyBounded(currentProgramName, name);
    }
    programModified = true;
}

void Effect::getSoundNames(std::string& preamp, std::string& impulse)
{
    // Copied into fixed buffers under the lock, which allocates nothing.
    char preampName[256], impulseName[256];
    {
        auto lock = lockEngine();
        const TonewrightParameters* sound = engine->GetParameters();
        copyBounded(preampName, sound->preamp.name);
        copyBounded(impulseName, sound->cabinet.GetName());
    }
    preamp = preampName;
    impulse = impulseName;
}

}  // namespace tonewright
