// Exact pixels of the editor in a host window: the highlight and learn
// frames over a knob's artwork, a knob's film-strip image for three values,
// a hidden page showing its parent's background, the flash button's two
// images.

#include <gtest/gtest.h>

#include "EditorTestSupport.h"
#include "PluginHarness.h"
#include "editor/EffectEditor.h"

using namespace tonewright::editortest;
using tonewright::guitest::gridColour;
using tonewright::guitest::pixel;
using tonewright::guitest::settle;

namespace {

constexpr uint32_t kPanelBlue = 0x20, kPageBlue = 0x60;

}  // namespace

TEST(EditorPixels, FramesKnobImagesPagesAndTheFlashButton)
{
    TONEWRIGHT_NEED_X();
    TestSkin skin;
    skin.write(1, 579, 375, [](int x, int y) { return gridColour(x, y, kPanelBlue); });
    skin.write(2, 100, 100, [](int x, int y) { return gridColour(x, y, kPageBlue); });
    // Three 20 x 20 knob images told apart by blue.
    skin.write(3, 20, 60, [](int x, int y) { return gridColour(x, y % 20, 0x10 * uint32_t(y / 20 + 1)); });
    // The flash button's images: lit above, dark below.
    skin.write(4, 30, 20, [](int, int y) { return y < 10 ? 0xFFFF00u : 0x404000u; });
    skin.description(R"(<skin>
        <CGViewContainer x=0 y=0 width=579 height=375 background=1>
            <CMyAnimKnob x=10 y=10 width=20 height=20 tag=kParamGain subpixmaps=3 heightofoneimage=20 background=3/>
            <Page x=100 y=100 width=100 height=100 tag=kGUIMoreScreen pagenum=1 background=2>
                <CMyAnimKnob x=10 y=10 width=20 height=20 tag=kParamBass subpixmaps=3 heightofoneimage=20 background=3/>
            </Page>
            <CFlashButton x=300 y=10 width=30 height=10 tag=kGUIParamPresetSaveButton background=4/>
        </CGViewContainer>
    </skin>)");
    harness::Plugin plugin;
    auto* editor = static_cast<EffectEditor*>(plugin.effect().getEditor());
    guitest::HostWindow host(579, 375);
    ASSERT_EQ(plugin.dispatch(effEditOpen, 0, 0, host.handle()), 1);
    CFrame* frame = editor->getFrame();
    ASSERT_TRUE(frame && frame->isOpen());
    const Window w = frame->getWindow();
    auto idle = [&] { settle(frame); };

    // Knob images for 0, 0.5 and 1, whole and from the strip's origin.
    for (const auto& [value, blue] : {std::pair{0.0f, 0x10u}, {0.5f, 0x20u}, {1.0f, 0x30u}}) {
        plugin.set(5, value);
        plugin.dispatch(effEditIdle);
        idle();
        EXPECT_EQ(pixel(w, 10, 10), gridColour(0, 0, blue)) << value;
        EXPECT_EQ(pixel(w, 29, 29), gridColour(19, 19, blue)) << value;
        EXPECT_EQ(pixel(w, 30, 30), gridColour(30, 30, kPanelBlue)) << value;
    }

    // Highlight (red, code 0): the control's edge pixels only.
    editor->SetControlHighlight(6, 1, 0);
    idle();
    for (auto [x, y] : {std::pair{10, 10}, {29, 10}, {10, 29}, {29, 29}, {20, 10}}) EXPECT_EQ(pixel(w, x, y), 0xFF0000u) << x << "," << y;
    EXPECT_EQ(pixel(w, 11, 11), gridColour(1, 1, 0x30));
    EXPECT_EQ(pixel(w, 9, 9), gridColour(9, 9, kPanelBlue));
    // Learning (magenta) covers the outer two rings, the highlight with them.
    editor->SetControlLearning(5, 1, 1);
    idle();
    for (auto [x, y] : {std::pair{10, 10}, {11, 11}, {28, 28}, {29, 29}, {11, 20}}) EXPECT_EQ(pixel(w, x, y), 0xFF00FFu) << x << "," << y;
    EXPECT_EQ(pixel(w, 12, 12), gridColour(2, 2, 0x30));
    EXPECT_EQ(pixel(w, 27, 27), gridColour(17, 17, 0x30));
    editor->SetControlLearning(5, 0, 0);
    editor->SetControlHighlight(6, 0, 0);
    idle();
    EXPECT_EQ(pixel(w, 10, 10), gridColour(0, 0, 0x30));
    EXPECT_EQ(pixel(w, 11, 11), gridColour(1, 1, 0x30));

    // The hidden page shows the panel behind it; shown, its own background
    // and its knob.
    EXPECT_EQ(pixel(w, 100, 100), gridColour(100, 100, kPanelBlue));
    EXPECT_EQ(pixel(w, 115, 115), gridColour(115, 115, kPanelBlue));
    plugin.set(7, 0.0f);
    plugin.effect().setParameter(111, 1.0f);
    idle();
    EXPECT_EQ(pixel(w, 100, 100), gridColour(0, 0, kPageBlue));
    EXPECT_EQ(pixel(w, 115, 115), gridColour(5, 5, 0x10));
    plugin.effect().setParameter(111, 0.0f);
    idle();
    EXPECT_EQ(pixel(w, 100, 100), gridColour(100, 100, kPanelBlue));

    // The flash button: dark (lower image), lit (upper), dark again. The
    // editor's clock stands still, so idle blinks it no more.
    editor->setClock([] { return std::chrono::steady_clock::time_point(std::chrono::seconds(1)); });
    plugin.effect().setProgramModified(false);
    plugin.dispatch(effEditIdle);
    idle();
    auto* flash = dynamic_cast<CFlashButton*>(editor->getView(editor->getViewByTag(87, -1)));
    ASSERT_NE(flash, nullptr);
    EXPECT_EQ(pixel(w, 300, 10), 0x404000u);
    flash->setFlash(true);
    idle();
    EXPECT_EQ(pixel(w, 300, 10), 0xFFFF00u);
    EXPECT_EQ(pixel(w, 329, 19), 0xFFFF00u);
    flash->setFlash(false);
    idle();
    EXPECT_EQ(pixel(w, 329, 19), 0x404000u);
    EXPECT_EQ(pixel(w, 330, 20), gridColour(330, 20, kPanelBlue));

    plugin.dispatch(effEditClose);
}
