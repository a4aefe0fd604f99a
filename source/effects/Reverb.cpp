#include "Reverb.h"

#include "ParameterRules.h"

void Reverb::SetParameter(int id, double v)
{
    switch (id) {
    case 0: acceptFlag(params.enable, v); break;
    case 1: acceptInt(params.type, v, 0, 2); break;
    case 2: acceptDouble(params.level, v, true); break;
    default: break;
    }
}

double Reverb::GetParameter(int id) const
{
    switch (id) {
    case 0: return flagValue(params.enable);
    case 1: return params.type;
    case 2: return params.level;
    default: return 0.0;
    }
}

void Reverb::SetParameters(const ReverbParameters& p)
{
    SetParameter(0, flagValue(p.enable));
    SetParameter(1, p.type);
    SetParameter(2, p.level);
}

void Reverb::SetFs(double rate)
{
    if (rate > 0.0 && std::isfinite(rate)) fs = rate;
}
