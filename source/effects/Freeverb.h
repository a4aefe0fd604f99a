#pragma once
// Comb/all-pass stereo reverb: eight low-pass feedback combs in parallel and
// four all-passes in series per channel, fed the mono sum of the input. The
// feedback is set directly (no room-size scaling) and each channel has its own
// set of lengths.

#include <array>

#include "effects/ReverbAlgorithm.h"
#include "effects/ReverbDelayBlock.h"

namespace tonewright {

class Freeverb : public ReverbAlgorithm {
public:
    static constexpr int kCombs = 16;     // 8 left, then 8 right
    static constexpr int kAllPasses = 8;  // 4 left, then 4 right

    Freeverb();

    void SetFs(double rate);
    void clear_buffers();
    void process(double* l, double* r, int n);

    // Comb feedback, limited to 0..0.99 so the loops always decay.
    void setdecay(double x);
    // Comb damping; the combs use 0.4 x, x limited to 0..1.
    void setdamping(double x);
    // wet = 10^(db / 20), dry = 1.
    void setreverbleveldb(double db);

    double RoomSize() const { return roomsize; }
    double Damp() const { return damp; }
    const ReverbDelayBlock& Comb(int i) const;
    const ReverbDelayBlock& AllPass(int i) const;

private:
    static constexpr int kRun = 128;  // samples a block runs through each stage at once
    void SetUpBlocks();

    double roomsize = 0.0;
    double damp = 0.0;
    std::array<ReverbDelayBlock, kCombs> combs;
    std::array<ReverbDelayBlock, kAllPasses> allpasses;
};

}  // namespace tonewright
