#pragma once
// Four knob sections in series, one per tone knob, run in a fixed order that
// each equaliser chooses.

#include "amp/KnobSection.h"

namespace tonewright {

class FourKnobEqualiser {
public:
    enum Knob { kBass = 0, kMids = 1, kTreble = 2, kPresence = 3 };

    void SetBass(double v) { sections[at[kBass]].SetKnob(v); }
    void SetMids(double v) { sections[at[kMids]].SetKnob(v); }
    void SetTreble(double v) { sections[at[kTreble]].SetKnob(v); }
    void SetPresence(double v) { sections[at[kPresence]].SetKnob(v); }
    void SetFs(double rate);
    void process(double* x, int n);
    bool Steady() const;
    void AppendTo(KernelChain& chain);
    void Settle();
    void Reserve(int n);

protected:
    struct Band {
        Knob knob;
        int type;
        double frequency;
        double q;
        double lowDb;
        double highDb;
    };
    // The bands in the order they run.
    FourKnobEqualiser(const Band& first, const Band& second, const Band& third, const Band& fourth);

private:
    static KnobSection Make(const Band& b) { return {b.type, b.frequency, b.q, b.lowDb, b.highDb}; }

    KnobSection sections[4];
    int at[4] = {};
};

}  // namespace tonewright
