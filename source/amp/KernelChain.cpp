#include "amp/KernelChain.h"

#include <algorithm>

#include "dsp/DspMath.h"

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
    const Filter::Kernel k = f.Load();
    if (k.B2 == 0.0 && k.A2 == 0.0)
        Append(kFilter1, put(firstOrders, f, FirstOrder{k}));
    else
        Append(kFilter, put(filters, f, k));
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
#ifdef TONEWRIGHT_TUBE_PAIRS
    p.paired = p.onA && p.onB && p.a.loop && p.b.loop;
    if (p.paired) p.pair.Load(p.a, p.b, scaleA, scaleB, shift);
#else
    p.paired = false;
#endif
    if (Append(kPower, powerCount)) ++powerCount;
}

#ifdef TONEWRIGHT_TUBE_PAIRS

namespace {

__m128d lanes(double a, double b) { return _mm_set_pd(b, a); }

// mask ? yes : no, lane by lane.
inline __m128d choose(__m128d mask, __m128d yes, __m128d no)
{
    return _mm_or_pd(_mm_and_pd(mask, yes), _mm_andnot_pd(mask, no));
}

}  // namespace

void KernelChain::Pair::Load(const Tube::Kernel& a, const Tube::Kernel& b, double scaleA, double scaleB,
                             double at)
{
    g = lanes(a.g, b.g);
    o = lanes(a.o, b.o);
    L = lanes(a.curve.L, b.curve.L);
    H = lanes(a.curve.H, b.curve.H);
    D = lanes(a.curve.D, b.curve.D);
    a1 = lanes(a.a1, b.a1);
    invert = lanes(a.invert ? -0.0 : 0.0, b.invert ? -0.0 : 0.0);
    lowerEdge = lanes(a.lowerEdge, b.lowerEdge);
    upperEdge = lanes(a.upperEdge, b.upperEdge);
    lowerBeta = lanes(a.lowerBeta, b.lowerBeta);
    upperBeta = lanes(a.upperBeta, b.upperBeta);
    lowerRadicand = lanes(a.lowerRadicand, b.lowerRadicand);
    upperRadicand = lanes(a.upperRadicand, b.upperRadicand);
    lowerNumerator = lanes(a.lowerNumerator, b.lowerNumerator);
    upperNumerator = lanes(a.upperNumerator, b.upperNumerator);
    negativeBetaScale = lanes(a.negativeBetaScale, b.negativeBetaScale);
    rootToOutput = lanes(a.rootToOutput, b.rootToOutput);
    lowerNext = lanes(a.lowerNext, b.lowerNext);
    upperNext = lanes(a.upperNext, b.upperNext);
    // Subtracting 1 + o is adding its negative; subtracting from 1 - o is
    // adding to it the negated value.
    lowerLevel = lanes(-(1.0 + a.o), -(1.0 + b.o));
    upperLevel = lanes(1.0 - a.o, 1.0 - b.o);
    linearDrive = lanes(a.linearDrive, b.linearDrive);
    linearShift = lanes(a.linearShift, b.linearShift);
    linearScale = lanes(a.linearScale, b.linearScale);
    linearNext = lanes(a.linearNext, b.linearNext);
    scale = lanes(scaleA, scaleB);
    shift = _mm_set1_pd(at);
    V = lanes(a.V, b.V);
}

// Tube::Kernel::Step in both lanes, each lane on its own branch: a sign
// flip turns the upper branch's subtractions into the lower one's additions
// (a - b and a + (-b) round alike), so both take one sequence of operations.
// Samples Tube::Kernel::Step gives by another road (silence into a resting
// tube; a linear solve whose curve input leaves the linear part) are left
// to it.
[[gnu::always_inline]] inline bool KernelChain::Pair::Step(double x, __m128d& y)
{
    const __m128d zero = _mm_setzero_pd();
    const __m128d sign = _mm_set1_pd(-0.0);
    const __m128d offset = _mm_set1_pd(kDenormalOffset);
    const __m128d in = _mm_add_pd(_mm_mul_pd(_mm_set1_pd(x), scale), shift);
    if (_mm_movemask_pd(_mm_and_pd(_mm_cmpeq_pd(in, zero), _mm_cmpeq_pd(V, zero))) != 0) return false;

    const __m128d gx = _mm_mul_pd(g, in);
    const __m128d lower = _mm_cmpgt_pd(_mm_add_pd(V, lowerEdge), _mm_sub_pd(gx, L));
    const __m128d upper = _mm_andnot_pd(lower, _mm_cmpgt_pd(_mm_sub_pd(gx, H), _mm_add_pd(V, upperEdge)));
    const __m128d root = _mm_or_pd(lower, upper);
    const int rootLanes = _mm_movemask_pd(root);

    __m128d out = zero, next = zero;
    if (rootLanes != 3) {
        const __m128d base = _mm_add_pd(_mm_add_pd(V, _mm_mul_pd(linearDrive, gx)), linearShift);
        const __m128d u = _mm_sub_pd(gx, _mm_mul_pd(base, linearScale));
        const __m128d outside = _mm_andnot_pd(root, _mm_or_pd(_mm_cmplt_pd(u, L), _mm_cmpgt_pd(u, H)));
        if (_mm_movemask_pd(outside) != 0) return false;
        out = _mm_sub_pd(_mm_add_pd(u, D), o);
        const __m128d v = _mm_sub_pd(_mm_mul_pd(base, linearNext), V);
        next = _mm_sub_pd(_mm_add_pd(v, offset), offset);
    }
    if (rootLanes != 0) {
        const __m128d upperSign = _mm_and_pd(upper, sign);
        const __m128d beta = _mm_add_pd(_mm_add_pd(choose(lower, lowerBeta, upperBeta),
                                                   _mm_xor_pd(gx, _mm_and_pd(lower, sign))),
                                        _mm_xor_pd(V, upperSign));
        const __m128d s = _mm_sqrt_pd(_mm_add_pd(_mm_mul_pd(beta, beta), choose(lower, lowerRadicand, upperRadicand)));
        const __m128d d = _mm_add_pd(beta, s);
        const __m128d quotient = _mm_div_pd(choose(lower, lowerNumerator, upperNumerator), d);
        const __m128d byScale = _mm_mul_pd(_mm_sub_pd(s, beta), negativeBetaScale);
        const __m128d positive = _mm_cmpge_pd(beta, zero);
        const __m128d w = choose(positive, _mm_and_pd(_mm_cmpgt_pd(d, zero), quotient), byScale);
        const __m128d known = _mm_add_pd(_mm_mul_pd(a1, V), choose(lower, lowerNext, upperNext));
        const __m128d rootOut = _mm_add_pd(_mm_xor_pd(_mm_mul_pd(w, rootToOutput), upperSign),
                                           choose(lower, lowerLevel, upperLevel));
        const __m128d rootNext = _mm_add_pd(known, _mm_xor_pd(w, upperSign));
        out = choose(root, rootOut, out);
        next = choose(root, rootNext, next);
    }
    V = next;
    y = _mm_xor_pd(_mm_sub_pd(_mm_add_pd(out, offset), offset), invert);
    return true;
}

#endif

void KernelChain::Power::Unpair()
{
#ifdef TONEWRIGHT_TUBE_PAIRS
    if (!paired) return;
    double v[2];
    _mm_storeu_pd(v, pair.V);
    a.V = v[0];
    b.V = v[1];
#endif
}

// The arithmetic of PowerAmp::RunSteady.
[[gnu::always_inline]] inline double KernelChain::Power::Step(double x)
{
#ifdef TONEWRIGHT_TUBE_PAIRS
    if (paired) {
        __m128d y;
        if (pair.Step(x, y)) return (_mm_cvtsd_f64(y) - _mm_cvtsd_f64(_mm_unpackhi_pd(y, y))) * output;
        Unpair();
        const double ya = a.Step(x * scaleA + shift);
        const double yb = b.Step(x * scaleB + shift);
        pair.V = lanes(a.V, b.V);
        return (ya - yb) * output;
    }
#endif
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
    case kFilter1: run(firstOrders.kernel[p.index]); break;
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
    for (int i = 0; i < firstOrders.count; ++i) firstOrders.owner[i]->Store(firstOrders.kernel[i]);
    for (int i = 0; i < sections1.count; ++i) sections1.owner[i]->Store(sections1.kernel[i]);
    for (int i = 0; i < sections2.count; ++i) sections2.owner[i]->Store(sections2.kernel[i]);
    for (int i = 0; i < sections3.count; ++i) sections3.owner[i]->Store(sections3.kernel[i]);
    for (int i = 0; i < sections4.count; ++i) sections4.owner[i]->Store(sections4.kernel[i]);
    for (int i = 0; i < tubes.count; ++i) tubes.owner[i]->Store(tubes.kernel[i]);
    for (int i = 0; i < powerCount; ++i) {
        power[i].Unpair();
        power[i].tubeA->Store(power[i].a);
        if (power[i].tubeB) power[i].tubeB->Store(power[i].b);
    }
}

}  // namespace tonewright
