#pragma once
// The wah pedal. Until its processing is in, it keeps its record and passes
// the signal through.

struct WahWahParameters {
    bool enable = true;
    int type = 0;
    double pedal = 0.5;
};

class WahWah {
public:
    WahWah() = default;

    void SetParameter(int id, double v);
    double GetParameter(int id) const;
    void SetParameters(const WahWahParameters& p);
    WahWahParameters GetParameters() const { return params; }
    void SetFs(double rate);
    void Settle() {}
    void Reserve(int) {}
    void process(double*, int) {}

private:
    WahWahParameters params;
    double fs = 44100.0;
};
