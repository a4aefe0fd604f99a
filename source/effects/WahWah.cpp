#include "effects/WahWah.h"

#include <algorithm>
#include <cmath>

#include "dsp/ParameterRules.h"
#include "dsp/RangeHelpers.h"
#include "dsp/StageFields.h"

namespace tonewright {

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr double kSweepDb = 24.0;
}  // namespace

WahWah::WahWah()
{
    SetFs(44100.0);
    // Stored values no valid record holds, so the defaults count as changes.
    params.enable = false;
    params.type = -1;
    params.pedal = -1.0;
    SetParameters(WahWahParameters{});
    wet.current = 0.0;
    q.current = Q(0.5);
    frequency.current = Frequency(0.5);
    Coefficients();
    gliding = false;
}

double WahWah::WetGain(double s) { return std::pow(10.0, 0.1 * s); }

void WahWah::SetParameter(int id, double v)
{
    switch (id) {
    case 0:
        if (bypass.SetEnable(params.enable, v) == SoftBypass::kStarted) x1 = x2 = y1 = y2 = 0.0;
        return;
    case 1:
        if (acceptInt(params.type, v, 0, 2)) dirty = true;
        return;
    case 2:
        if (!acceptDouble(params.pedal, v, v >= 0.0 && v <= 1.0)) return;
        dirty = true;
        SetTargets(params.pedal);
        autoThresholdDb = range(params.pedal, -6.0, -50.0);
        autoLow = std::pow(10.0, autoThresholdDb / 20.0);
        autoHigh = std::pow(10.0, (autoThresholdDb + kSweepDb) / 20.0);
        return;
    default: return;
    }
}

// The record's fields by parameter id.
constexpr auto kFields = stageFields(&WahWahParameters::enable, &WahWahParameters::type, &WahWahParameters::pedal);

double WahWah::GetParameter(int id) const { return kFields.Get(params, id); }

void WahWah::SetParameters(const WahWahParameters& p) { kFields.Apply(p, *this); }

void WahWah::SetFs(double rate)
{
    if (!acceptNewRate(fs, rate)) return;
    follower.SetHalfLives(0.001, 0.05, rate);
    glide = glideCoefficient(0.03, rate);
    bypass.SetFs(rate);
    dirty = true;
}

void WahWah::Settle()
{
    if (params.type != kAuto) {
        SetTargets(params.pedal);
        frequency.Jump();
        q.Jump();
        wet.Jump();
        Coefficients();
        dirty = false;
        gliding = false;
    }
    bypass.Settle();
}

void WahWah::SetTargets(double s)
{
    frequency.target = Frequency(s);
    q.target = Q(s);
    wet.target = WetGain(s);
}

// Band-pass with a constant 0 dB peak, from the current frequency and Q.
void WahWah::Coefficients()
{
    // Kept below half the rate so that the section stays stable at any rate.
    const double f = std::min(frequency.current, 0.499 * fs);
    const double w = 2.0 * kPi * f / fs;
    const double alpha = std::sin(w) * 0.5 / q.current;
    const double g = 1.0 / (1.0 + alpha);
    a1 = denormalGuard(2.0 * std::cos(w) * g);
    a2 = denormalGuard(-(1.0 - alpha) * g);
    b0 = denormalGuard(alpha * g);
}

inline double WahWah::Section(double x)
{
    const double y = denormalGuard(a1 * y1 + a2 * y2 + b0 * (x - x2));
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    return kDryLevel * x + wet.current * y;
}

double WahWah::AutoPosition() const
{
    const double env = follower.env;
    if (!(env >= autoLow)) return 0.0;
    if (env > autoHigh) return 1.0;
    return std::clamp((20.0 * std::log10(env) - autoThresholdDb) / kSweepDb, 0.0, 1.0);
}

void WahWah::RunAuto(double* x, int n)
{
    for (int i = 0; i < n; ++i) {
        follower.Follow(std::fabs(x[i]));
        const double s = AutoPosition();
        frequency.current = Frequency(s);
        q.current = Q(s);
        wet.current = WetGain(s);
        Coefficients();
        x[i] = Section(x[i]);
    }
}

void WahWah::RunPedal(double* x, int n)
{
    if (!gliding && dirty) {
        dirty = false;
        SetTargets(params.pedal);
        gliding = true;
    }
    if (!gliding) {
        // The section from locals: the block could alias the members. The
        // last output's term joins last, so that a sample waits for one
        // product, one sum and the guard's subtraction.
        const double c1 = a1, c2 = a2, gain = b0, level = wet.current;
        double p1 = x1, p2 = x2, q1 = y1, q2 = y2;
        for (int i = 0; i < n; ++i) {
            const double in = x[i];
            const double y = guardedSum(c1 * q1, c2 * q2 + gain * (in - p2));
            p2 = p1;
            p1 = in;
            q2 = q1;
            q1 = y;
            x[i] = kDryLevel * in + level * y;
        }
        x1 = p1, x2 = p2, y1 = q1, y2 = q2;
        return;
    }
    for (int i = 0; i < n; ++i) {
        const bool f = frequency.Step(glide);
        const bool g = q.Step(glide);
        const bool h = wet.Step(glide);
        gliding = f || g || h;
        Coefficients();
        x[i] = Section(x[i]);
    }
}

void WahWah::process(double* x, int n)
{
    bypass.Run(x, n, [&] {
        if (params.type == kAuto) {
            RunAuto(x, n);
        } else {
            RunPedal(x, n);
        }
    });
}

}  // namespace tonewright
