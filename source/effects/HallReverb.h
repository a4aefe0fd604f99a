#pragma once
// The hall reverb: the plate algorithm with fixed settings.

#include "effects/Dottorroverb.h"
#include "effects/ReverbType.h"

namespace tonewright {

using HallReverbParameters = ReverbTypeParameters;

class HallReverb : public ReverbType<Dottorroverb> {
public:
    HallReverb();
};

}  // namespace tonewright
