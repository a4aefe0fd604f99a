#include "Preamp.h"

#include <cstring>

#include "ParameterRules.h"

Preamp::Preamp() = default;

void Preamp::SetParameter(int index, double value)
{
    switch (index) {
    case 0: acceptFlag(params.enable, value); break;
    case 1: acceptDouble(params.gainControl.wiper, value, value >= 0.0 && value <= 1.0); break;
    case 2: acceptDouble(params.toneControl.bass, value, value >= 0.0 && value <= 1.0); break;
    case 3: acceptDouble(params.toneControl.mids, value, value >= 0.0 && value <= 1.0); break;
    case 4: acceptDouble(params.toneControl.treble, value, value >= 0.0 && value <= 1.0); break;
    case 5: acceptDouble(params.toneControl.presence, value, value >= 0.0 && value <= 1.0); break;
    case 86: acceptInt(params.gainControl.type, value, 0, 5); break;
    case 87: acceptInt(params.gainControlLocation, value, 0, 5); break;
    case 88: acceptInt(params.toneControl.type, value, 0, 7); break;
    case 89: acceptInt(params.toneControlLocation, value, 0, 5); break;
    default: break;
    }
}

double Preamp::GetParameter(int index) const
{
    switch (index) {
    case 0: return flagValue(params.enable);
    case 1: return params.gainControl.wiper;
    case 2: return params.toneControl.bass;
    case 3: return params.toneControl.mids;
    case 4: return params.toneControl.treble;
    case 5: return params.toneControl.presence;
    case 86: return params.gainControl.type;
    case 87: return params.gainControlLocation;
    case 88: return params.toneControl.type;
    case 89: return params.toneControlLocation;
    default: return 0.0;
    }
}

void Preamp::SetParameters(const PreampParameters& p)
{
    SetParameter(0, flagValue(p.enable));
    for (int s = 0; s < 4; ++s) params.stages[s] = p.stages[s];
    SetParameter(86, p.gainControl.type);
    SetParameter(1, p.gainControl.wiper);
    SetParameter(87, p.gainControlLocation);
    SetParameter(88, p.toneControl.type);
    SetParameter(2, p.toneControl.bass);
    SetParameter(3, p.toneControl.mids);
    SetParameter(4, p.toneControl.treble);
    SetParameter(5, p.toneControl.presence);
    SetParameter(89, p.toneControlLocation);
    std::memcpy(params.name, p.name, sizeof params.name);
    params.name[sizeof params.name - 1] = '\0';
}

void Preamp::SetPreamp(const PreampParameters& p)
{
    SetParameter(0, flagValue(p.enable));
    for (int s = 0; s < 4; ++s) params.stages[s] = p.stages[s];
    SetParameter(86, p.gainControl.type);
    SetParameter(87, p.gainControlLocation);
    SetParameter(88, p.toneControl.type);
    SetParameter(89, p.toneControlLocation);
    std::memcpy(params.name, p.name, sizeof params.name);
    params.name[sizeof params.name - 1] = '\0';
}

void Preamp::SetFs(double rate)
{
    if (rate > 0.0 && std::isfinite(rate)) fs = rate;
}

void Preamp::process(double*, int) {}
