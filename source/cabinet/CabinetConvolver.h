#pragma once
// Zero-latency convolution of a mono input with a cabinet impulse of up to
// 65536 taps (mono, or stereo carried as one complex filter), in two parts:
//
// The head, taps 0..2M-1 (all taps when the impulse is no longer than M),
// gives the output of each sample from that sample on. Sample by sample it
// is a direct FIR filter of the first L taps plus uniform partitions of L
// taps (FFTs of 2L points, overlap-save) whose products are spread over the
// samples of a block. Given whole blocks, it transforms whole blocks of B
// samples at once (B = L, 2L, ... up to M, the largest that divides the
// caller's block), with the first partition taking the direct part's place;
// it switches size only at its block boundaries, rebuilding the spectra of
// the recent frames from an input history, and stays at a size until the
// caller's blocks call for another twice in a row.
//
// The long level, taps 2M..N-1, in partitions of M taps (FFTs of 2M
// points): its output for a block of M is due one block after the frame it
// needs is complete, so the transform of that frame, its products with
// every partition and the inverse transform are cut into steps and spread
// evenly over the samples of the block in between.
//
// What an impulse becomes for the convolver (its kernels for every partition
// size, the direct taps, the long level's plan) is a `Spectra`: made once,
// off the audio thread, never changed, and shared by everyone who plays that
// impulse at that rate. The convolver itself is only the running state (the
// input history, the frames and their spectra, the FFT tables), all inside
// the object (it is large; keep it on the heap), so nothing is allocated
// after construction.
//
// Threads. `Spectra::Make` and `SetImpulse` compute and allocate: never on
// the audio thread. `Install` switches to spectra made beforehand without
// allocating or waiting (it clears the history, a bounded memset), so the
// audio thread may call it; the spectra must outlive their use, which the
// caller guarantees. One thread at a time runs `Install` and `process`.

#include <cstdint>
#include <memory>

#include "cabinet/Fft.h"

namespace tonewright {

class CabinetConvolver {
public:
    static constexpr int kMaxLength = 65536;
    // {N longest impulse, L short block, M long block}: the first row whose
    // N is at least the impulse length is used.
    static constexpr int NLM[17][3] = {
        {1, 1, 1},          {2, 2, 2},          {4, 4, 4},          {8, 8, 8},         {16, 16, 16},
        {32, 32, 32},       {64, 16, 64},       {128, 16, 128},     {256, 16, 64},     {512, 16, 64},
        {1024, 16, 128},    {2048, 32, 256},    {4096, 32, 512},    {8192, 32, 1024},   {16384, 64, 1024},
        {32768, 64, 1024},  {65536, 64, 2048},
    };

    class Spectra;

    // Starts with a mono unit impulse: the input passes unchanged.
    CabinetConvolver();

    // Loads an impulse (cut to 65536 taps; below 1 tap gives silence) and
    // clears every history. `right` is not read when `mono`. Makes the
    // spectra (slow), which the convolver then keeps.
    void SetImpulse(const double* left, const double* right, int length, bool mono);
    // Plays spectra made beforehand from the next sample on, with every
    // history cleared; keeps no reference (the caller keeps them alive while
    // they play). Allocates nothing. Null changes nothing.
    void Install(const Spectra* spectra);
    const Spectra* Playing() const { return spectra; }

    // A mono impulse gives equal outputs. `in` may be one of the outputs.
    void process(const double* in, double* outL, double* outR, int n);
    // One output: the left channel of a stereo impulse.
    void process_mono(const double* in, double* out, int n);
    void process_stereo(const double* in, double* outL, double* outR, int n);

    bool IsMono() const { return mono; }
    int ShortBlock() const { return L; }
    int LongBlock() const { return M; }
    // Partitions of L taps after the direct part, and of M taps after the head.
    int ShortPartitions() const { return headTaps / L - 1; }
    int LongPartitions() const { return longLevel.P; }
    // The head's current block size (L when it goes sample by sample).
    int HeadBlock() const { return B; }

private:
    static constexpr int kMaxDirect = 64;
    static constexpr int kMaxHead = 4096;      // 2M for the longest row
    static constexpr int kMaxBlock = 2048;     // M for the longest row
    static constexpr int kBlockSizes = 6;      // B = L .. 32L
    // Input ring, a power of two; its first kMirror samples are repeated
    // after its end so that every read is contiguous.
    static constexpr int kHistory = 16384;
    static constexpr int kMirror = 2 * kMaxBlock;
    static constexpr int kSegment = kMaxBlock; // samples handled per round
    static constexpr int kTable = 2 * kMaxBlock;  // FFT table length: rdft of 2M, cdft of 4M doubles
    // Arrays the products read side by side are this many doubles (two cache
    // lines) more than a power of two apart, so that they do not all compete
    // for the same sets of the first-level cache.
    static constexpr int kSkew = 16;

    // The level of partitions of M taps from tap 2M on.
    struct LongLevel {
        static constexpr int kMaxParts = 30;
        static constexpr int kFrames = kMaxParts + 2;
        static constexpr int kMaxWork = 640;

        // One step of a block's work: a step of the frame's transform, the
        // products over some bins, or a step of the inverse transform.
        struct Work {
            enum What : unsigned char { forward, split, products, join, inverse } what = forward;
            fft::Step step;
            int first = 0, last = 0;  // split, products, join: groups of bins
            std::int64_t until = 0;   // work done once this step is
        };

        // The block's work in steps, made with the spectra.
        struct Plan {
            int work = 0;  // steps planned
            std::int64_t total = 0;
            Work steps[kMaxWork];
            void Make(int half, int parts, bool single);
        };

        int M = 0;
        int P = 0;  // partitions
        int s = 0;  // phase within the block
        bool isMono = true;
        int next = 0;  // the next step to run
        const Plan* plan = nullptr;
        // frames[0]: being written (first half), frames[1]: being written
        // (second half), frames[2]: complete, transformed during this block,
        // frames[3..P+1]: the spectra of the frames before it.
        double* frames[kFrames];
        const double* kernelOf[kMaxParts];
        double* current;  // this block's output
        double* coming;   // the next block's, being built
        alignas(64) double pool[kFrames][2 * kMaxBlock + kSkew];
        alignas(64) double spectrum[4 * kMaxBlock];  // the coming block's products
        alignas(64) double acc[2][4 * kMaxBlock];

        void Clear();
        void Run(const double* x, double* outL, double* outR, int n, const double* table);
        void Rotate();
        void RunUntil(std::int64_t done, const double* table);
        void RunStep(const Work& step, const double* table);
    };

    // Input history.
    void Append(const double* x, int n);
    const double* Recent(std::int64_t end, int count) const;

    // The head.
    void RunHead(double* outL, double* outR, int n, int preferred, bool steady);
    void DirectOnly(double* outL, double* outR, int n);
    void StepSample(double* outL, double* outR, int i);
    void SampleOutput();
    void SpreadMono(int phase);
    void SpreadStereo(int phase);
    void EndSampleBlock();
    void HeadBlockOf(double* outL, double* outR);
    void SwitchHead(int block);
    void RotateHead(int count);
    int HeadParts() const { return headTaps / B; }
    const double* HeadKernel(int block, int p) const;
    void Products(double* acc, const double* const* x, const double* const* k, int parts, int block, bool clear) const;
    void Forward(double* frame, int block);
    void ForwardFrom(const double* src, double* frame, int block);
    void Inverse(const double* spectrum, int block);
    void Output(int block, double* outL, double* outR);
    void OlderProducts(const double** x, const double** k) const;
    void EnterUniform();
    void UniformBlock(double* outL, double* outR);
    void LeaveUniform();

    // The spectra playing (never null once constructed), and those this
    // convolver made itself (SetImpulse), which it keeps.
    const Spectra* spectra = nullptr;
    std::shared_ptr<const Spectra> own;

    // Copied from the spectra on Install.
    bool mono = true;
    int L = 1, M = 1, N = 1;
    int headTaps = 1;  // taps the head covers
    int maxBlock = 1;  // largest head block
    std::int64_t time = 0;  // samples since Install
    std::int64_t headTime = 0;
    int ip[fft::rdftIpSize(kTable)];
    alignas(64) double w[fft::rdftWSize(kTable)];
    alignas(64) double ring[kHistory + kMirror];

    // Head state: block size, phase within L when going sample by sample,
    // whether `headOut` holds this block's output for that, and the caller's
    // preferred block size last time.
    int B = 1;
    int phase = 0;
    bool accValid = false;
    int lastPreferred = 0;
    bool uniform = false;  // whole blocks of M through every partition at once
    int directTaps = 1;                   // taps in use, the last of these
    const double* directLeft = nullptr;   // kMaxDirect taps in reverse order
    const double* directRight = nullptr;
    double* headFrames[kMaxHead / 16 + 1];
    alignas(64) double headPool[2 * kMaxHead + 4 * kMaxBlock + kSkew * (kMaxHead / 64 + 1)];
    alignas(64) double headSpectrum[4 * kMaxBlock];  // products (split)
    alignas(64) double headOut[4 * kMaxBlock];       // their inverse transform

    LongLevel longLevel;
};

// An impulse made ready for the convolver: the kernels of every partition
// size the convolver uses for its length (their spectra, scaled so that the
// inverse transforms need no scale), the direct taps and the long level's
// plan; sized to the impulse. Immutable once made.
class CabinetConvolver::Spectra {
public:
    // Cut to 65536 taps; below 1 tap gives silence; right is not read when
    // mono. Throws std::bad_alloc when memory runs out.
    static std::shared_ptr<const Spectra> Make(const double* left, const double* right, int length, bool mono);

    bool Mono() const { return mono; }
    int Taps() const { return taps; }
    // Bytes held, for budgets and reports.
    std::size_t Bytes() const;

private:
    friend class CabinetConvolver;
    struct Aligned {
        void operator()(double* p) const;
    };
    using Block = std::unique_ptr<double[], Aligned>;
    static Block Allocate(std::size_t doubles);

    const double* HeadKernel(int block, int p) const;

    bool mono = true;
    int taps = 1;
    int L = 1, M = 1, N = 1;
    int headTaps = 1;
    int maxBlock = 1;
    int directTaps = 1;
    double directLeft[kMaxDirect] = {};
    double directRight[kMaxDirect] = {};
    // Head kernels of block size L << i from head + headOffset[i].
    std::size_t headOffset[kBlockSizes] = {};
    std::size_t headDoubles = 0;
    Block head;
    int P = 0;  // long partitions of M taps, each 4M + kSkew doubles
    Block longKernels;
    std::unique_ptr<LongLevel::Plan> plan;
};

}  // namespace tonewright
