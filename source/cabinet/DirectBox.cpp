#include "cabinet/DirectBox.h"

#include "dsp/ParameterRules.h"
#include "dsp/StageFields.h"

namespace tonewright {

DirectBox::DirectBox()
{
    for (Filter& f : sections) {
        f.SetParameter(1, Filter::kLowPass);
        f.SetParameter(4, 0.0);
    }
    SetFs(44100.0);
    const DirectBoxParameters defaults;
    params.enable = !defaults.enable;
    params.frequency = -1.0;
    params.q = -1.0;
    SetParameters(defaults);
    Settle();
}

void DirectBox::SetParameter(int id, double v)
{
    switch (id) {
    case 0:
        bypass.SetEnable(params.enable, v);
        break;
    case 1:
        if (acceptFrequency(params.frequency, v))
            for (Filter& f : sections) f.SetParameter(2, params.frequency);
        break;
    case 2:
        if (acceptDoubleClamped(params.q, v, v > 0.0, Filter::kSmallestQ, Filter::kLargestQ))
            for (Filter& f : sections) f.SetParameter(3, params.q);
        break;
    default: break;
    }
}

// The record's fields by parameter id.
constexpr auto kFields = stageFields(&DirectBoxParameters::enable, &DirectBoxParameters::frequency,
                                     &DirectBoxParameters::q);

double DirectBox::GetParameter(int id) const { return kFields.Get(params, id); }

void DirectBox::SetParameters(const DirectBoxParameters& p) { kFields.Apply(p, *this); }

void DirectBox::SetFs(double rate)
{
    if (!acceptNewRate(fs, rate)) return;
    for (Filter& f : sections) {
        f.SetFs(rate);
        // The sections carry the box's own values at every rate.
        if (params.frequency > 0.0) f.SetParameter(2, params.frequency);
        if (params.q > 0.0) f.SetParameter(3, params.q);
    }
    bypass.SetFs(rate);
}

void DirectBox::Settle()
{
    bypass.Settle();
    for (Filter& f : sections) f.Settle();
}

void DirectBox::Reserve(int n)
{
    bypass.Reserve(n);
    for (Filter& f : sections) f.Reserve(n);
}

void DirectBox::process(double* x, int n)
{
    bypass.Run(x, n, [&] {
        Filter* const left[] = {&sections[0], &sections[1]};
        Filter::processCascade(left, 2, x, n);
    });
}

void DirectBox::process(double* l, double* r, int n)
{
    bypass.Run(l, r, n, [&] {
        Filter* const left[] = {&sections[0], &sections[1]};
        Filter* const right[] = {&sections[2], &sections[3]};
        Filter::processCascade(left, right, 2, l, r, n);
    });
}

}  // namespace tonewright
