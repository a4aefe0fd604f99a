#pragma once
// The recursive section behind the gain control and the circuit tone stacks:
// an analog transfer function B(s)/A(s) of order up to 4, discretised with the
// bilinear transform pre-warped at 1 kHz, run in direct form I with the
// denormal guard. Two coefficient banks with the usual hold-and-fade make
// coefficient changes click-free.
//
// The owner computes the coefficients: `load` (a callable passed to Process,
// ProcessPlain, Settle and Prime) fills bank `current` through SetAnalog or
// SetDigital whenever the section needs it.

#include <utility>

#include "dsp/BankCrossfade.h"
#include "dsp/DspMath.h"

namespace tonewright {

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
    bool Fading() const { return fade.fading; }

    // Loads bank `current` from analog polynomials (ascending powers of s)
    // of order n <= order, and clears its history.
    void SetAnalog(const double* B, const double* A, int n);
    // Loads bank `current` from digital coefficients g[0..order] and
    // f[1..order] (f[0] ignored), and clears its history.
    void SetDigital(const double* g, const double* f);
    // As SetDigital, for coefficients made for designRate: at that rate they
    // are loaded as they are; at any other the section they describe is
    // mapped back onto its analog prototype (the inverse of the transform
    // SetAnalog uses at designRate) and that is discretised at the running
    // rate, so the response stays where it was designed.
    void SetDigitalFor(double designRate, const double* g, const double* f);

    // Filters a block in place. A pending change starts a fade when none
    // runs: the banks swap roles and load() fills the new one.
    template <class Load>
    void Process(double* x, int n, Load&& load)
    {
        if (n <= 0) return;
        if (fade.BeginBlock()) load();
        Run<true>(x, n);
    }

    // The variant without crossfade or denormal flush: a pending change
    // switches banks at once.
    template <class Load>
    void ProcessPlain(double* x, int n, Load&& load)
    {
        if (n <= 0) return;
        if (fade.dirty) {
            std::swap(fade.current, fade.other);
            fade.Settle();
            load();
        }
        Run<false>(x, n);
    }

    // Ends a pending or running fade: bank `current` plays the present
    // settings alone from the next block on.
    template <class Load>
    void Settle(Load&& load)
    {
        if (fade.dirty) load();
        fade.Settle();
    }

    // One bank's coefficients and history of order N by value: a loop that
    // holds it in a local keeps it in registers (the block pointer could
    // alias the bank's members otherwise). Guard: the denormal flush.
    template <int N, bool Guard = true>
    struct Kernel {
        double g[N + 1], f[N + 1], xh[N], yh[N];

        double Step(double in)
        {
            // The newest output enters last: it is the recursion's critical path.
            double acc = g[0] * in;
            for (int j = N - 1; j >= 0; --j) acc += g[j + 1] * xh[j];
            for (int j = N - 1; j >= 1; --j) acc += f[j + 1] * yh[j];
            const double y = Guard ? guardedSum(f[1] * yh[0], acc) : acc + f[1] * yh[0];
            for (int j = N - 1; j > 0; --j) {
                xh[j] = xh[j - 1];
                yh[j] = yh[j - 1];
            }
            xh[0] = in;
            yh[0] = y;
            return y;
        }
    };

    // Steady: one bank and nothing pending; such a section may run as a
    // Kernel of the order the bank in use was loaded with (Load, Step per
    // sample, Store) instead of Process. The terms above that order are
    // zero, so the shorter kernel computes the same values.
    bool Steady() const { return !fade.fading && !fade.dirty; }
    int Order() const { return banks[fade.current].loaded; }
    template <int N>
    Kernel<N> Load() const
    {
        return Take<N, true>(banks[fade.current]);
    }
    template <int N>
    void Store(const Kernel<N>& k)
    {
        Put(k, banks[fade.current]);
    }

    // Coefficients of the bank in use (for analysis).
    const Coefficients& Current() const { return banks[fade.current].c; }

    // Builds both banks at construction: load() runs for bank 0,
    // then for bank 1, which ends in use. A change stays pending.
    template <class Load>
    void Prime(Load&& load)
    {
        fade.Prime(load);
        fade.dirty = true;
    }

private:
    struct Bank {
        Coefficients c;
        double x[kMaxOrder] = {};
        double y[kMaxOrder] = {};
        // The order of the coefficients loaded; those above it are zero.
        int loaded = kMaxOrder;
        void ClearHistory();
    };

    template <int N, bool Guard>
    static Kernel<N, Guard> Take(const Bank& b)
    {
        Kernel<N, Guard> k;
        for (int j = 0; j <= N; ++j) {
            k.g[j] = b.c.g[j];
            k.f[j] = b.c.f[j];
        }
        for (int j = 0; j < N; ++j) {
            k.xh[j] = b.x[j];
            k.yh[j] = b.y[j];
        }
        return k;
    }
    template <int N, bool Guard>
    static void Put(const Kernel<N, Guard>& k, Bank& b)
    {
        for (int j = 0; j < N; ++j) {
            b.x[j] = k.xh[j];
            b.y[j] = k.yh[j];
        }
    }

    // Guard: the crossfade and the denormal flush; without it, bank
    // `current` alone as it is.
    template <bool Guard>
    void Run(double* x, int n);
    template <int N, bool Guard>
    void RunOrder(double* x, int n);

    int order;
    double fs = 44100.0;
    BankCrossfade fade;
    Bank banks[2];
};

}  // namespace tonewright
