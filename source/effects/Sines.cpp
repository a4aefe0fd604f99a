#include "effects/Sines.h"

#include <cmath>
#include <cstring>

#include "dsp/WideVectors.h"

namespace tonewright::sines {

namespace {

// Four doubles; on the portable path the compiler splits each operation into
// two SSE2 halves, on the AVX2 path it is one register. No fused
// multiply-adds on either path, so both round alike.
typedef double Quad __attribute__((vector_size(32)));
typedef unsigned long long Bits __attribute__((vector_size(32)));

// The angle is reduced by the multiple n of pi/2 nearest to it: pi/2 in two
// parts (33 bits, then the next 53), so that x - n pi/2 comes out exact to
// about 85 bits for moderate x, carried as a head y0 and a tail y1.
constexpr double kRoundShift = 6755399441055744.0;  // 1.5 * 2^52: adding it rounds to an integer
constexpr double kTwoOverPi = 6.36619772367581382433e-01;
constexpr double kHalfPiHead = 1.57079632673412561417e+00;
constexpr double kHalfPiTail = 6.07710050650619224932e-11;

// Minimax polynomials for sin and cos on |y| <= pi/4 (the classic
// freely distributed libm kernels), which keep the error below an ulp.
constexpr double S1 = -1.66666666666666324348e-01;
constexpr double S2 = 8.33333333332248946124e-03;
constexpr double S3 = -1.98412698298579493134e-04;
constexpr double S4 = 2.75573137070700676789e-06;
constexpr double S5 = -2.50507602534068634195e-08;
constexpr double S6 = 1.58969099521155010221e-10;
constexpr double C1 = 4.16666666666666019037e-02;
constexpr double C2 = -1.38888888888741095749e-03;
constexpr double C3 = 2.48015872894767294178e-05;
constexpr double C4 = -2.75573143513906633035e-07;
constexpr double C5 = 2.08757232129817482790e-09;
constexpr double C6 = -1.13596475577881948265e-11;

[[gnu::always_inline]] inline void sinKernel(const Quad& x, const Quad& y, Quad& out)
{
    const Quad z = x * x;
    const Quad w = z * z;
    const Quad r = S2 + z * (S3 + z * S4) + z * w * (S5 + z * S6);
    const Quad v = z * x;
    out = x - ((z * (0.5 * y - v * r) - y) - v * S1);
}

[[gnu::always_inline]] inline void cosKernel(const Quad& x, const Quad& y, Quad& out)
{
    const Quad z = x * x;
    const Quad w = z * z;
    const Quad r = z * (C1 + z * (C2 + z * C3)) + w * w * (C4 + z * (C5 + z * C6));
    const Quad hz = 0.5 * z;
    const Quad v = 1.0 - hz;
    out = v + (((1.0 - v) - hz) + (z * r - x * y));
}

template <bool WantSin, bool WantCos>
[[gnu::always_inline]] inline void evaluate(const Quad& x, Quad& s, Quad& c)
{
    const Quad shifted = x * kTwoOverPi + kRoundShift;
    const Quad n = shifted - kRoundShift;
    // The low bits of the shifted value's significand are n's.
    const Bits q = (Bits)shifted;
    const Quad r = x - n * kHalfPiHead;
    const Quad w = n * kHalfPiTail;
    const Quad y0 = r - w;
    const Quad y1 = (r - y0) - w;
    const Bits odd = (Bits)((q & 1) != 0);
    if constexpr (WantSin != WantCos) {
        // Neighbouring angles of an oscillator mostly share a quadrant:
        // then one kernel gives every lane.
        const unsigned long long oddLanes = odd[0] & odd[1] & odd[2] & odd[3];
        const unsigned long long evenLanes = ~(odd[0] | odd[1] | odd[2] | odd[3]);
        if (oddLanes | evenLanes) {
            const bool useCos = (oddLanes != 0) == WantSin;
            Quad k;
            if (useCos) cosKernel(y0, y1, k);
            else sinKernel(y0, y1, k);
            const Bits sign = WantSin ? (q & 2) << 62 : ((q + 1) & 2) << 62;
            if constexpr (WantSin) s = (Quad)((Bits)k ^ sign);
            if constexpr (WantCos) c = (Quad)((Bits)k ^ sign);
            return;
        }
    }
    Quad ks, kc;
    sinKernel(y0, y1, ks);
    cosKernel(y0, y1, kc);
    // sin: quadrants 0..3 give s, c, -s, -c; cos: c, -s, -c, s. The odd
    // lanes take the other kernel, then the sign bit flips where due.
    if constexpr (WantSin) s = (Quad)((((Bits)kc & odd) | ((Bits)ks & ~odd)) ^ ((q & 2) << 62));
    if constexpr (WantCos) c = (Quad)((((Bits)ks & odd) | ((Bits)kc & ~odd)) ^ (((q + 1) & 2) << 62));
}

template <bool WantSin, bool WantCos>
[[gnu::always_inline]] inline void run(const double* x, double* s, double* c, int n)
{
    int i = 0;
    Quad v, so, co;
    for (; i + 4 <= n; i += 4) {
        std::memcpy(&v, x + i, sizeof v);
        evaluate<WantSin, WantCos>(v, so, co);
        if constexpr (WantSin) std::memcpy(s + i, &so, sizeof so);
        if constexpr (WantCos) std::memcpy(c + i, &co, sizeof co);
    }
    if (i < n) {
        v = Quad{0.0, 0.0, 0.0, 0.0};
        for (int k = 0; i + k < n; ++k) v[k] = x[i + k];
        evaluate<WantSin, WantCos>(v, so, co);
        for (int k = 0; i + k < n; ++k) {
            if constexpr (WantSin) s[i + k] = so[k];
            if constexpr (WantCos) c[i + k] = co[k];
        }
    }
    // Angles too wide for the reduction go to the C library.
    bool wide = false;
    for (int k = 0; k < n; ++k) wide |= !(std::fabs(x[k]) <= kWideAngle);
    if (wide) [[unlikely]] {
        for (int k = 0; k < n; ++k) {
            if (std::fabs(x[k]) <= kWideAngle) continue;
            if constexpr (WantSin) s[k] = std::sin(x[k]);
            if constexpr (WantCos) c[k] = std::cos(x[k]);
        }
    }
}

// c[i] = scale cos(x[i] a + b), rounded as written.
[[gnu::always_inline]] inline void runScaledCos(const double* x, double a, double b, double scale, double* c, int n)
{
    int i = 0;
    Quad v, unused, co;
    for (; i + 4 <= n; i += 4) {
        std::memcpy(&v, x + i, sizeof v);
        evaluate<false, true>(v * a + b, unused, co);
        co *= scale;
        std::memcpy(c + i, &co, sizeof co);
    }
    if (i < n) {
        v = Quad{0.0, 0.0, 0.0, 0.0};
        for (int k = 0; i + k < n; ++k) v[k] = x[i + k];
        evaluate<false, true>(v * a + b, unused, co);
        for (int k = 0; i + k < n; ++k) c[i + k] = scale * co[k];
    }
    bool wide = false;
    for (int k = 0; k < n; ++k) wide |= !(std::fabs(x[k] * a + b) <= kWideAngle);
    if (wide) [[unlikely]] {
        for (int k = 0; k < n; ++k) {
            const double angle = x[k] * a + b;
            if (!(std::fabs(angle) <= kWideAngle)) c[k] = scale * std::cos(angle);
        }
    }
}

// sin(x0 + d) = s0 + (c0 sin d - s0 (1 - cos d)) and
// cos(x0 + d) = c0 - (c0 (1 - cos d) + s0 sin d), each series to the term
// below 1e-19 at |d| = kNear; d = x - x0 is exact for such close angles.
template <bool WantSin, bool WantCos>
[[gnu::always_inline]] inline void turned(const Quad& x, double x0, double s0, double c0, Quad& s, Quad& c)
{
    const Quad d = x - x0;
    const Quad d2 = d * d;
    const Quad h = d2 * (0.5 - d2 * (1.0 / 24.0 - d2 * (1.0 / 720.0 - d2 * (1.0 / 40320.0))));
    const Quad sd = d - d * d2 * (1.0 / 6.0 - d2 * (1.0 / 120.0 - d2 * (1.0 / 5040.0)));
    if constexpr (WantSin) s = s0 + (c0 * sd - s0 * h);
    if constexpr (WantCos) c = c0 - (c0 * h + s0 * sd);
}

[[gnu::always_inline]] inline void runScaledCosNear(const double* x, double a, double b, double scale, double s0,
                                                     double c0, double* c, int n)
{
    const double t0 = x[0] * a + b;
    int i = 0;
    Quad v;
    for (; i + 4 <= n; i += 4) {
        std::memcpy(&v, x + i, sizeof v);
        Quad unused, co;
        turned<false, true>(v * a + b, t0, s0, c0, unused, co);
        co *= scale;
        std::memcpy(c + i, &co, sizeof co);
    }
    if (i < n) {
        v = Quad{x[0], x[0], x[0], x[0]};
        for (int k = 0; i + k < n; ++k) v[k] = x[i + k];
        Quad unused, co;
        turned<false, true>(v * a + b, t0, s0, c0, unused, co);
        for (int k = 0; i + k < n; ++k) c[i + k] = scale * co[k];
    }
}

// False (leaving the outputs alone) when an angle is not within kNear of
// the first.
template <bool WantSin, bool WantCos>
[[gnu::always_inline]] inline bool runNear(const double* x, double* s, double* c, int n)
{
    const double x0 = x[0];
    bool near = std::fabs(x0) <= kWideAngle;
    for (int k = 0; k < n; ++k) near &= std::fabs(x[k] - x0) <= kNear;
    if (!near) return false;
    Quad v = Quad{x0, x0, x0, x0}, so, co;
    evaluate<true, true>(v, so, co);
    const double s0 = so[0], c0 = co[0];
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        std::memcpy(&v, x + i, sizeof v);
        turned<WantSin, WantCos>(v, x0, s0, c0, so, co);
        if constexpr (WantSin) std::memcpy(s + i, &so, sizeof so);
        if constexpr (WantCos) std::memcpy(c + i, &co, sizeof co);
    }
    if (i < n) {
        v = Quad{x0, x0, x0, x0};
        for (int k = 0; i + k < n; ++k) v[k] = x[i + k];
        turned<WantSin, WantCos>(v, x0, s0, c0, so, co);
        for (int k = 0; i + k < n; ++k) {
            if constexpr (WantSin) s[i + k] = so[k];
            if constexpr (WantCos) c[i + k] = co[k];
        }
    }
    return true;
}

template <bool WantSin, bool WantCos>
bool nearPortable(const double* x, double* s, double* c, int n)
{
    return runNear<WantSin, WantCos>(x, s, c, n);
}

void scaledCosPortable(const double* x, double a, double b, double scale, double* c, int n)
{
    runScaledCos(x, a, b, scale, c, n);
}

void scaledCosNearPortable(const double* x, double a, double b, double scale, double s0, double c0, double* c, int n)
{
    runScaledCosNear(x, a, b, scale, s0, c0, c, n);
}

template <bool WantSin, bool WantCos>
void runPortable(const double* x, double* s, double* c, int n)
{
    run<WantSin, WantCos>(x, s, c, n);
}

#ifdef TONEWRIGHT_WIDE_VECTORS
template <bool WantSin, bool WantCos>
__attribute__((target("avx2"))) void runAvx2(const double* x, double* s, double* c, int n)
{
    run<WantSin, WantCos>(x, s, c, n);
}

__attribute__((target("avx2"))) void scaledCosAvx2(const double* x, double a, double b, double scale, double* c,
                                                   int n)
{
    runScaledCos(x, a, b, scale, c, n);
}

template <bool WantSin, bool WantCos>
__attribute__((target("avx2"))) bool nearAvx2(const double* x, double* s, double* c, int n)
{
    return runNear<WantSin, WantCos>(x, s, c, n);
}

__attribute__((target("avx2"))) void scaledCosNearAvx2(const double* x, double a, double b, double scale, double s0,
                                                       double c0, double* c, int n)
{
    runScaledCosNear(x, a, b, scale, s0, c0, c, n);
}
#endif

template <bool WantSin, bool WantCos>
void dispatch(const double* x, double* s, double* c, int n)
{
    if (n <= 0) return;
#ifdef TONEWRIGHT_WIDE_VECTORS
    if (WideVectors()) {
        runAvx2<WantSin, WantCos>(x, s, c, n);
        return;
    }
#endif
    runPortable<WantSin, WantCos>(x, s, c, n);
}

template <bool WantSin, bool WantCos>
void dispatchNear(const double* x, double* s, double* c, int n)
{
    if (n <= 0) return;
#ifdef TONEWRIGHT_WIDE_VECTORS
    if (WideVectors()) {
        if (!nearAvx2<WantSin, WantCos>(x, s, c, n)) runAvx2<WantSin, WantCos>(x, s, c, n);
        return;
    }
#endif
    if (!nearPortable<WantSin, WantCos>(x, s, c, n)) runPortable<WantSin, WantCos>(x, s, c, n);
}

}  // namespace

void sinCosNear(const double* x, double* s, double* c, int n)
{
    if (s && c) dispatchNear<true, true>(x, s, c, n);
    else if (s) dispatchNear<true, false>(x, s, nullptr, n);
    else if (c) dispatchNear<false, true>(x, nullptr, c, n);
}

void sinCos(const double* x, double* s, double* c, int n)
{
    if (s && c) dispatch<true, true>(x, s, c, n);
    else if (s) dispatch<true, false>(x, s, nullptr, n);
    else if (c) dispatch<false, true>(x, nullptr, c, n);
}

void sin(const double* x, double* s, int n) { dispatch<true, false>(x, s, nullptr, n); }

void cos(const double* x, double* c, int n) { dispatch<false, true>(x, nullptr, c, n); }

void scaledCos(const double* x, double a, double b, double scale, double* c, int n)
{
    if (n <= 0) return;
#ifdef TONEWRIGHT_WIDE_VECTORS
    if (WideVectors()) {
        scaledCosAvx2(x, a, b, scale, c, n);
        return;
    }
#endif
    scaledCosPortable(x, a, b, scale, c, n);
}

void scaledCosNear(const double* x, double a, double b, double scale, double s0, double c0, double* c, int n)
{
    if (n <= 0) return;
#ifdef TONEWRIGHT_WIDE_VECTORS
    if (WideVectors()) {
        scaledCosNearAvx2(x, a, b, scale, s0, c0, c, n);
        return;
    }
#endif
    scaledCosNearPortable(x, a, b, scale, s0, c0, c, n);
}

double sin(double x)
{
    double s;
    runPortable<true, false>(&x, &s, nullptr, 1);
    return s;
}

double cos(double x)
{
    double c;
    runPortable<false, true>(&x, nullptr, &c, 1);
    return c;
}

}  // namespace tonewright::sines
