#pragma once
// The phaser. Until its processing is in, it keeps its record and passes
// the signal through.

struct PhaserParameters {
    bool enable = true;
    int type = 1;
    double speed = 0.5;
    double depth = 0.5;
    double sweep = 2.0;
    double regeneration = 0.5;
    int stages = 1;
};

class Phaser {
public:
    Phaser() = default;

    void SetParameter(int id, double v);
    double GetParameter(int id) const;
    void SetParameters(const PhaserParameters& p);
    PhaserParameters GetParameters() const { return params; }
    void SetFs(double rate);
    void Settle() {}
    void Reserve(int) {}
    void process(double*, int) {}
    void process(double*, double*, int) {}

private:
    PhaserParameters params;
    double fs = 44100.0;
};
