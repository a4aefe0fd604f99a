// The toolkit without a window: control values from mouse calls made
// directly on a frame, film-strip images, pixel conventions of the drawing
// context on a bitmap, bitmaps found by id and refused when too large, and
// trees of many views taken down.

#include <gtest/gtest.h>

#include <cairo.h>

#include <cstring>
#include <vector>

#include "GuiHarness.h"

using namespace tonewright::guitest;

namespace {

struct Click {
    CFrame* frame;
    void down(double x, double y, long buttons = kLButton)
    {
        CPoint p(x, y);
        frame->onMouseDown(p, buttons);
    }
    void move(double x, double y, long buttons = kLButton)
    {
        CPoint p(x, y);
        frame->onMouseMoved(p, buttons);
    }
    void up(double x, double y, long buttons = kLButton)
    {
        CPoint p(x, y);
        frame->onMouseUp(p, buttons);
    }
};

uint32_t at(CBitmap* bitmap, int x, int y)
{
    cairo_surface_t* s = bitmap->getSurface();
    cairo_surface_flush(s);
    const auto* row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
    return reinterpret_cast<const uint32_t*>(row)[x];
}

}  // namespace

TEST(Controls, SwitchesMapTheMouseToPositionsAndKeepTheValueWithoutPositionsOrImageHeight)
{
    const struct {
        bool horizontal;
        long positions;
        double imageHeight;
        double along;  // pixels from the top (left)
        float expected;
    } cases[] = {
        {false, 3, 30, 0, 0.0f},     {false, 3, 30, 9, 0.0f},   {false, 3, 30, 10, 0.5f},
        {false, 3, 30, 29, 1.0f},    {false, 3, 30, -40, 0.0f}, {false, 3, 30, 90, 1.0f},
        {false, 1, 30, 25, 0.25f},   {false, 3, 0, 25, 0.25f},  {false, 0, 30, 25, 0.25f},
        {true, 4, 20, 0, 0.0f},      {true, 4, 20, 39, 1.0f / 3}, {true, 4, 20, 79, 1.0f},
        {true, 1, 20, 70, 0.25f},    {true, 4, 0, 70, 0.25f},
    };
    for (const auto& c : cases) {
        auto* frame = new CFrame(CRect(0, 0, 200, 200), nullptr, nullptr);
        RecordingEditor listener(nullptr, 1, 1, nullptr);
        const CRect rect(20, 30, 100, 60);  // 80 wide, 30 high
        CVerticalSwitch* control =
            c.horizontal ? new CHorizontalSwitch(rect, &listener, 3, c.positions, c.imageHeight, c.positions, nullptr)
                         : new CVerticalSwitch(rect, &listener, 3, c.positions, c.imageHeight, c.positions, nullptr);
        control->setValue(0.25f);
        frame->addView(control);
        Click click{frame};
        click.down(20, 30);  // the first position
        click.move(c.horizontal ? 20 + c.along : 50, c.horizontal ? 45 : 30 + c.along);
        click.up(0, 0);
        EXPECT_FLOAT_EQ(control->getValue(), c.expected)
            << c.horizontal << " " << c.positions << " " << c.imageHeight << " " << c.along;
        EXPECT_EQ(listener.log.front(), "begin 3");
        EXPECT_EQ(listener.log.back(), "end 3");
        frame->forget();
    }
}

TEST(Controls, FilmStripImageIsTheNearestForTheValueAndDisplayOnlyViewsLetClicksThrough)
{
    const struct {
        long images;
        float value;
        bool inverse;
        long expected;
    } cases[] = {{5, 0, false, 0}, {5, 0.5f, false, 2}, {5, 1, false, 4}, {4, 0.5f, false, 2}, {4, 0.49f, false, 1},
                 {5, 0, true, 4},  {5, 1, true, 0},     {1, 1, false, 0}, {5, 2, false, 4},    {5, -1, false, 0}};
    for (const auto& c : cases) {
        auto* knob = new CAnimKnob(CRect(0, 0, 10, 10), nullptr, 0, c.images, 10, nullptr);
        knob->setInverseBitmap(c.inverse);
        knob->setValue(c.value);
        EXPECT_EQ(knob->getImageIndex(), c.expected) << c.images << " " << c.value;
        knob->forget();
    }

    auto* frame = new CFrame(CRect(0, 0, 100, 100), nullptr, nullptr);
    RecordingEditor listener(nullptr, 1, 1, nullptr);
    auto* button = new COnOffButton(CRect(10, 10, 50, 50), &listener, 4, nullptr);
    frame->addView(button);
    frame->addView(new CVuMeter(CRect(10, 10, 50, 50), nullptr, nullptr, 8));
    frame->addView(new CParamDisplay(CRect(10, 10, 50, 50)));
    frame->addView(new CTextLabel(CRect(10, 10, 50, 50), "label"));
    frame->addView(new CMovieBitmap(CRect(10, 10, 50, 50), nullptr, 9, 3, 40, nullptr));
    Click{frame}.down(30, 30);
    EXPECT_FLOAT_EQ(button->getValue(), 1.0f);
    EXPECT_EQ(listener.log, (std::vector<std::string>{"begin 4", "value 4 1.0000", "end 4"}));
    frame->forget();
}

TEST(Controls, SlidersFollowTheHandleAndJumpToFreeClicks)
{
    BitmapFolder bitmaps;
    bitmaps.write(1, 10, 6, [](int, int) { return 0xFFFFFF; });
    auto* handle = new CBitmap(1);
    auto* frame = new CFrame(CRect(0, 0, 300, 300), nullptr, nullptr);
    RecordingEditor listener(nullptr, 1, 1, nullptr);
    // Form one: the handle's left edge from x 20 to x 120 in the frame.
    auto* horizontal = new CHorizontalSlider(CRect(20, 10, 130, 16), &listener, 1, 20, 120, handle, nullptr);
    // Form two, value 0 at the bottom: handle top from y 5 to 105 - 6 inside the slider.
    auto* vertical = new CVerticalSlider(CRect(200, 20, 210, 130), &listener, 2, CPoint(0, 5), 100, handle, nullptr);
    frame->addView(horizontal);
    frame->addView(vertical);
    Click click{frame};

    horizontal->setValue(0.5f);
    EXPECT_EQ(horizontal->getHandleRect(), CRect(70, 10, 80, 16));
    click.down(72, 12);  // on the handle, 2 from its edge
    click.move(92, 12);
    click.up(92, 12);
    EXPECT_FLOAT_EQ(horizontal->getValue(), 0.7f);
    click.down(45, 12);  // off the handle: its middle comes here
    click.up(45, 12);
    EXPECT_FLOAT_EQ(horizontal->getValue(), 0.2f);
    click.down(45, 12, kLButton | kShift);
    click.move(95, 12, kLButton | kShift);  // 50 pixels, ten times finer
    click.up(95, 12);
    EXPECT_NEAR(horizontal->getValue(), 0.25f, 1e-6f);
    click.down(45, 12, kLButton | kControl);
    EXPECT_FLOAT_EQ(horizontal->getValue(), 0.5f);

    vertical->setValue(0);
    EXPECT_EQ(vertical->getHandleRect(), CRect(200, 119, 210, 125));
    vertical->setValue(1);
    EXPECT_EQ(vertical->getHandleRect(), CRect(200, 25, 210, 31));
    click.down(205, 27);
    click.move(205, 74);
    click.up(205, 74);
    EXPECT_FLOAT_EQ(vertical->getValue(), 0.5f);
    frame->forget();
    EXPECT_EQ(handle->getNbReference(), 1);
    handle->forget();
}

TEST(Drawing, ContextCoversThePixelsItSaysOnABitmap)
{
    auto* target = new CBitmap(20, 20);
    {
        CDrawContext context(target);
        context.setFillColor(kBlueCColor);
        context.drawRect(CRect(0, 0, 20, 20), kDrawFilled);
        context.setOffset(CPoint(2, 3));  // as a container moves its children
        context.setFillColor(kGreenCColor);
        context.drawRect(CRect(0, 0, 4, 4), kDrawFilled);
        context.setFrameColor(kRedCColor);
        context.drawRect(CRect(6, 0, 10, 5));
        context.drawLine(CPoint(0, 10), CPoint(5, 10));
        context.setClipRect(CRect(0, 12, 3, 14));
        context.setFillColor(kWhiteCColor);
        context.drawRect(CRect(0, 12, 10, 16), kDrawFilled);
    }
    const uint32_t blue = 0xFF0000FF, green = 0xFF00FF00, red = 0xFFFF0000, white = 0xFFFFFFFF;
    EXPECT_EQ(at(target, 2, 3), green);
    EXPECT_EQ(at(target, 5, 6), green);
    EXPECT_EQ(at(target, 6, 7), blue);
    EXPECT_EQ(at(target, 8, 3), red);   // stroked: both edge columns and rows
    EXPECT_EQ(at(target, 12, 3), red);
    EXPECT_EQ(at(target, 12, 8), red);
    EXPECT_EQ(at(target, 13, 3), blue);
    EXPECT_EQ(at(target, 9, 4), blue);  // inside
    EXPECT_EQ(at(target, 2, 13), red);  // a line covers both ends
    EXPECT_EQ(at(target, 7, 13), red);
    EXPECT_EQ(at(target, 8, 13), blue);
    EXPECT_EQ(at(target, 4, 15), white);  // the clip
    EXPECT_EQ(at(target, 5, 16), blue);
    EXPECT_EQ(at(target, 4, 17), blue);
    target->forget();
}

TEST(Bitmaps, FoundByIdInTheFolderBeforeTheLocatorAndEmptyWhenMissing)
{
    // PNG bytes of a 3 x 2 image, made by cairo.
    std::vector<unsigned char> png;
    {
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 3, 2);
        cairo_surface_write_to_png_stream(
            s,
            [](void* out, const unsigned char* data, unsigned int n) {
                auto* bytes = static_cast<std::vector<unsigned char>*>(out);
                bytes->insert(bytes->end(), data, data + n);
                return CAIRO_STATUS_SUCCESS;
            },
            &png);
        cairo_surface_destroy(s);
    }
    struct Locator : CResourceLocator {
        std::vector<unsigned char>* png;
        bool findPNG(long id, const unsigned char** data, size_t* size) override
        {
            if (id != 5) return false;
            *data = png->data();
            *size = png->size();
            return true;
        }
    } locator;
    locator.png = &png;
    CBitmap::setResourceLocator(&locator);
    auto* fromLocator = new CBitmap(5);
    EXPECT_TRUE(fromLocator->isLoaded());
    EXPECT_EQ(fromLocator->getWidth(), 3);
    EXPECT_EQ(fromLocator->getHeight(), 2);
    auto* missing = new CBitmap(6);
    EXPECT_FALSE(missing->isLoaded());
    EXPECT_EQ(missing->getWidth(), 0);
    {
        BitmapFolder folder;
        folder.write(5, 7, 4, [](int, int) { return 0; });
        auto* fromFolder = new CBitmap(5);
        EXPECT_EQ(fromFolder->getWidth(), 7);
        fromFolder->forget();
    }
    // Bytes that are no PNG: empty.
    png.assign(40, 0x55);
    auto* broken = new CBitmap(5);
    EXPECT_FALSE(broken->isLoaded());
    CBitmap::setResourceLocator(nullptr);
    for (CBitmap* b : {fromLocator, missing, broken}) b->forget();
}

TEST(Bitmaps, ImagesLargerThanTheBoundAreRefusedBeforeDecodingAndTheirViewsDrawWithoutThem)
{
    BitmapFolder folder;
    // One-bit images: small to make and to store whatever their size.
    const auto writeMask = [&](int w, int h) {
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_A1, w, h);
        ASSERT_EQ(cairo_surface_write_to_png(s, folder.path(9).c_str()), CAIRO_STATUS_SUCCESS);
        cairo_surface_destroy(s);
    };
    constexpr int side = CBitmap::kLargestSide;
    constexpr long pixels = CBitmap::kLargestPixelCount;
    static_assert(side >= 16384 && pixels >= 4096 * 4096);  // the skin's images fit many times over
    struct Case {
        int w, h;
        bool loads;
    };
    for (const Case c : {Case{12000, 12000, false}, {side + 1, 1, false}, {1, side + 1, false},
                         {side, int(pixels / side) + 1, false}, {side, 1, true}, {1, side, true},
                         {side, int(pixels / side), true}}) {
        writeMask(c.w, c.h);
        testing::internal::CaptureStderr();
        auto* bitmap = new CBitmap(9);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(bitmap->isLoaded(), c.loads) << c.w << " x " << c.h;
        EXPECT_EQ(bitmap->getWidth(), c.loads ? c.w : 0);
        EXPECT_EQ(bitmap->getHeight(), c.loads ? c.h : 0);
        EXPECT_EQ(said.rfind("Quarrystone TWR:: ", 0) == 0, !c.loads) << said;
        bitmap->forget();
    }
    // A view with a refused image: the frame's colour shows through it.
    writeMask(12000, 12000);
    testing::internal::CaptureStderr();
    auto* refused = new CBitmap(9);
    testing::internal::GetCapturedStderr();
    auto* frame = new CFrame(CRect(0, 0, 20, 20), nullptr, nullptr);
    frame->setBackgroundColor(kGreenCColor);
    auto* view = new CView(CRect(5, 5, 15, 15));
    view->setBackground(refused);
    frame->addView(view);
    auto* target = new CBitmap(20, 20);
    {
        CDrawContext context(target);
        frame->draw(&context);
    }
    EXPECT_EQ(at(target, 10, 10), 0xFF00FF00u);
    frame->forget();
    EXPECT_EQ(refused->getNbReference(), 1);
    for (CBitmap* b : {refused, target}) b->forget();
}

// 10^5 views: a container cleared, a frame deleted, a container of the frame
// taken out. Taking a tree down is linear in its views: a quadratic one
// takes minutes, which the test's timeout catches.
TEST(Views, ManyViewsAreTakenDownWithEveryReferenceGivenBack)
{
    constexpr long n = 100000;
    auto* kept = new CView(CRect(0, 0, 1, 1));
    const auto fill = [&](CViewContainer* container) {
        container->addView(kept);
        kept->remember();
        for (long i = 1; i < n; ++i) container->addView(new CView(CRect(i % 100, i / 1000, i % 100 + 1, i / 1000 + 1)));
    };
    auto* container = new CViewContainer(CRect(0, 0, 100, 100), nullptr);
    fill(container);
    EXPECT_EQ(container->getNbViews(), n);
    container->removeAll();
    EXPECT_EQ(container->getNbViews(), 0);
    EXPECT_EQ(kept->getNbReference(), 1);
    EXPECT_FALSE(kept->isAttached());

    auto* frame = new CFrame(CRect(0, 0, 100, 100), nullptr, nullptr);
    fill(frame);
    auto* inner = new CViewContainer(CRect(0, 0, 100, 100), frame);
    frame->addView(inner);
    for (long i = 0; i < n; ++i) inner->addView(new CView(CRect(0, 0, 1, 1)));
    inner->remember();
    frame->removeView(inner);
    EXPECT_EQ(frame->getNbViews(), n);
    EXPECT_EQ(inner->getFrame(), nullptr);
    inner->forget();
    frame->forget();
    EXPECT_EQ(kept->getNbReference(), 1);
    container->forget();
    kept->forget();
}

TEST(Menus, EntriesSeparatorsSubMenusAndChoicesKeepTheirReferences)
{
    RecordingEditor listener(nullptr, 1, 1, nullptr);
    auto* menu = new COptionMenu(CRect(0, 0, 50, 20), &listener, 7);
    auto* sub = new COptionMenu(CRect(0, 0, 50, 20), &listener, 7);
    menu->addEntry("A");
    menu->addEntry("-");
    menu->addEntry(sub, "Sub");
    sub->addEntry("S0");
    EXPECT_EQ(sub->getNbReference(), 2);
    EXPECT_TRUE(menu->getEntry(1)->isSeparator());
    EXPECT_EQ(menu->getSubMenu(2), sub);
    EXPECT_EQ(menu->getCurrentIndex(), 0);
    EXPECT_TRUE(menu->setCurrent(1, false));  // the second entry that is no separator
    EXPECT_EQ(menu->getCurrentIndex(), 2);
    menu->setValue(9);
    char title[256] = "x";
    EXPECT_EQ(menu->getCurrent(title), -1);
    EXPECT_STREQ(title, "");

    EXPECT_FALSE(menu->choose(menu, 1));  // a separator
    EXPECT_FALSE(menu->choose(menu, 2));  // a sub-menu
    EXPECT_TRUE(menu->choose(sub, 0));
    EXPECT_EQ(listener.log, (std::vector<std::string>{"begin 7", "value 7 0.0000", "end 7"}));
    EXPECT_TRUE(menu->removeAllEntry());
    EXPECT_EQ(sub->getNbReference(), 1);
    sub->forget();
    menu->forget();
}

TEST(Controls, WheelAndArrowKeysStepKnobsAndSlidersAsOneEditFinerWithShift)
{
    BitmapFolder bitmaps;
    bitmaps.write(1, 10, 6, [](int, int) { return 0xFFFFFF; });
    auto* handle = new CBitmap(1);
    RecordingEditor listener(nullptr, 1, 1, nullptr);
    CKnob knob(CRect(0, 0, 40, 40), &listener, 1, nullptr, handle);
    CHorizontalSlider slider(CRect(0, 0, 110, 6), &listener, 2, 0, 100, handle, nullptr);
    // The wheel turned by a distance (answered true) or a key (what onKeyDown answers); Shift is ten times finer.
    const struct { float wheel; unsigned char key, modifier; float expected; long answer; } steps[] = {
        {1, 0, 0, 0.6f, 1},
        {-3, 0, 0, 0.3f, 1},
        {1, 0, MODIFIER_SHIFT, 0.31f, 1},
        {0, VKEY_UP, 0, 0.41f, 1},
        {0, VKEY_LEFT, MODIFIER_SHIFT, 0.40f, 1},
        {0, VKEY_SPACE, 0, 0.40f, -1},  // not ours
        {20, 0, 0, 1.0f, 1}};           // held at the top
    for (CControl* control : std::initializer_list<CControl*>{&knob, &slider}) {
        control->setValue(0.5f);
        for (const auto& s : steps) {
            VstKeyCode key{0, s.key, s.modifier};
            EXPECT_EQ(s.key ? control->onKeyDown(key) : long(control->onWheel(CPoint(), s.wheel, s.modifier ? kShift : 0)), s.answer);
            EXPECT_NEAR(control->getValue(), s.expected, 1e-5f) << control->getTag();
            EXPECT_FALSE(control->isEditing());
        }
    }
    handle->forget();
}
