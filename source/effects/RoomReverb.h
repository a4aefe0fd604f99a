#pragma once
// The room reverb: the six-comb room algorithm with fixed settings.

#include "effects/NRev.h"
#include "effects/ReverbType.h"

namespace tonewright {

using RoomReverbParameters = ReverbTypeParameters;

class RoomReverb : public ReverbType<NRev> {
public:
    RoomReverb();
};

}  // namespace tonewright
