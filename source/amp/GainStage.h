#pragma once
// One preamp stage: filter, tube, filter, with its own on/off crossfade.

#include "amp/KernelChain.h"
#include "dsp/Filter.h"
#include "dsp/SoftBypass.h"
#include "amp/Tube.h"

namespace tonewright {

struct GainStageParameters {
    bool enable = true;
    FilterParameters preFilter;
    TubeParameters tube;
    FilterParameters postFilter;
};

class GainStage {
public:
    GainStage();

    // 0 on/off, 1..5 pre filter, 6..14 tube (its indices 0..8), 15..19 post
    // filter.
    void SetParameter(int p, double v);
    double GetParameter(int p) const;
    void SetParameters(const GainStageParameters& r);
    GainStageParameters GetParameters() const { return params; }
    void SetFs(double rate);
    void Settle();
    void Reserve(int n);

    // False once the stage has faded out; its owner then skips it.
    bool IsNotBypassed() const { return bypass.running == 1; }
    void process(double* x, int n);
    // Steady: fully on and its filters and tube each steady or stopped; then
    // the stage may run as parts of a KernelChain instead of process().
    bool Steady() const;
    void AppendTo(KernelChain& chain);

private:
    GainStageParameters params;
    Filter preFilter;
    Tube tube;
    Filter postFilter;
    SoftBypass bypass;
};

}  // namespace tonewright
