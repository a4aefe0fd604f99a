#pragma once
// Tone stack of the British class-A combo: bass and treble. Its digital
// coefficients are fixed functions of the two knobs, made for 44.1 kHz; at
// other rates they are carried over through their analog prototype, so the
// response does not move with the rate.

#include "amp/CircuitToneStack.h"

namespace tonewright {

class VoxToneStack : public CircuitToneStack {
public:
    static constexpr double kDesignRate = 44100.0;

    VoxToneStack();

    void SetBass(double v);    // b = (0.98 bass)^2.5
    void SetTreble(double v);  // t = treble^2.5
    void Update() override;

private:
    double b = 0.5, t = 0.5;
};

}  // namespace tonewright
