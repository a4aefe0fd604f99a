#pragma once
// The second filter equaliser, voiced after a rack preamp: bass shelf, mid
// peak, treble shelf and presence shelf, run in that order.

#include "amp/FourKnobEqualiser.h"

namespace tonewright {

class JMP1ToneControls : public FourKnobEqualiser {
public:
    JMP1ToneControls();
};

}  // namespace tonewright
