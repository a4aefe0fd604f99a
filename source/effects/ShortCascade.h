#pragma once
// Steady Filter sections in series, skewed and side by side in vector lanes
// as Filter::processCascade runs them, but with each section's sum ordered
// so that a sample waits for the fewest operations:
// ((a1 y1 + b0 x) + ((b1 x1 + b2 x2 + a2 y2) + offset)) - offset, the two
// terms of the last step's values first and the guard's offset joining the
// older ones. The same values but for rounding.

#include "dsp/Filter.h"

namespace tonewright {

constexpr int kShortCascade = 12;

// Runs the sections over x in place and returns true; false, leaving
// everything alone, when a running section is not steady or more than
// kShortCascade run. Stopped sections are skipped.
bool runShortCascade(Filter* const* sections, int count, double* x, int n);

}  // namespace tonewright
