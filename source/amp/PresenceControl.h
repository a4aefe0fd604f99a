#pragma once
// A first-order high shelf that gives the circuit tone stacks a presence
// knob.

#include "amp/KnobSection.h"

namespace tonewright {

class PresenceControl : public KnobSection {
public:
    PresenceControl() : KnobSection(Filter::kHighShelf1, 3000.0, 1.0, -12.0, 3.0) {}

    void SetPresence(double v) { SetKnob(v); }
};

}  // namespace tonewright
