#include "editor/ParameterNames.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace tonewright {

const char* const ParamEnumStr =
    "kNumPrograms = 128, kParamAmpBypass =0, kParamUpsamplerBypass, kParamLowcutType, kParamDeepBypass, "
    "kParamBrightBypass, kParamGain, kParamBoostBypass, kParamBass, kParamMids, kParamTreb, kParamPres, "
    "kParamPowerType, kParamPowerDrive, kParamCabinetBypass, kParamCabinetMinimumPhaseBypass, "
    "kParamCabinetFilterLen, kParamCabinetDIFreq, kParamGraphicBypass, kParamGraphicType, kParamGraphicPrePost, "
    "kParamGraphicBand1, kParamGraphicBand2, kParamGraphicBand3, kParamGraphicBand4, kParamGraphicBand5, "
    "kParamGraphicBand6, kParamGraphicBand7, kParamGraphicGain, kParamParaFreq, kParamParaGain, "
    "kParamMasterVolume, kParamWahBypass, kParamWahFreq, kParamSustainerBypass, kParamSustainerAmt, "
    "kParamSustainerAttk, kParamSustainerMode, kParamChorusPrePost, kParamChorusBypass, kParamChorusSpeed, "
    "kParamChorusSweep, kParamChorusDepth, kParamChorusVoices, kParamChorusDelay, kParamFlangerPrePost, "
    "kParamFlangerBypass, kParamFlangerSpeed, kParamFlangerSweep, kParamFlangerDepth, kParamFlangerDelay, "
    "kParamFlangerRegen, kParamFlangerMono, kParamFlangerPhase, kParamPhaserPrePost, kParamPhaserBypass, "
    "kParamPhaserSpeed, kParamPhaserSweep, kParamPhaserDepth, kParamPhaserStages, kParamPhaserRegen, "
    "kParamPhaserMono, kParamTremoloPrePost, kParamTremoloBypass, kParamTremoloSpeed, kParamTremoloDepth, "
    "kParamTremoloType, kParamTremoloWave, kParamDelayPrePost, kParamDelayBypass, kParamDelayDelay, "
    "kParamDelayRepeat, kParamDelayLevel, kParamDelayType, kParamDelayStyle, kParamReverbBypass, "
    "kParamReverbType, kParamReverbLevel, kParamGateBypass, kParamGateThresh, kParamGateSlope, "
    "kParamNumParams, kGUIParamModulationMode, kGUIParamAmpModel, kGUIParamCabImpulse, kGUIParamPreset, "
    "kGUIParamName, kGUIParamBank, kGUIParamPresetSaveButton, kGUIParamPresetSaveAsButton, "
    "kGUIParamPresetImportButton, kGUIParamPresetExportButton, kGUIParamBankSaveButton, "
    "kGUIParamBankExportButton, kGUIParamMoreButton, kGUIParamClipLight, kGUIMessageLine, kGUIMoreScreen = 111, "
    "kGUITunerDisplay, kGUITunerKeyDisplay, kGUIInputVU, kGUIOutputVU, kGUIMoreScreenCLOSE, "
    "kGUIParamVersionNumber = 118, kParamEnumerationUnusedEndOfList = 120";

namespace {

struct Names {
    std::mutex mutex;
    std::vector<std::string> names;
    std::vector<int32_t> ids;
    bool parsed = false;
};

Names& names()
{
    static Names n;
    return n;
}

void parse(Names& n, const char* text)
{
    int32_t counter = 0;
    const char* rest = text;
    while (rest && *rest) {
        const char* comma = std::strchr(rest, ',');
        std::string entry = comma ? std::string(rest, size_t(comma - rest)) : std::string(rest);
        rest = comma ? comma + 1 : nullptr;
        if (const size_t eq = entry.find('='); eq != std::string::npos) {
            counter = static_cast<int32_t>(std::strtol(entry.c_str() + eq + 1, nullptr, 10));
            entry.resize(eq);
        }
        size_t begin = 0;
        while (begin < entry.size() && static_cast<unsigned char>(entry[begin]) < 33) ++begin;
        size_t end = begin;
        while (end < entry.size() && static_cast<unsigned char>(entry[end]) >= 33) ++end;
        n.names.push_back(entry.substr(begin, end - begin));
        n.ids.push_back(counter);
        ++counter;
    }
    n.parsed = true;
}

}  // namespace

int32_t GetParamIDFromParamNameStr(const char* name, const char* text)
{
    Names& n = names();
    std::lock_guard<std::mutex> lock(n.mutex);
    if (!n.parsed) {
        if (!text) return -1;
        parse(n, text);
    }
    if (!name) return -1;
    for (size_t i = 0; i < n.names.size(); ++i)
        if (n.names[i] == name) return n.ids[i];
    return -1;
}

}  // namespace tonewright
