#pragma once
// What the product editor's tests share: a support folder of the test's own
// (XDG_DATA_HOME and HOME pointed into a fresh folder while the object
// lives, so the plug-in installs its files there) and the plug-in with its
// editor open without a window.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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
        for (auto& [name, value] : saved) value = std::getenv(name) ? std::getenv(name) : "/";
        ::setenv("XDG_DATA_HOME", (root / "share").c_str(), 1);
        ::setenv("HOME", root.c_str(), 1);
    }
    ~SupportHome() { for (const auto& [name, value] : saved) ::setenv(name, value.c_str(), 1); }
    fs::path support() const { return root / "share" / "Quarrystone" / "TWR"; }
    fs::path banks() const { return support() / "Banks"; }
    fs::path preamps() const { return support() / "Preamps"; }
    fs::path impulses() const { return support() / "Impulses"; }
    fs::path desktop() const { return root / "Desktop"; }

    fs::path root;

private:
    std::pair<const char*, std::string> saved[2] = {{"XDG_DATA_HOME", ""}, {"HOME", ""}};
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
    // Pressed and released over the button (or released outside: cancelled).
    void click(long tag, bool releasedInside = true)
    {
        CControl* button = view(tag);
        ASSERT_NE(button, nullptr) << tag;
        const CRect& r = button->getViewSize();
        CPoint in((r.left + r.right) / 2, (r.top + r.bottom) / 2), out(-100, -100);
        button->onMouseDown(in, kLButton);
        button->onMouseUp(releasedInside ? in : out, kLButton);
    }
    // Chooses the entry reached by the titles (sub-menus first) as a click
    // in the pop-up does.
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
    void idle(int times = 1) { while (times-- > 0) editor->idle(); }
    static std::string caption(const tonewright::CMyFileMenu* menu) { return menu ? menu->getText() : "(none)"; }
    std::string programName(int i) const { return effect.programs[i].name; }
    std::string name() const { return editor->nameEdit->getText(); }
    void rename(const char* text) { editor->nameEdit->setText(text); editor->valueChanged(editor->nameEdit); }
    // The preamp's and the impulse's names.
    std::pair<std::string, std::string> sounds()
    {
        std::pair<std::string, std::string> names;
        effect.getSoundNames(names.first, names.second);
        return names;
    }
    // A sine through the plug-in; the left output.
    std::vector<double> play(double freq, double amplitude, double seconds)
    {
        const std::vector<double> x = testkit::sine(44100.0, freq, seconds, amplitude);
        std::vector<float> in(x.begin(), x.end()), left(in.size()), right(in.size());
        plugin.run(in.data(), nullptr, left.data(), right.data(), int(in.size()));
        return std::vector<double>(left.begin(), left.end());
    }
    // The gain (dB) of a quiet sine of `freq` on the left.
    double levelAt(double freq)
    {
        const std::vector<double> y = play(freq, 0.05, 0.4);
        return testkit::dB(testkit::fitSine(y, y.size() / 2, y.size(), 44100.0, freq).amplitude / 0.05);
    }
};

using harness::midi;
using harness::send;

}  // namespace producttest
