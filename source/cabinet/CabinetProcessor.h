#pragma once
// The speaker cabinet: mono in, stereo out. Until the convolver is in, it
// keeps its record and impulse and copies its input to both outputs.

#include "CabinetProcessorParameters.h"

class CabinetProcessor {
public:
    CabinetProcessor();

    void SetParameter(int id, double v);
    double GetParameter(int id) const;
    void SetParameters(const CabinetProcessorParameters* p);
    void GetParameters(CabinetProcessorParameters* out) const { *out = record; }
    // Copies the settings only (no impulse arrays, no name): cheap enough for
    // the audio thread, which applies parameter changes at block start.
    void GetSettings(CabinetProcessorParameters* out) const;
    void SetImpulse(const double* left, const double* right, int length, bool mono, double samplerate,
                    const char* name);
    void SetFs(double rate);
    void Settle() {}
    // Returns once the latest impulse or setting change has been applied.
    void WaitForRebuild() {}
    void Reserve(int) {}
    void process(double* in, double* outL, double* outR, int n);

private:
    CabinetProcessorParameters record;
    double fs = 44100.0;
};
