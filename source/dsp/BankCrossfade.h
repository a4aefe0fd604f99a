#pragma once
// Bookkeeping of the two-bank scheme that makes coefficient changes click-free:
// a change marks the stage dirty; the next block swaps the banks' roles,
// computes the new bank from cleared history and fades from the old bank to
// it. The old bank's weight starts slightly above 1 (a hold of hold/fade of
// the fade time) and falls linearly; a change during a fade waits for its end.

#include <algorithm>

namespace tonewright {

class BankCrossfade {
public:
    // startWeight = 1 + hold / fade, e.g. 31/30 for 1 ms + 30 ms.
    BankCrossfade(double startWeight, double fadeSeconds)
        : start(startWeight), seconds(fadeSeconds)
    {
    }

    void SetFs(double fs) { step = 1.0 / (seconds * fs); }

    // At the start of a block: when a change is pending and no fade runs,
    // swaps the banks and starts the fade. Returns true when the caller must
    // compute bank `current` afresh.
    bool BeginBlock()
    {
        if (fading || !dirty) return false;
        std::swap(current, other);
        fading = true;
        dirty = false;
        position = start;
        return true;
    }

    // Fills both banks at construction: load() computes bank `current`; it
    // runs for bank 0, then for bank 1, which ends in use.
    template <class Load>
    void Prime(Load&& load)
    {
        current = 0;
        other = 1;
        load();
        current = 1;
        other = 0;
        load();
    }

    // Weight of the old bank for the next sample; advances the fade.
    double NextOldWeight()
    {
        const double w = std::min(1.0, position);
        position -= step;
        if (position < 0.0) {
            position = 0.0;
            fading = false;
        }
        return w;
    }

    // Drops a pending change's fade: the caller has computed bank `current`
    // directly, so the next block plays it at once.
    void Settle()
    {
        dirty = false;
        fading = false;
        position = 0.0;
    }

    int current = 0;
    int other = 1;
    bool fading = false;
    bool dirty = true;
    double position = 0.0;
    double step = 1.0 / (0.03 * 44100.0);

private:
    double start;
    double seconds;
};

}  // namespace tonewright
