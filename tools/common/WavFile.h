#pragma once
// Minimal WAV reading and writing for the tools and tests: PCM 16/24/32-bit
// and 32-bit float in, 32-bit float or 24-bit integer out.

#include <string>
#include <vector>

namespace tonewright {
struct AudioClip {
    double sampleRate = 44100.0;
    int channels = 1;
    std::vector<std::vector<double>> samples;  // one vector per channel

    int frames() const { return samples.empty() ? 0 : static_cast<int>(samples[0].size()); }
};

// Returns false with a message in `error` when the file cannot be read.
bool readWav(const std::string& path, AudioClip& clip, std::string& error);

// Writes 32-bit float samples. Returns false when the file cannot be written.
bool writeWavFloat(const std::string& path, const AudioClip& clip);
// Writes 24-bit integer samples, clipped to full scale.
bool writeWavPcm24(const std::string& path, const AudioClip& clip);

// Decibels relative to full scale (-inf for silence).
double dbfs(double x);
// Prints "output C  peak .. dBFS, rms .. dBFS", one line per channel.
void printLevels(const AudioClip& clip);

}  // namespace tonewright
