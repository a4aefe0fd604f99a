#include "amp/GainStage.h"

#include <array>
#include <cmath>

#include "dsp/ParameterRules.h"

namespace tonewright {

GainStage::GainStage()
{
    SetFs(44100.0);
    SetParameter(0, 1.0);
    params.preFilter = preFilter.GetParameters();
    params.tube = tube.GetParameters();
    params.postFilter = postFilter.GetParameters();
}

void GainStage::SetParameter(int p, double v)
{
    if (p == 0) {
        if (std::isnan(v)) return;
        params.enable = v >= 0.5;
        bypass.SetState(params.enable ? 1.0 : 0.0);
    } else if (p >= 1 && p <= 5) {
        preFilter.SetParameter(p - 1, v);
        params.preFilter = preFilter.GetParameters();
    } else if (p >= 6 && p <= 14) {
        tube.SetParameter(p - 6, v);
        params.tube = tube.GetParameters();
    } else if (p >= 15 && p <= 19) {
        postFilter.SetParameter(p - 15, v);
        params.postFilter = postFilter.GetParameters();
    }
}

double GainStage::GetParameter(int p) const
{
    if (p == 0) return flagValue(params.enable);
    if (p >= 1 && p <= 5) return preFilter.GetParameter(p - 1);
    if (p >= 6 && p <= 14) return tube.GetParameter(p - 6);
    if (p >= 15 && p <= 19) return postFilter.GetParameter(p - 15);
    return 0.0;
}

void GainStage::SetParameters(const GainStageParameters& r)
{
    const auto filterValues = [](const FilterParameters& f) {
        return std::array<double, 5>{flagValue(f.enable), double(f.type), f.frequency, f.q, f.level};
    };
    const TubeParameters& t = r.tube;
    const double tubeValues[9] = {flagValue(t.enable), t.gain,     flagValue(t.invert),
                                  t.clipping,          t.symmetry, t.offset,
                                  flagValue(t.dynamic), t.shelf,   t.frequency};
    const auto pre = filterValues(r.preFilter);
    const auto post = filterValues(r.postFilter);

    SetParameter(0, flagValue(r.enable));
    for (int i = 0; i < 5; ++i) SetParameter(1 + i, pre[i]);
    for (int i = 0; i < 9; ++i) SetParameter(6 + i, tubeValues[i]);
    for (int i = 0; i < 5; ++i) SetParameter(15 + i, post[i]);
}

void GainStage::SetFs(double rate)
{
    if (!(rate > 0.0) || !std::isfinite(rate)) return;
    preFilter.SetFs(rate);
    tube.SetFs(rate);
    postFilter.SetFs(rate);
    bypass.SetFs(rate);
}

void GainStage::Settle()
{
    preFilter.Settle();
    tube.Settle();
    postFilter.Settle();
    bypass.Settle();
}

void GainStage::Reserve(int n)
{
    preFilter.Reserve(n);
    tube.Reserve(n);
    postFilter.Reserve(n);
    bypass.Reserve(n);
}

bool GainStage::Steady() const
{
    return bypass.Steady() && (preFilter.Stopped() || preFilter.Steady()) && (tube.Stopped() || tube.Steady()) &&
           (postFilter.Stopped() || postFilter.Steady());
}

void GainStage::AppendTo(KernelChain& chain)
{
    chain.Add(preFilter);
    chain.Add(tube);
    chain.Add(postFilter);
}

void GainStage::process(double* x, int n)
{
    if (!bypass.running || n <= 0) return;
    if (KernelChain::RunSteady(*this, x, n)) return;
    bypass.senddry(x, n);
    preFilter.process(x, n);
    tube.process(x, n);
    postFilter.process(x, n);
    bypass.process(x, n);
}

}  // namespace tonewright
