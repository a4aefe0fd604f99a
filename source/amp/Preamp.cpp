#include "amp/Preamp.h"

#include <cmath>
#include <cstring>

#include "dsp/ParameterRules.h"

namespace tonewright {

namespace {

constexpr int kFirstStageIndex = 6;
constexpr int kStageIndices = 20;
constexpr int kLastIndex = 89;

}  // namespace

Preamp::Preamp()
{
    fade.dirty = false;
    params.enable = true;
    params.gainControlLocation = 1;
    params.toneControlLocation = 4;
    for (int s = 0; s < kStages; ++s) params.stages[s] = stages[s][0].GetParameters();
    params.gainControl = gainControls[0].GetParameters();
    params.toneControl = toneControls[0].GetParameters();
    SetFs(44100.0);
}

void Preamp::SetParameter(int index, double value)
{
    if (index < 0 || index > kLastIndex) return;
    if (index >= kFirstStageIndex && index < kFirstStageIndex + kStages * kStageIndices) {
        const int s = (index - kFirstStageIndex) / kStageIndices;
        const int p = (index - kFirstStageIndex) % kStageIndices;
        for (auto& stage : stages[s]) stage.SetParameter(p, value);
        params.stages[s] = stages[s][0].GetParameters();
        return;
    }
    switch (index) {
    case 0:
        if (std::isnan(value)) return;
        params.enable = value >= 0.5;
        bypass.SetState(params.enable ? 1.0 : 0.0);
        break;
    case 1:
        if (!std::isfinite(value) || value == params.gainControl.wiper) return;
        for (auto& g : gainControls) g.SetParameter(1, value);
        params.gainControl = gainControls[0].GetParameters();
        break;
    case 2: case 3: case 4: case 5: {
        const ToneControlParameters& t = params.toneControl;
        const double stored[] = {t.bass, t.mids, t.treble, t.presence};
        if (!std::isfinite(value) || value == stored[index - 2]) return;
        for (auto& c : toneControls) c.SetParameter(index - 1, value);
        params.toneControl = toneControls[0].GetParameters();
        break;
    }
    case 86:
        for (auto& g : gainControls) g.SetParameter(0, value);
        params.gainControl = gainControls[0].GetParameters();
        break;
    case 87:
        if (acceptInt(params.gainControlLocation, value, 0, kLastLocation)) fade.dirty = true;
        break;
    case 88:
        for (auto& c : toneControls) c.SetParameter(0, value);
        params.toneControl = toneControls[0].GetParameters();
        break;
    case 89:
        if (acceptInt(params.toneControlLocation, value, 0, kLastLocation)) fade.dirty = true;
        break;
    default:
        break;
    }
}

double Preamp::GetParameter(int index) const
{
    if (index >= kFirstStageIndex && index < kFirstStageIndex + kStages * kStageIndices) {
        const int s = (index - kFirstStageIndex) / kStageIndices;
        return stages[s][0].GetParameter((index - kFirstStageIndex) % kStageIndices);
    }
    switch (index) {
    case 0: return flagValue(params.enable);
    case 1: return params.gainControl.wiper;
    case 2: return params.toneControl.bass;
    case 3: return params.toneControl.mids;
    case 4: return params.toneControl.treble;
    case 5: return params.toneControl.presence;
    case 86: return gainControls[0].GetParameter(0);
    case 87: return params.gainControlLocation;
    case 88: return toneControls[0].GetParameter(0);
    case 89: return params.toneControlLocation;
    default: return 0.0;
    }
}

void Preamp::SetName(const char (&name)[256])
{
    static_assert(sizeof params.name == sizeof name);
    std::memcpy(params.name, name, sizeof params.name);
    params.name[sizeof params.name - 1] = '\0';
}

void Preamp::SetParameters(const PreampParameters& p)
{
    SetParameter(0, flagValue(p.enable));
    for (int s = 0; s < kStages; ++s) {
        for (auto& stage : stages[s]) stage.SetParameters(p.stages[s]);
        params.stages[s] = stages[s][0].GetParameters();
    }
    for (auto& g : gainControls) g.SetParameters(p.gainControl);
    params.gainControl = gainControls[0].GetParameters();
    SetParameter(87, p.gainControlLocation);
    for (auto& c : toneControls) c.SetParameters(p.toneControl);
    params.toneControl = toneControls[0].GetParameters();
    SetParameter(89, p.toneControlLocation);
    SetName(p.name);
}

void Preamp::SetPreamp(const PreampParameters& p)
{
    SetParameter(0, flagValue(p.enable));
    for (int s = 0; s < kStages; ++s) {
        for (auto& stage : stages[s]) stage.SetParameters(p.stages[s]);
        params.stages[s] = stages[s][0].GetParameters();
    }
    SetParameter(86, p.gainControl.type);
    SetParameter(87, p.gainControlLocation);
    SetParameter(88, p.toneControl.type);
    SetParameter(89, p.toneControlLocation);
    SetName(p.name);
}

void Preamp::SetFs(double rate)
{
    if (!acceptNewRate(fs, rate)) return;
    for (int b = 0; b < 2; ++b) {
        for (auto& stage : stages) stage[b].SetFs(rate);
        gainControls[b].SetFs(rate);
        toneControls[b].SetFs(rate);
    }
    bypass.SetFs(rate);
    fade.SetFs(rate);
}

void Preamp::Settle()
{
    if (fade.dirty || fade.fading) {
        gainControlAt[fade.current] = params.gainControlLocation;
        toneControlAt[fade.current] = params.toneControlLocation;
    }
    fade.Settle();
    for (int b = 0; b < 2; ++b) {
        for (auto& stage : stages) stage[b].Settle();
        gainControls[b].Settle();
        toneControls[b].Settle();
    }
    bypass.Settle();
}

void Preamp::Reserve(int n)
{
    fadeBuffer.Reserve(n);
    for (int b = 0; b < 2; ++b) {
        for (auto& stage : stages) stage[b].Reserve(n);
        gainControls[b].Reserve(n);
        toneControls[b].Reserve(n);
    }
    bypass.Reserve(n);
}

void Preamp::RunBank(int b, double* y, int n)
{
    for (int s = 1; s <= kStages; ++s) {
        if (gainControlAt[b] == s) gainControls[b].process(y, n);
        if (toneControlAt[b] == s) toneControls[b].process(y, n);
        GainStage& stage = stages[s - 1][b];
        if (stage.IsNotBypassed()) stage.process(y, n);
    }
    if (gainControlAt[b] == kLastLocation) gainControls[b].process(y, n);
    if (toneControlAt[b] == kLastLocation) toneControls[b].process(y, n);
}

bool Preamp::Steady() const
{
    if (!bypass.Steady() || fade.fading || fade.dirty) return false;
    const int b = fade.current;
    const auto placed = [](int at) { return at >= 1 && at <= kLastLocation; };
    if (placed(gainControlAt[b]) && !gainControls[b].Steady()) return false;
    if (placed(toneControlAt[b]) && !toneControls[b].Steady()) return false;
    for (const auto& stage : stages) {
        if (stage[b].IsNotBypassed() && !stage[b].Steady()) return false;
    }
    return true;
}

void Preamp::AppendTo(KernelChain& chain)
{
    const int b = fade.current;
    for (int s = 1; s <= kStages; ++s) {
        if (gainControlAt[b] == s) gainControls[b].AppendTo(chain);
        if (toneControlAt[b] == s) toneControls[b].AppendTo(chain);
        GainStage& stage = stages[s - 1][b];
        if (stage.IsNotBypassed()) stage.AppendTo(chain);
    }
    if (gainControlAt[b] == kLastLocation) gainControls[b].AppendTo(chain);
    if (toneControlAt[b] == kLastLocation) toneControls[b].AppendTo(chain);
}

void Preamp::process(double* x, int n)
{
    if (!bypass.running || n <= 0) return;
    if (KernelChain::RunSteady(*this, x, n)) return;
    bypass.senddry(x, n);
    if (fade.BeginBlock()) {
        // The incoming bank takes the new arrangement; the outgoing one keeps
        // its own.
        gainControlAt[fade.current] = params.gainControlLocation;
        toneControlAt[fade.current] = params.toneControlLocation;
    }
    if (fade.fading) {
        fadeBuffer.Set(x, n);
        RunBank(fade.current, x, n);
        RunBank(fade.other, fadeBuffer.data(), n);
        const double* old = fadeBuffer.data();
        for (int i = 0; i < n && fade.fading; ++i) {
            const double w = fade.NextOldWeight();
            x[i] = (1.0 - w) * x[i] + w * old[i];
        }
    } else {
        RunBank(fade.current, x, n);
    }
    bypass.process(x, n);
}

}  // namespace tonewright
