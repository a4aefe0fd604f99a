#pragma once
// The two sets of derived values of a dynamics stage (noise gate,
// compressor/sustainer). A change is computed into the other set at the next
// block and crossfaded in (1 ms hold, 30 ms fade) while both sets' detectors
// run side by side; a change during a fade waits for its end. Outside a fade
// both envelopes stay equal, so every fade starts from one envelope.
//
// Set must hold its envelope follower as `follower`; `compute(Set&)` fills a
// set's values from the stage's present settings.

#include <utility>

#include "dsp/BankCrossfade.h"

namespace tonewright {

template <typename Set>
class DetectorSets {
public:
    Set& Current() { return sets[fade.current]; }
    Set& Previous() { return sets[fade.other]; }
    bool Fading() const { return fade.fading; }
    void MarkChanged() { fade.dirty = true; }

    // A new rate reaches the sets through a fade like any change.
    void SetFs(double fs)
    {
        fade.SetFs(fs);
        fade.dirty = true;
    }

    // Both sets from the same settings; the second one current.
    template <typename Compute>
    void Init(Compute compute)
    {
        fade.current = 0;
        fade.other = 1;
        compute(sets[0]);
        std::swap(fade.current, fade.other);
        compute(sets[1]);
    }

    // At the start of a block: starts the fade to a pending change.
    template <typename Compute>
    void BeginBlock(Compute compute)
    {
        if (!fade.fading) Previous().follower.env = Current().follower.env;
        if (fade.BeginBlock()) compute(Current());
    }

    // Weight of the previous set for the next sample; advances the fade.
    double NextOldWeight() { return fade.NextOldWeight(); }

    // Ends a pending change or fade at once on the present settings.
    template <typename Compute>
    void Settle(Compute compute)
    {
        if (fade.dirty || fade.fading) compute(Current());
        Previous() = Current();
        fade.Settle();
    }

private:
    Set sets[2];
    BankCrossfade fade{31.0 / 30.0, 0.03};
};

}  // namespace tonewright
