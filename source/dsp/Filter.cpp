#include "dsp/Filter.h"

#include <cmath>
#include <type_traits>
#include <utility>

#include "dsp/DspMath.h"
#include "dsp/ParameterRules.h"
#include "dsp/WideVectors.h"
#include "dsp/StageFields.h"

namespace tonewright {

namespace {
constexpr double kPi = 3.14159265358979323846;
}

Filter::Filter()
{
    SetFs(44100.0);
    fade.Prime([this] { Update(); });
    fade.fading = false;
    fade.position = 0.0;
}

void Filter::SetParameter(int id, double v)
{
    switch (id) {
    case 0:
        if (std::isnan(v)) return;
        params.enable = v >= 0.5;
        bypass.SetState(params.enable ? 1.0 : 0.0);
        return;
    case 1:
        if (!acceptInt(params.type, v, 0, 13)) return;
        break;
    case 2:
        if (!acceptFrequency(params.frequency, v)) return;
        break;
    case 3:
        if (!acceptDoubleClamped(params.q, v, v > 0.0, kSmallestQ, kLargestQ)) return;
        break;
    case 4:
        if (!acceptLevelDb(params.level, v)) return;
        break;
    default:
        return;
    }
    fade.dirty = true;
}

// The record's fields by parameter id.
constexpr auto kFields = stageFields(&FilterParameters::enable, &FilterParameters::type, &FilterParameters::frequency,
                                     &FilterParameters::q, &FilterParameters::level);

double Filter::GetParameter(int id) const { return kFields.Get(params, id); }

void Filter::SetParameters(const FilterParameters& p) { kFields.Apply(p, *this); }

void Filter::SetFs(double rate)
{
    if (!acceptNewRate(fs, rate)) return;
    bypass.SetFs(rate);
    fade.SetFs(rate);
    fade.dirty = true;
}

double Filter::EffectiveFrequency() const
{
    return frequencyInUse(params.frequency, fs);
}

void Filter::Update()
{
    const double f = EffectiveFrequency();
    const double Q = params.q;
    const double G = std::pow(10.0, params.level / 20.0);
    const double A = std::pow(10.0, params.level / 40.0);
    const double w0 = 2.0 * kPi * f / fs;
    const double cs = std::cos(w0);
    const double sn = std::sin(w0);
    const double alpha = sn / (2.0 * Q);
    const double K = std::tan(w0 / 2.0);
    const double c = 1.0 / K;
    const double sqA = std::sqrt(A);

    double b0 = G, b1 = 0, b2 = 0, a0 = 1, a1 = 0, a2 = 0;
    switch (params.type) {
    case kGain: break;
    case kLowPass1: b0 = G; b1 = G; a0 = 1 + c; a1 = 1 - c; break;
    case kHighPass1: b0 = G; b1 = -G; a0 = 1 + K; a1 = K - 1; break;
    case kLowShelf1: b0 = G + c; b1 = G - c; a0 = 1 + c; a1 = 1 - c; break;
    case kHighShelf1: b0 = 1 + c * G; b1 = 1 - c * G; a0 = 1 + c; a1 = 1 - c; break;
    case kAllPass1: b0 = G * (1 - c); b1 = G * (1 + c); a0 = 1 + c; a1 = 1 - c; break;
    case kLowPass:
        b0 = G * (1 - cs) / 2; b1 = G * (1 - cs); b2 = G * (1 - cs) / 2;
        a0 = 1 + alpha; a1 = -2 * cs; a2 = 1 - alpha;
        break;
    case kHighPass:
        b0 = G * (1 + cs) / 2; b1 = -G * (1 + cs); b2 = G * (1 + cs) / 2;
        a0 = 1 + alpha; a1 = -2 * cs; a2 = 1 - alpha;
        break;
    case kBandPass:
        b0 = G * alpha; b1 = 0; b2 = -G * alpha;
        a0 = 1 + alpha; a1 = -2 * cs; a2 = 1 - alpha;
        break;
    case kNotch:
        b0 = G; b1 = -2 * G * cs; b2 = G;
        a0 = 1 + alpha; a1 = -2 * cs; a2 = 1 - alpha;
        break;
    case kPeak:
        b0 = 1 + alpha * A; b1 = -2 * cs; b2 = 1 - alpha * A;
        a0 = 1 + alpha / A; a1 = -2 * cs; a2 = 1 - alpha / A;
        break;
    case kLowShelf:
        b0 = A * ((A + 1) - (A - 1) * cs + 2 * sqA * alpha);
        b1 = 2 * A * ((A - 1) - (A + 1) * cs);
        b2 = A * ((A + 1) - (A - 1) * cs - 2 * sqA * alpha);
        a0 = (A + 1) + (A - 1) * cs + 2 * sqA * alpha;
        a1 = -2 * ((A - 1) + (A + 1) * cs);
        a2 = (A + 1) + (A - 1) * cs - 2 * sqA * alpha;
        break;
    case kHighShelf:
        b0 = A * ((A + 1) + (A - 1) * cs + 2 * sqA * alpha);
        b1 = -2 * A * ((A - 1) + (A + 1) * cs);
        b2 = A * ((A + 1) + (A - 1) * cs - 2 * sqA * alpha);
        a0 = (A + 1) - (A - 1) * cs + 2 * sqA * alpha;
        a1 = 2 * ((A - 1) - (A + 1) * cs);
        a2 = (A + 1) - (A - 1) * cs - 2 * sqA * alpha;
        break;
    case kAllPass:
        b0 = G * (1 - alpha); b1 = -2 * G * cs; b2 = G * (1 + alpha);
        a0 = 1 + alpha; a1 = -2 * cs; a2 = 1 - alpha;
        break;
    default: break;
    }

    Bank& bank = banks[fade.current];
    bank.B0 = denormalGuard(b0 / a0);
    bank.B1 = denormalGuard(b1 / a0);
    bank.B2 = denormalGuard(b2 / a0);
    bank.A1 = denormalGuard(-a1 / a0);
    bank.A2 = denormalGuard(-a2 / a0);
    bank.left = History{};
    bank.right = History{};
}

void Filter::Settle()
{
    if (fade.dirty || fade.fading) Update();
    fade.Settle();
    bypass.Settle();
}

Filter::Coefficients Filter::GetCoefficients() const
{
    const Bank& b = banks[fade.current];
    return {b.B0, b.B1, b.B2, b.A1, b.A2};
}

inline double Filter::Run(const Bank& b, History& h, double x)
{
    const double y = guardedSum(b.A1 * h.y1, b.B0 * x + b.B1 * h.x1 + b.B2 * h.x2 + b.A2 * h.y2);
    h.x2 = h.x1;
    h.x1 = x;
    h.y2 = h.y1;
    h.y1 = y;
    return y;
}

bool Filter::Steady() const
{
    return bypass.Steady() && !fade.fading && !fade.dirty;
}

Filter::Kernel Filter::Load(bool right) const
{
    const Bank& b = banks[fade.current];
    const History& h = right ? b.right : b.left;
    return {b.B0, b.B1, b.B2, b.A1, b.A2, h.x1, h.x2, h.y1, h.y2};
}

void Filter::Store(const Kernel& k, bool right)
{
    Bank& b = banks[fade.current];
    History& h = right ? b.right : b.left;
    h = {k.x1, k.x2, k.y1, k.y2};
}

void Filter::RunSteady(double* x, int n)
{
    Kernel k = Load();
    for (int i = 0; i < n; ++i) x[i] = k.Step(x[i]);
    Store(k);
}

namespace {

// Two kernels side by side in the lanes of a vector (one SSE2 register on
// x86-64), each lane computing exactly what its Kernel::Step would.
struct KernelPair {
    typedef double Lanes __attribute__((vector_size(16)));
    Lanes B0, B1, B2, A1, A2, x1, x2, y1, y2;

    KernelPair() = default;
    KernelPair(const Filter::Kernel& a, const Filter::Kernel& b)
        : B0{a.B0, b.B0}, B1{a.B1, b.B1}, B2{a.B2, b.B2}, A1{a.A1, b.A1}, A2{a.A2, b.A2}, x1{a.x1, b.x1},
          x2{a.x2, b.x2}, y1{a.y1, b.y1}, y2{a.y2, b.y2}
    {
    }
    void Split(Filter::Kernel& a, Filter::Kernel& b) const
    {
        a.x1 = x1[0], a.x2 = x2[0], a.y1 = y1[0], a.y2 = y2[0];
        b.x1 = x1[1], b.x2 = x2[1], b.y1 = y1[1], b.y2 = y2[1];
    }
    Lanes Step(Lanes x)
    {
        // guardedSum, lane by lane
        const Lanes y = (A1 * y1 + ((B0 * x + B1 * x1 + B2 * x2 + A2 * y2) + 1e-10)) - 1e-10;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

}  // namespace

void Filter::RunSteady(double* l, double* r, int n)
{
    Kernel kl = Load(false);
    Kernel kr = Load(true);
    KernelPair k(kl, kr);
    for (int i = 0; i < n; ++i) {
        const KernelPair::Lanes y = k.Step(KernelPair::Lanes{l[i], r[i]});
        l[i] = y[0];
        r[i] = y[1];
    }
    k.Split(kl, kr);
    Store(kl, false);
    Store(kr, true);
}

void Filter::process(double* x, int n)
{
    if (!bypass.running || n <= 0) return;
    if (Steady()) {
        RunSteady(x, n);
        return;
    }
    bypass.senddry(x, n);
    if (fade.BeginBlock()) Update();
    Bank& cur = banks[fade.current];
    if (fade.fading) {
        Bank& old = banks[fade.other];
        for (int i = 0; i < n; ++i) {
            const double yNew = Run(cur, cur.left, x[i]);
            const double yOld = Run(old, old.left, x[i]);
            const double w = fade.fading ? fade.NextOldWeight() : 0.0;
            x[i] = (1.0 - w) * yNew + w * yOld;
        }
    } else {
        RunSteady(x, n);
    }
    bypass.process(x, n);
}

void Filter::process(double* l, double* r, int n)
{
    if (!bypass.running || n <= 0) return;
    if (Steady()) {
        RunSteady(l, r, n);
        return;
    }
    bypass.senddry(l, r, n);
    if (fade.BeginBlock()) Update();
    Bank& cur = banks[fade.current];
    if (fade.fading) {
        Bank& old = banks[fade.other];
        for (int i = 0; i < n; ++i) {
            const double lNew = Run(cur, cur.left, l[i]);
            const double lOld = Run(old, old.left, l[i]);
            const double rNew = Run(cur, cur.right, r[i]);
            const double rOld = Run(old, old.right, r[i]);
            const double w = fade.fading ? fade.NextOldWeight() : 0.0;
            l[i] = (1.0 - w) * lNew + w * lOld;
            r[i] = (1.0 - w) * rNew + w * rOld;
        }
    } else {
        RunSteady(l, r, n);
    }
    bypass.process(l, r, n);
}

namespace {

// M steady kernels in series over n samples, skewed: kernel j takes sample
// i - j while kernel 0 takes sample i, so the recursions of one step do not
// wait for each other and proceed side by side. Every kernel sees the samples
// it would see sample by sample, so the results are the same.
template <int M, class Kernel, class Value, class Load, class Put>
void skewed(Kernel* k, int n, Load&& load, Put&& put)
{
    Value v[M] = {};  // v[j]: kernel j's latest output
    if (n < M) {
        for (int i = 0; i < n; ++i) {
            Value y = load(i);
            for (int j = 0; j < M; ++j) y = k[j].Step(y);
            put(i, y);
        }
        return;
    }
    for (int i = 0; i < M - 1; ++i) {
        for (int j = i; j >= 1; --j) v[j] = k[j].Step(v[j - 1]);
        v[0] = k[0].Step(load(i));
    }
    for (int i = M - 1; i < n; ++i) {
        for (int j = M - 1; j >= 1; --j) v[j] = k[j].Step(v[j - 1]);
        v[0] = k[0].Step(load(i));
        put(i - (M - 1), v[M - 1]);
    }
    for (int i = n; i < n + M - 1; ++i) {
        for (int j = M - 1; j >= i - n + 1; --j) v[j] = k[j].Step(v[j - 1]);
        put(i - (M - 1), v[M - 1]);
    }
}

// The steady part of a skewed mono cascade with the M kernels in the lanes
// of registers of L doubles (padding lanes hold silent kernels): every step
// of every kernel at once, then the outputs move up one lane to become the
// next kernels' inputs. Each lane rounds as Kernel::Step does. On entry v
// holds the kernels' latest outputs after the first M - 1 samples; steps
// samples M - 1 .. n - 1 and leaves v and the kernels as skewed() would.
typedef double LanePair __attribute__((vector_size(16)));
typedef double LaneQuad __attribute__((vector_size(32)));

template <int M, int L, bool ShortWait>
[[gnu::always_inline]] inline void skewedLanes(Filter::Kernel* k, double* v, double* x, int n)
{
    using V = std::conditional_t<L == 2, LanePair, LaneQuad>;
    constexpr int P = (M + L - 1) / L;
    V b0[P], b1[P], b2[P], a1[P], a2[P], x1[P], x2[P], y1[P], y2[P], out[P];
    for (int p = 0; p < P; ++p) {
        for (int l = 0; l < L; ++l) {
            const int j = p * L + l;
            const Filter::Kernel z = j < M ? k[j] : Filter::Kernel{0, 0, 0, 0, 0, 0, 0, 0, 0};
            b0[p][l] = z.B0, b1[p][l] = z.B1, b2[p][l] = z.B2, a1[p][l] = z.A1, a2[p][l] = z.A2;
            x1[p][l] = z.x1, x2[p][l] = z.x2, y1[p][l] = z.y1, y2[p][l] = z.y2;
            out[p][l] = j < M ? v[j] : 0.0;
        }
    }
    for (int i = M - 1; i < n; ++i) {
        V in[P];
        V fresh;
#pragma GCC unroll 8
        for (int l = 0; l < L; ++l) fresh[l] = x[i];
        // Unrolled, so that the lanes' memories stay in registers.
        if constexpr (L == 2) {
            in[0] = __builtin_shufflevector(fresh, out[0], 0, 2);
#pragma GCC unroll 8
            for (int p = 1; p < P; ++p) in[p] = __builtin_shufflevector(out[p - 1], out[p], 1, 2);
        } else {
            in[0] = __builtin_shufflevector(fresh, out[0], 0, 4, 5, 6);
#pragma GCC unroll 8
            for (int p = 1; p < P; ++p) in[p] = __builtin_shufflevector(out[p - 1], out[p], 3, 4, 5, 6);
        }
#pragma GCC unroll 8
        for (int p = 0; p < P; ++p) {
            V y;
            if constexpr (ShortWait) {
                const V older = (b1[p] * x1[p] + b2[p] * x2[p] + a2[p] * y2[p]) + kDenormalOffset;
                y = ((a1[p] * y1[p] + b0[p] * in[p]) + older) - kDenormalOffset;
            } else {
                const V rest = b0[p] * in[p] + b1[p] * x1[p] + b2[p] * x2[p] + a2[p] * y2[p];
                y = (a1[p] * y1[p] + (rest + kDenormalOffset)) - kDenormalOffset;
            }
            x2[p] = x1[p];
            x1[p] = in[p];
            y2[p] = y1[p];
            y1[p] = y;
            out[p] = y;
        }
        x[i - (M - 1)] = out[(M - 1) / L][(M - 1) % L];
    }
    for (int j = 0; j < M; ++j) {
        const int p = j / L, l = j % L;
        k[j].x1 = x1[p][l], k[j].x2 = x2[p][l], k[j].y1 = y1[p][l], k[j].y2 = y2[p][l];
        v[j] = out[p][l];
    }
}

template <int M, bool ShortWait>
void skewedPairs(Filter::Kernel* k, double* v, double* x, int n)
{
    skewedLanes<M, 2, ShortWait>(k, v, x, n);
}

#ifdef TONEWRIGHT_WIDE_VECTORS
template <int M, bool ShortWait>
__attribute__((target("avx2"))) void skewedQuads(Filter::Kernel* k, double* v, double* x, int n)
{
    skewedLanes<M, 4, ShortWait>(k, v, x, n);
}
#endif

// One step of a kernel in the given sum order (the lanes' order).
template <bool ShortWait>
[[gnu::always_inline]] inline double stepKernel(Filter::Kernel& k, double x)
{
    if constexpr (!ShortWait) {
        return k.Step(x);
    } else {
        const double y =
            ((k.A1 * k.y1 + k.B0 * x) + ((k.B1 * k.x1 + k.B2 * k.x2 + k.A2 * k.y2) + kDenormalOffset)) -
            kDenormalOffset;
        k.x2 = k.x1;
        k.x1 = x;
        k.y2 = k.y1;
        k.y1 = y;
        return y;
    }
}

// M kernels in series over n >= M samples: the skew filled and drained one
// step at a time, the steady part side by side in vector lanes.
template <int M, bool ShortWait>
void laneCascade(Filter::Kernel* k, double* x, int n)
{
    double v[M] = {};
    for (int i = 0; i < M - 1; ++i) {
        for (int j = i; j >= 1; --j) v[j] = stepKernel<ShortWait>(k[j], v[j - 1]);
        v[0] = stepKernel<ShortWait>(k[0], x[i]);
    }
#ifdef TONEWRIGHT_WIDE_VECTORS
    if (M > 2 && WideVectors()) skewedQuads<M, ShortWait>(k, v, x, n);
    else skewedPairs<M, ShortWait>(k, v, x, n);
#else
    skewedPairs<M, ShortWait>(k, v, x, n);
#endif
    for (int i = n; i < n + M - 1; ++i) {
        for (int j = M - 1; j >= i - n + 1; --j) v[j] = stepKernel<ShortWait>(k[j], v[j - 1]);
        x[i - (M - 1)] = v[M - 1];
    }
}

// M steady sections in one pass. From three sections on, the steady part
// runs the sections side by side in vector lanes.
template <int M>
void cascade(Filter* const* s, double* x, int n)
{
    Filter::Kernel k[M];
    for (int j = 0; j < M; ++j) k[j] = s[j]->Load();
    if (M < 3 || n < M) {
        skewed<M, Filter::Kernel, double>(
            k, n, [x](int i) { return x[i]; }, [x](int i, double y) { x[i] = y; });
    } else {
        laneCascade<M, false>(k, x, n);
    }
    for (int j = 0; j < M; ++j) s[j]->Store(k[j]);
}

// The same in the short-wait sum order, in lanes at every count.
template <int M>
void shortCascade(Filter* const* s, double* x, int n)
{
    Filter::Kernel k[M];
    for (int j = 0; j < M; ++j) k[j] = s[j]->Load();
    if (n < M) {
        for (int i = 0; i < n; ++i) {
            double y = x[i];
            for (int j = 0; j < M; ++j) y = stepKernel<true>(k[j], y);
            x[i] = y;
        }
    } else {
        laneCascade<M, true>(k, x, n);
    }
    for (int j = 0; j < M; ++j) s[j]->Store(k[j]);
}

template <int M>
void cascade(Filter* const* sl, Filter* const* sr, double* l, double* r, int n)
{
    Filter::Kernel kl[M], kr[M];
    KernelPair k[M];
    for (int j = 0; j < M; ++j) {
        kl[j] = sl[j]->Load();
        kr[j] = sr[j]->Load();
        k[j] = KernelPair(kl[j], kr[j]);
    }
    skewed<M, KernelPair, KernelPair::Lanes>(
        k, n, [l, r](int i) { return KernelPair::Lanes{l[i], r[i]}; },
        [l, r](int i, KernelPair::Lanes y) {
            l[i] = y[0];
            r[i] = y[1];
        });
    for (int j = 0; j < M; ++j) {
        k[j].Split(kl[j], kr[j]);
        sl[j]->Store(kl[j]);
        sr[j]->Store(kr[j]);
    }
}

// The running sections of a cascade when all are steady: their count, or
// -1 when one needs its own block (a fade, a ramp or a pending change).
int steadySections(Filter* const* s, int count, Filter** active)
{
    if (count > Filter::kCascade) return -1;
    int m = 0;
    for (int j = 0; j < count; ++j) {
        if (s[j]->Stopped()) continue;
        if (!s[j]->Steady()) return -1;
        active[m++] = s[j];
    }
    return m;
}

template <int... M>
void dispatch(std::integer_sequence<int, M...>, int m, Filter* const* s, double* x, int n)
{
    ((m == M + 1 ? cascade<M + 1>(s, x, n) : void()), ...);
}

template <int... M>
void dispatch(std::integer_sequence<int, M...>, int m, Filter* const* sl, Filter* const* sr, double* l, double* r,
              int n)
{
    ((m == M + 1 ? cascade<M + 1>(sl, sr, l, r, n) : void()), ...);
}

template <int... M>
void dispatchShort(std::integer_sequence<int, M...>, int m, Filter* const* s, double* x, int n)
{
    ((m == M + 1 ? shortCascade<M + 1>(s, x, n) : void()), ...);
}

}  // namespace

bool Filter::processShortCascade(Filter* const* sections, int count, double* x, int n)
{
    Filter* active[kShortCascade];
    int m = 0;
    for (int j = 0; j < count; ++j) {
        if (sections[j]->Stopped()) continue;
        if (!sections[j]->Steady() || m == kShortCascade) return false;
        active[m++] = sections[j];
    }
    if (n > 0 && m > 0) dispatchShort(std::make_integer_sequence<int, kShortCascade>{}, m, active, x, n);
    return true;
}

void Filter::processCascade(Filter* const* sections, int count, double* x, int n)
{
    if (n <= 0) return;
    Filter* active[kCascade];
    const int m = steadySections(sections, count, active);
    if (m < 0) {
        for (int j = 0; j < count; ++j) sections[j]->process(x, n);
        return;
    }
    dispatch(std::make_integer_sequence<int, kCascade>{}, m, active, x, n);
}

void Filter::processCascade(Filter* const* left, Filter* const* right, int count, double* l, double* r, int n)
{
    if (n <= 0) return;
    Filter* activeL[kCascade];
    Filter* activeR[kCascade];
    const int m = steadySections(left, count, activeL);
    // The two sides share their settings, but each is checked on its own.
    if (m < 0 || steadySections(right, count, activeR) != m) {
        for (int j = 0; j < count; ++j) {
            left[j]->process(l, n);
            right[j]->process(r, n);
        }
        return;
    }
    dispatch(std::make_integer_sequence<int, kCascade>{}, m, activeL, activeR, l, r, n);
}

}  // namespace tonewright
