#include "cabinet/ImpulseFile.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "system/Diagnostics.h"
#include "system/ReadableFile.h"

namespace tonewright {

namespace {

// A refusal inside a reader. It is caught by the reader that threw it and
// becomes one line on standard error.
struct waverror {
    int code;  // 1 open, 3 structure, 4 sample format, 5 channels, 6 rate, 7 bits
    const char* what;
};

[[noreturn]] void fail(int code, const char* what)
{
    throw waverror{code, what};
}

// The bytes of a file or of a memory image. Every read names its offset and
// length and fails unless all of it lies inside the source.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    uint64_t size() const { return length; }
    bool read(uint64_t offset, void* dst, size_t n) const
    {
        if (offset > length || n > length - offset) return false;
        return n == 0 || fetch(offset, static_cast<unsigned char*>(dst), n);
    }

protected:
    virtual bool fetch(uint64_t offset, unsigned char* dst, size_t n) const = 0;
    uint64_t length = 0;
};

class MemorySource final : public ByteSource {
public:
    MemorySource(const unsigned char* data_, size_t size) : data(data_) { length = data ? size : 0; }

private:
    bool fetch(uint64_t offset, unsigned char* dst, size_t n) const override
    {
        std::memcpy(dst, data + offset, n);
        return true;
    }
    const unsigned char* data;
};

// Files are read where the layout says, never whole; the bound only keeps
// out what cannot be an impulse.
constexpr uint64_t kLargestImpulseFile = uint64_t(1) << 30;

class FileSource final : public ByteSource {
public:
    explicit FileSource(const char* path) : file(path ? path : "", kLargestImpulseFile)
    {
        if (!file.isOpen()) fail(1, file.refusal());
        length = file.size();
    }

private:
    bool fetch(uint64_t offset, unsigned char* dst, size_t n) const override { return file.read(offset, dst, n); }
    system::ReadableFile file;
};

uint16_t wavReadShort(const unsigned char* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t wavReadInt(const unsigned char* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t aiffReadShort(const unsigned char* p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}
uint32_t aiffReadInt(const unsigned char* p)
{
    return (static_cast<uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

bool isChunk(const unsigned char* id, const char* name)
{
    return std::memcmp(id, name, 4) == 0;
}

bool acceptedRate(double r)
{
    return r == 44100.0 || r == 48000.0 || r == 88200.0 || r == 96000.0 || r == 176400.0 || r == 192000.0;
}

bool acceptedBits(int bits)
{
    return bits == 8 || bits == 16 || bits == 20 || bits == 24 || bits == 32;
}

// Longer files are refused: the cabinet keeps 65536 samples, and this bounds
// what one load can allocate (two arrays of 128 MiB).
constexpr uint64_t kMostFrames = uint64_t(1) << 24;

// Bytes one sample takes: 20-bit samples sit left-justified in three.
int sampleWidth(int bits)
{
    return bits == 20 ? 3 : bits / 8;
}

// What the checks of a reader established about the sample data.
struct Layout {
    int channels = 0;
    int rate = 0;
    int bits = 0;
    bool isFloat = false;
    bool bigEndian = false;  // AIFF: big-endian, signed 8-bit samples
    uint64_t dataOffset = 0;
    uint64_t frames = 0;
};

// One container walk: the chunks of a RIFF or FORM container, each checked to
// lie inside it. `visit` gets the id, the body offset and the body size.
template <class Visit>
void walkChunks(const ByteSource& src, uint64_t end, bool bigEndian, Visit&& visit)
{
    uint64_t pos = 12;
    // A few stray bytes too short for a chunk header end the walk.
    while (end - pos >= 8) {
        unsigned char header[8];
        if (!src.read(pos, header, 8)) fail(3, "a chunk header is cut short");
        const uint32_t size = bigEndian ? aiffReadInt(header + 4) : wavReadInt(header + 4);
        const uint64_t body = pos + 8;
        if (size > end - body) fail(3, "a chunk runs past the end of its container");
        visit(header, body, size);
        pos = body + size;
        if ((size & 1) && pos < end) ++pos;  // the pad byte after an odd size
    }
}

// Opens a container: magic, size, form type. Returns where it ends.
uint64_t openContainer(const ByteSource& src, const char* magic, const char* form, bool bigEndian,
                       const char* refusal)
{
    unsigned char h[12];
    if (!src.read(0, h, 12)) fail(3, "it is too short");
    if (!isChunk(h, magic) || !isChunk(h + 8, form)) fail(3, refusal);
    const uint32_t size = bigEndian ? aiffReadInt(h + 4) : wavReadInt(h + 4);
    const uint64_t end = 8 + uint64_t(size);
    if (end < 12) fail(3, "its container size is too small");
    if (end > src.size()) fail(3, "its container size exceeds the file");
    return end;
}

// The tail shared by the PCM and IEEE float SubFormat GUIDs of
// WAVE_FORMAT_EXTENSIBLE, after their 16-bit format code.
constexpr unsigned char kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                              0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr uint16_t kFormatPCM = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;

Layout parseWav(const ByteSource& src)
{
    unsigned char magic[4];
    if (src.read(0, magic, 4) && isChunk(magic, "RIFX")) fail(3, "big-endian RIFX files are not supported");
    const uint64_t end = openContainer(src, "RIFF", "WAVE", false, "it is not a RIFF WAVE file");

    bool haveFmt = false, haveData = false;
    uint16_t tag = 0, channels = 0, blockAlign = 0, bits = 0;
    uint32_t rate = 0, byteRate = 0;
    uint64_t dataOffset = 0, dataSize = 0;
    walkChunks(src, end, false, [&](const unsigned char* id, uint64_t body, uint32_t size) {
        if (isChunk(id, "fmt ")) {
            if (size < 16) fail(3, "the format chunk is too short");
            unsigned char f[40];
            if (!src.read(body, f, std::min<uint32_t>(size, 40))) fail(3, "the format chunk is cut short");
            tag = wavReadShort(f);
            channels = wavReadShort(f + 2);
            rate = wavReadInt(f + 4);
            byteRate = wavReadInt(f + 8);
            blockAlign = wavReadShort(f + 12);
            bits = wavReadShort(f + 14);
            if (tag == kFormatExtensible) {
                if (size < 40 || wavReadShort(f + 16) < 22) fail(3, "the extensible format chunk is too short");
                // Decoded by its SubFormat; an unknown one counts as no format.
                tag = std::memcmp(f + 26, kSubFormatTail, sizeof kSubFormatTail) == 0 ? wavReadShort(f + 24) : 0;
                if (tag != kFormatPCM && tag != kFormatFloat)
                    fail(4, "its extensible sub-format is neither integer PCM nor IEEE float");
            }
            haveFmt = true;
        } else if (isChunk(id, "data")) {
            if (size == 0) fail(3, "its data chunk is empty");
            dataOffset = body;
            dataSize = size;
            haveData = true;
        }
    });

    if (!haveFmt || !haveData) fail(3, "it lacks a format or a data chunk");
    if (tag != kFormatPCM && tag != kFormatFloat) fail(4, "its sample format is neither integer PCM nor IEEE float");
    if (channels != 1 && channels != 2) fail(5, "it has neither 1 nor 2 channels");
    if (!acceptedRate(rate)) fail(6, "its sample rate is not 44.1, 48, 88.2, 96, 176.4 or 192 kHz");
    if (!acceptedBits(bits)) fail(7, "its samples are not 8, 16, 20, 24 or 32 bits");
    if (tag == kFormatFloat && bits != 32) fail(7, "its float samples are not 32 bits");
    const int width = sampleWidth(bits);
    if (uint64_t(rate) * blockAlign != byteRate) fail(3, "its byte rate does not match its sample rate");
    if (blockAlign != channels * width) fail(3, "its block alignment does not match its channels and sample width");
    if (dataSize % blockAlign != 0) fail(3, "its data is not a whole number of frames");
    if (dataSize / blockAlign > kMostFrames) fail(3, "it is longer than 16777216 frames");

    Layout layout;
    layout.channels = channels;
    layout.rate = static_cast<int>(rate);
    layout.bits = bits;
    layout.isFloat = tag == kFormatFloat;
    layout.dataOffset = dataOffset;
    layout.frames = dataSize / blockAlign;
    return layout;
}

Layout parseAiff(const ByteSource& src)
{
    unsigned char form[12];
    if (src.read(0, form, 12) && isChunk(form, "FORM") && isChunk(form + 8, "AIFC"))
        fail(3, "AIFF-C files are not supported");
    const uint64_t end = openContainer(src, "FORM", "AIFF", true, "it is not an AIFF file");

    bool haveComm = false, haveSound = false;
    int channels = 0, bits = 0;
    uint32_t frames = 0;
    double rate = 0.0;
    uint64_t soundOffset = 0, soundSize = 0;
    walkChunks(src, end, true, [&](const unsigned char* id, uint64_t body, uint32_t size) {
        if (isChunk(id, "COMM")) {
            unsigned char c[18];
            if (size < 18) fail(3, "its COMM chunk is too short");
            if (!src.read(body, c, 18)) fail(3, "its COMM chunk is cut short");
            channels = static_cast<int16_t>(aiffReadShort(c));
            frames = aiffReadInt(c + 2);
            bits = static_cast<int16_t>(aiffReadShort(c + 6));
            if (!Convert80BitDouble(c + 8, &rate)) fail(3, "its sample rate is not a usable number");
            haveComm = true;
        } else if (isChunk(id, "SSND")) {
            unsigned char s[8];
            if (size < 8) fail(3, "its SSND chunk is too short");
            if (!src.read(body, s, 8)) fail(3, "its SSND chunk is cut short");
            if (aiffReadInt(s) != 0 || aiffReadInt(s + 4) != 0) fail(3, "its SSND offset or block size is not 0");
            if (size == 8) fail(3, "its SSND chunk holds no sound data");
            soundOffset = body + 8;
            soundSize = size - 8;
            haveSound = true;
        }
    });

    if (!haveComm || !haveSound) fail(3, "it lacks a COMM or an SSND chunk");
    if (channels != 1 && channels != 2) fail(5, "it has neither 1 nor 2 channels");
    // Checked as a double: only a rate from the list reaches an int.
    const double rounded = std::floor(rate + 0.5);
    if (!acceptedRate(rounded)) fail(6, "its sample rate is not 44.1, 48, 88.2, 96, 176.4 or 192 kHz");
    if (!acceptedBits(bits)) fail(7, "its samples are not 8, 16, 20, 24 or 32 bits");
    if (frames == 0) fail(3, "it has no sample frames");
    if (frames > kMostFrames) fail(3, "it is longer than 16777216 frames");
    if (uint64_t(frames) * uint64_t(channels) * uint64_t(sampleWidth(bits)) > soundSize)
        fail(3, "its frame count exceeds its sound data");

    Layout layout;
    layout.channels = channels;
    layout.rate = static_cast<int>(rounded);
    layout.bits = bits;
    layout.bigEndian = true;
    layout.dataOffset = soundOffset;
    layout.frames = frames;
    return layout;
}

double decodeSample(const unsigned char* p, const Layout& layout)
{
    const bool be = layout.bigEndian;
    switch (sampleWidth(layout.bits)) {
    case 1:
        return be ? static_cast<int8_t>(p[0]) * 0x1p-7 : (p[0] - 128) * 0x1p-7;
    case 2:
        return static_cast<int16_t>(be ? aiffReadShort(p) : wavReadShort(p)) * 0x1p-15;
    case 3: {
        const uint32_t u = be ? (uint32_t(p[0]) << 24) | (p[1] << 16) | (p[2] << 8)
                              : (uint32_t(p[2]) << 24) | (p[1] << 16) | (p[0] << 8);
        return static_cast<int32_t>(u) * 0x1p-31;
    }
    default: {
        const uint32_t u = be ? aiffReadInt(p) : wavReadInt(p);
        if (layout.isFloat) return static_cast<double>(std::bit_cast<float>(u));
        return static_cast<int32_t>(u) * 0x1p-31;
    }
    }
}

// Decodes the frames into left and right (both null: only checks the
// samples), reading the data a piece at a time.
void decode(const ByteSource& src, const Layout& layout, std::vector<double>* left, std::vector<double>* right)
{
    const size_t width = size_t(sampleWidth(layout.bits));
    const size_t frameBytes = width * size_t(layout.channels);
    const size_t framesPerPiece = std::max<size_t>(1, 65536 / frameBytes);
    std::vector<unsigned char> piece(framesPerPiece * frameBytes);
    if (left) {
        left->resize(size_t(layout.frames));
        right->resize(size_t(layout.frames));
    }
    for (uint64_t done = 0; done < layout.frames;) {
        const size_t n = size_t(std::min<uint64_t>(framesPerPiece, layout.frames - done));
        if (!src.read(layout.dataOffset + done * frameBytes, piece.data(), n * frameBytes))
            fail(3, "its sample data is cut short");
        for (size_t i = 0; i < n; ++i) {
            for (int c = 0; c < layout.channels; ++c) {
                const double v = decodeSample(piece.data() + i * frameBytes + size_t(c) * width, layout);
                if (!std::isfinite(v)) fail(3, "it holds NaN or infinite samples");
                if (left) (c == 0 ? *left : *right)[size_t(done + i)] = v;
            }
        }
        done += n;
    }
    if (left && layout.channels == 1) *right = *left;
}

struct Outputs {
    std::vector<double>* left;
    std::vector<double>* right;
    int* frames;
    int* rate;
    bool* mono;
};

enum class Format { Wav, Aiff, Either };

// Reads one source; throws waverror on refusal, writing no output then.
void readImpulse(const ByteSource& src, Format format, const Outputs& out)
{
    if (format == Format::Either) {
        unsigned char magic[4];
        const bool aiff = src.read(0, magic, 4) && isChunk(magic, "FORM");
        const bool wav = src.read(0, magic, 4) && (isChunk(magic, "RIFF") || isChunk(magic, "RIFX"));
        if (!aiff && !wav) fail(3, "it is neither a WAV nor an AIFF file");
        format = aiff ? Format::Aiff : Format::Wav;
    }
    const Layout layout = format == Format::Aiff ? parseAiff(src) : parseWav(src);

    // Both channels are complete before any output changes.
    const bool samples = out.left && out.right && out.frames;
    std::vector<double> left, right;
    if (samples) decode(src, layout, &left, &right);
    else if (layout.isFloat) decode(src, layout, nullptr, nullptr);

    if (samples) {
        out.left->swap(left);
        out.right->swap(right);
    }
    if (out.frames) *out.frames = static_cast<int>(layout.frames);
    if (out.rate) *out.rate = layout.rate;
    if (out.mono) *out.mono = layout.channels == 1;
}

// Runs a reader; a refusal becomes its one line on standard error.
template <class Body>
bool guarded(const char* name, Body&& body)
{
    const char* why = nullptr;
    try {
        body();
        return true;
    } catch (const waverror& e) {
        why = e.what;
    } catch (const std::bad_alloc&) {
        why = "there is not enough memory for it";
    }
    system::Complainf("Quarrystone TWR:: Cannot read impulse %s: %s.", name ? name : "(no path)", why);
    return false;
}

bool loadFile(const char* path, Format format, const Outputs& out)
{
    return guarded(path, [&] {
        const FileSource src(path);
        readImpulse(src, format, out);
    });
}

bool loadData(const unsigned char* data, size_t size, Format format, const Outputs& out)
{
    return guarded("data", [&] {
        const MemorySource src(data, size);
        readImpulse(src, format, out);
    });
}

}  // namespace

bool LoadImpulse(const char* path, std::vector<double>* left, std::vector<double>* right, int* frames, int* rate,
                 bool* mono)
{
    return loadFile(path, Format::Either, {left, right, frames, rate, mono});
}

bool StartsAsImpulseFile(const char* path)
{
    try {
        const FileSource src(path);
        unsigned char magic[4];
        return src.read(0, magic, 4) && (isChunk(magic, "RIFF") || isChunk(magic, "RIFX") || isChunk(magic, "FORM"));
    } catch (const waverror&) {
        return false;
    }
}

bool LoadWAVImpulse(const char* path, std::vector<double>* left, std::vector<double>* right, int* frames,
                    int* rate, bool* mono)
{
    return loadFile(path, Format::Wav, {left, right, frames, rate, mono});
}

bool LoadAIFFImpulse(const char* path, std::vector<double>* left, std::vector<double>* right, int* frames,
                     int* rate, bool* mono)
{
    return loadFile(path, Format::Aiff, {left, right, frames, rate, mono});
}

bool LoadWAVImpulseData(const unsigned char* data, size_t size, std::vector<double>* left,
                        std::vector<double>* right, int* frames, int* rate, bool* mono)
{
    return loadData(data, size, Format::Wav, {left, right, frames, rate, mono});
}

bool LoadAIFFImpulseData(const unsigned char* data, size_t size, std::vector<double>* left,
                         std::vector<double>* right, int* frames, int* rate, bool* mono)
{
    return loadData(data, size, Format::Aiff, {left, right, frames, rate, mono});
}

bool Convert80BitDouble(const unsigned char* bytes, double* out)
{
    if (!bytes || !out) return false;
    const int e = ((bytes[0] & 0x7F) << 8) | bytes[1];
    // Zero, infinities and NaN, and exponents a double cannot hold.
    if (e == 0 || e == 32767 || e < 15360 || e > 17406) return false;
    uint64_t mantissa = 0;
    for (int i = 2; i < 10; ++i) mantissa = (mantissa << 8) | bytes[i];
    // The explicit integer bit is taken as 1 whatever it holds.
    const uint64_t fraction = mantissa & 0x7FFFFFFFFFFFFFFFull;
    const double value = std::ldexp(1.0 + std::ldexp(static_cast<double>(fraction), -63), e - 16383);
    if (!std::isfinite(value)) return false;  // the largest exponent can round up to infinity
    *out = (bytes[0] & 0x80) ? -value : value;
    return true;
}

}  // namespace tonewright
