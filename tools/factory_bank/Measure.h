#pragma once
// What the factory bank generator measures of a program: its level, peak
// and band balance over the demo clip, how hard its amplifier distorts and
// compresses, and how alike two programs sound. Every render runs a fresh
// engine at 44.1 kHz in blocks of 512, as a host does after loading the
// program; nothing here is shared between threads.

#include <vector>

#include "engine/TonewrightParameters.h"
#include "factory_bank/Design.h"

namespace tonewright::factory {

constexpr double kRate = 44100.0;

// The two outputs of a render.
struct Stereo {
    std::vector<double> left, right;
};

// Plays `input` through a fresh engine holding `program`, with `extra`
// settings applied on top.
Stereo play(const TonewrightParameters& program, const std::vector<double>& input, const Settings& extra = {});

// The band balance of the first `frames` samples of x.
Bands bandBalance(const std::vector<double>& x, size_t frames, double fs);

// Largest difference between two band balances over the four bands, dB.
double bandDistance(const Bands& a, const Bands& b);

// Pearson correlation of two renders' mono mixes (1 for the same sound at
// any level).
double correlation(const std::vector<float>& a, const std::vector<float>& b);

struct Measurement {
    double rmsDb = 0.0;   // both outputs, over the clip, master at 0 dB
    double peakDb = 0.0;  // either output, over the clip and the tail, master at 0 dB
    Bands bands{};        // the mono mix over the clip
    // The slope of the output's level over the clip's notes (23 ms frames
    // within 30 dB of the loudest), modulation, echo and reverb off, against
    // the level the program would give if it were linear: 1 for a linear
    // amplifier, lower the more it compresses.
    double compression = 0.0;
    // Harmonics 2..10 of a -14 dBFS 110 Hz note against its fundamental,
    // after the amplifier alone (cabinet, wah and time effects off), dB.
    double thdDb = 0.0;
    double leftRight = 1.0;   // correlation of the two outputs over the clip
    std::vector<float> mono;  // the mono mix over the clip
};

// `input` is the clip followed by silence, for the tails' peaks.
Measurement measure(const TonewrightParameters& program, const std::vector<double>& input, size_t clipFrames);

}  // namespace tonewright::factory
