// The deliverable and the command: libtonewright-au exports the component
// entry and the stand-in calls only, and tonewright-au-render writes what
// tonewright-host writes through the VST entry for the same settings.

#include <filesystem>
#include <sstream>
#include <tuple>

#include "AUHarness.h"
#include "PluginHarness.h"

using namespace tonewright;
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
    // The unit's command, or the VST host with the plug-in, from in.wav to
    // out.wav: the exit code and what it wrote.
    std::pair<int, AudioClip> run(bool unit, const std::string& options)
    {
        const std::string command = unit ? "'" TONEWRIGHT_AU_RENDER_PATH "' " + options
                                         : "'" TONEWRIGHT_HOST_PATH "' " + options + " '" TONEWRIGHT_VST_PATH "'";
        const int code = harness::runCommand(command + " " + path("in.wav") + " " + path("out.wav")).exitCode;
        AudioClip clip;
        std::string error;
        EXPECT_TRUE(code != 0 || readWav((dir / "out.wav").string(), clip, error)) << error;
        return {code, clip};
    }
    // What the unit writes, checked against what the VST host writes.
    AudioClip expectSame(const std::string& unitOptions, const std::string& vstOptions)
    {
        const auto [auCode, au] = run(true, unitOptions);
        const auto [vstCode, vst] = run(false, vstOptions);
        EXPECT_EQ(std::tuple(auCode, vstCode, au.channels, au.sampleRate), std::tuple(0, 0, 2, vst.sampleRate))
            << unitOptions;
        EXPECT_EQ(au.samples, vst.samples) << unitOptions;
        return au;
    }
    const std::filesystem::path dir = harness::TestHome() / "render-command";
};

}  // namespace

TEST(AUSharedObject, ExportsTheEntryAndTheStandInCallsOnly)
{
    std::istringstream names(
        harness::runCommand("nm -D --defined-only --format=just-symbols '" TONEWRIGHT_AU_PATH "'").out);
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
            const std::string options = rate + std::string("--program 88 --param 30=0.3 --param 74=1 --vary 1:900:4");
            EXPECT_EQ(expectSame(options + " --tail 0.5", options + " --tail 0.5").sampleRate, *rate ? 96000 : 44100);
        }
    }
    // A state the VST host saved, through the unit; and the unit's state in the VST host.
    EXPECT_EQ(run(false, "--program 103 --param 76=0.625 --tail 0 --save-chunk " + path("vst")).first, 0);
    expectSame("--chunk " + path("vst") + " --tail 0", "--chunk " + path("vst") + " --tail 0");
    EXPECT_EQ(run(true, "--program 7 --tail 0 --save-chunk " + path("au")).first, 0);
    expectSame("--program 7 --tail 0", "--chunk " + path("au") + " --tail 0");
}

TEST_F(AURenderCommand, RefusesWhatItCannotDo)
{
    ASSERT_TRUE(writeWavFloat((dir / "in.wav").string(), TestClip(44100.0, 1, 1000)));
    const std::pair<std::string, int> cases[] = {
        {"--block 0", 2}, {"--out-channels 3", 2}, {"--whatever 1", 2}, {"--program 128", 1}, {"--param 80=0.5", 1},
        {"--chunk " + path("missing"), 1}, {"--chunk " + path("in.wav"), 1}};
    for (const auto& [options, code] : cases) EXPECT_EQ(run(true, options).first, code) << options;
}
