#pragma once
// A small benchmark registry: each case renders audio and reports the time it
// took per second of audio and its slow blocks. Run `tonewright-bench`
// (optionally with a case-insensitive substring filter); the machine's noise
// makes these figures for reports, never for tests.

#include <functional>
#include <string>
#include <vector>

namespace tonewright {
namespace bench {

// One block's time in a run is mostly the other programs on the machine, so
// the block figures are each the best over the repetitions: what the code
// needs when nothing else gets in its way.
struct Result {
    double secondsPerAudioSecond = 0.0;  // median over the repetitions
    double p99BlockMicros = 0.0;         // 99th percentile of the block times, least over the repetitions
    double maxBlockMicros = 0.0;         // slowest block, least over the repetitions
    int block = 0;
};

// Times `process(n)` over blocks of `block` samples covering `audioSeconds`
// at fs, `repetitions` times.
Result measure(double fs, int block, double audioSeconds, int repetitions,
               const std::function<void(int n)>& process);

struct Case {
    std::string name;
    std::function<Result()> run;
};

std::vector<Case>& registry();

// n samples of uniform noise within +-amplitude, the same on every run.
std::vector<double> noise(int n, double amplitude = 0.3, unsigned seed = 1);

// n samples at fs of played notes: a plucked chord every half second (decaying
// harmonics, peak about -4 dBFS), as a guitar's direct signal drives an amp
// more gently than noise does.
std::vector<double> plucked(int n, double fs);

// `tonewright-bench --peers fft|convolver`: our code against peer code.
int runPeers(const std::string& what);

// `tonewright-bench --default-bank FILE`: writes a bank of 128 programs of
// the engine's default sound, for a host to load as the factory bank.
bool writeDefaultBank(const char* path);

struct Register {
    Register(std::string name, std::function<Result()> run) { registry().push_back({std::move(name), std::move(run)}); }
};

}  // namespace bench

}  // namespace tonewright
