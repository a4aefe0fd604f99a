#pragma once
// What the product editor's tests share: a support folder of the test's own
// (XDG_DATA_HOME pointed at a fresh folder while the object lives, so the
// plug-in installs its bank, preamps and cabinets there), the plug-in with
// its editor open without a window, clicks on buttons, choices in folder
// menus by their titles, MIDI through the host's call, and the level a sine
// comes out at.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "DspTestKit.h"
#include "PluginHarness.h"
#include "editor/EffectEditor.h"
#include "editor/ParameterNames.h"
#include "system/AtomicFile.h"

namespace producttest {

namespace fs = std::filesystem;

class SupportHome {
public:
    SupportHome()
    {
        static int counter = 0;
        root = harness::TestHome() / ("support-" + std::to_string(++counter));
        fs::remove_all(root);
        fs::create_directories(root / "Desktop");
        old = std::getenv("XDG_DATA_HOME");
        oldHome = std::getenv("HOME") ? std::getenv("HOME") : "/";
        ::setenv("XDG_DATA_HOME", (root / "share").c_str(), 1);
        ::setenv("HOME", root.c_str(), 1);
    }
    ~SupportHome()
    {
        ::setenv("XDG_DATA_HOME", old.c_str(), 1);
        ::setenv("HOME", oldHome.c_str(), 1);
    }
    fs::path support() const { return root / "share" / "Quarrystone" / "TWR"; }
    fs::path banks() const { return support() / "Banks"; }
    fs::path preamps() const { return support() / "Preamps"; }
    fs::path impulses() const { return support() / "Impulses"; }
    fs::path desktop() const { return root / "Desktop"; }

    fs::path root;

private:
    std::string old, oldHome;
};

inline std::string contents(const fs::path& file)
{
    std::string bytes;
    tonewright::system::ReadWholeFile(file, bytes);
    return bytes;
}

inline void write(const fs::path& file, const std::string& bytes)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

struct Product {
    SupportHome home;
    harness::Plugin plugin;
    tonewright::EffectEditor* editor = static_cast<tonewright::EffectEditor*>(plugin.effect().getEditor());
    tonewright::Effect& effect = plugin.effect();

    Product() { editor->open(nullptr); }
    ~Product() { editor->close(); }

    CControl* view(long tag, int nth = 0)
    {
        int i = -1;
        for (int k = 0; k <= nth; ++k) i = editor->getViewByTag(tag, i);
        return i < 0 ? nullptr : editor->getView(i);
    }
    // A click on the button: pressed and released over it (or released
    // outside, which cancels it).
    void click(long tag, bool releasedInside = true)
    {
        CControl* button = view(tag);
        ASSERT_NE(button, nullptr) << tag;
        const CRect& r = button->getViewSize();
        CPoint in((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        CPoint out(-100, -100);
        button->onMouseDown(in, kLButton);
        button->onMouseUp(releasedInside ? in : out, kLButton);
    }
    // Chooses the entry reached by the titles (sub-menus first), as a
    // click in the pop-up does.
    bool choose(tonewright::CMyFileMenu* top, const std::vector<std::string>& titles)
    {
        COptionMenu* menu = top;
        for (size_t t = 0; menu && t < titles.size(); ++t) {
            long found = -1;
            for (long i = 0; i < menu->getNbEntries() && found < 0; ++i)
                if (titles[t] == menu->getEntry(i)->getTitle()) found = i;
            if (found < 0) return false;
            if (t + 1 == titles.size()) return top->choose(menu, found);
            menu = menu->getSubMenu(found);
        }
        return false;
    }
    void idle(int times = 1)
    {
        for (int i = 0; i < times; ++i) editor->idle();
    }
    // The caption of the menu.
    static std::string caption(const tonewright::CMyFileMenu* menu) { return menu ? menu->getText() : "(none)"; }
    std::string programName(int i) const { return effect.programs[i].name; }

    // The level (dB) at which a sine of `freq` comes out on the left.
    double levelAt(double freq, double amplitude = 0.05)
    {
        const int n = 4410 * 4;
        const std::vector<double> x = testkit::sine(44100.0, freq, double(n) / 44100.0, amplitude);
        std::vector<float> in(x.begin(), x.end());
        std::vector<float> left(static_cast<size_t>(n)), right(static_cast<size_t>(n));
        plugin.run(in.data(), nullptr, left.data(), right.data(), n);
        const std::vector<double> y(left.begin(), left.end());
        return testkit::dB(testkit::fitSine(y, size_t(n / 2), size_t(n), 44100.0, freq).amplitude / amplitude);
    }
};

using harness::midi;
using harness::send;

}  // namespace producttest
