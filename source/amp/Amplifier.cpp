#include "amp/Amplifier.h"

#include "amp/KernelChain.h"

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
    KernelChain chain;
    if (preOn) preamp.AppendTo(chain);
    if (postOn) poweramp.AppendTo(chain);
    if (chain.Overflowed()) {
        preamp.process(x, n);
        poweramp.process(x, n);
        return;
    }
    chain.Run(x, n);
}

}  // namespace tonewright
