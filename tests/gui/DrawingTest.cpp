// Exact pixels of a frame in a host window: the frame's background, a
// bitmap drawn from an offset, the film-strip image of an animated knob for
// three values, the one-pixel frame convention, and a hidden container
// showing its parent's background; folder entries that are not images
// passed over at once.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "GuiHarness.h"
#include "Promptly.h"

using namespace tonewright::guitest;

namespace {

constexpr uint32_t kBackBlue = 0x40;
constexpr uint32_t kViewBlue = 0x80;

// Strokes the frame of its own rectangle, one pixel wide.
class FramedView : public CView {
public:
    using CView::CView;
    void draw(CDrawContext* context) override
    {
        context->setFrameColor(kRedCColor);
        context->drawRect(CRect(size.left, size.top, size.right - 1, size.bottom - 1));
        setDirty(false);
    }
};

}  // namespace

TEST(Drawing, BitmapsFilmStripFramesAndAHiddenContainerShowExactPixels)
{
    TONEWRIGHT_NEED_X();
    BitmapFolder bitmaps;
    bitmaps.write(100, 200, 120, [](int x, int y) { return gridColour(x, y, kBackBlue); });
    bitmaps.write(101, 60, 40, [](int x, int y) { return gridColour(x, y, kViewBlue); });
    // Five 20 x 20 images; blue tells which.
    bitmaps.write(102, 20, 100, [](int x, int y) { return gridColour(x, y % 20, 0x10 * uint32_t(y / 20 + 1)); });

    HostWindow host(200, 120);
    auto* background = new CBitmap(100);
    auto* picture = new CBitmap(101);
    auto* strip = new CBitmap(102);
    ASSERT_TRUE(background->isLoaded() && picture->isLoaded() && strip->isLoaded());
    ASSERT_EQ(strip->getHeight(), 100);

    auto* frame = new CFrame(CRect(0, 0, 200, 120), host.handle(), nullptr);
    ASSERT_TRUE(frame->isOpen());
    frame->setBackground(background);
    auto* view = new CView(CRect(20, 10, 40, 30));
    view->setBackground(picture);
    view->setBackOffset(CPoint(7, 5));
    frame->addView(view);
    auto* knob = new CAnimKnob(CRect(60, 10, 80, 30), nullptr, 1, 5, 20, strip);
    frame->addView(knob);
    frame->addView(new FramedView(CRect(20, 50, 40, 70)));
    auto* container = new CViewContainer(CRect(100, 10, 180, 60), frame);
    container->setBackgroundColor(MakeCColor(255, 0, 255));
    auto* inner = new CView(CRect(10, 10, 30, 30));  // container coordinates
    inner->setBackground(picture);
    container->addView(inner);
    frame->addView(container);
    settle(frame);
    const Window w = frame->getWindow();

    EXPECT_EQ(pixel(w, 0, 0), gridColour(0, 0, kBackBlue));
    EXPECT_EQ(pixel(w, 199, 119), gridColour(199, 119, kBackBlue));
    for (int i : {0, 13, 19})
        EXPECT_EQ(pixel(w, 20 + i, 10 + i), gridColour(7 + i, 5 + i, kViewBlue)) << i;
    EXPECT_EQ(pixel(w, 40, 30), gridColour(40, 30, kBackBlue));

    const struct {
        float value;
        uint32_t blue;
    } images[] = {{0.0f, 0x10}, {0.5f, 0x30}, {1.0f, 0x50}, {0.3f, 0x20}};
    for (const auto& image : images) {
        knob->setValue(image.value);
        settle(frame);
        EXPECT_EQ(pixel(w, 60, 10), gridColour(0, 0, image.blue)) << image.value;
        EXPECT_EQ(pixel(w, 63, 27), gridColour(3, 17, image.blue)) << image.value;
    }

    // The frame covers its edge pixels and nothing inside or beyond.
    EXPECT_EQ(pixel(w, 20, 50), 0xFF0000u);
    EXPECT_EQ(pixel(w, 39, 50), 0xFF0000u);
    EXPECT_EQ(pixel(w, 39, 69), 0xFF0000u);
    EXPECT_EQ(pixel(w, 20, 69), 0xFF0000u);
    EXPECT_EQ(pixel(w, 40, 50), gridColour(40, 50, kBackBlue));
    EXPECT_EQ(pixel(w, 21, 51), gridColour(21, 51, kBackBlue));
    EXPECT_EQ(pixel(w, 20, 70), gridColour(20, 70, kBackBlue));

    EXPECT_EQ(pixel(w, 101, 11), 0xFF00FFu);
    EXPECT_EQ(pixel(w, 110, 20), gridColour(0, 0, kViewBlue));
    container->setVisible(false);
    settle(frame);
    EXPECT_EQ(pixel(w, 101, 11), gridColour(101, 11, kBackBlue));
    EXPECT_EQ(pixel(w, 110, 20), gridColour(110, 20, kBackBlue));
    container->setVisible(true);
    settle(frame);
    EXPECT_EQ(pixel(w, 101, 11), 0xFF00FFu);

    // A window covered and shown again is repainted from what was drawn.
    {
        HostWindow cover(200, 120);
    }
    settle(frame);
    EXPECT_EQ(pixel(w, 20, 10), gridColour(7, 5, kViewBlue));

    frame->forget();
    // Only the test's own references are left.
    EXPECT_EQ(background->getNbReference(), 1);
    EXPECT_EQ(picture->getNbReference(), 1);
    EXPECT_EQ(strip->getNbReference(), 1);
    background->forget();
    picture->forget();
    strip->forget();
}

TEST(Drawing, ABitmapFolderEntryThatIsNotARegularFileIsPassedOverAtOnce)
{
    BitmapFolder bitmaps;
    const std::filesystem::path folder = std::getenv("TONEWRIGHT_GUI_BITMAPS");
    ASSERT_TRUE(testkit::MakeFifo(folder / "7.png"));
    std::filesystem::create_directory(folder / "8.png");
    bitmaps.write(9, 3, 2, [](int x, int y) { return gridColour(x, y, kViewBlue); });
    for (long id : {7L, 8L}) {
        CBitmap* bitmap = nullptr;
        testing::internal::CaptureStderr();
        EXPECT_TRUE(testkit::ReturnsPromptly([&] { bitmap = new CBitmap(id); }, {folder / "7.png"})) << id;
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("Quarrystone TWR:: Cannot read " + (folder / "").string()), std::string::npos) << said;
        ASSERT_NE(bitmap, nullptr);
        EXPECT_FALSE(bitmap->isLoaded()) << id;
        bitmap->forget();
    }
    auto* regular = new CBitmap(9);
    EXPECT_TRUE(regular->isLoaded());
    EXPECT_EQ(regular->getWidth(), 3);
    regular->forget();
}
