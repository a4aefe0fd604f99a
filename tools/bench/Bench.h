#pragma once
// A small benchmark registry: each case renders audio and reports the time it
// took per second of audio and its worst block. Run `tonewright-bench`
// (optionally with a substring filter); the machine's noise makes these
// figures for reports, never for tests.

#include <functional>
#include <string>
#include <vector>

namespace bench {

struct Result {
    double secondsPerAudioSecond = 0.0;  // median over the repetitions
    double worstBlockMicros = 0.0;       // worst block over all repetitions
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

struct Register {
    Register(std::string name, std::function<Result()> run) { registry().push_back({std::move(name), std::move(run)}); }
};

}  // namespace bench
