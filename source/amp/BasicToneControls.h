#pragma once
// The plain equaliser: bass shelf, treble shelf, mid peak and presence
// shelf, run in that order.

#include "amp/FourKnobEqualiser.h"

namespace tonewright {

class BasicToneControls : public FourKnobEqualiser {
public:
    BasicToneControls();
};

}  // namespace tonewright
