#include "effects/Flanger.h"

#include <algorithm>
#include <cmath>

#include "dsp/DspMath.h"
#include "effects/Modulation.h"
#include "effects/Sines.h"
#include "dsp/ParameterRules.h"
#include "dsp/StageFields.h"

namespace tonewright {

namespace {
constexpr double kTwoPi = 6.28318530717958647692;
constexpr double kMaxDelay = 0.004;   // s, centre
constexpr double kCentreSnap = 1e-6;  // s
}  // namespace

Flanger::Flanger()
{
    SetFs(44100.0);
    params = {false, -1, -1.0, -1.0, -1.0, -1.0, -1.0, false};
    SetParameters(FlangerParameters{});
    // The current values start at 0, so the flanger glides in from a dry
    // output during its first 30 ms.
    for (Glide* g : {&regeneration, &gainA, &gainB, &sign, &wet, &increment, &centre, &sweep}) g->current = 0.0;
    dryShare = 1.0;
    gliding = false;
}

void Flanger::SetParameter(int id, double v)
{
    bool changed = false;
    switch (id) {
    case 0: {
        const auto change = bypass.SetEnable(params.enable, v);
        if (change == SoftBypass::kStarted) {
            left.Clear();
            right.Clear();
        }
        if (change != SoftBypass::kUnchanged) dirty = true;
        return;
    }
    case 1:
        // The type's gains follow when the next glide starts.
        if (acceptInt(params.type, v, 0, 1)) dirty = true;
        return;
    case 2: changed = acceptSpeed(params.speed, v); break;
    case 3: changed = acceptDouble(params.depth, v, v >= 0.0 && v <= 1.0); break;
    case 4: changed = acceptDouble(params.delay, v, v >= 0.0 && v <= kMaxDelay); break;
    case 5: changed = acceptDouble(params.sweep, v, v >= 0.0 && v <= 1.0); break;
    case 6: changed = acceptDouble(params.regeneration, v, v >= 0.0 && v <= 0.9); break;
    case 7: changed = acceptFlag(params.phase, v); break;
    default: return;
    }
    if (changed) {
        Update();
        dirty = true;
    }
}

// The record's fields by parameter id.
constexpr auto kFields = stageFields(&FlangerParameters::enable, &FlangerParameters::type, &FlangerParameters::speed,
                                     &FlangerParameters::depth, &FlangerParameters::delay, &FlangerParameters::sweep,
                                     &FlangerParameters::regeneration, &FlangerParameters::phase);

double Flanger::GetParameter(int id) const { return kFields.Get(params, id); }

void Flanger::SetParameters(const FlangerParameters& p) { kFields.Apply(p, *this); }

void Flanger::SetFs(double rate)
{
    if (!acceptNewRate(fs, rate)) return;
    bypass.SetFs(rate);
    coefficient = glideCoefficient(0.03, rate);
    // The centre swings up to twice its largest value.
    const bool grewLeft = left.Allocate(2.0 * kMaxDelay * rate), grewRight = right.Allocate(2.0 * kMaxDelay * rate);
    if (grewLeft || grewRight) w = 0;
    Update();
    increment.Jump();
    dirty = true;
}

void Flanger::Update()
{
    regeneration.target = params.regeneration;
    gainA.target = params.type == 0 ? 1.0 : 0.0;
    gainB.target = params.type == 0 ? 0.0 : 1.0;
    sign.target = params.phase ? -1.0 : 1.0;
    wet.target = 0.5 * params.depth;
    increment.target = kTwoPi * params.speed / fs;
    centre.target = params.delay;
    sweep.target = params.sweep;
}

void Flanger::Settle()
{
    Update();
    for (Glide* g : {&regeneration, &gainA, &gainB, &sign, &wet, &increment, &centre, &sweep}) g->Jump();
    dryShare = 1.0 - wet.current;
    gliding = false;
    dirty = false;
    bypass.Settle();
}

template <bool Stereo>
void Flanger::Run(double* l, double* r, int n)
{
    if (beginGlide(gliding, dirty)) Update();
    const bool glide = gliding;
    const int mask = left.Mask();
    const bool readA = glide || gainA.current != 0.0;
    const bool readB = glide || gainB.current != 0.0;
    constexpr int kRun = 32;
    double phase[kRun], sine[kRun], cosine[kRun];
    for (int start = 0; start < n; start += kRun) {
        const int length = std::min(kRun, n - start);
        // The phases first: the increment glides on its own.
        bool incrementMoving[kRun];
        advancePhases(phi, increment, coefficient, glide, phase, incrementMoving, length);
        // A slow oscillator's run is turned from its first phase, a fast
        // one's computed outright.
        sines::sinCosNear(phase, sine, readB ? cosine : nullptr, length);

        double* const x = l + start;
        double* const y = Stereo ? r + start : nullptr;
        // While nothing glides and every read of the run reaches back past
        // the run's own writes, the taps are read first, in one loop, then
        // the lines written: the same reads and sums as sample by sample.
        const double centreNow = centre.current * fs;
        const double swingNow = centreNow * sweep.current;
        if (!glide && centreNow - std::fabs(swingNow) >= kRun) {
            double tapL[kRun], rmix[kRun];
            for (int i = 0; i < length; ++i) {
                const double d1 = swingNow * sine[i] + centreNow;
                tapL[i] = left.Read(w + i, d1);
                double m = 0.0;
                if (readA) m += gainA.current * right.Read(w + i, d1);
                if (readB) m += gainB.current * right.Read(w + i, swingNow * cosine[i] + centreNow);
                rmix[i] = m;
            }
            const double feedback = regeneration.current;
            const double signedWet = sign.current * wet.current;
            for (int i = 0; i < length; ++i) {
                const double inL = x[i];
                const double inR = Stereo ? y[i] : inL;
                w = (w + 1) & mask;
                left[w] = denormalGuard(inL + feedback * tapL[i]);
                right[w] = denormalGuard(inR + feedback * rmix[i]);
                if constexpr (Stereo) {
                    x[i] = dryShare * inL + signedWet * tapL[i];
                    y[i] = dryShare * inR + signedWet * rmix[i];
                } else {
                    x[i] = dryShare * inL + 0.5 * signedWet * (tapL[i] + rmix[i]);
                }
            }
            continue;
        }
        for (int i = 0; i < length; ++i) {
            if (glide) {
                bool moving = regeneration.Step(coefficient);
                moving |= gainA.Step(coefficient);
                moving |= gainB.Step(coefficient);
                moving |= sign.Step(coefficient);
                moving |= wet.Step(coefficient);
                moving |= incrementMoving[i];
                moving |= centre.Step(coefficient, kCentreSnap);
                moving |= sweep.Step(coefficient);
                dryShare = 1.0 - wet.current;
                gliding = moving;
            }
            const double mid = centre.current * fs;
            const double swing = mid * sweep.current;

            // Read before writing: w is the last sample written.
            const double d1 = swing * sine[i] + mid;
            const double tapL = left.Read(w, d1);
            double rmix = 0.0;
            if (readA) rmix += gainA.current * right.Read(w, d1);
            if (readB) rmix += gainB.current * right.Read(w, swing * cosine[i] + mid);

            const double inL = x[i];
            const double inR = Stereo ? y[i] : inL;
            w = (w + 1) & mask;
            left[w] = denormalGuard(inL + regeneration.current * tapL);
            right[w] = denormalGuard(inR + regeneration.current * rmix);

            const double signedWet = sign.current * wet.current;
            if constexpr (Stereo) {
                x[i] = dryShare * inL + signedWet * tapL;
                y[i] = dryShare * inR + signedWet * rmix;
            } else {
                x[i] = dryShare * inL + 0.5 * signedWet * (tapL + rmix);
            }
        }
    }
    phi = wrapInto(phi, kTwoPi);
}

void Flanger::process(double* x, int n)
{
    bypass.Run(x, n, [&] { Run<false>(x, nullptr, n); });
}

void Flanger::process(double* l, double* r, int n)
{
    bypass.Run(l, r, n, [&] { Run<true>(l, r, n); });
}

}  // namespace tonewright
