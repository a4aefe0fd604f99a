#pragma once
// Tone stack with its own presence control (fourth order, no path at DC).

#include "amp/CircuitToneStack.h"

namespace tonewright {

class BoogieToneStack : public CircuitToneStack {
public:
    BoogieToneStack();

    void SetBass(double v);      // l = bass^2.5
    void SetMids(double v);      // m = mids
    void SetTreble(double v);    // t = treble
    void SetPresence(double v);  // p = presence
    void Update() override;
    // Without crossfade or denormal flush.
    void process_iphone(double* x, int n) { processWithoutFade(x, n); }

private:
    double l = 0.5, m = 0.5, t = 0.5, p = 0.5;
};

}  // namespace tonewright
