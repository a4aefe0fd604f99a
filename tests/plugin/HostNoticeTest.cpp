// What the host hears of each kind of change of the sound. Hosts save and
// mark a session changed from what they are told: the host's own program
// change or restore asks only for a new reading; a change made in the
// plug-in (editor, file, MIDI) is an edit of every parameter it moved, and
// one that moved none (a cabinet, a name, a program saved) is an edit of
// the witness parameter at its value.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "PluginHarness.h"

using namespace harness;
namespace fs = std::filesystem;

namespace {

const fs::path kResources = fs::path(TONEWRIGHT_SOURCE_PATH) / "resources";

enum class Told { nothing, reading, edits, witness };

struct Heard {
    std::vector<int> edited;  // indices, in the order their edits came
    int displays = 0;
};

// Checks the calls are whole edits (begin, automate at the value the
// parameter now shows, end) followed by one display update at the end.
Heard hear(const Plugin& p, const std::vector<Call>& calls)
{
    Heard heard;
    for (size_t i = 0; i < calls.size(); ++i) {
        const Call& c = calls[i];
        if (c.opcode == audioMasterUpdateDisplay) {
            ++heard.displays;
            continue;
        }
        if (c.opcode != audioMasterBeginEdit) {
            ADD_FAILURE() << "call " << c.opcode << " outside an edit at " << i;
            continue;
        }
        EXPECT_EQ(heard.displays, 0) << "an edit after the display update";
        if (i + 2 >= calls.size()) {
            ADD_FAILURE() << "an edit cut short";
            break;
        }
        EXPECT_EQ(calls[i + 1].opcode, audioMasterAutomate);
        EXPECT_EQ(calls[i + 1].index, c.index);
        EXPECT_EQ(calls[i + 1].opt, p.get(c.index)) << c.index;
        EXPECT_EQ(calls[i + 2].opcode, audioMasterEndEdit);
        EXPECT_EQ(calls[i + 2].index, c.index);
        heard.edited.push_back(c.index);
        i += 2;
    }
    return heard;
}

std::vector<float> values(const Plugin& p)
{
    std::vector<float> v(kNumParameters);
    for (int i = 0; i < kNumParameters; ++i) v[size_t(i)] = p.get(i);
    return v;
}

}  // namespace

TEST(HostNotice, EachKindOfChangeTellsTheHostWhatItMoved)
{
    const fs::path folder = TestHome() / "host-notice";
    fs::create_directories(folder);
    Plugin p(48000.0, 64);
    float in[64] = {}, out0[64], out1[64];
    const auto block = [&] { p.run(in, in, out0, out1, 64); };

    // Files of other sounds: program 9 as a preset, a bank whose first
    // program is program 20, program 3's chunks.
    Plugin other(48000.0, 64);
    other.dispatch(effSetProgram, 0, 9);
    const fs::path preset = folder / "Nine.xml";
    ASSERT_TRUE(other.effect().exportPreset(preset.c_str(), "Nine"));
    StorePrograms(other.effect(), {{0, [&] {
                                        other.dispatch(effSetProgram, 0, 20);
                                        return other.effect().currentSound();
                                    }()}});
    const fs::path bank = folder / "Bank.xml";
    ASSERT_TRUE(other.effect().exportBank(bank.c_str()));
    other.dispatch(effSetProgram, 0, 3);
    const std::string bankChunk = chunkOf(other), presetChunk = chunkOf(other, true);

    // A controller learned for parameter 12 beforehand.
    p.effect().setMIDILearnControl(12);
    send(p, {midi(0xB0, 21, 5)});
    block();

    struct Change {
        const char* what;
        std::function<void()> make;
        Told told;
    };
    const Change changes[] = {
        {"host program", [&] { p.dispatch(effSetProgram, 0, 5); }, Told::reading},
        {"host bank chunk", [&] { setChunk(p, bankChunk); }, Told::reading},
        {"host preset chunk", [&] { setChunk(p, presetChunk, true); }, Told::reading},
        {"editor program", [&] { p.effect().loadProgram(7); }, Told::edits},
        {"editor program again", [&] { p.effect().loadProgram(7); }, Told::nothing},
        {"impulse file", [&] { p.effect().loadCabinetImpulse((kResources / "impulses" / "Open 1x12.wav").c_str()); },
         Told::witness},
        {"preamp file",
         [&] { p.effect().loadPreamp((kResources / "preamps" / "Clean" / "American Clean.xml").c_str()); },
         Told::witness},
        {"preset file", [&] { p.effect().importPreset(preset.c_str()); }, Told::edits},
        {"bank file", [&] { p.effect().loadBank(bank.c_str()); }, Told::edits},
        {"MIDI program change", [&] { send(p, {midi(0xC0, 40, 0)}), block(); }, Told::edits},
        {"learned controller", [&] { send(p, {midi(0xB0, 21, 100)}), block(); }, Told::edits},
        {"program renamed", [&] { p.effect().setWorkingProgramName("Mine"); }, Told::witness},
        {"program saved in another slot", [&] { p.effect().saveCurrentToBank("Mine", 90); }, Told::witness},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.what);
        block();
        const std::vector<float> before = values(p);
        Host::instance().clear();
        change.make();
        const Heard heard = hear(p, Host::instance().calls());
        const std::vector<float> after = values(p);
        std::vector<int> moved;
        for (int i = 0; i < kNumParameters; ++i)
            if (before[size_t(i)] != after[size_t(i)]) moved.push_back(i);
        switch (change.told) {
        case Told::nothing:
        case Told::reading:
            EXPECT_TRUE(heard.edited.empty());
            EXPECT_EQ(heard.displays, change.told == Told::reading ? 1 : 0);
            break;
        case Told::edits:
            ASSERT_FALSE(moved.empty());
            EXPECT_EQ(heard.edited, moved);
            EXPECT_EQ(heard.displays, 1);
            break;
        case Told::witness:
            EXPECT_TRUE(moved.empty());
            EXPECT_EQ(heard.edited, std::vector<int>{kWitnessParameter});
            EXPECT_EQ(heard.displays, 1);
            break;
        }
    }
    EXPECT_EQ(p.get(12), 100.0f / 127.0f);
    EXPECT_EQ(p.dispatch(effGetProgram), 90);
    EXPECT_EQ(p.text(effGetProgramName), "Mine");
}
