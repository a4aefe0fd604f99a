// Stored values beyond what a host parameter can show: read from a state
// chunk, a preset file or a bank file, each is brought to the parameter's
// end, so that the host reads the end and the sound plays it.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "DspTestKit.h"
#include "PluginHarness.h"
#include "plugin/PresetXml.h"

using namespace harness;
namespace fs = std::filesystem;

namespace {

// The text with every value of the attribute `name` replaced.
std::string withAttribute(const std::string& text, const std::string& name, const std::string& value)
{
    const std::string key = " " + name + "=\"";
    std::string out;
    size_t from = 0;
    for (size_t at; (at = text.find(key, from)) != std::string::npos;) {
        const size_t end = text.find('"', at + key.size());
        if (end == std::string::npos) break;
        out.append(text, from, at + key.size() - from).append(value);
        from = end;
    }
    return out.append(text, from);
}

}  // namespace

TEST(HostRanges, EveryHostParameterReadsItsEndForAStoredValueBeyondItAndPlaysThatEnd)
{
    Plugin p;
    for (int i = 0; i < kNumParameters; ++i) {
        const ParameterDescriptor& row = kParameterTable[twr_params[size_t(i)]];
        if (row.field.kind == FieldKind::flag) continue;  // a flag holds nothing beyond its ends
        SCOPED_TRACE(testing::Message() << "parameter " << i << " (" << row.host.name << ")");
        const double at0 = ShapeToPhysical(row.shape, 0.0), at1 = ShapeToPhysical(row.shape, 1.0);
        const double lo = std::min(at0, at1), hi = std::max(at0, at1), span = hi - lo;
        const bool integer = row.field.kind == FieldKind::integer;
        const bool selector = !row.field.write;  // the power amp's, which shows its type (on)
        for (double v : {hi + span + 1, integer ? INT_MAX : 1e308, lo - span - 1, integer ? INT_MIN : -1e308}) {
            TonewrightParameters sound = p.effect().currentSound();
            if (selector) {
                sound.poweramp.enable = true;
                sound.poweramp.type = static_cast<int>(v);
            } else {
                row.field.write(sound, v);
            }
            setChunk(p, PresetFileText(sound, "beyond"), true);
            const double end = v > hi ? hi : lo;
            // A type below the lowest is the lowest type, on: 1 of 0..3.
            const bool lowestType = selector && v < lo;
            EXPECT_FLOAT_EQ(p.get(i), lowestType ? 1.0f / 3.0f : end == at1 ? 1.0f : 0.0f) << v;
            const double playing = row.field.read(p.effect().currentSound());
            EXPECT_NEAR(playing, lowestType ? 1.0 : end, 1e-9 * std::max(1.0, std::fabs(end))) << v;
        }
    }
}

TEST(HostRanges, BankChunksPresetFilesAndBankFilesAllBringValuesToTheEnds)
{
    Plugin p;
    const fs::path folder = TestHome() / "host-ranges";
    fs::create_directories(folder);
    const std::string preset = chunkOf(p, true), bank = chunkOf(p, false);
    const std::string header = "<?xml version=\"1.0\" ?>\n";
    std::ofstream(folder / "loud.xml") << header << withAttribute(preset, "master_level", "60");
    std::ofstream(folder / "quiet.xml") << withAttribute(harness::BankText(p.effect()), "master_level", "-1e308");
    struct Path {
        const char* what;
        std::function<void()> load;
        float shown;
        double playing;
    };
    const Path paths[] = {
        {"bank chunk", [&] { setChunk(p, withAttribute(bank, "master_level", "1e308"), false); }, 1.0f, 18},
        {"preset file", [&] { p.effect().importPreset((folder / "loud.xml").c_str()); }, 1.0f, 18},
        {"bank file", [&] { p.effect().loadBank((folder / "quiet.xml").c_str()); }, 0.0f, -24},
    };
    for (const Path& path : paths) {
        SCOPED_TRACE(path.what);
        p.set(30, 0.5f);
        path.load();
        EXPECT_FLOAT_EQ(p.get(30), path.shown);
        EXPECT_EQ(p.effect().currentSound().master_level, path.playing);
    }
    // The bank's other programs came to the same end.
    p.dispatch(effSetProgram, 0, 127);
    EXPECT_EQ(p.effect().currentSound().master_level, -24);
}

TEST(HostRanges, AChunksMasterLevelOf60dBPlaysAtThe18dBTheHostShows)
{
    // A 0.4 sine at 1 kHz through a default program, master level from a
    // chunk and from the host's parameter at its top.
    const auto level = [](const Plugin& p) {
        const int n = 44100;
        std::vector<float> in(n), left(n), right(n);
        for (int i = 0; i < n; ++i) in[size_t(i)] = float(0.4 * std::sin(2 * M_PI * 1000 * i / 44100.0));
        for (int start = 0; start < n; start += 512)
            p.run(&in[size_t(start)], nullptr, &left[size_t(start)], &right[size_t(start)], std::min(512, n - start));
        return testkit::rms(std::vector<double>(left.begin() + n / 2, left.end()));
    };
    Plugin fromChunk, fromHost, atZero;
    for (const char* stored : {"60", "1e308"}) {
        setChunk(fromChunk, withAttribute(chunkOf(fromChunk, true), "master_level", stored), true);
        EXPECT_EQ(fromChunk.get(30), 1.0f) << stored;
        fromHost.set(30, 1.0f);
        atZero.set(30, 0.5f);
        const double chunk = level(fromChunk), host = level(fromHost), zero = level(atZero);
        EXPECT_NEAR(testkit::dB(chunk / host), 0.0, 0.01) << stored;
        EXPECT_NEAR(testkit::dB(chunk / zero), 18.0, 0.05) << stored;
    }
}
