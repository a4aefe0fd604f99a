#pragma once
// The hall reverb: the plate algorithm with fixed settings.

#include "Dottorroverb.h"
#include "ReverbType.h"

using HallReverbParameters = ReverbTypeParameters;

class HallReverb : public ReverbType<Dottorroverb> {
public:
    HallReverb();
};
