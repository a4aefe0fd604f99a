#include "cabinet/Fft.h"

#include "dsp/WideVectors.h"

#ifdef TONEWRIGHT_X86_VECTORS
#include <immintrin.h>
#endif

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <utility>

namespace tonewright {

namespace fft {

constexpr int reverseBits(int x, int bits)
{
    int r = 0;
    for (int i = 0; i < bits; ++i) r |= ((x >> i) & 1) << (bits - 1 - i);
    return r;
}

// Bits t of the blocks the tile pass transforms for 2^b points: b - t even
// (the passes before it are all radix 4) and b >= 2t (a tile is T blocks of
// T points), as large as that allows up to 16 points.
// (b = 5 and 6 have too few blocks for tiles of 8 and 16 points: their last
// pass goes through a scratch array instead.)
constexpr int tileBits(int b)
{
    if (b >= 7) return b % 2 == 0 ? 4 : 3;
    if (b == 6) return 4;
    if (b == 5) return 3;
    return b % 2 == 0 ? 2 : 1;
}

constexpr int tileCount(int b) { return b >= 2 * tileBits(b) ? 1 << (b - 2 * tileBits(b)) : 1; }

struct Kernels {
    void (*complexPlus)(double* a, int b, const double* w);
    void (*complexMinus)(double* a, int b, const double* w);
    void (*passPlus)(double* a, int m, const double* tw, int j0, int j1);
    void (*passMinus)(double* a, int m, const double* tw, int j0, int j1);
    void (*tilesPlus)(double* a, int b, int first, int last);
    void (*tilesMinus)(double* a, int b, int first, int last);
    void (*realForward)(double* a, int N, const double* tw, int k0, int k1);
    void (*realInverse)(double* a, int N, const double* tw, int k0, int k1);
    void (*toSplit)(double* a, int first, int last);
    void (*fromSplit)(const double* s, double* a, int first, int last);
    void (*fromSplitStereo)(const double* s, double* a, int B, int first, int last);
    void (*productsMono)(double* acc, const double* const* x, const double* const* k, int parts, int first, int last,
                         bool clear);
    void (*productsStereo)(double* acc, const double* const* x, const double* const* k, int parts, int B, int first,
                           int last, bool clear);
    void (*fir)(const double* x, const double* taps, int T, double* y, int n);
    void (*complexPlusFrom)(const double* src, double* a, int b, const double* w);
};

}  // namespace fft

// Any processor: one complex number per pair of doubles in the compiler's
// generic vectors, with the arithmetic of the SSE2 loops.
namespace portable {
#define FFT_TARGET
struct V {
    typedef double R __attribute__((vector_size(16)));
    static constexpr int C = 1;
    static R load(const double* p)
    {
        R x;
        std::memcpy(&x, p, sizeof x);
        return x;
    }
    static void store(double* p, R x) { std::memcpy(p, &x, sizeof x); }
    static R loadPair(const double* p, const double*) { return load(p); }
    static R add(R a, R b) { return a + b; }
    static R sub(R a, R b) { return a - b; }
    static R mul(R a, R b) { return a * b; }
    static R set1(double x) { return R{x, x}; }
    static R reverse(R x) { return x; }
    static R conj(R x) { return R{x[0], -x[1]}; }
    static R fma(R a, R b, R c) { return add(mul(a, b), c); }
    // Sign i x: i x = (-xi, xr), -i x = (xi, -xr).
    template <int Sign>
    static R mulI(R x)
    {
        return Sign > 0 ? R{-x[1], x[0]} : R{x[1], -x[0]};
    }
    template <int Sign>
    static R addI(R a, R b)
    {
        return a + mulI<Sign>(b);
    }
    template <int Sign>
    static R subI(R a, R b)
    {
        return a - mulI<Sign>(b);
    }
    static R cplx(double re, double im) { return R{re, im}; }
    // Eight complex numbers to the split form (see sse2::V::splitGroup).
    static void splitGroup(double* p)
    {
        double c[16];
        std::memcpy(c, p, sizeof c);
        for (int j = 0; j < fft::kGroup; ++j) {
            p[fft::splitRe(j)] = c[2 * j];
            p[fft::splitIm(j)] = c[2 * j + 1];
        }
    }
    template <bool Reversed>
    static void joinGroup(const double* s, double* out)
    {
        for (int j = 0; j < fft::kGroup; ++j) {
            double* c = out + 2 * (Reversed ? fft::kGroup - 1 - j : j);
            c[0] = s[fft::splitRe(j)];
            c[1] = s[fft::splitIm(j)];
        }
    }
    // x w (Sign 1) or x conj(w) (Sign -1), the signs changed before the
    // products as the SSE2 loops change them.
    template <int Sign>
    static R cmul(R x, R w)
    {
        const R re = set1(x[0]), im = set1(x[1]);
        if constexpr (Sign > 0)
            return add(mul(re, w), mul(im, R{-w[1], w[0]}));
        else
            return add(mul(re, conj(w)), mul(im, R{w[1], w[0]}));
    }
    template <int Sign>
    static R cmulAt(R x, const double* w)
    {
        return cmul<Sign>(x, load(w));
    }
};
#include "cabinet/FftKernels.inc"
#undef FFT_TARGET
}  // namespace portable

#ifdef TONEWRIGHT_X86_VECTORS
// Values the loops pin in vector registers (see FftKernels.inc).
#define FFT_REGISTER(x) "+x"(x)

// One complex number per SSE2 register, which every x86-64 processor has.
namespace sse2 {
#define FFT_TARGET
struct V {
    using R = __m128d;
    static constexpr int C = 1;
    static R load(const double* p) { return _mm_loadu_pd(p); }
    static void store(double* p, R x) { _mm_storeu_pd(p, x); }
    static R loadPair(const double* p, const double*) { return _mm_loadu_pd(p); }
    static R add(R a, R b) { return _mm_add_pd(a, b); }
    static R sub(R a, R b) { return _mm_sub_pd(a, b); }
    static R mul(R a, R b) { return _mm_mul_pd(a, b); }
    static R set1(double x) { return _mm_set1_pd(x); }
    static R reverse(R x) { return x; }
    static R conj(R x) { return _mm_xor_pd(x, _mm_setr_pd(0.0, -0.0)); }
    static R fma(R a, R b, R c) { return _mm_add_pd(_mm_mul_pd(a, b), c); }
    static R swapParts(R x) { return _mm_shuffle_pd(x, x, 1); }
    // (a_re - a_im, b_re + b_im), or with Conj (a_re + a_im, b_re - b_im).
    template <bool Conj>
    static R combine(R a, R b)
    {
        const R lo = _mm_unpacklo_pd(a, b), hi = _mm_unpackhi_pd(a, b);
        return _mm_add_pd(lo, _mm_xor_pd(hi, Conj ? _mm_setr_pd(0.0, -0.0) : _mm_setr_pd(-0.0, 0.0)));
    }
    // Sign i x: i x = (-xi, xr), -i x = (xi, -xr).
    template <int Sign>
    static R mulI(R x)
    {
        const R swapped = _mm_shuffle_pd(x, x, 1);
        return _mm_xor_pd(swapped, Sign > 0 ? _mm_setr_pd(-0.0, 0.0) : _mm_setr_pd(0.0, -0.0));
    }
    template <int Sign>
    static R addI(R a, R b)
    {
        return _mm_add_pd(a, mulI<Sign>(b));
    }
    template <int Sign>
    static R subI(R a, R b)
    {
        return _mm_sub_pd(a, mulI<Sign>(b));
    }
    static R cplx(double re, double im) { return _mm_setr_pd(re, im); }
    // A group of eight complex numbers c0..c7 (interleaved) and its split
    // form: real parts in the order 0 2 1 3 4 6 5 7, then the imaginary
    // parts alike (the order AVX2 reaches without crossing lanes).
    static void splitGroup(double* p)
    {
        R c[8];
        for (int i = 0; i < 8; ++i) c[i] = _mm_loadu_pd(p + 2 * i);
        for (int q = 0; q < 2; ++q) {
            const R* d = c + 4 * q;
            _mm_storeu_pd(p + 4 * q, _mm_unpacklo_pd(d[0], d[2]));
            _mm_storeu_pd(p + 4 * q + 2, _mm_unpacklo_pd(d[1], d[3]));
            _mm_storeu_pd(p + 8 + 4 * q, _mm_unpackhi_pd(d[0], d[2]));
            _mm_storeu_pd(p + 8 + 4 * q + 2, _mm_unpackhi_pd(d[1], d[3]));
        }
    }
    // The numbers of split group s into out, c0..c7 or (Reversed) c7..c0.
    template <bool Reversed>
    static void joinGroup(const double* s, double* out)
    {
        for (int q = 0; q < 2; ++q) {
            const R r02 = _mm_loadu_pd(s + 4 * q), r13 = _mm_loadu_pd(s + 4 * q + 2);
            const R i02 = _mm_loadu_pd(s + 8 + 4 * q), i13 = _mm_loadu_pd(s + 8 + 4 * q + 2);
            const R c[4] = {_mm_unpacklo_pd(r02, i02), _mm_unpacklo_pd(r13, i13), _mm_unpackhi_pd(r02, i02),
                            _mm_unpackhi_pd(r13, i13)};
            for (int j = 0; j < 4; ++j) _mm_storeu_pd(out + 2 * (Reversed ? 7 - 4 * q - j : 4 * q + j), c[j]);
        }
    }
    // x w (Sign 1) or x conj(w) (Sign -1).
    template <int Sign>
    static R cmul(R x, R w)
    {
        const R re = _mm_unpacklo_pd(x, x), im = _mm_unpackhi_pd(x, x);
        const R swapped = _mm_shuffle_pd(w, w, 1);
        if constexpr (Sign > 0)
            return _mm_add_pd(_mm_mul_pd(re, w), _mm_mul_pd(im, _mm_xor_pd(swapped, _mm_setr_pd(-0.0, 0.0))));
        else
            return _mm_add_pd(_mm_mul_pd(re, _mm_xor_pd(w, _mm_setr_pd(0.0, -0.0))), _mm_mul_pd(im, swapped));
    }
    template <int Sign>
    static R cmulAt(R x, const double* w)
    {
        return cmul<Sign>(x, _mm_loadu_pd(w));
    }
};
#include "cabinet/FftKernels.inc"
#undef FFT_TARGET
}  // namespace sse2

// Two complex numbers per AVX register, with FMA.
namespace avx2 {
#define FFT_TARGET __attribute__((target("avx2,fma")))
struct V {
    using R = __m256d;
    static constexpr int C = 2;
    FFT_TARGET static R load(const double* p) { return _mm256_loadu_pd(p); }
    FFT_TARGET static void store(double* p, R x) { _mm256_storeu_pd(p, x); }
    FFT_TARGET static R loadPair(const double* lo, const double* hi)
    {
        return _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(lo)), _mm_loadu_pd(hi), 1);
    }
    FFT_TARGET static R add(R a, R b) { return _mm256_add_pd(a, b); }
    FFT_TARGET static R sub(R a, R b) { return _mm256_sub_pd(a, b); }
    FFT_TARGET static R mul(R a, R b) { return _mm256_mul_pd(a, b); }
    FFT_TARGET static R set1(double x) { return _mm256_set1_pd(x); }
    FFT_TARGET static R reverse(R x) { return _mm256_permute2f128_pd(x, x, 1); }
    FFT_TARGET static R conj(R x) { return _mm256_xor_pd(x, _mm256_setr_pd(0.0, -0.0, 0.0, -0.0)); }
    FFT_TARGET static R fma(R a, R b, R c) { return _mm256_fmadd_pd(a, b, c); }
    FFT_TARGET static R swapParts(R x) { return _mm256_permute_pd(x, 0x5); }
    template <bool Conj>
    FFT_TARGET static R combine(R a, R b)
    {
        const R difference = _mm256_hsub_pd(a, b), sum = _mm256_hadd_pd(a, b);
        return Conj ? _mm256_blend_pd(sum, difference, 0xA) : _mm256_blend_pd(difference, sum, 0xA);
    }
    template <int Sign>
    FFT_TARGET static R mulI(R x)
    {
        const R swapped = _mm256_permute_pd(x, 0x5);
        return _mm256_xor_pd(swapped, Sign > 0 ? _mm256_setr_pd(-0.0, 0.0, -0.0, 0.0)
                                               : _mm256_setr_pd(0.0, -0.0, 0.0, -0.0));
    }
    // a + i b = (ar - bi, ai + br); a - i b = (ar + bi, ai - br), the
    // multiplication by one exact.
    template <int Sign>
    FFT_TARGET static R addI(R a, R b)
    {
        const R swapped = _mm256_permute_pd(b, 0x5);
        if constexpr (Sign > 0)
            return _mm256_addsub_pd(a, swapped);
        else
            return _mm256_fmsubadd_pd(a, _mm256_set1_pd(1.0), swapped);
    }
    template <int Sign>
    FFT_TARGET static R subI(R a, R b)
    {
        return addI<-Sign>(a, b);
    }
    FFT_TARGET static R cplx(double re, double im) { return _mm256_setr_pd(re, im, re, im); }
    // (See the SSE2 V.) Numbers (0, 1), (2, 3) unpack to (re 0 2 1 3), (im 0 2 1 3).
    FFT_TARGET static void splitGroup(double* p)
    {
        const R a = _mm256_loadu_pd(p), b = _mm256_loadu_pd(p + 4), c = _mm256_loadu_pd(p + 8),
                d = _mm256_loadu_pd(p + 12);
        _mm256_storeu_pd(p, _mm256_unpacklo_pd(a, b));
        _mm256_storeu_pd(p + 4, _mm256_unpacklo_pd(c, d));
        _mm256_storeu_pd(p + 8, _mm256_unpackhi_pd(a, b));
        _mm256_storeu_pd(p + 12, _mm256_unpackhi_pd(c, d));
    }
    template <bool Reversed>
    FFT_TARGET static void joinGroup(const double* s, double* out)
    {
        for (int q = 0; q < 2; ++q) {
            const R re = _mm256_loadu_pd(s + 4 * q), im = _mm256_loadu_pd(s + 8 + 4 * q);
            const R c01 = _mm256_unpacklo_pd(re, im), c23 = _mm256_unpackhi_pd(re, im);
            if constexpr (Reversed) {
                _mm256_storeu_pd(out + 8 - 8 * q, _mm256_permute2f128_pd(c23, c23, 1));
                _mm256_storeu_pd(out + 12 - 8 * q, _mm256_permute2f128_pd(c01, c01, 1));
            } else {
                _mm256_storeu_pd(out + 8 * q, c01);
                _mm256_storeu_pd(out + 8 * q + 4, c23);
            }
        }
    }
    // x w (Sign 1) or x conj(w) (Sign -1).
    template <int Sign>
    FFT_TARGET static R cmulSplit(R x, R re, R im)
    {
        const R cross = _mm256_mul_pd(_mm256_permute_pd(x, 0x5), im);
        if constexpr (Sign > 0)
            return _mm256_fmaddsub_pd(x, re, cross);
        else
            return _mm256_fmsubadd_pd(x, re, cross);
    }
    template <int Sign>
    FFT_TARGET static R cmul(R x, R w)
    {
        return cmulSplit<Sign>(x, _mm256_movedup_pd(w), _mm256_permute_pd(w, 0xF));
    }
    // The same with w read from memory: both duplications are loads (the
    // second reads one double past the two numbers; tables leave room).
    template <int Sign>
    FFT_TARGET static R cmulAt(R x, const double* w)
    {
        return cmulSplit<Sign>(x, _mm256_movedup_pd(_mm256_loadu_pd(w)), _mm256_movedup_pd(_mm256_loadu_pd(w + 1)));
    }
};
#include "cabinet/FftKernels.inc"
#undef FFT_TARGET
}  // namespace avx2
#undef FFT_REGISTER
#endif

namespace {

constexpr double kPi = 3.14159265358979323846;

fft::Isa detectIsa()
{
#ifdef TONEWRIGHT_X86_VECTORS
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") ? fft::Isa::avx2 : fft::Isa::sse2;
#else
    return fft::Isa::portable;
#endif
}

// The loops of an instruction set this build and processor have.
const fft::Kernels* kernelsOf(fft::Isa isa)
{
    switch (isa) {
#ifdef TONEWRIGHT_X86_VECTORS
    case fft::Isa::avx2: return &avx2::kernels;
    case fft::Isa::sse2: return &sse2::kernels;
#endif
    default: return &portable::kernels;
    }
}

const fft::Isa supported = detectIsa();
std::atomic<const fft::Kernels*> active{kernelsOf(supported)};

const fft::Kernels& kernels() { return *active.load(std::memory_order_relaxed); }

// e^(2 pi i idx / m) for 0 <= idx < m, from angles of at most pi/4, so that
// the values at multiples of pi/4 are exact.
void unitRoot(int idx, int m, double& c, double& s)
{
    const int quarter = m / 4;
    const int quadrant = idx / quarter;
    const int r = idx % quarter;
    double x, y;
    if (2 * r == quarter) {
        x = y = 0.70710678118654752440;
    } else if (2 * r < quarter) {
        const double angle = 2.0 * kPi * r / m;
        x = std::cos(angle);
        y = std::sin(angle);
    } else {
        const double angle = 2.0 * kPi * (quarter - r) / m;
        x = std::sin(angle);
        y = std::cos(angle);
    }
    switch (quadrant) {
    case 0: c = x, s = y; break;
    case 1: c = -y, s = x; break;
    case 2: c = -x, s = -y; break;
    default: c = y, s = -x; break;
    }
}

void ensureTable(int T, int* ip, double* w)
{
    if (ip[0] >= T) return;
    for (int m = ip[0] >= 8 ? 2 * ip[0] : 8; m <= T; m *= 2) {
        const int q = m / 4;
        for (int series = 1; series <= 3; ++series) {
            double* tw = w + fft::spanOffset(m) + (series - 1) * 2 * q;
            for (int j = 0; j < q; ++j) unitRoot(series * j, m, tw[2 * j], tw[2 * j + 1]);
        }
    }
    ip[0] = T;
}

// Two and four points (e^(Sign 2 pi i / 4) = Sign i).
void smallComplex(int N, int sign, double* a)
{
    if (N == 2) {
        const double r = a[0] - a[2], i = a[1] - a[3];
        a[0] += a[2];
        a[1] += a[3];
        a[2] = r;
        a[3] = i;
        return;
    }
    const double t0r = a[0] + a[4], t0i = a[1] + a[5];
    const double t1r = a[0] - a[4], t1i = a[1] - a[5];
    const double t2r = a[2] + a[6], t2i = a[3] + a[7];
    const double t3r = a[2] - a[6], t3i = a[3] - a[7];
    a[0] = t0r + t2r;
    a[1] = t0i + t2i;
    a[4] = t0r - t2r;
    a[5] = t0i - t2i;
    a[2] = t1r - sign * t3i;
    a[3] = t1i + sign * t3r;
    a[6] = t1r + sign * t3i;
    a[7] = t1i - sign * t3r;
}

void complexTransform(int N, int sign, double* a, const double* w)
{
    if (N < 2) return;
    if (N <= 4) {
        smallComplex(N, sign, a);
        return;
    }
    const int b = fft::floorLog2(N);
    (sign > 0 ? kernels().complexPlus : kernels().complexMinus)(a, b, w);
}

// The split of rdft for the one pair k, N - k, with W^k = (c, s) (see
// FftKernels.inc).
void realForwardPair(double* a, int N, int k, double c, double s)
{
    const int m = N - k;
    const double zkr = a[2 * k], zki = a[2 * k + 1];
    const double zmr = a[2 * m], zmi = a[2 * m + 1];
    const double er = 0.5 * (zkr + zmr), ei = 0.5 * (zki - zmi);
    const double orr = 0.5 * (zki + zmi), oi = 0.5 * -(zkr - zmr);
    const double tr = orr * c - oi * s, ti = oi * c + orr * s;
    a[2 * k] = er + tr;
    a[2 * k + 1] = ei + ti;
    a[2 * m] = er - tr;
    a[2 * m + 1] = -(ei - ti);
}

void realInversePair(double* a, int N, int k, double c, double s)
{
    const int m = N - k;
    const double xkr = a[2 * k], xki = a[2 * k + 1];
    const double xmr = a[2 * m], xmi = a[2 * m + 1];
    const double er = 0.5 * (xkr + xmr), ei = 0.5 * (xki - xmi);
    const double dr = 0.5 * (xkr - xmr), di = 0.5 * (xki + xmi);
    const double orr = dr * c + di * s, oi = di * c - dr * s;
    a[2 * k] = er - oi;
    a[2 * k + 1] = ei + orr;
    a[2 * m] = er + oi;
    a[2 * m + 1] = -(ei - orr);
}

// rdft's split for bins 0, N (sharing a[0], a[1]) and the pair 1, N - 1.
void realEdges(double* a, int N, int sign, const double* tw)
{
    if (sign > 0) {
        const double zr = a[0], zi = a[1];
        a[0] = zr + zi;
        a[1] = zr - zi;
        if (N >= 4) realForwardPair(a, N, 1, tw[2], tw[3]);
    } else {
        const double x0 = a[0], xn = a[1];
        a[0] = 0.5 * (x0 + xn);
        a[1] = 0.5 * (x0 - xn);
        if (N >= 4) realInversePair(a, N, 1, tw[2], tw[3]);
    }
}

}  // namespace

namespace fft {

Isa SupportedIsa() { return supported; }

Isa ActiveIsa()
{
    const Kernels* k = active.load();
    for (Isa isa : {Isa::avx2, Isa::sse2})
        if (isa <= supported && k == kernelsOf(isa)) return isa;
    return Isa::portable;
}

void UseIsa(Isa isa) { active.store(kernelsOf(std::min(isa, supported))); }

void ToSplit(double* a, int first, int last) { kernels().toSplit(a, first, last); }

void FromSplit(const double* s, double* a, int first, int last) { kernels().fromSplit(s, a, first, last); }

void FromSplitStereo(const double* s, double* a, int B, int first, int last)
{
    kernels().fromSplitStereo(s, a, B, first, last);
}

void Fir(const double* x, const double* taps, int T, double* y, int n) { kernels().fir(x, taps, T, y, n); }

// Bin 0 goes through the vector loops with the rest and is then replaced.

void ProductsMono(double* acc, const double* const* x, const double* const* k, int parts, int first, int last,
                  bool clear)
{
    double dc = clear ? 0.0 : acc[0], nyquist = clear ? 0.0 : acc[kGroup];
    kernels().productsMono(acc, x, k, parts, first, last, clear);
    if (first > 0 || last <= first) return;
    for (int p = 0; p < parts; ++p) {
        dc += x[p][0] * k[p][0];
        nyquist += x[p][kGroup] * k[p][kGroup];
    }
    acc[0] = dc;
    acc[kGroup] = nyquist;
}

void ProductsStereo(double* acc, const double* const* x, const double* const* k, int parts, int B, int first,
                    int last, bool clear)
{
    const int places[4] = {0, kGroup, 2 * B, 2 * B + kGroup};
    double e[4] = {};
    if (!clear)
        for (int i = 0; i < 4; ++i) e[i] = acc[places[i]];
    kernels().productsStereo(acc, x, k, parts, B, first, last, clear);
    if (first > 0 || last <= first) return;
    for (int p = 0; p < parts; ++p) {
        const double dc = x[p][0], nyquist = x[p][kGroup];
        e[0] += dc * k[p][places[0]];
        e[1] += dc * k[p][places[1]];
        e[2] += nyquist * k[p][places[2]];
        e[3] += nyquist * k[p][places[3]];
    }
    for (int i = 0; i < 4; ++i) acc[places[i]] = e[i];
}

namespace {

struct Planner {
    Step* steps;
    int capacity;
    int grain;
    int count = 0;

    void Add(const Step& s)
    {
        if (count < capacity) steps[count] = s;
        ++count;
    }
    // `total` units of `cost` points each, in steps of about `grain` points;
    // `multiple`: the units a step takes come in multiples of it.
    template <class F>
    void Split(int total, int cost, int multiple, F make)
    {
        int per = std::max(multiple, grain / std::max(1, cost) / multiple * multiple);
        for (int first = 0; first < total; first += per) {
            const int last = std::min(total, first + per);
            Step s = make(first, last);
            s.cost = (last - first) * cost;
            Add(s);
        }
    }
    static Step Make(Step::Kind kind, int sign, int span, int base, int first, int last)
    {
        Step s;
        s.kind = kind;
        s.sign = static_cast<signed char>(sign);
        s.span = span;
        s.base = base;
        s.first = first;
        s.last = last;
        return s;
    }
    void Pass(int sign, int span, int base)
    {
        Split(span / 4, 4, 2, [&](int first, int last) { return Make(Step::pass, sign, span, base, first, last); });
    }
    // The order of complexFft's passes (see difPasses).
    void Passes(int sign, int m, int base, int T)
    {
        if (m <= T) return;
        if (m > kInCache) {
            Pass(sign, m, base);
            for (int part = 0; part < 4; ++part) Passes(sign, m / 4, base + part * (m / 4), T);
            return;
        }
        for (int span = m; span > T; span /= 4)
            for (int b = base; b < base + m; b += span) Pass(sign, span, b);
    }
    void Complex(int sign, int N)
    {
        const int b = floorLog2(N);
        const int t = tileBits(b);
        Passes(sign, N, 0, 1 << t);
        const int tiles = tileCount(b);
        Split(tiles, b >= 2 * t ? (1 << (2 * t)) : N, 1,
              [&](int first, int last) { return Make(Step::tiles, sign, b, 0, first, last); });
    }
    void Real(int sign, int N)
    {
        Step edges = Make(Step::realEdges, sign, N, 0, 0, 0);
        edges.cost = 8;
        Add(edges);
        Split(N / 2 - 2, 4, 2,
              [&](int first, int last) { return Make(Step::realPairs, sign, N, 0, 2 + first, 2 + last); });
    }
};

}  // namespace

int PlanSteps(Transform t, int n, int grain, Step* steps, int capacity)
{
    Planner p{steps, capacity, std::max(1, grain)};
    switch (t) {
    case Transform::rdftPlus:
        p.Complex(1, n / 2);
        p.Real(1, n / 2);
        break;
    case Transform::rdftMinus:
        p.Real(-1, n / 2);
        p.Complex(-1, n / 2);
        break;
    case Transform::cdftPlus: p.Complex(1, n / 2); break;
    case Transform::cdftMinus: p.Complex(-1, n / 2); break;
    }
    return p.count;
}

void RunStep(const Step& s, double* a, const double* w)
{
    const Kernels& k = kernels();
    switch (s.kind) {
    case Step::pass:
        (s.sign > 0 ? k.passPlus : k.passMinus)(a + 2 * s.base, s.span, w + spanOffset(s.span), s.first, s.last);
        break;
    case Step::tiles: (s.sign > 0 ? k.tilesPlus : k.tilesMinus)(a, s.span, s.first, s.last); break;
    case Step::realEdges: realEdges(a, s.span, s.sign, w + spanOffset(2 * s.span)); break;
    case Step::realPairs:
        (s.sign > 0 ? k.realForward : k.realInverse)(a, s.span, w + spanOffset(2 * s.span), s.first, s.last);
        break;
    }
}

}  // namespace fft

void cdft(int n, int isgn, double* a, int* ip, double* w)
{
    const int N = n / 2;
    if (N > 4) ensureTable(N, ip, w);
    complexTransform(N, isgn >= 0 ? 1 : -1, a, w);
}

void rdftFrom(int n, const double* src, double* a, int* ip, double* w)
{
    const int N = n / 2;
    if (N < 8) {
        std::copy(src, src + n, a);
        rdft(n, 1, a, ip, w);
        return;
    }
    ensureTable(n, ip, w);
    const double* tw = w + fft::spanOffset(n);
    kernels().complexPlusFrom(src, a, fft::floorLog2(N), w);
    realEdges(a, N, 1, tw);
    kernels().realForward(a, N, tw, 2, N / 2);
}

// Bins 0 and N (the real DC and Nyquist values) share a[0], a[1]; bin N/2
// is its own partner and comes out of the split unchanged.
void rdft(int n, int isgn, double* a, int* ip, double* w)
{
    if (n < 2) return;
    const int N = n / 2;
    if (n >= 8) ensureTable(n, ip, w);
    const double* tw = n >= 8 ? w + fft::spanOffset(n) : w;
    if (isgn >= 0) {
        complexTransform(N, 1, a, w);
        realEdges(a, N, 1, tw);
        if (N >= 8) kernels().realForward(a, N, tw, 2, N / 2);
    } else {
        realEdges(a, N, -1, tw);
        if (N >= 8) kernels().realInverse(a, N, tw, 2, N / 2);
        complexTransform(N, -1, a, w);
    }
}

}  // namespace tonewright
