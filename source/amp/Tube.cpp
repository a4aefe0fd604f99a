#include "amp/Tube.h"

#include <algorithm>
#include <cmath>

#include "dsp/DspMath.h"
#include "dsp/ParameterRules.h"

namespace tonewright {

namespace {

constexpr double kPi = 3.14159265358979323846;

// The non-negative root of K z^2 + beta z - gamma = 0 (K > 0, gamma >= 0).
// The radicand is a sum of non-negative terms, so rounding can never make
// it negative, and the form is chosen by the sign of beta so that nothing
// cancels.
double nonNegativeRoot(double K, double beta, double gamma)
{
    const double s = std::sqrt(beta * beta + 4.0 * K * gamma);
    if (beta >= 0.0) {
        const double d = beta + s;
        return d > 0.0 ? 2.0 * gamma / d : 0.0;
    }
    return (s - beta) / (2.0 * K);
}

}  // namespace

TubeCurve TubeCurve::Make(double clipping, double symmetry, double offset)
{
    TubeCurve f;
    const double m = (1.0 - clipping) * symmetry;
    f.L = m - clipping;
    f.H = m + clipping;
    f.A = f.L * f.L;
    f.B = f.H * f.H;
    f.P = 2.0 * f.L + 1.0;
    f.Q = 1.0 - 2.0 * f.H;
    f.D = 0.0;

    // Keep the curve through the origin when the linear part misses it.
    if (f.L > 0.0) {
        const double t = f.L * f.L;
        f.L += t; f.H += t; f.P += t; f.B += t; f.Q -= t;
        f.A = 0.0;
        f.D = -t;
    } else if (f.H < 0.0) {
        const double t = f.H * f.H;
        f.L -= t; f.H -= t; f.P -= t; f.A += t; f.Q += t;
        f.B = 0.0;
        f.D = t;
    }

    // Slide it sideways so that f(0) = offset.
    const double o = offset;
    double t;
    bool linear = false;
    if (f.L + f.D > o) {
        t = (f.P * o - f.A) / (1.0 + o);
    } else if (o > f.H + f.D) {
        t = (f.Q * o + f.B) / (1.0 - o);
    } else {
        t = o - f.D;
        linear = true;
    }
    f.L -= t; f.H -= t; f.A += t; f.P -= t; f.B -= t; f.Q += t;
    // In the linear part D + t is o; set it exactly so that silence stays
    // exact silence.
    f.D = linear ? o : f.D + t;
    return f;
}

Tube::Tube()
{
    SetFs(44100.0);
    fade.Prime([this] { Update(); });
}

bool Tube::SetGain(double v)
{
    if (std::isnan(v)) return false;
    bool changed = false;
    if (v < 0.0) {
        v = -v;
        changed = !params.invert;
        params.invert = true;
    }
    if (v != 0.0) v = std::clamp(v, kSmallestGain, kLargestGain);
    if (v != params.gain) {
        params.gain = v;
        changed = true;
    }
    return changed;
}

void Tube::SetParameter(int index, double v)
{
    bool changed = false;
    switch (index) {
    case 0:
        if (std::isnan(v)) return;
        params.enable = v >= 0.5;
        bypass.SetState(params.enable ? 1.0 : 0.0);
        return;
    case 1:
        if (!std::isfinite(v)) return;
        changed = SetGain(v);
        break;
    case 2: changed = acceptFlag(params.invert, v); break;
    case 3: changed = acceptDouble(params.clipping, v, v >= 0.0 && v <= 1.0); break;
    case 4: changed = acceptDouble(params.symmetry, v, v >= -1.0 && v <= 1.0); break;
    case 5: changed = acceptDouble(params.offset, v, v > -1.0 && v < 1.0); break;
    case 6: changed = acceptFlag(params.dynamic, v); break;
    case 7: changed = acceptDoubleClamped(params.shelf, v, v < 0.0, kLowestShelf, 0.0); break;
    case 8: changed = acceptFrequency(params.frequency, v); break;
    case 9:
        // A level whose gain overflows is stored as the largest gain.
        if (!std::isfinite(v)) return;
        changed = SetGain(std::pow(10.0, v / 20.0));
        break;
    default: return;
    }
    if (changed) fade.dirty = true;
}

double Tube::GetParameter(int index) const
{
    switch (index) {
    case 0: return flagValue(params.enable);
    case 1: return params.gain;
    case 2: return flagValue(params.invert);
    case 3: return params.clipping;
    case 4: return params.symmetry;
    case 5: return params.offset;
    case 6: return flagValue(params.dynamic);
    case 7: return params.shelf;
    case 8: return params.frequency;
    case 9: return 20.0 * std::log10(params.gain);
    default: return 0.0;
    }
}

void Tube::SetParameters(const TubeParameters& p)
{
    SetParameter(0, flagValue(p.enable));
    SetParameter(1, p.gain);
    SetParameter(2, flagValue(p.invert));
    SetParameter(3, p.clipping);
    SetParameter(4, p.symmetry);
    SetParameter(5, p.offset);
    SetParameter(6, flagValue(p.dynamic));
    SetParameter(7, p.shelf);
    SetParameter(8, p.frequency);
}

void Tube::SetFs(double rate)
{
    if (!(rate > 0.0) || !std::isfinite(rate) || rate == fs) return;
    fs = rate;
    bypass.SetFs(rate);
    fade.SetFs(rate);
    fade.dirty = true;
}

void Tube::Update()
{
    Bank& b = banks[fade.current];
    b.invert = params.invert;
    b.dynamic = params.dynamic;
    b.g = params.gain;
    b.o = params.offset;
    b.K = b.g != 0.0 ? std::pow(10.0, -params.shelf / 20.0) - 1.0 : 0.0;
    b.k = b.g != 0.0 ? b.K / b.g : 0.0;
    b.curve = TubeCurve::Make(params.clipping, params.symmetry, params.offset);

    // Bilinear one-pole low-pass, not pre-warped.
    const double w = kPi * frequencyInUse(params.frequency, fs) / fs;
    b.a0 = w / (1.0 + w);
    b.a1 = (1.0 - w) / (1.0 + w);

    const TubeCurve& f = b.curve;
    b.lowerEdge = b.a0 * (f.L + f.D - b.o);
    b.upperEdge = b.a0 * (f.H + f.D - b.o);
    b.linearScale = 1.0 / (1.0 + b.K * b.a0);
    b.linearShift = b.a0 * (f.D - b.o);
    b.lowerBeta = f.P - b.K * b.a0 * (1.0 + b.o);
    b.upperBeta = f.Q - b.K * b.a0 * (1.0 - b.o);
    b.lowerGamma = std::max(0.0, b.a0 * (f.A + f.P));
    b.upperGamma = std::max(0.0, b.a0 * (f.Q + f.B));
    b.lp = 0.0;
    b.fed = 0.0;
}

void Tube::Settle()
{
    if (fade.dirty || fade.fading) Update();
    fade.Settle();
    bypass.Settle();
}

double Tube::Function(double x) const
{
    const TubeCurve f = TubeCurve::Make(params.clipping, params.symmetry, params.offset);
    const double y = f(params.gain * x) - params.offset;
    return params.invert ? -y : y;
}

inline double Tube::Run(Bank& b, double x)
{
    // Silence into a resting tube is exact silence (f(0) = o exactly).
    if (x == 0.0 && b.lp == 0.0 && b.fed == 0.0) return 0.0;

    const TubeCurve& f = b.curve;
    double y;
    if (!b.dynamic) {
        y = f(b.g * x) - b.o;
    } else {
        // The new filter output lp solves lp = S + a0 (f(g x - K lp) - o):
        // find the branch of f from the knees, then solve exactly.
        const double S = b.a1 * b.lp + b.fed;
        const double gx = b.g * x;
        double lp;
        if (b.K == 0.0) {
            y = f(gx) - b.o;
            lp = S + b.a0 * y;
        } else {
            // On a rational branch the equation is a quadratic in lp. It is
            // solved for the distance of a0 f from its asymptote, z = a0 (1 + f)
            // below and z = a0 (1 - f) above: K z^2 + beta z - a0 (A + P) = 0
            // (Q + B above), whose wanted root is the non-negative one. This is
            // the same root as in lp, but stays accurate where the two roots
            // meet (at a knee on the asymptote).
            if (b.K * (S + b.lowerEdge) > gx - f.L) {
                const double z = nonNegativeRoot(b.K, b.lowerBeta - gx + b.K * S, b.lowerGamma);
                lp = S + z - b.a0 * (1.0 + b.o);
            } else if (gx - f.H > b.K * (S + b.upperEdge)) {
                const double z = nonNegativeRoot(b.K, b.upperBeta + gx - b.K * S, b.upperGamma);
                lp = S - z + b.a0 * (1.0 - b.o);
            } else {
                lp = (S + b.a0 * gx + b.linearShift) * b.linearScale;
            }
            y = f(b.g * (x - b.k * lp)) - b.o;
        }
        // The filter's next known part needs a0 y, which is lp - S by the
        // equation just solved: the next sample need not wait for f(u).
        b.fed = denormalGuard(b.K == 0.0 ? b.a0 * y : lp - S);
        b.lp = denormalGuard(lp);
        y = denormalGuard(y);
    }
    return b.invert ? -y : y;
}

void Tube::process(double* x, int n)
{
    if (!bypass.running || n <= 0) return;
    bypass.senddry(x, n);
    if (fade.BeginBlock()) Update();
    Bank& cur = banks[fade.current];
    int i = 0;
    if (fade.fading) {
        Bank& old = banks[fade.other];
        for (; i < n && fade.fading; ++i) {
            const double yNew = Run(cur, x[i]);
            const double yOld = Run(old, x[i]);
            const double w = fade.NextOldWeight();
            x[i] = (1.0 - w) * yNew + w * yOld;
        }
    }
    for (; i < n; ++i) x[i] = Run(cur, x[i]);
    bypass.process(x, n);
}

}  // namespace tonewright
