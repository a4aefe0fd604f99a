// The product editor on the X server: the offline host's window playing a sine (screenshots, kept in the
// build's tests/screenshots, compared with the skin's film strips), and a cabinet chosen by clicks, heard.

#include <gtest/gtest.h>

#include <cairo.h>

#include "EditorTestSupport.h"
#include "ProductTestSupport.h"
#include "common/WavFile.h"

using namespace producttest;
using namespace tonewright;

namespace {

const fs::path kSkin = fs::path(TONEWRIGHT_SOURCE_PATH) / "resources" / "skin";
const fs::path kShots = TONEWRIGHT_SCREENSHOT_PATH;

// Where a screenshot goes, its folder made.
fs::path shotFile(const char* name) { return fs::create_directories(kShots), kShots / name; }


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
    for (int f = 0; f < frames && strip.ok(); ++f) {
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
    p.editor->close();
    guitest::HostWindow window(579, 375);
    ASSERT_EQ(p.plugin.dispatch(effEditOpen, 0, 0, window.handle()), 1);
    CFrame* frame = p.editor->getFrame();
    auto until = [&](bool open) {
        return guitest::pump(frame, [&] { p.plugin.dispatch(effEditIdle); return frame->isMenuOpen() == open; });
    };
    const double before[] = {p.gain(1500), p.gain(4000)};
    // The impulse menu (bottom at 197), rows of 18 pixels from 2 below: the files in order, the fifth "Open 1x12 Stereo".
    ASSERT_TRUE(guitest::xdotool("mousemove 345 190 click 1") && until(true));
    std::system(("import -window root '" + shotFile("impulse-menu.png").string() + "' 2>/dev/null").c_str());
    ASSERT_TRUE(guitest::xdotool("mousemove 345 " + std::to_string(197 + 2 + 4 * 18 + 9) + " click 1") && until(false));
    EXPECT_EQ(p.sound(true), "Open 1x12 Stereo.wav");
    EXPECT_EQ(Product::caption(p.editor->impulseMenu), "Open 1x12 Stereo");
    EXPECT_GT(std::max(std::fabs(p.gain(1500) - before[0]), std::fabs(p.gain(4000) - before[1])), 1.0);
    p.plugin.dispatch(effEditClose);
}
