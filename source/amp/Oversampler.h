#pragma once
// Raises a mono block to about 176.4 or 192 kHz for the nonlinear amplifier
// stages and brings it back, both ways through one 64-tap linear-phase
// low-pass (polyphase interpolation up, filtering and decimation down). The
// factor is a template parameter of the loops, so every phase of an input
// sample is one vector multiply-add per tap, and the decimation adds the
// mirrored halves of its window before multiplying (the taps are symmetric).

#include "dsp/MonoBuffer.h"

namespace tonewright {

class Oversampler {
public:
    static constexpr int kTaps = 64;
    // The largest factor any rate gets: oversampled stages reserve this
    // multiple of the host block.
    static constexpr int kMaxFactor = 4;

    Oversampler();

    void SetFs(double rate);
    double GetNFs() const { return nominalRate; }
    int Factor() const { return factor; }

    // Makes room for base-rate blocks of up to n samples at any factor.
    void Reserve(int n);
    // Nothing fades here.
    void Settle() {}

    void UpsampleInput(const double* x, int n);
    void DownsampleOutput(double* y, int n);

    double* Buffer() { return buffer.data() + kTaps; }
    int Count() const { return count; }

    // The shared filter table, h[0..63], summing to 1.
    static const double* FilterTable();

    // Whether the loops may use the processor's wider vectors where it has
    // them (the default); both ways give the same samples. For tests.
    static void AllowWideVectors(bool allow);

private:
    // Sizes the raised block for n base-rate samples; the kTaps samples
    // before it hold the end of the previous raised block.
    void CheckLength(int n);
    template <int Factor>
    void Upsample(const double* x, int n);
    template <int Factor>
    void Downsample(double* y, int n);

    MonoBuffer buffer;
    int count = 0;
    int factor = 4;
    int upPosition = 0;
    // Ring of the last 64 inputs, each written twice (at i and i + 64) so
    // that the interpolation reads 64 consecutive values from any start.
    double upHistory[2 * kTaps] = {};
    double fs = 0.0;
    double nominalRate = 176400.0;
};

}  // namespace tonewright
