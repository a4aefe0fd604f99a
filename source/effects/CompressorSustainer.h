#pragma once
// The compressor/sustainer. Until its processing is in, it keeps its record and passes
// the signal through.

struct CompressorSustainerParameters {
    bool enable = true;
    int type = 1;
    double amount = 0.5;
    double attack = 0.001;
    double release = 0.25;
};

class CompressorSustainer {
public:
    CompressorSustainer() = default;

    void SetParameter(int id, double v);
    double GetParameter(int id) const;
    void SetParameters(const CompressorSustainerParameters& p);
    CompressorSustainerParameters GetParameters() const { return params; }
    void SetFs(double rate);
    void Settle() {}
    void Reserve(int) {}
    void process(double*, int) {}

private:
    CompressorSustainerParameters params;
    double fs = 44100.0;
};
