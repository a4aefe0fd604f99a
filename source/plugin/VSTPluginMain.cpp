// The one symbol the plug-in exports.

#include "plugin/Effect.h"

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback host)
{
    if (!host || host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    try {
        AudioEffect* effect = tonewright::createEffectInstance(host);
        return effect ? effect->getAeffect() : nullptr;
    } catch (...) {
        return nullptr;  // nothing may cross into the host
    }
}
