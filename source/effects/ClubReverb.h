#pragma once
// The club reverb: the comb/all-pass algorithm with fixed settings.

#include "Freeverb.h"
#include "ReverbType.h"

using ClubReverbParameters = ReverbTypeParameters;

class ClubReverb : public ReverbType<Freeverb> {
public:
    ClubReverb();

    void SetDecay(double x) { Settings().setdecay(x); }
    void SetDamping(double x) { Settings().setdamping(x); }
};
