#pragma once
// A mid peak added after a tone stack that has no mids knob of its own.

#include "KnobSection.h"

class MidsControl : public KnobSection {
public:
    MidsControl() : KnobSection(Filter::kPeak, 900.0, 1.5, -12.0, 3.0) {}

    void SetMids(double v) { SetKnob(v); }
};
