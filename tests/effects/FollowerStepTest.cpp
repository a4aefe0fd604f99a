// The dynamics stages' envelope step against the envelope follower it stands
// for. The follower sums its roundings over about 1/k samples (k its smaller
// coefficient), so the two may part by that many ulps of the envelope, and
// by the denormal guard's grain near zero, where the step never goes.

#include <gtest/gtest.h>

#include <cmath>

#include "DspTestKit.h"
#include "dsp/EnvelopeFollower.h"
#include "effects/FollowerStep.h"

using namespace tonewright;

TEST(FollowerStep, FollowsTheEnvelopeFollowerAndNeverGoesDenormal)
{
    // Bursts of noise, then long silence.
    std::vector<double> in = testkit::whiteNoise(30000, 0.8, 9);
    for (size_t i = 0; i < in.size(); ++i) in[i] *= (i / 5000) % 2 ? 0.01 : 1.0;
    in.resize(in.size() + 400000, 0.0);
    for (auto [attack, release] : {std::pair(0.0, 0.0), std::pair(0.0, 0.05), std::pair(0.001, 0.1),
                                   std::pair(0.0002, 2.0), std::pair(0.02, 0.02)}) {
        EnvelopeFollower follower;
        follower.SetHalfLives(attack, release, 44100.0);
        const FollowerStep step(follower);
        const double memory = 1.0 / std::min(follower.attack, follower.release);
        double env = 0.0, worst = 0.0;
        for (size_t i = 0; i < in.size(); ++i) {
            const double before = follower.env;
            follower.Follow(std::fabs(in[i]));
            env = step(env, std::fabs(in[i]));
            ASSERT_TRUE(env == 0.0 || env > 1e-30) << i;
            const double allowed = memory * 1e-15 * std::max(before, follower.env) + 1e-22;
            worst = std::max(worst, std::fabs(env - follower.env) / allowed);
        }
        EXPECT_LE(worst, 1.0) << attack << " " << release;
    }
}
