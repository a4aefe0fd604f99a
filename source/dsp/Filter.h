#pragma once
// The general filter section: gain only, five first-order and eight
// second-order types, with frequency, Q and level. Parameter changes
// crossfade between two coefficient banks (1 ms hold, 30 ms fade); on/off
// goes through the SoftBypass.

#include "dsp/BankCrossfade.h"
#include "dsp/SoftBypass.h"

namespace tonewright {

// The values a filter stores keep its output finite for any finite input;
// values outside a range are stored as its nearer end.
struct FilterParameters {
    bool enable = true;
    int type = 6;
    // Hz, kLowestFrequency and up; limited to 0.499 fs where the section is
    // computed (dsp/ParameterRules.h).
    double frequency = 1000.0;
    double q = 0.7071;    // Filter::kSmallestQ .. Filter::kLargestQ
    double level = 0.0;   // dB, kLowestLevelDb .. kHighestLevelDb
};

class Filter {
public:
    enum Type {
        kGain = 0,
        kLowPass1 = 1,
        kHighPass1 = 2,
        kLowShelf1 = 3,
        kHighShelf1 = 4,
        kAllPass1 = 5,
        kLowPass = 6,
        kHighPass = 7,
        kBandPass = 8,
        kNotch = 9,
        kPeak = 10,
        kLowShelf = 11,
        kHighShelf = 12,
        kAllPass = 13,
    };

    // Beyond these a section's poles would reach the unit circle or its
    // coefficients overflow.
    static constexpr double kSmallestQ = 1e-3;
    static constexpr double kLargestQ = 1e3;

    Filter();

    void SetParameter(int id, double v);
    double GetParameter(int id) const;
    void SetParameters(const FilterParameters& p);
    FilterParameters GetParameters() const { return params; }
    void SetFs(double rate);
    void Update();
    void Settle();
    void Reserve(int n) { bypass.Reserve(n); }

    void process(double* x, int n);
    void process(double* l, double* r, int n);

    // The frequency the coefficients use: the stored one, kept below half
    // the running rate.
    double EffectiveFrequency() const;

    // Normalised coefficients of the bank in use (for analysis).
    struct Coefficients {
        double B0, B1, B2, A1, A2;
    };
    Coefficients GetCoefficients() const;

    const SoftBypass& Bypass() const { return bypass; }

private:
    struct History {
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    };
    struct Bank {
        History left, right;
        double A1 = 0, A2 = 0, B0 = 1, B1 = 0, B2 = 0;
    };

    static double Run(const Bank& b, History& h, double x);

    FilterParameters params;
    double fs = 0.0;
    Bank banks[2];
    BankCrossfade fade{31.0 / 30.0, 0.03};
    SoftBypass bypass;
};

}  // namespace tonewright
