#include "mac/protools/TemplateGroup.h"

#include <memory>

#include "mac/protools/TemplateCustomUI.h"
#include "mac/protools/TemplateProcess.h"
#include "plugin/EditorFactory.h"
#include "editor/EffectEditor.h"

namespace tonewright {

namespace {

// The library's codes, as it defines them.
constexpr int32_t kGroupCode = 14;
constexpr int32_t kCategory = 0x40;
constexpr int32_t kTypeSetting = 6;
constexpr int32_t kTypeFeatures[] = {8, 48};

}  // namespace

CTemplateNoUIGroup::CTemplateNoUIGroup()
{
    DefineManufacturerNamesAndID("Quarrystone\nQS", kManufacturerID);
    DefineProductNamesAndVersion("Quarrystone TWR\nQS TWR", 1);
    AddGroupCode(kGroupCode);
}

void CTemplateNoUIGroup::CreatePluginTypes()
{
    // A type that fails half-made is released here, and the failure goes on.
    auto mono = std::make_unique<CEffectTypeRTAS>(kMonoTypeID, kProductID, kCategory);
    mono->DefineNames("Quarrystone Tonewright Suite\nQuarrystone TWR\nQS TWR\nTWR");
    mono->AddSetting(kTypeSetting);
    for (int32_t feature : kTypeFeatures) mono->AddFeature(feature);
    mono->DefineFormats(0, 0, 0);
    mono->DefineSecondID(kProductID);
    mono->DefineFactory(&NewTemplateProcessRTAS);

    auto stereo = std::make_unique<CEffectTypeRTAS>(kStereoTypeID, kProductID, kCategory);
    stereo->CopySettingsFrom(*mono);
    stereo->DefineFormats(1, 1, 0);

    AddType(std::move(mono));
    AddType(std::move(stereo));
}

void CTemplateNoUIGroup::InitGroup()
{
    CEffectGroupMIDI::InitGroup();
    RegisterViewCreator(kNoUIViewClass, &NewNoUIView);
}

}  // namespace tonewright

CProcessGroupInterface* NewTemplateGroup()
{
    // Every Effect made in this deliverable from now on gets the product
    // editor.
    tonewright::SetEditorFactory(&tonewright::EffectEditor::create);
    try {
        return new tonewright::CTemplateNoUIGroup;
    } catch (...) {
        return nullptr;  // the library reports that there is no group
    }
}
