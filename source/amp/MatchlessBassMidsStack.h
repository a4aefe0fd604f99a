#pragma once
// Bass and mids half of the split tone stack of the boutique class-A amp
// (third order; it passes DC).

#include "amp/CircuitToneStack.h"

namespace tonewright {

class MatchlessBassMidsStack : public CircuitToneStack {
public:
    MatchlessBassMidsStack();

    void SetBass(double v);  // l = 1 - (0.75 + 0.25 bass)
    void SetMids(double v);  // m = mids
    void Update() override;

private:
    double l = 0.5, m = 0.5;
};

}  // namespace tonewright
