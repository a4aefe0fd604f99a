// The WAV writer: the header bytes are the ones every reader takes without
// a complaint (float files with an 18-byte fmt chunk and a fact chunk):
// libsndfile gets the samples back exactly, over full scale too, and
// neither it nor sox complains.

#include <gtest/gtest.h>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "FileBytes.h"
#include "common/WavFile.h"

using namespace tonewright;

namespace {

namespace fs = std::filesystem;

// Runs a command; its standard output is returned, its standard error goes
// to `errors`.
std::string run(const std::string& command, std::string& errors, const fs::path& errorFile)
{
    std::string out;
    if (FILE* pipe = popen((command + " 2>'" + errorFile.string() + "'").c_str(), "r")) {
        char buffer[4096];
        while (size_t got = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, got);
        pclose(pipe);
    }
    errors = bytesOf(errorFile);
    return out;
}

struct Layout {
    const char* name;
    bool isFloat;
    std::string header;  // the bytes before the samples
    int sampleBytes;
};

std::string le(uint32_t v, int bytes)
{
    std::string s;
    for (int i = 0; i < bytes; ++i) s.push_back(char((v >> (8 * i)) & 0xff));
    return s;
}

}  // namespace

TEST(WavFile, WritesHeadersEveryReaderAcceptsAndSamplesThatReadBackExactly)
{
    const fs::path dir = fs::temp_directory_path() / ("tw-wav-" + std::to_string(getpid()));
    fs::create_directories(dir);
    AudioClip clip;
    clip.sampleRate = 48000.0;
    clip.channels = 2;
    clip.samples = {{0.0, 0.5, -1.0, 0.123456789, 1e-30, -0.75, 0.999},
                    {1.5, -0.25, 0.0, -0.987654321, 0.25, 2.0e-3, -1.5}};
    const uint32_t frames = 7;

    const std::vector<Layout> layouts = {
        {"float", true,
         "RIFF" + le(4 + 26 + 12 + 8 + frames * 8, 4) + "WAVEfmt " + le(18, 4) + le(3, 2) + le(2, 2) + le(48000, 4) +
             le(48000 * 8, 4) + le(8, 2) + le(32, 2) + le(0, 2) + "fact" + le(4, 4) + le(frames, 4) + "data" +
             le(frames * 8, 4),
         4},
        {"pcm24", false,
         "RIFF" + le(4 + 24 + 8 + frames * 6, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(2, 2) + le(48000, 4) +
             le(48000 * 6, 4) + le(6, 2) + le(24, 2) + "data" + le(frames * 6, 4),
         3},
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        const fs::path path = dir / (std::string(layout.name) + ".wav");
        ASSERT_TRUE(layout.isFloat ? writeWavFloat(path.string(), clip) : writeWavPcm24(path.string(), clip));
        const std::string bytes = bytesOf(path);
        ASSERT_EQ(bytes.size(), layout.header.size() + frames * 2 * layout.sampleBytes);
        EXPECT_EQ(bytes.substr(0, layout.header.size()), layout.header);

        // What the file should hold: the samples as floats, or rounded to
        // 24 bits and clipped.
        std::vector<float> expected;
        for (uint32_t f = 0; f < frames; ++f)
            for (int c = 0; c < 2; ++c) {
                const double v = clip.samples[size_t(c)][f];
                expected.push_back(layout.isFloat ? float(v)
                                                  : float(std::min(std::lround(std::clamp(v, -1.0, 1.0) * 8388608.0),
                                                                   8388607L) /
                                                          8388608.0));
            }

        // libsndfile: the samples, and a log with no complaint ("****").
        SF_INFO info{};
        SNDFILE* file = sf_open(path.string().c_str(), SFM_READ, &info);
        ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
        char log[4096] = {};
        sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
        std::vector<float> got(expected.size() + 4);
        EXPECT_EQ(sf_readf_float(file, got.data(), frames + 2), sf_count_t(frames));
        sf_close(file);
        got.resize(expected.size());
        EXPECT_EQ(info.samplerate, 48000);
        EXPECT_EQ(info.channels, 2);
        EXPECT_EQ(std::string(log).find("****"), std::string::npos) << log;
        EXPECT_EQ(got, expected);

        // sox reads the header without a warning (its reading of the samples
        // goes through 32-bit integers, so their exactness is libsndfile's).
        std::string errors;
        const std::string soxInfo = run("sox --info '" + path.string() + "'", errors, dir / "sox.err");
        EXPECT_EQ(errors, "");
        EXPECT_NE(soxInfo.find(layout.isFloat ? "32-bit Floating Point PCM" : "24-bit Signed Integer PCM"),
                  std::string::npos)
            << soxInfo;
        EXPECT_NE(soxInfo.find("= 7 samples"), std::string::npos) << soxInfo;

        // And our own reader.
        AudioClip back;
        std::string error;
        ASSERT_TRUE(readWav(path.string(), back, error)) << error;
        ASSERT_EQ(back.frames(), int(frames));
        for (uint32_t f = 0; f < frames; ++f)
            for (int c = 0; c < 2; ++c) EXPECT_EQ(float(back.samples[size_t(c)][f]), expected[f * 2 + size_t(c)]);
    }
    fs::remove_all(dir);
}
