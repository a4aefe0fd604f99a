#pragma once
// Tone stack of the British class-A combo: bass and treble. Its digital
// coefficients are fixed functions of the two knobs, derived once for one
// rate; they do not follow the running rate, so the response shifts with it.

#include "amp/CircuitToneStack.h"

namespace tonewright {

class VoxToneStack : public CircuitToneStack {
public:
    VoxToneStack();

    void SetBass(double v);    // b = (0.98 bass)^2.5
    void SetTreble(double v);  // t = treble^2.5
    void Update() override;

private:
    double b = 0.5, t = 0.5;
};

}  // namespace tonewright
