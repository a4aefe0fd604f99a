// tonewright-gui-bench: what the editor's view toolkit costs on this
// machine. A panel of 100 controls of the product editor's size (579 x 375)
// with generated film strips; reports the time to open the frame in a
// window, a full redraw, and an idle with nothing changed. Uses the X
// server in $DISPLAY (run it under xvfb-run -a where there is none);
// without one it reports the drawing alone. For reports, not tests.

#include <X11/Xlib.h>
#include <cairo.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <map>
#include <vector>

#include "gui/vstgui.h"

namespace tonewright {
namespace {

using Clock = std::chrono::steady_clock;

double millisSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// PNGs made here, found by id.
class Generated : public CResourceLocator {
public:
    void add(long id, int width, int height, uint32_t seed)
    {
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
        cairo_t* cr = cairo_create(s);
        cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, width, height);
        cairo_pattern_add_color_stop_rgb(p, 0, (seed & 255) / 255.0, 0.2, 0.3);
        cairo_pattern_add_color_stop_rgb(p, 1, 0.1, ((seed >> 8) & 255) / 255.0, 0.6);
        cairo_set_source(cr, p);
        cairo_paint(cr);
        cairo_pattern_destroy(p);
        cairo_destroy(cr);
        auto& bytes = images[id];
        cairo_surface_write_to_png_stream(
            s,
            [](void* out, const unsigned char* data, unsigned int n) {
                auto* v = static_cast<std::vector<unsigned char>*>(out);
                v->insert(v->end(), data, data + n);
                return CAIRO_STATUS_SUCCESS;
            },
            &bytes);
        cairo_surface_destroy(s);
    }
    bool findPNG(long id, const unsigned char** data, size_t* size) override
    {
        auto it = images.find(id);
        if (it == images.end()) return false;
        *data = it->second.data();
        *size = it->second.size();
        return true;
    }

private:
    std::map<long, std::vector<unsigned char>> images;
};

struct NoListener : CControlListener {
    void valueChanged(CControl*) override {}
};

struct Panel {
    CBitmap* background;
    CBitmap* knobStrip;
    CBitmap* switchStrip;
    CBitmap* ledOn;
    CBitmap* ledOff;
    std::vector<CControl*> controls;
};

// 100 controls: 48 animated knobs, 16 switches, 12 labels and displays, 8
// menus, 8 on/off buttons, 8 meters.
void build(CFrame* frame, Panel& panel, NoListener* listener)
{
    frame->setBackground(panel.background);
    long tag = 0;
    for (int i = 0; i < 48; ++i) {
        const CCoord x = 10 + (i % 12) * 46;
        const CCoord y = 10 + (i / 12) * 50;
        auto* knob = new CAnimKnob(CRect(x, y, x + 40, y + 40), listener, tag++, 31, 40, panel.knobStrip);
        frame->addView(knob);
        panel.controls.push_back(knob);
    }
    for (int i = 0; i < 16; ++i) {
        const CCoord x = 10 + i * 34;
        auto* sw = new CVerticalSwitch(CRect(x, 215, x + 24, 245), listener, tag++, 3, 30, 3, panel.switchStrip);
        frame->addView(sw);
        panel.controls.push_back(sw);
    }
    for (int i = 0; i < 12; ++i) {
        const CCoord x = 10 + i * 46;
        CParamDisplay* display = (i % 2) ? static_cast<CParamDisplay*>(new CTextLabel(CRect(x, 255, x + 44, 271), "Gain"))
                                         : new CParamDisplay(CRect(x, 255, x + 44, 271));
        display->setTextTransparency(true);
        frame->addView(display);
        panel.controls.push_back(display);
    }
    for (int i = 0; i < 8; ++i) {
        const CCoord x = 10 + i * 70;
        auto* menu = new COptionMenu(CRect(x, 280, x + 66, 298), listener, tag++);
        for (int e = 0; e < 10; ++e) menu->addEntry("Entry");
        frame->addView(menu);
        panel.controls.push_back(menu);
    }
    for (int i = 0; i < 8; ++i) {
        const CCoord x = 10 + i * 40;
        auto* button = new COnOffButton(CRect(x, 305, x + 30, 335), listener, tag++, panel.switchStrip);
        frame->addView(button);
        panel.controls.push_back(button);
    }
    for (int i = 0; i < 8; ++i) {
        const CCoord x = 340 + i * 28;
        auto* meter = new CVuMeter(CRect(x, 305, x + 20, 365), panel.ledOn, panel.ledOff, 12);
        frame->addView(meter);
        panel.controls.push_back(meter);
    }
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

}  // namespace tonewright

int main()
{
    using namespace tonewright;
    Generated images;
    images.add(1, 579, 375, 0x4020);
    images.add(2, 40, 40 * 31, 0x8040);
    images.add(3, 24, 30 * 3, 0x2090);
    images.add(4, 20, 60, 0x10f0);
    images.add(5, 20, 60, 0x0101);
    CBitmap::setResourceLocator(&images);
    Panel panel{new CBitmap(1), new CBitmap(2), new CBitmap(3), new CBitmap(4), new CBitmap(5), {}};
    NoListener listener;

    Display* display = XOpenDisplay(nullptr);
    Window host = 0;
    if (display) {
        XSetWindowAttributes a{};
        a.override_redirect = True;
        host = XCreateWindow(display, DefaultRootWindow(display), 0, 0, 579, 375, 0, CopyFromParent, InputOutput,
                             CopyFromParent, CWOverrideRedirect, &a);
        XMapRaised(display, host);
        XSync(display, False);
    }
    void* handle = display ? reinterpret_cast<void*>(static_cast<uintptr_t>(host)) : nullptr;
    std::printf("panel: %d controls at 579 x 375, %s\n", 100, display ? "in an X window" : "no X display: drawing only");

    // Open: the frame and its window, the views, the first idle (all drawn and shown).
    std::vector<double> open;
    for (int i = 0; i < 20; ++i) {
        const auto start = Clock::now();
        auto* frame = new CFrame(CRect(0, 0, 579, 375), handle, nullptr);
        Panel each = panel;
        build(frame, each, &listener);
        frame->idle();
        if (display) XSync(display, False);
        open.push_back(millisSince(start));
        frame->forget();
    }
    std::printf("frame open (window, 100 views, first draw): median %.2f ms\n", median(open));

    auto* frame = new CFrame(CRect(0, 0, 579, 375), handle, nullptr);
    build(frame, panel, &listener);
    frame->idle();
    std::vector<double> full;
    for (int i = 0; i < 200; ++i) {
        frame->setDirty(true);
        const auto start = Clock::now();
        frame->idle();
        if (display) XSync(display, False);
        full.push_back(millisSince(start));
    }
    std::printf("full redraw (every view, copied to the window): median %.3f ms, worst %.3f ms\n", median(full),
                *std::max_element(full.begin(), full.end()));

    std::vector<double> one;
    for (int i = 0; i < 200; ++i) {
        panel.controls[static_cast<size_t>(i % 48)]->setValue(static_cast<float>(i % 31) / 30.0f);
        const auto start = Clock::now();
        frame->idle();
        one.push_back(millisSince(start));
    }
    std::printf("one knob changed: median %.3f ms\n", median(one));

    std::vector<double> quiet;
    for (int i = 0; i < 5000; ++i) {
        const auto start = Clock::now();
        frame->idle();
        quiet.push_back(millisSince(start));
    }
    std::printf("idle with nothing changed: median %.4f ms, worst %.4f ms\n", median(quiet),
                *std::max_element(quiet.begin(), quiet.end()));
    frame->forget();
    for (CBitmap* b : {panel.background, panel.knobStrip, panel.switchStrip, panel.ledOn, panel.ledOff}) b->forget();
    if (display) {
        XDestroyWindow(display, host);
        XCloseDisplay(display);
    }
    return 0;
}
