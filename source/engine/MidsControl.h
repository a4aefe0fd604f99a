#pragma once
// A mid peak added after a tone stack that has no mids knob of its own.

#include "KnobSection.h"

class MidsControl {
public:
    MidsControl() = default;

    void SetMids(double v) { mids.SetKnob(v); }
    void SetFs(double rate) { mids.SetFs(rate); }
    void process(double* x, int n) { mids.process(x, n); }
    void Settle() { mids.Settle(); }
    void Reserve(int n) { mids.Reserve(n); }

    const Filter& Section() const { return mids.Section(); }

private:
    KnobSection mids{Filter::kPeak, 900.0, 1.5, -12.0, 3.0};
};
