#pragma once
// Drawing on cairo: lines, rectangles, ellipses, text in DejaVu Sans and
// bitmaps, in the coordinates of the view being drawn. A container moves the
// origin for its children (setOffset); the clip is always within the region
// being redrawn.
//
// Pixel conventions: a filled rectangle covers left <= x < right; a stroked
// rectangle and lines of width 1 cover the pixel columns and rows of their
// end points (drawRect(CRect(l, t, r - 1, b - 1)) frames the pixels of
// CRect(l, t, r, b)). User-interface thread only.

#include <string>

#include "gui/BaseObject.h"
#include "gui/Geometry.h"

class CBitmap;
class CFrame;
struct _cairo;
struct _cairo_surface;

enum CTxtFace { kNormalFace = 0, kBoldFace = 1 << 0, kItalicFace = 1 << 1, kUnderlineFace = 1 << 2 };

// A font: family, size in pixels and face. The stock fonts below are all
// DejaVu Sans.
class CFontDesc : public CBaseObject {
public:
    CFontDesc(const char* name = "DejaVu Sans", CCoord size = 12, long style = kNormalFace);
    bool isTypeOf(const char* type) const override;

    const char* getName() const { return name.c_str(); }
    CCoord getSize() const { return size; }
    long getStyle() const { return style; }
    void setName(const char* newName) { name = newName ? newName : ""; }
    void setSize(CCoord newSize) { size = newSize; }
    void setStyle(long newStyle) { style = newStyle; }

private:
    std::string name;
    CCoord size;
    long style;
};
using CFontRef = CFontDesc*;

// 12, 18, 14, 12, 11, 10 and 9 pixels, and a 12-pixel symbol font.
extern CFontRef kSystemFont;
extern CFontRef kNormalFontVeryBig;
extern CFontRef kNormalFontBig;
extern CFontRef kNormalFont;
extern CFontRef kNormalFontSmall;
extern CFontRef kNormalFontSmaller;
extern CFontRef kNormalFontVerySmall;
extern CFontRef kSymbolFont;

enum CHoriTxtAlign { kLeftText = 0, kCenterText, kRightText };
enum CDrawStyle { kDrawStroked = 0, kDrawFilled, kDrawFilledAndStroked };
enum CLineStyle { kLineSolid = 0, kLineOnOffDash };

class CDrawContext {
public:
    // Draws with the cairo context `cr` (borrowed). `frame` may be none.
    CDrawContext(CFrame* frame, _cairo* cr);
    // Draws into a bitmap made with CBitmap(width, height).
    explicit CDrawContext(CBitmap* target);
    // Measures text without drawing anywhere (a one-pixel surface of its
    // own): for fitting a text to a width before any view is drawn.
    CDrawContext();
    ~CDrawContext();
    CDrawContext(const CDrawContext&) = delete;
    CDrawContext& operator=(const CDrawContext&) = delete;

    CFrame* getFrame() const { return frame; }
    _cairo* getCairo() const { return cr; }

    // The origin of drawing, in the coordinates of the surface.
    void setOffset(const CPoint& offset);
    const CPoint& getOffset() const { return offset; }

    // The clip, in drawing coordinates; it never reaches outside the region
    // the context was limited to (setClipLimit, surface coordinates).
    void setClipRect(const CRect& clip);
    CRect& getClipRect(CRect& clip) const;
    void resetClipRect();
    void setClipLimit(const CRect& limit);

    void setLineWidth(CCoord width);
    CCoord getLineWidth() const { return lineWidth; }
    void setLineStyle(CLineStyle style) { lineStyle = style; }
    CLineStyle getLineStyle() const { return lineStyle; }
    void setFrameColor(const CColor& color) { frameColor = color; }
    CColor getFrameColor() const { return frameColor; }
    void setFillColor(const CColor& color) { fillColor = color; }
    CColor getFillColor() const { return fillColor; }
    void setFontColor(const CColor& color) { fontColor = color; }
    CColor getFontColor() const { return fontColor; }
    // size 0 keeps the font's own size, style -1 its own face.
    void setFont(CFontRef font, const long& size = 0, const long& style = -1);
    CFontRef getFont() const { return font; }
    long getFontSize() const { return fontSize; }
    // The global alpha of everything drawn after (0..1).
    void setGlobalAlpha(float alpha) { globalAlpha = alpha; }
    float getGlobalAlpha() const { return globalAlpha; }

    void moveTo(const CPoint& point);
    void lineTo(const CPoint& point);
    void getLoc(CPoint& where) const { where = penLocation; }
    void drawLine(const CPoint& from, const CPoint& to);
    void drawRect(const CRect& rect, CDrawStyle style = kDrawStroked);
    void fillRect(const CRect& rect) { drawRect(rect, kDrawFilled); }
    void drawEllipse(const CRect& rect, CDrawStyle style = kDrawStroked);
    void drawPolygon(const CPoint* points, long count, CDrawStyle style = kDrawStroked);
    void drawPoint(const CPoint& point, const CColor& color);

    // Text in the font and font colour, centred vertically in rect and
    // aligned horizontally; clipped to rect. `opaque` first fills rect with
    // the fill colour.
    void drawString(const char* string, const CRect& rect, const short opaque = false,
                    const CHoriTxtAlign hAlign = kCenterText);
    void drawStringUTF8(const char* string, const CRect& rect, const CHoriTxtAlign hAlign = kCenterText,
                        bool antialias = true);
    // Width in pixels of the text in the current font.
    CCoord getStringWidth(const char* string);
    // The text when it is at most `width` pixels wide in the current font;
    // else its longest start (whole UTF-8 characters, at least one, at most
    // all but the last four) followed by "..." that is.
    std::string fitString(const std::string& text, CCoord width);

private:
    void applyColor(const CColor& color);
    // Fills (keeping the path when it is also stroked) and strokes the
    // current path as the style says.
    void fillAndStroke(CDrawStyle style);
    void applyFont();
    // The font and the text options drawing and measuring share.
    void applyText(bool antialias);
    void applyClip();

    CFrame* frame = nullptr;
    _cairo* cr = nullptr;
    bool ownsCairo = false;
    CPoint offset;
    CRect clipRect;
    CRect clipLimit;
    CPoint penLocation;
    CCoord lineWidth = 1;
    CLineStyle lineStyle = kLineSolid;
    CColor frameColor = kBlackCColor;
    CColor fillColor = kWhiteCColor;
    CColor fontColor = kBlackCColor;
    CFontRef font = nullptr;
    long fontSize = 12;
    long fontStyle = kNormalFace;
    float globalAlpha = 1.0f;
};
