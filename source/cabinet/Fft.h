#pragma once
// Discrete Fourier transforms of power-of-two lengths, in place, with the
// classic (n, isgn, a, ip, w) calling convention:
//
// cdft(n, isgn, a, ip, w): complex transform of n/2 points held as
//   a[2j] = Re x[j], a[2j+1] = Im x[j];
//   X[k] = sum_j x[j] exp(isgn * 2 pi i j k / (n/2)) with isgn = -1 or +1.
//   cdft(n, 1) after cdft(n, -1) gives the input times n/2.
//
// rdft(n, isgn, a, ip, w): real transform of n samples.
//   isgn = 1: R[k] + i I[k] = sum_j a[j] exp(+2 pi i j k / n) (the complex
//   conjugate of the usual forward DFT), packed as a[2k] = R[k],
//   a[2k+1] = I[k] for 0 < k < n/2, a[0] = R[0], a[1] = R[n/2].
//   isgn = -1: the inverse from that layout; it returns the samples times n/2.
//
// ip is an integer work array whose first element is 0 before its first use;
// w is a table of cosines and sines built on first use. One pair of work
// arrays may serve several lengths: it is rebuilt when a longer transform
// needs it. Their sizes, for the longest transform a pair serves, are given
// by the functions below.
//
// On x86-64 the loops run with AVX2 and FMA where the processor has them and
// with SSE2 otherwise; elsewhere (or built with TONEWRIGHT_PORTABLE) in the
// compiler's generic vectors, with the SSE2 loops' arithmetic. AVX2 differs
// from the others in the last bits (FMA rounds once where they round twice),
// so no result may be compared across machines bit for bit.

namespace tonewright {

void cdft(int n, int isgn, double* a, int* ip, double* w);
void rdft(int n, int isgn, double* a, int* ip, double* w);
// rdft(n, 1, ...) of the n samples at src into a, which must not overlap it
// (the same result as a copy and rdft, without the copy).
void rdftFrom(int n, const double* src, double* a, int* ip, double* w);

namespace fft {

constexpr int floorLog2(int n)
{
    int b = 0;
    while ((2 << b) <= n) ++b;
    return b;
}

// w holds, for every span m = 8, 16, ... up to the length T it was built
// for, the twiddles of a radix-4 pass of span m: e^(2 pi i j s / m) for
// j < m/4, s = 1, 2, 3 (one series after the other, interleaved cos, sin).
// rdft(n) needs T = n (its split uses the first series of span n), cdft(n)
// T = n/2.
constexpr int spanOffset(int m) { return 3 * (m - 8) / 2; }
// (Two doubles more: the loops may read one past a series' end.)
constexpr int tableSize(int T) { return T >= 8 ? spanOffset(2 * T) + 2 : 1; }


// ints in ip and doubles in w needed by cdft(n, ...), n doubles of data
constexpr int cdftIpSize(int) { return 2; }
constexpr int cdftWSize(int n) { return tableSize(n / 2); }
// ints in ip and doubles in w needed by rdft(n, ...)
constexpr int rdftIpSize(int) { return 2; }
constexpr int rdftWSize(int n) { return tableSize(n); }

// Spectra in the split layout, for the spectral products of the
// partitioned convolution: complex values in groups of kGroup, each group
// its kGroup real parts, then its kGroup imaginary parts, in both halves
// the order 0 2 1 3 4 6 5 7. (The products then need no shuffles, whatever
// the vector width, and the conversions none that cross the lanes of AVX.)
// Counts and ranges below are in groups; a spectrum has a whole number.
constexpr int kGroup = 8;
constexpr int splitRe(int bin)
{
    const int j = bin % kGroup;
    return 2 * kGroup * (bin / kGroup) + (j & 4) + ((j & 1) << 1) + ((j >> 1) & 1);
}
constexpr int splitIm(int bin) { return splitRe(bin) + kGroup; }
// Interleaved (a[2i], a[2i + 1]) to split, in place, groups [first, last).
void ToSplit(double* a, int first, int last);
// Split s to interleaved a (not s), groups [first, last).
void FromSplit(const double* s, double* a, int first, int last);
// The stereo products' layout (below) to the 2B interleaved bins of a
// complex spectrum: bins s and 2B - s from groups [first, last) of each half.
void FromSplitStereo(const double* s, double* a, int B, int first, int last);

// The products, summed over `parts` partitions (spectra x[p] times kernels
// k[p], all split) into acc, which they replace when `clear` and add to
// otherwise, over the groups [first, last).
// Mono: x, k and acc are spectra of B bins in rdft's packed layout, bin 0
// holding the real DC and Nyquist values as its two parts, multiplied as
// such: acc[i] += x[i] k[i].
void ProductsMono(double* acc, const double* const* x, const double* const* k, int parts, int first, int last,
                  bool clear);
// Stereo: x as for mono (rdft's conjugated spectrum of 2B real samples), k
// and acc complex spectra of 2B bins, held as two split halves of B bins:
// the first bins 0..B-1, the second bin B at 0 and bin 2B - s at s. For
// 1 <= s < B, acc[s] += conj(x[s]) k[s] and acc[2B - s] += x[s] k[2B - s];
// acc[0] += DC k[0] and acc[B] += Nyquist k[B].
void ProductsStereo(double* acc, const double* const* x, const double* const* k, int parts, int B, int first,
                    int last, bool clear);

// Direct FIR filter: y[i] = sum over k < T of taps[k] x[i + k], i < n (the
// taps in reverse order; x starts T - 1 samples before the first output).
void Fir(const double* x, const double* taps, int T, double* y, int n);

// A transform cut into steps of similar work, run one after another by
// RunStep: the same arithmetic as one call of rdft or cdft, so the same
// result, spread over as many occasions as there are steps. The work
// arrays must have been built for the length (by one call of the transform).
enum class Transform { rdftPlus, rdftMinus, cdftPlus, cdftMinus };
struct Step {
    enum Kind : unsigned char { pass, tiles, realEdges, realPairs } kind = pass;
    signed char sign = 1;
    int span = 0;   // pass: span; tiles: bits of the points; real: complex points N
    int base = 0;   // pass: first point of the block
    int first = 0;  // butterflies, tiles or bin pairs [first, last)
    int last = 0;
    int cost = 0;   // points touched, about
};
// Fills `steps` (at most `capacity`) for the transform of n doubles, each
// step about `grain` points of work; returns their number (n >= 16).
int PlanSteps(Transform t, int n, int grain, Step* steps, int capacity);
void RunStep(const Step& step, double* a, const double* w);

// The largest block the radix-4 passes finish before going on to the next
// (complex points); larger ones go depth first.
constexpr int kInCache = 2048;

// The instruction sets the loops are written for, each beyond the one
// before it; a build has sse2 and avx2 on x86-64 only (TONEWRIGHT_X86_VECTORS).
// Tests and benchmarks may choose a lesser one on a processor that has more;
// nothing else should.
enum class Isa { portable, sse2, avx2 };
Isa SupportedIsa();
Isa ActiveIsa();
void UseIsa(Isa isa);  // clamped to SupportedIsa(); not while transforms run

}  // namespace fft

}  // namespace tonewright
