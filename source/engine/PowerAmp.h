#pragma once
// The power amp: single-ended or push-pull output tubes. Until the amplifier
// models are in, it keeps its record and passes the signal through.

struct PowerAmpParameters {
    bool enable = true;
    int type = 1;
    double drive = 1.0;
    double bias = 0.5;
    double dynamics = 0.5;
};

class PowerAmp {
public:
    PowerAmp() = default;

    void SetParameter(int index, double v);
    double GetParameter(int index) const;
    void SetParameters(const PowerAmpParameters& p);
    PowerAmpParameters GetParameters() const { return params; }
    void SetFs(double rate);
    void Settle() {}
    void Reserve(int) {}
    void process(double* x, int n);

private:
    PowerAmpParameters params;
    double fs = 44100.0;
};
