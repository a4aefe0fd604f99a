#pragma once
// The chorus. Until its processing is in, it keeps its record and passes
// the signal through.

struct ChorusParameters {
    bool enable = true;
    int type = 1;
    double speed = 1.0;
    double depth = 0.5;
    double mix = 0.5;
    double delay = 0.01;
};

class Chorus {
public:
    Chorus() = default;

    void SetParameter(int id, double v);
    double GetParameter(int id) const;
    void SetParameters(const ChorusParameters& p);
    ChorusParameters GetParameters() const { return params; }
    void SetFs(double rate);
    void Settle() {}
    void Reserve(int) {}
    void process(double*, int) {}
    void process(double*, double*, int) {}

private:
    ChorusParameters params;
    double fs = 44100.0;
};
