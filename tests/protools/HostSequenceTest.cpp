// An instance driven as hostile hosts drive it: the Plugin Chunk written
// before the instance is initialised, control values and chunk in either
// order, the session rate changed between two blocks (announced, or seen
// first by the render thread), odd block sizes, a document saved right
// after the Effect changed on its own. What it renders is what the plain
// road renders (tonewright-pt-render's, which CommandTest holds to
// tonewright-host's bytes).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>

#include "ProToolsHarness.h"

namespace {

using namespace pttest;

class ProToolsHostSequences : public ::testing::Test {
protected:
    // With the factory bank in a support folder of the test's own, so that
    // program changes change the sound.
    void SetUp() override
    {
        const auto home = harness::TestHome();  // which sets the program's own folders first
        if (const char* data = std::getenv("XDG_DATA_HOME")) dataHome = data;
        ::setenv("XDG_DATA_HOME", (home / "pt-data").c_str(), 1);
        // A document: the chunk of an instance given controls and a MIDI
        // program change, and the control values it shows.
        auto saver = HostInstance(2, 44100.0, {"", 88, {{31, 0.1875}, {75, 1.0}}}, {});
        saver->setControl(31, 0.25);
        chunk.chunk = pthost::ChunkText(saver->save().chunks.at(0).second);
        document = chunk;
        for (int k = 1; k <= 80; ++k) document.controls.emplace_back(k, saver->control(k));
    }
    void TearDown() override { ::setenv("XDG_DATA_HOME", dataHome.c_str(), 1); }

    std::string dataHome;
    Sound chunk, document;
    const Sound settings{"", 103, {{31, 0.4}, {69, 1.0}, {75, 1.0}}};
};

TEST_F(ProToolsHostSequences, EachSequenceRendersWhatThePlainRoadRendersMonoAndStereo)
{
    const std::vector<int> odd{1, 3, 17, 511, 4097};
    const struct {
        const char* what;
        const Sound& sound;
        Sequence sequence;
        const Sound& expected;  // through the plain road
    } rows[] = {
        {"chunk before initialising", chunk, {.chunkBeforeInitialize = true}, chunk},
        {"a document's chunk, then its controls", document, {}, chunk},
        {"a document's controls, then its chunk", document, {.controlsBeforeChunk = true}, chunk},
        {"a document before initialising", document, {.chunkBeforeInitialize = true}, chunk},
        {"blocks of 1, 3, 17, 511 and 4097 frames", settings, {.blocks = odd}, settings},
        {"from 48 kHz to 44.1 kHz between blocks, seen first while rendering", settings,
         {.firstRate = 48000.0, .rateAnnounced = false}, settings},
        {"from 96 kHz, seen first while rendering, odd blocks, chunk before initialising", chunk,
         {.chunkBeforeInitialize = true, .firstRate = 96000.0, .rateAnnounced = false, .blocks = odd}, chunk},
    };
    for (int channels : {1, 2}) {
        const Signals in = {TestSignal(20000, 11), TestSignal(20000, 12)};
        for (const auto& r : rows) {
            SCOPED_TRACE(std::string(r.what) + (channels == 1 ? ", mono" : ", stereo"));
            // The plain road in the same blocks (the Effect's output depends
            // on them below 1e-16), its rate changed alike but announced.
            const Sequence plain{.firstRate = r.sequence.firstRate, .blocks = r.sequence.blocks};
            const Signals out = HostRender(channels, 44100.0, r.sound, r.sequence, in);
            EXPECT_EQ(out, HostRender(channels, 44100.0, r.expected, plain, in));
            EXPECT_GT(std::fabs(out[0][5000]), 1e-4f);
        }
    }
}

// What the Effect changes on its own just before the document is saved, a
// program chosen by MIDI (which the Effect carries out on its worker) or in
// the editor, or a learned controller moved by MIDI (neither automates), is
// in the chunk and in the control values: a second instance opens it with
// the same program, values and sound, whichever the host restores first.
// The controls show the values at the library's next idle or chunk call.
TEST_F(ProToolsHostSequences, WhatTheEffectChangesJustBeforeSavingIsInTheChunkAndTheControls)
{
    const Signals in = {TestSignal(20000, 13), TestSignal(20000, 14)};
    const struct {
        const char* what;
        std::function<void(pthost::Instance&)> change;
        int program, moved;  // the program then, and at least this many values moved
    } changes[] = {
        {"a MIDI program change", [](pthost::Instance& i) { i.sendMidi({0xC0, 70, 0}); }, 70, 6},
        {"the editor's program menu", [](pthost::Instance& i) { EffectOf(i).loadProgram(70); }, 70, 6},
        {"a learned controller", [](pthost::Instance& i) {
             EffectOf(i).setMIDILearnControl(30);
             i.sendMidi({0xB0, 21, 0});
             i.sendMidi({0xB0, 21, 127});  // 1: a value the chunk's text carries exactly
         }, 103, 1},
    };
    for (const auto& c : changes) {
        SCOPED_TRACE(c.what);
        auto saver = HostInstance(2, 44100.0, settings, {});
        Effect& fx = EffectOf(*saver);
        const pthost::Session before = saver->save();
        saver->process().ClearHostEvents();
        c.change(*saver);
        const pthost::Session saved = saver->save();
        EXPECT_EQ(fx.getProgram(), c.program);
        EXPECT_EQ(pthost::ChunkText(saved.chunks.at(0).second), EffectChunk(fx));
        int moved = 0;
        for (int k = 1; k <= 80; ++k) {
            EXPECT_NEAR(saver->control(k), fx.getParameter(k - 1), 1e-6) << k;
            moved += saved.controls[size_t(k - 1)] != before.controls[size_t(k - 1)];
        }
        EXPECT_GE(moved, c.moved);
        // The host heard each move (a controller moves its parameter each
        // time) as a hand on the control: touched, set, released.
        const auto events = saver->process().HostEvents();
        ASSERT_EQ(events.size() % 3, 0u);
        EXPECT_GE(events.size(), size_t(3 * moved));
        for (size_t e = 0; e < events.size(); e += 3) {
            using Kind = CEffectProcess::HostEvent::Kind;
            EXPECT_EQ(std::tuple(events[e].kind, events[e + 1].kind, events[e + 2].kind),
                      std::tuple(Kind::touched, Kind::automated, Kind::released));
            EXPECT_TRUE(events[e].index == events[e + 1].index && events[e + 1].index == events[e + 2].index);
        }

        const Signals expected = HostRender(2, 44100.0, {pthost::ChunkText(saved.chunks[0].second), -1, {}}, {}, in);
        for (bool chunksFirst : {true, false}) {
            auto opened = Make(2);
            ASSERT_EQ(opened->restore(saved, chunksFirst), kPlugInNoErr);
            EXPECT_EQ(EffectOf(*opened).getProgram(), c.program);
            EXPECT_EQ(opened->save().controls, saved.controls);
            EXPECT_EQ(Render(*opened, in), expected) << chunksFirst;
        }
        fx.updateMIDIMap(21, -1);
    }
}

}  // namespace
