#include "effects/Tremolo.h"

#include <cmath>

#include "dsp/DspMath.h"
#include "effects/Modulation.h"
#include "dsp/ParameterRules.h"
#include "dsp/StageFields.h"

namespace tonewright {

Tremolo::Tremolo()
{
    generator.SetFs(44100.0);
    generator.SetAmplitude(0.5);
    generator.SetOffset(0.5);
    generator.SetFrequency(1.0);
    generator.SetDutyCycle(0.5);
    generator.SetPhase(0.0);
    generator.SetWaveShape(0.0);
    generator.Reset();

    SetFs(44100.0);
    params = {false, -1, -1.0, -1.0, -1.0};
    SetParameters(TremoloParameters{});
    JumpToTargets();
}

void Tremolo::SetParameter(int id, double v)
{
    bool changed = false;
    switch (id) {
    case 0:
        bypass.SetEnable(params.enable, v);
        return;
    case 1: changed = acceptInt(params.type, v, 0, 1); break;
    case 2: changed = acceptSpeed(params.speed, v); break;
    case 3: changed = acceptDouble(params.depth, v, v >= 0.0 && v <= 1.0); break;
    case 4: changed = acceptDouble(params.waveform, v, v >= 0.0 && v <= 1.0); break;
    default: return;
    }
    if (changed) dirty = true;
}

// The record's fields by parameter id.
constexpr auto kFields = stageFields(&TremoloParameters::enable, &TremoloParameters::type, &TremoloParameters::speed,
                                     &TremoloParameters::depth, &TremoloParameters::waveform);

double Tremolo::GetParameter(int id) const { return kFields.Get(params, id); }

void Tremolo::SetParameters(const TremoloParameters& p) { kFields.Apply(p, *this); }

void Tremolo::SetFs(double rate)
{
    if (!acceptNewRate(fs, rate)) return;
    generator.SetFs(rate);
    bypass.SetFs(rate);
    coefficient = glideCoefficient(0.03, rate);
    dirty = true;
}

void Tremolo::JumpToTargets()
{
    StartBlock();
    speed.Jump();
    depth.Jump();
    waveform.Jump();
    phaseOffset.Jump();
    ApplyToGenerator();
    gliding = false;
}

void Tremolo::Settle()
{
    JumpToTargets();
    dirty = false;
    bypass.Settle();
}

// The record's fields are the glide targets, so a change steers a running
// glide at once.
void Tremolo::StartBlock()
{
    beginGlide(gliding, dirty);
    speed.target = params.speed;
    depth.target = params.depth;
    waveform.target = params.waveform;
    phaseOffset.target = params.type == 1 ? 0.5 : 0.0;
}

void Tremolo::MoveGlides()
{
    gliding = false;
    gliding |= speed.Step(coefficient);
    gliding |= depth.Step(coefficient);
    gliding |= waveform.Step(coefficient);
    gliding |= phaseOffset.Step(coefficient);
    ApplyToGenerator();
}

void Tremolo::ApplyToGenerator()
{
    generator.SetFrequency(speed.current);
    generator.SetAmplitude(depth.current / 2.0);
    generator.SetOffset(1.0 - depth.current / 2.0);
    generator.SetWaveShape(0.95 * waveform.current);
    generator.SetPhase(phaseOffset.current);
}

void Tremolo::process(double* x, int n)
{
    bypass.Run(x, n, [&] {
        StartBlock();
        int i = 0;
        double y;
        for (; i < n && gliding; ++i) {
            MoveGlides();
            generator.Output(&y);
            x[i] *= y;
        }
        generator.Modulate(x + i, n - i);
    });
}

void Tremolo::process(double* l, double* r, int n)
{
    bypass.Run(l, r, n, [&] {
        StartBlock();
        int i = 0;
        double a, b;
        for (; i < n && gliding; ++i) {
            MoveGlides();
            generator.Output(&a, &b);
            l[i] *= a;
            r[i] *= b;
        }
        generator.Modulate(l + i, r + i, n - i);
    });
}

}  // namespace tonewright
