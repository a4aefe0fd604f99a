#pragma once
// The reverb selector. Until its processing is in, it keeps its record and passes
// the signal through.

struct ReverbParameters {
    bool enable = true;
    int type = 2;
    double level = -6.0;
};

class Reverb {
public:
    Reverb() = default;

    void SetParameter(int id, double v);
    double GetParameter(int id) const;
    void SetParameters(const ReverbParameters& p);
    ReverbParameters GetParameters() const { return params; }
    void SetFs(double rate);
    void Settle() {}
    void Reserve(int) {}
    void process(double*, double*, int) {}

private:
    ReverbParameters params;
    double fs = 44100.0;
};
