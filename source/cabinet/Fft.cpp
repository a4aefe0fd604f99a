#include "cabinet/Fft.h"

#include <cmath>
#include <utility>

namespace tonewright {

// Layout of the work arrays:
//   ip[0]  T, the length the table was built for (0: not built yet);
//   ip[1]  h, the bits of the bit-reversal table in ip[2 ..] (-1: none);
//   w      (cos, sin)(2 pi k / T) for k < T/4, interleaved.
// A table built for T serves every complex length up to T (by stride), and
// rdft(n) uses the table of length n: its half-length complex transform and
// its twiddles e^(2 pi i k / n) both come from it.
//
// The complex transform is an iterative radix-4 decimation in frequency,
// each radix-4 step being two fused radix-2 steps so that the result comes
// out in bit-reversed order, which one permutation then puts right.

namespace {

constexpr double kPi = 3.14159265358979323846;

void makeTable(int T, int* ip, double* w)
{
    ip[0] = T;
    const int quarter = T / 4;
    const double delta = 2.0 * kPi / T;
    for (int k = 0; k < quarter; ++k) {
        w[2 * k] = std::cos(delta * k);
        w[2 * k + 1] = std::sin(delta * k);
    }
    // The exact values where they are known keep the small lengths exact.
    if (quarter > 0) {
        w[0] = 1.0;
        w[1] = 0.0;
    }
    if (T >= 8) {
        w[T / 4] = w[T / 4 + 1] = std::sqrt(0.5);
    }
}

void ensureTable(int T, int* ip, double* w)
{
    if (ip[0] == 0) ip[1] = -1;
    if (T > ip[0]) makeTable(T, ip, w);
}

// cos and sin of 2 pi idx / T for 0 <= idx < 3T/4.
struct Twiddle {
    double c, s;
};

inline Twiddle twiddle(const double* w, int quarter, int idx)
{
    if (idx < quarter) return {w[2 * idx], w[2 * idx + 1]};
    if (idx < 2 * quarter) {
        const int k = idx - quarter;
        return {-w[2 * k + 1], w[2 * k]};
    }
    const int k = idx - 2 * quarter;
    return {-w[2 * k], -w[2 * k + 1]};
}

// Puts the N = 2^b points of a into bit-reversed order. The table in ip holds
// the reversal of h bits; the index is split into h high bits, b - 2h' middle
// bits (none or one) and h' low bits.
void bitReverse(int b, double* a, int* ip)
{
    if (b < 2) return;
    const int hb = b / 2;
    if (ip[1] < hb) {
        int* table = ip + 2;
        for (int x = 0; x < (1 << hb); ++x) {
            int r = 0;
            for (int bit = 0; bit < hb; ++bit)
                if (x & (1 << bit)) r |= 1 << (hb - 1 - bit);
            table[x] = r;
        }
        ip[1] = hb;
    }
    const int* table = ip + 2;
    const int shift = ip[1] - hb;
    const int half = 1 << hb;
    const int highShift = b - hb;
    const int middles = 1 << (b - 2 * hb);
    for (int m = 0; m < middles; ++m) {
        for (int c = 0; c < half; ++c) {
            const int rc = table[c] >> shift;
            const int base = (m << hb) | c;
            const int rbase = (rc << highShift) | (m << hb);
            for (int hi = 0; hi < half; ++hi) {
                const int i = base | (hi << highShift);
                const int j = rbase | (table[hi] >> shift);
                if (i < j) {
                    std::swap(a[2 * i], a[2 * j]);
                    std::swap(a[2 * i + 1], a[2 * j + 1]);
                }
            }
        }
    }
}

// One radix-4 butterfly at x0 = a[2p], x1 = a[2(p + q)], ... with twiddles
// W^j, W^2j, W^3j; Sign is -1 for e^(-i...) and +1 for e^(+i...).
template <int Sign>
inline void butterfly(double* a, int p, int q, Twiddle w1, Twiddle w2, Twiddle w3)
{
    double* x0 = a + 2 * p;
    double* x1 = x0 + 2 * q;
    double* x2 = x1 + 2 * q;
    double* x3 = x2 + 2 * q;
    const double t0r = x0[0] + x2[0], t0i = x0[1] + x2[1];
    const double t1r = x0[0] - x2[0], t1i = x0[1] - x2[1];
    const double t2r = x1[0] + x3[0], t2i = x1[1] + x3[1];
    const double t3r = x1[0] - x3[0], t3i = x1[1] - x3[1];
    x0[0] = t0r + t2r;
    x0[1] = t0i + t2i;
    // (t0 - t2) W^2j
    const double ur = t0r - t2r, ui = t0i - t2i;
    const double s2 = Sign * w2.s, s1 = Sign * w1.s, s3 = Sign * w3.s;
    x1[0] = ur * w2.c - ui * s2;
    x1[1] = ur * s2 + ui * w2.c;
    // (t1 -/+ i t3) W^j and (t1 +/- i t3) W^3j; i t3 = (-t3i, t3r)
    const double ar = t1r - Sign * t3i, ai = t1i + Sign * t3r;
    const double br = t1r + Sign * t3i, bi = t1i - Sign * t3r;
    x2[0] = ar * w1.c - ai * s1;
    x2[1] = ar * s1 + ai * w1.c;
    x3[0] = br * w3.c - bi * s3;
    x3[1] = br * s3 + bi * w3.c;
}

// One radix-4 step of span m over the points a[0 .. extent).
template <int Sign>
void radix4Stage(double* a, int extent, int m, const double* w, int T)
{
    const int q = m / 4;
    const int step = T / m;
    const int quarter = T / 4;
    constexpr int kLocal = 64;
    if (q > kLocal) {
        for (int j = 0; j < q; ++j) {
            const Twiddle w1 = twiddle(w, quarter, j * step);
            const Twiddle w2 = twiddle(w, quarter, 2 * j * step);
            const Twiddle w3 = twiddle(w, quarter, 3 * j * step);
            for (int base = 0; base < extent; base += m) butterfly<Sign>(a, base + j, q, w1, w2, w3);
        }
        return;
    }
    Twiddle local[3][kLocal];
    for (int j = 0; j < q; ++j) {
        local[0][j] = twiddle(w, quarter, j * step);
        local[1][j] = twiddle(w, quarter, 2 * j * step);
        local[2][j] = twiddle(w, quarter, 3 * j * step);
    }
    for (int base = 0; base < extent; base += m)
        for (int j = 0; j < q; ++j) butterfly<Sign>(a, base + j, q, local[0][j], local[1][j], local[2][j]);
}

// The last step, without twiddles: radix 4 or 2 over a[0 .. extent).
template <int Sign>
void lastStage(double* a, int extent, int m)
{
    if (m == 4) {
        for (int base = 0; base < extent; base += 4) {
            double* x = a + 2 * base;
            const double t0r = x[0] + x[4], t0i = x[1] + x[5];
            const double t1r = x[0] - x[4], t1i = x[1] - x[5];
            const double t2r = x[2] + x[6], t2i = x[3] + x[7];
            const double t3r = x[2] - x[6], t3i = x[3] - x[7];
            x[0] = t0r + t2r;
            x[1] = t0i + t2i;
            x[2] = t0r - t2r;
            x[3] = t0i - t2i;
            x[4] = t1r - Sign * t3i;
            x[5] = t1i + Sign * t3r;
            x[6] = t1r + Sign * t3i;
            x[7] = t1i - Sign * t3r;
        }
    } else {
        for (int base = 0; base < extent; base += 2) {
            double* x = a + 2 * base;
            const double r = x[0] - x[2], i = x[1] - x[3];
            x[0] += x[2];
            x[1] += x[3];
            x[2] = r;
            x[3] = i;
        }
    }
}

// All steps for a block of m points. Large blocks go depth first, so that
// the later steps work on quarters that fit in the cache.
template <int Sign>
void transformBlock(double* a, int m, const double* w, int T)
{
    constexpr int kInCache = 4096;
    if (m > kInCache) {
        radix4Stage<Sign>(a, m, m, w, T);
        for (int part = 0; part < 4; ++part) transformBlock<Sign>(a + 2 * part * (m / 4), m / 4, w, T);
        return;
    }
    int span = m;
    for (; span >= 8; span >>= 2) radix4Stage<Sign>(a, m, span, w, T);
    lastStage<Sign>(a, m, span);
}

template <int Sign>
void complexTransform(int N, double* a, int* ip, const double* w)
{
    if (N < 2) return;
    transformBlock<Sign>(a, N, w, ip[0]);
    bitReverse(fft::floorLog2(N), a, ip);
}

}  // namespace

void cdft(int n, int isgn, double* a, int* ip, double* w)
{
    const int N = n / 2;
    if (N < 2) {
        if (ip[0] == 0) ip[1] = -1;
        return;
    }
    ensureTable(N, ip, w);
    if (isgn >= 0)
        complexTransform<1>(N, a, ip, w);
    else
        complexTransform<-1>(N, a, ip, w);
}

void rdft(int n, int isgn, double* a, int* ip, double* w)
{
    if (n < 2) return;
    const int N = n / 2;
    ensureTable(n, ip, w);
    const int T = ip[0];
    const int quarter = T / 4;
    const int step = T / n;
    if (isgn >= 0) {
        complexTransform<1>(N, a, ip, w);
        const double zr = a[0], zi = a[1];
        a[0] = zr + zi;
        a[1] = zr - zi;
        for (int k = 1; k <= N / 2; ++k) {
            const int km = N - k;
            const double zkr = a[2 * k], zki = a[2 * k + 1];
            const double zmr = a[2 * km], zmi = a[2 * km + 1];
            const double er = 0.5 * (zkr + zmr), ei = 0.5 * (zki - zmi);
            const double orr = 0.5 * (zki + zmi), oi = -0.5 * (zkr - zmr);
            const Twiddle t = twiddle(w, quarter, k * step);
            const double tr = t.c * orr - t.s * oi, ti = t.c * oi + t.s * orr;
            a[2 * k] = er + tr;
            a[2 * k + 1] = ei + ti;
            a[2 * km] = er - tr;
            a[2 * km + 1] = ti - ei;
        }
    } else {
        const double x0 = a[0], xn = a[1];
        a[0] = 0.5 * (x0 + xn);
        a[1] = 0.5 * (x0 - xn);
        for (int k = 1; k <= N / 2; ++k) {
            const int km = N - k;
            const double xkr = a[2 * k], xki = a[2 * k + 1];
            const double xmr = a[2 * km], xmi = a[2 * km + 1];
            const double er = 0.5 * (xkr + xmr), ei = 0.5 * (xki - xmi);
            const double dr = 0.5 * (xkr - xmr), di = 0.5 * (xki + xmi);
            const Twiddle t = twiddle(w, quarter, k * step);
            const double orr = dr * t.c + di * t.s, oi = di * t.c - dr * t.s;
            a[2 * k] = er - oi;
            a[2 * k + 1] = ei + orr;
            a[2 * km] = er + oi;
            a[2 * km + 1] = orr - ei;
        }
        complexTransform<-1>(N, a, ip, w);
    }
}

}  // namespace tonewright
