// The view helper the Cocoa view forwards to: the editor opened in the
// view's parent with the editor's size, idled by the ticks, closed when the
// view goes; a second view takes the editor over; a closed unit stops the
// ticks; a plug-in object without an editor leaves the view empty; the
// real editor opens in an X window.

#include "AUHarness.h"
#include "GuiHarness.h"
#include "mac/au/AUEditorView.h"

using namespace au_test;
using tonewright::AUEditorView;

namespace {

void* Parent(uintptr_t id) { return reinterpret_cast<void*>(id); }

}  // namespace

TEST_F(UnitTest, AUEditorViewOpensTheEditorInItsParentTicksItAndALaterViewOrAClosedUnitTakesItOver)
{
    UseRecordingEffect recording;
    auto unit = OpenUnit();
    ClearCalls();
    {
        AUEditorView empty(unit->unit(), Parent(1));  // a plug-in object without an editor
        EXPECT_EQ(empty.frame().width, 0);
        EXPECT_FALSE(empty.ownsEditor() || empty.tick());
    }
    RecordingEffect::last->attachEditor();
    auto first = std::make_unique<AUEditorView>(unit->unit(), Parent(1));
    const AUEditorView::Frame f = first->frame();
    EXPECT_EQ(std::vector<int>({f.x, f.y, f.width, f.height}), std::vector<int>({20, 10, 400, 300}));
    EXPECT_TRUE(first->ownsEditor() && first->tick());
    EXPECT_EQ(TakeCalls(), (Log{"editor open 1", "editor idle"}));
    // A second view takes the editor over: the first one's timer stops and
    // it closes nothing when it goes.
    auto second = std::make_unique<AUEditorView>(unit->unit(), Parent(2));
    EXPECT_FALSE(first->ownsEditor() || first->tick());
    EXPECT_TRUE(second->ownsEditor() && second->tick());
    first.reset();
    EXPECT_TRUE(second->tick());
    EXPECT_EQ(TakeCalls(), (Log{"editor close", "editor open 2", "editor idle", "editor idle"}));
    second.reset();
    EXPECT_EQ(TakeCalls(), Log{"editor close"});
    // The host closes the unit before the view: the ticks stop, nothing is closed twice.
    AUEditorView third(unit->unit(), Parent(3));
    unit.reset();
    EXPECT_FALSE(third.tick());
    EXPECT_EQ(TakeCalls(), (Log{"editor open 3", "editor close", "close", "deleted"}));
    // A handle that names no unit at all.
    EXPECT_FALSE(AUEditorView(reinterpret_cast<AudioUnit>(uintptr_t{0x12345}), Parent(1)).tick());
}

TEST_F(RealUnitTest, AUEditorViewOpensTheRealEditorInTheViewsWindowTicksAndClosesIt)
{
    TONEWRIGHT_NEED_X();
    auto unit = OpenUnit();
    tonewright::guitest::HostWindow host(579, 375);
    {
        AUEditorView view(unit->unit(), host.handle());
        const AUEditorView::Frame f = view.frame();
        EXPECT_EQ(std::vector<int>({f.x, f.y, f.width, f.height}), std::vector<int>({0, 0, 579, 375}));
        ASSERT_TRUE(view.ownsEditor());
        for (int i = 0; i < 5; ++i) EXPECT_TRUE(view.tick());
        EXPECT_TRUE(EffectOf(unit->unit()).getEditor()->isOpen());
    }
    EXPECT_FALSE(EffectOf(unit->unit()).getEditor()->isOpen());
}
