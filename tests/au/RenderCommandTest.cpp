// The deliverable and the command: libtonewright-au exports the component
// entry and the stand-in calls only, and tonewright-au-render writes what
// tonewright-host writes through the VST entry for the same settings.

#include <filesystem>
#include <sstream>

#include "AUHarness.h"
#include "PluginHarness.h"

using namespace au_test;

namespace {

class AURenderCommand : public RealUnitTest {
protected:
    void SetUp() override
    {
        RealUnitTest::SetUp();
        std::filesystem::create_directories(dir);
    }
    std::string path(const std::string& name) const { return "'" + (dir / name).string() + "'"; }
    // The command's exit code, and what it wrote when that is 0.
    std::pair<int, AudioClip> run(const std::string& command, const std::string& in, const std::string& out)
    {
        const auto result = harness::runCommand(command + " " + path(in) + " " + path(out));
        AudioClip clip;
        std::string error;
        if (result.exitCode == 0) {
            EXPECT_TRUE(readWav((dir / out).string(), clip, error)) << error;
        }
        return {result.exitCode, clip};
    }
    // What the unit and what the VST host write with the same options.
    void expectSame(const std::string& au, const std::string& vst, const std::string& in = "in.wav")
    {
        const auto [auCode, auClip] = run("'" TONEWRIGHT_AU_RENDER_PATH "' " + au, in, "au.wav");
        const auto [vstCode, vstClip] = run("'" TONEWRIGHT_HOST_PATH "' " + vst + " '" TONEWRIGHT_VST_PATH "'", in,
                                            "vst.wav");
        EXPECT_EQ(std::pair(auCode, vstCode), std::pair(0, 0)) << au;
        EXPECT_EQ(auClip.sampleRate, vstClip.sampleRate) << au;
        EXPECT_EQ(auClip.channels, 2) << au;
        EXPECT_EQ(auClip.samples, vstClip.samples) << au;
    }
    const std::filesystem::path dir = harness::TestHome() / "render-command";
};

}  // namespace

TEST(AUSharedObject, ExportsTheEntryAndTheStandInCallsOnly)
{
    std::istringstream names(harness::runCommand("nm -D --defined-only --format=just-symbols '" TONEWRIGHT_AU_PATH "'").out);
    int entries = 0, count = 0;
    for (std::string n; std::getline(names, n); ++count) {
        entries += n == "AUPlugEntry";
        EXPECT_TRUE(n.rfind("CF", 0) == 0 || n.rfind("kCF", 0) == 0 || n.rfind("AU", 0) == 0 ||
                    n.rfind("AudioUnit", 0) == 0 || n.find("Component") != std::string::npos ||
                    n == "MusicDeviceMIDIEvent")
            << n;
    }
    EXPECT_EQ(entries, 1);
    EXPECT_GT(count, 10);
}

TEST_F(AURenderCommand, WritesWhatTheVstHostWritesMonoAndStereoAt44And96kHzAndFromEachOthersStates)
{
    for (int channels : {1, 2}) {
        ASSERT_TRUE(writeWavFloat((dir / "in.wav").string(), TestClip(44100.0, channels, 30000)));
        for (const char* rate : {"", "--rate 96000 "}) {
            const std::string options = std::string(rate) + "--program 88 --param 30=0.3 --param 74=1 --vary 1:900:4";
            expectSame(options + " --tail 0.5", options + " --tail 0.5");
        }
    }
    // A state the VST host saved, through the unit; and the unit's state in the VST host.
    EXPECT_EQ(run("'" TONEWRIGHT_HOST_PATH "' --program 103 --param 76=0.625 --tail 0 --save-chunk " + path("vst-state") +
                      " '" TONEWRIGHT_VST_PATH "'",
                  "in.wav", "saved.wav")
                  .first,
              0);
    expectSame("--chunk " + path("vst-state") + " --tail 0", "--chunk " + path("vst-state") + " --tail 0");
    EXPECT_EQ(run("'" TONEWRIGHT_AU_RENDER_PATH "' --program 7 --tail 0 --save-chunk " + path("au-state"), "in.wav",
                  "saved.wav")
                  .first,
              0);
    expectSame("--program 7 --tail 0", "--chunk " + path("au-state") + " --tail 0");
}

TEST_F(AURenderCommand, RefusesWhatItCannotDo)
{
    ASSERT_TRUE(writeWavFloat((dir / "in.wav").string(), TestClip(44100.0, 1, 1000)));
    const std::pair<std::string, int> cases[] = {
        {"--block 0", 2},     {"--out-channels 3", 2}, {"--whatever 1", 2}, {"--program 128", 1}, {"--param 80=0.5", 1},
        {"--chunk " + path("missing"), 1}, {"--chunk " + path("in.wav"), 1},
    };
    for (const auto& [options, code] : cases)
        EXPECT_EQ(run("'" TONEWRIGHT_AU_RENDER_PATH "' " + options, "in.wav", "out.wav").first, code) << options;
}
