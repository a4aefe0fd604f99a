#include "effects/Reverb.h"

#include <algorithm>
#include <cmath>

#include "dsp/ParameterRules.h"
#include "dsp/StageFields.h"

namespace tonewright {

Reverb::Reverb()
{
    params = {false, -1, -1.0};
    SetFs(44100.0);
    SetParameters({true, 2, -6.0});
}

void Reverb::SetParameter(int id, double v)
{
    switch (id) {
    case 0:
        if (std::isnan(v)) return;
        if (v < 0.5 && params.enable) {
            params.enable = false;
            room.SetParameter(0, 0.0);
            club.SetParameter(0, 0.0);
            hall.SetParameter(0, 0.0);
        } else if (v >= 0.5 && !params.enable) {
            params.enable = true;
            Select();
        }
        return;
    case 1:
        if (acceptInt(params.type, v, 0, 2) && params.enable) Select();
        return;
    case 2:
        if (acceptDoubleClamped(params.level, v, true, kMinLevel, kMaxLevel)) {
            room.SetParameter(1, params.level + kRoomOffset);
            club.SetParameter(1, params.level + kClubOffset);
            hall.SetParameter(1, params.level + kHallOffset);
        }
        return;
    default: return;
    }
}

void Reverb::Select()
{
    room.SetParameter(0, flagValue(params.type == 0));
    club.SetParameter(0, flagValue(params.type == 1));
    hall.SetParameter(0, flagValue(params.type != 0 && params.type != 1));
}

// The record's fields by parameter id.
constexpr auto kFields = stageFields(&ReverbParameters::enable, &ReverbParameters::type, &ReverbParameters::level);

double Reverb::GetParameter(int id) const { return kFields.Get(params, id); }

void Reverb::SetParameters(const ReverbParameters& p) { kFields.Apply(p, *this); }

void Reverb::SetFs(double rate)
{
    if (!acceptNewRate(fs, rate)) return;
    hall.SetFs(rate);
    club.SetFs(rate);
    room.SetFs(rate);
}

void Reverb::Settle()
{
    room.Settle();
    club.Settle();
    hall.Settle();
}

void Reverb::Reserve(int n)
{
    room.Reserve(n);
    club.Reserve(n);
    hall.Reserve(n);
}

void Reverb::process(double* l, double* r, int n)
{
    room.process(l, r, n);
    club.process(l, r, n);
    hall.process(l, r, n);
}

}  // namespace tonewright
