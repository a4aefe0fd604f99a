// A panel of controls opened through the dispatcher in a host window and
// worked with real X input (xdotool): the values the listener and the host
// hear, in order, for drags, clicks, the wheel, modifier clicks, the option
// menu and the text edit.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "GuiHarness.h"
#include "gui/MenuPopup.h"

using namespace tonewright::guitest;

namespace {

enum Tag { kKnob = 0, kSwitch = 1, kOnOff = 2, kMenu = 3, kEdit = 4, kKick = 5, kTall = 6, kEditorTag = 20 };

// Asks for the hand cursor while the mouse is over it.
class HandView : public CView {
public:
    using CView::CView;
    CMouseEventResult onMouseEntered(CPoint&, const long&) override
    {
        getFrame()->setCursor(kCursorHand);
        return kMouseEventHandled;
    }
    CMouseEventResult onMouseExited(CPoint&, const long&) override
    {
        getFrame()->setCursor(kCursorDefault);
        return kMouseEventHandled;
    }
};

class Panel : public ::testing::Test {
protected:
    void SetUp() override
    {
        TONEWRIGHT_NEED_X();
        host = std::make_unique<HostWindow>(300, 200);
        effect = new RecordingEffect;
        editor = new RecordingEditor(effect, 300, 200, [this](CFrame* panel, RecordingEditor* listener) {
            knob = new CKnob(CRect(10, 10, 60, 60), listener, kKnob, nullptr, nullptr);
            knob->setValue(0.5f);
            panel->addView(knob);
            toggle = new CVerticalSwitch(CRect(70, 10, 90, 40), listener, kSwitch, 3, 30, 3, nullptr);
            panel->addView(toggle);
            onOff = new COnOffButton(CRect(100, 10, 130, 30), listener, kOnOff, nullptr);
            panel->addView(onOff);
            menu = new COptionMenu(CRect(140, 10, 240, 30), listener, kMenu);
            for (const char* title : {"Alpha", "Beta", "-", "Gamma"}) menu->addEntry(title);
            sub = new COptionMenu(CRect(140, 10, 240, 30), listener, kMenu);
            sub->addEntry("One");
            sub->addEntry("Two");
            menu->addEntry(sub, "More");
            sub->forget();
            menu->setValue(1);
            panel->addView(menu);
            edit = new CTextEdit(CRect(10, 80, 150, 100), listener, kEdit, "name");
            panel->addView(edit);
            kick = new CKickButton(CRect(160, 80, 190, 100), listener, kKick, nullptr);
            panel->addView(kick);
            // A meter lying over part of the kick button.
            panel->addView(new CVuMeter(CRect(160, 80, 175, 100), nullptr, nullptr, 10));
            movie = new CMovieButton(CRect(200, 80, 230, 100), listener, kEditorTag, nullptr);
            panel->addView(movie);
            panel->addView(new HandView(CRect(250, 150, 290, 190)));
            tall = new COptionMenu(CRect(10, 150, 100, 170), listener, kTall);
            for (int i = 0; i < 2000; ++i) tall->addEntry(("Entry " + std::to_string(i)).c_str());
            panel->addView(tall);
        });
        editor->setKnobMode(kLinearMode);
        AEffect* e = effect->getAeffect();
        ASSERT_EQ(e->dispatcher(e, effEditOpen, 0, 0, host->handle(), 0), 1);
        frame = editor->getFrame();
        ASSERT_TRUE(frame && frame->isOpen());
        settle(frame);
        xdotool("mousemove 295 195");
        settle(frame);
        editor->log.clear();
        hostCalls().clear();
    }

    void TearDown() override
    {
        if (!effect) return;
        AEffect* e = effect->getAeffect();
        e->dispatcher(e, effEditClose, 0, 0, nullptr, 0);
        e->dispatcher(e, effClose, 0, 0, nullptr, 0);
    }

    // Runs idle until the listener has heard `line`.
    bool until(const std::string& line)
    {
        return pump(frame, [&] { return std::find(editor->log.begin(), editor->log.end(), line) != editor->log.end(); });
    }
    void clear()
    {
        editor->log.clear();
        hostCalls().clear();
    }

    std::unique_ptr<HostWindow> host;
    RecordingEffect* effect = nullptr;
    RecordingEditor* editor = nullptr;
    CFrame* frame = nullptr;
    CKnob* knob = nullptr;
    CVerticalSwitch* toggle = nullptr;
    COnOffButton* onOff = nullptr;
    COptionMenu* menu = nullptr;
    COptionMenu* sub = nullptr;
    CTextEdit* edit = nullptr;
    CKickButton* kick = nullptr;
    CMovieButton* movie = nullptr;
    COptionMenu* tall = nullptr;
};

using Log = std::vector<std::string>;

}  // namespace

TEST_F(Panel, KnobDragsLinearlyShiftIsFinerWheelStepsControlClickRestoresTheDefault)
{
    // Up 25 pixels, then right 25: 50 of the 200 pixels of the range.
    xdotool("mousemove 35 35 mousedown 1 mousemove 35 10 mousemove 60 10 mouseup 1");
    ASSERT_TRUE(until("end 0"));
    EXPECT_FLOAT_EQ(knob->getValue(), 0.75f);
    EXPECT_EQ(editor->log.front(), "begin 0");
    EXPECT_EQ(editor->log.back(), "end 0");
    EXPECT_EQ(editor->log[editor->log.size() - 2], "value 0 0.7500");
    ASSERT_GE(hostCalls().size(), 3u);
    EXPECT_EQ(hostCalls().front(), "begin 0");
    EXPECT_EQ(hostCalls()[hostCalls().size() - 2], "automate 0 0.7500");
    EXPECT_EQ(hostCalls().back(), "end 0");

    // With Shift ten times finer; the listener is asked about the modifier first.
    clear();
    xdotool("mousemove 35 35 keydown shift mousedown 1 mousemove 35 15 mouseup 1 keyup shift");
    ASSERT_TRUE(until("end 0"));
    EXPECT_NEAR(knob->getValue(), 0.76f, 1e-6f);
    EXPECT_EQ(editor->log.front(), "modifier 0");
    EXPECT_TRUE(editor->lastModifierButtons & kShift);
    EXPECT_TRUE(editor->lastModifierButtons & kLButton);

    clear();
    xdotool("click 4");
    ASSERT_TRUE(until("end 0"));
    EXPECT_NEAR(knob->getValue(), 0.86f, 1e-6f);
    EXPECT_EQ(editor->log, (Log{"begin 0", "value 0 0.8600", "end 0"}));

    clear();
    xdotool("keydown ctrl click 1 keyup ctrl");
    ASSERT_TRUE(until("end 0"));
    EXPECT_FLOAT_EQ(knob->getValue(), 0.5f);
    EXPECT_EQ(editor->log, (Log{"modifier 0", "begin 0", "value 0 0.5000", "end 0"}));
}

TEST_F(Panel, SwitchButtonsAndKickReportValuesBetweenBeginAndEndAndOnlyParametersReachTheHost)
{
    // Three positions in 30 pixels: 25 below the top is the third.
    xdotool("mousemove 80 35 mousedown 1");
    ASSERT_TRUE(until("value 1 1.0000"));
    xdotool("mousemove 80 25");
    ASSERT_TRUE(until("value 1 0.5000"));
    xdotool("mousemove 80 0 mouseup 1");
    ASSERT_TRUE(until("end 1"));
    EXPECT_EQ(editor->log, (Log{"begin 1", "value 1 1.0000", "value 1 0.5000", "value 1 0.0000", "end 1"}));
    EXPECT_EQ(hostCalls().front(), "begin 1");
    EXPECT_EQ(hostCalls().back(), "end 1");

    clear();
    xdotool("mousemove 115 20 click 1");
    ASSERT_TRUE(until("end 2"));
    EXPECT_EQ(editor->log, (Log{"begin 2", "value 2 1.0000", "end 2"}));
    EXPECT_FLOAT_EQ(onOff->getValue(), 1.0f);

    // Through the meter lying over it: max on a release over the button, then min.
    clear();
    xdotool("mousemove 165 90 click 1");
    ASSERT_TRUE(until("end 5"));
    EXPECT_EQ(editor->log, (Log{"begin 5", "value 5 1.0000", "value 5 0.0000", "end 5"}));
    // Released elsewhere: only min.
    clear();
    xdotool("mousemove 180 90 mousedown 1 mousemove 180 120 mouseup 1");
    ASSERT_TRUE(until("end 5"));
    EXPECT_EQ(editor->log, (Log{"begin 5", "value 5 0.0000", "end 5"}));

    // An editor tag: the listener hears the gesture, the host no begin or end.
    clear();
    xdotool("mousemove 215 90 click 1");
    ASSERT_TRUE(until("end 20"));
    EXPECT_EQ(editor->log, (Log{"begin 20", "value 20 1.0000", "end 20"}));
    EXPECT_EQ(hostCalls(), (Log{"automate 20 1.0000"}));
}

TEST_F(Panel, ModifierClicksReachTheListenerWhichMayTakeThem)
{
    editor->answerModifierClicks = 1;
    xdotool("mousemove 115 20 keydown shift keydown alt click 1 keyup alt keyup shift");
    ASSERT_TRUE(until("modifier 2"));
    EXPECT_EQ(editor->lastModifierButtons & (kShift | kAlt | kControl | kLButton), kShift | kAlt | kLButton);
    EXPECT_FLOAT_EQ(onOff->getValue(), 0.0f);
    EXPECT_EQ(editor->log, (Log{"modifier 2"}));
    EXPECT_TRUE(hostCalls().empty());

    clear();
    xdotool("mousemove 80 35 keydown ctrl click 1 keyup ctrl");
    ASSERT_TRUE(until("modifier 1"));
    EXPECT_EQ(editor->lastModifierButtons & (kShift | kAlt | kControl), kControl);
    EXPECT_FLOAT_EQ(toggle->getValue(), 0.0f);

    // Answered 0, the click works as a plain one.
    editor->answerModifierClicks = 0;
    clear();
    xdotool("mousemove 115 20 keydown shift click 1 keyup shift");
    ASSERT_TRUE(until("end 2"));
    EXPECT_EQ(editor->log, (Log{"modifier 2", "begin 2", "value 2 1.0000", "end 2"}));
}

TEST_F(Panel, OptionMenuPopsUpAndChoosesByMouseOrKeysIncludingSubMenus)
{
    const size_t windows = children(DefaultRootWindow(testDisplay())).size();
    xdotool("mousemove 190 20 click 1");
    ASSERT_TRUE(pump(frame, [&] { return frame->isMenuOpen(); }));
    EXPECT_EQ(children(DefaultRootWindow(testDisplay())).size(), windows + 1);
    // The menu lies below the control: rows of 18 pixels from 2 below its top.
    xdotool("mousemove 170 " + std::to_string(30 + 2 + 3 * 18 + 9) + " click 1");
    ASSERT_TRUE(until("end 3"));
    EXPECT_EQ(editor->log, (Log{"begin 3", "value 3 3.0000", "end 3"}));
    EXPECT_FALSE(frame->isMenuOpen());
    EXPECT_EQ(children(DefaultRootWindow(testDisplay())).size(), windows);
    char title[256];
    EXPECT_EQ(menu->getCurrent(title), 3);
    EXPECT_STREQ(title, "Gamma");

    // Escape, or a click elsewhere, closes without a choice.
    clear();
    xdotool("mousemove 190 20 click 1");
    ASSERT_TRUE(pump(frame, [&] { return frame->isMenuOpen(); }));
    xdotool("key Escape");
    ASSERT_TRUE(pump(frame, [&] { return !frame->isMenuOpen(); }));
    xdotool("mousemove 190 20 click 1");
    ASSERT_TRUE(pump(frame, [&] { return frame->isMenuOpen(); }));
    xdotool("mousemove 20 180 click 1");
    ASSERT_TRUE(pump(frame, [&] { return !frame->isMenuOpen(); }));
    EXPECT_TRUE(editor->log.empty());

    // Keys: from Gamma down to More, into its sub-menu, down to Two.
    xdotool("mousemove 190 20 click 1");
    ASSERT_TRUE(pump(frame, [&] { return frame->isMenuOpen(); }));
    xdotool("key Down Right Down Return");
    ASSERT_TRUE(until("end 3"));
    EXPECT_EQ(editor->log, (Log{"begin 3", "value 3 1.0000", "end 3"}));
    long index = -1;
    EXPECT_EQ(menu->getLastItemMenu(index), sub);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(sub->getCurrentIndex(), 1);
    EXPECT_EQ(menu->getCurrentIndex(), 3);
}

TEST_F(Panel, AMenuTallerThanTheScreenScrollsBesideItsControlAndItsKeysReachBothEnds)
{
    tall->setValue(1200);
    xdotool("mousemove 50 160 click 1");
    ASSERT_TRUE(pump(frame, [&] { return frame->isMenuOpen(); }));
    const auto level = [&] { return frame->getMenuPopup()->describe().front(); };
    // Below its control (the room there is larger), within the screen, its current entry lit and in view.
    const CMenuPopup::LevelInfo first = level();
    Display* d = testDisplay();
    EXPECT_TRUE(first.scrolls && first.y == 170 && first.y + first.height <= DisplayHeight(d, DefaultScreen(d)));
    EXPECT_LE(first.width, DisplayWidth(d, DefaultScreen(d)) / 2);
    EXPECT_EQ(first.highlighted, 1200);
    EXPECT_TRUE(first.first <= 1200 && 1200 < first.first + first.visible);
    const auto lit = [&](long row) { return pump(frame, [&] { return level().highlighted == row; }); };
    EXPECT_TRUE(xdotool("key Home") && lit(0));
    EXPECT_EQ(level().first, 0);
    EXPECT_TRUE(xdotool("key Next Next") && lit(2 * (first.visible - 1)));
    EXPECT_TRUE(xdotool("key Prior") && lit(first.visible - 1));
    EXPECT_TRUE(xdotool("key End") && lit(1999));
    EXPECT_EQ(level().first, 2000 - first.visible);
    // The wheel scrolls without choosing (the pointer lights the row it is over); Return chooses the entry lit.
    xdotool("mousemove 50 300 click --repeat 10 4");
    EXPECT_TRUE(pump(frame, [&] { return level().first == 2000 - first.visible - 30; }));
    EXPECT_TRUE(editor->log.empty());
    const long chosen = level().highlighted;
    EXPECT_LT(chosen, 1999);
    xdotool("key Return");
    ASSERT_TRUE(until("end 6"));
    EXPECT_EQ(tall->getCurrentIndex(), chosen);
}

TEST_F(Panel, TextEditTakesTheKeysEnterKeepsTheTextEscapeRestoresIt)
{
    xdotool("mousemove 50 90 click 1");
    ASSERT_TRUE(pump(frame, [&] { return edit->isEditingText(); }));
    EXPECT_EQ(frame->getFocusView(), edit);
    xdotool("type --delay 5 abc");
    xdotool("key BackSpace Return");
    ASSERT_TRUE(until("end 4"));
    EXPECT_STREQ(edit->getText(), "nameab");
    EXPECT_FALSE(edit->isEditingText());
    EXPECT_EQ(editor->log, (Log{"begin 4", "value 4 0.0000", "end 4"}));

    clear();
    xdotool("mousemove 50 90 click 1");
    ASSERT_TRUE(pump(frame, [&] { return edit->isEditingText(); }));
    xdotool("type --delay 5 zz");
    xdotool("key Escape");
    ASSERT_TRUE(pump(frame, [&] { return !edit->isEditingText(); }));
    EXPECT_STREQ(edit->getText(), "nameab");
    EXPECT_TRUE(editor->log.empty());

    // A click elsewhere keeps the edit.
    xdotool("mousemove 50 90 click 1");
    ASSERT_TRUE(pump(frame, [&] { return edit->isEditingText(); }));
    xdotool("type --delay 5 Q");
    xdotool("key Home Delete");
    xdotool("mousemove 280 120 click 1");
    ASSERT_TRUE(until("end 4"));
    EXPECT_STREQ(edit->getText(), "ameabQ");
}

TEST_F(Panel, HandCursorWhileOverAViewThatAsksForIt)
{
    EXPECT_EQ(frame->getCursor(), kCursorDefault);
    xdotool("mousemove 260 160");
    ASSERT_TRUE(pump(frame, [&] { return frame->getCursor() == kCursorHand; }));
    xdotool("mousemove 200 160");
    ASSERT_TRUE(pump(frame, [&] { return frame->getCursor() == kCursorDefault; }));
}
