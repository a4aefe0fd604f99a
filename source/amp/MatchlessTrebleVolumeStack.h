#pragma once
// Treble and volume half of the split tone stack of the boutique class-A amp
// (third order, no path at DC). The tone control keeps the volume at 1.

#include "amp/CircuitToneStack.h"

namespace tonewright {

class MatchlessTrebleVolumeStack : public CircuitToneStack {
public:
    MatchlessTrebleVolumeStack();

    void SetTreble(double v);  // t = 1 - treble
    void SetVolume(double v);  // m = volume
    void Update() override;

private:
    double m = 0.5, t = 0.5;
};

}  // namespace tonewright
