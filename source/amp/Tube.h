#pragma once
// The valve nonlinearity of the preamp and power amp: a soft-clipping curve
// with adjustable knees, symmetry and operating point, optionally inside a
// local feedback loop whose one-pole low-pass lowers the gain below a corner
// frequency. The loop makes every sample an implicit equation, solved exactly
// in closed form. Parameter changes crossfade between two banks of constants
// (1 ms hold, 20 ms fade); on/off goes through the SoftBypass.

#include <cmath>

#include "dsp/BankCrossfade.h"
#include "dsp/DspMath.h"
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

    // One bank: the constants of its settings and the loop's state. A loop
    // that holds it in a local keeps it in registers.
    struct Kernel {
        bool invert = false;
        // The loop runs: dynamic and a shelf below 0 dB (K > 0).
        bool loop = false;
        double g = 0, o = 0, K = 0;
        TubeCurve curve;
        double a1 = 0;
        // The solver's constants: the knees' thresholds on V, the quadratics'
        // beta (less g x) and gamma, the root's scales, the parts of the next
        // V known before the root, and the linear part's scales.
        double lowerEdge = 0, upperEdge = 0;
        double lowerBeta = 0, upperBeta = 0, lowerGamma = 0, upperGamma = 0;
        double lowerRadicand = 0, upperRadicand = 0, lowerNumerator = 0, upperNumerator = 0;
        double negativeBetaScale = 0, rootToOutput = 0;
        double lowerNext = 0, upperNext = 0;
        double linearDrive = 0, linearShift = 0, linearScale = 0, linearNext = 0;
        // Loop state: V = K S, where S is the part of the next filter output
        // known before the next sample (a1 lp + a0 y of the last one).
        double V = 0;

        double Step(double x);
    };

    // Steady: fully on, one bank, nothing pending; such a tube may run as a
    // Kernel (Load, Step per sample, Store) instead of process(). Stopped:
    // faded out; process() leaves blocks untouched.
    bool Steady() const { return bypass.Steady() && !fade.fading && !fade.dirty; }
    bool Stopped() const { return !bypass.running; }
    Kernel Load() const { return banks[fade.current]; }
    void Store(const Kernel& k);
    // process() for a steady tube.
    void RunSteady(double* x, int n);


private:
    // Index 1's rule: a negative gain is stored as its magnitude and sets
    // invert. Returns whether anything changed.
    bool SetGain(double v);

    TubeParameters params;
    Kernel banks[2];
    double fs = 0.0;
    BankCrossfade fade{1.05, 0.02};
    SoftBypass bypass;
};

// The loop: the filter output lp = S + a0 (f(u) - o) with u = g x - K lp is
// solved for each sample. Everything is carried as V = K S, the only form in
// which the state reaches the curve's input. On a rational branch the
// equation is a quadratic in the distance z of a0 f from its asymptote,
// z = a0 (1 + f) below and z = a0 (1 - f) above: K z^2 + beta z - gamma = 0,
// beta = (lowerBeta - g x) + V below and (upperBeta + g x) - V above. Its
// wanted root is the non-negative one, taken in the form that does not
// cancel, so it stays accurate where the two roots meet (at a knee on the
// asymptote). The root comes out as w = K (1 + a1) z, the amount it adds to
// the next V, so that the next sample waits for one square root and one
// division only; the output is the curve's value that z gives.
[[gnu::always_inline]] inline double Tube::Kernel::Step(double x)
{
    // Silence into a resting tube is exact silence (f(0) = o exactly).
    if (x == 0.0 && V == 0.0) return 0.0;

    const TubeCurve& f = curve;
    const double gx = g * x;
    double y;
    if (!loop) {
        y = f(gx) - o;
    } else if (V + lowerEdge > gx - f.L) {
        const double beta = (lowerBeta - gx) + V;
        const double s = std::sqrt(beta * beta + lowerRadicand);
        const double d = beta + s;
        const double w = beta >= 0.0 ? (d > 0.0 ? lowerNumerator / d : 0.0) : (s - beta) * negativeBetaScale;
        const double known = a1 * V + lowerNext;
        y = w * rootToOutput - (1.0 + o);
        V = known + w;
    } else if (gx - f.H > V + upperEdge) {
        const double beta = (upperBeta + gx) - V;
        const double s = std::sqrt(beta * beta + upperRadicand);
        const double d = beta + s;
        const double w = beta >= 0.0 ? (d > 0.0 ? upperNumerator / d : 0.0) : (s - beta) * negativeBetaScale;
        const double known = a1 * V + upperNext;
        y = (1.0 - o) - w * rootToOutput;
        V = known - w;
    } else {
        // Linear part: K lp = ((V + K a0 g x) + K a0 (D - o)) / (1 + K a0),
        // and the next S is (1 + a1) lp - S.
        const double base = (V + linearDrive * gx) + linearShift;
        y = f(gx - base * linearScale) - o;
        V = denormalGuard(base * linearNext - V);
    }
    y = denormalGuard(y);
    return invert ? -y : y;
}

}  // namespace tonewright
