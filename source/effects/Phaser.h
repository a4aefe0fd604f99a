#pragma once
// Phaser: the dry signal plus the output of a chain of all-pass sections
// with feedback, their frequencies swept by an exponential triangle
// oscillator. Sections 0-5 form the left (and mono) chain, 6-11 the right
// chain of type 0 and 12-17 the right chain of type 1, which sweeps against
// the left one.

#include <algorithm>

#include "dsp/Glide.h"
#include "effects/PhaserAllPass.h"
#include "dsp/SoftBypass.h"

namespace tonewright {

// Values no range holds are refused; a speed below its range is stored as
// kSlowestModulationSpeed (effects/Modulation.h).
struct PhaserParameters {
    bool enable = true;
    int type = 1;
    double speed = 0.5;         // Hz, kSlowestModulationSpeed .. kMaxModulationSpeed
    double depth = 0.5;         // 0 .. 1
    double sweep = 2.0;         // 1 .. 3
    double regeneration = 0.5;  // 0 <= regeneration < 1
    int stages = 1;
};

class Phaser {
public:
    static constexpr int kChainLength = 6;
    static constexpr int kSections = 3 * kChainLength;

    Phaser();

    void SetParameter(int id, double v);
    double GetParameter(int id) const;
    void SetParameters(const PhaserParameters& p);
    PhaserParameters GetParameters() const { return params; }
    void SetFs(double rate);
    void Update();
    void Settle();
    void Reserve(int n) { bypass.Reserve(n); }
    void process(double* x, int n);
    void process(double* l, double* r, int n);

    const SoftBypass& Bypass() const { return bypass; }
    // Section i, 0..17 (outside that, the nearest end).
    const PhaserAllPass& Section(int i) const { return sections[std::clamp(i, 0, kSections - 1)]; }
    // The oscillator's control value, 1..2.
    double Control() const { return m; }

private:
    template <bool Stereo>
    void Run(double* l, double* r, int n);
    // Run while nothing glides or ramps: the sections from kernels in locals.
    template <bool Stereo>
    void RunSteady(PhaserAllPass* const* chain, const int* ends, double* l, double* r, int n);
    // The same for chains of L sections (the left one, and in stereo the
    // right one at matching positions beside it in the lanes of a register).
    template <int L, bool Stereo>
    void RunChains(PhaserAllPass::Kernel* k, double* l, double* r, int n);
    void StepOscillator();

    PhaserParameters params;
    bool rising = true;
    double m = 1.0;
    double up = 1.0, down = 1.0;
    Glide speed, depth, regeneration;
    double fs = 0.0;
    double invFs = 0.0;
    double coefficient = 0.0;
    double feedbackL = 0.0, feedbackR = 0.0;
    PhaserAllPass sections[kSections];
    bool dirty = false;
    bool gliding = false;
    SoftBypass bypass;
};

}  // namespace tonewright
