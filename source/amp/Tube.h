#pragma once
// The valve nonlinearity of the preamp and power amp: a soft-clipping curve
// with adjustable knees, symmetry and operating point, optionally inside a
// local feedback loop whose one-pole low-pass lowers the gain below a corner
// frequency. The loop makes every sample an implicit equation, solved exactly
// in closed form. Parameter changes crossfade between two banks of constants
// (1 ms hold, 20 ms fade); on/off goes through the SoftBypass.

#include "dsp/BankCrossfade.h"
#include "dsp/SoftBypass.h"

namespace tonewright {

// The values a tube stores keep its output finite for any finite input;
// values outside a range are stored as its nearer end, values no range
// holds are refused.
struct TubeParameters {
    bool enable = true;
    // Linear; 0 (silence) or Tube::kSmallestGain .. Tube::kLargestGain. A
    // negative gain is stored as its magnitude and sets invert.
    double gain = 50.0;
    bool invert = true;
    double clipping = 0.9;  // 0 .. 1
    double symmetry = 0.0;  // -1 .. 1
    double offset = 0.0;    // -1 < offset < 1
    bool dynamic = true;
    double shelf = -6.0;    // dB, Tube::kLowestShelf .. below 0
    // Hz, kLowestFrequency and up; limited to 0.499 fs where the loop is
    // computed (dsp/ParameterRules.h).
    double frequency = 1000.0;
};

// The static transfer curve: linear with slope 1 between the knees L and H,
// rational branches outside that meet it with equal value and slope and tend
// to -1 and +1.
struct TubeCurve {
    double L = 0, H = 0, A = 0, P = 0, B = 0, Q = 0, D = 0;

    static TubeCurve Make(double clipping, double symmetry, double offset);

    double operator()(double u) const
    {
        if (u < L) return (A + u) / (P - u);
        if (u > H) return (u - B) / (Q + u);
        return u + D;
    }
};

class Tube {
public:
    // Beyond these the loop's constants overflow.
    static constexpr double kSmallestGain = 1e-6;
    static constexpr double kLargestGain = 1e5;
    static constexpr double kLowestShelf = -120.0;

    Tube();

    void SetParameter(int index, double v);
    double GetParameter(int index) const;
    void SetParameters(const TubeParameters& p);
    TubeParameters GetParameters() const { return params; }
    void SetFs(double rate);
    void Update();
    void Settle();
    void Reserve(int n) { bypass.Reserve(n); }
    void process(double* x, int n);

    // The static curve alone (no loop) for the present settings:
    // f(gain x) - offset, negated when inverted.
    double Function(double x) const;

    const SoftBypass& Bypass() const { return bypass; }

private:
    struct Bank {
        bool invert = false;
        bool dynamic = false;
        double g = 0, o = 0, k = 0, K = 0;
        TubeCurve curve;
        double a0 = 0, a1 = 0;
        // Solver constants derived from the above.
        double lowerEdge = 0, upperEdge = 0, linearScale = 0, linearShift = 0;
        double lowerBeta = 0, upperBeta = 0, lowerGamma = 0, upperGamma = 0;
        // Loop state: the filter's previous output, and a0 times the tube's
        // previous output (what that output adds to the next filter output).
        double lp = 0, fed = 0;
    };

    static double Run(Bank& b, double x);
    // Index 1's rule: a negative gain is stored as its magnitude and sets
    // invert. Returns whether anything changed.
    bool SetGain(double v);

    TubeParameters params;
    Bank banks[2];
    double fs = 0.0;
    BankCrossfade fade{1.05, 0.02};
    SoftBypass bypass;
};

}  // namespace tonewright
