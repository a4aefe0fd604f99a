// The offline host command as a user meets it: its help and mistakes, the
// parameter list, the tail after the input, the warning about samples over
// full scale, files at another rate, and chunks the plug-in refuses.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "PluginHarness.h"
#include "VstHost.h"
#include "common/Resample.h"

using namespace tonewright;

namespace {

namespace fs = std::filesystem;

const std::string kPlugin = "'" TONEWRIGHT_VST_PATH "'";

harness::CommandResult host(const std::string& arguments)
{
    return harness::runCommand("'" TONEWRIGHT_HOST_PATH "' " + arguments);
}

// A folder of files for one test.
struct Folder {
    fs::path dir;
    explicit Folder(const std::string& name)
        : dir(fs::temp_directory_path() / ("tw-host-" + name + "-" + std::to_string(getpid())))
    {
        fs::create_directories(dir);
    }
    ~Folder() { fs::remove_all(dir); }
    std::string operator()(const std::string& file) const { return (dir / file).string(); }
    std::string quoted(const std::string& file) const { return "'" + (*this)(file) + "'"; }
};

// A 440 Hz note of `noteSeconds` at `amplitude`, then silence up to `seconds`.
AudioClip note(double fs, double seconds, double noteSeconds, double amplitude)
{
    AudioClip clip;
    clip.sampleRate = fs;
    clip.samples.assign(1, std::vector<double>(size_t(fs * seconds), 0.0));
    for (size_t i = 0; i < size_t(fs * noteSeconds); ++i)
        clip.samples[0][i] = float(amplitude * std::sin(2.0 * 3.14159265358979 * 440.0 * double(i) / fs));
    return clip;
}

AudioClip readBack(const std::string& path)
{
    AudioClip clip;
    std::string error;
    EXPECT_TRUE(readWav(path, clip, error)) << error;
    return clip;
}

// The last frame with a sample at or above `level` in any channel, or -1.
long lastAtOrAbove(const AudioClip& clip, double level)
{
    long last = -1;
    for (const auto& channel : clip.samples)
        for (size_t i = 0; i < channel.size(); ++i)
            if (std::fabs(channel[i]) >= level) last = std::max(last, long(i));
    return last;
}

}  // namespace

TEST(HostCommand, HelpExitsZeroAndMistakesExitTwoWithTheUsage)
{
    struct Case {
        std::string arguments;
        int exitCode;
        std::string says;  // on standard error, or on standard output for help
    };
    const Case cases[] = {
        {"-h", 0, "--tail SECONDS"},
        {"--help", 0, "--list-params"},
        {"--bogus", 2, "unknown option --bogus"},
        {"", 2, "expected PLUGIN.so IN.wav OUT.wav"},
        {kPlugin + " a.wav", 2, "expected PLUGIN.so IN.wav OUT.wav"},
        {"--rate 44100.5 " + kPlugin + " a.wav b.wav", 2, "bad --rate (a whole number of Hz)"},
        {"--tail -1 " + kPlugin + " a.wav b.wav", 2, "bad --tail"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const auto result = host(c.arguments);
        EXPECT_EQ(result.exitCode, c.exitCode);
        const std::string& text = c.exitCode == 0 ? result.out : result.err;
        EXPECT_NE(text.find("usage: tonewright-host [options] PLUGIN.so IN.wav OUT.wav"), std::string::npos) << text;
        EXPECT_NE(text.find(c.says), std::string::npos) << text;
        if (c.exitCode == 0) {
            EXPECT_EQ(result.err, "");
        }
    }
}

TEST(HostCommand, ListsEveryParameterAsThePluginReportsItAndWarnsAboutValuesOutsideZeroToOne)
{
    const auto result = host("--list-params --param 30=0.25 --param 12=-6 --param 13=1.5 " + kPlugin);
    ASSERT_EQ(result.exitCode, 0) << result.err;

    // The same settings through the library: names and values as the
    // plug-in reports them through the interface.
    std::string error;
    auto plugin = offline::VstPlugin::load(TONEWRIGHT_VST_PATH, error);
    ASSERT_TRUE(plugin) << error;
    plugin->setParameter(30, 0.25f);
    plugin->setParameter(12, -6.0f);
    plugin->setParameter(13, 1.5f);
    std::istringstream lines(result.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "parameters 80");
    std::getline(lines, line);
    int count = 0;
    while (std::getline(lines, line)) {
        char expected[128];
        std::snprintf(expected, sizeof expected, "%5d  %-8s  %.6f  %s", count, plugin->parameterName(count).c_str(),
                      double(plugin->getParameter(count)), plugin->parameterLabel(count).c_str());
        EXPECT_EQ(line, expected);
        ++count;
    }
    EXPECT_EQ(count, 80);
    EXPECT_NE(result.out.find("   30  MastVol   0.250000"), std::string::npos) << result.out;
    EXPECT_EQ(result.err,
              "tonewright-host: warning: --param 12=-6 is outside 0..1 (values are normalised); the plug-in holds 0\n"
              "tonewright-host: warning: --param 13=1.5 is outside 0..1 (values are normalised); the plug-in holds 1\n");
}

TEST(HostCommand, TailGoesOnUntilTheEchoesHaveDiedAwayOrForTheTimeAsked)
{
    Folder files("tail");
    const double fs = 44100.0;
    const AudioClip in = note(fs, 0.5, 0.1, 0.5);
    ASSERT_TRUE(writeWavFloat(files("in.wav"), in));
    // Echo on: 0.3 s, repeats falling by 0.3 (about 10 dB) each.
    const std::string echo = "--param 68=1 --param 69=" + std::to_string((0.3 - 0.01) / 0.99) + " --param 70=" +
                             std::to_string(0.3 / 0.95) + " ";
    const auto render = [&](const std::string& options) {
        const auto result = host(echo + options + kPlugin + " " + files.quoted("in.wav") + " " + files.quoted("out.wav"));
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return std::make_pair(result.out, readBack(files("out.wav")));
    };
    const double quiet = std::pow(10.0, -90.0 / 20.0);

    const auto [fixedSummary, fixed] = render("--tail 1.5 ");
    EXPECT_EQ(fixed.frames(), in.frames() + 66150);
    EXPECT_NE(fixedSummary.find("tail      1.50 s\n"), std::string::npos) << fixedSummary;
    EXPECT_EQ(render("--tail 0 ").second.frames(), in.frames());

    // Until quiet: the output ends 0.5 s after its last sample at -90 dBFS,
    // the echoes well past the input, whatever the blocks were.
    const auto [summary, untilQuiet] = render("--calls ");
    const long last = lastAtOrAbove(untilQuiet, quiet);
    EXPECT_GT(last, long(in.frames() + 0.3 * fs));
    EXPECT_EQ(untilQuiet.frames(), last + 1 + 22050);
    EXPECT_EQ(render("--vary 1:700:3 ").second.frames(), untilQuiet.frames());
    char tailLine[80];
    std::snprintf(tailLine, sizeof tailLine, "tail      %.2f s (until 0.5 s below -90 dBFS)\n",
                  (untilQuiet.frames() - in.frames()) / fs);
    EXPECT_NE(summary.find(tailLine), std::string::npos) << summary;
    // The host's calls by name.
    EXPECT_NE(summary.find("host calls 3: audioMasterVersion x1; audioMasterWantMidi x2;\n"), std::string::npos)
        << summary;
    EXPECT_NE(summary.find("  call audioMasterWantMidi index 0 value 1 opt 0\n"), std::string::npos) << summary;

    // Echoes that go on (0.95 of each repeat again): cut at 10 s, and said so.
    const auto [endlessSummary, endless] = render("--param 70=1 ");
    EXPECT_EQ(endless.frames(), in.frames() + 441000);
    EXPECT_GE(lastAtOrAbove(endless, quiet), endless.frames() - 22050);
    EXPECT_NE(endlessSummary.find("tail      10.00 s (cut at the longest: still sounding)"), std::string::npos)
        << endlessSummary;
}

TEST(HostCommand, WarnsWhenTheOutputGoesOverFullScale)
{
    Folder files("overs");
    ASSERT_TRUE(writeWavFloat(files("in.wav"), note(44100.0, 0.3, 0.3, 0.5)));
    for (const char* master : {"0.5", "1"}) {
        SCOPED_TRACE(master);
        const auto result = host(std::string("--tail 0 --param 30=") + master + " " + kPlugin + " " +
                                 files.quoted("in.wav") + " " + files.quoted("out.wav"));
        ASSERT_EQ(result.exitCode, 0) << result.err;
        const AudioClip out = readBack(files("out.wav"));
        double peak = 0;
        long over = 0;
        for (const auto& channel : out.samples)
            for (double x : channel) {
                peak = std::max(peak, std::fabs(x));
                over += std::fabs(x) > 1.0;
            }
        char expected[200] = "";
        if (over > 0)
            std::snprintf(expected, sizeof expected,
                          "tonewright-host: warning: the output peaks at %+.1f dBFS: %ld samples over full scale, "
                          "which clip in any fixed-point copy\n",
                          20.0 * std::log10(peak), over);
        EXPECT_EQ(result.err, expected);
        // +18 dB of master drives this note over; 0 dB does not.
        EXPECT_EQ(over > 0, std::string(master) == "1") << peak;
    }
}

TEST(HostCommand, RendersAFileAtAnotherRateResampledNotRelabelled)
{
    Folder files("rate");
    AudioClip in = note(48000.0, 0.4, 0.3, 0.3);
    ASSERT_TRUE(writeWavFloat(files("in.wav"), in));
    const std::string io = kPlugin + " " + files.quoted("in.wav") + " " + files.quoted("out.wav");

    const auto same = host("--rate 48000 --tail 0 " + io);
    ASSERT_EQ(same.exitCode, 0) << same.err;
    EXPECT_EQ(same.out.find("resampled"), std::string::npos);
    EXPECT_EQ(readBack(files("out.wav")).frames(), in.frames());

    const auto result = host("--rate 44100 --tail 0 --block 256 " + io);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("from 48000 Hz to 44100 Hz"), std::string::npos) << result.out;
    const AudioClip out = readBack(files("out.wav"));
    EXPECT_EQ(out.sampleRate, 44100.0);
    EXPECT_EQ(out.frames(), 17640);

    // What the plug-in ran at 44.1 kHz on the converted clip.
    std::string error;
    auto plugin = offline::VstPlugin::load(TONEWRIGHT_VST_PATH, error);
    ASSERT_TRUE(plugin) << error;
    plugin->setSampleRate(44100.0);
    plugin->setBlockSize(256);
    plugin->resume();
    const AudioClip converted = resample(readBack(files("in.wav")), 44100.0);
    EXPECT_EQ(out.samples, offline::render(*plugin, converted, 2, offline::BlockSchedule::Fixed(256)).samples);
}

TEST(HostCommand, ReportsAChunkThePluginRefusesAndRendersNothing)
{
    Folder files("chunks");
    ASSERT_TRUE(writeWavFloat(files("in.wav"), note(44100.0, 0.1, 0.05, 0.3)));
    const std::string in = files.quoted("in.wav") + " ";
    // Chunks saved by the host: one of the state a fresh instance already
    // has, one with the master moved.
    ASSERT_EQ(host("--list-params --save-chunk " + files.quoted("default.chunk") + " " + kPlugin).exitCode, 0);
    ASSERT_EQ(host("--param 30=0.25 --save-chunk " + files.quoted("master.chunk") + " " + kPlugin + " " + in +
                   files.quoted("x.wav"))
                  .exitCode,
              0);
    std::vector<char> saved;
    ASSERT_TRUE(offline::readFile(files("master.chunk"), saved));
    if (FILE* f = std::fopen(files("cut.chunk").c_str(), "wb")) {
        std::fwrite(saved.data(), 1, saved.size() / 2, f);
        std::fclose(f);
    }
    if (FILE* f = std::fopen(files("junk.chunk").c_str(), "wb")) {
        std::fputs("not a chunk at all", f);
        std::fclose(f);
    }

    struct Case {
        const char* chunk;
        bool accepted;
        std::string master;
    };
    char fresh[32];  // the factory program a fresh instance starts with
    std::snprintf(fresh, sizeof fresh, "%f", static_cast<double>(harness::Plugin().get(30)));
    for (const Case& c : {Case{"default.chunk", true, fresh}, Case{"master.chunk", true, "0.250000"},
                          Case{"cut.chunk", false, ""}, Case{"junk.chunk", false, ""}}) {
        SCOPED_TRACE(c.chunk);
        fs::remove(files("out.wav"));
        const auto result =
            host("--list-params --chunk " + files.quoted(c.chunk) + " " + kPlugin + " " + in + files.quoted("out.wav"));
        EXPECT_EQ(result.exitCode, c.accepted ? 0 : 1) << result.err;
        EXPECT_EQ(fs::exists(files("out.wav")), c.accepted);
        if (c.accepted) {
            EXPECT_NE(result.out.find(std::string("   30  MastVol   ") + c.master), std::string::npos) << result.out;
        } else {
            EXPECT_NE(result.err.find("tonewright-host: the plug-in refused the bank chunk in " + files(c.chunk) +
                                      ": its state did not change\n"),
                      std::string::npos)
                << result.err;
        }
    }
}
