#pragma once
// The amplifier as the engine runs it: the preamp, then the power amp.

#include "amp/PowerAmp.h"
#include "amp/Preamp.h"

namespace tonewright {

// Processes a block through the preamp and then the power amp. While both
// are steady they run together piece by piece, so that the loops of the
// preamp's tubes and filters and those of the power amp overlap.
void runAmplifier(Preamp& preamp, PowerAmp& poweramp, double* x, int n);

}  // namespace tonewright
