#include "cabinet/CabinetConvolver.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "dsp/EngineLock.h"

namespace tonewright {

// Spectra are in the packed layout of rdft (places 0 and 1 the real DC and
// Nyquist values, places 2k, 2k + 1 bin k), which holds the conjugate of the
// usual DFT; a complex product of two such spectra is the conjugate of the
// product, which rdft's inverse turns back into the right signal. Stereo
// kernels are complex transforms of 2L points (left in the real, right in the
// imaginary part) by cdft with the usual sign.
//
// A kernel of partition size B holds its B taps in the upper half of a frame
// of 2B, so the valid half of each overlap-save result is the first.

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

// The spectrum of partition taps h[first .. first + B) (zero past length)
// scaled so that the inverse transforms need no scale of their own.
void buildKernel(double* k, int B, int first, const double* left, const double* right, int length, bool isMono,
                 int* ip, double* w)
{
    auto tap = [length](const double* h, int i) { return i < length ? h[i] : 0.0; };
    if (isMono) {
        const double g = 2.0 / (2 * B);
        std::fill(k, k + 2 * B, 0.0);
        for (int i = 0; i < B; ++i) k[B + i] = g * tap(left, first + i);
        rdft(2 * B, 1, k, ip, w);
    } else {
        const double g = 2.0 / (4 * B);
        std::fill(k, k + 4 * B, 0.0);
        for (int i = 0; i < B; ++i) {
            k[2 * (B + i)] = g * tap(left, first + i);
            k[2 * (B + i) + 1] = g * tap(right, first + i);
        }
        cdft(4 * B, -1, k, ip, w);
    }
}

// The largest power of two that divides n.
int powerOfTwoIn(int n) { return n & -n; }

}  // namespace

CabinetConvolver::CabinetConvolver()
{
    ip[0] = 0;
    ip[1] = 0;
    std::fill(std::begin(w), std::end(w), 0.0);
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
    N = NLM[row][0];
    L = NLM[row][1];
    M = NLM[row][2];
    headTaps = std::min(N, 2 * M);
    maxBlock = std::min(M, headTaps);

    time = headTime = 0;
    std::fill(std::begin(ring), std::end(ring), 0.0);

    std::fill(std::begin(directLeft), std::end(directLeft), 0.0);
    std::fill(std::begin(directRight), std::end(directRight), 0.0);
    for (int k = 0; k < L && k < len; ++k) {
        directLeft[L - 1 - k] = left[k];
        directRight[L - 1 - k] = right[k];
    }

    // Head kernels for every block size: partition p of size B holds taps
    // pB .. pB + B - 1. (Building the kernels builds the FFT tables for every
    // length process uses.)
    if (headTaps > L) {
        for (int i = 0; i < kBlockSizes && (L << i) <= maxBlock; ++i) {
            const int size = L << i;
            for (int p = 0; p < headTaps / size; ++p)
                buildKernel(headKernels[i] + p * (4 * size + kSkew), size, p * size, left, right, len, isMono, ip, w);
        }
    }
    lastPreferred = 0;
    uniform = false;
    B = 0;
    SwitchHead(L);

    LongLevel& g = longLevel;
    g.M = M;
    g.P = N > 2 * M ? N / M - 2 : 0;
    g.isMono = isMono;
    for (int p = 0; p < g.P; ++p) {
        buildKernel(g.kernels[p], M, 2 * M + p * M, left, right, len, isMono, ip, w);
        g.kernelOf[p] = g.kernels[p];
    }
    g.Clear();
    if (g.P > 0) g.Plan();
}

// ---- input history ----

void CabinetConvolver::Append(const double* x, int n)
{
    int at = static_cast<int>(time & (kHistory - 1));
    while (n > 0) {
        const int count = std::min(n, kHistory - at);
        std::memcpy(ring + at, x, size_t(count) * sizeof(double));
        std::memcpy(ring + kHistory + at, x, size_t(count) * sizeof(double));
        x += count;
        n -= count;
        time += count;
        at = 0;
    }
}

// The `count` samples before `end`, contiguous (zeros before time 0).
const double* CabinetConvolver::Recent(std::int64_t end, int count) const
{
    return ring + ((end - count) & (kHistory - 1));
}

// ---- processing ----

void CabinetConvolver::process(const double* in, double* outL, double* outR, int n)
{
    if (mono) {
        process_mono(in, outL, n);
        std::copy_n(outL, n, outR);
    } else {
        process_stereo(in, outL, outR, n);
    }
}

void CabinetConvolver::process_mono(const double* in, double* out, int n) { process_stereo(in, out, nullptr, n); }

void CabinetConvolver::process_stereo(const double* in, double* outL, double* outR, int n)
{
    const int preferred = std::clamp(powerOfTwoIn(std::max(n, 1)), L, maxBlock);
    const bool steady = preferred == lastPreferred;
    lastPreferred = preferred;
    for (int done = 0; done < n;) {
        const int count = std::min(n - done, kSegment);
        Append(in + done, count);  // the input is read from the history from here on
        double* l = outL + done;
        double* r = outR ? outR + done : nullptr;
        // Whole blocks of M on the long level's boundaries, asked for twice
        // in a row: every partition at once, one transform each way per block.
        const bool whole = longLevel.P > 0 && preferred == M && (steady || uniform) && phase == 0 &&
                           headTime % M == 0 && count % M == 0;
        if (whole) {
            if (!uniform) EnterUniform();
            for (int i = 0; i < count; i += M) UniformBlock(l + i, r ? r + i : nullptr);
        } else {
            if (uniform) LeaveUniform();
            RunHead(l, r, count, preferred, steady);
            if (longLevel.P > 0) longLevel.Run(Recent(time, count), l, r, count, w);
        }
        done += count;
    }
    if (outR && mono) std::copy_n(outL, n, outR);
}

// ---- every partition at once, blocks of M ----

// The long level's frames at a block boundary hold, from frames[3] on, the
// spectra of the frames ending 2, 3, ... blocks ago, frames[0] the oldest
// (P + 1 ago); frames[2] the frame ending with the last block, in time.
// Transformed, it makes the list every partition of M taps needs, with the
// head's two partitions in front.
void CabinetConvolver::EnterUniform()
{
    rdft(2 * M, 1, longLevel.frames[2], ip, w);
    uniform = true;
}

void CabinetConvolver::UniformBlock(double* outL, double* outR)
{
    LongLevel& g = longLevel;
    const int P = g.P;
    const double* x[LongLevel::kMaxParts + 1];
    const double* k[LongLevel::kMaxParts + 1];
    x[0] = g.frames[2];
    k[0] = HeadKernel(M, 1);
    for (int q = 0; q < P; ++q) {
        x[q + 1] = q + 3 <= P + 1 ? g.frames[q + 3] : g.frames[0];
        k[q + 1] = g.kernelOf[q];
    }
    Products(headAcc, x, k, P + 1, M, true);
    FinishBlock(g.frames, M, false, outL, outR);
    g.Rotate();
}

// The end of a whole block of `block` samples, once headAcc holds (unless
// `clear`) the products of the partitions after the first: the block into
// frames[0] (first half) and frames[1] (second half), frames[1]'s spectrum
// times the first partition added, the inverse transform, the output.
void CabinetConvolver::FinishBlock(double* const* frames, int block, bool clear, double* outL, double* outR)
{
    const double* in = Recent(headTime + block, block);
    std::memcpy(frames[0], in, size_t(block) * sizeof(double));
    std::memcpy(frames[1] + block, in, size_t(block) * sizeof(double));
    rdft(2 * block, 1, frames[1], ip, w);
    const double* x = frames[1];
    const double* k = HeadKernel(block, 0);
    Products(headAcc, &x, &k, 1, block, clear);
    Inverse(headAcc, block);
    if (mono) {
        std::memcpy(outL, headAcc, size_t(block) * sizeof(double));
    } else {
        for (int i = 0; i < block; ++i) {
            outL[i] = headAcc[2 * i];
            if (outR) outR[i] = headAcc[2 * i + 1];
        }
    }
    headTime += block;
}

// Back to the head and the spread long level: the frame ending now in time
// (to be transformed during the coming block), the coming block's output of
// the long partitions, and the head's frames rebuilt.
void CabinetConvolver::LeaveUniform()
{
    LongLevel& g = longLevel;
    const int P = g.P;
    std::memcpy(g.frames[2], Recent(headTime, 2 * M), size_t(2 * M) * sizeof(double));
    const double* x[LongLevel::kMaxParts];
    for (int q = 0; q < P; ++q) x[q] = q + 3 <= P + 1 ? g.frames[q + 3] : g.frames[0];
    Products(g.current, x, g.kernelOf, P, M, true);
    Inverse(g.current, M);
    g.next = 0;
    uniform = false;
    SwitchHead(L);
}

// ---- the head ----

const double* CabinetConvolver::HeadKernel(int block, int p) const
{
    int i = 0;
    while ((L << i) < block) ++i;
    return headKernels[i] + p * (4 * block + kSkew);
}

// Products over every bin of spectra of 2 block samples.
void CabinetConvolver::Products(double* acc, const double* const* x, const double* const* k, int parts, int block,
                                bool clear) const
{
    if (mono) {
        double dc = clear ? 0.0 : acc[0], nyquist = clear ? 0.0 : acc[1];
        for (int p = 0; p < parts; ++p) {
            dc += x[p][0] * k[p][0];
            nyquist += x[p][1] * k[p][1];
        }
        fft::ProductsPlain(acc, x, k, parts, 1, block, clear);
        acc[0] = dc;
        acc[1] = nyquist;
    } else {
        double e[4] = {};
        if (!clear) {
            e[0] = acc[0];
            e[1] = acc[1];
            e[2] = acc[2 * block];
            e[3] = acc[2 * block + 1];
        }
        for (int p = 0; p < parts; ++p) {
            e[0] += x[p][0] * k[p][0];
            e[1] += x[p][0] * k[p][1];
            e[2] += x[p][1] * k[p][2 * block];
            e[3] += x[p][1] * k[p][2 * block + 1];
        }
        fft::ProductsStereo(acc, x, k, parts, block, 1, block, clear);
        acc[0] = e[0];
        acc[1] = e[1];
        acc[2 * block] = e[2];
        acc[2 * block + 1] = e[3];
    }
}

void CabinetConvolver::Inverse(double* acc, int block)
{
    if (mono)
        rdft(2 * block, -1, acc, ip, w);
    else
        cdft(4 * block, 1, acc, ip, w);
}

void CabinetConvolver::RotateHead(int count)
{
    double* oldest = headFrames[count - 1];
    for (int i = count - 1; i > 0; --i) headFrames[i] = headFrames[i - 1];
    headFrames[0] = oldest;
}

// Takes block size `block` from the next sample on: the frames of the last
// head's worth of input, rebuilt from the history in the layout a block
// boundary has (frames[1] first half: the last block; frames[2..P]: the
// spectra of the frames ending with the blocks before; frames[0]: the oldest
// spectrum needed).
void CabinetConvolver::SwitchHead(int block)
{
    B = block;
    phase = 0;
    accValid = false;
    if (headTaps <= L) return;
    const int P = HeadParts() - 1;
    const int frames = std::max(P + 1, 2);
    for (int i = 0; i < frames; ++i) headFrames[i] = headPool + i * (2 * B + kSkew);
    std::memcpy(headFrames[1], Recent(headTime, B), size_t(B) * sizeof(double));
    for (int q = 0; q < P; ++q) {
        double* f = q + 2 <= P ? headFrames[q + 2] : headFrames[0];
        std::memcpy(f, Recent(headTime - std::int64_t(q) * B, 2 * B), size_t(2 * B) * sizeof(double));
        rdft(2 * B, 1, f, ip, w);
    }
}

// Block sizes change only at times that are multiples of the new size, so
// that blocks keep to the same grid as the caller's steady blocks and the
// long level's.
void CabinetConvolver::RunHead(double* outL, double* outR, int n, int preferred, bool steady)
{
    if (headTaps <= L) {
        DirectOnly(outL, outR, n);
        return;
    }
    int i = 0;
    while (i < n) {
        if (phase != 0) {
            StepSample(outL, outR, i++);
            continue;
        }
        const int remaining = n - i;
        int target = B;
        if (B > L && remaining < B)
            target = std::max(L, std::min(preferred, powerOfTwoIn(remaining)));
        else if (preferred < B || (preferred > B && steady && remaining >= preferred && headTime % preferred == 0))
            target = preferred;
        if (target != B) SwitchHead(target);
        if (remaining >= B) {
            HeadBlockOf(outL + i, outR ? outR + i : nullptr);
            i += B;
        } else {
            StepSample(outL, outR, i++);
        }
    }
}

// Impulses of at most L taps: the FIR filter alone.
void CabinetConvolver::DirectOnly(double* outL, double* outR, int n)
{
    for (int i = 0; i < n; ++i) {
        const double* h = Recent(++headTime, L);
        double yl = 0.0;
        for (int k = 0; k < L; ++k) yl += directLeft[k] * h[k];
        outL[i] = yl;
        if (!mono && outR) {
            double yr = 0.0;
            for (int k = 0; k < L; ++k) yr += directRight[k] * h[k];
            outR[i] = yr;
        }
    }
}

// One block of B samples at once: the products of every partition with the
// spectra of the frames before and of the frame this block completes, one
// inverse transform.
void CabinetConvolver::HeadBlockOf(double* outL, double* outR)
{
    const int P = HeadParts() - 1;
    if (P > 0) OlderProducts();
    FinishBlock(headFrames, B, P == 0, outL, outR);
    RotateHead(std::max(P + 1, 2));
    accValid = false;
}

// headAcc = the products of the partitions after the first with the spectra
// of the frames that ended 1, 2, ... blocks ago (frames[2..P], frames[0]).
void CabinetConvolver::OlderProducts()
{
    const int P = HeadParts() - 1;
    const double* x[kMaxHead / 16 + 1];
    const double* k[kMaxHead / 16 + 1];
    for (int q = 0; q < P; ++q) {
        x[q] = q + 2 <= P ? headFrames[q + 2] : headFrames[0];
        k[q] = HeadKernel(B, q + 1);
    }
    Products(headAcc, x, k, P, B, true);
}

// The accumulator sample by sample needs at a block boundary (B = L): the
// coming block's output of the partitions after the direct part.
void CabinetConvolver::SampleAccumulator()
{
    OlderProducts();
    Inverse(headAcc, L);
    accValid = true;
}

// One sample with B = L: the direct part, the accumulator's value, a slice
// of the next block's products; at the block's end its transforms.
void CabinetConvolver::StepSample(double* outL, double* outR, int i)
{
    if (phase == 0 && !accValid) SampleAccumulator();
    const double* h = Recent(++headTime, L);
    const double x = h[L - 1];
    const int s = phase;
    headFrames[0][s] = x;
    headFrames[1][L + s] = x;
    double yl = 0.0;
    for (int k = 0; k < L; ++k) yl += directLeft[k] * h[k];
    if (mono) {
        yl += headAcc[s];
        if (s & 1) SpreadMono(s);
        outL[i] = yl;
    } else {
        double yr = 0.0;
        for (int k = 0; k < L; ++k) yr += directRight[k] * h[k];
        yl += headAcc[2 * s];
        yr += headAcc[2 * s + 1];
        SpreadStereo(s);
        outL[i] = yl;
        if (outR) outR[i] = yr;
    }
    phase = (s + 1) & (L - 1);
    if (phase == 0) EndSampleBlock();
}

// At odd phase s the bins at places s - 1, s and L + s - 1, L + s get the
// products of partitions 1..P-1; each place was read as output before.
void CabinetConvolver::SpreadMono(int s)
{
    const int P = HeadParts() - 1;
    const int lo = s - 1;
    const int hi = L + s - 1;
    double* acc = headAcc;
    acc[lo] = acc[lo + 1] = acc[hi] = acc[hi + 1] = 0.0;
    for (int q = 1; q < P; ++q) {
        const double* x = headFrames[q + 1];
        const double* k = headKernels[0] + (q + 1) * (4 * L + kSkew);
        if (lo == 0) {
            acc[0] += x[0] * k[0];
            acc[1] += x[1] * k[1];
        } else {
            multiplyAdd(acc + lo, x + lo, k + lo);
        }
        multiplyAdd(acc + hi, x + hi, k + hi);
    }
}

// At phase s the complex bins s and 2L - s get the products of partitions
// 1..P-1 (bins 0 and L at phase 0). The real input spectrum supplies bin s
// as the conjugate of its packed value and bin 2L - s as the packed value.
void CabinetConvolver::SpreadStereo(int s)
{
    const int P = HeadParts() - 1;
    double* acc = headAcc;
    if (s == 0) {
        acc[0] = acc[1] = acc[2 * L] = acc[2 * L + 1] = 0.0;
        for (int q = 1; q < P; ++q) multiplyAddEdges(acc, headFrames[q + 1], headKernels[0] + (q + 1) * (4 * L + kSkew), L);
        return;
    }
    const int lo = 2 * s;
    const int hi = 4 * L - 2 * s;
    acc[lo] = acc[lo + 1] = acc[hi] = acc[hi + 1] = 0.0;
    for (int q = 1; q < P; ++q) multiplyAddPair(acc, headFrames[q + 1], headKernels[0] + (q + 1) * (4 * L + kSkew), lo, hi);
}

void CabinetConvolver::EndSampleBlock()
{
    const int P = HeadParts() - 1;
    double* x = headFrames[1];
    rdft(2 * L, 1, x, ip, w);
    const double* k = HeadKernel(L, 1);
    double* acc = headAcc;
    if (mono) {
        acc[0] += x[0] * k[0];
        acc[1] += x[1] * k[1];
        for (int i = 2; i < 2 * L; i += 2) multiplyAdd(acc + i, x + i, k + i);
    } else {
        multiplyAddEdges(acc, x, k, L);
        for (int bin = 1; bin < L; ++bin) multiplyAddPair(acc, x, k, 2 * bin, 4 * L - 2 * bin);
    }
    Inverse(acc, L);
    RotateHead(P + 1);
}

// ---- the long level ----

void CabinetConvolver::LongLevel::Clear()
{
    for (int i = 0; i < kFrames; ++i) frames[i] = pool[i];
    std::fill(&pool[0][0], &pool[0][0] + kFrames * (2 * kMaxBlock + kSkew), 0.0);
    std::fill(&acc[0][0], &acc[0][0] + 2 * 4 * kMaxBlock, 0.0);
    current = acc[0];
    coming = acc[1];
    s = 0;
    next = 0;
}

// The block's work in steps of similar cost: the frame's transform, the
// products bin range by bin range, the inverse transform.
void CabinetConvolver::LongLevel::Plan()
{
    // Costs in halves of a product of one bin; a point of a transform step
    // costs about one (measured). Steps of about a hundredth of the block's
    // work.
    constexpr int kPoint = 3, kProduct = 4;
    const int grain = std::max(64, M / 2);
    work = 0;
    total = 0;
    fft::Step plan[kMaxWork];
    auto add = [&](Work::What what, const fft::Step& step, int first, int last, int cost) {
        Work& u = steps[work++];
        u.what = what;
        u.step = step;
        u.first = first;
        u.last = last;
        total += cost;
        u.until = total;
    };
    // (Each part within its third of the steps, coarser if need be.)
    auto planned = [&](fft::Transform t, int n) {
        int g = grain, count;
        while ((count = fft::PlanSteps(t, n, g, plan, kMaxWork / 3)) > kMaxWork / 3) g *= 2;
        return count;
    };
    const int forward = planned(fft::Transform::rdftPlus, 2 * M);
    for (int i = 0; i < forward; ++i) add(Work::forward, plan[i], 0, 0, kPoint * plan[i].cost);
    const int perBin = kProduct * (isMono ? P : 2 * P);
    const int binsPerStep = std::max({2, kPoint * grain / perBin / 2 * 2, (M + kMaxWork / 3 - 1) / (kMaxWork / 3) + 1});
    for (int first = 0; first < M; first += binsPerStep)
        add(Work::products, fft::Step{}, first, std::min(M, first + binsPerStep),
            (std::min(M, first + binsPerStep) - first) * perBin);
    const int inverse = isMono ? planned(fft::Transform::rdftMinus, 2 * M) : planned(fft::Transform::cdftPlus, 4 * M);
    for (int i = 0; i < inverse; ++i) add(Work::inverse, plan[i], 0, 0, kPoint * plan[i].cost);
}

void CabinetConvolver::LongLevel::RunStep(const Work& u, const double* w)
{
    switch (u.what) {
    case Work::forward: fft::RunStep(u.step, frames[2], w); break;
    case Work::inverse: fft::RunStep(u.step, coming, w); break;
    case Work::products: {
        const double* const* x = frames + 2;
        const int first = std::max(1, u.first);
        if (isMono) {
            if (u.first == 0) {
                double dc = 0.0, nyquist = 0.0;
                for (int p = 0; p < P; ++p) {
                    dc += x[p][0] * kernelOf[p][0];
                    nyquist += x[p][1] * kernelOf[p][1];
                }
                coming[0] = dc;
                coming[1] = nyquist;
            }
            fft::ProductsPlain(coming, x, kernelOf, P, first, u.last, true);
        } else {
            if (u.first == 0) {
                double e[4] = {};
                for (int p = 0; p < P; ++p) {
                    e[0] += x[p][0] * kernelOf[p][0];
                    e[1] += x[p][0] * kernelOf[p][1];
                    e[2] += x[p][1] * kernelOf[p][2 * M];
                    e[3] += x[p][1] * kernelOf[p][2 * M + 1];
                }
                coming[0] = e[0];
                coming[1] = e[1];
                coming[2 * M] = e[2];
                coming[2 * M + 1] = e[3];
            }
            fft::ProductsStereo(coming, x, kernelOf, P, M, first, u.last, true);
        }
        break;
    }
    }
}

void CabinetConvolver::LongLevel::RunUntil(std::int64_t done, const double* w)
{
    while (next < work && steps[next].until <= done) RunStep(steps[next++], w);
}

// n samples of input x: written into the frames, this block's output added,
// the share of the coming block's work that the samples so far call for
// done; at the block's end the rest, and the roles move on.
void CabinetConvolver::LongLevel::Run(const double* x, double* outL, double* outR, int n, const double* w)
{
    for (int i = 0; i < n;) {
        const int count = std::min(n - i, M - s);
        std::memcpy(frames[0] + s, x + i, size_t(count) * sizeof(double));
        std::memcpy(frames[1] + M + s, x + i, size_t(count) * sizeof(double));
        if (isMono) {
            for (int j = 0; j < count; ++j) outL[i + j] += current[s + j];
        } else {
            for (int j = 0; j < count; ++j) {
                outL[i + j] += current[2 * (s + j)];
                if (outR) outR[i + j] += current[2 * (s + j) + 1];
            }
        }
        s += count;
        i += count;
        RunUntil(total * s / M, w);
        if (s == M) {
            std::swap(current, coming);
            Rotate();
            s = 0;
            next = 0;
        }
    }
}

void CabinetConvolver::LongLevel::Rotate()
{
    double* oldest = frames[P + 1];
    for (int f = P + 1; f > 0; --f) frames[f] = frames[f - 1];
    frames[0] = oldest;
}

}  // namespace tonewright
