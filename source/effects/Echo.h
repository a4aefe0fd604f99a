#pragma once
// The echo. Until its processing is in, it keeps its record and passes
// the signal through.

struct EchoParameters {
    bool enable = true;
    int type = 1;
    double delay = 0.5;
    double feedback = 0.5;
    double directlevel = 0.0;
    double delaylevel = 0.0;
    double style = 1.0;
    bool filter_input = true;
    bool tails_on = true;
};

class Echo {
public:
    Echo() = default;

    void SetParameter(int id, double v);
    double GetParameter(int id) const;
    void SetParameters(const EchoParameters& p);
    EchoParameters GetParameters() const { return params; }
    void SetFs(double rate);
    void Settle() {}
    void Reserve(int) {}
    void process(double*, int) {}
    void process(double*, double*, int) {}

private:
    EchoParameters params;
    double fs = 44100.0;
};
