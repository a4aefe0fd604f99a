#pragma once
// The preamp's gain potentiometer in one of six circuit types. Each type is
// an analog transfer function of w = wiper^2, discretised at the running
// rate; a change of wiper, type or rate fades between two coefficient banks
// (1 ms hold, 20 ms fade).

#include "amp/AnalogSection.h"
#include "amp/KernelChain.h"

namespace tonewright {

struct GainControlParameters {
    int type = 0;
    double wiper = 0.5;  // 0 .. 1; values outside are refused
};

class GainControl {
public:
    static constexpr int kTypes = 6;

    GainControl();

    // 0 type (floor(v + 0.5) in 0..5; the same type again still fades),
    // 1 wiper (0..1); anything else is ignored.
    void SetParameter(int index, double v);
    double GetParameter(int index) const;
    void SetParameters(const GainControlParameters& r);
    GainControlParameters GetParameters() const { return {type, wiper}; }
    void SetFs(double rate);
    // Computes bank `current` for the present type, wiper and rate, and
    // clears its history.
    void Update();
    // Ends a pending or running fade at once.
    void Settle();
    void Reserve(int) {}

    void process(double* x, int n);
    // Steady: nothing fading or pending; then the control may run as a part
    // of a KernelChain instead of process().
    bool Steady() const { return section.Steady(); }
    void AppendTo(KernelChain& chain) { chain.Add(section); }
    // The same filter without crossfade or denormal flush.
    void process_iphone(double* x, int n);

    // Normalised coefficients of the bank in use (for analysis).
    const AnalogSection::Coefficients& GetCoefficients() const { return section.Current(); }
    // Order of the transfer function of a type (1..3), 0 for no type.
    static int Order(int type);

private:
    int type = -1;
    double wiper = -1.0;
    double w = 1.0;
    AnalogSection section{3, 1.05, 0.02};
};

}  // namespace tonewright
