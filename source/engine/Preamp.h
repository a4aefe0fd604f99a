#pragma once
// The preamplifier: four gain stages with a gain control and a tone control
// placed anywhere along them. Until the amplifier models are in, it keeps
// its record and passes the signal through.

#include "GainControl.h"
#include "GainStage.h"
#include "ToneControl.h"

struct PreampParameters {
    bool enable = true;
    GainStageParameters stages[4];
    GainControlParameters gainControl;
    int gainControlLocation = 1;
    ToneControlParameters toneControl;
    int toneControlLocation = 4;
    char name[256] = "Default";
};

class Preamp {
public:
    Preamp();

    void SetParameter(int index, double value);
    double GetParameter(int index) const;
    void SetParameters(const PreampParameters& p);
    PreampParameters GetParameters() const { return params; }
    void SetPreamp(const PreampParameters& p);
    void SetFs(double rate);
    void Settle() {}
    void Reserve(int) {}
    void process(double* x, int n);

private:
    PreampParameters params;
    double fs = 44100.0;
};
