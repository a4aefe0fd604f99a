#include "amp/ToneControl.h"

#include <cmath>

#include "dsp/ParameterRules.h"

namespace tonewright {

ToneControl::ToneControl()
{
    for (Bank& b : banks) {
        b.matchlessTrebleVolume.SetVolume(1.0);
    }
    SetFs(44100.0);
    params = {-1, -1.0, -1.0, -1.0, -1.0};
    SetParameters({0, 0.5, 0.5, 0.5, 0.5});
}

void ToneControl::SetParameter(int index, double v)
{
    const bool knob = v >= 0.0 && v <= 1.0;
    switch (index) {
    case 0:
        if (acceptInt(params.type, v, 0, kTypes - 1)) fade.dirty = true;
        return;
    case 1:
        if (acceptDouble(params.bass, v, knob))
            for (Bank& b : banks) b.SetBass(v);
        return;
    case 2:
        if (acceptDouble(params.mids, v, knob))
            for (Bank& b : banks) b.SetMids(v);
        return;
    case 3:
        if (acceptDouble(params.treble, v, knob))
            for (Bank& b : banks) b.SetTreble(v);
        return;
    case 4:
        if (acceptDouble(params.presence, v, knob))
            for (Bank& b : banks) b.SetPresence(v);
        return;
    default:
        return;
    }
}

double ToneControl::GetParameter(int index) const
{
    switch (index) {
    case 0: return params.type;
    case 1: return params.bass;
    case 2: return params.mids;
    case 3: return params.treble;
    case 4: return params.presence;
    default: return 0.0;
    }
}

void ToneControl::SetParameters(const ToneControlParameters& r)
{
    SetParameter(0, r.type);
    SetParameter(1, r.bass);
    SetParameter(2, r.mids);
    SetParameter(3, r.treble);
    SetParameter(4, r.presence);
}

void ToneControl::SetFs(double rate)
{
    if (!acceptNewRate(fs, rate)) return;
    for (Bank& b : banks) b.SetFs(rate);
    fade.SetFs(rate);
}

void ToneControl::Settle()
{
    if (fade.dirty) bankType[fade.current] = params.type;
    fade.Settle();
    for (Bank& b : banks) b.Settle();
}

void ToneControl::Reserve(int n)
{
    fadeBuffer.Reserve(n);
    for (Bank& b : banks) b.Reserve(n);
}

void ToneControl::process(double* x, int n)
{
    if (n <= 0) return;
    if (KernelChain::RunSteady(*this, x, n)) return;
    if (fade.BeginBlock()) bankType[fade.current] = params.type;
    if (!fade.fading) {
        banks[fade.current].Run(bankType[fade.current], x, n);
        return;
    }
    fadeBuffer.Set(x, n);
    double* old = fadeBuffer.data();
    banks[fade.current].Run(bankType[fade.current], x, n);
    banks[fade.other].Run(bankType[fade.other], old, n);
    for (int i = 0; i < n && fade.fading; ++i) {
        const double g = fade.NextOldWeight();
        x[i] = (1.0 - g) * x[i] + g * old[i];
    }
}

// A knob reaches every processor of the bank that has a setter for it, so
// bass skips MidsControl and the treble/volume stack, mids skip the
// bass/treble stack, and presence reaches only the equalisers, the stack with
// its own presence and PresenceControl.
void ToneControl::Bank::SetBass(double v)
{
    ForEach([v](auto& p) {
        if constexpr (requires { p.SetBass(v); }) p.SetBass(v);
    });
}

void ToneControl::Bank::SetMids(double v)
{
    ForEach([v](auto& p) {
        if constexpr (requires { p.SetMids(v); }) p.SetMids(v);
    });
}

void ToneControl::Bank::SetTreble(double v)
{
    ForEach([v](auto& p) {
        if constexpr (requires { p.SetTreble(v); }) p.SetTreble(v);
    });
}

void ToneControl::Bank::SetPresence(double v)
{
    ForEach([v](auto& p) {
        if constexpr (requires { p.SetPresence(v); }) p.SetPresence(v);
    });
}

void ToneControl::Bank::SetFs(double rate)
{
    ForEach([rate](auto& p) { p.SetFs(rate); });
}

void ToneControl::Bank::Settle()
{
    ForEach([](auto& p) { p.Settle(); });
}

void ToneControl::Bank::Reserve(int n)
{
    ForEach([n](auto& p) {
        if constexpr (requires { p.Reserve(n); }) p.Reserve(n);
    });
}

void ToneControl::Bank::Run(int type, double* x, int n)
{
    ForType(*this, type, [x, n](auto& p) { p.process(x, n); });
}

bool ToneControl::Steady() const
{
    if (fade.fading || fade.dirty) return false;
    bool steady = true;
    Bank::ForType(banks[fade.current], bankType[fade.current], [&steady](const auto& p) { steady = steady && p.Steady(); });
    return steady;
}

void ToneControl::Bank::AppendTo(int type, KernelChain& chain)
{
    ForType(*this, type, [&chain](auto& p) { p.AppendTo(chain); });
}

}  // namespace tonewright
