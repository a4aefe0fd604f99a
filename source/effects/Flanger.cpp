#include "Flanger.h"

#include "ParameterRules.h"

void Flanger::SetParameter(int id, double v)
{
    switch (id) {
    case 0: acceptFlag(params.enable, v); break;
    case 1: acceptInt(params.type, v, 0, 1); break;
    case 2: acceptDouble(params.speed, v, v > 0.0); break;
    case 3: acceptDouble(params.depth, v, v >= 0.0 && v <= 1.0); break;
    case 4: acceptDouble(params.delay, v, v >= 0.0 && v <= 0.004); break;
    case 5: acceptDouble(params.sweep, v, v >= 0.0 && v <= 1.0); break;
    case 6: acceptDouble(params.regeneration, v, v >= 0.0 && v <= 0.9); break;
    case 7: acceptFlag(params.phase, v); break;
    default: break;
    }
}

double Flanger::GetParameter(int id) const
{
    switch (id) {
    case 0: return flagValue(params.enable);
    case 1: return params.type;
    case 2: return params.speed;
    case 3: return params.depth;
    case 4: return params.delay;
    case 5: return params.sweep;
    case 6: return params.regeneration;
    case 7: return flagValue(params.phase);
    default: return 0.0;
    }
}

void Flanger::SetParameters(const FlangerParameters& p)
{
    SetParameter(0, flagValue(p.enable));
    SetParameter(1, p.type);
    SetParameter(2, p.speed);
    SetParameter(3, p.depth);
    SetParameter(4, p.delay);
    SetParameter(5, p.sweep);
    SetParameter(6, p.regeneration);
    SetParameter(7, flagValue(p.phase));
}

void Flanger::SetFs(double rate)
{
    if (rate > 0.0 && std::isfinite(rate)) fs = rate;
}
