// Impulse files written by libsndfile and by sox, in every accepted layout,
// must decode to exactly the samples libsndfile reads back from them; the
// layouts the readers refuse must give false.

#include <gtest/gtest.h>
#include <sndfile.h>

#include <climits>
#include <random>
#include <string>
#include <vector>

#include "ImpulseTestSupport.h"

using namespace impulsetest;

namespace {

const int kRates[] = {44100, 48000, 88200, 96000, 176400, 192000};

struct Reference {
    std::vector<double> left, right;
    int rate = 0;
    int channels = 0;
};

// What libsndfile reads: normalised doubles, de-interleaved.
Reference readWithSndfile(const std::string& path)
{
    Reference r;
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) {
        ADD_FAILURE() << "libsndfile cannot read " << path << ": " << sf_strerror(nullptr);
        return r;
    }
    std::vector<double> frames(static_cast<size_t>(info.frames * info.channels));
    EXPECT_EQ(sf_readf_double(f, frames.data(), info.frames), info.frames);
    sf_close(f);
    r.rate = info.samplerate;
    r.channels = info.channels;
    for (sf_count_t i = 0; i < info.frames; ++i) {
        r.left.push_back(frames[size_t(i * info.channels)]);
        r.right.push_back(frames[size_t(i * info.channels + info.channels - 1)]);
    }
    return r;
}

// A test signal with the extremes of every depth: random 32-bit words, then
// the most negative and most positive values.
std::vector<int> testWords(int count, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<int> w{INT_MIN, INT_MAX, 0};
    while (int(w.size()) < count) w.push_back(static_cast<int>(rng()));
    return w;
}

bool writeWithSndfile(const std::string& path, int format, int channels, int rate, int frames)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) return false;
    const std::vector<int> words = testWords(frames * channels, unsigned(rate + channels + format));
    bool ok;
    if ((format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT) {
        // Float files may go past full scale.
        std::vector<float> v(words.size());
        for (size_t i = 0; i < v.size(); ++i) v[i] = float(words[i] * 0x1p-30);
        ok = sf_writef_float(f, v.data(), frames) == frames;
    } else {
        ok = sf_writef_int(f, words.data(), frames) == frames;
    }
    sf_close(f);
    return ok;
}

void expectSameAsSndfile(const std::string& path, const std::string& what)
{
    SCOPED_TRACE(what);
    const Reference ref = readWithSndfile(path);
    const Loaded got = loadFile(path);
    ASSERT_TRUE(got.ok);
    EXPECT_EQ(got.rate, ref.rate);
    EXPECT_EQ(got.mono, ref.channels == 1);
    ASSERT_EQ(got.frames, int(ref.left.size()));
    ASSERT_EQ(got.left.size(), ref.left.size());
    ASSERT_EQ(got.right.size(), ref.right.size());
    size_t differing = 0;
    for (size_t i = 0; i < ref.left.size(); ++i)
        differing += (got.left[i] != ref.left[i]) + (got.right[i] != ref.right[i]);
    EXPECT_EQ(differing, 0u);

    // Checking alone agrees and hands out nothing.
    int rate = 0;
    bool mono = false;
    EXPECT_TRUE(LoadImpulse(path.c_str(), nullptr, nullptr, nullptr, &rate, &mono));
    EXPECT_EQ(rate, ref.rate);
    EXPECT_TRUE(LoadImpulse(path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
}

int run(const std::string& command)
{
    return std::system((command + " 2>/dev/null").c_str());
}

}  // namespace

TEST(ImpulseFileMatrix, LibsndfileLayoutsDecodeLikeLibsndfile)
{
    struct Layout {
        const char* name;
        int format;
    };
    const Layout layouts[] = {
        {"wav-u8", SF_FORMAT_WAV | SF_FORMAT_PCM_U8},     {"wav-16", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
        {"wav-24", SF_FORMAT_WAV | SF_FORMAT_PCM_24},     {"wav-32", SF_FORMAT_WAV | SF_FORMAT_PCM_32},
        {"wav-float", SF_FORMAT_WAV | SF_FORMAT_FLOAT},   {"wavex-16", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16},
        {"wavex-24", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24}, {"wavex-32", SF_FORMAT_WAVEX | SF_FORMAT_PCM_32},
        {"wavex-float", SF_FORMAT_WAVEX | SF_FORMAT_FLOAT}, {"aiff-s8", SF_FORMAT_AIFF | SF_FORMAT_PCM_S8},
        {"aiff-16", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},   {"aiff-24", SF_FORMAT_AIFF | SF_FORMAT_PCM_24},
        {"aiff-32", SF_FORMAT_AIFF | SF_FORMAT_PCM_32},
    };
    TempDir dir;
    int files = 0;
    for (const Layout& l : layouts) {
        for (int rate : kRates) {
            for (int channels = 1; channels <= 2; ++channels) {
                const std::string what = std::string(l.name) + " " + std::to_string(rate) + " Hz " +
                                         std::to_string(channels) + " ch";
                const std::string path = dir.file("sf-" + std::to_string(files++));
                ASSERT_TRUE(writeWithSndfile(path, l.format, channels, rate, 301)) << what;
                expectSameAsSndfile(path, what);
            }
        }
    }
}

TEST(ImpulseFileMatrix, SoxLayoutsDecodeLikeLibsndfile)
{
    ASSERT_EQ(run("sox --version >/dev/null"), 0) << "sox is needed (tools/packages-tests.txt installs it)";
    struct Layout {
        const char* ext;
        const char* encoding;  // sox writes 24 and 32-bit WAV as WAVE_FORMAT_EXTENSIBLE
        int bits;
    };
    const Layout layouts[] = {{"wav", "unsigned-integer", 8}, {"wav", "signed-integer", 16},
                              {"wav", "signed-integer", 24},  {"wav", "signed-integer", 32},
                              {"wav", "floating-point", 32},  {"aiff", "signed-integer", 8},
                              {"aiff", "signed-integer", 16}, {"aiff", "signed-integer", 24},
                              {"aiff", "signed-integer", 32}};
    TempDir dir;
    int files = 0;
    for (const Layout& l : layouts) {
        for (int rate : kRates) {
            for (int channels = 1; channels <= 2; ++channels) {
                const std::string what = std::string(l.ext) + " " + l.encoding + " " + std::to_string(l.bits) +
                                         " bits " + std::to_string(rate) + " Hz " + std::to_string(channels) + " ch";
                const std::string path = dir.file("sox-" + std::to_string(files++) + "." + l.ext);
                const std::string cmd = "sox -D -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) +
                                        " -e " + l.encoding + " -b " + std::to_string(l.bits) + " " + path +
                                        " synth 400s sine 440 sine 3000 vol 0.9";
                ASSERT_EQ(run(cmd), 0) << cmd;
                expectSameAsSndfile(path, what);
            }
        }
    }
}

TEST(ImpulseFileMatrix, RefusedLayoutsGiveFalse)
{
    TempDir dir;
    struct Case {
        const char* name;
        int format, channels, rate;
    };
    const Case cases[] = {
        {"RIFX", SF_FORMAT_WAV | SF_FORMAT_PCM_16 | SF_ENDIAN_BIG, 1, 44100},
        {"AIFC float", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, 1, 44100},
        {"3 channels", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 3, 44100},
        {"3 channels extensible", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 3, 48000},
        {"3 channels AIFF", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 3, 48000},
        {"22050 Hz", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050},
        {"32000 Hz AIFF", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, 32000},
        {"44099 Hz", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 44099},
        {"384000 Hz", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1, 384000},
        {"64-bit float", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 1, 48000},
        {"A-law", SF_FORMAT_WAV | SF_FORMAT_ALAW, 1, 48000},
        {"A-law extensible", SF_FORMAT_WAVEX | SF_FORMAT_ALAW, 1, 48000},
        {"RF64", SF_FORMAT_RF64 | SF_FORMAT_PCM_16, 1, 48000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(c.name);
        ASSERT_TRUE(writeWithSndfile(path, c.format, c.channels, c.rate, 200));
        const Loaded got = loadFile(path);
        EXPECT_FALSE(got.ok);
        EXPECT_TRUE(got.untouched());
        EXPECT_FALSE(LoadImpulse(path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    }

    // sox's AIFF-C, even uncompressed.
    const std::string aifc = dir.file("plain.aifc");
    ASSERT_EQ(run("sox -n -r 44100 -c 1 -b 16 " + aifc + " synth 0.01 sine 440"), 0);
    EXPECT_FALSE(loadFile(aifc).ok);
}

TEST(ImpulseFileMatrix, EveryTruncationIsRefused)
{
    TempDir dir;
    for (int format : {SF_FORMAT_WAV | SF_FORMAT_PCM_16, SF_FORMAT_WAVEX | SF_FORMAT_FLOAT,
                       SF_FORMAT_AIFF | SF_FORMAT_PCM_24}) {
        const std::string whole = dir.file("whole");
        ASSERT_TRUE(writeWithSndfile(whole, format, 2, 96000, 40));
        std::ifstream in(whole, std::ios::binary);
        const Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_TRUE(loadFile(whole).ok);
        const std::string cut = dir.file("cut");
        int accepted = 0;
        for (size_t n = 0; n < bytes.size(); ++n) {
            writeFile(cut, Bytes(bytes.begin(), bytes.begin() + long(n)));
            accepted += loadFile(cut).ok;
        }
        EXPECT_EQ(accepted, 0) << "format " << std::hex << format;
    }
}
