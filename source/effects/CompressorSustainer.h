#pragma once
// The compressor/sustainer: raises quiet passages and passes loud ones at
// unity gain, with full scale as its knee. Two gain laws: 1, a smooth upward
// compressor that tops out at 1 + 1/k; 0, a power law e^p with no ceiling.
// Every change is crossfaded from the old settings to the new ones (1 ms
// hold, 30 ms fade) with both detectors running side by side.

#include "dsp/DetectorSets.h"
#include "dsp/EnvelopeFollower.h"
#include "dsp/SoftBypass.h"

namespace tonewright {

struct CompressorSustainerParameters {
    bool enable = true;
    int type = 1;
    double amount = 0.5;    // 0 .. 1, refused outside
    double attack = 0.001;  // s, 0 .. kLongestTime (stored as the nearer end)
    double release = 0.25;  // s, likewise
};

class CompressorSustainer {
public:
    // Longer times only stall the envelope.
    static constexpr double kLongestTime = 10.0;

    CompressorSustainer();

    void SetParameter(int id, double v);
    double GetParameter(int id) const;
    void SetParameters(const CompressorSustainerParameters& p);
    CompressorSustainerParameters GetParameters() const { return params; }
    void SetFs(double rate);
    void Settle();
    void Reserve(int n) { bypass.Reserve(n); }

    void process(double* x, int n);
    void process(double* l, double* r, int n);

    const SoftBypass& Bypass() const { return bypass; }
    bool Crossfading() const { return detectors.Fading(); }

private:
    struct Set {
        int law = 1;
        double exponent = 0.0;   // p of law 0
        double numerator = 1.0;  // 1 + k of law 1
        double k = 1.0;
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
    void Run(double* l, double* r, int n);

    CompressorSustainerParameters params;
    double fs = 0.0;
    DetectorSets<Set> detectors;
    SoftBypass bypass;
};

}  // namespace tonewright
