#include "effects/CompressorSustainer.h"

#include <algorithm>
#include <cmath>

#include "dsp/ParameterRules.h"
#include "dsp/RangeHelpers.h"
#include "dsp/StageFields.h"
#include "effects/FollowerStep.h"

namespace tonewright {

CompressorSustainer::CompressorSustainer()
{
    SetFs(44100.0);
    detectors.Init(Computer());
}

void CompressorSustainer::SetParameter(int id, double v)
{
    bool changed = false;
    switch (id) {
    case 0:
        bypass.SetEnable(params.enable, v);
        return;
    case 1: changed = acceptInt(params.type, v, 0, 1); break;
    case 2: changed = acceptDouble(params.amount, v, v >= 0.0 && v <= 1.0); break;
    case 3: changed = acceptDoubleClamped(params.attack, v, v >= 0.0, 0.0, kLongestTime); break;
    case 4: changed = acceptDoubleClamped(params.release, v, v >= 0.0, 0.0, kLongestTime); break;
    default: return;
    }
    if (changed) detectors.MarkChanged();
}

// The record's fields by parameter id.
constexpr auto kFields = stageFields(&CompressorSustainerParameters::enable, &CompressorSustainerParameters::type,
                                     &CompressorSustainerParameters::amount, &CompressorSustainerParameters::attack,
                                     &CompressorSustainerParameters::release);

double CompressorSustainer::GetParameter(int id) const { return kFields.Get(params, id); }

void CompressorSustainer::SetParameters(const CompressorSustainerParameters& p) { kFields.Apply(p, *this); }

void CompressorSustainer::SetFs(double rate)
{
    if (!acceptNewRate(fs, rate)) return;
    bypass.SetFs(rate);
    detectors.SetFs(rate);
}

void CompressorSustainer::Settle()
{
    detectors.Settle(Computer());
    bypass.Settle();
}

void CompressorSustainer::Compute(Set& s) const
{
    s.law = params.type;
    s.exponent = range(params.amount, 0.0, -0.5);
    // The largest boost of law 1, 1 + 1/k, runs from +0.1 dB to +20 dB.
    s.k = 1.0 / (rangeDb(params.amount, 0.1, 20.0) - 1.0);
    s.numerator = 1.0 + s.k;
    s.follower.SetHalfLives(params.attack, params.release, fs);
}

inline double CompressorSustainer::Gain(const Set& s)
{
    const double e = s.follower.env;
    if (e > 1.0) return 1.0;
    if (e <= 0.0) return 0.0;
    return s.law == 1 ? s.numerator / (e + s.k) : std::pow(e, s.exponent);
}

template <bool Stereo>
void CompressorSustainer::Run(double* l, double* r, int n)
{
    detectors.BeginBlock(Computer());
    Set& cur = detectors.Current();
    Set& prev = detectors.Previous();
    const FollowerStep stepCur(cur.follower);
    const FollowerStep stepPrev(prev.follower);
    int i = 0;
    for (; i < n && detectors.Fading(); ++i) {
        const double d = rectified<Stereo>(l, r, i);
        cur.follower.env = stepCur(cur.follower.env, d);
        prev.follower.env = stepPrev(prev.follower.env, d);
        const double gc = Gain(cur);
        const double gp = Gain(prev);
        const double w = detectors.NextOldWeight();
        l[i] = (1.0 - w) * gc * l[i] + w * gp * l[i];
        if constexpr (Stereo) r[i] = (1.0 - w) * gc * r[i] + w * gp * r[i];
    }
    if (i < n && cur.law == 1) {
        // The envelope in a local, and the gains (a division each) beside
        // its loop: the block could alias the set.
        double env = cur.follower.env;
        const double numerator = cur.numerator, k = cur.k;
        for (; i < n; ++i) {
            env = stepCur(env, rectified<Stereo>(l, r, i));
            const double g = env > 1.0 ? 1.0 : env <= 0.0 ? 0.0 : numerator / (env + k);
            l[i] *= g;
            if constexpr (Stereo) r[i] *= g;
        }
        cur.follower.env = env;
        return;
    }
    for (; i < n; ++i) {
        const double d = rectified<Stereo>(l, r, i);
        cur.follower.env = stepCur(cur.follower.env, d);
        const double g = Gain(cur);
        l[i] *= g;
        if constexpr (Stereo) r[i] *= g;
    }
}

void CompressorSustainer::process(double* x, int n)
{
    bypass.Run(x, n, [&] { Run<false>(x, nullptr, n); });
}

void CompressorSustainer::process(double* l, double* r, int n)
{
    bypass.Run(l, r, n, [&] { Run<true>(l, r, n); });
}

}  // namespace tonewright
