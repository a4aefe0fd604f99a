#pragma once
// The Pro Tools group: the product's identity and its two real-time plug-in
// types, mono and stereo, both made by NewTemplateProcessRTAS; it also
// registers the view class the editor is shown in.

#include "protools/PlugInGroup.h"

namespace tonewright {

class CTemplateNoUIGroup : public CEffectGroupMIDI {
public:
    static constexpr OSType kManufacturerID = MakeOSType('Q', 'r', 'y', 's');
    static constexpr OSType kProductID = MakeOSType('Q', 't', 'w', 'r');
    static constexpr OSType kMonoTypeID = MakeOSType('r', 't', 'm', 'n');
    static constexpr OSType kStereoTypeID = MakeOSType('r', 't', 's', 't');

    CTemplateNoUIGroup();

protected:
    void CreatePluginTypes() override;
    void InitGroup() override;
};

}  // namespace tonewright
