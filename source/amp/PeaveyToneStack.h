#pragma once
// Tone stack of the American high-gain head (third order, no path at DC).

#include "amp/CircuitToneStack.h"

namespace tonewright {

class PeaveyToneStack : public CircuitToneStack {
public:
    PeaveyToneStack();

    void SetBass(double v);    // l = bass^2.5
    void SetMids(double v);    // m = mids
    void SetTreble(double v);  // t = treble
    void Update() override;

private:
    double l = 0.5, m = 0.5, t = 0.5;
};

}  // namespace tonewright
