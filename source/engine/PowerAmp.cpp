#include "PowerAmp.h"

#include "ParameterRules.h"

void PowerAmp::SetParameter(int index, double v)
{
    switch (index) {
    case 0: acceptFlag(params.enable, v); break;
    case 1: acceptInt(params.type, v, 0, 2); break;
    case 2: acceptDouble(params.drive, v, v > 0.0); break;
    case 3: acceptDouble(params.bias, v, v >= 0.0 && v <= 1.0); break;
    case 4: acceptDouble(params.dynamics, v, v >= 0.0 && v <= 1.0); break;
    default: break;
    }
}

double PowerAmp::GetParameter(int index) const
{
    switch (index) {
    case 0: return flagValue(params.enable);
    case 1: return params.type;
    case 2: return params.drive;
    case 3: return params.bias;
    case 4: return params.dynamics;
    default: return 0.0;
    }
}

void PowerAmp::SetParameters(const PowerAmpParameters& p)
{
    SetParameter(0, flagValue(p.enable));
    SetParameter(1, p.type);
    SetParameter(2, p.drive);
    SetParameter(3, p.bias);
    SetParameter(4, p.dynamics);
}

void PowerAmp::SetFs(double rate)
{
    if (rate > 0.0 && std::isfinite(rate)) fs = rate;
}

void PowerAmp::process(double*, int) {}
