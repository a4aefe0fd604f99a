#pragma once
// The flanger. Until its processing is in, it keeps its record and passes
// the signal through.

struct FlangerParameters {
    bool enable = true;
    int type = 1;
    double speed = 1.0;
    double depth = 0.5;
    double delay = 0.0001;
    double sweep = 0.5;
    double regeneration = 0.5;
    bool phase = true;
};

class Flanger {
public:
    Flanger() = default;

    void SetParameter(int id, double v);
    double GetParameter(int id) const;
    void SetParameters(const FlangerParameters& p);
    FlangerParameters GetParameters() const { return params; }
    void SetFs(double rate);
    void Settle() {}
    void Reserve(int) {}
    void process(double*, int) {}
    void process(double*, double*, int) {}

private:
    FlangerParameters params;
    double fs = 44100.0;
};
