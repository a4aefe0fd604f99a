// The view helper the Cocoa view forwards to: the editor opened in the
// view's parent with the editor's size, idled by the ticks, closed when the
// view goes; a second view takes the editor over; a closed unit stops the
// ticks; a plug-in object without an editor leaves the view empty.

#include "AUHarness.h"
#include "mac/au/AUEditorView.h"

using namespace au_test;
using tonewright::AUEditorView;

namespace {

void* Parent(uintptr_t id) { return reinterpret_cast<void*>(id); }

}  // namespace

TEST(AUEditorView, OpensTheEditorInItsParentTicksItAndClosesItWhenItGoes)
{
    UseRecordingEffect recording;
    auto unit = OpenUnit();
    RecordingEffect::last->attachEditor();
    ClearCalls();
    {
        AUEditorView view(unit->unit(), Parent(1));
        const AUEditorView::Frame f = view.frame();
        EXPECT_EQ(std::vector<int>({f.x, f.y, f.width, f.height}), std::vector<int>({20, 10, 400, 300}));
        EXPECT_TRUE(view.ownsEditor());
        EXPECT_TRUE(view.tick());
        EXPECT_TRUE(view.tick());
        EXPECT_EQ(AUEditorView::kTickSeconds, 1.0 / 60.0);
    }
    EXPECT_EQ(Calls(), (std::vector<std::string>{"editor open 1", "editor idle", "editor idle", "editor close"}));
}

TEST(AUEditorView, ASecondViewTakesTheEditorOverAndTheFirstLetsGo)
{
    UseRecordingEffect recording;
    auto unit = OpenUnit();
    RecordingEffect::last->attachEditor();
    ClearCalls();
    auto first = std::make_unique<AUEditorView>(unit->unit(), Parent(1));
    auto second = std::make_unique<AUEditorView>(unit->unit(), Parent(2));
    EXPECT_FALSE(first->ownsEditor());
    EXPECT_TRUE(second->ownsEditor());
    EXPECT_FALSE(first->tick()) << "the first view's timer stops";
    EXPECT_TRUE(second->tick());
    first.reset();  // closes nothing: the editor is the second view's
    EXPECT_TRUE(second->tick());
    second.reset();
    EXPECT_EQ(Calls(), (std::vector<std::string>{"editor open 1", "editor close", "editor open 2", "editor idle",
                                                 "editor idle", "editor close"}));
}

TEST(AUEditorView, AClosedUnitStopsTheTicksAndLeavesTheViewNothingToClose)
{
    UseRecordingEffect recording;
    auto unit = OpenUnit();
    const AudioUnit handle = unit->unit();
    RecordingEffect::last->attachEditor();
    ClearCalls();
    AUEditorView view(handle, Parent(1));
    unit.reset();  // the host closes the unit before the view
    EXPECT_FALSE(view.tick());
    EXPECT_FALSE(view.tick());
    EXPECT_EQ(Calls(), (std::vector<std::string>{"editor open 1", "editor close", "close", "deleted"}));
}

TEST(AUEditorView, WithoutAnEditorTheViewStaysEmpty)
{
    {
        UseRecordingEffect recording;
        auto unit = OpenUnit();
        ClearCalls();
        AUEditorView view(unit->unit(), Parent(1));
        EXPECT_EQ(view.frame().width, 0);
        EXPECT_FALSE(view.ownsEditor());
        EXPECT_FALSE(view.tick());
        EXPECT_EQ(Calls(), std::vector<std::string>{});
    }
    // A handle that names no unit at all.
    AUEditorView nothing(reinterpret_cast<AudioUnit>(uintptr_t{0x12345}), Parent(1));
    EXPECT_FALSE(nothing.tick());
}

TEST_F(RealUnitTest, TheViewOfTheRealPlugInWithTheEditorItHas)
{
    auto unit = OpenUnit();
    if (EffectOf(unit->unit())->getEditor())
        GTEST_SKIP() << "the plug-in has an editor: it opens in an X11 window, which the view tests do not make";
    AUEditorView view(unit->unit(), Parent(1));
    EXPECT_EQ(view.frame().width, 0);
    EXPECT_FALSE(view.tick());
}
