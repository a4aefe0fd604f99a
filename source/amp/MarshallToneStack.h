#pragma once
// Tone stack of the classic British stack head (third order, no path at DC).

#include "amp/CircuitToneStack.h"

namespace tonewright {

class MarshallToneStack : public CircuitToneStack {
public:
    MarshallToneStack();

    void SetBass(double v);    // l = bass^2.5
    void SetMids(double v);    // m = mids
    void SetTreble(double v);  // t = treble
    void Update() override;
    // Without crossfade or denormal flush.
    void process_iphone(double* x, int n) { processWithoutFade(x, n); }

private:
    double l = 0.5, m = 0.5, t = 0.5;
};

}  // namespace tonewright
