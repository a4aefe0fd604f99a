#pragma once
// The names a skin gives its controls' tags, and the numbers they stand for:
// plug-in parameters 0..79 (the plug-in's own indices) and the editor's tags
// from 80 up (menus, buttons, pages, displays). One constant text in the
// form of an enumeration list holds them; it is read once per process.

#include <cstdint>

namespace tonewright {

extern const char* const ParamEnumStr;

// The editor's tags the product editor acts on, as ParamEnumStr numbers
// them.
enum GuiTag : long {
    kGUIParamAmpModel = 82,
    kGUIParamCabImpulse = 83,
    kGUIParamPreset = 84,
    kGUIParamName = 85,
    kGUIParamBank = 86,
    kGUIParamPresetSaveButton = 87,
    kGUIParamPresetSaveAsButton = 88,
    kGUIParamPresetImportButton = 89,
    kGUIParamPresetExportButton = 90,
    kGUIParamBankSaveButton = 91,
    kGUIParamBankExportButton = 92,
    kGUIParamMoreButton = 93,
    kGUIParamClipLight = 94,
    // The line that says what went wrong.
    kGUIMessageLine = 95,
    kGUIMoreScreen = 111,
    kGUITunerDisplay = 112,
    kGUITunerKeyDisplay = 113,
    kGUIInputVU = 114,
    kGUIOutputVU = 115,
    kGUIMoreScreenCLOSE = 116,
    kGUIParamVersionNumber = 118,
};

// The id of `name` (exact, case and all) in the enumeration, or -1. The
// first call that passes `text` reads it; later texts are ignored, and a
// lookup before any text was read gives -1. Thread-safe.
int32_t GetParamIDFromParamNameStr(const char* name, const char* text);

}  // namespace tonewright
