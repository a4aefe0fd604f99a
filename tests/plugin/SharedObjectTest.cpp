// The deliverable itself: tonewright.so exports VSTPluginMain and nothing
// else, loads through the offline host and renders what the plug-in renders
// in this process; the host command writes the same audio to a WAV file.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <unistd.h>

#include "PluginHarness.h"
#include "plugin/PresetXml.h"
#include "VstHost.h"

using namespace tonewright;

namespace {

AudioClip testClip(double fs, int frames)
{
    AudioClip clip;
    clip.sampleRate = fs;
    clip.channels = 1;
    clip.samples.assign(1, std::vector<double>(static_cast<size_t>(frames)));
    for (int i = 0; i < frames; ++i)
        clip.samples[0][i] = static_cast<float>(0.6 * std::sin(0.05 * i) * std::exp(-3.0 * i / fs));
    return clip;
}

}  // namespace

TEST(SharedObject, ExportsOnlyVSTPluginMain)
{
    const std::string symbols = harness::runCommand("nm -D --defined-only '" TONEWRIGHT_VST_PATH "'").out;
    ASSERT_FALSE(symbols.empty());
    std::string names;
    size_t lines = 0;
    for (size_t pos = 0; pos < symbols.size();) {
        const size_t end = symbols.find('\n', pos);
        const std::string line = symbols.substr(pos, end - pos);
        if (!line.empty()) {
            ++lines;
            names += line.substr(line.rfind(' ') + 1) + " ";
        }
        pos = end == std::string::npos ? symbols.size() : end + 1;
    }
    EXPECT_EQ(lines, 1u) << names;
    EXPECT_EQ(names, "VSTPluginMain ");
}

TEST(SharedObject, LoadsInTheOfflineHostAndRendersLikeTheInProcessPlugin)
{
    std::string error;
    auto plugin = offline::VstPlugin::load(TONEWRIGHT_VST_PATH, error);
    ASSERT_TRUE(plugin) << error;
    auto inProcess = offline::VstPlugin::fromEntry(VSTPluginMain, error);
    ASSERT_TRUE(inProcess) << error;
    EXPECT_EQ(plugin->effectName(), "Tonewright Suite");
    EXPECT_EQ(plugin->vendorVersion(), 1100);
    EXPECT_EQ(plugin->parameterName(30), "MastVol");
    auto factory = std::make_unique<EffectProgram[]>(kBankSize);
    ASSERT_TRUE(LoadBankFromText(factory.get(), FactoryBankText()));
    EXPECT_EQ(plugin->programNameIndexed(127), factory[127].name);  // the bank it carries
    EXPECT_EQ(plugin->canDo("1in2out"), 1);
    // The plug-in asked for the host's version, then for MIDI on resume.
    const auto calls = plugin->calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[0].opcode, audioMasterVersion);
    EXPECT_EQ(calls[1].opcode, audioMasterWantMidi);

    const AudioClip in = testClip(48000.0, 30000);
    AudioClip outs[2];
    offline::VstPlugin* both[2] = {plugin.get(), inProcess.get()};
    for (int k = 0; k < 2; ++k) {
        both[k]->setSampleRate(48000.0);
        both[k]->setBlockSize(700);
        both[k]->setParameter(6, 1.0f);   // boost
        both[k]->setParameter(30, 0.4f);  // master
        both[k]->resume();
        outs[k] = offline::render(*both[k], in, 2, offline::BlockSchedule::Varying(1, 700, 5));
    }
    ASSERT_EQ(outs[0].frames(), in.frames());
    EXPECT_EQ(outs[0].samples, outs[1].samples);
    double energy = 0;
    for (double x : outs[0].samples[0]) energy += x * x;
    EXPECT_GT(energy, 1.0);
}

TEST(SharedObject, HostCommandRendersAWavFile)
{
    const auto dir = std::filesystem::temp_directory_path() / ("tonewright-host-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string inPath = (dir / "in.wav").string(), outPath = (dir / "out.wav").string();
    const AudioClip in = testClip(44100.0, 20000);
    ASSERT_TRUE(writeWavFloat(inPath, in));
    const auto [code, summary, errors] = harness::runCommand("'" TONEWRIGHT_HOST_PATH "' --block 333 --tail 0 --param 30=0.4 --out-channels 1 '" TONEWRIGHT_VST_PATH "' '" + inPath + "' '" + outPath + "'");
    EXPECT_EQ(code, 0) << errors;
    EXPECT_NE(summary.find("Tonewright Suite"), std::string::npos) << summary;

    AudioClip out;
    std::string error;
    ASSERT_TRUE(readWav(outPath, out, error)) << error << summary;
    EXPECT_EQ(out.channels, 1);
    ASSERT_EQ(out.frames(), in.frames());

    // The same render through the library, mono out, rounded as the file is.
    std::string loadError;
    auto plugin = offline::VstPlugin::load(TONEWRIGHT_VST_PATH, loadError);
    ASSERT_TRUE(plugin) << loadError;
    plugin->setSampleRate(44100.0);
    plugin->setBlockSize(333);
    plugin->setParameter(30, 0.4f);
    plugin->resume();
    const AudioClip expected = offline::render(*plugin, in, 1, offline::BlockSchedule::Fixed(333));
    EXPECT_EQ(out.samples, expected.samples);
    std::filesystem::remove_all(dir);
}
