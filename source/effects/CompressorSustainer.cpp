#include "CompressorSustainer.h"

#include "ParameterRules.h"

void CompressorSustainer::SetParameter(int id, double v)
{
    switch (id) {
    case 0: acceptFlag(params.enable, v); break;
    case 1: acceptInt(params.type, v, 0, 1); break;
    case 2: acceptDouble(params.amount, v, v >= 0.0 && v <= 1.0); break;
    case 3: acceptDouble(params.attack, v, v >= 0.0); break;
    case 4: acceptDouble(params.release, v, v >= 0.0); break;
    default: break;
    }
}

double CompressorSustainer::GetParameter(int id) const
{
    switch (id) {
    case 0: return flagValue(params.enable);
    case 1: return params.type;
    case 2: return params.amount;
    case 3: return params.attack;
    case 4: return params.release;
    default: return 0.0;
    }
}

void CompressorSustainer::SetParameters(const CompressorSustainerParameters& p)
{
    SetParameter(0, flagValue(p.enable));
    SetParameter(1, p.type);
    SetParameter(2, p.amount);
    SetParameter(3, p.attack);
    SetParameter(4, p.release);
}

void CompressorSustainer::SetFs(double rate)
{
    if (rate > 0.0 && std::isfinite(rate)) fs = rate;
}
