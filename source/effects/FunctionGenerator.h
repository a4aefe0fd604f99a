#pragma once
// Low-frequency oscillator whose wave morphs from a sine-like wave (shape 0)
// through a triangle (0.5) and trapezoids to a near-square wave (towards 1).
// Times are in seconds; the position within the cycle survives changes of
// frequency, so the output stays continuous.

namespace tonewright {

class FunctionGenerator {
public:
    FunctionGenerator();

    // Setters refuse values that are not finite or outside their range:
    // frequency >= 0 (0 gives a constant `offset`), 0 < duty < 1,
    // 0 <= shape < 1, fs > 0.
    void SetAmplitude(double v);
    void SetOffset(double v);
    void SetFrequency(double v);
    void SetDutyCycle(double v);
    void SetWaveShape(double v);
    void SetPhase(double v);
    void SetFs(double v);

    void Update();
    // The next Output is taken at time 0.
    void Reset();

    // Advances one sample and writes the value at time + phase.
    void Output(double* y);
    // Advances one sample and writes the value at time into a and at
    // time + phase into b.
    void Output(double* a, double* b);

    // Advances n samples and multiplies x by the values at time + phase, as
    // Output and a product for each sample would.
    void Modulate(double* x, int n);
    // The same with a multiplied by the values at time and b by those at
    // time + phase.
    void Modulate(double* a, double* b, int n);
    // The wave at t seconds.
    double Function(double t) const;

    double Time() const { return time; }
    double Period() const { return period; }

private:
    void Advance();
    // y[i] = Function(t[i]) for n <= kRun times.
    static constexpr int kRun = 64;
    void Values(const double* t, double* y, int n) const;

    double amplitude = 1.0;
    double offset = 0.0;
    double frequency = 1000.0;
    double phase = 0.0;
    double duty = 0.5;
    double shape = 0.0;
    double fs = 44100.0;

    double time = 0.0;
    double phaseTime = 0.0;
    double dt = 1.0 / 44100.0;
    double period = 0.001;

    double t1 = 0, t2 = 0, t3 = 0, t4 = 0;
    double k1 = 0, k2 = 0, c2 = 0, c3 = 0;
    double halfPi = 1.57079632679489661923;
    double linWeight = 0.0;
    double sinWeight = 1.0;
};

}  // namespace tonewright
