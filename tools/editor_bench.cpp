// tonewright-editor-bench: what the plug-in's editor costs, on the skin
// compiled into the plug-in and a support folder of its own (made in a
// temporary folder: the factory bank, the carried preamps and cabinets and
// 500 more files for the menus): the first and later opens (skin parsed,
// views built, menus filled from the folders, values shown; the first also
// decodes the bitmaps), a redraw of the whole window, idles with nothing
// changed and with the More page's displays fed by audio, the time from a
// cabinet chosen in its menu until the next block plays it, and the heap
// the open editor holds. Opens in a window on the X server in $DISPLAY (run
// it under xvfb-run -a where there is none). For reports, not tests.

#include <X11/Xlib.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "common/WavFile.h"

#include "plugin/EditorFactory.h"
#include "plugin/Effect.h"
#include "editor/EffectEditor.h"

namespace tonewright {
namespace {

using SteadyClock = std::chrono::steady_clock;

double millisSince(SteadyClock::time_point start)
{
    return std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count();
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

namespace fs = std::filesystem;

// 250 preamp descriptions and 250 cabinets more, ten folders of each, made
// from the carried ones; and a long impulse outside the folder.
void fillSupport(const fs::path& support)
{
    std::vector<fs::path> preamps, impulses;
    for (const auto& e : fs::recursive_directory_iterator(support / "Preamps"))
        if (e.is_regular_file()) preamps.push_back(e.path());
    for (const auto& e : fs::directory_iterator(support / "Impulses")) impulses.push_back(e.path());
    if (preamps.empty() || impulses.empty()) return;
    for (int i = 0; i < 250; ++i) {
        const std::string folder = "Set " + std::to_string(i % 10);
        fs::create_directories(support / "Preamps" / folder);
        fs::create_directories(support / "Impulses" / folder);
        fs::copy_file(preamps[size_t(i) % preamps.size()],
                      support / "Preamps" / folder / ("Voice " + std::to_string(i) + ".xml"));
        fs::copy_file(impulses[size_t(i) % impulses.size()],
                      support / "Impulses" / folder / ("Cab " + std::to_string(i) + ".wav"));
    }
}

// An impulse no program has used: its derived versions are made anew.
fs::path newImpulse(const fs::path& folder, double rate, int channels, size_t length)
{
    AudioClip c;
    c.sampleRate = rate;
    c.channels = channels;
    c.samples.assign(size_t(channels), std::vector<double>(length));
    for (int ch = 0; ch < channels; ++ch)
        for (size_t i = 0; i < length; ++i)
            c.samples[size_t(ch)][i] = std::exp(-double(i) / 6000.0) * std::sin(0.01 * double(i * size_t(ch + 3)));
    const fs::path file = folder / ("New " + std::to_string(length) + ".wav");
    writeWavFloat(file.string(), c);
    return file;
}

long entryIndex(const tonewright::CMyFileMenu* menu, const std::string& title)
{
    for (long i = 0; menu && i < menu->getNbEntries(); ++i)
        if (title == menu->getEntry(i)->getTitle()) return i;
    return -1;
}

}  // namespace

}  // namespace tonewright

int main()
{
    using namespace tonewright;
    tonewright::SetEditorFactory(&tonewright::EffectEditor::create);
    // A support folder and preferences of the benchmark's own.
    std::string temporary = (fs::temp_directory_path() / "twr-editor-bench-XXXXXX").string();
    if (!::mkdtemp(temporary.data())) return 1;
    const fs::path home = temporary;
    ::setenv("XDG_DATA_HOME", (home / "share").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    {
        auto* first = new tonewright::Effect(host);  // installs the carried files
        fillSupport(first->supportFolders().root);
        delete first;
    }
    size_t files = 0;
    for (const auto& e : fs::recursive_directory_iterator(home / "share"))
        files += e.is_regular_file() && e.path().filename().string()[0] != '.';
    std::printf("support   %zu files (the factory bank, the carried preamps and cabinets, 500 more)\n", files);
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
    auto start = SteadyClock::now();
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
        start = SteadyClock::now();
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
        start = SteadyClock::now();
        editor->getFrame()->update();
        if (display) XSync(display, False);
        redraws.push_back(millisSince(start));
    }
    std::printf("redraw    whole window %.3f ms median of 50 (worst %.3f)\n", median(redraws),
                *std::max_element(redraws.begin(), redraws.end()));

    std::vector<double> idles;
    for (int i = 0; i < 200; ++i) {
        start = SteadyClock::now();
        editor->idle();
        idles.push_back(millisSince(start));
    }
    std::printf("idle      nothing changed %.4f ms median of 200 (worst %.4f)\n", median(idles),
                *std::max_element(idles.begin(), idles.end()));

    std::vector<double> knob;
    for (int i = 0; i < 200; ++i) {
        effect->setParameter(5, float(i % 100) / 100.0f);
        start = SteadyClock::now();
        editor->idle();
        if (display) XSync(display, False);
        knob.push_back(millisSince(start));
    }
    std::printf("idle      one knob moved %.4f ms median of 200 (worst %.4f)\n", median(knob),
                *std::max_element(knob.begin(), knob.end()));

    // The More page fed by a host's audio thread (blocks of 256 at 44.1
    // kHz in real time); idles at 60 Hz refresh its displays every 50 ms.
    std::atomic<bool> stop{false};
    std::thread audio([&] {
        std::vector<float> in(256), left(256), right(256);
        float* inputs[2] = {in.data(), nullptr};
        float* outputs[2] = {left.data(), right.data()};
        auto next = SteadyClock::now();
        for (long b = 0; !stop; ++b) {
            for (int i = 0; i < 256; ++i) in[size_t(i)] = 0.5f * float(std::sin(0.0157 * double(b * 256 + i)));
            effect->processReplacing(inputs, outputs, 256);
            next += std::chrono::microseconds(5805);
            std::this_thread::sleep_until(next);
        }
    });
    editor->showMoreScreen();
    start = SteadyClock::now();
    editor->idle();
    if (display) XSync(display, False);
    std::printf("idle      the More page shown: %.3f ms (the whole window redrawn)\n", millisSince(start));
    std::vector<double> busy;
    for (int i = 0; i < 240; ++i) {
        std::this_thread::sleep_until(start + std::chrono::microseconds(16667));
        start = SteadyClock::now();
        editor->idle();
        if (display) XSync(display, False);
        busy.push_back(millisSince(start));
    }
    std::printf("idle      More page with audio %.4f ms median of 240 at 60 Hz (worst %.4f)\n", median(busy),
                *std::max_element(busy.begin(), busy.end()));
    editor->hideMoreScreen();

    // A cabinet chosen in its menu until the cabinet plays it (the next
    // block after the choice returns), while the audio thread plays.
    tonewright::CMyFileMenu* menu = editor->impulseMenu;
    std::vector<double> choices;
    const char* const cabinets[] = {"Closed 2x12.wav", "Open 1x12 Stereo.wav", "Closed 4x12.wav", "Open 1x12.wav"};
    for (int i = 0; i < 20 && menu; ++i) {
        const long index = entryIndex(menu, cabinets[i % 4]);
        if (index < 0) break;
        start = SteadyClock::now();
        menu->choose(menu, index);
        choices.push_back(millisSince(start));
    }
    if (!choices.empty())
        std::printf("impulse   chosen to playing %.2f ms median of %zu (worst %.2f), plus at most one block\n",
                    median(choices), choices.size(), *std::max_element(choices.begin(), choices.end()));
    const struct {
        double rate;
        int channels;
        size_t length;
    } fresh[] = {{44100.0, 1, 8192}, {96000.0, 2, 65536}};
    for (const auto& f : fresh) {
        const fs::path file = newImpulse(home, f.rate, f.channels, f.length);
        start = SteadyClock::now();
        effect->loadCabinetImpulse(file.c_str());
        std::printf("impulse   a new %zu-sample %s impulse at %.1f kHz: %.2f ms to playing\n", f.length,
                    f.channels == 1 ? "mono" : "stereo", f.rate / 1000.0, millisSince(start));
    }
    stop = true;
    audio.join();

    editor->close();
    delete effect;
    if (display) XCloseDisplay(display);
    std::error_code ignored;
    fs::remove_all(home, ignored);
    return 0;
}
