#include "dsp/SoftBypass.h"

#include "dsp/ParameterRules.h"

namespace tonewright {

void SoftBypass::SetState(double v)
{
    const int request = v >= 0.5 ? 1 : 0;
    if (request == state) return;
    state = request;
    fading = 1;
    running = 1;
}

SoftBypass::Switch SoftBypass::SetEnable(bool& enable, double v)
{
    const bool wasStopped = !running;
    if (!acceptFlag(enable, v)) return kUnchanged;
    SetState(flagValue(enable));
    return enable && wasStopped ? kStarted : kSwitched;
}

void SoftBypass::SetFs(double rate)
{
    if (!(rate > 0.0) || rate == fs) return;
    fs = rate;
    step = 1.0 / (rate * 0.02);
}

void SoftBypass::Settle()
{
    fading = 0;
    mix = state ? 1.0 : 0.0;
    running = state;
}

void SoftBypass::Reserve(int n)
{
    dryL.Reserve(n);
    dryR.Reserve(n);
}

void SoftBypass::senddry(const double* x, int n) { dryL.Set(x, n); }

void SoftBypass::senddry(const double* l, const double* r, int n)
{
    dryL.Set(l, n);
    dryR.Set(r, n);
}

double SoftBypass::NextMix()
{
    if (!fading) return mix;
    if (state) {
        mix += step;
        if (mix > 1.0) {
            mix = 1.0;
            fading = 0;
        }
    } else {
        mix -= step;
        if (mix < 0.0) {
            mix = 0.0;
            fading = 0;
            running = 0;
        }
    }
    return mix;
}

void SoftBypass::process(double* x, int n)
{
    if (fading) {
        dryL.Resize(n);
        const double* dry = dryL.data();
        for (int i = 0; i < n; ++i) {
            const double m = NextMix();
            x[i] = m * x[i] + (1.0 - m) * dry[i];
        }
    } else if (!state) {
        dryL.Resize(n);
        dryL.Get(x);
    }
}

void SoftBypass::process(double* l, double* r, int n)
{
    if (fading) {
        dryL.Resize(n);
        dryR.Resize(n);
        const double* dl = dryL.data();
        const double* dr = dryR.data();
        for (int i = 0; i < n; ++i) {
            const double m = NextMix();
            l[i] = m * l[i] + (1.0 - m) * dl[i];
            r[i] = m * r[i] + (1.0 - m) * dr[i];
        }
    } else if (!state) {
        dryL.Resize(n);
        dryR.Resize(n);
        dryL.Get(l);
        dryR.Get(r);
    }
}

}  // namespace tonewright
