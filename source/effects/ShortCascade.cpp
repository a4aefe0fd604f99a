#include "effects/ShortCascade.h"

#include <type_traits>
#include <utility>

#include "dsp/DspMath.h"
#include "dsp/WideVectors.h"

namespace tonewright {

namespace {

struct Section {
    double b0, b1, b2, a1, a2, x1, x2, y1, y2;

    double Step(double x)
    {
        const double y = ((a1 * y1 + b0 * x) + ((b1 * x1 + b2 * x2 + a2 * y2) + kDenormalOffset)) - kDenormalOffset;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

typedef double LanePair __attribute__((vector_size(16)));
typedef double LaneQuad __attribute__((vector_size(32)));

// Samples M - 1 .. n - 1 with section j in lane j (padding lanes hold
// silent sections): every section steps at once, then the outputs move up
// one lane to become the next sections' inputs. On entry v holds the
// sections' latest outputs after the first M - 1 samples; leaves v and the
// sections as the one-at-a-time steps would.
template <int M, int L>
[[gnu::always_inline]] inline void lanes(Section* k, double* v, double* x, int n)
{
    using V = std::conditional_t<L == 2, LanePair, LaneQuad>;
    constexpr int P = (M + L - 1) / L;
    V b0[P], b1[P], b2[P], a1[P], a2[P], x1[P], x2[P], y1[P], y2[P], out[P];
    for (int p = 0; p < P; ++p) {
        for (int l = 0; l < L; ++l) {
            const int j = p * L + l;
            const Section z = j < M ? k[j] : Section{0, 0, 0, 0, 0, 0, 0, 0, 0};
            b0[p][l] = z.b0, b1[p][l] = z.b1, b2[p][l] = z.b2, a1[p][l] = z.a1, a2[p][l] = z.a2;
            x1[p][l] = z.x1, x2[p][l] = z.x2, y1[p][l] = z.y1, y2[p][l] = z.y2;
            out[p][l] = j < M ? v[j] : 0.0;
        }
    }
    for (int i = M - 1; i < n; ++i) {
        V in[P];
        V fresh;
#pragma GCC unroll 8
        for (int l = 0; l < L; ++l) fresh[l] = x[i];
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
            const V older = (b1[p] * x1[p] + b2[p] * x2[p] + a2[p] * y2[p]) + kDenormalOffset;
            const V y = ((a1[p] * y1[p] + b0[p] * in[p]) + older) - kDenormalOffset;
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

template <int M>
void pairs(Section* k, double* v, double* x, int n)
{
    lanes<M, 2>(k, v, x, n);
}

#ifdef TONEWRIGHT_WIDE_VECTORS
template <int M>
__attribute__((target("avx2"))) void quads(Section* k, double* v, double* x, int n)
{
    lanes<M, 4>(k, v, x, n);
}
#endif

template <int M>
void cascade(Filter* const* s, double* x, int n)
{
    Section k[M];
    for (int j = 0; j < M; ++j) {
        const Filter::Kernel f = s[j]->Load();
        k[j] = {f.B0, f.B1, f.B2, f.A1, f.A2, f.x1, f.x2, f.y1, f.y2};
    }
    if (n < M) {
        for (int i = 0; i < n; ++i) {
            double y = x[i];
            for (int j = 0; j < M; ++j) y = k[j].Step(y);
            x[i] = y;
        }
    } else {
        double v[M] = {};
        for (int i = 0; i < M - 1; ++i) {
            for (int j = i; j >= 1; --j) v[j] = k[j].Step(v[j - 1]);
            v[0] = k[0].Step(x[i]);
        }
#ifdef TONEWRIGHT_WIDE_VECTORS
        if (M > 2 && WideVectors()) quads<M>(k, v, x, n);
        else pairs<M>(k, v, x, n);
#else
        pairs<M>(k, v, x, n);
#endif
        for (int i = n; i < n + M - 1; ++i) {
            for (int j = M - 1; j >= i - n + 1; --j) v[j] = k[j].Step(v[j - 1]);
            x[i - (M - 1)] = v[M - 1];
        }
    }
    for (int j = 0; j < M; ++j) {
        Filter::Kernel f = s[j]->Load();
        f.x1 = k[j].x1, f.x2 = k[j].x2, f.y1 = k[j].y1, f.y2 = k[j].y2;
        s[j]->Store(f);
    }
}

template <int... M>
void dispatch(std::integer_sequence<int, M...>, int m, Filter* const* s, double* x, int n)
{
    ((m == M + 1 ? cascade<M + 1>(s, x, n) : void()), ...);
}

}  // namespace

bool runShortCascade(Filter* const* sections, int count, double* x, int n)
{
    Filter* active[kShortCascade];
    int m = 0;
    for (int j = 0; j < count; ++j) {
        if (sections[j]->Stopped()) continue;
        if (!sections[j]->Steady() || m == kShortCascade) return false;
        active[m++] = sections[j];
    }
    if (n > 0 && m > 0) dispatch(std::make_integer_sequence<int, kShortCascade>{}, m, active, x, n);
    return true;
}

}  // namespace tonewright
