// The plug-in's editor in the offline host's window, worked with xdotool as
// a user would: a knob dragged, a switch and an on/off button clicked, the
// Shift+Alt learn gesture; the host must hear every change as automation
// of a parameter (index < 80) inside begin and end edit, and the gesture
// must not toggle. A menu of a parameter, chosen in the editor opened in
// this process, likewise. Window ids that name no window open nothing; a
// host that destroys its window under the open editor lives on.

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <cairo.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "EditorTestSupport.h"
#include "PluginHarness.h"
#include "editor/EffectEditor.h"

using namespace tonewright::editortest;

namespace {

const char* const kPanel = R"(<skin>
    <CGViewContainer x=0 y=0 width=579 height=375 background=1>
        <CMyAnimKnob x=20 y=20 width=40 height=40 tag=kParamGain subpixmaps=3 heightofoneimage=40 background=2/>
        <CMyVerticalSwitch x=100 y=20 width=20 height=30 tag=kParamPowerType subpixmaps=3 heightofoneimage=30 maxpositions=3 background=3/>
        <CMyOnOffButton x=150 y=20 width=20 height=20 tag=kParamReverbBypass background=4/>
        <COptionMenu x=200 y=20 width=80 height=20 tag=kParamReverbType/>
    </CGViewContainer>
</skin>)";

void writePanel(TestSkin& skin)
{
    skin.description(kPanel);
    skin.solid(1, 579, 375, 0x202830);
    skin.write(2, 40, 120, [](int, int y) { return 0x300000u * uint32_t(y / 40 + 1); });
    skin.write(3, 20, 90, [](int, int y) { return 0x003000u * uint32_t(y / 30 + 1); });
    skin.write(4, 20, 40, [](int, int y) { return y < 20 ? 0x000040u : 0x0000C0u; });
}

// The host's printed calls: every automation lies inside begin and end of
// its own index, and only parameters are automated. Returns the automated
// values by index.
std::map<int, std::vector<double>> checkGestures(const std::string& printed)
{
    std::map<int, std::vector<double>> values;
    std::istringstream lines(printed);
    int open = -1;
    for (std::string word; lines >> word;) {
        if (word == "editor") {
            std::getline(lines, word);
            continue;
        }
        int index = -1;
        lines >> index;
        EXPECT_TRUE(index >= 0 && index < 80) << word << " " << index;
        if (word == "beginEdit") {
            EXPECT_EQ(open, -1) << "nested gesture at " << index;
            open = index;
        } else if (word == "endEdit") {
            EXPECT_EQ(open, index);
            open = -1;
        } else if (word == "automate") {
            double value = -1;
            lines >> value;
            EXPECT_EQ(open, index) << "automation outside a gesture";
            values[index].push_back(value);
        } else {
            ADD_FAILURE() << "unexpected line " << word;
        }
    }
    EXPECT_EQ(open, -1);
    return values;
}

uint32_t pngPixel(const std::string& path, int x, int y)
{
    cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
    uint32_t value = 0xFFFFFFFF;
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS && x < cairo_image_surface_get_width(s) &&
        y < cairo_image_surface_get_height(s))
        value = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(s) +
                                                  y * cairo_image_surface_get_stride(s))[x] & 0xFFFFFF;
    cairo_surface_destroy(s);
    return value;
}

}  // namespace

TEST(EditorHost, DragsAndClicksInTheHostWindowReachTheHostAsGesturesOfParameters)
{
    TONEWRIGHT_NEED_X();
    TONEWRIGHT_NEED_XDOTOOL();
    TestSkin skin;
    writePanel(skin);
    const std::filesystem::path dir = harness::TestHome() / "editor-host";
    std::filesystem::create_directories(dir);
    const std::string out = (dir / "calls.txt").string(), shot = (dir / "shot.png").string();
    const std::string script =
        std::string("'") + TONEWRIGHT_HOST_PATH + "' --editor --seconds 5 --screenshot '" + shot + "' '" +
        TONEWRIGHT_VST_PATH + "' > '" + out +
        "' & pid=$!\n"
        "W=$(timeout 10 xdotool search --sync --name '^tonewright-host' | head -n 1)\n"
        "sleep 0.3\n"
        "x() { xdotool \"$@\"; sleep 0.15; }\n"
        "x mousemove --window $W 40 40; x mousedown 1; x mousemove --window $W 40 30\n"
        "x mousemove --window $W 40 10; x mouseup 1\n"
        "x mousemove --window $W 110 25; x click 1\n"
        "x mousemove --window $W 160 30; x click 1\n"
        "x keydown shift; x keydown alt; x click 1\n"
        "x mousemove --window $W 40 40; x click 1; x keyup alt; x keyup shift\n"
        "wait $pid";
    const std::string scriptFile = (dir / "drive.sh").string();
    {
        std::FILE* f = std::fopen(scriptFile.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs(script.c_str(), f);
        std::fclose(f);
    }
    const harness::CommandResult r = harness::runCommand("bash '" + scriptFile + "'");
    const harness::CommandResult printed = harness::runCommand("cat '" + out + "'");
    ASSERT_NE(printed.out.find("editor    579 x 375"), std::string::npos) << printed.out << r.err;
    const auto values = checkGestures(printed.out);

    ASSERT_TRUE(values.count(5));
    const std::vector<double>& knob = values.at(5);
    ASSERT_GE(knob.size(), 1u);
    for (size_t i = 1; i < knob.size(); ++i) EXPECT_GT(knob[i], knob[i - 1]);  // dragged up: rising
    ASSERT_TRUE(values.count(11));
    EXPECT_EQ(values.at(11), std::vector<double>{1.0});  // the switch's top position
    // One toggle: the Shift+Alt click went to learning instead.
    ASSERT_TRUE(values.count(74));
    EXPECT_EQ(values.at(74).size(), 1u);
    EXPECT_EQ(values.size(), 3u);

    // The knob armed for learning shows its magenta frame in the window.
    EXPECT_EQ(pngPixel(shot, 20, 20), 0xFF00FFu);
    EXPECT_EQ(pngPixel(shot, 21, 21), 0xFF00FFu);
    EXPECT_EQ(pngPixel(shot, 10, 10), 0x202830u);
}

TEST(EditorHost, AMenuOfAParameterSendsItsEntryAcrossZeroToOne)
{
    TONEWRIGHT_NEED_X();
    TestSkin skin;
    writePanel(skin);
    harness::Plugin plugin;
    auto* editor = static_cast<tonewright::EffectEditor*>(plugin.effect().getEditor());
    guitest::HostWindow host(579, 375);
    ASSERT_EQ(plugin.dispatch(effEditOpen, 0, 0, host.handle()), 1);
    auto* menu = dynamic_cast<COptionMenu*>(editor->getView(editor->getViewByTag(75, -1)));
    ASSERT_NE(menu, nullptr);
    for (const char* entry : {"Hall", "Club", "Room"}) menu->addEntry(entry);
    CFrame* frame = editor->getFrame();
    auto idle = [&] { plugin.dispatch(effEditIdle); };

    // Rows of 18 pixels from 2 below the control's bottom (40).
    for (const auto& [row, value] : {std::pair{2, 1.0f}, {1, 0.5f}, {0, 0.0f}}) {
        harness::Host::instance().clear();
        ASSERT_TRUE(guitest::xdotool("mousemove 240 30 click 1"));
        ASSERT_TRUE(guitest::pump(frame, [&] { idle(); return frame->isMenuOpen(); }));
        ASSERT_TRUE(guitest::xdotool("mousemove 240 " + std::to_string(40 + 2 + row * 18 + 9) + " click 1"));
        ASSERT_TRUE(guitest::pump(frame, [&] { idle(); return !frame->isMenuOpen(); }));
        EXPECT_FLOAT_EQ(plugin.get(75), value) << row;
        std::vector<std::string> calls;
        for (const auto& c : harness::Host::instance().calls())
            if (c.opcode == audioMasterBeginEdit || c.opcode == audioMasterEndEdit || c.opcode == audioMasterAutomate)
                calls.push_back(std::to_string(c.opcode) + " " + std::to_string(c.index) + " " + std::to_string(c.opt));
        EXPECT_EQ(calls, (std::vector<std::string>{"43 75 0.000000", "0 75 " + std::to_string(value), "44 75 0.000000"}))
            << row;
        // The effect's value comes back as the menu's entry.
        EXPECT_EQ(menu->getCurrentIndex(), row);
    }
    plugin.set(75, 0.5f);
    idle();
    EXPECT_EQ(menu->getCurrentIndex(), 1);
    plugin.dispatch(effEditClose);
}

TEST(EditorHost, OpeningInAWindowIdThatNamesNoWindowFailsAndChangesNothing)
{
    TONEWRIGHT_NEED_X();
    harness::Plugin plugin;
    auto* editor = static_cast<tonewright::EffectEditor*>(plugin.effect().getEditor());
    Display* d = guitest::testDisplay();
    const Pixmap pixmap = XCreatePixmap(d, DefaultRootWindow(d), 4, 4, 24);
    XSync(d, False);
    const std::vector<uintptr_t> ids = {0, 1, ~uintptr_t{0}, 0xdeadbeef, 0x1ffffff0, pixmap};
    const auto refused = [&](const char* when) {
        for (const uintptr_t id : ids) {
            testing::internal::CaptureStderr();
            EXPECT_EQ(plugin.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(id)), 0) << when << id;
            const std::string said = testing::internal::GetCapturedStderr();
            EXPECT_EQ(said.rfind("Quarrystone TWR:: ", 0), 0u) << when << id << ": " << said;
            plugin.dispatch(effEditIdle);
        }
    };
    refused("closed ");
    EXPECT_FALSE(editor->isOpen());
    plugin.dispatch(effEditClose);
    // Open in a window, the editor stays there.
    guitest::HostWindow host(579, 375);
    ASSERT_EQ(plugin.dispatch(effEditOpen, 0, 0, host.handle()), 1);
    const Window window = editor->getFrame()->getWindow();
    refused("open ");
    ASSERT_TRUE(editor->isOpen());
    EXPECT_EQ(editor->getFrame()->getWindow(), window);
    XSync(d, False);
    EXPECT_EQ(guitest::children(host.id()), std::vector<Window>{window});
    plugin.dispatch(effEditClose);
    XFreePixmap(d, pixmap);
}

TEST(EditorHost, AHostThatDestroysItsWindowUnderTheProductsEditorLivesOnAndExitsNormally)
{
    TONEWRIGHT_NEED_X();
    for (const char* steps : {"mfhiidiicq", "dicq", "idmfhiq", "idccq"}) {
        // The child never returns, so the plug-in is left to its effClose.
        EXPECT_EQ(guitest::hostileHost(steps, [] { return (new harness::Plugin)->aeffect(); }), 0) << steps;
    }
}
