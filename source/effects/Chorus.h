#pragma once
// Chorus: the dry signal mixed with one, two or four voices read from delay
// lines whose delay one sine oscillator sweeps at different phases. The
// sweep is set as a peak pitch ratio, so the detuning is the same at every
// speed.

#include "dsp/DelayLine.h"
#include "dsp/Glide.h"
#include "dsp/SoftBypass.h"

namespace tonewright {

// Values no range holds are refused; a speed below its range is stored as
// kSlowestModulationSpeed (effects/Modulation.h).
struct ChorusParameters {
    bool enable = true;
    int type = 1;
    double speed = 1.0;   // Hz, kSlowestModulationSpeed .. kMaxModulationSpeed
    double depth = 0.5;   // 0 .. 1
    double mix = 0.5;     // 0 .. 1
    double delay = 0.01;  // s, 0 .. 0.03
};

class Chorus {
public:
    static constexpr int kVoices = 5;

    Chorus();

    void SetParameter(int id, double v);
    double GetParameter(int id) const;
    void SetParameters(const ChorusParameters& p);
    ChorusParameters GetParameters() const { return params; }
    void SetFs(double rate);
    void Update();
    void Settle();
    void Reserve(int n) { bypass.Reserve(n); }
    void process(double* x, int n);
    void process(double* l, double* r, int n);

    const SoftBypass& Bypass() const { return bypass; }
    int LineLength() const { return left.Length(); }

private:
    template <bool Stereo>
    void Run(double* l, double* r, int n);
    void JumpToTargets();

    ChorusParameters params;
    SoftBypass bypass;
    int w = 0;
    DelayLine left, right;
    double phi = 0.0;
    double coefficient = 0.0;
    double fs = 0.0;
    // Sweep amplitude and base delay in samples, phase increment in radians
    // a sample.
    Glide amount, increment, mix, base;
    Glide gain[kVoices];
    double dryShare = 0.5;  // 1 - mix
    bool dirty = false;
    bool gliding = false;
};

}  // namespace tonewright
