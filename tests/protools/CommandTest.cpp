// tonewright-pt-render against tonewright-host: the Pro Tools deliverable
// and the VST plug-in render the same file with the same settings into the
// same bytes, mono and stereo, at 44.1 and 96 kHz, and write and take the
// same chunk.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "ProToolsHarness.h"
#include "common/WavFile.h"

using namespace tonewright;

namespace {

namespace fs = std::filesystem;

class Commands : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(dir);
        for (int channels : {1, 2}) {
            AudioClip clip;
            clip.sampleRate = 44100.0;
            clip.channels = channels;
            for (unsigned c = 0; c < unsigned(channels); ++c) {
                const auto x = pttest::TestSignal(66150, 20 + c, 0.4f);
                clip.samples.emplace_back(x.begin(), x.end());
            }
            ASSERT_TRUE(writeWavFloat((dir / (std::to_string(channels) + ".wav")).string(), clip));
        }
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string at(const std::string& name) const { return "'" + (dir / name).string() + "' "; }
    // One of the two commands on dir/in into dir/out, with a support folder
    // of their own (the factory bank is installed there).
    harness::CommandResult run(bool pt, const std::string& args, const std::string& in, const std::string& out) const
    {
        return harness::runCommand("XDG_DATA_HOME=" + at("data") + "XDG_CONFIG_HOME=" + at("config") + "'" +
                                   (pt ? TONEWRIGHT_PT_RENDER_PATH : TONEWRIGHT_HOST_PATH) + "' " + args +
                                   (pt ? " " : " '" TONEWRIGHT_VST_PATH "' ") + at(in) + at(out));
    }
    bool same(const std::string& a, const std::string& b) const
    {
        std::vector<char> x, y;
        return offline::readFile((dir / a).string(), x) && offline::readFile((dir / b).string(), y) && !x.empty() &&
               x == y;
    }

    const fs::path dir = fs::temp_directory_path() / ("twr-pt-render-" + std::to_string(getpid()));
};

TEST_F(Commands, PtRenderWritesTheBytesAndChunkTonewrightHostWritesAndEachTakesTheOthersChunk)
{
    const struct {
        int fileChannels, outChannels;
        const char *type, *settings;  // the type is pt-render's
    } cases[] = {
        {2, 2, "stereo", "--program 103"},
        {1, 2, "stereo", "--program 88 --vary 1:700:5"},
        {1, 2, "stereo", "--rate 96000 --program 88 --param 74=1 --param 76=0.625"},
        {1, 1, "stereo", "--program 0"},
        {1, 1, "stereo", "--rate 96000 --program 0 --block 64"},
        // The mono type mixes the Effect's two sides; in this program they
        // are equal at this rate, so its output is the VST plug-in's first.
        {1, 1, "mono", "--program 70"},
        {2, 2, "stereo", "--rate 96000 --program 12 --param 30=0.1875 --param 38=1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings);
        const std::string args = "--out-channels " + std::to_string(c.outChannels) + " " + c.settings + " --save-chunk";
        const std::string in = std::to_string(c.fileChannels) + ".wav";
        const auto a = run(true, "--type " + std::string(c.type) + " " + args + " " + at("pt.chunk"), in, "pt.wav");
        ASSERT_EQ(a.exitCode, 0) << a.err;
        const auto b = run(false, args + " " + at("vst.chunk"), in, "vst.wav");
        ASSERT_EQ(b.exitCode, 0) << b.err;
        AudioClip out;
        std::string error;
        ASSERT_TRUE(readWav((dir / "pt.wav").string(), out, error)) << error;
        EXPECT_TRUE(out.channels == c.outChannels && out.frames() > 66150) << out.channels << " " << out.frames();
        EXPECT_TRUE(same("pt.wav", "vst.wav"));
        EXPECT_TRUE(same("pt.chunk", "vst.chunk"));
    }
    ASSERT_EQ(run(true, "--rate 96000 --chunk " + at("vst.chunk"), "2.wav", "c.wav").exitCode, 0);
    ASSERT_EQ(run(false, "--rate 96000 --chunk " + at("pt.chunk"), "2.wav", "d.wav").exitCode, 0);
    EXPECT_TRUE(same("c.wav", "d.wav"));

    // A file that is no bank is refused, and nothing is rendered.
    std::ofstream(dir / "bad.chunk") << "<TWRPreset/>";
    const auto e = run(true, "--chunk " + at("bad.chunk"), "2.wav", "e.wav");
    EXPECT_EQ(e.exitCode, 1);
    EXPECT_NE(e.err.find("refused the chunk"), std::string::npos) << e.err;
    EXPECT_FALSE(fs::exists(dir / "e.wav"));
}

}  // namespace
