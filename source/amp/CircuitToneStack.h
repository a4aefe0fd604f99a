#pragma once
// Common body of the tone-stack circuit models: knob variables after their
// taper, the analog section with its two banks (1 ms hold, 30 ms fade), and
// the processing. A subclass supplies the tapers and Update(), which loads
// bank `current` from its circuit's polynomials.

#include "amp/AnalogSection.h"
#include "amp/KernelChain.h"

namespace tonewright {

class CircuitToneStack {
public:
    virtual ~CircuitToneStack() = default;

    // Computes bank `current` from the knob variables and the rate, and
    // clears its history.
    virtual void Update() = 0;

    void SetFs(double rate) { section.SetFs(rate); }
    double Fs() const { return section.Fs(); }
    void process(double* x, int n);
    // Steady: nothing fading or pending; then the stack may run as a part
    // of a KernelChain instead of process().
    bool Steady() const { return section.Steady(); }
    void AppendTo(KernelChain& chain) { chain.Add(section); }
    // Ends a pending or running fade: the next block plays the present
    // settings alone.
    void Settle();

    // Normalised coefficients of the bank in use (for analysis).
    const AnalogSection::Coefficients& GetCoefficients() const { return section.Current(); }
    bool Fading() const { return section.Fading(); }

protected:
    explicit CircuitToneStack(int order);
    CircuitToneStack(const CircuitToneStack&) = default;
    CircuitToneStack& operator=(const CircuitToneStack&) = default;

    // Fills both banks; each subclass calls it at the end of its constructor.
    void Prime();
    // Stores variable = tapered when the knob is finite and within 0..1 and
    // the result differs; marks the coefficients stale.
    void SetVariable(double& variable, double knob, double tapered);
    // The filter without crossfade or denormal flush.
    void processWithoutFade(double* x, int n);

    AnalogSection section;
};

}  // namespace tonewright
