#pragma once
// Echo: a delay of up to one second with feedback on two lines, a style
// control that darkens and band-limits the repeats, separate direct and
// delayed levels, and independent (type 0) or cross-coupled ping-pong
// (type 1) lines. It has no SoftBypass: switching goes through gains of its
// own, so the repeats can ring out after it is switched off; it stops
// costing time once they have died away.

#include "dsp/DelayLine.h"
#include "dsp/Filter.h"
#include "dsp/Glide.h"
#include "dsp/MonoBuffer.h"

namespace tonewright {

// Levels outside their range are stored as the nearer end; other values no
// range holds are refused.
struct EchoParameters {
    bool enable = true;
    int type = 1;
    double delay = 0.5;        // s, 0.01 .. Echo::kLongestDelay
    double feedback = 0.5;     // 0 <= feedback < 1
    double directlevel = 0.0;  // dB, kLowestLevelDb .. kHighestLevelDb
    double delaylevel = 0.0;   // dB, likewise
    double style = 1.0;        // 0 .. 1
    bool filter_input = true;
    bool tails_on = true;
};

class Echo {
public:
    static constexpr double kLongestDelay = 1.0;  // s
    // Below this total energy in the lines a switched-off echo stops
    // (1e-10 for each of 524288 samples).
    static constexpr double kSilentEnergy = 5.24288e-5;

    Echo();

    void SetParameter(int id, double v);
    double GetParameter(int id) const;
    void SetParameters(const EchoParameters& p);
    EchoParameters GetParameters() const { return params; }
    void SetFs(double rate);
    void Update();
    void Settle();
    void Reserve(int n);
    void process(double* x, int n);
    void process(double* l, double* r, int n);

    bool IsRunning() const { return running; }
    double Energy() const { return energy; }
    int LineLength() const { return lineL.Length(); }

private:
    enum Gain { kLeftOwn, kRightOwn, kLeftToRight, kRightToLeft, kLeftIn, kRightIn, kRightInToLeft,
                kMakeUp, kDirect, kDelayed, kGains };

    template <bool Stereo>
    void Run(double* l, double* r, int n);
    // Run with nothing gliding and the loop's sections steady: each step
    // over a run of samples no longer than the delay, so the taps of the
    // run are all written before it.
    template <bool Stereo>
    void RunSteady(double* l, double* r, const double* dL, const double* dR, int n);
    void ApplyStyle();
    void SplitDelay();
    void ClearLines();
    // The exact sum of squares in both lines; lines holding non-finite
    // samples are cleared.
    double Recount();
    void AfterBlock();

    DelayLine lineL, lineR;
    EchoParameters params;
    Filter sections[8];
    int w = 0;
    double energy = 0.0;
    double coefficient = 0.0;
    double delayCoefficient = 0.0;
    double fs = 0.0;
    Glide c[kGains];
    Glide lineIn, lineOut, dryThrough;
    Glide delay;  // samples
    int delayWhole = 0;
    double delayFraction = 0.0;
    bool running = false;
    bool gliding = false;
    bool dirty = false;
    // Switched on from stopped: its lines are silent, so the delay can take
    // its target at once instead of gliding from a setting made while off.
    bool restarted = false;
    MonoBuffer directL, directR;
};

}  // namespace tonewright
