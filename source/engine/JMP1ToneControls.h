#pragma once
// The second filter equaliser, voiced after a rack preamp: bass shelf, mid
// peak, treble shelf and presence shelf, run in that order.

#include "FourKnobEqualiser.h"

class JMP1ToneControls : public FourKnobEqualiser {
public:
    JMP1ToneControls();
};
