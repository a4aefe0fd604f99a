#pragma once
// The general filter section: gain only, five first-order and eight
// second-order types, with frequency, Q and level. Parameter changes
// crossfade between two coefficient banks (1 ms hold, 30 ms fade); on/off
// goes through the SoftBypass. Sections in series run as a cascade: while
// they are steady, every sample passes through all of them in one loop.

#include "dsp/BankCrossfade.h"
#include "dsp/DspMath.h"
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

    // One section's coefficients and history by value: a loop that holds it
    // in a local keeps it in registers (the block could alias the members).
    struct Kernel {
        double B0, B1, B2, A1, A2;
        double x1, x2, y1, y2;

        double Step(double x)
        {
            // The newest output enters last: it is the recursion's critical path.
            const double y = guardedSum(A1 * y1, B0 * x + B1 * x1 + B2 * x2 + A2 * y2);
            x2 = x1;
            x1 = x;
            y2 = y1;
            y1 = y;
            return y;
        }
    };

    // Steady: fully on, one bank, nothing pending; such a section may run as
    // a Kernel (Load, Step per sample, Store) instead of process(). Stopped:
    // faded out; process() leaves blocks untouched.
    bool Steady() const;
    bool Stopped() const { return !bypass.running; }
    Kernel Load(bool right = false) const;
    void Store(const Kernel& k, bool right = false);

    // Sections in series over a block, each as its mono process() would run
    // it, in one pass while all are steady (or stopped); the stereo form runs
    // two such cascades side by side. Up to kCascade sections.
    static constexpr int kCascade = 9;
    static void processCascade(Filter* const* sections, int count, double* x, int n);
    static void processCascade(Filter* const* left, Filter* const* right, int count, double* l, double* r, int n);
    // Steady sections in series as processCascade runs them, but with each
    // section's sum ordered so that a sample waits for the fewest operations:
    // ((a1 y1 + b0 x) + ((b1 x1 + b2 x2 + a2 y2) + offset)) - offset. The
    // same values but for rounding. Runs the sections over x in place and
    // returns true; false, leaving everything alone, when a running section
    // is not steady or more than kShortCascade run. Stopped sections are
    // skipped.
    static constexpr int kShortCascade = 12;
    static bool processShortCascade(Filter* const* sections, int count, double* x, int n);

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
    // The blocks of a steady section.
    void RunSteady(double* x, int n);
    void RunSteady(double* l, double* r, int n);

    FilterParameters params;
    double fs = 0.0;
    Bank banks[2];
    BankCrossfade fade{31.0 / 30.0, 0.03};
    SoftBypass bypass;
};

}  // namespace tonewright
