#include "effects/NoiseGate.h"

#include <algorithm>
#include <cmath>

#include "dsp/ParameterRules.h"
#include "dsp/StageFields.h"
#include "effects/FollowerStep.h"

namespace tonewright {

NoiseGate::NoiseGate()
{
    currentCurve.Reserve(kDefaultCapacity);
    previousCurve.Reserve(kDefaultCapacity);
    SetFs(44100.0);
    detectors.Init(Computer());
}

void NoiseGate::SetParameter(int id, double v)
{
    bool changed = false;
    switch (id) {
    case 0:
        bypass.SetEnable(params.enable, v);
        return;
    case 1:
        changed = acceptDoubleClamped(params.threshold, v, true, kLowestThreshold, kHighestThreshold);
        break;
    case 2: changed = acceptDouble(params.gating, v, v >= 0.0 && v < 1.0); break;
    case 3: changed = acceptDoubleClamped(params.attack, v, v >= 0.0, 0.0, kLongestTime); break;
    case 4: changed = acceptDoubleClamped(params.release, v, v >= 0.0, 0.0, kLongestTime); break;
    default: return;
    }
    if (changed) detectors.MarkChanged();
}

// The record's fields by parameter id.
constexpr auto kFields = stageFields(&NoiseGateParameters::enable, &NoiseGateParameters::threshold,
                                     &NoiseGateParameters::gating, &NoiseGateParameters::attack,
                                     &NoiseGateParameters::release);

double NoiseGate::GetParameter(int id) const { return kFields.Get(params, id); }

void NoiseGate::SetParameters(const NoiseGateParameters& p) { kFields.Apply(p, *this); }

void NoiseGate::SetFs(double rate)
{
    if (!acceptNewRate(fs, rate)) return;
    bypass.SetFs(rate);
    detectors.SetFs(rate);
}

void NoiseGate::Settle()
{
    detectors.Settle(Computer());
    bypass.Settle();
}

void NoiseGate::Reserve(int n)
{
    currentCurve.Reserve(n);
    previousCurve.Reserve(n);
    bypass.Reserve(n);
}

void NoiseGate::Compute(Set& s) const
{
    const double g = params.gating;
    s.open = std::pow(10.0, params.threshold * 0.05);
    s.closed = g * s.open;
    s.slope = 1.0 / ((1.0 - g) * s.open);
    s.offset = -g / (1.0 - g);
    s.follower.SetHalfLives(params.attack, params.release, fs);
}

// A straight ramp from 0 at the closed threshold to 1 at the open one.
inline double NoiseGate::Gain(const Set& s)
{
    const double e = s.follower.env;
    if (e > s.open) return 1.0;
    if (e < s.closed) return 0.0;
    return e * s.slope + s.offset;
}

template <bool Stereo>
void NoiseGate::Measure(const double* l, const double* r, int n)
{
    if (!bypass.running || n <= 0) return;
    const int count = std::min(n, currentCurve.Capacity());
    currentCurve.Resize(count);
    detectors.BeginBlock(Computer());
    Set& cur = detectors.Current();
    Set& prev = detectors.Previous();
    double* gc = currentCurve.data();
    const FollowerStep stepCur(cur.follower);
    if (detectors.Fading()) {
        previousCurve.Resize(count);
        double* gp = previousCurve.data();
        const FollowerStep stepPrev(prev.follower);
        for (int i = 0; i < count; ++i) {
            const double d = rectified<Stereo>(l, r, i);
            cur.follower.env = stepCur(cur.follower.env, d);
            prev.follower.env = stepPrev(prev.follower.env, d);
            gc[i] = Gain(cur);
            gp[i] = Gain(prev);
        }
    } else {
        // The envelope in a local: the curve could alias the set.
        double env = cur.follower.env;
        const double open = cur.open, closed = cur.closed, slope = cur.slope, offset = cur.offset;
        for (int i = 0; i < count; ++i) {
            env = stepCur(env, rectified<Stereo>(l, r, i));
            gc[i] = env > open ? 1.0 : env < closed ? 0.0 : env * slope + offset;
        }
        cur.follower.env = env;
    }
}

template <bool Stereo>
void NoiseGate::Apply(double* l, double* r, int n)
{
    const double* gc = currentCurve.data();
    const double* gp = previousCurve.data();
    const int count = std::min(n, currentCurve.size());
    int i = 0;
    if (detectors.Fading()) {
        const int both = std::min(count, previousCurve.size());
        for (; i < both && detectors.Fading(); ++i) {
            const double w = detectors.NextOldWeight();
            heldGain = (1.0 - w) * gc[i] + w * gp[i];
            l[i] *= heldGain;
            if constexpr (Stereo) r[i] *= heldGain;
        }
    }
    for (; i < count; ++i) {
        heldGain = gc[i];
        l[i] *= heldGain;
        if constexpr (Stereo) r[i] *= heldGain;
    }
    for (; i < n; ++i) {
        l[i] *= heldGain;
        if constexpr (Stereo) r[i] *= heldGain;
    }
}

void NoiseGate::process_input(const double* x, int n) { Measure<false>(x, nullptr, n); }

void NoiseGate::process_input(const double* l, const double* r, int n) { Measure<true>(l, r, n); }

void NoiseGate::process(double* x, int n)
{
    bypass.Run(x, n, [&] { Apply<false>(x, nullptr, n); });
}

void NoiseGate::process(double* l, double* r, int n)
{
    bypass.Run(l, r, n, [&] { Apply<true>(l, r, n); });
}

}  // namespace tonewright
