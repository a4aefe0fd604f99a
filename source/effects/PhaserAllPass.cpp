#include "effects/PhaserAllPass.h"

#include <limits>

namespace tonewright {

namespace {
constexpr double kPi = 3.14159265358979323846;
}

PhaserAllPass::PhaserAllPass()
{
    SetNotch(0.5);
    SetFs(44100.0);
    Update();
}

void PhaserAllPass::SetEnable(double v)
{
    if (std::isnan(v)) return;
    if (v >= 0.5) {
        // Only a section that has fully stopped starts from cleared history.
        if (!bypass.running) ClearHistory();
        bypass.SetState(1.0);
    } else {
        bypass.SetState(0.0);
    }
}

void PhaserAllPass::SetNotch(double r)
{
    if (!(r >= 0.0 && r < 1.0)) return;
    minusTwoR = -2.0 * r;
    rSquared = r * r;
    lastAngle = std::numeric_limits<double>::quiet_NaN();  // recompute the cosine term
}

void PhaserAllPass::SetFrequency(double f)
{
    if (!(f > 0.0 && f < 0.5 * fs)) return;
    frequency = f;
    dirty = true;
}

void PhaserAllPass::SetScale(double s)
{
    if (!(s >= 1.0) || !std::isfinite(s)) return;
    scale.target = s;
    dirty = true;
}

void PhaserAllPass::SetFs(double rate)
{
    if (!(rate > 0.0) || !std::isfinite(rate)) return;
    if (frequency >= 0.5 * rate) frequency = 0.25 * rate;
    fs = rate;
    bypass.SetFs(rate);
    coefficient = glideCoefficient(0.03, rate);
    dirty = true;
}

void PhaserAllPass::Update() { w0 = 2.0 * kPi * frequency / fs; }

void PhaserAllPass::Settle()
{
    Update();
    scale.Jump();
    a = (scale.current - 1.0) * w0;
    b = (2.0 - scale.current) * w0;
    gliding = false;
    dirty = false;
    bypass.Settle();
}

void PhaserAllPass::BeginBlock()
{
    if (beginGlide(gliding, dirty)) Update();
}

void PhaserAllPass::process(double* x, const double* m, int n)
{
    if (!bypass.running) return;
    BeginBlock();
    for (int i = 0; i < n; ++i) x[i] = Tick(x[i], m[i]);
}

void PhaserAllPass::ClearHistory() { y1 = y2 = x1 = x2 = 0.0; }

}  // namespace tonewright
