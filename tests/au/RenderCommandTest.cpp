// The deliverable and the command: libtonewright-au exports the component
// entry and the stand-in calls only, and tonewright-au-render writes what
// tonewright-host writes through the VST entry for the same settings.

#include <cmath>
#include <filesystem>

#include "AUHarness.h"
#include "PluginHarness.h"
#include "common/WavFile.h"

using namespace au_test;

namespace {

std::vector<std::string> Words(const std::string& text)
{
    std::vector<std::string> words;
    for (size_t pos = 0; pos < text.size();) {
        const size_t end = text.find('\n', pos);
        const std::string line = text.substr(pos, end - pos);
        if (!line.empty()) words.push_back(line.substr(line.rfind(' ') + 1));
        pos = end == std::string::npos ? text.size() : end + 1;
    }
    return words;
}

AudioClip Clip(int channels)
{
    AudioClip clip;
    clip.sampleRate = 44100.0;
    clip.channels = channels;
    clip.samples.assign(size_t(channels), std::vector<double>(30000));
    for (size_t i = 0; i < 30000; ++i)
        for (int c = 0; c < channels; ++c)
            clip.samples[size_t(c)][i] = static_cast<float>(0.5 * std::sin((0.03 + 0.01 * c) * double(i)) *
                                                            std::exp(-3.0 * double(i) / 44100.0));
    return clip;
}

class RenderCommand : public RealUnitTest {
protected:
    void SetUp() override
    {
        RealUnitTest::SetUp();
        dir = harness::TestHome() / "render-command";
        std::filesystem::create_directories(dir);
    }
    std::string path(const std::string& name) const { return (dir / name).string(); }
    AudioClip run(const std::string& command, const std::string& options, const std::string& in, const std::string& out)
    {
        const auto [code, summary, errors] =
            harness::runCommand("'" + command + "' " + options + " '" + path(in) + "' '" + path(out) + "'");
        EXPECT_EQ(code, 0) << command << " " << options << "\n" << errors;
        AudioClip clip;
        std::string error;
        EXPECT_TRUE(readWav(path(out), clip, error)) << error << summary;
        return clip;
    }
    std::filesystem::path dir;
};

}  // namespace

TEST(AUSharedObject, ExportsTheEntryAndTheStandInCallsOnly)
{
    const auto names = Words(harness::runCommand("nm -D --defined-only '" TONEWRIGHT_AU_PATH "'").out);
    ASSERT_FALSE(names.empty());
    bool entry = false;
    for (const std::string& n : names) {
        entry |= n == "AUPlugEntry";
        const bool standIn = n.rfind("CF", 0) == 0 || n.rfind("kCF", 0) == 0 || n.rfind("AU", 0) == 0 ||
                             n.rfind("AudioUnit", 0) == 0 || n.find("Component") != std::string::npos ||
                             n == "MusicDeviceMIDIEvent";
        EXPECT_TRUE(standIn) << n;
    }
    EXPECT_TRUE(entry);
}

TEST_F(RenderCommand, WritesWhatTheVstHostWritesMonoAndStereoAt44And96kHz)
{
    for (int channels : {1, 2}) {
        const std::string in = "in" + std::to_string(channels) + ".wav";
        ASSERT_TRUE(writeWavFloat(path(in), Clip(channels)));
        for (const char* rate : {"", "--rate 96000 "}) {
            const std::string options =
                std::string(rate) + "--program 88 --param 30=0.3 --param 74=1 --vary 1:900:4 --tail 0.5";
            const AudioClip au = run(TONEWRIGHT_AU_RENDER_PATH, options, in, "au.wav");
            const AudioClip vst = run(TONEWRIGHT_HOST_PATH, options + " '" TONEWRIGHT_VST_PATH "'", in, "vst.wav");
            EXPECT_EQ(au.sampleRate, *rate ? 96000.0 : 44100.0);
            EXPECT_EQ(au.channels, 2);
            EXPECT_EQ(au.samples, vst.samples) << channels << " channels; " << options;
        }
    }
}

TEST_F(RenderCommand, AStateTheVstHostSavedRendersTheSameThroughTheUnit)
{
    ASSERT_TRUE(writeWavFloat(path("in.wav"), Clip(2)));
    run(TONEWRIGHT_HOST_PATH,
        "--program 103 --param 76=0.625 --tail 0 --save-chunk '" + path("state") + "' '" TONEWRIGHT_VST_PATH "'",
        "in.wav", "saved.wav");
    const AudioClip vst =
        run(TONEWRIGHT_HOST_PATH, "--chunk '" + path("state") + "' --tail 0 '" TONEWRIGHT_VST_PATH "'", "in.wav",
            "vst.wav");
    const AudioClip au = run(TONEWRIGHT_AU_RENDER_PATH, "--chunk '" + path("state") + "' --tail 0", "in.wav", "au.wav");
    EXPECT_EQ(au.samples, vst.samples);
    // And the other way: the unit's state in the VST host.
    run(TONEWRIGHT_AU_RENDER_PATH, "--program 7 --tail 0 --save-chunk '" + path("au-state") + "'", "in.wav", "au7.wav");
    const AudioClip back =
        run(TONEWRIGHT_HOST_PATH, "--chunk '" + path("au-state") + "' --tail 0 '" TONEWRIGHT_VST_PATH "'", "in.wav",
            "vst7.wav");
    EXPECT_EQ(back.samples, run(TONEWRIGHT_AU_RENDER_PATH, "--program 7 --tail 0", "in.wav", "au7b.wav").samples);
}

TEST_F(RenderCommand, RefusesWhatItCannotDo)
{
    ASSERT_TRUE(writeWavFloat(path("in.wav"), Clip(1)));
    const struct {
        std::string options;
        int code;
    } cases[] = {
        {"--block 0", 2},
        {"--out-channels 3", 2},
        {"--whatever 1", 2},
        {"--program 128", 1},
        {"--param 80=0.5", 1},
        {"--chunk '" + path("missing") + "'", 1},
        {"--chunk '" + path("in.wav") + "'", 1},
    };
    for (const auto& c : cases) {
        const auto result = harness::runCommand("'" TONEWRIGHT_AU_RENDER_PATH "' " + c.options + " '" + path("in.wav") +
                                                "' '" + path("out.wav") + "'");
        EXPECT_EQ(result.exitCode, c.code) << c.options << "\n" << result.err;
    }
}
