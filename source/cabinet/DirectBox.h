#pragma once
// The DI box ahead of the cabinet: two cascaded low-pass biquads (a fourth-
// order low-pass at the box's frequency and Q) per channel, switched through
// a soft bypass.

#include "dsp/Filter.h"
#include "dsp/SoftBypass.h"

namespace tonewright {

struct DirectBoxParameters {
    bool enable = true;
    double frequency = 1000.0;
    double q = 0.7071;
};

class DirectBox {
public:
    // Starts on, 1000 Hz, Q 0.7071, at 44100 Hz: the record's defaults.
    DirectBox();

    // 0 on/off (>= 0.5 on), 1 frequency in Hz (> 0), 2 Q (> 0), stored by
    // the filter's rules so that the record holds what the sections play: a
    // frequency from kLowestFrequency up (the sections keep it below half
    // the rate when they compute their coefficients), a Q within
    // Filter::kSmallestQ .. Filter::kLargestQ; a positive value beyond is
    // stored as the nearer end.
    void SetParameter(int id, double v);
    double GetParameter(int id) const;
    void SetParameters(const DirectBoxParameters& p);
    DirectBoxParameters GetParameters() const { return params; }
    void SetFs(double rate);
    void Settle();
    void Reserve(int n);

    void process(double* x, int n);
    void process(double* l, double* r, int n);

private:
    DirectBoxParameters params;
    SoftBypass bypass;
    Filter sections[4];  // left 1, left 2, right 1, right 2
    double fs = 0.0;
};

}  // namespace tonewright
