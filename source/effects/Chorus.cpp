#include "effects/Chorus.h"

#include <algorithm>
#include <cmath>

#include "dsp/DspMath.h"
#include "effects/Modulation.h"
#include "effects/Sines.h"
#include "dsp/ParameterRules.h"
#include "dsp/RangeHelpers.h"
#include "dsp/StageFields.h"

namespace tonewright {

namespace {

constexpr double kTwoPi = 6.28318530717958647692;
constexpr double kMaxDelay = 0.03;  // s
// The lines hold the full sweep down to this speed; slower sweeps are
// limited to what the lines hold.
constexpr double kSlowestFullSweep = 0.01;  // Hz
constexpr double kMaxPitchDeviation = 0.02;

// Voice layout: line and output channel (0 left, 1 right), and which
// oscillator value sweeps it: sin(phi + offset) with offsets 0, 270, 0, 180
// and 90 degrees, taken as s, -c, s, -s, c from s = sin(phi), c = cos(phi).
enum class Sweep { Sin, MinusCos, MinusSin, Cos };
struct Voice {
    int channel;
    Sweep sweep;
};
constexpr Voice kVoiceLayout[Chorus::kVoices] = {
    {0, Sweep::Sin}, {0, Sweep::MinusCos}, {1, Sweep::Sin}, {1, Sweep::MinusSin}, {1, Sweep::Cos}};

constexpr double kTypeGains[3][Chorus::kVoices] = {
    {1.0, 0.0, 1.0, 0.0, 0.0},
    {1.0, 0.0, 0.0, 1.0, 0.0},
    {0.5, 0.5, 0.0, 0.5, 0.5},
};

}  // namespace

Chorus::Chorus()
{
    SetFs(44100.0);
    params = {false, 0, 0.5, 0.1, 1.0, 0.001};
    SetParameters(ChorusParameters{});
    JumpToTargets();
    gliding = false;
}

void Chorus::SetParameter(int id, double v)
{
    bool changed = false;
    switch (id) {
    case 0:
        if (bypass.SetEnable(params.enable, v) == SoftBypass::kStarted) {
            left.Clear();
            right.Clear();
        }
        return;
    case 1: changed = acceptInt(params.type, v, 0, 2); break;
    case 2: changed = acceptSpeed(params.speed, v); break;
    case 3: changed = acceptDouble(params.depth, v, v >= 0.0 && v <= 1.0); break;
    case 4: changed = acceptDouble(params.mix, v, v >= 0.0 && v <= 1.0); break;
    case 5: changed = acceptDouble(params.delay, v, v >= 0.0 && v <= kMaxDelay); break;
    default: return;
    }
    if (changed) {
        Update();
        dirty = true;
    }
}

// The record's fields by parameter id.
constexpr auto kFields = stageFields(&ChorusParameters::enable, &ChorusParameters::type, &ChorusParameters::speed,
                                     &ChorusParameters::depth, &ChorusParameters::mix, &ChorusParameters::delay);

double Chorus::GetParameter(int id) const { return kFields.Get(params, id); }

void Chorus::SetParameters(const ChorusParameters& p) { kFields.Apply(p, *this); }

void Chorus::SetFs(double rate)
{
    if (!acceptNewRate(fs, rate)) return;
    bypass.SetFs(rate);
    coefficient = glideCoefficient(0.06, rate);
    const double longest = rate * (kMaxDelay + 2.0 * kMaxPitchDeviation / (kTwoPi * kSlowestFullSweep));
    const bool grewLeft = left.Allocate(longest), grewRight = right.Allocate(longest);
    if (grewLeft || grewRight) w = 0;
    // Delays in samples keep their length in seconds across the change.
    Update();
    amount.Jump();
    increment.Jump();
    base.Jump();
    dirty = true;
}

void Chorus::Update()
{
    increment.target = kTwoPi * params.speed / fs;
    base.target = params.delay * fs;
    const double r = range(params.depth, 1.0, 1.0 + kMaxPitchDeviation);
    const double deepest = std::max(0.0, (left.MaxDelay() - base.target) / 2.0);
    amount.target = std::min((r - 1.0) / increment.target, deepest);
    mix.target = params.mix;
    for (int v = 0; v < kVoices; ++v) gain[v].target = kTypeGains[params.type][v];
}

void Chorus::JumpToTargets()
{
    Update();
    amount.Jump();
    increment.Jump();
    mix.Jump();
    base.Jump();
    for (auto& g : gain) g.Jump();
    dryShare = 1.0 - mix.current;
}

void Chorus::Settle()
{
    JumpToTargets();
    gliding = false;
    dirty = false;
    bypass.Settle();
}

template <bool Stereo>
void Chorus::Run(double* l, double* r, int n)
{
    if (beginGlide(gliding, dirty)) Update();
    // While gliding every voice runs with its current gain; otherwise only
    // the voices the type uses. Each reads +-sin or +-cos of the phase.
    int active[kVoices];
    const double* sweepOf[kVoices];
    double signOf[kVoices];
    constexpr int kRun = 32;
    double phase[kRun], sine[kRun], cosine[kRun];
    int count = 0;
    bool needCos = false;
    for (int v = 0; v < kVoices; ++v) {
        if (!gliding && gain[v].current == 0.0) continue;
        const Sweep sw = kVoiceLayout[v].sweep;
        const bool usesCos = sw == Sweep::Cos || sw == Sweep::MinusCos;
        needCos |= usesCos;
        sweepOf[count] = usesCos ? cosine : sine;
        signOf[count] = sw == Sweep::MinusCos || sw == Sweep::MinusSin ? -1.0 : 1.0;
        active[count++] = v;
    }
    const bool glide = gliding;
    const int mask = left.Mask();
    const DelayLine* lines[2] = {&left, &right};

    for (int start = 0; start < n; start += kRun) {
        const int length = std::min(kRun, n - start);
        // The phases first: the increment glides on its own.
        bool incrementMoving[kRun];
        advancePhases(phi, increment, coefficient, glide, phase, incrementMoving, length);
        // A slow oscillator's run is turned from its first phase, a fast
        // one's computed outright.
        sines::sinCosNear(phase, sine, needCos ? cosine : nullptr, length);

        double* const x = l + start;
        double* const y = Stereo ? r + start : nullptr;
        // While nothing glides and no read of the run reaches back far
        // enough to meet the run's own writes, the run's samples go into the
        // lines first and each voice reads its run in one loop: the same
        // reads and sums as sample by sample.
        if (!glide && 2.0 * amount.current + base.current + kRun + 1.0 <= left.MaxDelay()) {
            for (int i = 0; i < length; ++i) {
                left[w + 1 + i] = x[i];
                right[w + 1 + i] = Stereo ? y[i] : x[i];
            }
            double wet[2][kRun] = {};
            for (int k = 0; k < count; ++k) {
                const int v = active[k];
                const DelayLine& line = *lines[kVoiceLayout[v].channel];
                double* const sum = wet[kVoiceLayout[v].channel];
                const double* const sweep = sweepOf[k];
                const double sign = signOf[k], depth = amount.current, delay = base.current, g = gain[v].current;
                for (int i = 0; i < length; ++i) sum[i] += g * line.Read(w + 1 + i, (sign * sweep[i] + 1.0) * depth + delay);
            }
            w = (w + length) & mask;
            const double m = mix.current;
            for (int i = 0; i < length; ++i) {
                if constexpr (Stereo) {
                    x[i] = dryShare * x[i] + m * wet[0][i];
                    y[i] = dryShare * y[i] + m * wet[1][i];
                } else {
                    x[i] = dryShare * x[i] + 0.5 * m * (wet[0][i] + wet[1][i]);
                }
            }
            continue;
        }
        for (int i = 0; i < length; ++i) {
            if (glide) {
                bool moving = amount.Step(coefficient);
                moving |= incrementMoving[i];
                moving |= mix.Step(coefficient);
                moving |= base.Step(coefficient);
                for (auto& g : gain) moving |= g.Step(coefficient);
                dryShare = 1.0 - mix.current;
                gliding = moving;
            }
            w = (w + 1) & mask;
            left[w] = x[i];
            right[w] = Stereo ? y[i] : x[i];
            double wet[2] = {0.0, 0.0};
            for (int k = 0; k < count; ++k) {
                const int v = active[k];
                const Voice& voice = kVoiceLayout[v];
                const double d = (signOf[k] * sweepOf[k][i] + 1.0) * amount.current + base.current;
                wet[voice.channel] += gain[v].current * lines[voice.channel]->Read(w, d);
            }
            if constexpr (Stereo) {
                x[i] = dryShare * x[i] + mix.current * wet[0];
                y[i] = dryShare * y[i] + mix.current * wet[1];
            } else {
                x[i] = dryShare * x[i] + 0.5 * mix.current * (wet[0] + wet[1]);
            }
        }
    }
    phi = wrapInto(phi, kTwoPi);
}

void Chorus::process(double* x, int n)
{
    bypass.Run(x, n, [&] { Run<false>(x, nullptr, n); });
}

void Chorus::process(double* l, double* r, int n)
{
    bypass.Run(l, r, n, [&] { Run<true>(l, r, n); });
}

}  // namespace tonewright
