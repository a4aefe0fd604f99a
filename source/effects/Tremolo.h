#pragma once
// The tremolo. Until its processing is in, it keeps its record and passes
// the signal through.

struct TremoloParameters {
    bool enable = true;
    int type = 1;
    double speed = 1.0;
    double depth = 0.5;
    double waveform = 0.0;
};

class Tremolo {
public:
    Tremolo() = default;

    void SetParameter(int id, double v);
    double GetParameter(int id) const;
    void SetParameters(const TremoloParameters& p);
    TremoloParameters GetParameters() const { return params; }
    void SetFs(double rate);
    void Settle() {}
    void Reserve(int) {}
    void process(double*, int) {}
    void process(double*, double*, int) {}

private:
    TremoloParameters params;
    double fs = 44100.0;
};
