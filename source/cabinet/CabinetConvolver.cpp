#include "cabinet/CabinetConvolver.h"

#include <algorithm>
#include <iterator>
#include "dsp/EngineLock.h"

namespace tonewright {

// Spectra are in the packed layout of rdft (places 0 and 1 the real DC and
// Nyquist values, places 2k, 2k + 1 bin k), which holds the conjugate of the
// usual DFT; a complex product of two such spectra is the conjugate of the
// product, which rdft's inverse turns back into the right signal. Stereo
// kernels are complex transforms of 2L points (left in the real, right in the
// imaginary part) by cdft with the usual sign.

namespace {

// acc[i] += x * k as complex numbers at places i, i + 1.
inline void multiplyAdd(double* acc, const double* x, const double* k)
{
    acc[0] += x[0] * k[0] - x[1] * k[1];
    acc[1] += x[0] * k[1] + x[1] * k[0];
}

// Stereo: bin s (places lo = 2s) += X[s] K[s] and bin 2L - s (places hi)
// += conj(X[s]) K[2L - s], where the packed real spectrum x holds conj(X[s]).
inline void multiplyAddPair(double* acc, const double* x, const double* k, int lo, int hi)
{
    const double xr = x[lo], xi = x[lo + 1];
    acc[lo] += xr * k[lo] + xi * k[lo + 1];
    acc[lo + 1] += xr * k[lo + 1] - xi * k[lo];
    acc[hi] += xr * k[hi] - xi * k[hi + 1];
    acc[hi + 1] += xr * k[hi + 1] + xi * k[hi];
}

// Stereo bins 0 and L, from the real DC and Nyquist values.
inline void multiplyAddEdges(double* acc, const double* x, const double* k, int L)
{
    acc[0] += x[0] * k[0];
    acc[1] += x[0] * k[1];
    acc[2 * L] += x[1] * k[2 * L];
    acc[2 * L + 1] += x[1] * k[2 * L + 1];
}

}  // namespace

template <int B>
CabinetConvolver::Level<B>::Level()
{
    for (int i = 0; i < kFrames; ++i) frames[i] = pool[i];
    ip[0] = 0;
    std::fill(std::begin(w), std::end(w), 0.0);
    std::fill(&kernels[0][0], &kernels[0][0] + (kFrames - 1) * 4 * B, 0.0);
    Clear();
}

template <int B>
void CabinetConvolver::Level<B>::Clear()
{
    std::fill(&pool[0][0], &pool[0][0] + kFrames * 2 * B, 0.0);
    std::fill(std::begin(acc), std::end(acc), 0.0);
    s = 0;
}

template <int B>
void CabinetConvolver::Level<B>::Load(int block, int partitions, int first, const double* left,
                                      const double* right, int length, bool isMono)
{
    L = block;
    P = partitions;
    Clear();
    auto tap = [length](const double* h, int k) { return k < length ? h[k] : 0.0; };
    for (int p = 0; p < P; ++p) {
        double* k = kernels[p];
        const int start = first + p * L;
        if (isMono) {
            const double g = 2.0 / (2 * L);
            std::fill(k, k + 2 * L, 0.0);
            for (int i = 0; i < L; ++i) k[L + i] = g * tap(left, start + i);
            rdft(2 * L, 1, k, ip, w);
        } else {
            const double g = 2.0 / (4 * L);
            std::fill(k, k + 4 * L, 0.0);
            for (int i = 0; i < L; ++i) {
                k[2 * (L + i)] = g * tap(left, start + i);
                k[2 * (L + i) + 1] = g * tap(right, start + i);
            }
            cdft(4 * L, -1, k, ip, w);
        }
    }
}

template <int B>
void CabinetConvolver::Level<B>::Rotate()
{
    double* oldest = frames[P];
    for (int i = P; i > 0; --i) frames[i] = frames[i - 1];
    frames[0] = oldest;
}

template <int B>
double CabinetConvolver::Level<B>::StepMono(double x)
{
    frames[0][s] = x;
    frames[1][L + s] = x;
    const double y = acc[s];
    if (s & 1) SpreadMono(s);
    s = (s + 1) & (L - 1);
    if (s == 0) EndBlockMono();
    return y;
}

// At odd phase s the bins at places s - 1, s and L + s - 1, L + s get the
// products of partitions 1..P-1; each place was read as output before.
template <int B>
void CabinetConvolver::Level<B>::SpreadMono(int phase)
{
    const int lo = phase - 1;
    const int hi = L + phase - 1;
    acc[lo] = acc[lo + 1] = acc[hi] = acc[hi + 1] = 0.0;
    if (lo == 0) {
        for (int q = 1; q < P; ++q) {
            const double* x = frames[q + 1];
            const double* k = kernels[q];
            acc[0] += x[0] * k[0];
            acc[1] += x[1] * k[1];
            multiplyAdd(acc + hi, x + hi, k + hi);
        }
    } else {
        for (int q = 1; q < P; ++q) {
            const double* x = frames[q + 1];
            const double* k = kernels[q];
            multiplyAdd(acc + lo, x + lo, k + lo);
            multiplyAdd(acc + hi, x + hi, k + hi);
        }
    }
}

template <int B>
void CabinetConvolver::Level<B>::EndBlockMono()
{
    double* x = frames[1];
    rdft(2 * L, 1, x, ip, w);
    const double* k = kernels[0];
    acc[0] += x[0] * k[0];
    acc[1] += x[1] * k[1];
    for (int i = 2; i < 2 * L; i += 2) multiplyAdd(acc + i, x + i, k + i);
    rdft(2 * L, -1, acc, ip, w);
    Rotate();
}

template <int B>
void CabinetConvolver::Level<B>::StepStereo(double x, double& yl, double& yr)
{
    frames[0][s] = x;
    frames[1][L + s] = x;
    yl += acc[2 * s];
    yr += acc[2 * s + 1];
    SpreadStereo(s);
    s = (s + 1) & (L - 1);
    if (s == 0) EndBlockStereo();
}

// At phase s the complex bins s and 2L - s get the products of partitions
// 1..P-1 (bins 0 and L at phase 0). The real input spectrum supplies bin s
// as the conjugate of its packed value and bin 2L - s as the packed value.
template <int B>
void CabinetConvolver::Level<B>::SpreadStereo(int phase)
{
    if (phase == 0) {
        acc[0] = acc[1] = acc[2 * L] = acc[2 * L + 1] = 0.0;
        for (int q = 1; q < P; ++q) multiplyAddEdges(acc, frames[q + 1], kernels[q], L);
        return;
    }
    const int lo = 2 * phase;
    const int hi = 4 * L - 2 * phase;
    acc[lo] = acc[lo + 1] = acc[hi] = acc[hi + 1] = 0.0;
    for (int q = 1; q < P; ++q) multiplyAddPair(acc, frames[q + 1], kernels[q], lo, hi);
}

template <int B>
void CabinetConvolver::Level<B>::EndBlockStereo()
{
    double* x = frames[1];
    rdft(2 * L, 1, x, ip, w);
    const double* k = kernels[0];
    multiplyAddEdges(acc, x, k, L);
    for (int bin = 1; bin < L; ++bin) multiplyAddPair(acc, x, k, 2 * bin, 4 * L - 2 * bin);
    cdft(4 * L, 1, acc, ip, w);
    Rotate();
}

template struct CabinetConvolver::Level<64>;
template struct CabinetConvolver::Level<2048>;

CabinetConvolver::CabinetConvolver()
{
    const double unit[8] = {1.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    SetImpulse(unit, unit, 8, true);
}

void CabinetConvolver::SetImpulse(const double* left, const double* right, int length, bool isMono)
{
    CheckOffEngineLock("building convolver spectra");
    static const double silence[1] = {0.0};
    mono = isMono;
    if (length < 1 || !left || (!isMono && !right)) {
        length = 1;
        left = right = silence;
    }
    if (isMono) right = left;
    const int len = std::min(length, kMaxLength);
    int row = 0;
    while (NLM[row][0] < len) ++row;
    const int N = NLM[row][0], L = NLM[row][1], M = NLM[row][2];

    directLength = L;
    directPosition = 0;
    std::fill(std::begin(history), std::end(history), 0.0);
    std::fill(std::begin(directLeft), std::end(directLeft), 0.0);
    std::fill(std::begin(directRight), std::end(directRight), 0.0);
    for (int k = 0; k < L && k < len; ++k) {
        directLeft[L - 1 - k] = left[k];
        directRight[L - 1 - k] = right[k];
    }
    shortLevel.Load(L, M / L - 1, L, left, right, len, isMono);
    longLevel.Load(M, N / M - 1, M, left, right, len, isMono);
}

void CabinetConvolver::process(const double* in, double* outL, double* outR, int n)
{
    if (mono) {
        process_mono(in, outL, n);
        std::copy_n(outL, n, outR);
    } else {
        process_stereo(in, outL, outR, n);
    }
}

const double* CabinetConvolver::PushHistory(double x)
{
    const int L = directLength;
    history[directPosition] = x;
    history[directPosition + L] = x;
    const double* h = history + directPosition + 1;
    directPosition = (directPosition + 1) & (L - 1);
    return h;
}

void CabinetConvolver::process_mono(const double* in, double* out, int n)
{
    const int L = directLength;
    for (int i = 0; i < n; ++i) {
        const double x = in[i];
        const double* h = PushHistory(x);
        double y = 0.0;
        for (int k = 0; k < L; ++k) y += directLeft[k] * h[k];
        if (shortLevel.P > 0) y += shortLevel.StepMono(x);
        if (longLevel.P > 0) y += longLevel.StepMono(x);
        out[i] = y;
    }
}

void CabinetConvolver::process_stereo(const double* in, double* outL, double* outR, int n)
{
    const int L = directLength;
    for (int i = 0; i < n; ++i) {
        const double x = in[i];
        const double* h = PushHistory(x);
        double yl = 0.0, yr = 0.0;
        for (int k = 0; k < L; ++k) {
            yl += directLeft[k] * h[k];
            yr += directRight[k] * h[k];
        }
        if (shortLevel.P > 0) shortLevel.StepStereo(x, yl, yr);
        if (longLevel.P > 0) longLevel.StepStereo(x, yl, yr);
        outL[i] = yl;
        outR[i] = yr;
    }
}

}  // namespace tonewright
