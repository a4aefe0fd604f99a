#pragma once
// What the editor tests share: an X server (the one in $DISPLAY, or an Xvfb
// started for the test program; without either, tests skip, or fail under
// CI), a
// top-level window standing in for the host's, exact pixels of a window,
// xdotool, generated PNG bitmaps, and an effect and editor that record
// every value, gesture and host call.

#include <X11/Xlib.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "SkipUnlessCi.h"
#include "gui/vstgui.h"
#include "vst2/AudioEffectX.h"

namespace tonewright::guitest {

// The display the tests use, started when needed; none when no X server
// can be had.
Display* testDisplay();
#define TONEWRIGHT_NEED_X()                                                               \
    do {                                                                                  \
        if (!::tonewright::guitest::testDisplay()) TONEWRIGHT_SKIP_UNLESS_CI("no X server"); \
    } while (0)
bool haveXdotool();
#define TONEWRIGHT_NEED_XDOTOOL()                                                      \
    do {                                                                               \
        if (!::tonewright::guitest::haveXdotool()) TONEWRIGHT_SKIP_UNLESS_CI("no xdotool"); \
    } while (0)

// A mapped top-level window at the root's origin, as a host's editor window.
class HostWindow {
public:
    HostWindow(int width, int height);
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;
    Window id() const { return window; }
    void* handle() const { return reinterpret_cast<void*>(static_cast<uintptr_t>(window)); }

private:
    Window window = 0;
};

// 0xRRGGBB of a window's pixel, read from the server.
uint32_t pixel(Window window, int x, int y);
// Child windows of a window.
std::vector<Window> children(Window window);

// A hostile host in a child process of its own (an Xlib error that ends it
// ends only that one): it opens the editor of the effect `make` returns in
// a window on a Display connection of its own, then takes the steps, one
// letter each: i idle, d destroy its window and close its connection, c
// close the editor, q close the effect, m pop up the first menu, f focus
// the first text edit, h the hand cursor. Returns the child's exit status
// (128 + the signal that ended it): 0 when all went well, 1 from Xlib's
// default error handler, 5 when the frame still claims its window in an
// idle after the window went.
int hostileHost(const std::string& steps, const std::function<AEffect*()>& make);

// Runs xdotool with the arguments (root coordinates); true when it succeeded.
bool xdotool(const std::string& arguments);

// Runs the frame's idle until `done` holds or a second has passed; then a
// few more idles so that the events behind it are handled too.
bool pump(CFrame* frame, const std::function<bool()>& done);
// A few idles, for events whose effect is an absence.
void settle(CFrame* frame);

// A folder of generated PNGs, named <id>.png, that bitmaps load from
// (TONEWRIGHT_GUI_BITMAPS points at it while the object lives).
class BitmapFolder {
public:
    BitmapFolder();
    ~BitmapFolder();
    BitmapFolder(const BitmapFolder&) = delete;
    BitmapFolder& operator=(const BitmapFolder&) = delete;
    // An opaque image whose pixel (x, y) is colour(x, y) (0xRRGGBB).
    void write(long id, int width, int height, const std::function<uint32_t(int x, int y)>& colour);
    // Where the image of `id` goes.
    std::string path(long id) const { return folder + "/" + std::to_string(id) + ".png"; }

private:
    std::string folder;
};

// Colours that say where they were drawn from: red and green carry x and y.
inline uint32_t gridColour(int x, int y, uint32_t blue) { return (uint32_t(x & 255) << 16) | (uint32_t(y & 255) << 8) | blue; }

// What the host hears from the effect.
std::vector<std::string>& hostCalls();

class RecordingEffect : public AudioEffectX {
public:
    RecordingEffect();
    void processReplacing(float**, float**, VstInt32) override {}
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;

private:
    float values[8] = {};
};

// An editor whose views are made by `build`; as their listener it records
// every call and sends values to the effect (setParameterAutomated).
class RecordingEditor : public AEffGUIEditor, public CControlListener {
public:
    using Build = std::function<void(CFrame* frame, RecordingEditor* editor)>;
    RecordingEditor(AudioEffect* effect, int width, int height, Build build);

    bool open(void* ptr) override;
    void close() override;

    void valueChanged(CControl* control) override;
    long controlModifierClicked(CControl* control, long button) override;
    void controlBeginEdit(CControl* control) override;
    void controlEndEdit(CControl* control) override;

    std::vector<std::string> log;
    long answerModifierClicks = 0;
    long lastModifierButtons = 0;

private:
    Build build;
};

}  // namespace tonewright::guitest
