#pragma once
// Zero-latency convolution of a mono input with a cabinet impulse of up to
// 65536 taps (mono, or stereo carried as one complex filter). The first L taps
// run as a direct FIR filter, taps L..M-1 as uniform partitions of L taps
// (FFTs of 2L points) and taps M..N-1 as partitions of M taps (FFTs of 2M
// points), both in overlap-save fashion. The products of the older partitions
// are spread over the samples of a block, so a block end costs one forward
// transform, one partition product and one inverse transform per level.
//
// Everything lives inside the object (it is large; keep it on the heap), so
// nothing is allocated after construction.
//
// Threads. `SetImpulse` builds spectra (slow: never under the engine lock);
// the cabinet's worker builds a convolver whole and hands it to the audio
// thread by pointer, which alone runs `process` from then on.

#include "cabinet/Fft.h"

namespace tonewright {

class CabinetConvolver {
public:
    static constexpr int kMaxLength = 65536;
    // {N longest impulse, L short block, M long block}: the first row whose
    // N is at least the impulse length is used.
    static constexpr int NLM[17][3] = {
        {1, 1, 1},          {2, 2, 2},          {4, 4, 4},          {8, 8, 8},         {16, 16, 16},
        {32, 8, 32},        {64, 16, 64},       {128, 16, 128},     {256, 16, 64},     {512, 16, 64},
        {1024, 16, 128},    {2048, 32, 256},    {4096, 32, 512},    {8192, 32, 512},   {16384, 64, 1024},
        {32768, 64, 1024},  {65536, 64, 2048},
    };

    // Starts with a mono unit impulse: the input passes unchanged.
    CabinetConvolver();

    // Loads an impulse (cut to 65536 taps; below 1 tap gives silence) and
    // clears every history. `right` is not read when `mono`.
    void SetImpulse(const double* left, const double* right, int length, bool mono);

    // A mono impulse gives equal outputs. `in` may be one of the outputs.
    void process(const double* in, double* outL, double* outR, int n);
    void process_mono(const double* in, double* out, int n);
    void process_stereo(const double* in, double* outL, double* outR, int n);

    bool IsMono() const { return mono; }
    int ShortBlock() const { return shortLevel.L; }
    int LongBlock() const { return longLevel.L; }
    int ShortPartitions() const { return shortLevel.P; }
    int LongPartitions() const { return longLevel.P; }

private:
    static constexpr int kMaxDirect = 64;

    // One level of uniform partitions of L taps, L at most B.
    template <int B>
    struct Level {
        static constexpr int kFrames = 32;
        static constexpr int kIp = fft::rdftIpSize(2 * B) > fft::cdftIpSize(4 * B) ? fft::rdftIpSize(2 * B)
                                                                                     : fft::cdftIpSize(4 * B);
        static constexpr int kW = fft::rdftWSize(2 * B) > fft::cdftWSize(4 * B) ? fft::rdftWSize(2 * B)
                                                                                  : fft::cdftWSize(4 * B);

        int L = 0;  // block (and partition) size
        int P = 0;  // partitions
        int s = 0;  // phase within the block
        alignas(64) double kernels[kFrames - 1][4 * B];
        alignas(64) double pool[kFrames][2 * B];
        double* frames[kFrames];
        alignas(64) double acc[4 * B];
        int ip[kIp];
        double w[kW];

        Level();
        void Clear();
        // Builds the spectra of partitions of L taps starting at tap `first`.
        void Load(int block, int partitions, int first, const double* left, const double* right, int length,
                  bool isMono);
        double StepMono(double x);
        void StepStereo(double x, double& yl, double& yr);

    private:
        void SpreadMono(int phase);
        void SpreadStereo(int phase);
        void EndBlockMono();
        void EndBlockStereo();
        void Rotate();
    };

    // Writes x into the direct part's history and returns where its L
    // newest samples start, oldest first.
    const double* PushHistory(double x);

    bool mono = true;
    int directLength = 1;
    int directPosition = 0;
    // Taps in reverse order and the input written twice, so that the direct
    // part is one contiguous dot product.
    alignas(64) double directLeft[kMaxDirect];
    alignas(64) double directRight[kMaxDirect];
    alignas(64) double history[2 * kMaxDirect];
    Level<64> shortLevel;
    Level<2048> longLevel;
};

}  // namespace tonewright
