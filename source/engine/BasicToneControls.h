#pragma once
// The plain equaliser: bass shelf, treble shelf, mid peak and presence
// shelf, run in that order.

#include "FourKnobEqualiser.h"

class BasicToneControls : public FourKnobEqualiser {
public:
    BasicToneControls();
};
