// Texts wider than their views, without a window: fitted to show their start
// and "..." on character boundaries, as wide as cairo itself measures them;
// a text edit that scrolls so that its caret and the characters before it
// stay in view, selects all with Ctrl+A and with Shift and the arrows.

#include <gtest/gtest.h>

#include <cairo.h>

#include <algorithm>
#include <string>
#include <vector>

#include "GuiHarness.h"

namespace {

// The fitting done by cairo alone, prefix by prefix from the longest.
double advance(const std::string& text)
{
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* cr = cairo_create(s);
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 12);
    cairo_font_options_t* o = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(o, CAIRO_HINT_METRICS_ON);
    cairo_set_font_options(cr, o);
    cairo_font_options_destroy(o);
    cairo_text_extents_t e;
    cairo_text_extents(cr, text.c_str(), &e);
    cairo_destroy(cr);
    cairo_surface_destroy(s);
    return e.x_advance;
}

std::string expectedFit(const std::string& text, double width)
{
    std::vector<size_t> starts;
    for (size_t i = 0; i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) starts.push_back(i);
    if (advance(text) <= width || starts.size() <= 4) return text;
    for (size_t k = starts.size() - 4; k > 1; --k)
        if (advance(text.substr(0, starts[k]) + "...") <= width) return text.substr(0, starts[k]) + "...";
    return text.substr(0, starts[1]) + "...";
}

// The columns holding red ink (red on black), first and last; -1 for none.
std::pair<int, int> inked(CBitmap* b, int rowFrom, int rowTo)
{
    cairo_surface_t* s = b->getSurface();
    cairo_surface_flush(s);
    int first = -1, last = -1;
    for (int x = 0; x < b->getWidth(); ++x)
        for (int y = rowFrom; y < rowTo; ++y) {
            const uint32_t p = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s))[x];
            if (((p >> 16) & 0xFF) > 0x40) {
                if (first < 0) first = x;
                last = x;
            }
        }
    return {first, last};
}

bool inkBetween(CBitmap* b, int from, int to)
{
    cairo_surface_t* s = b->getSurface();
    cairo_surface_flush(s);
    for (int x = std::max(0, from); x <= to && x < b->getWidth(); ++x)
        for (int y = 3; y < b->getHeight() - 3; ++y)
            if (((reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s))[x] >> 16) & 0xFF) > 0x40)
                return true;
    return false;
}

// The caret: a column of pure font colour from 2 below the top to 3 above the bottom.
int caretColumn(CBitmap* b)
{
    cairo_surface_t* s = b->getSurface();
    cairo_surface_flush(s);
    for (int x = 0; x < b->getWidth(); ++x) {
        bool whole = true;
        for (int y = 2; y <= b->getHeight() - 3 && whole; ++y)
            whole = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s))[x] == 0xFFFF0000;
        if (whole) return x;
    }
    return -1;
}

void press(CTextEdit& edit, VstInt32 character, unsigned char virt = 0, unsigned char modifier = 0)
{
    VstKeyCode key{character, virt, modifier};
    edit.onKeyDown(key);
}

}  // namespace

TEST(Text, FittedToItsWidthFromItsStartOnCharacterBoundaries)
{
    CDrawContext measuring;
    measuring.setFont(kNormalFont);
    const std::pair<std::string, double> cases[] = {{"Dotted Eighth Lead", 97}, {"Quote's \"double\" über alles", 120},
        {"ÄÖÜäöüßÄÖÜäöüßÄÖÜ", 50}, {"Classic Rock Rhythm", 60}, {"Short", 200}, {"Wide", 1}, {"Wider", 1}, {"", 0}};
    for (const auto& [text, width] : cases) {
        const std::string fitted = measuring.fitString(text, width);
        EXPECT_EQ(fitted, expectedFit(text, width)) << text << " in " << width;
        EXPECT_NEAR(measuring.getStringWidth(fitted.c_str()), advance(fitted), 1e-9) << fitted;
    }
    EXPECT_EQ(measuring.fitString("Wider", 1), "W...");
}

TEST(Text, TooWideItShowsItsStartWhileEditedItsCaretAndItSelectsAllWithCtrlA)
{
    auto* target = new CBitmap(100, 16);
    CTextEdit edit(CRect(0, 0, 100, 16), nullptr, 85, "Dotted Eighth Lead");
    edit.setFontColor(kRedCColor);
    edit.setFrameColor(kBlackCColor);
    const auto drawn = [&] {
        CDrawContext context(target);
        edit.draw(&context);
    };
    // Centred as it fits after the cut: nothing clipped at either end.
    drawn();
    const std::string shown = expectedFit("Dotted Eighth Lead", 100);
    ASSERT_TRUE(shown.ends_with("..."));
    const auto [left, right] = inked(target, 0, 16);
    EXPECT_NEAR(right - left + 1, advance(shown), 2.0);
    EXPECT_NEAR(left, (100 - advance(shown)) / 2, 2.0);

    // Typing on at the end scrolls: the caret near the right edge, the last character just before it.
    edit.takeFocus();
    for (const char c : std::string(" Twice")) press(edit, c, c == ' ' ? VKEY_SPACE : 0);
    drawn();
    const int caret = caretColumn(target);
    EXPECT_GE(caret, 90);
    EXPECT_LE(caret, 98);
    EXPECT_TRUE(inkBetween(target, caret - 7, caret - 1));
    // Home: back to the start, the caret at the left.
    press(edit, 0, VKEY_HOME);
    drawn();
    EXPECT_LE(caretColumn(target), 3);

    // Shift and the arrows select; Backspace takes the selection.
    press(edit, 0, VKEY_END);
    press(edit, 0, VKEY_LEFT, MODIFIER_SHIFT);
    press(edit, 0, VKEY_LEFT, MODIFIER_SHIFT);
    EXPECT_EQ(edit.getSelectionAnchor() - edit.getCaret(), 2u);
    press(edit, 0, VKEY_BACK);
    // Ctrl+A and typing replace the whole text.
    press(edit, 'a', 0, MODIFIER_CONTROL);
    EXPECT_EQ(edit.getCaret() - edit.getSelectionAnchor(), std::string("Dotted Eighth Lead Twi").size());
    for (const char c : std::string("My Tone")) press(edit, c, c == ' ' ? VKEY_SPACE : 0);
    edit.looseFocus();
    EXPECT_STREQ(edit.getText(), "My Tone");
    target->forget();
}
