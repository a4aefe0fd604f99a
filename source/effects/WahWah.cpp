#include "WahWah.h"

#include "ParameterRules.h"

void WahWah::SetParameter(int id, double v)
{
    switch (id) {
    case 0: acceptFlag(params.enable, v); break;
    case 1: acceptInt(params.type, v, 0, 2); break;
    case 2: acceptDouble(params.pedal, v, v >= 0.0 && v <= 1.0); break;
    default: break;
    }
}

double WahWah::GetParameter(int id) const
{
    switch (id) {
    case 0: return flagValue(params.enable);
    case 1: return params.type;
    case 2: return params.pedal;
    default: return 0.0;
    }
}

void WahWah::SetParameters(const WahWahParameters& p)
{
    SetParameter(0, flagValue(p.enable));
    SetParameter(1, p.type);
    SetParameter(2, p.pedal);
}

void WahWah::SetFs(double rate)
{
    if (rate > 0.0 && std::isfinite(rate)) fs = rate;
}
