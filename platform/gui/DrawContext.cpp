#include "gui/DrawContext.h"

#include <cairo.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "gui/Bitmap.h"

namespace {

CFontDesc systemFont("DejaVu Sans", 12);
CFontDesc normalFontVeryBig("DejaVu Sans", 18);
CFontDesc normalFontBig("DejaVu Sans", 14);
CFontDesc normalFont("DejaVu Sans", 12);
CFontDesc normalFontSmall("DejaVu Sans", 11);
CFontDesc normalFontSmaller("DejaVu Sans", 10);
CFontDesc normalFontVerySmall("DejaVu Sans", 9);
CFontDesc symbolFont("DejaVu Sans", 12);

// Half a pixel for odd line widths, so that lines cover whole pixels.
double pixelCentre(double width)
{
    const long w = std::lround(width);
    return (w % 2 == 1) ? 0.5 : 0.0;
}

constexpr double kNoLimit = 1 << 20;

}  // namespace

CFontRef kSystemFont = &systemFont;
CFontRef kNormalFontVeryBig = &normalFontVeryBig;
CFontRef kNormalFontBig = &normalFontBig;
CFontRef kNormalFont = &normalFont;
CFontRef kNormalFontSmall = &normalFontSmall;
CFontRef kNormalFontSmaller = &normalFontSmaller;
CFontRef kNormalFontVerySmall = &normalFontVerySmall;
CFontRef kSymbolFont = &symbolFont;

CFontDesc::CFontDesc(const char* fontName, CCoord fontSize, long fontStyle)
    : name(fontName ? fontName : "DejaVu Sans"), size(fontSize), style(fontStyle)
{
}

bool CFontDesc::isTypeOf(const char* type) const
{
    return (type && std::strcmp(type, "CFontDesc") == 0) || CBaseObject::isTypeOf(type);
}

CDrawContext::CDrawContext(CFrame* owner, cairo_t* context)
    : frame(owner), cr(context), clipRect(-kNoLimit, -kNoLimit, kNoLimit, kNoLimit), clipLimit(clipRect)
{
    font = kNormalFont;
}

CDrawContext::CDrawContext(CBitmap* target) : clipRect(-kNoLimit, -kNoLimit, kNoLimit, kNoLimit), clipLimit(clipRect)
{
    font = kNormalFont;
    if (target && target->getSurface()) {
        cr = cairo_create(target->getSurface());
        ownsCairo = true;
        clipLimit = clipRect = CRect(0, 0, target->getWidth(), target->getHeight());
    }
}

CDrawContext::CDrawContext() : clipRect(-kNoLimit, -kNoLimit, kNoLimit, kNoLimit), clipLimit(clipRect)
{
    font = kNormalFont;
    cairo_surface_t* scratch = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cr = cairo_create(scratch);
    cairo_surface_destroy(scratch);  // the context holds it
    ownsCairo = true;
}

CDrawContext::~CDrawContext()
{
    if (ownsCairo && cr) {
        cairo_surface_flush(cairo_get_target(cr));
        cairo_destroy(cr);
    }
}

void CDrawContext::setOffset(const CPoint& newOffset) { offset = newOffset; }

void CDrawContext::setClipLimit(const CRect& limit)
{
    clipLimit = limit;
    clipRect = limit;
    applyClip();
}

void CDrawContext::setClipRect(const CRect& clip)
{
    clipRect = clip;
    clipRect.offset(offset.x, offset.y);
    clipRect.bound(clipLimit);
    applyClip();
}

CRect& CDrawContext::getClipRect(CRect& clip) const
{
    clip = clipRect;
    clip.offset(-offset.x, -offset.y);
    return clip;
}

void CDrawContext::resetClipRect()
{
    clipRect = clipLimit;
    applyClip();
}

void CDrawContext::applyClip()
{
    if (!cr) return;
    cairo_reset_clip(cr);
    cairo_rectangle(cr, clipRect.left, clipRect.top, clipRect.width(), clipRect.height());
    cairo_clip(cr);
}

void CDrawContext::setLineWidth(CCoord width) { lineWidth = width > 0 ? width : 1; }

void CDrawContext::setFont(CFontRef newFont, const long& size, const long& style)
{
    font = newFont ? newFont : kNormalFont;
    fontSize = size > 0 ? size : static_cast<long>(font->getSize());
    fontStyle = style >= 0 ? style : font->getStyle();
}

void CDrawContext::applyColor(const CColor& color)
{
    cairo_set_source_rgba(cr, color.red / 255.0, color.green / 255.0, color.blue / 255.0,
                          color.alpha / 255.0 * globalAlpha);
}

void CDrawContext::applyFont()
{
    cairo_select_font_face(cr, font ? font->getName() : "DejaVu Sans",
                           (fontStyle & kItalicFace) ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                           (fontStyle & kBoldFace) ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, static_cast<double>(fontSize));
}

void CDrawContext::applyText(bool antialias)
{
    applyFont();
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, antialias ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
}

void CDrawContext::moveTo(const CPoint& point) { penLocation = point; }

void CDrawContext::lineTo(const CPoint& point)
{
    drawLine(penLocation, point);
    penLocation = point;
}

void CDrawContext::drawLine(const CPoint& from, const CPoint& to)
{
    if (!cr) return;
    const double c = pixelCentre(lineWidth);
    cairo_save(cr);
    applyColor(frameColor);
    cairo_set_line_width(cr, lineWidth);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_SQUARE);
    if (lineStyle == kLineOnOffDash) {
        const double dash[] = {lineWidth * 2, lineWidth * 2};
        cairo_set_dash(cr, dash, 2, 0);
    }
    cairo_move_to(cr, from.x + offset.x + c, from.y + offset.y + c);
    cairo_line_to(cr, to.x + offset.x + c, to.y + offset.y + c);
    cairo_stroke(cr);
    cairo_restore(cr);
}

void CDrawContext::fillAndStroke(CDrawStyle style)
{
    if (style != kDrawStroked) {
        applyColor(fillColor);
        if (style == kDrawFilled)
            cairo_fill(cr);
        else
            cairo_fill_preserve(cr);
    }
    if (style != kDrawFilled) {
        applyColor(frameColor);
        cairo_set_line_width(cr, lineWidth);
        cairo_stroke(cr);
    }
}

void CDrawContext::drawRect(const CRect& rect, CDrawStyle style)
{
    if (!cr) return;
    const double x = rect.left + offset.x;
    const double y = rect.top + offset.y;
    if (style != kDrawStroked) {
        applyColor(fillColor);
        cairo_rectangle(cr, x, y, rect.width(), rect.height());
        cairo_fill(cr);
    }
    if (style != kDrawFilled) {
        const double c = pixelCentre(lineWidth);
        applyColor(frameColor);
        cairo_set_line_width(cr, lineWidth);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
        cairo_rectangle(cr, x + c, y + c, rect.width(), rect.height());
        cairo_stroke(cr);
    }
}

void CDrawContext::drawEllipse(const CRect& rect, CDrawStyle style)
{
    if (!cr || rect.isEmpty()) return;
    cairo_save(cr);
    cairo_translate(cr, rect.left + offset.x + rect.width() / 2, rect.top + offset.y + rect.height() / 2);
    cairo_scale(cr, rect.width() / 2, rect.height() / 2);
    cairo_arc(cr, 0, 0, 1, 0, 2 * std::numbers::pi);
    cairo_restore(cr);
    fillAndStroke(style);
}

void CDrawContext::drawPolygon(const CPoint* points, long count, CDrawStyle style)
{
    if (!cr || !points || count < 2) return;
    const double c = style == kDrawFilled ? 0.0 : pixelCentre(lineWidth);
    cairo_move_to(cr, points[0].x + offset.x + c, points[0].y + offset.y + c);
    for (long i = 1; i < count; ++i) cairo_line_to(cr, points[i].x + offset.x + c, points[i].y + offset.y + c);
    fillAndStroke(style);
}

void CDrawContext::drawPoint(const CPoint& point, const CColor& color)
{
    if (!cr) return;
    applyColor(color);
    cairo_rectangle(cr, point.x + offset.x, point.y + offset.y, 1, 1);
    cairo_fill(cr);
}

void CDrawContext::drawString(const char* string, const CRect& rect, const short opaque, const CHoriTxtAlign hAlign)
{
    if (opaque) drawRect(rect, kDrawFilled);
    drawStringUTF8(string, rect, hAlign, true);
}

void CDrawContext::drawStringUTF8(const char* string, const CRect& rect, const CHoriTxtAlign hAlign, bool antialias)
{
    if (!cr || !string || !*string || rect.isEmpty()) return;
    cairo_save(cr);
    cairo_rectangle(cr, rect.left + offset.x, rect.top + offset.y, rect.width(), rect.height());
    cairo_clip(cr);
    applyText(antialias);
    cairo_font_extents_t fontExtents;
    cairo_font_extents(cr, &fontExtents);
    cairo_text_extents_t text;
    cairo_text_extents(cr, string, &text);
    double x = rect.left;
    if (hAlign == kCenterText)
        x += (rect.width() - text.x_advance) / 2;
    else if (hAlign == kRightText)
        x = rect.right - text.x_advance;
    const double baseline = rect.top + (rect.height() - (fontExtents.ascent + fontExtents.descent)) / 2 + fontExtents.ascent;
    applyColor(fontColor);
    cairo_move_to(cr, std::round(x + offset.x), std::round(baseline + offset.y));
    cairo_show_text(cr, string);
    cairo_restore(cr);
}

CCoord CDrawContext::getStringWidth(const char* string)
{
    if (!cr || !string || !*string) return 0;
    cairo_save(cr);
    applyText(true);
    cairo_text_extents_t text;
    cairo_text_extents(cr, string, &text);
    cairo_restore(cr);
    return text.x_advance;
}

std::string CDrawContext::fitString(const std::string& text, CCoord width)
{
    if (getStringWidth(text.c_str()) <= width) return text;
    // Where each character starts; k characters end at starts[k].
    std::vector<size_t> starts;
    for (size_t i = 0; i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) starts.push_back(i);
    const size_t count = starts.size();
    starts.push_back(text.size());
    if (count <= 4) return text;
    const auto shortened = [&](size_t k) { return text.substr(0, starts[k]) + "..."; };
    // The longest start that fits, found by halving (widths grow with it).
    size_t low = 1, high = count - 4;
    while (low < high) {
        const size_t middle = (low + high + 1) / 2;
        if (getStringWidth(shortened(middle).c_str()) <= width)
            low = middle;
        else
            high = middle - 1;
    }
    return shortened(low);
}
