#pragma once
// The noise gate at the head of the chain. Until its processing is in, it keeps its record and passes
// the signal through.

struct NoiseGateParameters {
    bool enable = true;
    double threshold = -60.0;
    double gating = 0.5;
    double attack = 0.001;
    double release = 0.05;
};

class NoiseGate {
public:
    NoiseGate() = default;

    void SetParameter(int id, double v);
    double GetParameter(int id) const;
    void SetParameters(const NoiseGateParameters& p);
    NoiseGateParameters GetParameters() const { return params; }
    void SetFs(double rate);
    void Settle() {}
    void Reserve(int) {}
    void process_input(double*, int) {}
    void process(double*, int) {}

private:
    NoiseGateParameters params;
    double fs = 44100.0;
};
