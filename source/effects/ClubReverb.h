#pragma once
// The club reverb: the comb/all-pass algorithm with fixed settings.

#include "effects/Freeverb.h"
#include "effects/ReverbType.h"

namespace tonewright {

using ClubReverbParameters = ReverbTypeParameters;

class ClubReverb : public ReverbType<Freeverb> {
public:
    ClubReverb();

    void SetDecay(double x) { Settings().setdecay(x); }
    void SetDamping(double x) { Settings().setdamping(x); }
};

}  // namespace tonewright
