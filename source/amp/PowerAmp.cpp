#include "amp/PowerAmp.h"

#include <cmath>

#include "dsp/ParameterRules.h"
#include "dsp/RangeHelpers.h"
#include "dsp/StageFields.h"

namespace tonewright {

namespace {

// Input scaling that brings each type to a comparable level at drive 1.
constexpr double kSingleEndedScale = 1.636291506;
constexpr double kPushPullScale = 6.284040921;
constexpr double kPushPullOutput = 0.5248;

}  // namespace

PowerAmp::PowerAmp()
{
    SetFs(44100.0);

    const TubeParameters matched{true, 1.0, false, 0.9, 0.0, 0.0, true, -12.0, 1000.0};
    TubeParameters asymmetric = matched;
    asymmetric.symmetry = 0.8;
    for (int b = 0; b < 2; ++b) {
        for (int pos = 0; pos < kPositions; ++pos) tubes[pos][b].SetParameters(pos < 3 ? matched : asymmetric);
    }

    // Every field of the defaults counts as a change.
    params = {false, -1, -1.0, -1.0, -1.0};
    SetParameters(PowerAmpParameters{true, 1, 1.0, 0.5, 0.5});
    fade.Prime([this] { Update(); });
}

void PowerAmp::SetParameter(int index, double v)
{
    bool changed = false;
    switch (index) {
    case 0:
        bypass.SetEnable(params.enable, v);
        return;
    case 1: changed = acceptInt(params.type, v, 0, 2); break;
    case 2: changed = acceptDoubleClamped(params.drive, v, v > 0.0, kSmallestDrive, kLargestDrive); break;
    case 3: changed = acceptDouble(params.bias, v, v >= 0.0 && v <= 1.0); break;
    case 4: changed = acceptDouble(params.dynamics, v, v >= 0.0 && v <= 1.0); break;
    default: return;
    }
    if (changed) fade.dirty = true;
}

// The record's fields by parameter id.
constexpr auto kFields = stageFields(&PowerAmpParameters::enable, &PowerAmpParameters::type, &PowerAmpParameters::drive,
                                     &PowerAmpParameters::bias, &PowerAmpParameters::dynamics);

double PowerAmp::GetParameter(int index) const { return kFields.Get(params, index); }

void PowerAmp::SetParameters(const PowerAmpParameters& p) { kFields.Apply(p, *this); }

void PowerAmp::SetFs(double rate)
{
    if (!acceptNewRate(fs, rate)) return;
    for (auto& position : tubes) {
        for (Tube& t : position) t.SetFs(rate);
    }
    bypass.SetFs(rate);
    fade.SetFs(rate);
}

void PowerAmp::Update()
{
    const int c = fade.current;
    const double corner = rangeLog(params.dynamics, 20.0, 10000.0);
    for (auto& position : tubes) position[c].SetParameter(8, corner);
    tubes[0][c].SetParameter(5, range(params.bias, -0.52, 0.82));
    pushPullOffset[c] = range(params.bias, -8.0, 3.52);
    asymOffset[c] = range(params.bias, -4.0, 2.8);
    bankType[c] = params.type;
    bankDrive[c] = params.drive;
    if (params.type == 0) bankDrive[c] *= kSingleEndedScale;
    if (params.type == 1) bankDrive[c] *= kPushPullScale;
}

void PowerAmp::Settle()
{
    if (fade.dirty || fade.fading) Update();
    fade.Settle();
    for (auto& position : tubes) {
        for (Tube& t : position) t.Settle();
    }
    bypass.Settle();
}

void PowerAmp::Reserve(int n)
{
    halfA.Reserve(n);
    halfB.Reserve(n);
    input.Reserve(n);
    for (auto& position : tubes) {
        for (Tube& t : position) t.Reserve(n);
    }
    bypass.Reserve(n);
}

void PowerAmp::RunBank(int b, const double* s, int n)
{
    const double drive = bankDrive[b];
    switch (bankType[b]) {
    case 0:
        halfA.Set(s, n);
        halfA.Scale(drive);
        tubes[0][b].process(halfA.data(), n);
        break;
    case 1:
        halfA.Set(s, n);
        halfA.Scale(0.5 * drive);
        halfA.Shift(pushPullOffset[b]);
        halfB.Set(s, n);
        halfB.Scale(-0.5 * drive);
        halfB.Shift(pushPullOffset[b]);
        tubes[1][b].process(halfA.data(), n);
        tubes[2][b].process(halfB.data(), n);
        halfA.Subtract(halfB.data());
        halfA.Scale(kPushPullOutput);
        break;
    default:
        halfA.Set(s, n);
        halfA.Scale(drive);
        halfA.Shift(asymOffset[b]);
        halfB.Set(s, n);
        halfB.Scale(-drive);
        halfB.Shift(asymOffset[b]);
        tubes[3][b].process(halfA.data(), n);
        tubes[4][b].process(halfB.data(), n);
        halfA.Subtract(halfB.data());
        halfA.Scale(0.5);
        break;
    }
}

bool PowerAmp::Steady() const
{
    if (!bypass.Steady() || fade.fading || fade.dirty) return false;
    const int b = fade.current;
    const auto steady = [](const Tube& t) { return t.Stopped() || t.Steady(); };
    switch (bankType[b]) {
    case 0: return steady(tubes[0][b]);
    case 1: return steady(tubes[1][b]) && steady(tubes[2][b]);
    default: return steady(tubes[3][b]) && steady(tubes[4][b]);
    }
}

namespace {

// A tube's step, or its input unchanged while it is switched off.
[[gnu::always_inline]] inline double step(Tube::Kernel& k, bool on, double x) { return on ? k.Step(x) : x; }

}  // namespace

void PowerAmp::RunSteady(double* x, int n)
{
    // The same arithmetic as RunBank, sample by sample.
    const int b = fade.current;
    const double drive = bankDrive[b];
    if (bankType[b] == 0) {
        Tube& t = tubes[0][b];
        if (t.Stopped()) {
            for (int i = 0; i < n; ++i) x[i] *= drive;
            return;
        }
        Tube::Kernel k = t.Load();
        for (int i = 0; i < n; ++i) x[i] = k.Step(x[i] * drive);
        t.Store(k);
        return;
    }
    const bool pushPull = bankType[b] == 1;
    Tube& ta = tubes[pushPull ? 1 : 3][b];
    Tube& tb = tubes[pushPull ? 2 : 4][b];
    const double scaleA = pushPull ? 0.5 * drive : drive;
    const double scaleB = pushPull ? -0.5 * drive : -drive;
    const double shift = pushPull ? pushPullOffset[b] : asymOffset[b];
    const double output = pushPull ? kPushPullOutput : 0.5;
    const bool onA = !ta.Stopped();
    const bool onB = !tb.Stopped();
    Tube::Kernel ka = ta.Load();
    Tube::Kernel kb = tb.Load();
    for (int i = 0; i < n; ++i) {
        const double ya = step(ka, onA, x[i] * scaleA + shift);
        const double yb = step(kb, onB, x[i] * scaleB + shift);
        x[i] = (ya - yb) * output;
    }
    ta.Store(ka);
    tb.Store(kb);
}

void PowerAmp::AppendTo(KernelChain& chain)
{
    const int b = fade.current;
    const double drive = bankDrive[b];
    switch (bankType[b]) {
    case 0: chain.AddPower(tubes[0][b], drive, nullptr, 0.0, 0.0, 1.0); break;
    case 1:
        chain.AddPower(tubes[1][b], 0.5 * drive, &tubes[2][b], -0.5 * drive, pushPullOffset[b], kPushPullOutput);
        break;
    default: chain.AddPower(tubes[3][b], drive, &tubes[4][b], -drive, asymOffset[b], 0.5); break;
    }
}

void PowerAmp::process(double* x, int n)
{
    if (!bypass.running || n <= 0) return;
    if (Steady()) {
        RunSteady(x, n);
        return;
    }
    bypass.senddry(x, n);
    if (fade.BeginBlock()) Update();
    if (fade.fading) {
        input.Set(x, n);
        RunBank(fade.current, x, n);
        halfA.Get(x);
        RunBank(fade.other, input.data(), n);
        const double* old = halfA.data();
        for (int i = 0; i < n && fade.fading; ++i) {
            const double w = fade.NextOldWeight();
            x[i] = (1.0 - w) * x[i] + w * old[i];
        }
    } else {
        RunBank(fade.current, x, n);
        halfA.Get(x);
    }
    bypass.process(x, n);
}

}  // namespace tonewright
