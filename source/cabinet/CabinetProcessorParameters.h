#pragma once
// The cabinet part of a sound: its settings and the impulse itself, which the
// record owns. Copies are always deep.

#include <string>
#include <vector>

#include "cabinet/DirectBox.h"

namespace tonewright {

class CabinetProcessorParameters {
public:
    // The 16-sample arrays a record starts with stay in use for any impulse
    // of 16 samples or fewer.
    static constexpr int kInitialLength = 16;

    CabinetProcessorParameters();
    CabinetProcessorParameters(const CabinetProcessorParameters& other);
    CabinetProcessorParameters& operator=(const CabinetProcessorParameters& other);

    void SetName(const char* s);
    const char* GetName() const { return name.c_str(); }

    // Sets the number of valid samples; returns false (changing nothing) for
    // n below 1. New arrays are obtained only when they must grow or when
    // leaving the initial 16-sample arrays.
    bool SetImpulseLength(int n);

    bool enable = true;
    std::vector<double> impulse_left;
    std::vector<double> impulse_right;
    std::vector<double> minphase_left;
    std::vector<double> minphase_right;
    int length = 0;
    bool mono = true;
    double samplerate = 44100.0;
    int windowsize = 8192;
    bool minphase = false;
    bool forcedmono = false;
    DirectBoxParameters dibox;

private:
    std::string name;
};

}  // namespace tonewright
