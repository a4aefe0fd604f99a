#include "amp/Amplifier.h"

#include <algorithm>

#include "amp/Pieces.h"

namespace tonewright {

void runAmplifier(Preamp& preamp, PowerAmp& poweramp, double* x, int n)
{
    if (n <= 0) return;
    // A stage that has faded out passes blocks untouched.
    const bool preOn = preamp.Bypass().running;
    const bool postOn = poweramp.Bypass().running;
    if ((preOn && !preamp.Steady()) || (postOn && !poweramp.Steady())) {
        preamp.process(x, n);
        poweramp.process(x, n);
        return;
    }
    // The power amp works one piece behind the preamp, so that neither
    // waits for the other within a piece.
    int done = 0;
    for (int i = 0; i < n; i += kPiece) {
        const int m = std::min(kPiece, n - i);
        if (preOn) preamp.RunSteady(x + i, m);
        if (postOn && i > 0) poweramp.RunSteady(x + done, i - done);
        done = i;
    }
    if (postOn) poweramp.RunSteady(x + done, n - done);
}

}  // namespace tonewright
