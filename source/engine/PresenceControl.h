#pragma once
// A first-order high shelf that gives the circuit tone stacks a presence
// knob.

#include "KnobSection.h"

class PresenceControl {
public:
    PresenceControl() = default;

    void SetPresence(double v) { presence.SetKnob(v); }
    void SetFs(double rate) { presence.SetFs(rate); }
    void process(double* x, int n) { presence.process(x, n); }
    void Settle() { presence.Settle(); }
    void Reserve(int n) { presence.Reserve(n); }

    const Filter& Section() const { return presence.Section(); }

private:
    KnobSection presence{Filter::kHighShelf1, 3000.0, 1.0, -12.0, 3.0};
};
