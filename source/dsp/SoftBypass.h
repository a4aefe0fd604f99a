#pragma once
// Click-free on/off switch of a stage: a 20 ms linear crossfade between the
// stage's processed block and its stored input. A stage whose fade-out has
// ended is skipped entirely by its owner (running == 0).

#include "dsp/MonoBuffer.h"

namespace tonewright {

class SoftBypass {
public:
    SoftBypass() = default;

    void SetState(double v);

    // A stage's enable parameter: stores v in `enable` (acceptFlag rules)
    // and moves the ramp. kStarted means a fully stopped stage was switched
    // on: its owner then clears its memory. One switched back on during its
    // fade-out carries on without a click, so it keeps its memory.
    enum Switch { kUnchanged, kSwitched, kStarted };
    Switch SetEnable(bool& enable, double v);
    double GetState() const { return state ? 1.0 : 0.0; }
    void SetFs(double rate);

    // Ends any ramp at once: the stage is fully on or fully off. Used when an
    // owner finishes construction, so the first block plays the constructed
    // settings instead of fading in from the defaults.
    void Settle();

    // Makes room for blocks of up to n samples.
    void Reserve(int n);

    // Fully on with no ramp: process() would leave a block as it is, so the
    // dry block need not be kept.
    bool Steady() const { return running && state && !fading; }

    // The frame a switchable stage runs its block in: nothing once faded
    // out; otherwise the dry block is kept, `work` processes the block in
    // place, and the two are mixed.
    template <typename Work>
    void Run(double* x, int n, Work&& work)
    {
        if (!running || n <= 0) return;
        if (Steady()) {
            work();
            return;
        }
        senddry(x, n);
        work();
        process(x, n);
    }
    template <typename Work>
    void Run(double* l, double* r, int n, Work&& work)
    {
        if (!running || n <= 0) return;
        if (Steady()) {
            work();
            return;
        }
        senddry(l, r, n);
        work();
        process(l, r, n);
    }

    void senddry(const double* x, int n);
    void senddry(const double* l, const double* r, int n);
    void process(double* x, int n);
    void process(double* l, double* r, int n);

    // One sample of process() for stages that must run sample by sample
    // (inside a feedback loop): moves the ramp and mixes. The owner skips
    // the call while running is 0, as it skips process().
    double Tick(double processed, double dry)
    {
        const double m = NextMix();
        return m * processed + (1.0 - m) * dry;
    }

    int running = 1;
    int state = 1;
    int fading = 1;
    double fs = 44100.0;
    double step = 1.0 / 882.0;
    double mix = 1.0;
    MonoBuffer dryL;
    MonoBuffer dryR;

private:
    // Moves the ramp one sample; returns the processed share for that sample.
    double NextMix();
};

}  // namespace tonewright
