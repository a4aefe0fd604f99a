// The impulse readers on hand-made files: exact sample values, chunk
// handling, and every malformed or unsupported layout refused with one
// diagnostic line and no output changed.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <cstring>
#include <future>
#include <limits>
#include <memory>
#include <sys/stat.h>

#include "ImpulseTestSupport.h"
#include "engine/Tonewright.h"

using namespace tonewright;

using namespace impulsetest;

namespace {

Bytes le16s(std::initializer_list<int> v)
{
    Bytes b;
    for (int x : v) le(b, uint64_t(uint16_t(x)), 2);
    return b;
}

Bytes floats(std::initializer_list<float> v)
{
    Bytes b;
    for (float x : v) {
        uint32_t u;
        std::memcpy(&u, &x, 4);
        le(b, u, 4);
    }
    return b;
}

// A refusal: false, nothing handed out, exactly one diagnostic line.
void expectRefused(const Bytes& b, bool asAiff = false)
{
    testing::internal::CaptureStderr();
    const Loaded r = loadData(b, asAiff);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.untouched());
    EXPECT_EQ(err.rfind("Quarrystone TWR:: ", 0), 0u) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

Bytes extensibleFmt(int channels, uint32_t rate, int bits, uint16_t subFormat, bool knownGuid = true)
{
    WavFormat f;
    f.tag = 0xFFFE;
    f.channels = channels;
    f.rate = rate;
    f.bits = bits;
    Bytes b = fmtBody(f);
    le(b, 22, 2);                       // extension size
    le(b, uint64_t(bits), 2);           // valid bits
    le(b, channels == 1 ? 4 : 3, 4);    // speaker mask
    le(b, subFormat, 2);
    const unsigned char tail[14] = {0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, static_cast<unsigned char>(knownGuid ? 0x71 : 0x72)};
    b.insert(b.end(), tail, tail + 14);
    return b;
}

}  // namespace

TEST(ImpulseFile, SixteenBitStereoSeparatesChannelsAtFullScale)
{
    WavFormat f;
    f.channels = 2;
    const Loaded r = loadData(wav(f, le16s({-32768, 32767, 16384, -1, 0, 1})));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.frames, 3);
    EXPECT_EQ(r.rate, 44100);
    EXPECT_FALSE(r.mono);
    EXPECT_EQ(r.left, (std::vector<double>{-1.0, 0.5, 0.0}));
    EXPECT_EQ(r.right, (std::vector<double>{32767.0 / 32768.0, -1.0 / 32768.0, 1.0 / 32768.0}));
}

TEST(ImpulseFile, MonoGivesEqualChannels)
{
    WavFormat f;
    f.rate = 96000;
    const Loaded r = loadData(wav(f, le16s({100, -200, 300})));
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(r.mono);
    EXPECT_EQ(r.rate, 96000);
    EXPECT_EQ(r.left, r.right);
    EXPECT_EQ(r.left[1], -200.0 / 32768.0);
}

TEST(ImpulseFile, EightAndTwentyBitSamples)
{
    WavFormat f;
    f.bits = 8;
    Loaded r = loadData(wav(f, {0x80, 0x00, 0xFF, 0x81}));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.left, (std::vector<double>{0.0, -1.0, 127.0 / 128.0, 1.0 / 128.0}));

    // AIFF 8-bit samples are signed.
    r = loadData(aiff(1, 3, 8, 48000.0, {0x80, 0x7F, 0x00}), true);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.left, (std::vector<double>{-1.0, 127.0 / 128.0, 0.0}));

    // 20-bit samples sit left-justified in three bytes.
    f.bits = 20;
    r = loadData(wav(f, {0x00, 0x00, 0x80, 0x10, 0x00, 0x00}));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.left, (std::vector<double>{-1.0, 16.0 / 8388608.0}));
    r = loadData(aiff(1, 2, 20, 44100.0, {0x80, 0x00, 0x00, 0x00, 0x00, 0x10}), true);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.left, (std::vector<double>{-1.0, 16.0 / 8388608.0}));
}

TEST(ImpulseFile, FormatChunkLengthsAndExtensions)
{
    for (int extra : {2, 24}) {
        WavFormat f;
        f.extraBytes = extra;
        EXPECT_TRUE(loadData(wav(f, le16s({1, 2}))).ok) << "fmt of " << 16 + extra << " bytes";
    }
    // 14 bytes: the old WAVEFORMAT without its bits field.
    WavFormat f;
    Bytes fmt = fmtBody(f);
    fmt.resize(14);
    expectRefused(container("RIFF", "WAVE", {{"fmt ", fmt}, {"data", le16s({1})}}, false));

    // Extensible is decoded by its SubFormat: float data as float.
    const Bytes data = floats({0.25f, -1.5f});
    Loaded r = loadData(container("RIFF", "WAVE", {{"fmt ", extensibleFmt(1, 48000, 32, 3)}, {"data", data}}, false));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.left, (std::vector<double>{0.25, -1.5}));
    r = loadData(container("RIFF", "WAVE", {{"fmt ", extensibleFmt(1, 48000, 32, 1)}, {"data", data}}, false));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.left[0], 0x3E800000 * 0x1p-31);

    // Unknown sub-formats, foreign GUIDs and a cut extension are refused.
    expectRefused(container("RIFF", "WAVE", {{"fmt ", extensibleFmt(1, 48000, 32, 6)}, {"data", data}}, false));
    expectRefused(
        container("RIFF", "WAVE", {{"fmt ", extensibleFmt(1, 48000, 32, 1, false)}, {"data", data}}, false));
    Bytes shortExt = extensibleFmt(1, 48000, 32, 1);
    shortExt.resize(30);
    expectRefused(container("RIFF", "WAVE", {{"fmt ", shortExt}, {"data", data}}, false));
}

TEST(ImpulseFile, ChunkWalk)
{
    WavFormat f;
    const Bytes fmt = fmtBody(f);
    // Odd unknown chunks before the data are skipped with their pad byte.
    Loaded r = loadData(container(
        "RIFF", "WAVE", {{"LIST", {1, 2, 3}}, {"fmt ", fmt}, {"junk", {9}}, {"data", le16s({5, 6})}}, false));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.left, (std::vector<double>{5.0 / 32768, 6.0 / 32768}));

    // A later data chunk replaces an earlier one; a later fmt overrides too.
    WavFormat stereo;
    stereo.channels = 2;
    r = loadData(container("RIFF", "WAVE",
                           {{"fmt ", fmt}, {"data", le16s({1})}, {"fmt ", fmtBody(stereo)}, {"data", le16s({7, 8})}},
                           false));
    ASSERT_TRUE(r.ok);
    EXPECT_FALSE(r.mono);
    EXPECT_EQ(r.frames, 1);
    EXPECT_EQ(r.right[0], 8.0 / 32768);

    // An odd data chunk at the very end may lack its pad byte.
    f.bits = 8;
    r = loadData(container("RIFF", "WAVE", {{"fmt ", fmtBody(f)}, {"data", {0x90, 0x70, 0x80}, -1, false}}, false));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.frames, 3);

    // Stray bytes too short for a chunk header end the walk.
    Bytes tail = wav(WavFormat{}, le16s({3}));
    tail.insert(tail.end(), {1, 2, 3});
    tail[4] += 3;
    EXPECT_TRUE(loadData(tail).ok);
}

TEST(ImpulseFile, StructuralRefusals)
{
    WavFormat f;
    const Bytes fmt = fmtBody(f);
    const Bytes data = le16s({1, 2, 3, 4});
    // Missing chunks, empty data.
    expectRefused(container("RIFF", "WAVE", {{"fmt ", fmt}}, false));
    expectRefused(container("RIFF", "WAVE", {{"data", data}}, false));
    expectRefused(container("RIFF", "WAVE", {{"fmt ", fmt}, {"data", {}}}, false));
    // Sizes: a container larger than the file, a chunk larger than its
    // container (also the largest size field), a container too small.
    expectRefused(container("RIFF", "WAVE", {{"fmt ", fmt}, {"data", data}}, false, 0x7FFFFFF0));
    expectRefused(container("RIFF", "WAVE", {{"fmt ", fmt}, {"data", data, 9}}, false));
    expectRefused(container("RIFF", "WAVE", {{"fmt ", fmt, 0xFFFFFFFF}, {"data", data}}, false));
    expectRefused(container("RIFF", "WAVE", {{"fmt ", fmt}, {"data", data, 0xFFFFFFFF}}, false));
    expectRefused(container("RIFF", "WAVE", {}, false, 2));
    // A chunk that starts inside the container but ends past it, while the
    // file goes on: the container bounds it, not the file.
    Bytes spill = container("RIFF", "WAVE", {{"fmt ", fmt}, {"data", data}}, false);
    spill[4] -= 2;
    expectRefused(spill);
    // Not a WAV at all, or too short to tell.
    expectRefused({});
    expectRefused({'R', 'I', 'F', 'F'});
    expectRefused(container("RIFF", "AVI ", {{"fmt ", fmt}, {"data", data}}, false));
    expectRefused(container("RIFX", "WAVE", {{"fmt ", fmt}, {"data", data}}, false));
}

TEST(ImpulseFile, LengthLimit)
{
    // 2^24 frames are the most one load hands out.
    WavFormat f;
    f.bits = 8;
    Bytes longest = wav(f, Bytes(size_t(1) << 24, 0x80));
    int frames = 0;
    EXPECT_TRUE(LoadWAVImpulseData(longest.data(), longest.size(), nullptr, nullptr, &frames, nullptr, nullptr));
    EXPECT_EQ(frames, 1 << 24);
    longest = wav(f, Bytes((size_t(1) << 24) + 1, 0x80));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(LoadWAVImpulseData(longest.data(), longest.size(), nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("longer than"), std::string::npos);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(loadData(aiff(1, (1u << 24) + 1, 8, 44100.0, {1, 2}), true).ok);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("longer than"), std::string::npos);
}

TEST(ImpulseFile, LayoutRefusals)
{
    const Bytes data = le16s({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13});
    auto refused = [&](auto change, const char* what) {
        SCOPED_TRACE(what);
        WavFormat f;
        change(f);
        expectRefused(wav(f, data));
    };
    refused([](WavFormat& f) { f.tag = 2; }, "ADPCM");
    refused([](WavFormat& f) { f.channels = 3; }, "3 channels");
    refused([](WavFormat& f) { f.channels = 0; }, "no channels");
    refused([](WavFormat& f) { f.rate = 22050; }, "22050 Hz");
    refused([](WavFormat& f) { f.rate = 0; }, "0 Hz");
    refused([](WavFormat& f) { f.bits = 12; }, "12 bits");
    refused([](WavFormat& f) { f.bits = 0; }, "0 bits");
    refused([](WavFormat& f) { f.byteRate = 88201; }, "byte rate");
    refused([](WavFormat& f) { f.blockAlign = 0, f.byteRate = 0; }, "block alignment 0");
    refused([](WavFormat& f) { f.blockAlign = 4; }, "padded samples");
    refused([](WavFormat& f) { f.blockAlign = 1; }, "block alignment short of a sample");
    refused([](WavFormat& f) { f.channels = 2; }, "data not whole frames");
    refused([](WavFormat& f) { f.tag = 3; }, "16-bit float");
    refused([](WavFormat& f) { f.tag = 3, f.bits = 24; }, "24-bit float");
    refused([](WavFormat& f) { f.tag = 3, f.bits = 64, f.blockAlign = 8; }, "64-bit float");

    // Non-finite float samples.
    WavFormat f;
    f.tag = 3;
    f.bits = 32;
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_TRUE(loadData(wav(f, floats({0.5f, -4.0f, 1e-40f}))).ok);
    expectRefused(wav(f, floats({0.5f, std::numeric_limits<float>::quiet_NaN()})));
    expectRefused(wav(f, floats({-inf, 0.5f})));
    // Checking alone reads float data too.
    const Bytes nan = wav(f, floats({std::numeric_limits<float>::quiet_NaN()}));
    EXPECT_FALSE(LoadWAVImpulseData(nan.data(), nan.size(), nullptr, nullptr, nullptr, nullptr, nullptr));
}

TEST(ImpulseFile, AiffChecks)
{
    const Bytes data = {0, 1, 0, 2, 0, 3, 0, 4};
    Loaded r = loadData(aiff(2, 2, 16, 88200.0, data), true);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.rate, 88200);
    EXPECT_EQ(r.left, (std::vector<double>{1.0 / 32768, 3.0 / 32768}));
    EXPECT_EQ(r.right, (std::vector<double>{2.0 / 32768, 4.0 / 32768}));
    // The frame count may leave sound data unused; the rate is rounded.
    r = loadData(aiff(1, 3, 16, 176400.3, data), true);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.frames, 3);
    EXPECT_EQ(r.rate, 176400);

    expectRefused(aiff(1, 2, 16, 32000.0, data), true);
    expectRefused(aiff(1, 2, 16, 44099.4, data), true);
    expectRefused(aiff(1, 2, 16, 1e300, data), true);  // never reaches an int
    expectRefused(aiff(3, 1, 16, 44100.0, {0, 1, 0, 2, 0, 3}), true);
    expectRefused(aiff(1, 2, 12, 44100.0, data), true);
    expectRefused(aiff(1, 5, 16, 44100.0, data), true);             // frames past the data
    expectRefused(aiff(2, 0xFFFFFFFF, 16, 44100.0, data), true);    // the largest frame count
    expectRefused(aiff(1, 0, 16, 44100.0, data), true);             // no frames
    // SSND offset and block size must be 0; COMM at least 18 bytes.
    const Bytes comm = commBody(1, 4, 16, extended(48000.0));
    expectRefused(container("FORM", "AIFF", {{"COMM", comm}, {"SSND", ssndBody(data, 2)}}, true), true);
    expectRefused(container("FORM", "AIFF", {{"COMM", comm}, {"SSND", ssndBody(data, 0, 4096)}}, true), true);
    expectRefused(container("FORM", "AIFF", {{"COMM", comm}, {"SSND", ssndBody({})}}, true), true);
    expectRefused(container("FORM", "AIFF", {{"COMM", Bytes(comm.begin(), comm.begin() + 16)}, {"SSND", ssndBody(data)}}, true),
                  true);
    expectRefused(container("FORM", "AIFF", {{"COMM", comm}}, true), true);
    expectRefused(container("FORM", "AIFC", {{"COMM", comm}, {"SSND", ssndBody(data)}}, true), true);
    // Odd chunks with pad bytes before COMM are skipped.
    EXPECT_TRUE(
        loadData(container("FORM", "AIFF", {{"NAME", {'a'}}, {"COMM", comm}, {"SSND", ssndBody(data)}}, true), true)
            .ok);
}

TEST(ImpulseFile, ExtendedRateConversion)
{
    double v = 0.0;
    for (double rate : {44100.0, 48000.0, 192000.0, 0.75, 1e-300, 1e300}) {
        ASSERT_TRUE(Convert80BitDouble(extended(rate).data(), &v)) << rate;
        EXPECT_EQ(v, rate);
    }
    Bytes negative = extended(96000.0);
    negative[0] |= 0x80;
    ASSERT_TRUE(Convert80BitDouble(negative.data(), &v));
    EXPECT_EQ(v, -96000.0);

    // Zero, infinity/NaN and exponents beyond a double are refused.
    v = 5.0;
    const Bytes zero(10, 0);
    EXPECT_FALSE(Convert80BitDouble(zero.data(), &v));
    Bytes inf = {0x7F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_FALSE(Convert80BitDouble(inf.data(), &v));
    Bytes huge = {0x43, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};  // exponent 17407
    EXPECT_FALSE(Convert80BitDouble(huge.data(), &v));
    huge[1] = 0xFE;  // 17406 with an all-ones mantissa rounds to infinity
    EXPECT_FALSE(Convert80BitDouble(huge.data(), &v));
    Bytes tiny = {0x3B, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0};  // exponent 15359
    EXPECT_FALSE(Convert80BitDouble(tiny.data(), &v));
    EXPECT_EQ(v, 5.0);
    EXPECT_FALSE(Convert80BitDouble(nullptr, &v));
}

TEST(ImpulseFile, OutputsAreOptional)
{
    WavFormat f;
    f.channels = 2;
    const Bytes b = wav(f, le16s({1, 2, 3, 4}));
    int rate = 0;
    bool mono = true;
    EXPECT_TRUE(LoadWAVImpulseData(b.data(), b.size(), nullptr, nullptr, nullptr, &rate, &mono));
    EXPECT_EQ(rate, 44100);
    EXPECT_FALSE(mono);
    // Samples only with all three of left, right and frames.
    std::vector<double> left{9.0};
    int frames = 0;
    EXPECT_TRUE(LoadWAVImpulseData(b.data(), b.size(), &left, nullptr, &frames, nullptr, nullptr));
    EXPECT_EQ(left, std::vector<double>{9.0});
    EXPECT_EQ(frames, 2);
    // A null image is refused, not read.
    EXPECT_FALSE(LoadWAVImpulseData(nullptr, 100, &left, &left, &frames, nullptr, nullptr));
}

TEST(ImpulseFile, FilesAndPaths)
{
    TempDir dir;
    WavFormat f;
    writeFile(dir.file("a.wav"), wav(f, le16s({1, 2})));
    writeFile(dir.file("a.aif"), aiff(1, 2, 16, 48000.0, {0, 1, 0, 2}));
    Loaded r = loadFile(dir.file("a.wav"));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.rate, 44100);
    r = loadFile(dir.file("a.aif"));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.rate, 48000);
    // Each format reader refuses the other's files.
    EXPECT_FALSE(LoadWAVImpulse(dir.file("a.aif").c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_FALSE(LoadAIFFImpulse(dir.file("a.wav").c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_TRUE(LoadAIFFImpulse(dir.file("a.aif").c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));

    testing::internal::CaptureStderr();
    EXPECT_FALSE(loadFile(dir.file("missing.wav")).ok);
    EXPECT_FALSE(loadFile(dir.path.string()).ok);  // a folder
    EXPECT_FALSE(LoadImpulse(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_FALSE(LoadImpulse("", nullptr, nullptr, nullptr, nullptr, nullptr));
    writeFile(dir.file("text.wav"), {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!'});
    EXPECT_FALSE(loadFile(dir.file("text.wav")).ok);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 5) << err;

    // A FIFO (nobody writing) is refused at once instead of blocking.
    const std::string fifo = dir.file("pipe.wav");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    auto pending = std::async(std::launch::async, [&] { return loadFile(fifo).ok; });
    if (pending.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << "LoadImpulse blocked on a FIFO";
        std::ofstream unblock(fifo);  // lets the reader go so the test can end
    }
    EXPECT_FALSE(pending.get());
}
TEST(ImpulseFile, GeneratedCabinetsLoad)
{
    const char* root = std::getenv("TONEWRIGHT_SOURCE_DIR");
    ASSERT_NE(root, nullptr);
    const std::filesystem::path folder = std::filesystem::path(root) / "resources" / "impulses";
    int files = 0, stereo = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() != ".wav") continue;
        SCOPED_TRACE(entry.path().string());
        const Loaded r = loadFile(entry.path().string());
        ASSERT_TRUE(r.ok);
        EXPECT_GE(r.frames, 1024);
        EXPECT_LE(r.frames, 16384);
        EXPECT_TRUE(r.rate == 44100 || r.rate == 48000);
        stereo += !r.mono;
        ++files;
        // Shaped like a miked guitar speaker: little below the box
        // resonance, and the top rolled off steeply.
        for (const std::vector<double>* h : {&r.left, &r.right}) {
            auto levelDb = [&](double f) {
                std::complex<double> sum;
                for (size_t n = 0; n < h->size(); ++n)
                    sum += (*h)[n] * std::polar(1.0, -2.0 * std::numbers::pi * f * double(n) / r.rate);
                return 20.0 * std::log10(std::abs(sum));
            };
            const double mid = levelDb(1000.0);
            double body = -1e9;
            for (double f = 80.0; f <= 250.0; f += 10.0) body = std::max(body, levelDb(f));
            EXPECT_LT(levelDb(40.0), body - 12.0);
            EXPECT_LT(levelDb(10000.0), mid - 25.0);
            EXPECT_LT(levelDb(15000.0), mid - 50.0);
        }
    }
    EXPECT_GE(files, 4);
    EXPECT_GE(stereo, 1);
}

TEST(ImpulseFile, EngineLoadsAFileByPath)
{
    const char* root = std::getenv("TONEWRIGHT_SOURCE_DIR");
    ASSERT_NE(root, nullptr);
    const std::string path = std::string(root) + "/resources/impulses/Closed 4x12 Stereo.wav";
    auto engine = std::make_unique<Tonewright>();
    ASSERT_TRUE(engine->SetCabinetImpulse(path.c_str()));
    const auto& cabinet = engine->GetParameters()->cabinet;
    EXPECT_STREQ(cabinet.GetName(), "Closed 4x12 Stereo.wav");
    EXPECT_EQ(cabinet.Length(), 4096);
    EXPECT_EQ(cabinet.SampleRate(), 48000.0);
    EXPECT_FALSE(cabinet.Mono());

    // A refused file changes neither the name nor the impulse.
    TempDir dir;
    writeFile(dir.file("broken.wav"), {'R', 'I', 'F', 'F', 0xFF, 0, 0, 0, 'W', 'A', 'V', 'E'});
    testing::internal::CaptureStderr();
    EXPECT_FALSE(engine->SetCabinetImpulse(dir.file("broken.wav").c_str()));
    testing::internal::GetCapturedStderr();
    EXPECT_STREQ(engine->GetParameters()->cabinet.GetName(), "Closed 4x12 Stereo.wav");
    EXPECT_EQ(engine->GetParameters()->cabinet.Length(), 4096);
}
