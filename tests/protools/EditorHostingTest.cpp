// The editor in the Pro Tools window: the view the library asks for, the
// window port coming and going, drawing, clicks and idle reaching the
// editor, the resource file around its opening, and the two control
// questions, first against an editor that records what it is asked, then
// against the product editor itself (without a window).

#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "ProToolsHarness.h"
#include "editor/HighlightControls.h"
#include "editor/SkinEditor.h"
#include "gui/Frame.h"
#include "mac/protools/TemplateCustomUI.h"

namespace {

using Event = CEffectProcess::HostEvent;
using Log = std::shared_ptr<std::vector<std::string>>;

std::string rect(const CRect& r)
{
    return std::to_string(long(r.left)) + " " + std::to_string(long(r.top)) + " " + std::to_string(long(r.right)) +
           " " + std::to_string(long(r.bottom));
}

class RecordingFrame : public CFrame {
public:
    RecordingFrame(AEffGUIEditor* editor, Log shared)
        : CFrame(CRect(0, 0, 579, 375), nullptr, editor), log(std::move(shared))
    {
    }
    void invalidRect(const CRect& r) override { log->push_back("invalid " + rect(r)); }
    void update() override { log->push_back("update"); }
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override
    {
        log->push_back("down " + std::to_string(long(where.x)) + " " + std::to_string(long(where.y)) + " " +
                       std::to_string(buttons));
        return kMouseEventHandled;
    }
    CMouseEventResult onMouseUp(CPoint& where, const long&) override
    {
        log->push_back("up " + std::to_string(long(where.x)) + " " + std::to_string(long(where.y)));
        return kMouseEventHandled;
    }

private:
    Log log;
};

// A skin editor that records every call the custom UI makes.
class RecordingEditor : public tonewright::SkinEditor {
public:
    RecordingEditor(AudioEffect* owner, Log shared) : SkinEditor(owner, 579, 375), log(std::move(shared)) {}
    ~RecordingEditor() override { log->push_back("deleted"); }
    using SkinEditor::open;
    bool open(void* window) override
    {
        log->push_back("open " + std::to_string(reinterpret_cast<uintptr_t>(window)) + " res " +
                       std::to_string(CurResFile()));
        if (failOpen) throw std::bad_alloc();
        AEffGUIEditor::open(window);
        frame = new RecordingFrame(this, log);
        return true;
    }
    void close() override
    {
        log->push_back("close");
        SkinEditor::close();
    }
    void idle() override { log->push_back("idle"); }
    void GetControlIndexFromPoint(long x, long y, long* result) override
    {
        log->push_back("point " + std::to_string(x) + " " + std::to_string(y));
        *result = answer;
    }
    void SetControlHighlight(long index, short on, short colour) override
    {
        log->push_back("highlight " + std::to_string(index) + " " + std::to_string(on) + " " + std::to_string(colour));
    }

    bool failOpen = false;
    long answer = 0;

private:
    Log log;
};

struct Hosted {
    std::unique_ptr<pthost::Instance> instance;
    CEffectProcess* process;
    RecordingEditor* editor;
    Log log = std::make_shared<std::vector<std::string>>();

    Hosted() : instance(pttest::Make(2)), process(&instance->process())
    {
        Effect& fx = pttest::EffectOf(*instance);
        AEffEditor* product = fx.getEditor();
        editor = new RecordingEditor(&fx, log);
        fx.setEditor(editor);
        delete product;
    }
    std::vector<std::string> take()
    {
        std::vector<std::string> taken;
        taken.swap(*log);
        return taken;
    }
};

int32_t packed(int16_t x, int16_t y) { return static_cast<int32_t>(uint32_t(uint16_t(x)) << 16 | uint16_t(y)); }

const auto window = reinterpret_cast<WindowRef>(uintptr_t{0x1234});

// The library asks for the view before there is a window: 579 x 375, made
// once; then the window's port comes and goes.
TEST(ProToolsEditor, TheViewIsMadeOnceAndPortsOpenDrawAndCloseTheEditorOnceEach)
{
    Hosted h;
    CEffectProcess::HostSetPlugInResourceFile(77);
    UseResFile(5);
    Rect r{};
    CCustomView* outer = h.process->HostGetView(&r);
    ASSERT_NE(outer, nullptr);
    const Rect f = outer->GetFrame();
    EXPECT_EQ(std::vector<int>({r.top, r.left, r.bottom, r.right, f.top, f.left, f.bottom, f.right}),
              std::vector<int>({0, 0, 375, 579, 0, 0, 374, 578}));
    EXPECT_NE(dynamic_cast<tonewright::CNoResourceView*>(outer), nullptr);
    ASSERT_EQ(outer->SubviewCount(), 1u);
    auto* inner = dynamic_cast<tonewright::CTemplateNoUIView*>(outer->GetSubview(0));
    ASSERT_NE(inner, nullptr);
    const Rect g = inner->GetFrame();
    EXPECT_EQ(std::vector<int>({g.top, g.left, g.bottom, g.right}), std::vector<int>({0, 0, 374, 578}));
    tonewright::ITemplateCustomUI* ui = inner->GetCustomUI();
    ASSERT_NE(ui, nullptr);
    h.process->CustomViewRect(&r);
    EXPECT_EQ(h.process->HostGetView(&r), outer);
    EXPECT_EQ(inner->GetCustomUI(), ui);
    EXPECT_EQ(inner->GetStateFlag(), 0);
    EXPECT_TRUE(h.take().empty());  // nothing opened before a window

    const CGrafPtr port = NewPortForWindow(window);

    h.process->HostSetWindowPort(port);
    EXPECT_EQ(h.take(), (std::vector<std::string>{"open 4660 res 77", "invalid 0 0 579 375", "update"}));
    EXPECT_EQ(CurResFile(), 5);
    EXPECT_EQ(inner->GetStateFlag(), 1);
    EXPECT_EQ(h.process->GetWindowPort(), port);
    h.process->HostSetWindowPort(port);  // open already: drawn, not opened again
    EXPECT_EQ(h.take(), (std::vector<std::string>{"invalid 0 0 579 375", "update"}));

    // The library's rectangles are top, left, bottom, right; the editor's
    // left, top, right, bottom.
    outer->Draw({10, 20, 30, 40});
    outer->MouseDown({1, {50, 60}, 0});
    h.process->HostIdle();
    EXPECT_EQ(h.take(), (std::vector<std::string>{"invalid 20 10 40 30", "update", "down 60 50 2", "up 60 50", "idle"}));

    h.process->HostSetWindowPort(nullptr);
    h.process->HostSetWindowPort(nullptr);
    EXPECT_EQ(h.take(), std::vector<std::string>{"close"});
    EXPECT_EQ(inner->GetStateFlag(), 0);
    outer->Draw({0, 0, 374, 578});  // nothing to draw into
    outer->MouseDown({1, {5, 5}, 0});
    h.process->HostIdle();
    EXPECT_EQ(h.take(), std::vector<std::string>{"idle"});

    h.process->HostSetWindowPort(port);
    EXPECT_EQ(h.take(), (std::vector<std::string>{"open 4660 res 77", "invalid 0 0 579 375", "update"}));

    // The instance goes with its editor open: closed first, then deleted
    // with the Effect.
    Log log = h.log;
    h.instance.reset();
    EXPECT_EQ(*log, (std::vector<std::string>{"close", "deleted"}));
    DisposePortForWindow(port);
}

TEST(ProToolsEditor, AnEditorThatFailsToOpenLeavesTheResourceFileAsItWas)
{
    Hosted h;
    CEffectProcess::HostSetPlugInResourceFile(31);
    UseResFile(-4);
    h.process->HostGetView(nullptr);
    const CGrafPtr port = NewPortForWindow(nullptr);
    h.editor->failOpen = true;
    h.process->HostSetWindowPort(port);
    EXPECT_EQ(CurResFile(), -4);
    h.process->HostSetWindowPort(nullptr);  // it never opened: nothing to close
    EXPECT_EQ(h.take(), std::vector<std::string>{"open 0 res 31"});
    h.editor->failOpen = false;
    h.process->HostSetWindowPort(port);
    EXPECT_EQ(h.take(), (std::vector<std::string>{"open 0 res 31", "invalid 0 0 579 375", "update"}));
    EXPECT_EQ(CurResFile(), -4);
    DisposePortForWindow(port);
}

// Control k of the library is tag k - 1: only parameters (1..80) are asked
// about or answered; points arrive as signed x (high half) and y.
TEST(ProToolsEditor, ControlQuestionsConcernParametersOnlyAndPointsUnpackSigned)
{
    Hosted h;
    h.process->HostGetView(nullptr);
    for (int32_t index : {0, -1, 81, 82, 120, 500}) h.process->HighlightControl(index, 1, 0);
    EXPECT_TRUE(h.take().empty());
    const struct {
        int32_t index;
        int16_t colour, shown;
    } highlights[] = {{1, -1, -1}, {6, 0, 0}, {40, 1, 1}, {80, 3, 3}, {6, 4, -1}, {6, -2, -1}, {6, 300, -1}};
    for (const auto& c : highlights) {
        EXPECT_EQ(h.process->HighlightControl(c.index, 1, c.colour), kPlugInNoErr);
        EXPECT_EQ(h.take(), std::vector<std::string>{"highlight " + std::to_string(c.index) + " 1 " +
                                                      std::to_string(c.shown)});
    }
    h.process->HighlightControl(6, 0, 2);
    EXPECT_EQ(h.take(), std::vector<std::string>{"highlight 6 0 2"});

    const struct {
        int16_t x, y;
        long answer;
        int32_t index;
    } points[] = {{262, 128, 6, 6},      {-5, -7, 1, 1},     {300, 200, 80, 80}, {0, 0, 81, 0},
                  {32767, -32768, 0, 0}, {-32768, 1, 500, 0}, {10, 10, -3, 0}};
    for (const auto& c : points) {
        h.editor->answer = c.answer;
        int32_t index = -9;
        EXPECT_EQ(h.process->ControlIndexAtPoint(packed(c.x, c.y), &index), kPlugInNoErr);
        EXPECT_EQ(index, c.index) << c.answer;
        EXPECT_EQ(h.take(), std::vector<std::string>{"point " + std::to_string(c.x) + " " + std::to_string(c.y)});
    }
}

// The product editor itself, opened without a window.
TEST(ProToolsEditor, TheProductEditorHighlightsAnswersAndTakesClicksByControlIndex)
{
    auto instance = pttest::Make(2);
    CEffectProcess& p = instance->process();
    Effect& fx = pttest::EffectOf(*instance);
    auto* editor = dynamic_cast<tonewright::SkinEditor*>(fx.getEditor());
    ASSERT_NE(editor, nullptr);
    CCustomView* outer = p.HostGetView(nullptr);
    const CGrafPtr port = NewPortForWindow(nullptr);
    p.HostSetWindowPort(port);
    ASSERT_TRUE(editor->isOpen());

    const auto highlighted = [&] {
        std::vector<std::pair<long, CColor>> out;
        for (int i = 0; i < editor->numberOfViews(); ++i)
            if (auto* framed = dynamic_cast<tonewright::CHighlightControl*>(editor->getView(i));
                framed && framed->isHighlighted())
                out.emplace_back(editor->getTagForView(i), framed->getHighlightColor());
        return out;
    };
    p.HighlightControl(6, 1, 0);
    const auto gain = highlighted();
    ASSERT_FALSE(gain.empty());
    for (const auto& [tag, colour] : gain) {
        EXPECT_EQ(tag, 5);
        EXPECT_EQ(colour, kRedCColor);
    }
    p.HighlightControl(6, 1, 9);
    for (const auto& [tag, colour] : highlighted()) EXPECT_EQ(colour, kBlackCColor) << tag;
    p.HighlightControl(6, 0, 0);
    for (int32_t index : {0, 81, 112}) p.HighlightControl(index, 1, 1);
    EXPECT_TRUE(highlighted().empty());

    const struct {
        int16_t x, y;
        int32_t index;
    } points[] = {{262, 128, 6}, {243, 109, 6}, {2, 2, 0}, {-262, 128, 0}, {262, -128, 0}};
    for (const auto& c : points) {
        int32_t index = -1;
        p.ControlIndexAtPoint(packed(c.x, c.y), &index);
        EXPECT_EQ(index, c.index) << c.x << "," << c.y;
    }

    // A click on the gate's switch (parameter 77) reaches it at the event's
    // point: the switch turns, and the host sees control 78 touched, set
    // and released.
    const float before = fx.getParameter(77);
    p.ClearHostEvents();
    outer->MouseDown({1, {85, 25}, 0});
    EXPECT_EQ(fx.getParameter(77), 1.0f - before);
    const auto* control = dynamic_cast<const CPluginControl_Continuous*>(p.GetControl(78));
    EXPECT_EQ(p.HostEvents(), (std::vector<Event>{{Event::touched, 78, 0},
                                                  {Event::automated, 78, control->ConvertContinuousToControl(1.0f - before)},
                                                  {Event::released, 78, 0}}));
    p.HostSetWindowPort(nullptr);
    EXPECT_FALSE(editor->isOpen());
    DisposePortForWindow(port);
}

}  // namespace
