// tonewright-editor-bench: what the plug-in's editor costs, on the skin
// compiled into the plug-in: the first and later opens (skin parsed, views
// built, values shown; the first also decodes the bitmaps), a redraw of the
// whole window, an idle with nothing changed, and the heap the open editor
// holds. Opens in a window on the X server in $DISPLAY (run it under
// xvfb-run -a where there is none). For reports, not tests.

#include <X11/Xlib.h>
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "plugin/EditorFactory.h"
#include "plugin/Effect.h"
#include "editor/EffectEditor.h"

namespace {

using Clock = std::chrono::steady_clock;

double millisSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

VstIntPtr host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? 2400 : 0;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Small blocks in the arenas and the large ones malloc maps on its own.
size_t heapInUse()
{
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

}  // namespace

int main()
{
    tonewright::SetEditorFactory(&tonewright::EffectEditor::create);
    Display* display = XOpenDisplay(nullptr);
    Window window = 0;
    if (display) {
        window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 579, 375, 0, 0, 0);
        XMapWindow(display, window);
        XSync(display, False);
    } else {
        std::printf("no X display: the editor opens without a window (drawing into its own image)\n");
    }
    void* parent = display ? reinterpret_cast<void*>(static_cast<uintptr_t>(window)) : nullptr;

    auto* effect = new tonewright::Effect(host);
    auto* editor = static_cast<tonewright::EffectEditor*>(effect->getEditor());

    const size_t heapBefore = heapInUse();
    auto start = Clock::now();
    editor->open(parent);
    editor->idle();  // the first paint
    const double first = millisSince(start);
    const size_t heapOpen = heapInUse();
    std::printf("views     %d listed, %zu bitmaps cached\n", editor->numberOfViews(),
                tonewright::SkinEditor::cachedBitmapCount());
    std::printf("open      first %.2f ms (with its first paint)\n", first);
    std::printf("memory    %.2f MB of heap held by the open editor (views, bitmaps, frame image)\n",
                double(heapOpen - heapBefore) / 1048576.0);

    std::vector<double> opens;
    for (int i = 0; i < 20; ++i) {
        editor->close();
        start = Clock::now();
        editor->open(parent);
        editor->idle();
        opens.push_back(millisSince(start));
    }
    std::printf("open      later %.2f ms median of 20 (worst %.2f)\n", median(opens),
                *std::max_element(opens.begin(), opens.end()));
    editor->close();
    std::printf("memory    %.2f MB of heap still held after close (the bitmap cache)\n",
                double(heapInUse() - heapBefore) / 1048576.0);
    editor->open(parent);
    editor->idle();

    std::vector<double> redraws;
    for (int i = 0; i < 50; ++i) {
        editor->getFrame()->invalid();
        start = Clock::now();
        editor->getFrame()->update();
        if (display) XSync(display, False);
        redraws.push_back(millisSince(start));
    }
    std::printf("redraw    whole window %.3f ms median of 50 (worst %.3f)\n", median(redraws),
                *std::max_element(redraws.begin(), redraws.end()));

    std::vector<double> idles;
    for (int i = 0; i < 200; ++i) {
        start = Clock::now();
        editor->idle();
        idles.push_back(millisSince(start));
    }
    std::printf("idle      nothing changed %.4f ms median of 200 (worst %.4f)\n", median(idles),
                *std::max_element(idles.begin(), idles.end()));

    std::vector<double> knob;
    for (int i = 0; i < 200; ++i) {
        effect->setParameter(5, float(i % 100) / 100.0f);
        start = Clock::now();
        editor->idle();
        if (display) XSync(display, False);
        knob.push_back(millisSince(start));
    }
    std::printf("idle      one knob moved %.4f ms median of 200 (worst %.4f)\n", median(knob),
                *std::max_element(knob.begin(), knob.end()));

    editor->close();
    delete effect;
    if (display) XCloseDisplay(display);
    return 0;
}
