#pragma once
// The recursive section behind the gain control and the circuit tone stacks:
// an analog transfer function B(s)/A(s) of order up to 4, discretised with the
// bilinear transform pre-warped at 1 kHz, run in direct form I with the
// denormal guard. Two coefficient banks with the usual hold-and-fade make
// coefficient changes click-free.
//
// The owner computes the coefficients: each block it calls BeginBlock() and,
// when that returns true, loads bank `current` (SetAnalog or SetDigital)
// before Run().

#include "BankCrossfade.h"

class AnalogSection {
public:
    static constexpr int kMaxOrder = 4;

    // Normalised coefficients: y = sum f[j] y[n-j] (j >= 1) + sum g[j] x[n-j].
    struct Coefficients {
        double g[kMaxOrder + 1] = {};
        double f[kMaxOrder + 1] = {};  // f[0] unused
    };

    // order: the largest order the owner loads; startWeight = 1 + hold/fade.
    AnalogSection(int order, double startWeight, double fadeSeconds);

    // Ignores rates that are not positive and finite, and the present rate.
    // A new rate marks the coefficients stale. Returns whether it changed.
    bool SetFs(double rate);
    double Fs() const { return fs; }

    // Marks the coefficients stale: the next block fades to new ones.
    void Invalidate() { fade.dirty = true; }
    bool Pending() const { return fade.dirty; }
    bool Fading() const { return fade.fading; }

    // Loads bank `current` from analog polynomials (ascending powers of s)
    // of order n <= order, and clears its history.
    void SetAnalog(const double* B, const double* A, int n);
    // Loads bank `current` from digital coefficients g[0..order] and
    // f[1..order] (f[0] ignored), and clears its history.
    void SetDigital(const double* g, const double* f);

    // At the start of a block: when a change is pending and no fade runs,
    // swaps the banks and starts the fade; true means "load bank current".
    bool BeginBlock() { return fade.BeginBlock(); }
    // Filters a block in place, crossfading while a fade runs.
    void Run(double* x, int n);

    // The variant without crossfade or denormal flush: a pending change
    // switches banks at once (true: load bank current), then RunPlain.
    bool SwitchNow();
    void RunPlain(double* x, int n);

    // Ends a running fade; the owner loads bank current first if Pending().
    void Settle() { fade.Settle(); }

    // Coefficients of the bank in use (for analysis).
    const Coefficients& Current() const { return banks[fade.current].c; }

    // Builds both banks at construction: load(bank) is called for bank 0,
    // then bank 1, which ends as current. The change stays pending.
    template <class Load>
    void Prime(Load&& load)
    {
        fade.current = 0;
        fade.other = 1;
        load();
        fade.current = 1;
        fade.other = 0;
        load();
        fade.dirty = true;
    }

private:
    struct Bank {
        Coefficients c;
        double x[kMaxOrder] = {};
        double y[kMaxOrder] = {};
        void ClearHistory();
    };

    template <int N>
    void RunOrder(double* x, int n);
    template <int N>
    void RunPlainOrder(double* x, int n);

    int order;
    double fs = 44100.0;
    BankCrossfade fade;
    Bank banks[2];
};
