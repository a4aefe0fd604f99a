// The editor through the VST dispatcher: the has-editor flag, the editor
// rectangle, a child window of the host's window opened, idled and closed
// three times with every bitmap reference given back, and a window id that
// is no window. Hosts that destroy their window under the open editor, in a
// process of their own: the process lives on and exits normally.

#include <gtest/gtest.h>

#include "GuiHarness.h"
#include "gui/XErrorGuard.h"

using namespace tonewright::guitest;

TEST(Editor, DispatcherOpensIdlesAndClosesAChildWindowThreeTimesGivingBackEveryReference)
{
    TONEWRIGHT_NEED_X();
    BitmapFolder bitmaps;
    bitmaps.write(7, 120, 80, [](int x, int y) { return gridColour(x, y, 0x33); });
    bitmaps.write(8, 20, 60, [](int x, int y) { return gridColour(x, y, 0x44); });
    auto* background = new CBitmap(7);
    auto* strip = new CBitmap(8);

    auto* effect = new RecordingEffect;
    AEffect* e = effect->getAeffect();
    const VstInt32 flagsBefore = e->flags;
    auto* editor = new RecordingEditor(effect, 120, 80, [&](CFrame* frame, RecordingEditor* listener) {
        frame->setBackground(background);
        auto* container = new CViewContainer(CRect(10, 10, 110, 70), frame, background);
        container->setBackgroundOffset(CPoint(10, 10));
        container->addView(new CAnimKnob(CRect(5, 5, 25, 25), listener, 0, 3, 20, strip));
        container->addView(new CVuMeter(CRect(30, 5, 40, 55), strip, background, 5));
        auto* menu = new COptionMenu(CRect(50, 5, 95, 25), listener, 1, background, strip);
        auto* sub = new COptionMenu(CRect(50, 5, 95, 25), listener, 1, strip);
        sub->addEntry("x");
        menu->addEntry(sub, "sub");
        sub->forget();
        container->addView(menu);
        frame->addView(container);
    });
    EXPECT_EQ(effect->getEditor(), editor);
    EXPECT_EQ(e->flags, flagsBefore | effFlagsHasEditor);

    ERect* rect = nullptr;
    ASSERT_EQ(e->dispatcher(e, effEditGetRect, 0, 0, &rect, 0), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->bottom, 80);
    EXPECT_EQ(rect->right, 120);

    HostWindow host(120, 80);
    for (int cycle = 0; cycle < 3; ++cycle) {
        EXPECT_EQ(e->dispatcher(e, effEditOpen, 0, 0, host.handle(), 0), 1);
        ASSERT_NE(editor->getFrame(), nullptr);
        EXPECT_EQ(children(host.id()), std::vector<Window>{editor->getFrame()->getWindow()});
        const Window w = editor->getFrame()->getWindow();
        // Idles until the window shows what was drawn (a loaded machine may
        // map it late).
        pump(editor->getFrame(), [&] {
            e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0);
            XSync(testDisplay(), False);
            return pixel(w, 15, 15) == gridColour(0, 0, 0x44);
        });
        // The frame's background, and the container's from its offset.
        EXPECT_EQ(pixel(w, 2, 2), gridColour(2, 2, 0x33));
        EXPECT_EQ(pixel(w, 12, 12), gridColour(12, 12, 0x33));
        EXPECT_EQ(pixel(w, 15, 15), gridColour(0, 0, 0x44));
        EXPECT_GT(background->getNbReference(), 1);
        e->dispatcher(e, effEditClose, 0, 0, nullptr, 0);
        EXPECT_EQ(editor->getFrame(), nullptr);
        XSync(testDisplay(), False);
        EXPECT_TRUE(children(host.id()).empty());
        EXPECT_EQ(background->getNbReference(), 1) << cycle;
        EXPECT_EQ(strip->getNbReference(), 1) << cycle;
    }

    // A host window id that names no window: no editor is opened.
    EXPECT_EQ(e->dispatcher(e, effEditOpen, 0, 0, reinterpret_cast<void*>(uintptr_t{0x7ffffff1}), 0), 0);
    EXPECT_EQ(editor->getFrame(), nullptr);
    e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0);
    e->dispatcher(e, effEditClose, 0, 0, nullptr, 0);

    e->dispatcher(e, effClose, 0, 0, nullptr, 0);
    EXPECT_EQ(background->getNbReference(), 1);
    background->forget();
    strip->forget();
}

TEST(Editor, AHostThatDestroysItsWindowUnderTheOpenEditorLivesOnAndExitsNormally)
{
    TONEWRIGHT_NEED_X();
    for (const char* steps : {
             "mfhiidiicq",  // with a menu up, the focus taken and a cursor set
             "dicq",        // destroyed before the first idle
             "idccq",       // closed twice
             "idmhfiq",     // calls on the frame before idle has seen it go; the effect closed while open
             "idq",
         }) {
        EXPECT_EQ(hostileHost(steps, [] {
            auto* effect = new RecordingEffect;
            new RecordingEditor(effect, 120, 80, [](CFrame* frame, RecordingEditor* listener) {
                auto* menu = new COptionMenu(CRect(0, 0, 60, 20), listener, 1);
                menu->addEntry("one");
                menu->addEntry("two");
                frame->addView(menu);
                frame->addView(new CTextEdit(CRect(0, 30, 60, 50), listener, 2, "text"));
            });
            return effect->getAeffect();
        }), 0) << steps;
    }
}

namespace {

int hostErrors = 0;
int hostHandler(Display*, XErrorEvent*)
{
    ++hostErrors;
    return 0;
}

}  // namespace

TEST(Editor, ErrorsOfOurConnectionAreKeptByTheGuardAndOthersReachTheHostsHandlerWhichComesBack)
{
    TONEWRIGHT_NEED_X();
    Display* host = testDisplay();
    Display* ours = XOpenDisplay(nullptr);
    ASSERT_NE(ours, nullptr);
    const XErrorHandler before = XSetErrorHandler(hostHandler);
    hostErrors = 0;
    {
        XErrorGuard guard(ours);
        EXPECT_TRUE(guard.succeeded());
        XMapWindow(host, 1);  // no window: the host's error, on its connection
        XSync(host, False);
        EXPECT_EQ(hostErrors, 1);
        {
            XErrorGuard inner(host);  // nested, on the other connection
            XMapWindow(ours, 1);
            EXPECT_FALSE(guard.succeeded());
            EXPECT_EQ(guard.lastError(), BadWindow);
            EXPECT_TRUE(inner.succeeded());
        }
        XMapWindow(ours, 1);  // left for the destructor's wait
        XMapWindow(host, 1);
        XSync(host, False);
        EXPECT_EQ(hostErrors, 2);
    }
    EXPECT_EQ(XSetErrorHandler(before), hostHandler);
    {
        XErrorGuard guard(ours);
        XMapWindow(ours, 1);
        guard.closeDisplay();  // its errors still land here
        EXPECT_EQ(guard.lastError(), BadWindow);
    }
    EXPECT_EQ(hostErrors, 2);
}
