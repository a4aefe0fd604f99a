#pragma once
// The envelope follower's step as the dynamics stages' sample loops take it:
// env + ((d k + offset) - env k) - offset, k the attack or the release
// coefficient as the input is above the envelope or not. Only the product
// with the envelope and three sums wait for the previous sample
// (EnvelopeFollower::Follow chains seven operations); the value is Follow's
// but for the rounding.

#include "dsp/DspMath.h"
#include "dsp/EnvelopeFollower.h"

namespace tonewright {

struct FollowerStep {
    double attack, release;

    explicit FollowerStep(const EnvelopeFollower& f) : attack(f.attack), release(f.release) {}

    // The envelope after rectified input d.
    double operator()(double env, double d) const
    {
        const double rising = env + ((d * attack + kDenormalOffset) - env * attack);
        const double falling = env + ((d * release + kDenormalOffset) - env * release);
        return (d > env ? rising : falling) - kDenormalOffset;
    }
};

}  // namespace tonewright
