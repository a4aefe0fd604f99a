#include "CabinetProcessor.h"

#include <algorithm>

#include "ParameterRules.h"

CabinetProcessor::CabinetProcessor()
{
    record.dibox.frequency = 4500.0;
    record.windowsize = 32768;
    record.minphase = true;
    const double unit[8] = {1.0};
    SetImpulse(unit, unit, 8, true, 44100.0, "None");
}

void CabinetProcessor::SetParameter(int id, double v)
{
    switch (id) {
    case 0: acceptFlag(record.enable, v); break;
    case 1: acceptInt(record.windowsize, v, 1, 32768); break;
    case 2: acceptFlag(record.minphase, v); break;
    case 3: acceptFlag(record.forcedmono, v); break;
    case 4: acceptFlag(record.dibox.enable, v); break;
    case 5: acceptDouble(record.dibox.frequency, v, v > 0.0); break;
    case 6: acceptDouble(record.dibox.q, v, v > 0.0); break;
    default: break;
    }
}

double CabinetProcessor::GetParameter(int id) const
{
    switch (id) {
    case 0: return flagValue(record.enable);
    case 1: return record.windowsize;
    case 2: return flagValue(record.minphase);
    case 3: return flagValue(record.forcedmono);
    case 4: return flagValue(record.dibox.enable);
    case 5: return record.dibox.frequency;
    case 6: return record.dibox.q;
    default: return 0.0;
    }
}

void CabinetProcessor::GetSettings(CabinetProcessorParameters* out) const
{
    out->enable = record.enable;
    out->windowsize = record.windowsize;
    out->minphase = record.minphase;
    out->forcedmono = record.forcedmono;
    out->dibox = record.dibox;
}

void CabinetProcessor::SetParameters(const CabinetProcessorParameters* p)
{
    SetParameter(0, flagValue(p->enable));
    SetParameter(1, p->windowsize);
    SetParameter(2, flagValue(p->minphase));
    SetParameter(3, flagValue(p->forcedmono));
    SetParameter(4, flagValue(p->dibox.enable));
    SetParameter(5, p->dibox.frequency);
    SetParameter(6, p->dibox.q);
    SetImpulse(p->impulse_left.data(), p->impulse_right.data(), p->length, p->mono, p->samplerate,
               p->GetName());
}

void CabinetProcessor::SetImpulse(const double* left, const double* right, int length, bool mono,
                                  double samplerate, const char* name)
{
    record.SetName(name);
    if (length < 1 || !left || (!mono && !right)) return;
    const int n = std::min(length, 65536);
    record.SetImpulseLength(n);
    std::copy_n(left, n, record.impulse_left.begin());
    std::copy_n(mono ? left : right, n, record.impulse_right.begin());
    std::copy_n(record.impulse_left.begin(), n, record.minphase_left.begin());
    std::copy_n(record.impulse_right.begin(), n, record.minphase_right.begin());
    record.mono = mono;
    record.samplerate = samplerate > 0.0 ? samplerate : fs;
}

void CabinetProcessor::SetFs(double rate)
{
    if (rate > 0.0 && std::isfinite(rate)) fs = rate;
}

void CabinetProcessor::process(double* in, double* outL, double* outR, int n)
{
    std::copy_n(in, n, outL);
    std::copy_n(in, n, outR);
}
