#pragma once
// Tremolo: the level follows a FunctionGenerator. In stereo the right
// channel can run half a cycle away from the left (type 1), which pans the
// sound from side to side.

#include "effects/FunctionGenerator.h"
#include "dsp/Glide.h"
#include "dsp/SoftBypass.h"

namespace tonewright {

// Values no range holds are refused; a speed below its range is stored as
// kSlowestModulationSpeed (effects/Modulation.h).
struct TremoloParameters {
    bool enable = true;
    int type = 1;
    double speed = 1.0;     // Hz, kSlowestModulationSpeed .. kMaxModulationSpeed
    double depth = 0.5;     // 0 .. 1
    double waveform = 0.0;  // 0 .. 1
};

class Tremolo {
public:
    Tremolo();

    void SetParameter(int id, double v);
    double GetParameter(int id) const;
    void SetParameters(const TremoloParameters& p);
    TremoloParameters GetParameters() const { return params; }
    void SetFs(double rate);
    void Settle();
    void Reserve(int n) { bypass.Reserve(n); }
    void process(double* x, int n);
    void process(double* l, double* r, int n);

    const SoftBypass& Bypass() const { return bypass; }

private:
    void StartBlock();
    void JumpToTargets();
    // One sample of the glide; the generator follows the current values.
    void MoveGlides();
    void ApplyToGenerator();

    TremoloParameters params;
    FunctionGenerator generator;
    Glide speed, depth, waveform, phaseOffset;
    double coefficient = 0.0;
    double fs = 0.0;
    bool gliding = false;
    bool dirty = false;
    SoftBypass bypass;
};

}  // namespace tonewright
