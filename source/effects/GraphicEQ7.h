#pragma once
// The seven-band graphic equaliser with a parametric mid band. Until its processing is in, it keeps its record and passes
// the signal through.

struct GraphicEQ7Parameters {
    bool enable = true;
    double band1 = 0.0;
    double band2 = 0.0;
    double band3 = 0.0;
    double band4 = 0.0;
    double band5 = 0.0;
    double band6 = 0.0;
    double band7 = 0.0;
    double parametric_frequency = 1000.0;
    double parametric_q = 0.7071;
    double parametric_level = 0.0;
    double level = 0.0;
    int type = 1;
};

class GraphicEQ7 {
public:
    GraphicEQ7() = default;

    void SetParameter(int id, double v);
    double GetParameter(int id) const;
    void SetParameters(const GraphicEQ7Parameters& p);
    GraphicEQ7Parameters GetParameters() const { return params; }
    void SetFs(double rate);
    void Settle() {}
    void Reserve(int) {}
    void process(double*, int) {}

private:
    GraphicEQ7Parameters params;
    double fs = 44100.0;
};
