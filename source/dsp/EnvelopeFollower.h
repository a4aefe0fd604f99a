#pragma once
// Peak envelope follower with separate half-lives for rising and falling
// input (a half-life of 0 follows at once). Shared by the dynamics stages and
// the wah's automatic mode.

#include <algorithm>
#include <cmath>

#include "dsp/DspMath.h"

namespace tonewright {

struct EnvelopeFollower {
    double attack = 1.0;   // coefficient while the input is above the envelope
    double release = 1.0;  // coefficient while it is below
    double env = 0.0;

    void SetHalfLives(double attackSeconds, double releaseSeconds, double fs)
    {
        attack = denormalGuard(halfLifeCoefficient(attackSeconds, fs));
        release = denormalGuard(halfLifeCoefficient(releaseSeconds, fs));
    }

    // One sample of rectified input d; returns the new envelope.
    double Follow(double d)
    {
        const double diff = denormalGuard(d - env);
        env = denormalGuard(env + diff * (d > env ? attack : release));
        return env;
    }
};

// The detector input of sample i: |l[i]|, or the louder of |l[i]| and |r[i]|.
template <bool Stereo>
inline double rectified(const double* l, const double* r, int i)
{
    if constexpr (Stereo) return std::max(std::fabs(l[i]), std::fabs(r[i]));
    return std::fabs(l[i]);
}

}  // namespace tonewright
