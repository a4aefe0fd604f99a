// The unit driven as hostile hosts drive it: the state restored before the
// unit is initialised, parameter values and state in either order, a rate
// change between two slices, odd and changing slice sizes, a preset or a
// MIDI program change just before the state is saved. What it renders is
// what the plug-in's VST entry renders with the same settings.

#include <cmath>

#include "AUHarness.h"

using namespace au_test;

namespace {

class AUHostSequences : public RealUnitTest {
protected:
    void SetUp() override
    {
        RealUnitTest::SetUp();
        // A document: the state of a unit given a preset and a value, and
        // the 80 values it shows.
        auto saver = OpenUnit();
        ASSERT_FALSE(saver->setFormat(44100.0, 2) || saver->setMaxFrames(512) || saver->initialize() ||
                     saver->selectPreset(88) || saver->setParameter(30, 0.1875f) || saver->saveChunk(state.state));
        document = state;
        for (AudioUnitParameterID i = 0; i < 80; ++i) document.values.emplace_back(i, saver->parameter(i));
    }
    Sound state, document;
    const Sound settings{{}, 103, {{30, 0.4f}, {68, 1.0f}, {74, 1.0f}}};
};

}  // namespace

TEST_F(AUHostSequences, EachSequenceRendersWhatTheVstEntryRendersWithTheSameSettingsMonoAndStereo)
{
    const std::vector<int> odd{1, 3, 17, 511, 4097};
    const struct {
        const char* what;
        const Sound& sound;
        Sequence sequence;
        const Sound& expected;  // what the VST entry is given
    } rows[] = {
        {"the plain road", settings, {}, settings},
        {"state before initialising", state, {.stateBeforeInitialize = true}, state},
        {"a document's state, then its values", document, {}, state},
        {"a document's values, then its state", document, {.valuesBeforeState = true}, state},
        {"a document before initialising, never reset", document,
         {.stateBeforeInitialize = true, .valuesBeforeState = true, .reset = false}, state},
        {"slices of 1, 3, 17, 511 and 4097 frames", settings, {.slices = odd}, settings},
        {"a slice size drawn for every call", state, {.slices = {0}}, state},
        {"from 48 kHz to 44.1 kHz between two slices", settings, {.firstRate = 48000.0}, settings},
        {"from 96 kHz, odd slices, state before initialising", state,
         {.stateBeforeInitialize = true, .firstRate = 96000.0, .slices = odd}, state},
    };
    for (int channels : {1, 2}) {
        const AudioClip in = TestClip(44100.0, channels, 20000);
        for (const auto& r : rows) {
            SCOPED_TRACE(std::string(r.what) + (channels == 1 ? ", mono" : ", stereo"));
            const AudioClip unit = HostRender(r.sound, r.sequence, in);
            EXPECT_EQ(unit.samples, VstRender(r.expected, r.sequence, in).samples);
            EXPECT_GT(std::fabs(unit.samples[0][5000]), 1e-4);
        }
    }
}

// A program chosen just before the state is saved, as a preset or by MIDI
// (which the plug-in carries out on its worker), is in the state: another
// unit restores the same state, and it sounds as the VST entry does with
// that program.
TEST_F(AUHostSequences, AProgramChosenJustBeforeSavingIsInTheSavedState)
{
    const AudioClip in = TestClip(44100.0, 2, 20000);
    for (bool midi : {false, true}) {
        SCOPED_TRACE(midi ? "MIDI program change" : "factory preset");
        Sound saved;
        {
            auto unit = HostUnit(44100.0, 2, settings, {});
            ASSERT_EQ(midi ? unit->midi(0xC0, 70, 0) : unit->selectPreset(70), noErr);
            ASSERT_EQ(unit->saveChunk(saved.state), noErr);
            auto& fx = static_cast<tonewright::Effect&>(EffectOf(unit->unit()));
            fx.waitForWorker();
            ASSERT_EQ(fx.getProgram(), 70);
            std::vector<char> settled;
            ASSERT_EQ(unit->saveChunk(settled), noErr);
            EXPECT_TRUE(saved.state == settled);
        }
        const AudioClip restored = HostRender(saved, {}, in);
        EXPECT_EQ(restored.samples, VstRender(saved, {}, in).samples);
        EXPECT_EQ(restored.samples, VstRender(Sound{{}, 70, {}}, {}, in).samples);
    }
}

// The sound a unit is given before its first block plays from the first
// sample, as in an engine rebuilt at a new rate: the same settings render
// the same after a rate change as in a new unit.
TEST_F(AUHostSequences, AUnitRebuiltAtANewRateRendersAsAUnitMadeAtThatRate)
{
    const AudioClip in = TestClip(44100.0, 2, 20000);
    EXPECT_EQ(HostRender(settings, {.firstRate = 48000.0}, in).samples, VstRender(settings, {}, in).samples);
}
