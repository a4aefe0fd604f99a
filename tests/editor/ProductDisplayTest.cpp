// What the product editor shows by itself: the More page with the meters
// and the tuner measured from audio run through the plug-in, the clip
// light, the pace of its updates, the MIDI-learn gesture end to end, and
// the notices the effect leaves from other threads.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "ProductTestSupport.h"
#include "editor/HighlightControls.h"
#include "editor/SkinViews.h"

using namespace producttest;
using namespace tonewright;
using std::chrono::milliseconds;

namespace {

// n seconds of a sine through the plug-in.
void play(Product& p, double freq, double amplitude, double seconds)
{
    const std::vector<double> x = testkit::sine(44100.0, freq, seconds, amplitude);
    std::vector<float> in(x.begin(), x.end());
    std::vector<float> left(in.size()), right(in.size());
    p.plugin.run(in.data(), nullptr, left.data(), right.data(), int(in.size()));
}

}  // namespace

TEST(ProductDisplay, TheMorePageShowsMetersTunerAndClipLightFromTheAudio)
{
    Product p;
    auto* e = p.editor;
    std::chrono::steady_clock::time_point now(std::chrono::seconds(10));
    e->setClock([&] { return now; });
    auto later = [&](int ms) {
        now += milliseconds(ms);
        p.idle();
    };
    // A click released elsewhere does nothing; over the button it shows the
    // page, which the audio thread then feeds.
    p.click(kGUIParamMoreButton, false);
    EXPECT_FALSE(e->isMoreScreenShown());
    p.click(kGUIParamMoreButton);
    ASSERT_TRUE(e->isMoreScreenShown());
    EXPECT_TRUE(p.effect.moreScreenVisible.load());
    EXPECT_EQ(p.view(kGUIMoreScreen)->getValue(), 1.0f);
    auto* version = dynamic_cast<CMyTextLabel*>(p.view(kGUIParamVersionNumber));
    ASSERT_NE(version, nullptr);
    EXPECT_STREQ(version->getText(), "1.5");
    EXPECT_EQ(version->getFontColor(), kBlackCColor);

    // A of 110 Hz at -4.4 dBFS: the note and a needle within 3 cents of the
    // middle (0.02 a cent), the input meter at its third light.
    play(p, 110.0, 0.6, 2.0);
    later(100);
    auto* key = dynamic_cast<CTextEdit*>(p.view(kGUITunerKeyDisplay));
    ASSERT_NE(key, nullptr);
    EXPECT_STREQ(key->getText(), "A");
    EXPECT_NEAR(p.view(kGUITunerDisplay)->getValue(), 0.5, 0.06);
    EXPECT_FLOAT_EQ(p.view(kGUIInputVU)->getValue(), 2.0f / 3.0f);
    EXPECT_GT(p.view(kGUIOutputVU)->getValue(), 0.0f);
    // At most every 50 ms.
    p.effect.inputLed = 1;
    later(10);
    EXPECT_FLOAT_EQ(p.view(kGUIInputVU)->getValue(), 2.0f / 3.0f);
    later(45);
    EXPECT_FLOAT_EQ(p.view(kGUIInputVU)->getValue(), 0.0f);

    // Driven over full scale, both clip lights; 0.1 s of quiet puts them out.
    p.plugin.set(30, 1.0f);
    play(p, 110.0, 4.0, 0.3);
    later(60);
    EXPECT_EQ(p.view(kGUIParamClipLight, 0)->getValue(), 1.0f);
    EXPECT_EQ(p.view(kGUIParamClipLight, 1)->getValue(), 1.0f);
    play(p, 110.0, 0.0, 0.5);
    later(60);
    EXPECT_EQ(p.view(kGUIParamClipLight, 0)->getValue(), 0.0f);

    // Hidden: the tuner and meters rest, the clip light goes on.
    p.click(kGUIMoreScreenCLOSE);
    EXPECT_FALSE(e->isMoreScreenShown());
    EXPECT_FALSE(p.effect.moreScreenVisible.load());
    EXPECT_EQ(p.view(kGUIMoreScreen)->getValue(), 0.0f);
    play(p, 330.0, 0.6, 1.0);
    later(60);
    EXPECT_STREQ(key->getText(), "A");
    play(p, 110.0, 4.0, 0.3);
    later(60);
    EXPECT_EQ(p.view(kGUIParamClipLight, 0)->getValue(), 1.0f);

    // Every open shows the page as it was left.
    p.click(kGUIParamMoreButton);
    e->close();
    e->open(nullptr);
    EXPECT_TRUE(e->isMoreScreenShown());
    EXPECT_EQ(p.view(kGUIMoreScreen)->getValue(), 1.0f);
    EXPECT_TRUE(p.effect.moreScreenVisible.load());
}

TEST(ProductDisplay, LearnArmsAParameterAControllerBindsItAndAnotherInstanceObeys)
{
    Product p;
    auto* e = p.editor;
    CControl* gain = p.view(5);
    auto* framed = dynamic_cast<CHighlightControl*>(gain);
    ASSERT_NE(framed, nullptr);
    const CRect& r = gain->getViewSize();
    CPoint at((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    const float before = p.plugin.get(5);
    gain->onMouseDown(at, kLButton | kShift | kAlt);
    EXPECT_EQ(p.plugin.get(5), before);  // the gesture is no turn of the knob
    EXPECT_EQ(e->getLearnTag(), 5);
    EXPECT_EQ(p.effect.midiLearnTarget.load(), 5);
    EXPECT_TRUE(framed->isLearning());
    EXPECT_EQ(framed->getLearningColor(), kMagentaCColor);

    // Controller 20 on the audio thread's call: bound, and the knob follows.
    send(p.plugin, {midi(0xB0, 20, 64)});
    EXPECT_EQ(p.effect.getMIDIMap(false)[20].load(), 5);
    EXPECT_FLOAT_EQ(p.plugin.get(5), 64.0f / 127.0f);
    EXPECT_TRUE(framed->isLearning());  // the frame goes in idle, not there
    p.idle();
    EXPECT_FALSE(framed->isLearning());
    EXPECT_EQ(e->getLearnTag(), -1);
    EXPECT_FLOAT_EQ(gain->getValue(), 64.0f / 127.0f);

    // The map is the machine's: another instance obeys controller 20.
    p.effect.waitForWorker();
    {
        harness::Plugin other;
        send(other, {midi(0xB0, 20, 127)});
        EXPECT_FLOAT_EQ(other.get(5), 1.0f);
    }
    // The gesture on the armed knob again unlearns it, for new instances too.
    gain->onMouseDown(at, kLButton | kShift | kAlt);
    gain->onMouseDown(at, kLButton | kShift | kAlt);
    EXPECT_EQ(e->getLearnTag(), -1);
    EXPECT_EQ(p.effect.getMIDIMap(false)[20].load(), -1);
    {
        harness::Plugin other;
        EXPECT_EQ(other.effect().getMIDIMap(false)[20].load(), -1);
    }
    // Only parameters are learned: the gesture elsewhere is used up and
    // arms nothing.
    EXPECT_EQ(e->controlModifierClicked(e->presetMenu, kShift | kAlt), 1);
    EXPECT_EQ(e->controlModifierClicked(e->presetMenu, kShift), 0);
    EXPECT_EQ(p.effect.midiLearnTarget.load(), -1);

    // Armed across a close: the reopened knob shows it, and a controller
    // binds it. Learned while closed: not armed when reopened.
    gain->onMouseDown(at, kLButton | kShift | kAlt);
    e->close();
    e->open(nullptr);
    gain = p.view(5);
    EXPECT_TRUE(dynamic_cast<CHighlightControl&>(*gain).isLearning());
    EXPECT_EQ(e->getLearnTag(), 5);
    e->close();
    send(p.plugin, {midi(0xB0, 21, 10)});
    e->open(nullptr);
    EXPECT_EQ(e->getLearnTag(), -1);
    EXPECT_FALSE(dynamic_cast<CHighlightControl&>(*p.view(5)).isLearning());
    EXPECT_EQ(p.effect.getMIDIMap(false)[21].load(), 5);
    p.effect.waitForWorker();
}

TEST(ProductDisplay, ChangesMadeOnOtherThreadsReachTheWindowInItsIdle)
{
    Product p;
    auto* e = p.editor;
    // A MIDI program change: made by the effect's worker, shown by idle.
    send(p.plugin, {midi(0xC0, 7, 0)});
    p.effect.waitForWorker();
    EXPECT_EQ(p.effect.getProgram(), 7);
    EXPECT_EQ(Product::caption(e->presetMenu), "001");
    p.idle();
    EXPECT_EQ(Product::caption(e->presetMenu), "008");
    EXPECT_EQ(std::string(e->nameEdit->getText()), p.programName(7));
    EXPECT_EQ(e->presetMenu->getCurrentIndex(), 7);

    // A state restored on another thread: names, captions and star follow.
    void* data = nullptr;
    const VstInt32 size = p.effect.getChunk(&data, false);
    std::string chunk(static_cast<const char*>(data), size_t(size));
    const size_t named = chunk.find("name=\"QS Factory.xml\"");
    ASSERT_NE(named, std::string::npos);
    chunk.replace(named, 21, "name=\"Live.xml\"");
    std::thread restore([&] { p.effect.setChunk(chunk.data(), VstInt32(chunk.size()), false); });
    restore.join();
    EXPECT_EQ(Product::caption(e->bankMenu), "QS Factory");
    p.idle();
    EXPECT_EQ(Product::caption(e->bankMenu), "Live*");  // no such file yet
}
