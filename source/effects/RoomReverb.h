#pragma once
// The room reverb: the six-comb room algorithm with fixed settings.

#include "NRev.h"
#include "ReverbType.h"

using RoomReverbParameters = ReverbTypeParameters;

class RoomReverb : public ReverbType<NRev> {
public:
    RoomReverb();
};
