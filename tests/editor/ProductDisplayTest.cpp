// What the product editor shows by itself: the More page fed by audio run through the plug-in, the MIDI-learn
// gesture end to end, and the notices the effect leaves from other threads.

#include <gtest/gtest.h>

#include <thread>

#include "ProductTestSupport.h"
#include "editor/HighlightControls.h"
#include "editor/SkinViews.h"

using namespace producttest;
using namespace tonewright;
using Flags = std::vector<long>;

TEST(ProductDisplay, TheMorePageShowsMetersTunerAndClipLightFromTheAudio)
{
    Product p;
    auto* e = p.editor;
    std::chrono::steady_clock::time_point now(std::chrono::seconds(10));
    e->setClock([&] { return now; });
    auto later = [&](int ms) { now += std::chrono::milliseconds(ms), p.idle(); };
    auto value = [&](long tag, int nth = 0) { return p.view(tag, nth)->getValue(); };
    auto shown = [&] { return Flags{e->isMoreScreenShown(), p.effect.metersShown(), value(kGUIMoreScreen) == 1.0f}; };
    // A click released away does nothing; over the button it shows the page, which the audio thread then feeds.
    p.click(kGUIParamMoreButton, false);
    EXPECT_EQ(shown(), Flags(3, 0));
    p.click(kGUIParamMoreButton);
    ASSERT_EQ(shown(), Flags(3, 1));
    auto note = [&] { return std::string(dynamic_cast<CTextEdit&>(*p.view(kGUITunerKeyDisplay)).getText()); };
    // A at -4.4 dBFS (the screenshots' sine): the note, the input meter at its third light; updates 50 ms apart.
    p.play(110.0, 0.6, 2.0), later(100);
    EXPECT_EQ(note(), "A");
    for (int k = 0; k < 6; ++k) p.play(110.0, 0.0, 0.2);  // silence: the input meter falls back to its first light
    for (const auto& [ms, input] : {std::pair{0, 2.0f / 3.0f}, {10, 2.0f / 3.0f}, {45, 0.0f}}) {
        later(ms);
        EXPECT_FLOAT_EQ(value(kGUIInputVU), input) << ms;
    }
    // Over full scale both clip lights, quiet puts them out; hidden, the tuner rests and the main panel's light goes on.
    p.plugin.set(30, 1.0f);
    for (const auto& [freq, amplitude, lit, more] :
         {std::tuple{110.0, 4.0, 1.0f, true}, {110.0, 0.0, 0.0f, true}, {330.0, 4.0, 1.0f, false}}) {
        if (!more) p.click(kGUIMoreScreenCLOSE);
        p.play(freq, amplitude, 1.0);
        later(60);
        EXPECT_EQ(value(kGUIParamClipLight, 0), lit) << amplitude << more;
        EXPECT_EQ(more ? value(kGUIParamClipLight, 1) : lit, lit) << amplitude;
    }
    EXPECT_EQ(shown(), Flags(3, 0));
    EXPECT_EQ(note(), "A");
    // Every open shows the page as it was left.
    p.click(kGUIParamMoreButton), e->close(), e->open(nullptr);
    EXPECT_EQ(shown(), Flags(3, 1));
}

TEST(ProductDisplay, LearnArmsAParameterAControllerBindsItAndAnotherInstanceObeys)
{
    Product p;
    auto* e = p.editor;
    auto gesture = [&] { p.click(5, true, kLButton | kShift | kAlt); };
    // The armed tag for the window and the effect, the knob's frame, what CC 20 and 21 are bound to.
    auto learn = [&] {
        return Flags{e->getLearnTag(), p.effect.midiLearnTarget(), dynamic_cast<CHighlightControl&>(*p.view(5)).isLearning(),
                     p.effect.getMIDIMap(false)[20].load(), p.effect.getMIDIMap(false)[21].load()};
    };
    const float before = p.plugin.get(5);
    gesture();
    EXPECT_EQ(p.plugin.get(5), before);  // the gesture is no turn of the knob
    EXPECT_EQ(learn(), Flags({5, 5, 1, -1, -1}));
    // Controller 20 on the audio thread's call: bound, the knob follows, the frame goes in idle (not there).
    send(p.plugin, {midi(0xB0, 20, 64)});
    EXPECT_FLOAT_EQ(p.plugin.get(5), 64.0f / 127.0f);
    EXPECT_EQ(learn(), Flags({5, -1, 1, 5, -1}));
    p.idle();
    EXPECT_EQ(learn(), Flags({-1, -1, 0, 5, -1}));
    EXPECT_FLOAT_EQ(p.view(5)->getValue(), 64.0f / 127.0f);
    // The map is the machine's: another instance obeys; the gesture on the armed knob unlearns, for new instances too.
    p.effect.waitForWorker();
    harness::Plugin other;
    send(other, {midi(0xB0, 20, 127)});
    EXPECT_FLOAT_EQ(other.get(5), 1.0f);
    gesture(), gesture();
    EXPECT_EQ(learn(), Flags({-1, -1, 0, -1, -1}));
    EXPECT_EQ(harness::Plugin().effect().getMIDIMap(false)[20].load(), -1);
    // Only parameters are learned: the gesture elsewhere is used up and arms nothing.
    EXPECT_EQ(e->controlModifierClicked(e->presetMenu, kShift | kAlt), 1);
    EXPECT_EQ(e->controlModifierClicked(e->presetMenu, kShift), 0);
    EXPECT_EQ(learn(), Flags({-1, -1, 0, -1, -1}));
    // Armed across a close: the reopened knob shows it. Learned while closed: bound, not armed when reopened.
    gesture(), e->close(), e->open(nullptr);
    EXPECT_EQ(learn(), Flags({5, 5, 1, -1, -1}));
    e->close(), send(p.plugin, {midi(0xB0, 21, 10)}), e->open(nullptr);
    EXPECT_EQ(learn(), Flags({-1, -1, 0, -1, 5}));
    p.effect.waitForWorker();
}

TEST(ProductDisplay, ChangesMadeOnOtherThreadsReachTheWindowInItsIdle)
{
    Product p;
    auto* e = p.editor;
    // A MIDI program change, made by the effect's worker, shown by idle.
    send(p.plugin, {midi(0xC0, 7, 0)}), p.effect.waitForWorker();
    EXPECT_EQ(std::to_string(p.effect.getProgram()) + Product::caption(e->presetMenu), "7001");
    p.idle();
    EXPECT_EQ(Product::caption(e->presetMenu) + p.name() + std::to_string(e->presetMenu->getCurrentIndex()),
              "008" + p.programName(7) + "7");
    // A state restored on another thread: the bank's caption and star follow.
    void* data = nullptr;
    const VstInt32 size = p.effect.getChunk(&data, false);
    std::string chunk(static_cast<const char*>(data), size_t(size));
    chunk.replace(chunk.find("name=\"QS Factory.xml\""), 21, "name=\"Live.xml\"");
    std::thread([&] { p.effect.setChunk(chunk.data(), VstInt32(chunk.size()), false); }).join();
    EXPECT_EQ(Product::caption(e->bankMenu), "QS Factory");
    p.idle();
    EXPECT_EQ(Product::caption(e->bankMenu), "Live*");  // no such file yet
}
