#pragma once
// A support folder and home of the test's own while it lives; the plug-in with its editor open, windowless.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "DspTestKit.h"
#include "PluginHarness.h"
#include "editor/EffectEditor.h"
#include "editor/ParameterNames.h"
#include "system/AtomicFile.h"

namespace producttest {

namespace fs = std::filesystem;

struct SupportHome {
    const std::string oldData = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
    const std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "/";
    static inline int made = 0;
    fs::path root = harness::TestHome() / ("support-" + std::to_string(++made));

    SupportHome()
    {
        fs::remove_all(root);
        fs::create_directories(root / "Desktop");
        ::setenv("XDG_DATA_HOME", (root / "share").c_str(), 1);
        ::setenv("HOME", root.c_str(), 1);
    }
    ~SupportHome() { ::setenv("XDG_DATA_HOME", oldData.c_str(), 1), ::setenv("HOME", oldHome.c_str(), 1); }
    fs::path support() const { return root / "share" / "Quarrystone" / "TWR"; }
    fs::path banks() const { return support() / "Banks"; }
    fs::path preamps() const { return support() / "Preamps"; }
    fs::path impulses() const { return support() / "Impulses"; }
    fs::path desktop() const { return root / "Desktop"; }
};

inline std::string contents(const fs::path& file) { std::string bytes; return tonewright::system::ReadWholeFile(file, bytes), bytes; }

inline void write(const fs::path& file, const std::string& bytes)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

struct Product {
    SupportHome home;
    harness::Plugin plugin;
    tonewright::Effect& effect = plugin.effect();
    tonewright::EffectEditor* editor = static_cast<tonewright::EffectEditor*>(effect.getEditor());

    Product() { editor->open(nullptr); }
    ~Product() { editor->close(); }
    CControl* view(long tag, int nth = 0)
    {
        int i = -1;
        for (int k = 0; k <= nth; ++k) i = editor->getViewByTag(tag, i);
        return i < 0 ? nullptr : editor->getView(i);
    }
    // Pressed over the control (with `buttons`), released over it or away.
    void click(long tag, bool releasedInside = true, long buttons = kLButton)
    {
        CControl* control = view(tag);
        ASSERT_NE(control, nullptr) << tag;
        const CRect& r = control->getViewSize();
        CPoint in((r.left + r.right) / 2, (r.top + r.bottom) / 2), away(-100, -100);
        control->onMouseDown(in, buttons);
        if (buttons == kLButton) control->onMouseUp(releasedInside ? in : away, kLButton);
    }
    // Chooses the entry reached by the titles (sub-menus first) as a click in the pop-up does.
    bool choose(tonewright::CMyFileMenu* top, const std::vector<std::string>& titles)
    {
        COptionMenu* menu = top;
        for (size_t t = 0; menu && t < titles.size(); ++t) {
            long found = 0;
            while (found < menu->getNbEntries() && titles[t] != menu->getEntry(found)->getTitle()) ++found;
            if (found == menu->getNbEntries()) return false;
            if (t + 1 == titles.size()) return top->choose(menu, found);
            menu = menu->getSubMenu(found);
        }
        return false;
    }
    void idle(int times = 1) { while (times-- > 0) editor->idle(); }
    static std::string caption(const tonewright::CMyFileMenu* menu) { return menu->getText(); }
    std::string programName(int i) const { char n[32] = {}; effect.getProgramNameIndexed(0, i, n); return n; }
    std::string name() const { return editor->nameEdit->getText(); }
    void rename(const char* text) { editor->nameEdit->setText(text), editor->valueChanged(editor->nameEdit); }
    std::string sound(bool impulse) const { std::string n[2]; effect.getSoundNames(n[0], n[1]); return n[impulse]; }
    std::vector<double> play(double freq, double amplitude, double seconds)  // a sine through; the left output
    {
        const std::vector<double> x = testkit::sine(44100.0, freq, seconds, amplitude);
        std::vector<float> in(x.begin(), x.end()), left(in.size()), right(in.size());
        plugin.run(in.data(), nullptr, left.data(), right.data(), int(in.size()));
        return std::vector<double>(left.begin(), left.end());
    }
    double gain(double freq)  // dB, of a quiet sine on the left
    {
        const std::vector<double> y = play(freq, 0.05, 0.4);
        return testkit::dB(testkit::fitSine(y, y.size() / 2, y.size(), 44100.0, freq).amplitude / 0.05);
    }
};

using harness::midi, harness::send;

}  // namespace producttest
