#pragma once
// An impulse ready for the cabinet record: the unprocessed channels and their
// minimum-phase versions. Preparing one is the slow part of taking a new
// impulse (two minimum-phase conversions of up to 65536 samples), so an owner
// that serialises engine calls with a lock can prepare it before taking the
// lock and hand it over inside with `CabinetProcessor::SetImpulse`.

#include <string>
#include <vector>

namespace tonewright {

struct CabinetImpulse {
    // Takes up to 65536 samples (right is not read when mono; a mono
    // impulse's right channel is a copy of the left one). Refused, with a
    // "Quarrystone TWR:: ..." line and false, when there are no samples, a
    // sample is not finite, or memory runs out. A rate <= 0 means "the
    // running rate" to the cabinet.
    bool Prepare(const double* left, const double* right, int length, bool mono, double samplerate,
                 const char* name);

    int Length() const { return static_cast<int>(left.size()); }

    std::vector<double> left, right, minphaseLeft, minphaseRight;
    bool mono = true;
    double samplerate = 0.0;
    std::string name;
};

}  // namespace tonewright
