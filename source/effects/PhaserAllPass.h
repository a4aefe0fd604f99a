#pragma once
// One second-order all-pass section of the phaser: poles at a fixed radius,
// their angle swept by a control value m between the base frequency (m = 1)
// and `scale` times it (m = 2). It switches on and off through its own
// SoftBypass.

#include <cmath>

#include "dsp/DspMath.h"
#include "dsp/Glide.h"
#include "dsp/SoftBypass.h"
#include "effects/Sines.h"

namespace tonewright {

class PhaserAllPass {
public:
    PhaserAllPass();

    void SetEnable(double v);
    // Pole radius, 0 <= r < 1.
    void SetNotch(double r);
    // Base frequency, 0 < f < fs/2.
    void SetFrequency(double f);
    // Sweep ratio, >= 1; the section glides to it.
    void SetScale(double s);
    void SetFs(double rate);
    void Update();
    void Settle();

    // Filters x in place, sample i swept by m[i].
    void process(double* x, const double* m, int n);

    // The same one sample at a time, for the phaser's feedback loop: call
    // BeginBlock once a block, then Tick for each sample, and neither while
    // the section has stopped (Running() false: it then passes its input).
    void BeginBlock();
    double Tick(double x, double m)
    {
        if (gliding) {
            gliding = scale.Step(coefficient);
            a = (scale.current - 1.0) * w0;
            b = (2.0 - scale.current) * w0;
        }
        const double angle = m * a + b;
        if (angle != lastAngle) {
            lastAngle = angle;
            lastC = minusTwoR * sines::cos(angle);
        }
        const double y = Sum(x, lastC, rSquared, x1, x2, y1, y2);
        y2 = y1;
        x2 = x1;
        y1 = y;
        x1 = x;
        return bypass.Tick(y, x);
    }

    // After BeginBlock: a section that neither glides nor ramps its bypass.
    // Tick is then the plain all-pass below, which a loop may run from a
    // Kernel held in locals (Load, Step per sample, Store with the last
    // angle and cosine term in the kernel).
    bool Steady() const { return !gliding && bypass.Steady(); }
    struct Kernel {
        double a, b, minusTwoR, rSquared;
        double x1, x2, y1, y2;
        double angle, c;
        bool against = false;  // swept by 3 - m (the phaser's own use)

        // One sample with the cosine term -2r cos(m a + b) of its control
        // value m, as Tick computes it.
        double Step(double x, double term)
        {
            const double y = Sum(x, term, rSquared, x1, x2, y1, y2);
            y2 = y1;
            x2 = x1;
            y1 = y;
            x1 = x;
            return y;
        }
    };
    Kernel Load() const { return {a, b, minusTwoR, rSquared, x1, x2, y1, y2, lastAngle, lastC}; }
    void Store(const Kernel& k)
    {
        x1 = k.x1;
        x2 = k.x2;
        y1 = k.y1;
        y2 = k.y2;
        lastAngle = k.angle;
        lastC = k.c;
    }

    // The all-pass r^2 (x - y2) + c (x1 - y1) + x2 through the denormal
    // guard, grouped so that the input x, which a chain of sections waits
    // for, comes last: one multiply and one add before the guard.
    static double Sum(double x, double c, double rSquared, double x1, double x2, double y1, double y2)
    {
        return guardedSum(rSquared * x, c * (x1 - y1) + (x2 - rSquared * y2));
    }

    bool Running() const { return bypass.running != 0; }
    const SoftBypass& Bypass() const { return bypass; }
    double Frequency() const { return frequency; }

private:
    void ClearHistory();

    double y1 = 0.0, y2 = 0.0, x1 = 0.0, x2 = 0.0;
    double minusTwoR = -1.0;
    double rSquared = 0.25;
    double frequency = 1000.0;
    Glide scale{2.0, 2.0};
    double coefficient = 0.0;
    double fs = 0.0;
    double w0 = 0.0;
    double a = 0.0, b = 0.0;
    bool gliding = false;
    bool dirty = false;
    SoftBypass bypass;
    double lastAngle = 0.0;
    double lastC = 0.0;
};

}  // namespace tonewright
