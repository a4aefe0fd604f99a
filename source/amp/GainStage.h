#pragma once
// One preamp stage: filter, tube, filter, with its own on/off crossfade.

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
    // RunSteady processes a block (or a piece of one) as process() would.
    bool Steady() const;
    void RunSteady(double* x, int n);

private:
    GainStageParameters params;
    Filter preFilter;
    Tube tube;
    Filter postFilter;
    SoftBypass bypass;
};

}  // namespace tonewright
