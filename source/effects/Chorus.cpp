#include "Chorus.h"

#include "ParameterRules.h"

void Chorus::SetParameter(int id, double v)
{
    switch (id) {
    case 0: acceptFlag(params.enable, v); break;
    case 1: acceptInt(params.type, v, 0, 2); break;
    case 2: acceptDouble(params.speed, v, v > 0.0); break;
    case 3: acceptDouble(params.depth, v, v >= 0.0 && v <= 1.0); break;
    case 4: acceptDouble(params.mix, v, v >= 0.0 && v <= 1.0); break;
    case 5: acceptDouble(params.delay, v, v >= 0.0 && v <= 0.03); break;
    default: break;
    }
}

double Chorus::GetParameter(int id) const
{
    switch (id) {
    case 0: return flagValue(params.enable);
    case 1: return params.type;
    case 2: return params.speed;
    case 3: return params.depth;
    case 4: return params.mix;
    case 5: return params.delay;
    default: return 0.0;
    }
}

void Chorus::SetParameters(const ChorusParameters& p)
{
    SetParameter(0, flagValue(p.enable));
    SetParameter(1, p.type);
    SetParameter(2, p.speed);
    SetParameter(3, p.depth);
    SetParameter(4, p.mix);
    SetParameter(5, p.delay);
}

void Chorus::SetFs(double rate)
{
    if (rate > 0.0 && std::isfinite(rate)) fs = rate;
}
