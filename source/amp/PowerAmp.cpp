#include "amp/PowerAmp.h"

#include <cmath>

#include "dsp/ParameterRules.h"
#include "dsp/RangeHelpers.h"

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

double PowerAmp::GetParameter(int index) const
{
    switch (index) {
    case 0: return flagValue(params.enable);
    case 1: return params.type;
    case 2: return params.drive;
    case 3: return params.bias;
    case 4: return params.dynamics;
    default: return 0.0;
    }
}

void PowerAmp::SetParameters(const PowerAmpParameters& p)
{
    SetParameter(0, flagValue(p.enable));
    SetParameter(1, p.type);
    SetParameter(2, p.drive);
    SetParameter(3, p.bias);
    SetParameter(4, p.dynamics);
}

void PowerAmp::SetFs(double rate)
{
    if (!(rate > 0.0) || !std::isfinite(rate) || rate == fs) return;
    fs = rate;
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

void PowerAmp::process(double* x, int n)
{
    if (!bypass.running || n <= 0) return;
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
