#pragma once
// The noise gate at the head of the chain. The engine calls process_input
// (the detector, which writes a gain curve for the block) and then process
// (which applies that curve) on the same block. A change of any setting is
// crossfaded from the old settings to the new ones (1 ms hold, 30 ms fade)
// with both detectors running side by side.

#include "dsp/DetectorSets.h"
#include "dsp/EnvelopeFollower.h"
#include "dsp/MonoBuffer.h"
#include "dsp/SoftBypass.h"

namespace tonewright {

struct NoiseGateParameters {
    bool enable = true;
    double threshold = -60.0;  // dB, kLowestThreshold .. kHighestThreshold (stored as the nearer end)
    double gating = 0.5;       // 0 <= gating < 1, refused outside
    double attack = 0.001;     // s, 0 .. kLongestTime (stored as the nearer end)
    double release = 0.05;     // s, likewise
};

class NoiseGate {
public:
    // Thresholds beyond these would underflow or overflow the linear
    // thresholds; longer times only stall the envelope.
    static constexpr double kLowestThreshold = -200.0;
    static constexpr double kHighestThreshold = 40.0;
    static constexpr double kLongestTime = 10.0;
    // Blocks of up to this many samples need no Reserve.
    static constexpr int kDefaultCapacity = 4096;

    NoiseGate();

    void SetParameter(int id, double v);
    double GetParameter(int id) const;
    void SetParameters(const NoiseGateParameters& p);
    NoiseGateParameters GetParameters() const { return params; }
    void SetFs(double rate);
    void Settle();
    // Makes room for blocks of up to n samples. The gain curves never grow
    // while processing: a longer block is measured up to their capacity and
    // its remaining samples keep the last gain.
    void Reserve(int n);

    void process_input(const double* x, int n);
    void process_input(const double* l, const double* r, int n);
    void process(double* x, int n);
    void process(double* l, double* r, int n);

    const SoftBypass& Bypass() const { return bypass; }
    bool Crossfading() const { return detectors.Fading(); }

private:
    struct Set {
        double open = 1.0;    // T, linear
        double closed = 0.0;  // C
        double slope = 1.0;   // S
        double offset = 0.0;  // O
        EnvelopeFollower follower;
    };

    void Compute(Set& s) const;
    // Compute as a callable for the detector sets.
    auto Computer()
    {
        return [this](Set& s) { Compute(s); };
    }
    static double Gain(const Set& s);
    template <bool Stereo>
    void Measure(const double* l, const double* r, int n);
    template <bool Stereo>
    void Apply(double* l, double* r, int n);

    NoiseGateParameters params;
    double fs = 0.0;
    DetectorSets<Set> detectors;
    MonoBuffer currentCurve;
    MonoBuffer previousCurve;
    double heldGain = 1.0;
    SoftBypass bypass;
};

}  // namespace tonewright
