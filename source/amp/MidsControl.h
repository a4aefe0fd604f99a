#pragma once
// A mid peak added after a tone stack that has no mids knob of its own.

#include "amp/KnobSection.h"

namespace tonewright {

class MidsControl : public KnobSection {
public:
    MidsControl() : KnobSection(Filter::kPeak, 900.0, 1.5, -12.0, 3.0) {}

    void SetMids(double v) { SetKnob(v); }
};

}  // namespace tonewright
