#include "NoiseGate.h"

#include "ParameterRules.h"

void NoiseGate::SetParameter(int id, double v)
{
    switch (id) {
    case 0: acceptFlag(params.enable, v); break;
    case 1: acceptDouble(params.threshold, v, true); break;
    case 2: acceptDouble(params.gating, v, v >= 0.0 && v < 1.0); break;
    case 3: acceptDouble(params.attack, v, v >= 0.0); break;
    case 4: acceptDouble(params.release, v, v >= 0.0); break;
    default: break;
    }
}

double NoiseGate::GetParameter(int id) const
{
    switch (id) {
    case 0: return flagValue(params.enable);
    case 1: return params.threshold;
    case 2: return params.gating;
    case 3: return params.attack;
    case 4: return params.release;
    default: return 0.0;
    }
}

void NoiseGate::SetParameters(const NoiseGateParameters& p)
{
    SetParameter(0, flagValue(p.enable));
    SetParameter(1, p.threshold);
    SetParameter(2, p.gating);
    SetParameter(3, p.attack);
    SetParameter(4, p.release);
}

void NoiseGate::SetFs(double rate)
{
    if (rate > 0.0 && std::isfinite(rate)) fs = rate;
}
