#include "amp/Tube.h"

#include <algorithm>
#include <cmath>

#include "dsp/DspMath.h"
#include "dsp/ParameterRules.h"
#include "dsp/StageFields.h"

namespace tonewright {

namespace {

constexpr double kPi = 3.14159265358979323846;

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

// The record's fields by parameter id (9 reads the gain in dB).
constexpr auto kFields = stageFields(&TubeParameters::enable, &TubeParameters::gain, &TubeParameters::invert,
                                     &TubeParameters::clipping, &TubeParameters::symmetry, &TubeParameters::offset,
                                     &TubeParameters::dynamic, &TubeParameters::shelf, &TubeParameters::frequency);

double Tube::GetParameter(int index) const
{
    return index == 9 ? 20.0 * std::log10(params.gain) : kFields.Get(params, index);
}

void Tube::SetParameters(const TubeParameters& p) { kFields.Apply(p, *this); }

void Tube::SetFs(double rate)
{
    if (!acceptNewRate(fs, rate)) return;
    bypass.SetFs(rate);
    fade.SetFs(rate);
    fade.dirty = true;
}

void Tube::Update()
{
    Kernel& b = banks[fade.current];
    b.invert = params.invert;
    b.g = params.gain;
    b.o = params.offset;
    b.K = b.g != 0.0 ? std::pow(10.0, -params.shelf / 20.0) - 1.0 : 0.0;
    b.loop = params.dynamic && b.K != 0.0;
    b.curve = TubeCurve::Make(params.clipping, params.symmetry, params.offset);

    // Bilinear one-pole low-pass, not pre-warped.
    const double w = kPi * frequencyInUse(params.frequency, fs) / fs;
    const double a0 = w / (1.0 + w);
    b.a1 = (1.0 - w) / (1.0 + w);

    const TubeCurve& f = b.curve;
    const double K = b.K;
    const double o = b.o;
    const double Q = K * (1.0 + b.a1);
    b.lowerEdge = K * (a0 * (f.L + f.D - o));
    b.upperEdge = K * (a0 * (f.H + f.D - o));
    b.lowerBeta = f.P - K * a0 * (1.0 + o);
    b.upperBeta = f.Q - K * a0 * (1.0 - o);
    b.lowerGamma = std::max(0.0, a0 * (f.A + f.P));
    b.upperGamma = std::max(0.0, a0 * (f.Q + f.B));
    b.lowerRadicand = 4.0 * K * b.lowerGamma;
    b.upperRadicand = 4.0 * K * b.upperGamma;
    b.lowerNumerator = 2.0 * b.lowerGamma * Q;
    b.upperNumerator = 2.0 * b.upperGamma * Q;
    b.negativeBetaScale = b.loop ? Q / (2.0 * K) : 0.0;
    b.rootToOutput = b.loop ? 1.0 / (a0 * Q) : 0.0;
    b.lowerNext = -Q * a0 * (1.0 + o);
    b.upperNext = Q * a0 * (1.0 - o);
    b.linearScale = 1.0 / (1.0 + K * a0);
    b.linearDrive = K * a0;
    b.linearShift = K * (a0 * (f.D - o));
    b.linearNext = (1.0 + b.a1) * b.linearScale;
    b.V = 0.0;
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

void Tube::Store(const Kernel& k) { banks[fade.current].V = k.V; }

void Tube::RunSteady(double* x, int n)
{
    Kernel k = Load();
    for (int i = 0; i < n; ++i) x[i] = k.Step(x[i]);
    Store(k);
}

void Tube::process(double* x, int n)
{
    if (!bypass.running || n <= 0) return;
    if (Steady()) {
        RunSteady(x, n);
        return;
    }
    bypass.senddry(x, n);
    if (fade.BeginBlock()) Update();
    Kernel& cur = banks[fade.current];
    int i = 0;
    if (fade.fading) {
        Kernel& old = banks[fade.other];
        for (; i < n && fade.fading; ++i) {
            const double yNew = cur.Step(x[i]);
            const double yOld = old.Step(x[i]);
            const double w = fade.NextOldWeight();
            x[i] = (1.0 - w) * yNew + w * yOld;
        }
    }
    for (; i < n; ++i) x[i] = cur.Step(x[i]);
    bypass.process(x, n);
}

}  // namespace tonewright
