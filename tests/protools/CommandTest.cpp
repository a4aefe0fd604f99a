// tonewright-pt-render against tonewright-host: the Pro Tools deliverable
// and the VST plug-in render the same file with the same settings into the
// same samples, mono and stereo, at 44.1 and 96 kHz, and write and take
// the same chunk.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <algorithm>
#include <fstream>

#include "ProToolsHarness.h"
#include "common/WavFile.h"

namespace {

namespace fs = std::filesystem;

std::vector<char> bytesOf(const fs::path& path)
{
    std::vector<char> bytes;
    offline::readFile(path.string(), bytes);
    return bytes;
}

// Equal files, or where they part.
::testing::AssertionResult sameFiles(const fs::path& a, const fs::path& b)
{
    const std::vector<char> x = bytesOf(a), y = bytesOf(b);
    if (x == y && !x.empty()) return ::testing::AssertionSuccess();
    const auto parted = std::mismatch(x.begin(), x.end(), y.begin(), y.end());
    return ::testing::AssertionFailure() << a << " (" << x.size() << " bytes) and " << b << " (" << y.size()
                                         << " bytes) part at byte " << (parted.first - x.begin());
}

class Commands : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("twr-pt-render-" + std::to_string(getpid()));
        fs::create_directories(dir);
        // A support folder of their own: the factory bank is installed there.
        env = "XDG_DATA_HOME='" + (dir / "data").string() + "' XDG_CONFIG_HOME='" + (dir / "config").string() + "' ";
        for (int channels : {1, 2}) {
            AudioClip clip;
            clip.sampleRate = 44100.0;
            clip.channels = channels;
            for (int c = 0; c < channels; ++c) {
                const auto x = pttest::TestSignal(66150, 20 + unsigned(c), 0.4f);
                clip.samples.emplace_back(x.begin(), x.end());
            }
            ASSERT_TRUE(writeWavFloat(clip_(channels).string(), clip));
        }
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path clip_(int channels) const { return dir / (channels == 1 ? "mono.wav" : "stereo.wav"); }
    harness::CommandResult run(const std::string& command, const std::string& args) const
    {
        return harness::runCommand(env + "'" + command + "' " + args);
    }

    fs::path dir;
    std::string env;
};

TEST_F(Commands, PtRenderWritesTheSamplesTonewrightHostWritesForTheSameSettings)
{
    const struct {
        int fileChannels;
        const char* type;  // pt-render's
        int outChannels;   // both
        const char* settings;
    } cases[] = {
        {2, "stereo", 2, "--program 103"},
        {2, "stereo", 2, "--rate 96000 --program 103 --param 30=0.1875"},
        {1, "stereo", 2, "--program 88 --vary 1:700:5"},
        {1, "stereo", 2, "--rate 96000 --program 88 --param 74=1 --param 76=0.625"},
        {1, "stereo", 1, "--program 0"},
        {1, "stereo", 1, "--rate 96000 --program 0 --block 64"},
        // The mono type mixes the Effect's two sides; in this program they
        // are equal at this rate, so its output is the VST plug-in's first.
        {1, "mono", 1, "--program 70"},
    };
    int k = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings);
        const std::string in = "'" + clip_(c.fileChannels).string() + "' ";
        const fs::path pt = dir / ("pt" + std::to_string(k) + ".wav"), vst = dir / ("vst" + std::to_string(k) + ".wav");
        ++k;
        const auto a = run(TONEWRIGHT_PT_RENDER_PATH,
                           std::string("--type ") + c.type + " --out-channels " + std::to_string(c.outChannels) + " " + c.settings + " " + in + "'" + pt.string() + "'");
        ASSERT_EQ(a.exitCode, 0) << a.err;
        const auto b = run(TONEWRIGHT_HOST_PATH, "--out-channels " + std::to_string(c.outChannels) + " " +
                                                     c.settings + " '" TONEWRIGHT_VST_PATH "' " + in + "'" +
                                                     vst.string() + "'");
        ASSERT_EQ(b.exitCode, 0) << b.err;
        AudioClip out;
        std::string error;
        ASSERT_TRUE(readWav(pt.string(), out, error)) << error;
        EXPECT_EQ(out.channels, c.outChannels);
        EXPECT_GT(out.frames(), 66150);
        EXPECT_TRUE(sameFiles(pt, vst));
    }
}

TEST_F(Commands, BothWriteTheSameChunkAndEachTakesTheOthers)
{
    const std::string settings = "--rate 96000 --program 12 --param 30=0.1875 --param 38=1 ";
    const std::string in = "'" + clip_(2).string() + "' ";
    const auto a = run(TONEWRIGHT_PT_RENDER_PATH,
                       settings + "--save-chunk '" + (dir / "pt.chunk").string() + "' " + in + "'" + (dir / "a.wav").string() + "'");
    const auto b = run(TONEWRIGHT_HOST_PATH, settings + "--save-chunk '" + (dir / "vst.chunk").string() + "' '" TONEWRIGHT_VST_PATH "' " + in + "'" + (dir / "b.wav").string() + "'");
    ASSERT_EQ(a.exitCode, 0) << a.err;
    ASSERT_EQ(b.exitCode, 0) << b.err;
    EXPECT_TRUE(sameFiles(dir / "pt.chunk", dir / "vst.chunk"));
    EXPECT_GT(bytesOf(dir / "pt.chunk").size(), 1000u);

    const auto c = run(TONEWRIGHT_PT_RENDER_PATH, "--rate 96000 --chunk '" + (dir / "vst.chunk").string() + "' " + in + "'" + (dir / "c.wav").string() + "'");
    const auto d = run(TONEWRIGHT_HOST_PATH, "--rate 96000 --chunk '" + (dir / "pt.chunk").string() + "' '" TONEWRIGHT_VST_PATH "' " + in + "'" + (dir / "d.wav").string() + "'");
    ASSERT_EQ(c.exitCode, 0) << c.err;
    ASSERT_EQ(d.exitCode, 0) << d.err;
    EXPECT_TRUE(sameFiles(dir / "c.wav", dir / "d.wav"));

    // A file that is no bank is refused, and nothing is rendered.
    std::ofstream(dir / "bad.chunk") << "<TWRPreset/>";
    const auto e = run(TONEWRIGHT_PT_RENDER_PATH, "--chunk '" + (dir / "bad.chunk").string() + "' " + in + "'" + (dir / "e.wav").string() + "'");
    EXPECT_EQ(e.exitCode, 1);
    EXPECT_NE(e.err.find("refused the chunk"), std::string::npos) << e.err;
    EXPECT_FALSE(fs::exists(dir / "e.wav"));
}

}  // namespace
