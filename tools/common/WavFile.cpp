#include "WavFile.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace tonewright {
namespace {

uint32_t le32(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
uint16_t le16(const unsigned char* p) { return uint16_t(p[0] | (p[1] << 8)); }

void put32(std::string& s, uint32_t v)
{
    for (int i = 0; i < 4; ++i) s.push_back(char((v >> (8 * i)) & 0xff));
}
void put16(std::string& s, uint16_t v)
{
    s.push_back(char(v & 0xff));
    s.push_back(char(v >> 8));
}

}  // namespace

bool readWav(const std::string& path, AudioClip& clip, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
        error = path + " is not a RIFF/WAVE file";
        return false;
    }
    int format = 0, channels = 0, bits = 0;
    double rate = 0;
    const unsigned char* data = nullptr;
    size_t dataSize = 0;
    size_t pos = 12;
    while (pos + 8 <= bytes.size()) {
        const unsigned char* chunk = bytes.data() + pos;
        const size_t size = le32(chunk + 4);
        const size_t body = pos + 8;
        if (size > bytes.size() - body) {
            error = path + ": chunk runs past the end of the file";
            return false;
        }
        if (std::memcmp(chunk, "fmt ", 4) == 0 && size >= 16) {
            format = le16(chunk + 8);
            channels = le16(chunk + 10);
            rate = le32(chunk + 12);
            bits = le16(chunk + 22);
            if (format == 0xFFFE && size >= 40) format = le16(chunk + 8 + 24);
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            data = chunk + 8;
            dataSize = size;
        }
        pos = body + size + (size & 1);
    }
    const bool pcm = format == 1 && (bits == 16 || bits == 24 || bits == 32);
    const bool flt = format == 3 && bits == 32;
    if (!data || channels < 1 || channels > 8 || rate <= 0 || !(pcm || flt)) {
        error = path + ": unsupported WAV layout";
        return false;
    }
    const int width = bits / 8;
    const size_t frames = dataSize / (size_t(width) * channels);
    clip.sampleRate = rate;
    clip.channels = channels;
    clip.samples.assign(channels, std::vector<double>(frames));
    for (size_t f = 0; f < frames; ++f) {
        for (int c = 0; c < channels; ++c) {
            const unsigned char* p = data + (f * channels + c) * width;
            double v = 0;
            if (flt) {
                float x;
                std::memcpy(&x, p, 4);
                v = x;
            } else if (bits == 16) {
                v = int16_t(le16(p)) / 32768.0;
            } else if (bits == 24) {
                int32_t x = int32_t(p[0] | (p[1] << 8) | (p[2] << 16));
                if (x & 0x800000) x -= 0x1000000;
                v = x / 8388608.0;
            } else {
                v = int32_t(le32(p)) / 2147483648.0;
            }
            clip.samples[c][f] = v;
        }
    }
    return true;
}

namespace {

// Writes a WAV file; `encode` appends one sample. Float files carry the
// 18-byte fmt chunk (cbSize 0) and the fact chunk every reader expects of a
// non-PCM format; PCM keeps the plain 16-byte fmt chunk.
template <class Encode>
bool writeWav(const std::string& path, const AudioClip& clip, uint16_t format, uint16_t bits, Encode encode)
{
    const bool pcm = format == 1;
    const uint64_t frames = uint64_t(clip.frames());
    const uint16_t channels = uint16_t(clip.channels);
    const uint16_t blockAlign = uint16_t(channels * (bits / 8));
    const uint32_t fmtBytes = pcm ? 16 : 18;
    const uint32_t headerBytes = 12 + 8 + fmtBytes + (pcm ? 0 : 12) + 8;
    // The RIFF sizes are 32-bit.
    if (frames * blockAlign + headerBytes + 1 > 0xFFFFFFFFull) return false;
    const uint32_t dataBytes = uint32_t(frames * blockAlign);
    std::string out;
    out.reserve(headerBytes + dataBytes + 1);
    out += "RIFF";
    put32(out, headerBytes - 8 + dataBytes + (dataBytes & 1));
    out += "WAVEfmt ";
    put32(out, fmtBytes);
    put16(out, format);
    put16(out, channels);
    put32(out, uint32_t(clip.sampleRate));
    put32(out, uint32_t(clip.sampleRate) * blockAlign);
    put16(out, blockAlign);
    put16(out, bits);
    if (!pcm) {
        put16(out, 0);  // cbSize: no extension
        out += "fact";
        put32(out, 4);
        put32(out, uint32_t(frames));
    }
    out += "data";
    put32(out, dataBytes);
    for (uint64_t f = 0; f < frames; ++f) {
        for (int c = 0; c < channels; ++c) encode(out, clip.samples[c][f]);
    }
    if (dataBytes & 1) out.push_back('\0');
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) return false;
    file.write(out.data(), std::streamsize(out.size()));
    return bool(file);
}

}  // namespace

bool writeWavFloat(const std::string& path, const AudioClip& clip)
{
    return writeWav(path, clip, 3, 32, [](std::string& out, double v) {
        const float x = float(v);
        char b[4];
        std::memcpy(b, &x, 4);
        out.append(b, 4);
    });
}

bool writeWavPcm24(const std::string& path, const AudioClip& clip)
{
    return writeWav(path, clip, 1, 24, [](std::string& out, double v) {
        const long x = std::lround(std::clamp(v, -1.0, 1.0) * 8388608.0);
        const uint32_t u = uint32_t(std::clamp(x, -8388608L, 8388607L));
        for (int i = 0; i < 3; ++i) out.push_back(char((u >> (8 * i)) & 0xff));
    });
}

double dbfs(double x) { return x > 0 ? 20.0 * std::log10(x) : -INFINITY; }

void printLevels(const AudioClip& clip)
{
    for (int c = 0; c < clip.channels; ++c) {
        double peak = 0, sum = 0;
        for (double x : clip.samples[size_t(c)]) {
            peak = std::max(peak, std::fabs(x));
            sum += x * x;
        }
        const double rms = clip.frames() ? std::sqrt(sum / clip.frames()) : 0.0;
        std::printf("output %d  peak %.1f dBFS, rms %.1f dBFS\n", c, dbfs(peak), dbfs(rms));
    }
}

}  // namespace tonewright
