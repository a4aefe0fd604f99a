#pragma once
// A smoothed quantity that moves towards its target by a one-pole glide and
// snaps to it once the remaining distance is within the threshold.

#include <cmath>

#include "dsp/DspMath.h"

namespace tonewright {

struct Glide {
    double current = 0.0;
    double target = 0.0;

    // One sample; returns true while the value is still moving.
    bool Step(double coefficient, double snap = 0.001)
    {
        const double diff = target - current;
        if (std::fabs(diff) > snap) {
            current = denormalGuard(current + coefficient * diff);
            return true;
        }
        current = target;
        return false;
    }

    void Jump() { current = target; }
};

// The start of a block in a stage with glides: a pending change (`dirty`)
// starts a glide unless one is running, and then returns true so that the
// caller recomputes its targets. A change made during a glide waits for it.
inline bool beginGlide(bool& gliding, bool& dirty)
{
    if (gliding || !dirty) return false;
    dirty = false;
    gliding = true;
    return true;
}

}  // namespace tonewright
