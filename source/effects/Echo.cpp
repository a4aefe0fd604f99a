#include "Echo.h"

#include "ParameterRules.h"

void Echo::SetParameter(int id, double v)
{
    switch (id) {
    case 0: acceptFlag(params.enable, v); break;
    case 1: acceptInt(params.type, v, 0, 1); break;
    case 2: acceptDouble(params.delay, v, v >= 0.01 && v <= 1.0); break;
    case 3: acceptDouble(params.feedback, v, v >= 0.0 && v < 1.0); break;
    case 4: acceptDouble(params.directlevel, v, true); break;
    case 5: acceptDouble(params.delaylevel, v, true); break;
    case 6: acceptDouble(params.style, v, v >= 0.0 && v <= 1.0); break;
    case 7: acceptFlag(params.filter_input, v); break;
    case 8: acceptFlag(params.tails_on, v); break;
    default: break;
    }
}

double Echo::GetParameter(int id) const
{
    switch (id) {
    case 0: return flagValue(params.enable);
    case 1: return params.type;
    case 2: return params.delay;
    case 3: return params.feedback;
    case 4: return params.directlevel;
    case 5: return params.delaylevel;
    case 6: return params.style;
    case 7: return flagValue(params.filter_input);
    case 8: return flagValue(params.tails_on);
    default: return 0.0;
    }
}

void Echo::SetParameters(const EchoParameters& p)
{
    SetParameter(0, flagValue(p.enable));
    SetParameter(1, p.type);
    SetParameter(2, p.delay);
    SetParameter(3, p.feedback);
    SetParameter(4, p.directlevel);
    SetParameter(5, p.delaylevel);
    SetParameter(6, p.style);
    SetParameter(7, flagValue(p.filter_input));
    SetParameter(8, flagValue(p.tails_on));
}

void Echo::SetFs(double rate)
{
    if (rate > 0.0 && std::isfinite(rate)) fs = rate;
}
