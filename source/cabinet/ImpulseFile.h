#pragma once
// Reading of WAV and AIFF impulse response files: 1 or 2 channels, 44100,
// 48000, 88200, 96000, 176400 or 192000 Hz, 8, 16, 20, 24 or 32-bit integer
// samples, and 32-bit float in WAV.

#include <cstddef>
#include <vector>

namespace tonewright {

// Reads a WAV or AIFF impulse file. Every output may be null: rate and mono
// are written when given; the samples are decoded only when left, right and
// frames are all given (otherwise only the checks run). left and right then
// hold `frames` samples each, full scale 1.0; a mono file gives two equal
// channels. Only regular files of at most 1 GiB are read, and a FIFO or a
// device is refused at once (system's ReadableFile). A refused file gives
// one "Quarrystone TWR:: ..." line on standard error and false, and no
// output changes.
bool LoadImpulse(const char* path, std::vector<double>* left, std::vector<double>* right, int* frames, int* rate,
                 bool* mono);

// Whether a regular file begins as a WAV or AIFF file does (whatever its
// name), saying nothing: for listing folders, whose other files are passed
// over in silence; LoadImpulse then checks the rest.
bool StartsAsImpulseFile(const char* path);

// One format each, with the same outputs and rules.
bool LoadWAVImpulse(const char* path, std::vector<double>* left, std::vector<double>* right, int* frames,
                    int* rate, bool* mono);
bool LoadAIFFImpulse(const char* path, std::vector<double>* left, std::vector<double>* right, int* frames,
                     int* rate, bool* mono);

// The readers over a memory image of `size` bytes.
bool LoadWAVImpulseData(const unsigned char* data, size_t size, std::vector<double>* left,
                        std::vector<double>* right, int* frames, int* rate, bool* mono);
bool LoadAIFFImpulseData(const unsigned char* data, size_t size, std::vector<double>* left,
                         std::vector<double>* right, int* frames, int* rate, bool* mono);

// Converts a 10-byte big-endian IEEE 754 extended value (the AIFF sample
// rate). False, leaving *out alone, when it is zero, infinite, NaN or out of
// the range of a double.
bool Convert80BitDouble(const unsigned char* bytes, double* out);

}  // namespace tonewright
