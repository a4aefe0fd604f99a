#pragma once
// One stored program: a name of at most 23 characters and a complete sound.
// The effect's programs are read and written under its control mutex only;
// the audio thread never touches them.

#include "engine/TonewrightParameters.h"

namespace tonewright {

struct EffectProgram {
    static constexpr int kNameSize = 24;

    EffectProgram();

    char name[kNameSize];
    TonewrightParameters params;
};

}  // namespace tonewright
