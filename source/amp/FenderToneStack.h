#pragma once
// Tone stack of the classic American combo: bass, mids and treble in one
// passive network (third order, no path at DC).

#include "amp/CircuitToneStack.h"

namespace tonewright {

class FenderToneStack : public CircuitToneStack {
public:
    FenderToneStack();

    void SetBass(double v);    // l = bass^2.5
    void SetMids(double v);    // m = mids
    void SetTreble(double v);  // t = treble^2.5
    void Update() override;
    // Without crossfade or denormal flush.
    void process_iphone(double* x, int n) { processWithoutFade(x, n); }

private:
    double l = 0.5, m = 0.5, t = 0.5;
};

}  // namespace tonewright
