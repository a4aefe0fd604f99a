#include "cabinet/CabinetConvolver.h"

#include "dsp/WideVectors.h"

#ifdef TONEWRIGHT_X86_VECTORS
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>
#include <vector>

#include "dsp/AudioThread.h"

namespace tonewright {

// Spectra come from rdft in its packed layout (places 0 and 1 the real DC
// and Nyquist values, places 2k, 2k + 1 bin k), which holds the conjugate of
// the usual DFT; a complex product of two such spectra is the conjugate of
// the product, which rdft's inverse turns back into the right signal. Stereo
// kernels are complex transforms of 2L points (left in the real, right in the
// imaginary part) by cdft with the usual sign. Kept for the products, every
// spectrum is in the split layout of fft::ProductsMono and ProductsStereo.
//
// A kernel of partition size B holds its B taps in the upper half of a frame
// of 2B, so the valid half of each overlap-save result is the first.

namespace {

using fft::kGroup;
using fft::splitIm;
using fft::splitRe;

// acc[bin] += x[bin] k[bin], split layout.
inline void multiplyAdd(double* acc, const double* x, const double* k, int bin)
{
    const int re = splitRe(bin), im = splitIm(bin);
    acc[re] += x[re] * k[re] - x[im] * k[im];
    acc[im] += x[re] * k[im] + x[im] * k[re];
}

// Stereo bins s and 2B - s from the real spectrum's bin s (1 <= s < B):
// conj(x) k into the first half, x k into the second (`half` doubles on).
inline void multiplyAddPair(double* acc, const double* x, const double* k, int s, int half)
{
    const int re = splitRe(s), im = splitIm(s);
    const double xr = x[re], xi = x[im];
    acc[re] += xr * k[re] + xi * k[im];
    acc[im] += xr * k[im] - xi * k[re];
    acc[half + re] += xr * k[half + re] - xi * k[half + im];
    acc[half + im] += xr * k[half + im] + xi * k[half + re];
}

// Stereo bins 0 and B, from the real DC and Nyquist values.
inline void multiplyAddEdges(double* acc, const double* x, const double* k, int half)
{
    acc[0] += x[0] * k[0];
    acc[kGroup] += x[0] * k[kGroup];
    acc[half] += x[kGroup] * k[half];
    acc[half + kGroup] += x[kGroup] * k[half + kGroup];
}

// The spectrum of partition taps h[first .. first + B) (zero past length)
// scaled so that the inverse transforms need no scale of their own, split;
// `scratch` holds 4B doubles.
void buildKernel(double* k, int B, int first, const double* left, const double* right, int length, bool isMono,
                 int* ip, double* w, double* scratch)
{
    auto tap = [length](const double* h, int i) { return i < length ? h[i] : 0.0; };
    if (isMono) {
        const double g = 2.0 / (2 * B);
        std::fill(k, k + 2 * B, 0.0);
        for (int i = 0; i < B; ++i) k[B + i] = g * tap(left, first + i);
        rdft(2 * B, 1, k, ip, w);
        fft::ToSplit(k, 0, B / kGroup);
        return;
    }
    const double g = 2.0 / (4 * B);
    double* c = scratch;
    std::fill(c, c + 4 * B, 0.0);
    for (int i = 0; i < B; ++i) {
        c[2 * (B + i)] = g * tap(left, first + i);
        c[2 * (B + i) + 1] = g * tap(right, first + i);
    }
    cdft(4 * B, -1, c, ip, w);
    // Bins 0..B-1 into the first half; B, then 2B - s at s, into the second.
    for (int s = 0; s < B; ++s) {
        const int upper = s == 0 ? B : 2 * B - s;
        k[splitRe(s)] = c[2 * s];
        k[splitIm(s)] = c[2 * s + 1];
        k[2 * B + splitRe(s)] = c[2 * upper];
        k[2 * B + splitIm(s)] = c[2 * upper + 1];
    }
}

// out[i] += a[i], i < n (two at a time: at -O2 such loops stay scalar).
void addTo(double* out, const double* a, int n)
{
    int i = 0;
#ifdef TONEWRIGHT_X86_VECTORS
    for (; i + 2 <= n; i += 2) _mm_storeu_pd(out + i, _mm_add_pd(_mm_loadu_pd(out + i), _mm_loadu_pd(a + i)));
#endif
    for (; i < n; ++i) out[i] += a[i];
}

// outL[i] (+)= c[2i], outR[i] (+)= c[2i + 1], i < n; outR may be null.
template <bool Add>
void deinterleave(double* outL, double* outR, const double* c, int n)
{
    int i = 0;
#ifdef TONEWRIGHT_X86_VECTORS
    for (; i + 2 <= n; i += 2) {
        const __m128d a = _mm_loadu_pd(c + 2 * i), b = _mm_loadu_pd(c + 2 * i + 2);
        __m128d l = _mm_unpacklo_pd(a, b), r = _mm_unpackhi_pd(a, b);
        if (Add) l = _mm_add_pd(_mm_loadu_pd(outL + i), l);
        _mm_storeu_pd(outL + i, l);
        if (outR) {
            if (Add) r = _mm_add_pd(_mm_loadu_pd(outR + i), r);
            _mm_storeu_pd(outR + i, r);
        }
    }
#endif
    for (; i < n; ++i) {
        outL[i] = Add ? outL[i] + c[2 * i] : c[2 * i];
        if (outR) outR[i] = Add ? outR[i] + c[2 * i + 1] : c[2 * i + 1];
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
    // The tables for the longest transforms process runs (rdft of 2M, cdft
    // of 4M), built once: shorter ones use the same.
    std::fill(std::begin(headOut), std::end(headOut), 0.0);
    rdft(kTable, 1, headOut, ip, w);
    cdft(2 * kTable, 1, headOut, ip, w);
    std::fill(std::begin(headOut), std::end(headOut), 0.0);
    const double unit[8] = {1.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    SetImpulse(unit, unit, 8, true);
}

void CabinetConvolver::SetImpulse(const double* left, const double* right, int length, bool isMono)
{
    std::shared_ptr<const Spectra> made = Spectra::Make(left, right, length, isMono);
    Install(made.get());
    own = std::move(made);
}

void CabinetConvolver::Install(const Spectra* next)
{
    if (!next) return;
    spectra = next;
    mono = next->mono;
    N = next->N;
    L = next->L;
    M = next->M;
    headTaps = next->headTaps;
    maxBlock = next->maxBlock;
    directTaps = next->directTaps;
    directLeft = next->directLeft;
    directRight = next->mono ? next->directLeft : next->directRight;

    time = headTime = 0;
    std::fill(std::begin(ring), std::end(ring), 0.0);
    lastPreferred = 0;
    uniform = false;
    B = 0;
    SwitchHead(L);

    LongLevel& g = longLevel;
    g.M = M;
    g.P = next->P;
    g.isMono = mono;
    for (int p = 0; p < g.P; ++p) g.kernelOf[p] = next->longKernels.get() + std::size_t(p) * (4 * M + kSkew);
    g.plan = next->plan.get();
    g.Clear();
}

// ---- spectra ----

void CabinetConvolver::Spectra::Aligned::operator()(double* p) const
{
    ::operator delete[](p, std::align_val_t(64));
}

CabinetConvolver::Spectra::Block CabinetConvolver::Spectra::Allocate(std::size_t doubles)
{
    auto* p = static_cast<double*>(::operator new[](std::max<std::size_t>(doubles, 1) * sizeof(double),
                                                     std::align_val_t(64)));
    std::fill(p, p + doubles, 0.0);
    return Block(p);
}

std::shared_ptr<const CabinetConvolver::Spectra> CabinetConvolver::Spectra::Make(const double* left,
                                                                                 const double* right, int length,
                                                                                 bool isMono)
{
    CheckOffAudioThread("building convolver spectra");
    static const double silence[1] = {0.0};
    auto made = std::make_shared<Spectra>();
    Spectra& k = *made;
    k.mono = isMono;
    if (length < 1 || !left || (!isMono && !right)) {
        length = 1;
        left = right = silence;
    }
    if (isMono) right = left;
    const int len = std::min(length, kMaxLength);
    k.taps = len;
    int row = 0;
    while (NLM[row][0] < len) ++row;
    k.N = NLM[row][0];
    k.L = NLM[row][1];
    k.M = NLM[row][2];
    k.headTaps = std::min(k.N, 2 * k.M);
    k.maxBlock = std::min(k.M, k.headTaps);

    k.directTaps = std::min(k.L, len);
    for (int t = 0; t < k.L && t < len; ++t) {
        k.directLeft[k.L - 1 - t] = left[t];
        k.directRight[k.L - 1 - t] = right[t];
    }

    // Work arrays of its own, so that spectra can be made on any thread.
    std::vector<int> ipWork(fft::rdftIpSize(kTable), 0);
    std::vector<double> wWork(fft::rdftWSize(kTable), 0.0);
    std::vector<double> scratch(4 * kMaxBlock + 4 * kMaxHead, 0.0);

    // Head kernels for every block size: partition p of size B holds taps
    // pB .. pB + B - 1.
    if (k.headTaps > k.L) {
        for (int i = 0; i < kBlockSizes && (k.L << i) <= k.maxBlock; ++i) {
            const int size = k.L << i;
            k.headOffset[i] = k.headDoubles;
            k.headDoubles += std::size_t(k.headTaps / size) * (4 * size + kSkew);
        }
        k.head = Allocate(k.headDoubles);
        for (int i = 0; i < kBlockSizes && (k.L << i) <= k.maxBlock; ++i) {
            const int size = k.L << i;
            for (int p = 0; p < k.headTaps / size; ++p)
                buildKernel(k.head.get() + k.headOffset[i] + std::size_t(p) * (4 * size + kSkew), size, p * size, left,
                            right, len, isMono, ipWork.data(), wWork.data(), scratch.data());
        }
    }

    k.P = k.N > 2 * k.M ? k.N / k.M - 2 : 0;
    if (k.P > 0) {
        const std::size_t stride = 4 * std::size_t(k.M) + kSkew;
        k.longKernels = Allocate(stride * std::size_t(k.P));
        for (int p = 0; p < k.P; ++p)
            buildKernel(k.longKernels.get() + std::size_t(p) * stride, k.M, 2 * k.M + p * k.M, left, right, len,
                        isMono, ipWork.data(), wWork.data(), scratch.data());
        k.plan = std::make_unique<LongLevel::Plan>();
        k.plan->Make(k.M, k.P, isMono);
    }
    return made;
}

std::size_t CabinetConvolver::Spectra::Bytes() const
{
    std::size_t doubles = headDoubles + std::size_t(P) * (4 * std::size_t(M) + kSkew);
    return sizeof(Spectra) + doubles * sizeof(double) + (plan ? sizeof(LongLevel::Plan) : 0);
}

const double* CabinetConvolver::Spectra::HeadKernel(int block, int p) const
{
    int i = 0;
    while ((L << i) < block) ++i;
    return head.get() + headOffset[i] + std::size_t(p) * (4 * block + kSkew);
}

// ---- input history ----

void CabinetConvolver::Append(const double* x, int n)
{
    int at = static_cast<int>(time & (kHistory - 1));
    while (n > 0) {
        const int count = std::min(n, kHistory - at);
        std::memcpy(ring + at, x, size_t(count) * sizeof(double));
        if (at < kMirror)
            std::memcpy(ring + kHistory + at, x, size_t(std::min(count, kMirror - at)) * sizeof(double));
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
    Forward(longLevel.frames[2], M);
    uniform = true;
}

// The frame the block completes transformed from the history into
// frames[1]; the products of every partition. (No samples are kept in the
// frames meanwhile: leaving puts back those the spread level needs.)
void CabinetConvolver::UniformBlock(double* outL, double* outR)
{
    LongLevel& g = longLevel;
    const int P = g.P;
    ForwardFrom(Recent(headTime + M, 2 * M), g.frames[1], M);
    const double* x[LongLevel::kMaxParts + 2];
    const double* k[LongLevel::kMaxParts + 2];
    x[0] = g.frames[1];
    k[0] = HeadKernel(M, 0);
    x[1] = g.frames[2];
    k[1] = HeadKernel(M, 1);
    for (int q = 0; q < P; ++q) {
        x[q + 2] = q + 3 <= P + 1 ? g.frames[q + 3] : g.frames[0];
        k[q + 2] = g.kernelOf[q];
    }
    Products(headSpectrum, x, k, P + 2, M, true);
    Inverse(headSpectrum, M);
    Output(M, outL, outR);
    g.Rotate();
}

// Back to the head and the spread long level: the last block as the first
// half of the frame being written, the frame ending now in time (to be
// transformed during the coming block), the coming block's output of the
// long partitions, and the head's frames rebuilt.
void CabinetConvolver::LeaveUniform()
{
    LongLevel& g = longLevel;
    const int P = g.P;
    std::memcpy(g.frames[1], Recent(headTime, M), size_t(M) * sizeof(double));
    std::memcpy(g.frames[2], Recent(headTime, 2 * M), size_t(2 * M) * sizeof(double));
    const double* x[LongLevel::kMaxParts];
    for (int q = 0; q < P; ++q) x[q] = q + 3 <= P + 1 ? g.frames[q + 3] : g.frames[0];
    Products(g.spectrum, x, g.kernelOf, P, M, true);
    if (mono)
        fft::FromSplit(g.spectrum, g.current, 0, M / kGroup);
    else
        fft::FromSplitStereo(g.spectrum, g.current, M, 0, M / kGroup);
    if (mono)
        rdft(2 * M, -1, g.current, ip, w);
    else
        cdft(4 * M, 1, g.current, ip, w);
    g.next = 0;
    uniform = false;
    SwitchHead(L);
}

// ---- the head ----

const double* CabinetConvolver::HeadKernel(int block, int p) const { return spectra->HeadKernel(block, p); }

// Products over every bin of spectra of 2 block samples.
void CabinetConvolver::Products(double* acc, const double* const* x, const double* const* k, int parts, int block,
                                bool clear) const
{
    if (mono)
        fft::ProductsMono(acc, x, k, parts, 0, block / kGroup, clear);
    else
        fft::ProductsStereo(acc, x, k, parts, block, 0, block / kGroup, clear);
}

// A frame of 2 block samples to its spectrum, split.
void CabinetConvolver::Forward(double* frame, int block)
{
    rdft(2 * block, 1, frame, ip, w);
    fft::ToSplit(frame, 0, block / kGroup);
}

// The same of the 2 block samples at src, into frame.
void CabinetConvolver::ForwardFrom(const double* src, double* frame, int block)
{
    rdftFrom(2 * block, src, frame, ip, w);
    fft::ToSplit(frame, 0, block / kGroup);
}

// headOut = the output of the products in `spectrum`.
void CabinetConvolver::Inverse(const double* spectrum, int block)
{
    if (mono) {
        fft::FromSplit(spectrum, headOut, 0, block / kGroup);
        rdft(2 * block, -1, headOut, ip, w);
    } else {
        fft::FromSplitStereo(spectrum, headOut, block, 0, block / kGroup);
        cdft(4 * block, 1, headOut, ip, w);
    }
}

void CabinetConvolver::Output(int block, double* outL, double* outR)
{
    if (mono)
        std::memcpy(outL, headOut, size_t(block) * sizeof(double));
    else
        deinterleave<false>(outL, outR, headOut, block);
    headTime += block;
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
        Forward(f, B);
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

// Impulses of at most L taps: the FIR filter alone, for the whole block.
void CabinetConvolver::DirectOnly(double* outL, double* outR, int n)
{
    const int T = directTaps;
    headTime += n;
    const double* x = Recent(headTime, n + T - 1);
    fft::Fir(x, directLeft + L - T, T, outL, n);
    if (!mono && outR) fft::Fir(x, directRight + L - T, T, outR, n);
}

// The partitions after the first (the first is at the block end with the
// frame the block completes) with the spectra of the frames that ended 1, 2,
// ... blocks ago: frames[2..P], frames[0].
void CabinetConvolver::OlderProducts(const double** x, const double** k) const
{
    const int P = HeadParts() - 1;
    for (int q = 0; q < P; ++q) {
        x[q] = q + 2 <= P ? headFrames[q + 2] : headFrames[0];
        k[q] = HeadKernel(B, q + 1);
    }
}

// One block of B samples at once: the block completes frames[1], whose
// spectrum goes with the first partition and the spectra before with the
// others, then one inverse transform. The block also starts frames[0], which
// the products may have read as the oldest spectrum.
void CabinetConvolver::HeadBlockOf(double* outL, double* outR)
{
    const int P = HeadParts() - 1;
    const double* in = Recent(headTime + B, B);
    ForwardFrom(Recent(headTime + B, 2 * B), headFrames[1], B);
    const double* x[kMaxHead / 16 + 1];
    const double* k[kMaxHead / 16 + 1];
    x[0] = headFrames[1];
    k[0] = HeadKernel(B, 0);
    OlderProducts(x + 1, k + 1);
    Products(headSpectrum, x, k, P + 1, B, true);
    std::memcpy(headFrames[0], in, size_t(B) * sizeof(double));
    Inverse(headSpectrum, B);
    Output(B, outL, outR);
    RotateHead(std::max(P + 1, 2));
    accValid = false;
}

// The output sample by sample needs at a block boundary (B = L): that of the
// partitions after the direct part for the coming block.
void CabinetConvolver::SampleOutput()
{
    const double* x[kMaxHead / 16 + 1];
    const double* k[kMaxHead / 16 + 1];
    OlderProducts(x, k);
    Products(headSpectrum, x, k, HeadParts() - 1, L, true);
    Inverse(headSpectrum, L);
    accValid = true;
}

// One sample with B = L: the direct part, the output of the partitions, a
// slice of the next block's products; at the block's end its transforms.
void CabinetConvolver::StepSample(double* outL, double* outR, int i)
{
    if (phase == 0 && !accValid) SampleOutput();
    const double* h = Recent(++headTime, L);
    const double x = h[L - 1];
    const int s = phase;
    headFrames[0][s] = x;
    headFrames[1][L + s] = x;
    double yl = 0.0;
    for (int k = 0; k < L; ++k) yl += directLeft[k] * h[k];
    if (mono) {
        yl += headOut[s];
        if (s & 1) SpreadMono(s);
        outL[i] = yl;
    } else {
        double yr = 0.0;
        for (int k = 0; k < L; ++k) yr += directRight[k] * h[k];
        yl += headOut[2 * s];
        yr += headOut[2 * s + 1];
        SpreadStereo(s);
        outL[i] = yl;
        if (outR) outR[i] = yr;
    }
    phase = (s + 1) & (L - 1);
    if (phase == 0) EndSampleBlock();
}

// At odd phase s the bins (s - 1) / 2 and (L + s - 1) / 2 get the products of
// partitions 2..P (bin 0 the real DC and Nyquist products).
void CabinetConvolver::SpreadMono(int s)
{
    const int P = HeadParts() - 1;
    const int lo = (s - 1) / 2;
    const int hi = (L + s - 1) / 2;
    double* acc = headSpectrum;
    acc[splitRe(lo)] = acc[splitIm(lo)] = acc[splitRe(hi)] = acc[splitIm(hi)] = 0.0;
    for (int q = 1; q < P; ++q) {
        const double* x = headFrames[q + 1];
        const double* k = HeadKernel(L, q + 1);
        if (lo == 0) {
            acc[0] += x[0] * k[0];
            acc[kGroup] += x[kGroup] * k[kGroup];
        } else {
            multiplyAdd(acc, x, k, lo);
        }
        multiplyAdd(acc, x, k, hi);
    }
}

// At phase s the complex bins s and 2L - s get the products of partitions
// 2..P (bins 0 and L at phase 0).
void CabinetConvolver::SpreadStereo(int s)
{
    const int P = HeadParts() - 1;
    const int half = 2 * L;
    double* acc = headSpectrum;
    const int re = splitRe(s), im = splitIm(s);
    acc[re] = acc[im] = acc[half + re] = acc[half + im] = 0.0;
    for (int q = 1; q < P; ++q) {
        const double* x = headFrames[q + 1];
        const double* k = HeadKernel(L, q + 1);
        if (s == 0)
            multiplyAddEdges(acc, x, k, half);
        else
            multiplyAddPair(acc, x, k, s, half);
    }
}

void CabinetConvolver::EndSampleBlock()
{
    const int P = HeadParts() - 1;
    Forward(headFrames[1], L);
    const double* x = headFrames[1];
    const double* k = HeadKernel(L, 1);
    Products(headSpectrum, &x, &k, 1, L, false);
    Inverse(headSpectrum, L);
    RotateHead(P + 1);
}

// ---- the long level ----

void CabinetConvolver::LongLevel::Clear()
{
    // Only what the spectra use: the frames of P partitions and the
    // products of blocks of M.
    for (int i = 0; i < kFrames; ++i) frames[i] = pool[i];
    if (P > 0) {
        for (int i = 0; i < P + 2; ++i) std::fill_n(pool[i], 2 * M, 0.0);
        for (double* a : acc) std::fill_n(a, 4 * M, 0.0);
        std::fill_n(spectrum, 4 * M, 0.0);
    }
    current = acc[0];
    coming = acc[1];
    s = 0;
    next = 0;
}

// The block's work in steps of similar cost: the frame's transform, the
// products bin range by bin range, the inverse transform.
void CabinetConvolver::LongLevel::Plan::Make(int half, int parts, bool single)
{
    // Costs in quarters of a product of one bin and partition: a point of a
    // transform step costs about five, a bin into the split layout two and
    // out of it four (measured). Steps of about a hundredth of the block's
    // work.
    constexpr int kPoint = 5, kProduct = 4, kSplit = 2, kJoin = 4;
    const int grain = std::max(64, half / 2);
    work = 0;
    total = 0;
    fft::Step split[kMaxWork];
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
        while ((count = fft::PlanSteps(t, n, g, split, kMaxWork / 3)) > kMaxWork / 3) g *= 2;
        return count;
    };
    const int forward = planned(fft::Transform::rdftPlus, 2 * half);
    for (int i = 0; i < forward; ++i) add(Work::forward, split[i], 0, 0, kPoint * split[i].cost);
    const int groups = half / kGroup;
    const int perGroup = kGroup * kProduct * (single ? parts : 2 * parts);
    // A group of the input spectrum into the split layout, and of the
    // products out of it (twice the bins in stereo).
    const int splitCost = kSplit * kGroup;
    const int joinCost = kJoin * kGroup * (single ? 1 : 2);
    const int groupsPerStep = std::max({1, kPoint * grain / perGroup, (groups + kMaxWork / 6 - 1) / (kMaxWork / 6)});
    const int layoutGroups = std::max({1, kPoint * grain / joinCost, (groups + kMaxWork / 12 - 1) / (kMaxWork / 12)});
    for (int first = 0; first < groups; first += layoutGroups) {
        const int last = std::min(groups, first + layoutGroups);
        add(Work::split, fft::Step{}, first, last, (last - first) * splitCost);
    }
    for (int first = 0; first < groups; first += groupsPerStep) {
        const int last = std::min(groups, first + groupsPerStep);
        add(Work::products, fft::Step{}, first, last, (last - first) * perGroup);
    }
    for (int first = 0; first < groups; first += layoutGroups) {
        const int last = std::min(groups, first + layoutGroups);
        add(Work::join, fft::Step{}, first, last, (last - first) * joinCost);
    }
    const int inverse = single ? planned(fft::Transform::rdftMinus, 2 * half) : planned(fft::Transform::cdftPlus, 4 * half);
    for (int i = 0; i < inverse; ++i) add(Work::inverse, split[i], 0, 0, kPoint * split[i].cost);
}

void CabinetConvolver::LongLevel::RunStep(const Work& u, const double* table)
{
    switch (u.what) {
    case Work::forward: fft::RunStep(u.step, frames[2], table); break;
    case Work::split: fft::ToSplit(frames[2], u.first, u.last); break;
    case Work::products:
        if (isMono)
            fft::ProductsMono(spectrum, frames + 2, kernelOf, P, u.first, u.last, true);
        else
            fft::ProductsStereo(spectrum, frames + 2, kernelOf, P, M, u.first, u.last, true);
        break;
    case Work::join:
        if (isMono)
            fft::FromSplit(spectrum, coming, u.first, u.last);
        else
            fft::FromSplitStereo(spectrum, coming, M, u.first, u.last);
        break;
    case Work::inverse: fft::RunStep(u.step, coming, table); break;
    }
}

void CabinetConvolver::LongLevel::RunUntil(std::int64_t done, const double* table)
{
    while (next < plan->work && plan->steps[next].until <= done) RunStep(plan->steps[next++], table);
}

// n samples of input x: written into the frames, this block's output added,
// the share of the coming block's work that the samples so far call for
// done; at the block's end the rest, and the roles move on.
void CabinetConvolver::LongLevel::Run(const double* x, double* outL, double* outR, int n, const double* table)
{
    for (int i = 0; i < n;) {
        const int count = std::min(n - i, M - s);
        std::memcpy(frames[0] + s, x + i, size_t(count) * sizeof(double));
        std::memcpy(frames[1] + M + s, x + i, size_t(count) * sizeof(double));
        if (isMono)
            addTo(outL + i, current + s, count);
        else
            deinterleave<true>(outL + i, outR ? outR + i : nullptr, current + 2 * s, count);
        s += count;
        i += count;
        RunUntil(plan->total * s / M, table);
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
