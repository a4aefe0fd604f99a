#include "EditorWindow.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <thread>
#include <vector>

namespace tonewright {
namespace offline {

namespace {

// The window's pixels (its child windows included) as a PNG file.
bool writeScreenshot(Display* display, Window window, int width, int height, const std::string& path)
{
    XSync(display, False);
    XImage* image = XGetImage(display, window, 0, 0, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
    if (!image) return false;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
        for (int x = 0; x < width; ++x) row[x] = static_cast<uint32_t>(XGetPixel(image, x, y)) & 0xFFFFFFu;
    }
    cairo_surface_mark_dirty(surface);
    const bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    XDestroyImage(image);
    return ok;
}

// Plays the clip through the plug-in in real time until `stop`, looping
// it, as a host's audio thread does.
void playClip(VstPlugin& plugin, const EditorRun& run, const std::atomic<bool>& stop)
{
    const AudioClip& clip = *run.play;
    const int n = std::max(1, plugin.blockSize());
    const int outChannels = std::clamp(run.outChannels, 1, 2);
    AEffect* e = plugin.effect();
    std::vector<std::vector<float>> in(size_t(std::max(2, e->numInputs)), std::vector<float>(size_t(n)));
    std::vector<std::vector<float>> out(size_t(std::max(2, e->numOutputs)), std::vector<float>(size_t(n)));
    std::vector<float*> inputs, outputs;
    for (auto& b : in) inputs.push_back(b.data());
    for (auto& b : out) outputs.push_back(b.data());
    if (outChannels == 1) outputs[1] = nullptr;
    const long frames = clip.frames();
    const long keep = static_cast<long>(EditorRun::kLongestPlayed * clip.sampleRate);
    if (run.played) {
        run.played->sampleRate = clip.sampleRate;
        run.played->channels = outChannels;
        run.played->samples.assign(size_t(outChannels), {});
    }
    const auto period = std::chrono::duration<double>(double(n) / clip.sampleRate);
    auto next = std::chrono::steady_clock::now();
    for (long pos = 0; !stop.load() && frames > 0;) {
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < n; ++i)
                in[size_t(c)][size_t(i)] = static_cast<float>(clip.samples[size_t(std::min(c, clip.channels - 1))][size_t((pos + i) % frames)]);
        plugin.processReplacing(inputs.data(), outputs.data(), n);
        pos += n;
        if (run.played && long(run.played->samples[0].size()) < keep)
            for (int c = 0; c < outChannels; ++c)
                run.played->samples[size_t(c)].insert(run.played->samples[size_t(c)].end(), out[size_t(c)].begin(),
                                                      out[size_t(c)].end());
        next += std::chrono::duration_cast<std::chrono::steady_clock::duration>(period);
        std::this_thread::sleep_until(next);
    }
}

}  // namespace

bool runEditor(VstPlugin& plugin, const EditorRun& run, std::string& error)
{
    if (!(plugin.effect()->flags & effFlagsHasEditor)) {
        error = "the plug-in has no editor";
        return false;
    }
    ERect* rect = nullptr;
    plugin.dispatch(effEditGetRect, 0, 0, &rect);
    if (!rect || rect->right <= rect->left || rect->bottom <= rect->top) {
        error = "the plug-in gives no editor size";
        return false;
    }
    const int width = rect->right - rect->left, height = rect->bottom - rect->top;
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        error = "cannot open the X display (is DISPLAY set?)";
        return false;
    }
    const int screen = DefaultScreen(display);
    const Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, unsigned(width),
                                              unsigned(height), 0, BlackPixel(display, screen),
                                              BlackPixel(display, screen));
    const std::string title = "tonewright-host: " + plugin.effectName();
    XStoreName(display, window, title.c_str());
    Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window, &deleteWindow, 1);
    XSelectInput(display, window, StructureNotifyMask);
    XMapWindow(display, window);
    for (XEvent event;;) {
        XNextEvent(display, &event);
        if (event.type == MapNotify) break;
    }

    if (plugin.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<uintptr_t>(window))) == 0) {
        XDestroyWindow(display, window);
        XCloseDisplay(display);
        error = "the plug-in did not open its editor";
        return false;
    }
    std::printf("editor    %d x %d in window 0x%lx\n", width, height, static_cast<unsigned long>(window));
    std::fflush(stdout);

    std::atomic<bool> stopAudio{false};
    std::thread audio;
    if (run.play) audio = std::thread([&] { playClip(plugin, run, stopAudio); });

    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    const auto period = std::chrono::microseconds(33333);
    auto next = start;
    bool closed = false;
    while (!closed) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if ((event.type == ClientMessage && Atom(event.xclient.data.l[0]) == deleteWindow) ||
                event.type == DestroyNotify)
                closed = true;
        }
        plugin.dispatch(effEditIdle);
        if (run.seconds > 0 && clock::now() - start >= std::chrono::duration<double>(run.seconds)) break;
        next += period;
        std::this_thread::sleep_until(next);
    }

    bool ok = true;
    if (!closed && !run.screenshot.empty() && !writeScreenshot(display, window, width, height, run.screenshot)) {
        error = "cannot write the screenshot " + run.screenshot;
        ok = false;
    }
    stopAudio = true;
    if (audio.joinable()) audio.join();
    plugin.dispatch(effEditClose);
    if (!closed) XDestroyWindow(display, window);
    XCloseDisplay(display);
    if (ok && !run.screenshot.empty() && closed) {
        error = "the window was closed before the screenshot";
        ok = false;
    }
    return ok;
}

}  // namespace offline

}  // namespace tonewright
