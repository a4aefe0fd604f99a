#pragma once
// Comb/all-pass room reverb: six feedback combs in parallel, three all-passes,
// a damping low-pass and a fourth all-pass in series, then one all-pass per
// output channel. Unlike the classic design its combs pass their input
// straight to the output (the comb's output is the sum it stores, not the
// delayed sample), and the low-pass coefficient is a setting.

#include <array>

#include "effects/ReverbAlgorithm.h"
#include "effects/ReverbDelayBlock.h"

namespace tonewright {

class NRev : public ReverbAlgorithm {
public:
    static constexpr int kCombs = 6;
    static constexpr int kAllPasses = 6;

    NRev();

    void SetFs(double rate);
    void clear_buffers();
    void process(double* l, double* r, int n);

    // Reverb time in seconds (60 dB of decay), limited to 0.01..100 s.
    void setdecay(double seconds);
    // Low-pass coefficient, limited to 0..1.
    void setdamping(double x);

    double Decay() const { return decay; }
    const ReverbDelayBlock& Comb(int i) const;
    const ReverbDelayBlock& AllPass(int i) const;
    const ReverbDelayBlock& LowPass() const { return lowpass; }

private:
    static constexpr int kRun = 128;  // samples a block runs through each stage at once
    double decay = 0.0;
    double damping = 0.0;
    std::array<ReverbDelayBlock, kAllPasses> allpasses;
    std::array<ReverbDelayBlock, kCombs> combs;
    ReverbDelayBlock lowpass;
};

}  // namespace tonewright
