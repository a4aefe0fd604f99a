#pragma once
// The seven-band octave graphic equaliser with one parametric mid band and
// an output gain, built from Filter sections in series (a left and a right
// section each). The type chooses one of three octave frequency sets.

#include "dsp/Filter.h"
#include "dsp/SoftBypass.h"

namespace tonewright {

// Values outside their range are stored as the nearer end; other values no
// range holds are refused.
struct GraphicEQ7Parameters {
    bool enable = true;
    // Levels in dB, -GraphicEQ7::kLargestGainDb .. kLargestGainDb.
    double band1 = 0.0;
    double band2 = 0.0;
    double band3 = 0.0;
    double band4 = 0.0;
    double band5 = 0.0;
    double band6 = 0.0;
    double band7 = 0.0;
    // Hz, kLowestFrequency and up; the section runs it below 0.499 fs.
    double parametric_frequency = 1000.0;
    double parametric_q = 0.7071;   // GraphicEQ7::kSmallestQ .. kLargestQ
    double parametric_level = 0.0;  // dB, as the bands
    double level = 0.0;             // dB, as the bands
    int type = 1;
};

class GraphicEQ7 {
public:
    static constexpr int kBands = 7;
    static constexpr int kSections = kBands + 2;  // the bands, the mid band, the output gain
    // Gains beyond this many dB would overflow the sections' coefficients;
    // a Q outside the range would make them degenerate.
    static constexpr double kLargestGainDb = 60.0;
    static constexpr double kSmallestQ = 0.01;
    static constexpr double kLargestQ = 100.0;

    GraphicEQ7();

    void SetParameter(int id, double v);
    double GetParameter(int id) const;
    void SetParameters(const GraphicEQ7Parameters& p);
    GraphicEQ7Parameters GetParameters() const { return params; }
    void SetFs(double rate);
    void Settle();
    void Reserve(int n);

    void process(double* x, int n);
    void process(double* l, double* r, int n);
    // The equaliser and then `count` more sections over x in one cascade,
    // when the equaliser is fully on and every section steady; otherwise
    // false, with everything left alone.
    bool processThen(Filter* const* after, int count, double* x, int n);

    // Centre frequency of band 0..6 under frequency set `type` (0..2).
    static double BandFrequency(int type, int band);

    const SoftBypass& Bypass() const { return bypass; }
    const Filter& Section(int index, bool right = false) const { return (right ? sectionsR : sectionsL)[index]; }

private:
    static constexpr int kMid = kBands;
    static constexpr int kOutput = kBands + 1;

    double* BandLevel(int band);
    void SetSection(int section, int filterParameter, double v);
    // Frequencies reach the sections below half the rate.
    void SetSectionFrequency(int section, double f);
    void ApplyFrequencies();

    SoftBypass bypass;
    GraphicEQ7Parameters params;
    Filter sectionsL[kSections];
    Filter sectionsR[kSections];
    double fs = 0.0;
};

}  // namespace tonewright
