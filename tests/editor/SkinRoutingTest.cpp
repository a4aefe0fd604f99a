// Values between controls, editor and effect: setParameter reaches every
// view of a tag (from other threads through idle), control changes reach
// the host inside begin/end edit for parameters only, the point query, the
// frames' colours, and the product controls' mouse rules.

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "EditorTestSupport.h"
#include "PluginHarness.h"
#include "editor/EffectEditor.h"
#include "editor/HighlightControls.h"

using namespace tonewright::editortest;

namespace {

std::vector<std::string> hostEdits()
{
    std::vector<std::string> out;
    for (const auto& c : harness::Host::instance().calls()) {
        if (c.opcode == audioMasterBeginEdit)
            out.push_back("begin " + std::to_string(c.index));
        else if (c.opcode == audioMasterEndEdit)
            out.push_back("end " + std::to_string(c.index));
        else if (c.opcode == audioMasterAutomate)
            out.push_back("automate " + std::to_string(c.index) + " " + std::to_string(c.opt));
    }
    return out;
}

struct ProductEditor {
    harness::Plugin plugin;
    EffectEditor* editor = static_cast<EffectEditor*>(plugin.effect().getEditor());
    ProductEditor() { harness::StartFromDefaultSound(plugin), editor->open(nullptr); }
    CControl* view(long tag, int nth = 0)
    {
        int i = -1;
        for (int k = 0; k <= nth; ++k) i = editor->getViewByTag(tag, i);
        return i < 0 ? nullptr : editor->getView(i);
    }
};

const char* const kPanel = R"(<skin>
    <CMyAnimKnob x=10 y=10 width=20 height=20 tag=kParamGain subpixmaps=3 heightofoneimage=20/>
    <CParamDisplay x=40 y=10 width=20 height=20 tag=kParamGain/>
    <CMyAnimKnob x=40 y=10 width=20 height=20 tag=kParamGain subpixmaps=3 heightofoneimage=20/>
    <CMyAnimKnob x=50 y=15 width=20 height=20 tag=kParamMids subpixmaps=3 heightofoneimage=20/>
    <CGViewContainer x=100 y=100 width=100 height=100>
        <CMyAnimKnob x=10 y=10 width=20 height=20 tag=kParamTreb subpixmaps=3 heightofoneimage=20/>
        <Page x=0 y=50 width=100 height=50 tag=kGUIMoreScreen pagenum=1>
            <CMyAnimKnob x=0 y=0 width=20 height=20 tag=kParamPres subpixmaps=3 heightofoneimage=20/>
        </Page>
    </CGViewContainer>
    <CMyOnOffButton x=300 y=10 width=20 height=20 tag=kParamReverbBypass/>
    <CMyKickButton x=330 y=10 width=20 height=20 tag=kGUIParamMoreButton heightofoneimage=20/>
    <CMyVerticalSwitch x=360 y=10 width=20 height=30 tag=kParamPowerType subpixmaps=3 heightofoneimage=30 maxpositions=3/>
    <CMyAnimKnob x=400 y=10 width=20 height=20 tag=kGUIParamVersionNumber subpixmaps=3 heightofoneimage=20/>
    <CMyLink x=300 y=300 width=50 height=20 url="https://example.org/manual?a=1&amp;b=2"/>
</skin>)";

}  // namespace

TEST(SkinRouting, EveryViewOfATagFollowsSetParameterOnlyWhileOpen)
{
    TestSkin skin;
    skin.description(kPanel);
    ProductEditor p;
    EffectEditor& e = *p.editor;
    const int first = e.getViewByTag(5, -1);
    const int second = e.getViewByTag(5, first);
    // The display between them takes no tag.
    ASSERT_EQ(first, 0);
    EXPECT_EQ(second, 2);
    EXPECT_EQ(e.getViewByTag(5, second), -1);

    p.plugin.effect().setParameter(5, 0.3f);
    for (int i : {first, second}) EXPECT_FLOAT_EQ(e.getView(i)->getValue(), 0.3f) << i;
    // Untagged views (the link, the display's own -1 tag) never take a value.
    const float before = p.view(-1)->getValue();
    e.setParameter(-1, 0.9f);
    EXPECT_EQ(p.view(-1)->getValue(), before);

    // Closed: the effect stores, the editor nothing; opening shows the
    // effect's values. Three cycles list the same views.
    const int count = e.numberOfViews();
    for (int cycle = 0; cycle < 3; ++cycle) {
        e.close();
        EXPECT_EQ(e.numberOfViews(), 0);
        p.plugin.effect().setParameter(5, 0.1f * float(cycle + 5));
        p.plugin.effect().setParameter(118, 0.7f);
        ASSERT_TRUE(e.open(nullptr));
        EXPECT_EQ(e.numberOfViews(), count);
        EXPECT_FLOAT_EQ(p.view(5, 1)->getValue(), 0.1f * float(cycle + 5));
        EXPECT_FLOAT_EQ(p.view(118)->getValue(), 0.0f);
    }
}

TEST(SkinRouting, OtherThreadsLeaveValuesForIdle)
{
    TestSkin skin;
    skin.description(kPanel);
    ProductEditor p;
    std::thread automation([&] {
        p.plugin.set(5, 0.25f);
        p.plugin.effect().setParameter(118, 0.5f);
    });
    automation.join();
    EXPECT_FLOAT_EQ(p.plugin.get(5), 0.25f);
    EXPECT_NE(p.view(5)->getValue(), 0.25f);
    EXPECT_NE(p.view(118)->getValue(), 0.5f);
    p.editor->idle();
    EXPECT_FLOAT_EQ(p.view(5)->getValue(), 0.25f);
    EXPECT_FLOAT_EQ(p.view(5, 1)->getValue(), 0.25f);
    EXPECT_FLOAT_EQ(p.view(118)->getValue(), 0.5f);
}

TEST(SkinRouting, ParametersReachTheHostInsideAGestureAndEditorTagsStayLocal)
{
    TestSkin skin;
    skin.description(kPanel);
    ProductEditor p;
    harness::Host::instance().clear();

    // A change reported outside any gesture gets one.
    CControl* knob = p.view(5);
    knob->setValue(0.75f);
    p.editor->valueChanged(knob);
    EXPECT_EQ(hostEdits(), (std::vector<std::string>{"begin 5", "automate 5 0.750000", "end 5"}));
    EXPECT_FLOAT_EQ(p.plugin.get(5), 0.75f);
    EXPECT_FLOAT_EQ(p.view(5, 1)->getValue(), 0.75f);  // the other knob of the tag

    // A gesture of the control's own: one begin and end around its values.
    harness::Host::instance().clear();
    CPoint press(310, 20);
    p.view(74)->onMouseDown(press, kLButton);
    p.view(74)->onMouseUp(press, kLButton);
    EXPECT_EQ(hostEdits(), (std::vector<std::string>{"begin 74", "automate 74 1.000000", "end 74"}));

    // Editor tags: applied to every view of the tag and the effect, never
    // to the host. Untagged controls go nowhere.
    harness::Host::instance().clear();
    CControl* label = p.view(118);
    label->setValue(0.5f);
    p.editor->valueChanged(label);
    p.editor->valueChanged(p.view(-1, 1));
    EXPECT_TRUE(hostEdits().empty());
}

TEST(SkinRouting, PointQueryReportsTheTopmostParameterInParentCoordinatesOffHiddenPages)
{
    TestSkin skin;
    skin.description(kPanel);
    ProductEditor p;
    struct Case {
        long x, y, expected;
    } cases[] = {
        {15, 15, 6},      // the gain knob
        {45, 12, 6},      // display (untagged) under the second gain knob
        {55, 20, 9},      // mids lies over the gain knob: the later one wins
        {115, 115, 10},   // treble, inside the container at (100, 100)
        {15, 115, -7},    // nothing there: left alone
        {105, 155, -7},   // presence lies on the hidden page
        {405, 15, -7},    // an editor tag is never reported
        {335, 15, -7},
        {310, 310, -7},   // the link has no tag
    };
    for (const Case& c : cases) {
        long result = -7;
        p.editor->GetControlIndexFromPoint(c.x, c.y, &result);
        EXPECT_EQ(result, c.expected) << c.x << "," << c.y;
    }
    p.plugin.effect().setParameter(111, 1.0f);
    long result = -7;
    p.editor->GetControlIndexFromPoint(105, 155, &result);
    EXPECT_EQ(result, 11);
}

TEST(SkinRouting, FrameColoursWrapAroundAndReachEveryFramedViewOfTheTag)
{
    const struct {
        short code;
        CColor colour;
    } highlight[] = {{-1, kBlackCColor}, {0, kRedCColor},     {1, kBlueCColor},  {2, kGreenCColor},
                     {3, kYellowCColor}, {4, kBlackCColor},   {5, kRedCColor},   {-2, kYellowCColor},
                     {-6, kBlackCColor}, {32767, kGreenCColor}, {-32768, kGreenCColor}};
    for (const auto& h : highlight) EXPECT_EQ(SkinEditor::HighlightColor(h.code), h.colour) << h.code;
    EXPECT_EQ(SkinEditor::LearnColor(0), kCyanCColor);
    EXPECT_EQ(SkinEditor::LearnColor(1), kMagentaCColor);
    EXPECT_EQ(SkinEditor::LearnColor(3), kMagentaCColor);

    TestSkin skin;
    skin.description(kPanel);
    ProductEditor p;
    p.editor->SetControlHighlight(6, 1, 0);
    p.editor->SetControlLearning(5, 1, 1);
    for (int nth : {0, 1}) {
        auto* framed = dynamic_cast<CHighlightControl*>(p.view(5, nth));
        ASSERT_NE(framed, nullptr);
        EXPECT_TRUE(framed->isHighlighted());
        EXPECT_EQ(framed->getHighlightColor(), kRedCColor);
        EXPECT_TRUE(framed->isLearning());
        EXPECT_EQ(framed->getLearningColor(), kMagentaCColor);
    }
    auto* mids = dynamic_cast<CHighlightControl*>(p.view(8));
    ASSERT_NE(mids, nullptr);
    EXPECT_FALSE(mids->isHighlighted());
    p.editor->SetControlLearning(5, 0, 0);
    EXPECT_FALSE(dynamic_cast<CHighlightControl&>(*p.view(5)).isLearning());
}

TEST(SkinRouting, ButtonsGiveTheLearnGestureToTheEditorAndSwitchesMapTopToOne)
{
    TestSkin skin;
    skin.description(kPanel);
    ProductEditor p;
    CControl* button = p.view(74);
    CPoint at(310, 20);
    // Shift+Alt arms learning and leaves the button as it was.
    button->onMouseDown(at, kLButton | kShift | kAlt);
    EXPECT_EQ(button->getValue(), 0.0f);
    EXPECT_EQ(p.editor->getLearnTag(), 74);
    EXPECT_EQ(p.plugin.effect().midiLearnTarget(), 74);
    // Shift alone is an ordinary click.
    button->onMouseDown(at, kLButton | kShift);
    EXPECT_EQ(button->getValue(), 1.0f);
    // A right click alone is consumed.
    CControl* kick = p.view(93);
    CPoint kickAt(335, 15);
    EXPECT_EQ(kick->onMouseDown(kickAt, kRButton), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    EXPECT_EQ(kick->getValue(), 0.0f);
    // The learn gesture on the armed button again disarms it.
    button->onMouseDown(at, kLButton | kShift | kAlt);
    EXPECT_EQ(p.editor->getLearnTag(), -1);
    EXPECT_EQ(p.plugin.effect().midiLearnTarget(), -1);

    // Three positions over 30 pixels: the top third gives 1.
    CControl* sw = p.view(11);
    const struct {
        double y;
        float value;
    } places[] = {{10, 1.0f}, {19, 1.0f}, {20, 0.5f}, {29, 0.5f}, {30, 0.0f}, {39, 0.0f}, {2, 1.0f}, {80, 0.0f}};
    for (const auto& place : places) {
        CPoint down(365, place.y);
        sw->onMouseDown(down, kLButton);
        EXPECT_FLOAT_EQ(sw->getValue(), place.value) << place.y;
        sw->onMouseUp(down, kLButton);
    }
    CPoint drag(365, 25);
    sw->onMouseDown(drag, kLButton);
    drag.y = -50;
    sw->onMouseMoved(drag, kLButton);
    EXPECT_FLOAT_EQ(sw->getValue(), 1.0f);
    drag.y = 35;
    sw->onMouseMoved(drag, 0);  // no button: nothing changes
    EXPECT_FLOAT_EQ(sw->getValue(), 1.0f);
    sw->onMouseUp(drag, kLButton);
    EXPECT_FLOAT_EQ(p.plugin.get(11), 1.0f);
}

TEST(SkinRouting, LinksOpenOnlyWebAndMailAddressesThroughTheOpenerWithTheHandCursor)
{
    const struct {
        const char* address;
        bool openable;
    } addresses[] = {{"https://example.org/x?a=1&b=2", true}, {"HTTP://example.org", true},
                     {"mailto:someone@example.org", true}, {"file:///etc/passwd", false},
                     {"javascript:alert(1)", false},      {"-h", false},
                     {"https://example.org/a b", false},  {"https://example.org/\n", false},
                     {"", false}};
    for (const auto& a : addresses) EXPECT_EQ(IsOpenableAddress(a.address), a.openable) << a.address;

    // A stand-in for setsid on PATH records the argument vector it gets.
    const std::filesystem::path bin = harness::TestHome() / "fake-bin";
    std::filesystem::create_directories(bin);
    const std::filesystem::path log = bin / "argv";
    {
        std::ofstream script(bin / "setsid");
        script << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" << log.string() << "'\n";
    }
    std::filesystem::permissions(bin / "setsid", std::filesystem::perms::owner_all);
    const std::string oldPath = std::getenv("PATH");
    setenv("PATH", (bin.string() + ":" + oldPath).c_str(), 1);

    TestSkin skin;
    skin.description(kPanel);
    ProductEditor p;
    CControl* link = p.view(-1, 1);  // after the display
    ASSERT_TRUE(link->isTypeOf("CMyLink"));
    CPoint at(310, 310);
    EXPECT_EQ(link->onMouseDown(at, kLButton), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    std::string words;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) words += line + "\n";
    EXPECT_EQ(words, "--fork\nxdg-open\nhttps://example.org/manual?a=1&b=2\n");
    std::filesystem::remove(log);
    EXPECT_FALSE(OpenAddress("file:///etc/passwd"));
    EXPECT_FALSE(std::filesystem::exists(log));
    setenv("PATH", oldPath.c_str(), 1);

    link->onMouseEntered(at, 0);
    EXPECT_EQ(p.editor->getFrame()->getCursor(), kCursorHand);
    link->onMouseExited(at, 0);
    EXPECT_EQ(p.editor->getFrame()->getCursor(), kCursorDefault);
}
