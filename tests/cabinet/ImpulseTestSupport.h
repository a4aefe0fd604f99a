#pragma once
// Helpers for the impulse file tests: a private temporary folder, byte-level
// WAV and AIFF builders for malformed files, and the reader's outputs.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cabinet/ImpulseFile.h"

using namespace tonewright;

namespace impulsetest {

using Bytes = std::vector<unsigned char>;

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "twr-impulse-XXXXXX").string();
        if (!mkdtemp(pattern.data())) ADD_FAILURE() << "mkdtemp failed";
        path = pattern;
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string file(const std::string& name) const { return (path / name).string(); }

    std::filesystem::path path;
};

inline void writeFile(const std::string& path, const Bytes& b)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

inline void le(Bytes& b, uint64_t v, int n)
{
    for (int i = 0; i < n; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
inline void be(Bytes& b, uint64_t v, int n)
{
    for (int i = n - 1; i >= 0; --i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
inline void tag(Bytes& b, const char* id)
{
    b.insert(b.end(), id, id + 4);
}

struct Chunk {
    std::string id;
    Bytes body;
    int64_t sizeField = -1;  // the size written in the header; -1: the body's
    bool pad = true;         // add the pad byte after an odd body
};

// A RIFF/WAVE (or FORM/AIFF) container from chunks; containerSize -1 gives
// the right size.
inline Bytes container(const char* magic, const char* form, const std::vector<Chunk>& chunks, bool bigEndian,
                       int64_t containerSize = -1)
{
    Bytes body;
    tag(body, form);
    for (const Chunk& c : chunks) {
        tag(body, c.id.c_str());
        const uint64_t size = c.sizeField >= 0 ? uint64_t(c.sizeField) : c.body.size();
        bigEndian ? be(body, size, 4) : le(body, size, 4);
        body.insert(body.end(), c.body.begin(), c.body.end());
        if (c.pad && (c.body.size() & 1)) body.push_back(0);
    }
    Bytes out;
    tag(out, magic);
    const uint64_t size = containerSize >= 0 ? uint64_t(containerSize) : body.size();
    bigEndian ? be(out, size, 4) : le(out, size, 4);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

struct WavFormat {
    int tag = 1;
    int channels = 1;
    uint32_t rate = 44100;
    int bits = 16;
    int blockAlign = -1;  // -1: channels x sample width
    int64_t byteRate = -1;  // -1: rate x block alignment
    int extraBytes = 0;   // fmt chunk beyond 16 bytes
};

inline Bytes fmtBody(const WavFormat& f)
{
    const int width = f.bits == 20 ? 3 : f.bits / 8;
    const int align = f.blockAlign >= 0 ? f.blockAlign : f.channels * width;
    Bytes b;
    le(b, uint64_t(f.tag), 2);
    le(b, uint64_t(f.channels), 2);
    le(b, f.rate, 4);
    le(b, f.byteRate >= 0 ? uint64_t(f.byteRate) : uint64_t(f.rate) * uint64_t(align), 4);
    le(b, uint64_t(align), 2);
    le(b, uint64_t(f.bits), 2);
    b.resize(b.size() + size_t(f.extraBytes), 0);
    return b;
}

inline Bytes wav(const WavFormat& f, const Bytes& data)
{
    return container("RIFF", "WAVE", {{"fmt ", fmtBody(f)}, {"data", data}}, false);
}

// The 80-bit extended form of a positive finite value.
inline Bytes extended(double v)
{
    int e2 = 0;
    const double m = std::frexp(v, &e2);  // v = m 2^e2, 0.5 <= m < 1
    Bytes b;
    be(b, uint64_t(16383 + e2 - 1), 2);
    be(b, uint64_t(std::ldexp(m, 64)), 8);
    return b;
}

inline Bytes commBody(int channels, uint32_t frames, int bits, const Bytes& rate)
{
    Bytes b;
    be(b, uint64_t(channels), 2);
    be(b, frames, 4);
    be(b, uint64_t(bits), 2);
    b.insert(b.end(), rate.begin(), rate.end());
    return b;
}

inline Bytes ssndBody(const Bytes& data, uint32_t offset = 0, uint32_t blockSize = 0)
{
    Bytes b;
    be(b, offset, 4);
    be(b, blockSize, 4);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

inline Bytes aiff(int channels, uint32_t frames, int bits, double rate, const Bytes& data)
{
    return container("FORM", "AIFF", {{"COMM", commBody(channels, frames, bits, extended(rate))}, {"SSND", ssndBody(data)}},
                     true);
}

// Everything one load hands out; pre-filled so that a refusal can be seen to
// change nothing.
struct Loaded {
    std::vector<double> left{7.0}, right{7.0};
    int frames = -7, rate = -7;
    bool mono = false;
    bool ok = false;

    bool untouched() const
    {
        return left == std::vector<double>{7.0} && right == std::vector<double>{7.0} && frames == -7 &&
               rate == -7 && !mono;
    }
};

inline Loaded loadData(const Bytes& b, bool asAiff = false)
{
    Loaded r;
    r.ok = asAiff ? LoadAIFFImpulseData(b.data(), b.size(), &r.left, &r.right, &r.frames, &r.rate, &r.mono)
                  : LoadWAVImpulseData(b.data(), b.size(), &r.left, &r.right, &r.frames, &r.rate, &r.mono);
    return r;
}

inline Loaded loadFile(const std::string& path)
{
    Loaded r;
    r.ok = LoadImpulse(path.c_str(), &r.left, &r.right, &r.frames, &r.rate, &r.mono);
    return r;
}

}  // namespace impulsetest
