#include "GraphicEQ7.h"

#include "ParameterRules.h"

void GraphicEQ7::SetParameter(int id, double v)
{
    switch (id) {
    case 0: acceptFlag(params.enable, v); break;
    case 1: acceptInt(params.type, v, 0, 2); break;
    case 2: acceptDouble(params.band1, v, true); break;
    case 3: acceptDouble(params.band2, v, true); break;
    case 4: acceptDouble(params.band3, v, true); break;
    case 5: acceptDouble(params.band4, v, true); break;
    case 6: acceptDouble(params.band5, v, true); break;
    case 7: acceptDouble(params.band6, v, true); break;
    case 8: acceptDouble(params.band7, v, true); break;
    case 9: acceptDouble(params.parametric_frequency, v, v > 0.0); break;
    case 10: acceptDouble(params.parametric_q, v, v > 0.0); break;
    case 11: acceptDouble(params.parametric_level, v, true); break;
    case 12: acceptDouble(params.level, v, true); break;
    default: break;
    }
}

double GraphicEQ7::GetParameter(int id) const
{
    switch (id) {
    case 0: return flagValue(params.enable);
    case 1: return params.type;
    case 2: return params.band1;
    case 3: return params.band2;
    case 4: return params.band3;
    case 5: return params.band4;
    case 6: return params.band5;
    case 7: return params.band6;
    case 8: return params.band7;
    case 9: return params.parametric_frequency;
    case 10: return params.parametric_q;
    case 11: return params.parametric_level;
    case 12: return params.level;
    default: return 0.0;
    }
}

void GraphicEQ7::SetParameters(const GraphicEQ7Parameters& p)
{
    SetParameter(0, flagValue(p.enable));
    SetParameter(1, p.type);
    SetParameter(2, p.band1);
    SetParameter(3, p.band2);
    SetParameter(4, p.band3);
    SetParameter(5, p.band4);
    SetParameter(6, p.band5);
    SetParameter(7, p.band6);
    SetParameter(8, p.band7);
    SetParameter(9, p.parametric_frequency);
    SetParameter(10, p.parametric_q);
    SetParameter(11, p.parametric_level);
    SetParameter(12, p.level);
}

void GraphicEQ7::SetFs(double rate)
{
    if (rate > 0.0 && std::isfinite(rate)) fs = rate;
}
