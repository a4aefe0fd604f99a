#include "effects/FunctionGenerator.h"

#include <algorithm>
#include <cmath>

#include "effects/Modulation.h"
#include "effects/Sines.h"

namespace tonewright {

FunctionGenerator::FunctionGenerator() { Update(); }

void FunctionGenerator::SetAmplitude(double v)
{
    if (std::isfinite(v)) amplitude = v;
}

void FunctionGenerator::SetOffset(double v)
{
    if (std::isfinite(v)) offset = v;
}

void FunctionGenerator::SetFrequency(double v)
{
    if (!std::isfinite(v) || v < 0.0) return;
    frequency = v;
    Update();
}

void FunctionGenerator::SetDutyCycle(double v)
{
    if (!(v > 0.0 && v < 1.0)) return;
    duty = v;
    Update();
}

void FunctionGenerator::SetWaveShape(double v)
{
    if (!(v >= 0.0 && v < 1.0)) return;
    shape = v;
    Update();
}

void FunctionGenerator::SetPhase(double v)
{
    if (!std::isfinite(v)) return;
    phase = v;
    Update();
}

void FunctionGenerator::SetFs(double v)
{
    if (!(v > 0.0) || !std::isfinite(v)) return;
    fs = v;
    Update();
}

void FunctionGenerator::Update()
{
    const double ratio = time / period;
    dt = 1.0 / fs;
    period = frequency > 0.0 ? 1.0 / frequency : 1.0;

    const double d = duty;
    const double s = shape;
    const double T = period;
    if (s < 0.5) {
        t1 = d * T / 2.0;
        t2 = (1.0 - d / 2.0) * T;
        k1 = 2.0 / (d * T);
        k2 = -2.0 / ((1.0 - d) * T);
        c2 = 1.0 / (1.0 - d);
        c3 = -2.0 / d;
        linWeight = 2.0 * s;
        sinWeight = 1.0 - 2.0 * s;
    } else {
        const double q = 2.0 - 2.0 * s;
        t1 = q * d * T / 2.0;
        t2 = d * T * (1.0 - q / 2.0);
        t3 = (q + d - 1.5 * q * d) * T;
        t4 = (1.0 - q * d / 2.0) * T;
        k1 = 2.0 / (q * d * T);
        k2 = -2.0 / (q * (1.0 - d) * T);
        c2 = 1.0 - (q - 2.0) * d / (q * (1.0 - d));
        c3 = -2.0 / (q * d);
    }
    time = ratio * T;
    phaseTime = phase * T;
}

void FunctionGenerator::Reset() { time = -dt; }

double FunctionGenerator::Function(double t) const
{
    if (frequency == 0.0) return offset;
    t = wrapInto(t, period);
    double y;
    if (shape < 0.5) {
        double u;
        if (t < t1) u = k1 * t;
        else if (t < t2) u = k2 * t + c2;
        else u = k1 * t + c3;
        y = sinWeight * sines::sin(u * halfPi) + linWeight * u;
    } else {
        if (t < t1) y = k1 * t;
        else if (t < t2) y = 1.0;
        else if (t < t3) y = k2 * t + c2;
        else if (t < t4) y = -1.0;
        else y = k1 * t + c3;
    }
    return amplitude * y + offset;
}

void FunctionGenerator::Values(const double* t, double* y, int n) const
{
    if (frequency == 0.0 || shape >= 0.5) {
        for (int i = 0; i < n; ++i) y[i] = Function(t[i]);
        return;
    }
    // The bent triangle: its sines in one batch.
    double u[kRun];
    for (int i = 0; i < n; ++i) {
        const double ti = wrapInto(t[i], period);
        if (ti < t1) u[i] = k1 * ti;
        else if (ti < t2) u[i] = k2 * ti + c2;
        else u[i] = k1 * ti + c3;
        y[i] = u[i] * halfPi;
    }
    // Slow waves are turned from a run's first angle (the wave is continuous
    // and its angle moves at most max(|k1|, |k2|) pi/2 a second); faster
    // ones would only pay for the check.
    if ((n - 1) * dt * std::max(std::fabs(k1), std::fabs(k2)) * halfPi <= sines::kNear) sines::sinCosNear(y, y, nullptr, n);
    else sines::sin(y, y, n);
    for (int i = 0; i < n; ++i) y[i] = amplitude * (sinWeight * y[i] + linWeight * u[i]) + offset;
}

void FunctionGenerator::Modulate(double* x, int n)
{
    double t[kRun], y[kRun];
    for (int start = 0; start < n; start += kRun) {
        const int length = std::min(kRun, n - start);
        for (int i = 0; i < length; ++i) {
            Advance();
            t[i] = time + phaseTime;
        }
        Values(t, y, length);
        for (int i = 0; i < length; ++i) x[start + i] *= y[i];
    }
}

void FunctionGenerator::Modulate(double* a, double* b, int n)
{
    double t[kRun], shifted[kRun], ya[kRun], yb[kRun];
    for (int start = 0; start < n; start += kRun) {
        const int length = std::min(kRun, n - start);
        for (int i = 0; i < length; ++i) {
            Advance();
            t[i] = time;
            shifted[i] = time + phaseTime;
        }
        Values(t, ya, length);
        Values(shifted, yb, length);
        for (int i = 0; i < length; ++i) {
            a[start + i] *= ya[i];
            b[start + i] *= yb[i];
        }
    }
}

void FunctionGenerator::Advance()
{
    time += dt;
    if (time >= period) time = wrapInto(time, period);
}

void FunctionGenerator::Output(double* y)
{
    Advance();
    *y = Function(time + phaseTime);
}

void FunctionGenerator::Output(double* a, double* b)
{
    Advance();
    *a = Function(time);
    *b = Function(time + phaseTime);
}

}  // namespace tonewright
