#pragma once
// The wah pedal: a resonant band-pass whose centre frequency, Q and level
// follow one sweep position, mixed with a tenth of the dry signal. The
// position is the pedal itself (glided over 30 ms) or, in automatic mode
// (type 1), the input level, with the pedal acting as sensitivity.

#include "dsp/EnvelopeFollower.h"
#include "dsp/Glide.h"
#include "dsp/SoftBypass.h"

namespace tonewright {

struct WahWahParameters {
    bool enable = true;
    int type = 0;
    double pedal = 0.5;  // 0 .. 1; values outside are refused
};

class WahWah {
public:
    static constexpr int kAuto = 1;
    static constexpr double kDryLevel = 0.1;

    WahWah();

    void SetParameter(int id, double v);
    double GetParameter(int id) const;
    void SetParameters(const WahWahParameters& p);
    WahWahParameters GetParameters() const { return params; }
    void SetFs(double rate);
    void Settle();
    void Reserve(int n) { bypass.Reserve(n); }

    void process(double* x, int n);

    // The sweep laws for a position s in 0..1.
    static double Frequency(double s) { return 10.0 * s * s + 1685.0 * s + 435.0; }
    static double Q(double s) { return 7.6 * s * s - 13.0 * s + 7.8; }
    static double WetGain(double s);

    const SoftBypass& Bypass() const { return bypass; }
    double CurrentFrequency() const { return frequency.current; }
    bool Gliding() const { return gliding; }

private:
    void SetTargets(double s);
    void Coefficients();
    // One sample through the band-pass, mixed with the dry signal.
    double Section(double x);
    // Automatic mode: the position follows the input level, no glide.
    void RunAuto(double* x, int n);
    // Pedal mode: the position glides to the pedal.
    void RunPedal(double* x, int n);
    // Sweep position from the automatic mode's envelope.
    double AutoPosition() const;

    WahWahParameters params;
    double fs = 0.0;
    double glide = 0.0;
    double a1 = 0.0, a2 = 0.0, b0 = 0.0;
    double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;
    Glide frequency, q, wet;
    EnvelopeFollower follower;
    // The automatic mode's sweep starts at `autoLow` and is complete at
    // `autoHigh` (linear levels 24 dB apart), so silence never reaches a log.
    double autoLow = 1.0, autoHigh = 1.0, autoThresholdDb = 0.0;
    bool dirty = true;
    bool gliding = false;
    SoftBypass bypass;
};

}  // namespace tonewright
