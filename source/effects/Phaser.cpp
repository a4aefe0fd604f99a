#include "Phaser.h"

#include "ParameterRules.h"

void Phaser::SetParameter(int id, double v)
{
    switch (id) {
    case 0: acceptFlag(params.enable, v); break;
    case 1: acceptInt(params.type, v, 0, 1); break;
    case 2: acceptDouble(params.speed, v, v > 0.0); break;
    case 3: acceptDouble(params.depth, v, v >= 0.0 && v <= 1.0); break;
    case 4: acceptDouble(params.sweep, v, v >= 1.0 && v <= 3.0); break;
    case 5: acceptDouble(params.regeneration, v, v >= 0.0 && v < 1.0); break;
    case 6: acceptInt(params.stages, v, 0, 2); break;
    default: break;
    }
}

double Phaser::GetParameter(int id) const
{
    switch (id) {
    case 0: return flagValue(params.enable);
    case 1: return params.type;
    case 2: return params.speed;
    case 3: return params.depth;
    case 4: return params.sweep;
    case 5: return params.regeneration;
    case 6: return params.stages;
    default: return 0.0;
    }
}

void Phaser::SetParameters(const PhaserParameters& p)
{
    SetParameter(0, flagValue(p.enable));
    SetParameter(1, p.type);
    SetParameter(2, p.speed);
    SetParameter(3, p.depth);
    SetParameter(4, p.sweep);
    SetParameter(5, p.regeneration);
    SetParameter(6, p.stages);
}

void Phaser::SetFs(double rate)
{
    if (rate > 0.0 && std::isfinite(rate)) fs = rate;
}
