// Tag names of the skin against the numbers they must stand for: every
// plug-in parameter's name at its index in the plug-in's table, the editor's
// tags, and the reading rules.

#include <gtest/gtest.h>

#include <cstdlib>

#include "editor/ParameterNames.h"

using namespace tonewright;

namespace {

// Written out by hand from the published list, in index order.
const char* const kParameterNames[80] = {
    "kParamAmpBypass", "kParamUpsamplerBypass", "kParamLowcutType", "kParamDeepBypass", "kParamBrightBypass",
    "kParamGain", "kParamBoostBypass", "kParamBass", "kParamMids", "kParamTreb", "kParamPres", "kParamPowerType",
    "kParamPowerDrive", "kParamCabinetBypass", "kParamCabinetMinimumPhaseBypass", "kParamCabinetFilterLen",
    "kParamCabinetDIFreq", "kParamGraphicBypass", "kParamGraphicType", "kParamGraphicPrePost", "kParamGraphicBand1",
    "kParamGraphicBand2", "kParamGraphicBand3", "kParamGraphicBand4", "kParamGraphicBand5", "kParamGraphicBand6",
    "kParamGraphicBand7", "kParamGraphicGain", "kParamParaFreq", "kParamParaGain", "kParamMasterVolume",
    "kParamWahBypass", "kParamWahFreq", "kParamSustainerBypass", "kParamSustainerAmt", "kParamSustainerAttk",
    "kParamSustainerMode", "kParamChorusPrePost", "kParamChorusBypass", "kParamChorusSpeed", "kParamChorusSweep",
    "kParamChorusDepth", "kParamChorusVoices", "kParamChorusDelay", "kParamFlangerPrePost", "kParamFlangerBypass",
    "kParamFlangerSpeed", "kParamFlangerSweep", "kParamFlangerDepth", "kParamFlangerDelay", "kParamFlangerRegen",
    "kParamFlangerMono", "kParamFlangerPhase", "kParamPhaserPrePost", "kParamPhaserBypass", "kParamPhaserSpeed",
    "kParamPhaserSweep", "kParamPhaserDepth", "kParamPhaserStages", "kParamPhaserRegen", "kParamPhaserMono",
    "kParamTremoloPrePost", "kParamTremoloBypass", "kParamTremoloSpeed", "kParamTremoloDepth", "kParamTremoloType",
    "kParamTremoloWave", "kParamDelayPrePost", "kParamDelayBypass", "kParamDelayDelay", "kParamDelayRepeat",
    "kParamDelayLevel", "kParamDelayType", "kParamDelayStyle", "kParamReverbBypass", "kParamReverbType",
    "kParamReverbLevel", "kParamGateBypass", "kParamGateThresh", "kParamGateSlope"};

TEST(ParameterNames, EveryNameStandsForItsNumber)
{
    // Before any text was read nothing is known, and asking does not read:
    // seen in a fresh process, since other tests of this one read it.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(GetParamIDFromParamNameStr("kParamGain", nullptr) == -1 ? 0 : 1),
                testing::ExitedWithCode(0), "");
    EXPECT_EQ(GetParamIDFromParamNameStr("", ParamEnumStr), -1);
    for (int i = 0; i < 80; ++i) EXPECT_EQ(GetParamIDFromParamNameStr(kParameterNames[i], nullptr), i) << i;
    const struct {
        const char* name;
        int id;
    } editorTags[] = {{"kNumPrograms", 128},           {"kParamNumParams", 80},
                      {"kGUIParamModulationMode", 81}, {"kGUIParamAmpModel", 82},
                      {"kGUIParamCabImpulse", 83},     {"kGUIParamPreset", 84},
                      {"kGUIParamName", 85},           {"kGUIParamBank", 86},
                      {"kGUIParamPresetSaveButton", 87}, {"kGUIParamPresetSaveAsButton", 88},
                      {"kGUIParamPresetImportButton", 89}, {"kGUIParamPresetExportButton", 90},
                      {"kGUIParamBankSaveButton", 91},  {"kGUIParamBankExportButton", 92},
                      {"kGUIParamMoreButton", 93},      {"kGUIParamClipLight", 94},
                      {"kGUIMessageLine", 95},
                      {"kGUIMoreScreen", 111},          {"kGUITunerDisplay", 112},
                      {"kGUITunerKeyDisplay", 113},     {"kGUIInputVU", 114},
                      {"kGUIOutputVU", 115},            {"kGUIMoreScreenCLOSE", 116},
                      {"kGUIParamVersionNumber", 118},  {"kParamEnumerationUnusedEndOfList", 120}};
    for (const auto& t : editorTags) EXPECT_EQ(GetParamIDFromParamNameStr(t.name, nullptr), t.id) << t.name;
    // The constants the product editor uses say the same.
    EXPECT_EQ(GetParamIDFromParamNameStr("kGUIParamAmpModel", nullptr), kGUIParamAmpModel);
    EXPECT_EQ(GetParamIDFromParamNameStr("kGUIParamBankExportButton", nullptr), kGUIParamBankExportButton);
    EXPECT_EQ(GetParamIDFromParamNameStr("kGUIParamClipLight", nullptr), kGUIParamClipLight);
    EXPECT_EQ(GetParamIDFromParamNameStr("kGUIMessageLine", nullptr), kGUIMessageLine);
    EXPECT_EQ(GetParamIDFromParamNameStr("kGUIMoreScreenCLOSE", nullptr), kGUIMoreScreenCLOSE);
    EXPECT_EQ(GetParamIDFromParamNameStr("kGUIParamVersionNumber", nullptr), kGUIParamVersionNumber);
    // Exact names only; a later text changes nothing.
    for (const char* bad : {"kparamgain", " kParamGain", "kParamGain ", "kParam", "", "kGUIParamUnknown"})
        EXPECT_EQ(GetParamIDFromParamNameStr(bad, nullptr), -1) << bad;
    EXPECT_EQ(GetParamIDFromParamNameStr(nullptr, "kParamGain = 3"), -1);
    EXPECT_EQ(GetParamIDFromParamNameStr("kParamGain", "kParamGain = 3"), 5);
}

}  // namespace
