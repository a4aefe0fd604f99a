// The product editor on the X server: the offline host's window playing a sine (screenshots, kept in the
// build's tests/screenshots, compared with the skin's film strips), and a cabinet chosen by clicks, heard.

#include <gtest/gtest.h>

#include <cairo.h>

#include <array>

#include "EditorTestSupport.h"
#include "ProductTestSupport.h"
#include "common/WavFile.h"
#include "gui/MenuPopup.h"
#include "plugin/PresetXml.h"
#include "system/FileDialog.h"

using namespace producttest;
using namespace tonewright;

namespace {

const fs::path kSkin = fs::path(TONEWRIGHT_SOURCE_PATH) / "resources" / "skin";
const fs::path kShots = TONEWRIGHT_SCREENSHOT_PATH;

// Where a screenshot goes, its folder made.
fs::path shotFile(const char* name) { return fs::create_directories(kShots), kShots / name; }


// A PNG of the window (0: the whole screen, pop-up menus and all) in the shots' folder; true when it was written.
bool screenshot(Window window, const std::string& name)
{
    fs::create_directories(kShots);
    const std::string which = window ? std::to_string(window) : "root";
    return std::system(("import -window " + which + " '" + (kShots / name).string() + "' 2>/dev/null").c_str()) == 0;
}

struct Png {
    explicit Png(const fs::path& file) : surface(cairo_image_surface_create_from_png(file.c_str())) {}
    ~Png() { cairo_surface_destroy(surface); }
    Png(const Png&) = delete;
    bool ok() const { return cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS; }
    uint32_t argb(int x, int y) const
    {
        return reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface))[x];
    }
    uint32_t at(int x, int y) const { return argb(x, y) & 0xFFFFFF; }
    cairo_surface_t* surface;
};

// The one image of film strip `id` (`frames` images `h` tall) the shot shows exactly at (x, y) where opaque, or -1.
int shownFrame(const Png& shot, int x, int y, int w, int h, long id, int frames)
{
    const Png strip(kSkin / (std::to_string(id) + ".png"));
    int shown = -1, exact = 0;
    for (int f = 0; f < frames && strip.ok() && shot.ok(); ++f) {
        int differ = 0;
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i)
                differ += strip.argb(i, f * h + j) >> 24 == 0xFF && shot.at(x + i, y + j) != (strip.argb(i, f * h + j) & 0xFFFFFF);
        exact += differ == 0;
        shown = differ == 0 ? f : shown;
    }
    return exact == 1 ? shown : -1;
}

// The host's editor with a second of sine looped (whole cycles: no seam); `clicks` xdotool work on its window $W.
void host(const SupportHome& home, double amplitude, const char* shot, double seconds, const std::string& options,
          const std::string& clicks)
{
    AudioClip c{44100.0, 1, {testkit::sine(44100.0, 110.0, 1.0, amplitude)}};
    ASSERT_TRUE(writeWavFloat((home.root / "in.wav").string(), c));
    write(home.root / "drive.sh", std::string("'") + TONEWRIGHT_HOST_PATH + "' --editor --seconds " + std::to_string(seconds) +
                                      " --screenshot '" + shotFile(shot).string() + "' " + options + " '" + TONEWRIGHT_VST_PATH +
                                      "' '" + (home.root / "in.wav").string() + "' > /dev/null & pid=$!\n" +
                                      "W=$(timeout 10 xdotool search --sync --name '^tonewright-host' | head -n 1)\n" + clicks +
                                      "\nwait $pid");
    const harness::CommandResult r = harness::runCommand("bash '" + (home.root / "drive.sh").string() + "'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
}

// The product's editor, opened without a window when it was made, opened
// again as a host opens it: in the host's window.
bool openInHostWindow(Product& p, guitest::HostWindow& window)
{
    p.editor->close();
    return p.plugin.dispatch(effEditOpen, 0, 0, window.handle()) == 1;
}

}  // namespace

TEST(ProductHost, ScreenshotsOfThePanelsWithASinePlaying)
{
    TONEWRIGHT_NEED_X();
    TONEWRIGHT_NEED_XDOTOOL();
    SupportHome home;
    const std::string more = "sleep 0.5; xdotool mousemove --window $W 540 20 click 1";
    // The learn gesture on the gain knob arms it: its magenta frame.
    host(home, 0.6, "main.png", 2.0, "",
         "sleep 0.5; xdotool mousemove --window $W 262 128 keydown shift keydown alt click 1 keyup alt keyup shift");
    host(home, 0.6, "more.png", 3.0, "", more);
    host(home, 4.0, "more-clipping.png", 2.5, "--param 30=1", more);
    const Png main(kShots / "main.png"), page(kShots / "more.png"), clipping(kShots / "more-clipping.png");
    ASSERT_TRUE(main.ok() && page.ok() && clipping.ok());
    // The armed frame, two pixels of magenta on the knob's edge, and the panel around it as the skin draws it.
    for (const auto& [x, y] : {std::pair{242, 108}, {243, 109}, {281, 147}, {262, 108}})
        EXPECT_EQ(main.at(x, y), 0xFF00FFu) << x << "," << y;
    EXPECT_NE(main.at(244, 110), 0xFF00FFu);
    EXPECT_EQ(main.at(5, 60), Png(kSkin / "100.png").at(5, 60));
    // The labels the window shows are the skin's (SUSTAIN; SWEEP and DEPTH, STYLE and TYPE...): the bands of labels
    // above the dynamics' and the modulations' controls show the background the generator painted them into.
    const Png background(kSkin / "100.png");
    int differ = 0;
    for (const auto& [x0, x1, y0, y1] : {std::array{4, 230, 103, 114}, {5, 575, 282, 293}, {5, 575, 325, 336}})
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) differ += main.at(x, y) != background.at(x, y);
    EXPECT_EQ(differ, 0);
    // The More page (at y 42), A at -4.4 dBFS: the needle within 3 cents of the middle (images 22..28 of 51), the
    // note in red, the input meter at its third light, the output meter lit.
    const int needle = shownFrame(page, 26, 82, 280, 124, 142, 51);
    EXPECT_TRUE(needle >= 22 && needle <= 28) << needle;
    int red = 0;
    for (int y = 110; y < 150; ++y)
        for (int x = 320; x < 380; ++x) red += ((page.at(x, y) >> 16) & 0xFF) > 0xA0 && ((page.at(x, y) >> 8) & 0xFF) < 0x40;
    EXPECT_GT(red, 20);
    EXPECT_EQ(shownFrame(page, 414, 96, 126, 14, 140, 4), 2);
    EXPECT_GE(shownFrame(page, 414, 148, 126, 14, 140, 4), 1);
    // Driven over full scale: the clip light lit, the meter at its top.
    EXPECT_EQ(shownFrame(clipping, 414, 198, 14, 14, 141, 2), 1);
    EXPECT_EQ(shownFrame(clipping, 414, 96, 126, 14, 140, 4), 3);
}

TEST(ProductHost, ACabinetChosenInTheMenuOpenedByAClickIsHeard)
{
    TONEWRIGHT_NEED_X();
    TONEWRIGHT_NEED_XDOTOOL();
    Product p;
    guitest::HostWindow window(579, 375);
    ASSERT_TRUE(openInHostWindow(p, window));
    CFrame* frame = p.editor->getFrame();
    auto until = [&](bool open) {
        return guitest::pump(frame, [&] { p.plugin.dispatch(effEditIdle); return frame->isMenuOpen() == open; });
    };
    const double before[] = {p.gain(1500), p.gain(4000)};
    // The impulse menu (bottom at 197), rows of 18 pixels from 2 below: the files in order, the fifth "Open 1x12 Stereo".
    ASSERT_TRUE(guitest::xdotool("mousemove 345 190 click 1") && until(true));
    screenshot(0, "impulse-menu.png");
    ASSERT_TRUE(guitest::xdotool("mousemove 345 " + std::to_string(197 + 2 + 4 * 18 + 9) + " click 1") && until(false));
    EXPECT_EQ(p.sound(true), "Open 1x12 Stereo.wav");
    EXPECT_EQ(Product::caption(p.editor->impulseMenu), "Open 1x12 Stereo");
    EXPECT_GT(std::max(std::fabs(p.gain(1500) - before[0]), std::fabs(p.gain(4000) - before[1])), 1.0);
    p.plugin.dispatch(effEditClose);
}

namespace {

// Columns of the shot's red ink (a display's text) in the rows and columns given: first and last, -1 for none.
std::pair<int, int> redInk(const Png& shot, int x0, int x1, int y0, int y1)
{
    int first = -1, last = -1;
    for (int x = x0; x < x1; ++x)
        for (int y = y0; y < y1; ++y)
            if (((shot.at(x, y) >> 16) & 0xFF) > 0xA0 && ((shot.at(x, y) >> 8) & 0xFF) < 0x60) {
                first = first < 0 ? x : first;
                last = x;
            }
    return {first, last};
}

}  // namespace

TEST(ProductHost, TheNameFieldTakesTheKeysInTheHostsWindowSelectsAllWithCtrlAAndKeepsItsCaretInView)
{
    TONEWRIGHT_NEED_X();
    TONEWRIGHT_NEED_XDOTOOL();
    SupportHome home;
    // The name field lies at (219, 22), 97 x 16. Typed on past its end: the caret and the last characters stay in it.
    const std::string field = "sleep 0.5; xdotool mousemove --window $W 267 30 click 1; sleep 0.2; ";
    host(home, 0.3, "name-typing.png", 2.5, "", field + "xdotool key End type --delay 15 ' and a longer tail'");
    const Png typing(kShots / "name-typing.png");
    ASSERT_TRUE(typing.ok());
    int caret = -1;  // a column of red from 2 below the field's top to 3 above its bottom
    for (int x = 219; x < 316; ++x) {
        bool whole = true;
        for (int y = 24; y <= 35 && whole; ++y) whole = ((typing.at(x, y) >> 16) & 0xFF) > 0xA0 && ((typing.at(x, y) >> 8) & 0xFF) < 0x60;
        if (whole) caret = x;
    }
    EXPECT_GE(caret, 300);
    EXPECT_LE(caret, 315);
    EXPECT_GE(redInk(typing, caret - 7, caret, 26, 34).first, 0);  // the last character, just before it
    // Ctrl+A, a name, Return; saved into the program, then the bank into its file.
    host(home, 0.3, "name-saved.png", 3.0, "",
         field + "xdotool key ctrl+a type --delay 15 'My Tone'; xdotool key Return; sleep 0.2; "
                 "xdotool mousemove --window $W 343 30 click 1; sleep 0.3; xdotool mousemove --window $W 367 12 click 1");
    auto programs = std::make_unique<EffectProgram[]>(kNumPrograms);
    ASSERT_TRUE(LoadBankFromXML(programs.get(), (home.banks() / "QS Factory.xml").c_str()));
    EXPECT_STREQ(programs[0].name, "My Tone");
}

TEST(ProductHost, LongNamesShowTheirStartInTheNameFieldAndTheBankMenu)
{
    TONEWRIGHT_NEED_X();
    Product p;
    const std::string bank = "Quote's \"double\" über alles";
    write(p.home.banks() / (bank + ".xml"), contents(p.home.banks() / "QS Factory.xml"));
    guitest::HostWindow window(579, 375);
    ASSERT_TRUE(openInHostWindow(p, window));
    ASSERT_TRUE(p.choose(p.editor->bankMenu, {bank}));
    ASSERT_TRUE(p.choose(p.editor->presetMenu, {"099 - Dotted Eighth Lead"}));
    for (int i = 0; i < 10; ++i) p.plugin.dispatch(effEditIdle), guitest::settle(p.editor->getFrame());
    ASSERT_TRUE(screenshot(window.id(), "long-names.png"));
    const Png shot(kShots / "long-names.png");
    ASSERT_TRUE(shot.ok());
    // The name whole in the program, its start and "..." in the field (97 wide from 219): no column cut at either edge.
    EXPECT_EQ(p.name(), "Dotted Eighth Lead");
    const auto [left, right] = redInk(shot, 219, 316, 23, 37);
    EXPECT_GT(left, 219);
    EXPECT_LT(right, 315);
    EXPECT_GT(right - left, 70);
    // The bank's caption likewise, with room for the menu's arrow (166 + 149 - 20).
    const std::string caption = Product::caption(p.editor->bankMenu);
    EXPECT_TRUE(caption.starts_with("Quote's") && caption.ends_with("...")) << caption;
    const auto [from, to] = redInk(shot, 166, 315, 6, 18);
    EXPECT_GT(from, 166);
    EXPECT_LT(to, 166 + 149 - 20);
    p.plugin.dispatch(effEditClose);
}

TEST(ProductHost, AFailureShowsOverTheHeaderForAFewSecondsThenThePanelIsAsBefore)
{
    TONEWRIGHT_NEED_X();
    Product p;
    write(p.home.banks() / "Broken.xml", "<TWRBank>\n<TWRPreset name=\"cut");
    guitest::HostWindow window(579, 375);
    ASSERT_TRUE(openInHostWindow(p, window));
    auto time = std::chrono::steady_clock::time_point(std::chrono::hours(1));
    p.editor->setClock([&] { return time; });
    CFrame* frame = p.editor->getFrame();
    const auto shown = [&] { for (int i = 0; i < 3; ++i) p.plugin.dispatch(effEditIdle), guitest::settle(frame); };
    shown();
    // Points of the bank's caption, the buttons and the box's corners.
    const std::pair<int, int> points[] = {{170, 12}, {367, 12}, {460, 30}, {165, 4}, {573, 37}, {570, 35}};
    std::vector<uint32_t> before;
    for (auto [x, y] : points) before.push_back(guitest::pixel(frame->getWindow(), x, y));
    testing::internal::CaptureStderr();
    ASSERT_TRUE(p.choose(p.editor->bankMenu, {"Broken"}));
    testing::internal::GetCapturedStderr();
    shown();
    ASSERT_TRUE(screenshot(window.id(), "message.png"));
    const Png shot(kShots / "message.png");
    ASSERT_TRUE(shot.ok());
    // A dark box from (165, 4) to (573, 37) with a dark red edge, the line in red on it, one row or two.
    EXPECT_EQ(shot.at(165, 4), 0x781812u);
    EXPECT_EQ(shot.at(573, 37), 0x781812u);
    EXPECT_EQ(shot.at(570, 35), 0x0E0A09u);
    const auto [left, right] = redInk(shot, 166, 573, 5, 37);
    EXPECT_LT(left, 175);
    EXPECT_GT(right, 400);
    EXPECT_EQ(p.editor->messageLine->getText().rfind("Invalid XML in Broken.xml, line 2: the file ends inside a tag", 0), 0u);
    // Six seconds on, the panel as it was.
    time += std::chrono::seconds(6);
    shown();
    for (size_t i = 0; i < std::size(points); ++i)
        EXPECT_EQ(guitest::pixel(frame->getWindow(), points[i].first, points[i].second), before[i]) << i;
    p.plugin.dispatch(effEditClose);
}

TEST(ProductHost, AFolderOfTwoThousandImpulsesScrollsWithinTheScreenAndKeysAndMouseReachItsLastEntries)
{
    TONEWRIGHT_NEED_X();
    TONEWRIGHT_NEED_XDOTOOL();
    Product p;
    system::ScriptedFileDialogs dialogs;
    ASSERT_TRUE(writeWavPcm24((p.home.root / "ir.wav").string(), AudioClip{44100.0, 1, {testkit::sine(44100.0, 1000.0, 0.002, 0.5)}}));
    const std::string ir = contents(p.home.root / "ir.wav");
    for (int i = 1; i <= 2000; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "IR %04d.wav", i);
        write(p.home.impulses() / "Big" / name, ir);
    }
    guitest::HostWindow window(579, 375);
    ASSERT_TRUE(openInHostWindow(p, window));
    CFrame* frame = p.editor->getFrame();
    const auto until = [&](const std::function<bool()>& done) {
        return guitest::pump(frame, [&] { p.plugin.dispatch(effEditIdle); return done(); });
    };
    const auto levels = [&] { return frame->getMenuPopup() ? frame->getMenuPopup()->describe() : std::vector<CMenuPopup::LevelInfo>{}; };
    constexpr long kEntries = 2003, kLoad = 2001, kImport = 2002;  // the files, "-", "Load Impulse...", "Import..."
    // The impulse menu (bottom at 197) below its control; "Big" its first row, under the pointer its sub-menu opens beside it.
    const auto openBig = [&] {
        EXPECT_TRUE(guitest::xdotool("mousemove 345 190 click 1") && until([&] { return frame->isMenuOpen(); }));
        EXPECT_TRUE(guitest::xdotool("mousemove 345 208") && until([&] { return levels().size() == 2; }));
        return levels();
    };
    auto shown = openBig();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_TRUE(screenshot(0, "impulse-2000.png"));
    const CMenuPopup::LevelInfo top = shown[0], big = shown[1];
    EXPECT_TRUE(!top.scrolls && top.y == 197);
    EXPECT_TRUE(big.scrolls && big.first == 0 && big.visible > 20);
    Display* d = guitest::testDisplay();
    const int width = DisplayWidth(d, DefaultScreen(d)), height = DisplayHeight(d, DefaultScreen(d));
    EXPECT_TRUE(big.x >= 0 && big.x + big.width <= width && big.y >= 0 && big.y + big.height <= height);
    EXPECT_LE(big.width, width / 2);
    EXPECT_TRUE(big.x >= top.x + top.width || big.x + big.width <= top.x);  // beside its parent, not under the pointer
    const long last = kEntries - big.visible;  // the first row shown at the end
    const auto lit = [&](long row) { return until([&] { return levels().size() == 2 && levels()[1].highlighted == row; }); };
    // Keys in the sub-menu: Down lights the first file, Page Down a page on, End the last entry in view, Up the one before.
    EXPECT_TRUE(guitest::xdotool("key Down") && lit(0));
    EXPECT_TRUE(guitest::xdotool("key Next") && lit(big.visible - 1));
    EXPECT_TRUE(guitest::xdotool("key End") && lit(kImport));
    EXPECT_EQ(levels()[1].first, last);
    EXPECT_TRUE(guitest::xdotool("key Home") && lit(0) && guitest::xdotool("key End Up") && lit(kLoad));
    dialogs.CancelNext();
    EXPECT_TRUE(guitest::xdotool("key Return") && until([&] { return !frame->isMenuOpen(); }));
    ASSERT_EQ(dialogs.Requests().size(), 1u);
    EXPECT_EQ(dialogs.Requests().back().title, "Load Impulse");
    // The mouse: resting on the lower arrow scrolls; the wheel to the end; a click on the last file plays it.
    openBig();
    EXPECT_TRUE(guitest::xdotool("mousemove " + std::to_string(big.x + big.width / 2) + " " + std::to_string(big.y + big.height - 8)));
    EXPECT_TRUE(until([&] { return levels().size() == 2 && levels()[1].first > 5; }));
    EXPECT_TRUE(guitest::xdotool("mousemove " + std::to_string(big.x + 40) + " " + std::to_string(big.y + 40) +
                                 " click --repeat 800 --delay 1 5"));
    EXPECT_TRUE(until([&] { return levels().size() == 2 && levels()[1].first == last; }));
    const auto rowY = [&](long row) { return std::to_string(big.y + CMenuPopup::kBorder + CMenuPopup::kArrowHeight + (row - last) * 18 + 9); };
    EXPECT_TRUE(guitest::xdotool("mousemove " + std::to_string(big.x + 40) + " " + rowY(1999) + " click 1") &&
                until([&] { return !frame->isMenuOpen(); }));
    EXPECT_EQ(p.sound(true), "IR 2000.wav");
    // What plays is current: the folder above, its file in view with its mark; the closing command by a click.
    shown = openBig();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].highlighted, 0);
    EXPECT_TRUE(shown[1].first <= 1999 && 1999 < shown[1].first + shown[1].visible) << shown[1].first;
    EXPECT_EQ(p.editor->impulseMenu->getSubMenu(0)->getCurrentIndex(), 1999);
    dialogs.CancelNext();
    EXPECT_TRUE(guitest::xdotool("mousemove " + std::to_string(big.x + 40) + " " + std::to_string(big.y + 40) +
                                 " click --repeat 100 --delay 1 5") && until([&] { return levels()[1].first == last; }));
    EXPECT_TRUE(guitest::xdotool("mousemove " + std::to_string(big.x + 40) + " " + rowY(kImport) + " click 1") &&
                until([&] { return !frame->isMenuOpen(); }));
    EXPECT_EQ(dialogs.Requests().back().title, "Import Impulse");
    p.plugin.dispatch(effEditClose);
}

TEST(ProductHost, ControlsShowTheTruthTheClipLightTheTunersNoteThePressedButtonsAndEveryArmedControl)
{
    TONEWRIGHT_NEED_X();
    TONEWRIGHT_NEED_XDOTOOL();
    Product p;
    guitest::HostWindow window(579, 375);
    ASSERT_TRUE(openInHostWindow(p, window));
    CFrame* frame = p.editor->getFrame();
    const Window w = frame->getWindow();
    auto time = std::chrono::steady_clock::time_point(std::chrono::hours(1));
    p.editor->setClock([&] { return time; });
    const auto idle = [&] { time += std::chrono::milliseconds(60), p.plugin.dispatch(effEditIdle), guitest::settle(frame); };
    const auto shot = [&](const char* name) { return screenshot(window.id(), name), std::make_unique<Png>(kShots / name); };
    // The clip light: dark before any audio (the host still hears the timer's start), lit by a clipping sample, dark
    // again once 0.1 s of audio went by without one (the echoes' tails die away first).
    idle();
    EXPECT_EQ(p.effect.getClipLedStatus(), 1.0f);
    EXPECT_EQ(shownFrame(*shot("clip-before.png"), 546, 236, 14, 14, 141, 2), 0);
    p.plugin.set(30, 1.0f);
    p.play(110.0, 4.0, 0.05), idle();
    EXPECT_EQ(shownFrame(*shot("clip-lit.png"), 546, 236, 14, 14, 141, 2), 1);
    for (int i = 0; i < 50 && p.effect.getClipLedStatus() == 1.0f; ++i) p.play(110.0, 0.0, 0.2);
    idle();
    EXPECT_EQ(shownFrame(*shot("clip-after.png"), 546, 236, 14, 14, 141, 2), 0);

    // The invisible buttons darken while pressed over them, and only then; released away they do nothing.
    for (const auto& [x, y] : {std::pair{367, 12}, {461, 12}, {438, 30}, {484, 30}, {543, 21}}) {
        const uint32_t before = guitest::pixel(w, x - 15, y - 4);
        ASSERT_TRUE(guitest::xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y) + " mousedown 1"));
        idle();
        const uint32_t pressed = guitest::pixel(w, x - 15, y - 4);
        for (int shift : {16, 8, 0}) {
            const double ratio = double((pressed >> shift) & 0xFF) / std::max(1u, (before >> shift) & 0xFF);
            EXPECT_NEAR(ratio, 1.0 - nPageSelect::kPressedShade / 255.0, 0.05) << x << "," << y;
        }
        if (x == 367) shot("button-pressed.png");
        ASSERT_TRUE(guitest::xdotool("mousemove 300 200"));
        idle();
        EXPECT_EQ(guitest::pixel(w, x - 15, y - 4), before) << x << "," << y;
        ASSERT_TRUE(guitest::xdotool("mouseup 1"));
        idle();
    }
    EXPECT_FALSE(p.editor->isMoreScreenShown() || p.editor->isDialogOpen());

    // Every control of a parameter shows it is armed: magenta at its corners, the one armed before back as it was. The
    // learn gesture itself on a button and a switch; the others through the same call their mouse makes.
    for (const auto& [x, y] : {std::pair{25, 85}, {206, 86}}) {
        ASSERT_TRUE(guitest::xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y) +
                                     " keydown shift keydown alt click 1 keyup alt keyup shift"));
        idle();
        EXPECT_EQ(guitest::pixel(w, x > 100 ? 191 : 14, x > 100 ? 71 : 79), 0xFF00FFu) << x;
    }
    shot("switch-armed.png");
    CRect before;
    for (long tag = 0; tag < 80; ++tag) {
        CControl* control = p.view(tag);
        ASSERT_NE(control, nullptr) << tag;
        EXPECT_EQ(p.editor->controlModifierClicked(control, kShift | kAlt | kLButton), 1) << tag;
        idle();
        const CRect r = control->getFrameRect();
        for (const auto& [x, y] : {std::pair{r.left, r.top}, {r.right - 1, r.top}, {r.left, r.bottom - 1}, {r.right - 1, r.bottom - 1}})
            EXPECT_EQ(guitest::pixel(w, int(x), int(y)), 0xFF00FFu) << tag << " at " << x << "," << y;
        if (tag > 0) {
            EXPECT_NE(guitest::pixel(w, int(before.left), int(before.top)), 0xFF00FFu) << tag - 1;
        }
        before = r;
    }
    EXPECT_EQ(p.effect.midiLearnTarget(), 79);

    // The tuner's note is a display: a click and typing change nothing.
    p.click(kGUIParamMoreButton), idle();
    ASSERT_TRUE(p.editor->isMoreScreenShown());
    auto* note = dynamic_cast<CTextEdit*>(p.view(kGUITunerKeyDisplay));
    ASSERT_NE(note, nullptr);
    const std::string shown = note->getText();
    ASSERT_TRUE(guitest::xdotool("mousemove 350 130 click 1 type --delay 5 XYZ"));
    idle();
    EXPECT_FALSE(note->isEditingText());
    EXPECT_EQ(frame->getFocusView(), nullptr);
    EXPECT_EQ(note->getText(), shown);
    p.plugin.dispatch(effEditClose);
}
