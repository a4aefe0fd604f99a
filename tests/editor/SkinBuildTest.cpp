// Building the window from a skin: every element type makes its class with
// its tag, attribute spellings, nesting, pages, bitmaps shared through the
// process's cache, and what a missing or broken skin gives. No X server is
// needed: frames without a host window build and route values alike.

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <memory>

#include "EditorTestSupport.h"
#include "PluginHarness.h"
#include "editor/EffectEditor.h"
#include "editor/HighlightControls.h"
#include "editor/SkinViews.h"

using namespace tonewright::editortest;

namespace {

struct Opened {
    std::unique_ptr<guitest::RecordingEffect> effect = std::make_unique<guitest::RecordingEffect>();
    SkinEditor* editor = new SkinEditor(effect.get(), 579, 375);  // owned by the effect
    explicit Opened(const char* skin = "ui") { editor->open(nullptr, skin); }
};

}  // namespace

TEST(SkinBuild, EveryElementTypeMakesItsClassWithItsTag)
{
    TestSkin skin;
    struct Row {
        const char* element;
        const char* cls;
        long tag;
    };
    // The stock types, then the product's; the views without a tag of
    // their own keep -1 whatever the skin says.
    const Row rows[] = {
        {"COnOffButton", "COnOffButton", 5},     {"CParamDisplay", "CParamDisplay", -1},
        {"CTextLabel", "CTextLabel", -1},        {"CTextEdit", "CTextEdit", 5},
        {"COptionMenu", "COptionMenu", 5},       {"CKnob", "CKnob", 5},
        {"CAnimKnob", "CAnimKnob", 5},           {"CAnimKnob2", "CAnimKnob", 5},
        {"CVerticalSwitch", "CVerticalSwitch", 5}, {"CVerticalSwitch2", "CVerticalSwitch", 5},
        {"CHorizontalSwitch", "CHorizontalSwitch", 5}, {"CHorizontalSwitch2", "CHorizontalSwitch", 5},
        {"CRockerSwitch", "CRockerSwitch", 5},   {"CRockerSwitch2", "CRockerSwitch", 5},
        {"CMovieBitmap", "CMovieBitmap", 5},     {"CMovieBitmap2", "CMovieBitmap", 5},
        {"CMovieButton", "CMovieButton", 5},     {"CMovieButton2", "CMovieButton", 5},
        {"CAutoAnimation", "CAutoAnimation", 5}, {"CAutoAnimation2", "CAutoAnimation", 5},
        {"CSlider", "CSlider", 5},               {"CSlider2", "CSlider", 5},
        {"CVerticalSlider", "CVerticalSlider", 5}, {"CVerticalSlider2", "CVerticalSlider", 5},
        {"CHorizontalSlider", "CHorizontalSlider", 5}, {"CHorizontalSlider2", "CHorizontalSlider", 5},
        {"CKickButton", "CKickButton", 5},       {"CKickButton2", "CKickButton", 5},
        {"CSplashScreen", "CSplashScreen", 5},   {"CVuMeter", "CVuMeter", -1},
        {"CMyKickButton", "CMyKickButton", 5},   {"PageTurn", "nPageSelect", 5},
        {"CFlashButton", "CFlashButton", 5},     {"CMyVerticalSwitch", "CMyVerticalSwitch", 5},
        {"CMyOnOffButton", "CMyOnOffButton", 5}, {"CMyVU", "CMyVU", 5},
        {"CMyAnimKnob", "CMyAnimKnob", 5},       {"CMyMovieButton", "CMyMovieButton", 5},
        {"CMyMoviePic", "CMyMoviePic", 5},       {"CMyHorizontalSlider", "CMyHorizontalSlider", 5},
        {"CMyVerticalSlider", "CMyVerticalSlider", 5}, {"CMyHorizontalSwitch", "CMyHorizontalSwitch", 5},
        {"CMyLink", "CMyLink", -1},              {"CMyTextLabel", "CMyTextLabel", 5},
        {"CRedTextEdit", "CTextEdit", 5},
    };
    std::string xml = "<skin>";
    std::vector<std::string> expected;
    for (const Row& r : rows) {
        xml += std::string("<") + r.element + " x=1 y=2 width=30 height=20 tag=kParamGain maxpositions=2/>";
        expected.push_back(std::string(r.cls) + " " + std::to_string(r.tag));
    }
    // Unknown names make nothing; containers and groups are not controls.
    xml += "<NoSuchThing x=1 tag=kParamGain/><Group/><CGViewContainer/></skin>";
    skin.description(xml);

    // The product's types come from the product editor.
    harness::Plugin plugin;
    auto* product = static_cast<EffectEditor*>(plugin.effect().getEditor());
    ASSERT_TRUE(product->open(nullptr));
    std::vector<std::string> withGroup = expected;
    withGroup.push_back("iControlWrapper -1");  // the Group, a page listed through its wrapper
    EXPECT_EQ(listed(*product), withGroup);
    product->close();

    // The skin editor alone knows the stock types only.
    Opened o;
    const std::vector<std::string> stock(expected.begin(), expected.begin() + 30);
    EXPECT_EQ(listed(*o.editor), stock);
}

TEST(SkinBuild, AttributesReadQuotedOrBareInAnyCaseAndNumbersInTheCLocale)
{
    TestSkin skin;
    // The same knob four ways; a float page number under a decimal-comma
    // locale where one is installed.
    skin.description(R"(<skin>
        <CKnob x="5" y="6" width="30" height="40" tag="kParamGain"/>
        <ckNOB X=5 Y=6 WIDTH=30 HEIGHT=40 TAG=kParamGain/>
        <CKnob x = 5 y= '6' width =30 height=40 tag=kParamGain />
        <CKnob x=5 y=6 width=30 height=40 tag=kParamGain></CKnob>
        <CKnob x=5 tag=5/>
        <CKnob x=5 tag=kparamgain/>
        <!-- <CKnob x=99 tag=kParamGain/> -->
        <CSplashScreen dleft=30 dright=10 dtop=8 dbottom=4 tag=kParamGain/>
        <CGViewContainer hide=true/><CGViewContainer hide=TRUE/><CGViewContainer hide=1/>
        <CGViewContainer hide=false/><CGViewContainer hide=0/><CGViewContainer hide=maybe/><CGViewContainer/>
    </skin>)");
    const bool comma = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    Opened o;
    pugi::xml_document doc;
    ParseSkin("<a v=1.5 w='+2.25e1x' n=-7px big=99999999999 b=\"2\"/>", doc);
    const SkinAttributes numbers(doc.first_child());
    EXPECT_FLOAT_EQ(numbers.GetTagAsFloat("V"), 1.5f);
    EXPECT_FLOAT_EQ(numbers.GetTagAsFloat("w"), 22.5f);
    EXPECT_EQ(numbers.GetTagAsInt("n"), -7);
    EXPECT_EQ(numbers.GetTagAsInt("big"), 2147483647);
    EXPECT_TRUE(numbers.GetTagAsBool("b"));
    EXPECT_EQ(numbers.GetTagAsString("missing"), nullptr);
    if (comma) std::setlocale(LC_NUMERIC, "C");
    SkinEditor& e = *o.editor;
    ASSERT_EQ(e.numberOfViews(), 7);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(e.getView(i)->getViewSize(), CRect(5, 6, 35, 46)) << i;
        EXPECT_EQ(e.getTagForView(i), 5) << i;
    }
    // A number is not a tag name, and names are exact.
    EXPECT_EQ(e.getTagForView(4), -1);
    EXPECT_EQ(e.getTagForView(5), -1);
    auto* splash = dynamic_cast<CSplashScreen*>(e.getView(6));
    ASSERT_NE(splash, nullptr);
    EXPECT_EQ(splash->getDisplayRect(), CRect(10, 4, 30, 8));

    std::vector<bool> hidden;
    for (CCView* v = e.getFrame()->getFirstChild(); v; v = v->pNext)
        if (auto* c = dynamic_cast<CGViewContainer*>(v->pView)) hidden.push_back(c->isHidden());
    EXPECT_EQ(hidden, (std::vector<bool>{true, true, true, false, false, false, false}));
}

TEST(SkinBuild, ChildrenGoIntoContainersOnlyAndBrokenSkinsBuildWhatTheyCan)
{
    TestSkin skin;
    skin.description(R"(<skin>
        <CGViewContainer x=10 y=20 width=100 height=100>
            <CKnob x=1 y=2 width=10 height=10 tag=kParamGain/>
            <CGViewContainer x=5 y=5 width=50 height=50><CKnob tag=kParamBass/></CGViewContainer>
        </CGViewContainer>
        <CKnob tag=kParamMids><CKnob tag=kParamTreb/></CKnob>
    </skin>)");
    skin.description("<skin><CKnob tag=kParamGain/><CKnob tag=kParamBass/><CKnob tag=kPar", "broken");
    skin.description("<skin></skin>", "empty");
    testing::internal::CaptureStderr();
    Opened o;
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_EQ(messages, "XML is wrong! Trying to add child controls to a non ViewContainer class. Did you forget a /?\n");
    EXPECT_EQ(listed(*o.editor), (std::vector<std::string>{"CKnob 5", "CKnob 7", "CKnob 8"}));
    CView* first = o.editor->getView(0);
    EXPECT_EQ(first->getParentView()->getViewSize(), CRect(10, 20, 110, 120));

    for (const char* name : {"broken", "empty", "missing"}) {
        o.editor->close();
        ASSERT_TRUE(o.editor->open(nullptr, name)) << name;
        ASSERT_NE(o.editor->getFrame(), nullptr);
        EXPECT_EQ(o.editor->getFrame()->getViewSize(), CRect(0, 0, 579, 375));
        // The broken skin keeps what was read before the fault: two knobs,
        // and the third cut off inside its tag name.
        const std::vector<std::string> views = listed(*o.editor);
        if (std::string(name) == "broken")
            EXPECT_EQ(views, (std::vector<std::string>{"CKnob 5", "CKnob 7", "CKnob -1"}));
        else
            EXPECT_TRUE(views.empty()) << name;
    }
}

TEST(SkinBuild, PagesShowWhileTheirTagHoldsTheirNumber)
{
    TestSkin skin;
    skin.description(R"(<skin>
        <Page tag=kGUIMoreScreen pagenum=0><CKnob x=1 tag=kParamGain/></Page>
        <Page tag=kGUIMoreScreen pagenum=1/>
        <Group tag=kGUIMoreScreen/>
        <PageTurn x=0 y=0 width=10 height=10 tag=kGUIMoreScreen pagenum=1/>
    </skin>)");
    harness::Plugin plugin;
    auto* editor = static_cast<EffectEditor*>(plugin.effect().getEditor());
    ASSERT_TRUE(editor->open(nullptr));
    EXPECT_EQ(listed(*editor), (std::vector<std::string>{"iControlWrapper 111", "CKnob 5", "iControlWrapper 111",
                                                         "iControlWrapper -1", "nPageSelect 111"}));
    auto page = [&](int index) { return dynamic_cast<nPage*>(static_cast<iControlWrapper*>(editor->getView(index))->getWrapped()); };
    auto shown = [&] { return std::vector<bool>{!page(0)->isHidden(), !page(2)->isHidden(), !page(3)->isHidden()}; };
    EXPECT_EQ(shown(), (std::vector<bool>{true, false, true}));
    // Values reach pages through the effect, as the page-turn's does.
    plugin.effect().setParameter(111, 1.0f);
    EXPECT_EQ(shown(), (std::vector<bool>{false, true, true}));
    editor->setParameter(111, 0.5f);
    EXPECT_EQ(shown(), (std::vector<bool>{false, false, true}));
    EXPECT_FLOAT_EQ(editor->getParameterFromUI(111), 0.5f);

    // The page-turn: released over it, the page shows; the host hears
    // nothing of an editor tag.
    harness::Host::instance().clear();
    CPoint inside(5, 5);
    auto* turn = editor->getView(4);
    turn->onMouseDown(inside, kLButton);
    turn->onMouseUp(inside, kLButton);
    EXPECT_EQ(shown(), (std::vector<bool>{false, true, true}));
    for (const auto& call : harness::Host::instance().calls())
        EXPECT_TRUE(call.opcode != audioMasterAutomate && call.opcode != audioMasterBeginEdit) << call.opcode;
    editor->close();
}

TEST(SkinBuild, OneBitmapPerIdForTheProcessUntilTheLastEditorGoes)
{
    TestSkin skin;
    skin.solid(7, 10, 10, 0x123456);
    skin.description(R"(<skin><CKnob background=7/><CAnimKnob background=7/><CKnob/></skin>)");
    {
        Opened a;
        Opened b;
        ASSERT_EQ(a.editor->numberOfViews(), 3);
        CBitmap* shared = a.editor->getView(0)->getBackground();
        ASSERT_NE(shared, nullptr);
        EXPECT_TRUE(shared->isLoaded());
        EXPECT_EQ(a.editor->getView(1)->getBackground(), shared);
        EXPECT_EQ(b.editor->getView(0)->getBackground(), shared);
        // No background attribute reads as id 0, a bitmap of its own.
        EXPECT_EQ(a.editor->getView(2)->getBackground()->getResourceID(), 0);
        EXPECT_EQ(SkinEditor::cachedBitmapCount(), 2u);
        for (int i = 0; i < 3; ++i) {
            a.editor->close();
            a.editor->open(nullptr, "ui");
        }
        EXPECT_EQ(SkinEditor::cachedBitmapCount(), 2u);
        EXPECT_EQ(a.editor->getView(0)->getBackground(), shared);
        // b's editor is destroyed while still open.
    }
    EXPECT_EQ(SkinEditor::cachedBitmapCount(), 0u);
}
