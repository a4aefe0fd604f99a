// The editor in the Pro Tools window: the view, the window port coming and
// going, drawing, clicks and idle reaching the editor, the resource file
// around its opening, and the two control questions, first against an
// editor that records what it is asked, then against the product editor.

#include <gtest/gtest.h>

#include <new>
#include <sstream>

#include "ProToolsHarness.h"
#include "editor/HighlightControls.h"
#include "editor/SkinEditor.h"
#include "gui/Frame.h"
#include "mac/protools/TemplateCustomUI.h"

using namespace tonewright;

namespace {

using Lines = std::vector<std::string>;
using Log = std::shared_ptr<Lines>;

// Notes the parts as one line; handled, for the mouse.
template <typename... T>
CMouseEventResult note(const Log& log, const T&... parts)
{
    std::ostringstream o;
    ((o << parts << ' '), ...);
    log->push_back(o.str().substr(0, o.str().size() - 1));
    return kMouseEventHandled;
}

class RecordingFrame : public CFrame {
public:
    RecordingFrame(AEffGUIEditor* editor, Log shared) : CFrame(CRect(0, 0, 579, 375), nullptr, editor), log(shared) {}
    void invalidRect(const CRect& r) override { note(log, "invalid", r.left, r.top, r.right, r.bottom); }
    void update() override { note(log, "update"); }
    CMouseEventResult onMouseDown(CPoint& p, const long& b) override { return note(log, "down", p.x, p.y, b); }
    CMouseEventResult onMouseUp(CPoint& p, const long&) override { return note(log, "up", p.x, p.y); }
    Log log;
};

// A skin editor that records every call the custom UI makes.
class RecordingEditor : public tonewright::SkinEditor {
public:
    RecordingEditor(AudioEffect* owner, Log shared) : SkinEditor(owner, 579, 375), log(shared) {}
    ~RecordingEditor() override { note(log, "deleted"); }
    using SkinEditor::open;
    bool open(void* window) override
    {
        note(log, "open", reinterpret_cast<uintptr_t>(window), "res", CurResFile());
        if (failOpen) throw std::bad_alloc();
        AEffGUIEditor::open(window);
        frame = new RecordingFrame(this, log);
        return true;
    }
    void close() override { note(log, "close"); SkinEditor::close(); }
    void idle() override { note(log, "idle"); }
    void GetControlIndexFromPoint(long x, long y, long* result) override { note(log, "point", x, y); *result = answer; }
    void SetControlHighlight(long index, short on, short colour) override { note(log, "highlight", index, on, colour); }

    Log log;
    bool failOpen = false;
    long answer = 0;
};

struct Hosted {
    std::unique_ptr<pthost::Instance> instance = pttest::Make(2);
    CEffectProcess* process = &instance->process();
    Log log = std::make_shared<Lines>();
    RecordingEditor* editor = nullptr;

    Hosted()
    {
        Effect& fx = pttest::EffectOf(*instance);
        delete fx.getEditor();
        fx.setEditor(editor = new RecordingEditor(&fx, log));
    }
    Lines take() { return std::exchange(*log, {}); }
};

int32_t packed(int16_t x, int16_t y) { return static_cast<int32_t>(uint32_t(uint16_t(x)) << 16 | uint16_t(y)); }

// The library asks for the view before there is a window (579 x 375, made
// once); then the window's port comes and goes.
TEST(ProToolsEditor, TheViewIsMadeOnceAndPortsOpenDrawAndCloseTheEditorWithTheResourceFileRestored)
{
    Hosted h;
    CEffectProcess::HostSetPlugInResourceFile(77);
    UseResFile(5);
    Rect r{};
    CCustomView* outer = h.process->HostGetView(&r);
    ASSERT_TRUE(outer && outer->SubviewCount() == 1u);
    auto* inner = dynamic_cast<tonewright::CTemplateNoUIView*>(outer->GetSubview(0));
    ASSERT_TRUE(inner && inner->GetCustomUI());
    const Rect f = outer->GetFrame(), g = inner->GetFrame();
    EXPECT_EQ(std::vector<int>({r.top, r.left, r.bottom, r.right, f.top, f.left, f.bottom, f.right, g.top, g.left,
                                g.bottom, g.right}),
              std::vector<int>({0, 0, 375, 579, 0, 0, 374, 578, 0, 0, 374, 578}));
    EXPECT_EQ(h.process->HostGetView(&r), outer);
    EXPECT_TRUE(h.take().empty());  // nothing opened before a window

    // The library's rectangles are top, left, bottom, right; the editor's
    // left, top, right, bottom. A port while open draws, not opens again.
    const auto port = NewPortForWindow(reinterpret_cast<WindowRef>(uintptr_t{0x1234}));
    const Lines opened = {"open 4660 res 77", "invalid 0 0 579 375", "update"};
    h.process->HostSetWindowPort(port);
    EXPECT_EQ(h.take(), opened);
    EXPECT_EQ(CurResFile(), 5);
    EXPECT_EQ(inner->GetStateFlag(), 1);
    h.process->HostSetWindowPort(port);
    outer->Draw({10, 20, 30, 40});
    outer->MouseDown({1, {50, 60}, 0});
    h.process->HostIdle();
    EXPECT_EQ(h.take(), (Lines{"invalid 0 0 579 375", "update", "invalid 20 10 40 30", "update", "down 60 50 2",
                               "up 60 50", "idle"}));

    // Closed once; then nothing to draw into or click.
    h.process->HostSetWindowPort(nullptr);
    h.process->HostSetWindowPort(nullptr);
    EXPECT_EQ(inner->GetStateFlag(), 0);
    outer->Draw({0, 0, 374, 578});
    outer->MouseDown({1, {5, 5}, 0});
    h.process->HostIdle();
    EXPECT_EQ(h.take(), (Lines{"close", "idle"}));

    // An editor that fails to open leaves nothing to close and the resource
    // file as it was; the next port opens it.
    h.editor->failOpen = true;
    h.process->HostSetWindowPort(port);
    EXPECT_EQ(CurResFile(), 5);
    h.process->HostSetWindowPort(nullptr);
    EXPECT_EQ(h.take(), Lines{"open 4660 res 77"});
    h.editor->failOpen = false;
    h.process->HostSetWindowPort(port);
    EXPECT_EQ(h.take(), opened);

    // The instance goes with its editor open: closed, then deleted.
    const Log log = h.log;
    h.instance.reset();
    EXPECT_EQ(*log, (Lines{"close", "deleted"}));
    DisposePortForWindow(port);
}

// Control k of the library is tag k - 1: only parameters (1..80) are asked
// about or answered; colours outside 0..3 are none (-1); points arrive as
// signed x (high half) and y.
TEST(ProToolsEditor, ControlQuestionsConcernParametersOnlyAndPointsUnpackSigned)
{
    Hosted h;
    h.process->HostGetView(nullptr);
    const struct {
        int32_t index;
        int16_t on, colour;
        const char* seen;
    } highlights[] = {{0, 1, 0, nullptr},   {-1, 1, 0, nullptr},  {81, 1, 0, nullptr},   {500, 1, 0, nullptr},
                      {1, 1, -1, "1 1 -1"}, {6, 1, 0, "6 1 0"},   {40, 1, 1, "40 1 1"},  {80, 1, 3, "80 1 3"},
                      {6, 1, 4, "6 1 -1"},  {6, 1, -2, "6 1 -1"}, {6, 1, 300, "6 1 -1"}, {6, 0, 2, "6 0 2"}};
    for (const auto& c : highlights) {
        h.process->HighlightControl(c.index, c.on, c.colour);
        EXPECT_EQ(h.take(), c.seen ? Lines{std::string("highlight ") + c.seen} : Lines{}) << c.index;
    }
    for (auto [x, y, answer, want] : {std::tuple<int16_t, int16_t, long, int32_t>{262, 128, 6, 6}, {-5, -7, 1, 1},
                                      {300, 200, 80, 80}, {0, 0, 81, 0}, {32767, -32768, 0, 0}, {-32768, 1, 500, 0},
                                      {10, 10, -3, 0}}) {
        h.editor->answer = answer;
        int32_t index = -9;
        EXPECT_EQ(h.process->ControlIndexAtPoint(packed(x, y), &index), kPlugInNoErr);
        EXPECT_EQ(index, want) << answer;
        EXPECT_EQ(h.take(), Lines{"point " + std::to_string(x) + " " + std::to_string(y)});
    }
}

// The product editor itself, opened without a window: the gain's frame in
// red or black, and the gain knob's bounds.
TEST(ProToolsEditor, TheProductEditorHighlightsAndAnswersByControlIndex)
{
    auto instance = pttest::Make(2);
    CEffectProcess& p = instance->process();
    auto* editor = dynamic_cast<tonewright::SkinEditor*>(pttest::EffectOf(*instance).getEditor());
    ASSERT_NE(editor, nullptr);
    p.HostGetView(nullptr);
    const CGrafPtr port = NewPortForWindow(nullptr);
    p.HostSetWindowPort(port);
    ASSERT_TRUE(editor->isOpen());
    const auto highlighted = [&] {
        std::vector<std::pair<long, CColor>> out;
        for (int i = 0; i < editor->numberOfViews(); ++i)
            if (auto* v = dynamic_cast<tonewright::CHighlightControl*>(editor->getView(i)); v && v->isHighlighted())
                out.emplace_back(editor->getTagForView(i), v->getHighlightColor());
        return out;
    };
    for (auto [colour, shown] : {std::pair{0, kRedCColor}, {9, kBlackCColor}}) {
        p.HighlightControl(6, 1, int16_t(colour));
        const auto gain = highlighted();
        ASSERT_FALSE(gain.empty());
        for (const auto& [tag, c] : gain) EXPECT_TRUE(tag == 5 && c == shown) << tag;
    }
    p.HighlightControl(6, 0, 0);
    EXPECT_TRUE(highlighted().empty());

    for (auto [x, y, want] : {std::tuple<int16_t, int16_t, int32_t>{262, 128, 6}, {243, 109, 6}, {2, 2, 0},
                              {-262, 128, 0}, {262, -128, 0}}) {
        int32_t index = -1;
        p.ControlIndexAtPoint(packed(x, y), &index);
        EXPECT_EQ(index, want) << x << "," << y;
    }

    p.HostSetWindowPort(nullptr);
    EXPECT_FALSE(editor->isOpen());
    DisposePortForWindow(port);
}

}  // namespace
