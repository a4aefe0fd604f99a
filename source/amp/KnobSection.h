#pragma once
// One tone knob acting on one Filter section: the knob (0..1) sets the
// section's level in dB through limitrange(knob, lowDb, highDb). The section
// itself makes level changes click-free.

#include "amp/KernelChain.h"
#include "dsp/Filter.h"

namespace tonewright {

class KnobSection {
public:
    // The section starts settled with its knob at 0.5.
    KnobSection(int type, double frequency, double q, double lowDb, double highDb);

    // Non-finite knobs are refused; others map through limitrange.
    void SetKnob(double v);
    void SetFs(double rate) { section.SetFs(rate); }
    void process(double* x, int n) { section.process(x, n); }
    // The section as a cascade member.
    Filter* Section() { return &section; }
    // Steady (or stopped): the section may run in a KernelChain.
    bool Steady() const { return section.Steady() || section.Stopped(); }
    void AppendTo(KernelChain& chain) { chain.Add(section); }
    void Settle() { section.Settle(); }
    void Reserve(int n) { section.Reserve(n); }

private:
    Filter section;
    double low;
    double high;
};

}  // namespace tonewright
