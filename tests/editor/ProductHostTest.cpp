// The product editor on the X server as a user meets it: the offline host's
// window with a clip playing (screenshots of the panels whose tuner, meters
// and clip light are compared pixel for pixel with the skin's film strips),
// and folder menus opened by a click. Screenshots stay in the build's
// tests/screenshots folder.

#include <gtest/gtest.h>

#include <cairo.h>

#include "EditorTestSupport.h"
#include "ProductTestSupport.h"
#include "common/WavFile.h"

using namespace producttest;
using namespace tonewright;

#define NEED_X_AND_XDOTOOL()                                                                   \
    TONEWRIGHT_NEED_X();                                                                       \
    if (std::system("command -v xdotool >/dev/null") != 0) GTEST_SKIP() << "no xdotool"; \
    fs::create_directories(kShots)

namespace {

const fs::path kSkin = fs::path(TONEWRIGHT_SOURCE_PATH) / "resources" / "skin";
const fs::path kShots = TONEWRIGHT_SCREENSHOT_PATH;

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

// The one image of the skin's film strip `id` (`frames` images `h` tall)
// that the shot's rectangle at (x, y) shows exactly where the strip is
// opaque, or -1.
int shownFrame(const Png& shot, int x, int y, int w, int h, long id, int frames)
{
    const Png strip(kSkin / (std::to_string(id) + ".png"));
    int shown = -1, exact = 0;
    for (int f = 0; f < frames && strip.ok(); ++f) {
        int differ = 0;
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i)
                differ += strip.argb(i, f * h + j) >> 24 == 0xFF && shot.at(x + i, y + j) != (strip.argb(i, f * h + j) & 0xFFFFFF);
        if (differ == 0) ++exact, shown = f;
    }
    return exact == 1 ? shown : -1;
}

// A one-second clip of whole cycles, so that it loops without a seam.
fs::path clip(const fs::path& file, std::initializer_list<std::pair<double, double>> tones)
{
    AudioClip c{44100.0, 1, {std::vector<double>(44100, 0.0)}};
    for (const auto& [freq, amplitude] : tones) {
        const std::vector<double> s = testkit::sine(44100.0, freq, 1.0, amplitude);
        for (size_t i = 0; i < s.size(); ++i) c.samples[0][i] += s[i];
    }
    EXPECT_TRUE(writeWavFloat(file.string(), c));
    return file;
}

// Runs the host's editor with the clip; `clicks` is xdotool work on the
// window $W once it shows.
void host(const SupportHome& home, const fs::path& in, const fs::path& out, const char* shot, double seconds,
          const std::string& options, const std::string& clicks)
{
    write(home.root / "drive.sh", std::string("'") + TONEWRIGHT_HOST_PATH + "' --editor --seconds " + std::to_string(seconds) +
                                      " --screenshot '" + (kShots / shot).string() + "' " + options + " '" + TONEWRIGHT_VST_PATH +
                                      "' '" + in.string() + "' " + (out.empty() ? "" : "'" + out.string() + "'") +
                                      " > /dev/null & pid=$!\nW=$(timeout 10 xdotool search --sync --name '^tonewright-host' | "
                                      "head -n 1)\n" + clicks + "\nwait $pid");
    const harness::CommandResult r = harness::runCommand("bash '" + (home.root / "drive.sh").string() + "'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
}

}  // namespace

TEST(ProductHost, ScreenshotsOfThePanelsWithASinePlaying)
{
    NEED_X_AND_XDOTOOL();
    SupportHome home;
    const fs::path sine = clip(home.root / "a110.wav", {{110.0, 0.6}}), hot = clip(home.root / "hot.wav", {{110.0, 4.0}});
    const std::string more = "sleep 0.5; xdotool mousemove --window $W 540 20 click 1";
    // The learn gesture on the gain knob arms it: its magenta frame.
    host(home, sine, {}, "main.png", 2.0, "",
         "sleep 0.5; xdotool mousemove --window $W 262 128 keydown shift keydown alt click 1 keyup alt keyup shift");
    host(home, sine, {}, "more.png", 3.0, "", more);
    host(home, hot, {}, "more-clipping.png", 2.5, "--param 30=1", more);
    const Png main(kShots / "main.png"), page(kShots / "more.png"), clipping(kShots / "more-clipping.png");
    ASSERT_TRUE(main.ok() && page.ok() && clipping.ok());
    // The armed frame, two pixels of magenta on the knob's edge, and the
    // panel around it as the skin draws it.
    for (const auto& [x, y] : {std::pair{242, 108}, {243, 109}, {281, 147}, {262, 108}})
        EXPECT_EQ(main.at(x, y), 0xFF00FFu) << x << "," << y;
    EXPECT_NE(main.at(244, 110), 0xFF00FFu);
    EXPECT_EQ(main.at(5, 60), Png(kSkin / "100.png").at(5, 60));
    // The More page (at y 42): the needle within 3 cents of the middle
    // (images 22..28 of 51), the note in red, the input meter at its third
    // light, the output meter lit.
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
    NEED_X_AND_XDOTOOL();
    SupportHome home;
    const fs::path tones = clip(home.root / "tones.wav", {{1500.0, 0.03}, {4000.0, 0.03}}), out = home.root / "out.wav";
    // The impulse menu (its bottom at 197), then its sixth row: "Open 1x12.wav".
    host(home, tones, out, "cabinet-chosen.png", 4.5, "",
         "sleep 2; xdotool mousemove --window $W 345 190 click 1; sleep 0.4; import -window root '" +
             (kShots / "impulse-menu.png").string() + "' 2>/dev/null; xdotool mousemove --window $W 345 298 click 1");
    AudioClip rendered;
    std::string error;
    ASSERT_TRUE(readWav(out.string(), rendered, error)) << error;
    ASSERT_GT(rendered.frames(), 44100 * 4);
    auto level = [&](double from, double freq) {
        return testkit::dB(testkit::fitSine(rendered.samples[0], size_t(from * 44100), size_t((from + 0.5) * 44100), 44100.0, freq).amplitude);
    };
    for (double freq : {1500.0, 4000.0}) EXPECT_NEAR(level(0.5, freq), level(1.0, freq), 0.1) << freq;
    EXPECT_GT(std::max(std::fabs(level(3.5, 1500.0) - level(1.0, 1500.0)), std::fabs(level(3.5, 4000.0) - level(1.0, 4000.0))), 1.0);
}

TEST(ProductHost, AMenuOpenedByAClickListsTheSupportFolder)
{
    NEED_X_AND_XDOTOOL();
    Product p;
    p.editor->close();
    guitest::HostWindow window(579, 375);
    ASSERT_EQ(p.plugin.dispatch(effEditOpen, 0, 0, window.handle()), 1);
    CFrame* frame = p.editor->getFrame();
    auto until = [&](bool open) {
        return guitest::pump(frame, [&] { p.plugin.dispatch(effEditIdle); return frame->isMenuOpen() == open; });
    };
    // Rows of 18 pixels from 2 below the menu: the folder's files in order.
    ASSERT_TRUE(guitest::xdotool("mousemove 345 190 click 1") && until(true));
    ASSERT_TRUE(guitest::xdotool("mousemove 345 " + std::to_string(197 + 2 + 4 * 18 + 9) + " click 1") && until(false));
    EXPECT_EQ(p.sounds().second, "Open 1x12 Stereo.wav");
    EXPECT_EQ(Product::caption(p.editor->impulseMenu), "Open 1x12 Stereo");
    // The bank menu, then Escape.
    ASSERT_TRUE(guitest::xdotool("mousemove 240 12 click 1") && until(true));
    std::system(("import -window root '" + (kShots / "bank-menu.png").string() + "' 2>/dev/null").c_str());
    ASSERT_TRUE(guitest::xdotool("key Escape") && until(false));
    p.plugin.dispatch(effEditClose);
}
