#pragma once
// Steady parts of the amplifier in series, each given as the kernel it runs
// on one sample, run over a block in one loop. Each part works a sample or
// two behind the part before it, so that within an iteration no part waits
// for another: the chains that every part carries from one sample to the next
// (a tube's loop, a recursive filter) all proceed at once, and a block costs
// about what its slowest chain costs instead of the sum of all of them.

#include <cstdint>

#include "amp/AnalogSection.h"
#include "amp/Tube.h"
#include "dsp/DspMath.h"
#include "dsp/Filter.h"
#include "dsp/WideVectors.h"

#ifdef TONEWRIGHT_X86_VECTORS
#include <emmintrin.h>
// SSE2, which every x86-64 processor has, steps two tubes at once.
#define TONEWRIGHT_TUBE_PAIRS 1
#endif

namespace tonewright {

class KernelChain {
public:
    static constexpr int kMaxParts = 24;

    // Appends a steady part; a stopped filter or tube passes blocks
    // untouched and is left out. A chain that overflows runs nothing.
    void Add(Filter& f);
    void Add(AnalogSection& s);
    void Add(Tube& t);
    // A power stage: y = (a(x scaleA + shift) - b(x scaleB + shift)) output,
    // or with b null, y = a(x scaleA). A stopped tube passes its input.
    void AddPower(Tube& a, double scaleA, Tube* b, double scaleB, double shift, double output);

    bool Overflowed() const { return overflow; }
    // Processes a block and hands every part's state back to its owner.
    void Run(double* x, int n);

    // Runs one part (with Steady() and AppendTo(chain)) over a block as a
    // chain of its own. False when it is not steady or does not fit: then
    // nothing ran.
    template <class Part>
    static bool RunSteady(Part& part, double* x, int n)
    {
        if (!part.Steady()) return false;
        KernelChain chain;
        part.AppendTo(chain);
        if (chain.Overflowed()) return false;
        chain.Run(x, n);
        return true;
    }

private:
    enum Kind : std::uint8_t { kFilter, kFilter1, kSection1, kSection2, kSection3, kSection4, kTube, kPower };
    // A first-order section: its second-order terms are zero, so leaving
    // them out gives the same values.
    struct FirstOrder : Filter::Kernel {
        double Step(double x)
        {
            const double y = guardedSum(A1 * y1, B0 * x + B1 * x1);
            x2 = x1;
            x1 = x;
            y2 = y1;
            y1 = y;
            return y;
        }
    };
    struct Part {
        Kind kind;
        std::uint8_t index;
    };
#ifdef TONEWRIGHT_TUBE_PAIRS
    // Two tubes' constants and loop state side by side (a in the low lane,
    // b in the high one), so that both halves of a push-pull or asymmetric
    // stage take one vector step per sample.
    struct Pair {
        __m128d g, o, L, H, D, a1, invert;
        __m128d lowerEdge, upperEdge, lowerBeta, upperBeta, lowerRadicand, upperRadicand;
        __m128d lowerNumerator, upperNumerator, negativeBetaScale, rootToOutput;
        __m128d lowerNext, upperNext, lowerLevel, upperLevel;
        __m128d linearDrive, linearShift, linearScale, linearNext;
        __m128d scale, shift, V;

        void Load(const Tube::Kernel& a, const Tube::Kernel& b, double scaleA, double scaleB, double at);
        // Both tubes' outputs for input x; false (and nothing changed) for
        // a sample the lanes cannot take alike.
        bool Step(double x, __m128d& y);
    };
#endif
    struct Power {
        Tube::Kernel a, b;
        Tube* tubeA;
        Tube* tubeB;
        bool onA, onB;
        // Both tubes on and in their loops: the pair steps them.
        bool paired;
        double scaleA, scaleB, shift, output;
#ifdef TONEWRIGHT_TUBE_PAIRS
        Pair pair;
#endif
        double Step(double x);
        // The tubes' states from the pair, once a block.
        void Unpair();
    };
    template <class Kernel, class Owner, int N>
    struct Slots {
        Kernel kernel[N];
        Owner* owner[N];
        int count = 0;
    };

    bool Append(Kind kind, int index);
    // Part p on a group of U consecutive samples in place.
    template <int U>
    void StepGroup(const Part& p, double* v);
    // The block as groups of U samples, each part one group behind the
    // part before it.
    template <int U>
    void RunGroups(double* x, int groups);

    Part parts[kMaxParts];
    int count = 0;
    bool overflow = false;
    Slots<Filter::Kernel, Filter, 16> filters;
    Slots<FirstOrder, Filter, 16> firstOrders;
    Slots<AnalogSection::Kernel<1>, AnalogSection, 4> sections1;
    Slots<AnalogSection::Kernel<2>, AnalogSection, 4> sections2;
    Slots<AnalogSection::Kernel<3>, AnalogSection, 4> sections3;
    Slots<AnalogSection::Kernel<4>, AnalogSection, 4> sections4;
    Slots<Tube::Kernel, Tube, 4> tubes;
    Power power[1];
    int powerCount = 0;
};

}  // namespace tonewright
