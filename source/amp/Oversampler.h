#pragma once
// Raises a mono block to about 176.4 or 192 kHz for the nonlinear amplifier
// stages and brings it back, both ways through one 64-tap linear-phase
// low-pass (polyphase interpolation up, filtering and decimation down).

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
    void Reserve(int n) { buffer.Reserve(kMaxFactor * n); }
    // Nothing fades here.
    void Settle() {}

    void UpsampleInput(const double* x, int n);
    void DownsampleOutput(double* y, int n);

    double* Buffer() { return buffer.data(); }
    int Count() const { return buffer.size(); }

    // The shared filter table, h[0..63], summing to 1.
    static const double* FilterTable();

private:
    void CheckLength(int n);

    MonoBuffer buffer;
    int factor = 4;
    int upPosition = 0;
    int downPosition = 0;
    // Rings of the last 64 samples, each written twice (at i and i + 64) so
    // that the filters read 64 consecutive values from any start.
    double upHistory[2 * kTaps] = {};
    double downHistory[2 * kTaps] = {};
    double fs = 0.0;
    double nominalRate = 176400.0;
    double gain = 4.0;
};

}  // namespace tonewright
