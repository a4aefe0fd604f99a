#pragma once
// The cabinet part of a sound: its settings and the impulse. The impulse is
// an immutable `CabinetImpulse` shared by pointer, so copying a record copies
// a handful of values and a pointer, never samples.
//
// Threads. A plain value with no synchronisation of its own; its owner keeps
// writers and readers apart. Copies may go to other threads freely: what they
// share never changes.

#include <memory>
#include <vector>

#include "cabinet/CabinetImpulse.h"
#include "cabinet/DirectBox.h"

namespace tonewright {

class CabinetProcessorParameters {
public:
    // Holds the shared 16-sample unit impulse named "None".
    CabinetProcessorParameters();

    // The impulse; never null.
    const std::shared_ptr<const CabinetImpulse>& Impulse() const { return impulse; }
    // Takes an impulse made elsewhere; null changes nothing.
    void SetImpulse(std::shared_ptr<const CabinetImpulse> made);
    // Makes (or finds) the impulse of these samples and takes it, as a file
    // or preset reader does; false, changing nothing, when it is refused
    // (see CabinetImpulse::Make). Slow: off the audio thread and the engine
    // lock.
    bool SetImpulse(const double* left, const double* right, int length, bool mono, double samplerate,
                    const char* name);

    // The impulse's raw samples and facts.
    const std::vector<double>& ImpulseLeft() const { return impulse->Left(); }
    const std::vector<double>& ImpulseRight() const { return impulse->Right(); }
    int Length() const { return impulse->Length(); }
    bool Mono() const { return impulse->Mono(); }
    double SampleRate() const { return impulse->SampleRate(); }
    const char* GetName() const { return impulse->Name(); }

    bool enable = true;
    int windowsize = 8192;
    bool minphase = false;
    bool forcedmono = false;
    DirectBoxParameters dibox;

private:
    std::shared_ptr<const CabinetImpulse> impulse;
};

}  // namespace tonewright
