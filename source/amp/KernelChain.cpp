#include "amp/KernelChain.h"

#include <algorithm>

namespace tonewright {

namespace {

template <class Slots, class Owner, class Kernel>
int put(Slots& slots, Owner& owner, const Kernel& k)
{
    constexpr int capacity = sizeof(slots.owner) / sizeof(slots.owner[0]);
    if (slots.count == capacity) return -1;
    slots.kernel[slots.count] = k;
    slots.owner[slots.count] = &owner;
    return slots.count++;
}

}  // namespace

bool KernelChain::Append(Kind kind, int index)
{
    if (index < 0 || count == kMaxParts) {
        overflow = true;
        return false;
    }
    parts[count++] = {kind, static_cast<std::uint8_t>(index)};
    return true;
}

void KernelChain::Add(Filter& f)
{
    if (f.Stopped()) return;
    Append(kFilter, put(filters, f, f.Load()));
}

void KernelChain::Add(AnalogSection& s)
{
    switch (s.Order()) {
    case 1: Append(kSection1, put(sections1, s, s.Load<1>())); break;
    case 2: Append(kSection2, put(sections2, s, s.Load<2>())); break;
    case 3: Append(kSection3, put(sections3, s, s.Load<3>())); break;
    default: Append(kSection4, put(sections4, s, s.Load<4>())); break;
    }
}

void KernelChain::Add(Tube& t)
{
    if (t.Stopped()) return;
    Append(kTube, put(tubes, t, t.Load()));
}

void KernelChain::AddPower(Tube& a, double scaleA, Tube* b, double scaleB, double shift, double output)
{
    if (powerCount == 1) {
        overflow = true;
        return;
    }
    Power& p = power[powerCount];
    p.a = a.Load();
    p.tubeA = &a;
    p.onA = !a.Stopped();
    p.tubeB = b;
    p.onB = b && !b->Stopped();
    if (b) p.b = b->Load();
    p.scaleA = scaleA;
    p.scaleB = scaleB;
    p.shift = shift;
    p.output = output;
    if (Append(kPower, powerCount)) ++powerCount;
}

// The arithmetic of PowerAmp::RunSteady.
[[gnu::always_inline]] inline double KernelChain::Power::Step(double x)
{
    if (!tubeB) return onA ? a.Step(x * scaleA) : x * scaleA;
    const double inA = x * scaleA + shift;
    const double inB = x * scaleB + shift;
    const double ya = onA ? a.Step(inA) : inA;
    const double yb = onB ? b.Step(inB) : inB;
    return (ya - yb) * output;
}

template <int U>
[[gnu::always_inline]] inline void KernelChain::StepGroup(const Part& p, double* v)
{
    const auto run = [v](auto& k) {
        for (int u = 0; u < U; ++u) v[u] = k.Step(v[u]);
    };
    switch (p.kind) {
    case kFilter: run(filters.kernel[p.index]); break;
    case kSection1: run(sections1.kernel[p.index]); break;
    case kSection2: run(sections2.kernel[p.index]); break;
    case kSection3: run(sections3.kernel[p.index]); break;
    case kSection4: run(sections4.kernel[p.index]); break;
    case kTube: run(tubes.kernel[p.index]); break;
    default: run(power[p.index]); break;
    }
}

template <int U>
void KernelChain::RunGroups(double* x, int groups)
{
    // carry[j] holds the group part j takes in the present step; at step t
    // part j works on group t - j. Parts run last to first, so that each
    // takes its input before the part ahead of it replaces it.
    double carry[kMaxParts + 1][U];
    const int last = count - 1;
    const int steps = groups + last;
    for (int t = 0; t < steps; ++t) {
        if (t < groups) {
            for (int u = 0; u < U; ++u) carry[0][u] = x[U * t + u];
        }
        const int first = t < groups ? 0 : t - groups + 1;
        for (int j = std::min(last, t); j >= first; --j) {
            double* v = carry[j + 1];
            for (int u = 0; u < U; ++u) v[u] = carry[j][u];
            StepGroup<U>(parts[j], v);
        }
        if (t >= last) {
            for (int u = 0; u < U; ++u) x[U * (t - last) + u] = carry[count][u];
        }
    }
}

void KernelChain::Run(double* x, int n)
{
    if (overflow || count == 0 || n <= 0) return;
    // Pairs of samples: half the dispatch of single ones, while each part's
    // work per step stays short enough for the parts to overlap.
    constexpr int kGroup = 2;
    const int whole = n / kGroup;
    RunGroups<kGroup>(x, whole);
    RunGroups<1>(x + kGroup * whole, n - kGroup * whole);

    for (int i = 0; i < filters.count; ++i) filters.owner[i]->Store(filters.kernel[i]);
    for (int i = 0; i < sections1.count; ++i) sections1.owner[i]->Store(sections1.kernel[i]);
    for (int i = 0; i < sections2.count; ++i) sections2.owner[i]->Store(sections2.kernel[i]);
    for (int i = 0; i < sections3.count; ++i) sections3.owner[i]->Store(sections3.kernel[i]);
    for (int i = 0; i < sections4.count; ++i) sections4.owner[i]->Store(sections4.kernel[i]);
    for (int i = 0; i < tubes.count; ++i) tubes.owner[i]->Store(tubes.kernel[i]);
    for (int i = 0; i < powerCount; ++i) {
        power[i].tubeA->Store(power[i].a);
        if (power[i].tubeB) power[i].tubeB->Store(power[i].b);
    }
}

}  // namespace tonewright
