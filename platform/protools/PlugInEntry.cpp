// The library's entry of a deliverable. Built into the deliverable beside
// its NewTemplateGroup, not into the library's archive.

#include "protools/PlugInGroup.h"

ComponentResult NewMachOPlugIn(CProcessGroupInterface** group)
{
    if (!group) return kPlugInUnknownErr;
    *group = nullptr;
    CProcessGroupInterface* made = nullptr;
    const ComponentResult result = PlugInGuarded([&] {
        made = NewTemplateGroup();
        if (!made) return static_cast<ComponentResult>(kPlugInNoGroupErr);
        return made->Initialize();
    });
    if (result != kPlugInNoErr) {
        delete made;
        return result;
    }
    *group = made;
    return kPlugInNoErr;
}

void CloseMachOPlugIn(CProcessGroupInterface* group) { delete group; }
