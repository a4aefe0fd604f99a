#pragma once
// Plate reverb on a figure-of-eight tank: a band-limited, diffused mono input
// feeds two cross-coupled halves (all-pass, delay, damping low-pass, all-pass,
// delay), and each output is a signed sum of seven taps on the tank lines.
// Unlike the classic plate figure it has no pre-delay and no modulated
// all-passes, applies the decay once per half, derives the second all-pass
// gain as clamp(decay + 0.5, 0.25, 0.5), and reads its left output taps from
// the left half's lines (the right from the right half's).

#include <array>

#include "effects/ReverbAlgorithm.h"
#include "effects/ReverbDelayBlock.h"

namespace tonewright {

class Dottorroverb : public ReverbAlgorithm {
public:
    static constexpr int kAllPasses = 8;  // 4 input diffusers, then left 1, left 2, right 1, right 2
    static constexpr int kDelays = 4;     // left 1, left 2, right 1, right 2
    static constexpr int kTaps = 14;

    Dottorroverb();

    void SetFs(double rate);
    void clear_buffers();
    void process(double* l, double* r, int n);

    // Tank all-passes left 1 and right 1 get g = -x; x limited to -0.99..0.99.
    void setdiffusion(double x);
    // Tank feedback, limited to -0.99..0.99; also sets the second tank
    // all-passes' gain.
    void setdecay(double x);
    // Input low-pass: d = 1 - x, x limited to 0..1.
    void setbandwidth(double x);
    // Tank low-passes: d = x, x limited to 0..1.
    void setdamping(double x);

    double Decay() const { return decay; }
    const ReverbDelayBlock& AllPass(int i) const;
    const ReverbDelayBlock& Delay(int i) const;
    const ReverbDelayBlock& InputLowPass() const { return inputLowPass; }
    const ReverbDelayBlock& TankLowPass(int i) const { return i <= 0 ? lowPassLeft : lowPassRight; }
    int TapOffset(int i) const;

private:
    void SetUpLines();
    // Samples a block runs through each stage at once: no longer than any
    // line, and short enough that no tap reads a sample the run overwrites.
    static constexpr int kRun = 128;
    int LongestRun() const;

    double decay = 0.0;
    double damping = 0.0;
    double bandwidth = 0.0;
    double diffusion = 0.0;
    double A = 0.0;
    double B = 0.0;
    ReverbDelayBlock inputLowPass;
    std::array<ReverbDelayBlock, kAllPasses> allpasses;
    ReverbDelayBlock lowPassLeft;
    ReverbDelayBlock lowPassRight;
    std::array<ReverbDelayBlock, kDelays> delays;
    std::array<int, kTaps> taps{};
};

}  // namespace tonewright
