#pragma once
// Flanger: the signal mixed with a copy from a short delay line whose delay
// a sine oscillator sweeps around a centre value, with regeneration into the
// line and a switch that inverts the wet signal. Type 1 reads the right line
// a quarter cycle apart from the left.

#include "dsp/DelayLine.h"
#include "dsp/Glide.h"
#include "dsp/SoftBypass.h"

namespace tonewright {

// Values no range holds are refused; a speed below its range is stored as
// kSlowestModulationSpeed (effects/Modulation.h).
struct FlangerParameters {
    bool enable = true;
    int type = 1;
    double speed = 1.0;         // Hz, kSlowestModulationSpeed .. kMaxModulationSpeed
    double depth = 0.5;         // 0 .. 1
    double delay = 0.0001;      // s, 0 .. 0.004
    double sweep = 0.5;         // 0 .. 1
    double regeneration = 0.5;  // 0 .. 0.9
    bool phase = true;
};

class Flanger {
public:
    Flanger();

    void SetParameter(int id, double v);
    double GetParameter(int id) const;
    void SetParameters(const FlangerParameters& p);
    FlangerParameters GetParameters() const { return params; }
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

    FlangerParameters params;
    SoftBypass bypass;
    int w = 0;
    DelayLine left, right;
    Glide regeneration, gainA, gainB, sign, wet, increment;
    Glide centre;  // seconds
    Glide sweep;
    double phi = 0.0;
    double dryShare = 1.0;  // 1 - wet
    double fs = 0.0;
    double coefficient = 0.0;
    bool dirty = false;
    bool gliding = false;
};

}  // namespace tonewright
