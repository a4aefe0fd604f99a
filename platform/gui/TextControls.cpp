#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "gui/Bitmap.h"
#include "gui/Controls.h"
#include "gui/Frame.h"

namespace {

bool named(const char* type, const char* name) { return type && std::strcmp(type, name) == 0; }

// At most max bytes of text, not cutting a UTF-8 sequence.
std::string clipped(const char* text, size_t max)
{
    std::string s = text ? text : "";
    if (s.size() <= max) return s;
    size_t n = max;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
    return s.substr(0, n);
}

void appendUtf8(std::string& s, size_t at, VstInt32 cp, size_t& caret)
{
    std::string bytes;
    const auto c = static_cast<uint32_t>(cp);
    if (c < 0x80) {
        bytes += static_cast<char>(c);
    } else if (c < 0x800) {
        bytes += static_cast<char>(0xC0 | (c >> 6));
        bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        bytes += static_cast<char>(0xE0 | (c >> 12));
        bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        bytes += static_cast<char>(0xF0 | (c >> 18));
        bytes += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        bytes += static_cast<char>(0x80 | (c & 0x3F));
    }
    if (s.size() + bytes.size() > CTextEdit::kMaxLength) return;
    s.insert(at, bytes);
    caret = at + bytes.size();
}

size_t previousChar(const std::string& s, size_t at)
{
    if (at == 0) return 0;
    --at;
    while (at > 0 && (static_cast<unsigned char>(s[at]) & 0xC0) == 0x80) --at;
    return at;
}

size_t nextChar(const std::string& s, size_t at)
{
    if (at >= s.size()) return s.size();
    ++at;
    while (at < s.size() && (static_cast<unsigned char>(s[at]) & 0xC0) == 0x80) ++at;
    return at;
}

}  // namespace

// --- CParamDisplay -------------------------------------------------------------

CParamDisplay::CParamDisplay(const CRect& rect, CBitmap* background, const long displayStyle)
    : CControl(rect, nullptr, 0, background), style(displayStyle), fontID(kNormalFont)
{
    fontID->remember();
}

CParamDisplay::~CParamDisplay() { fontID->forget(); }

bool CParamDisplay::isTypeOf(const char* type) const { return named(type, "CParamDisplay") || CControl::isTypeOf(type); }

void CParamDisplay::setFont(CFontRef font)
{
    if (!font) return;
    font->remember();
    fontID->forget();
    fontID = font;
    setDirty(true);
}

void CParamDisplay::setStringConvert(StringConvert convert)
{
    stringConvert = convert;
    stringConvertWithData = nullptr;
}

void CParamDisplay::setStringConvert(StringConvertWithData convert, void* data)
{
    stringConvertWithData = convert;
    userData = data;
    stringConvert = nullptr;
}

void CParamDisplay::draw(CDrawContext* context)
{
    char text[256] = {0};
    if (stringConvertWithData)
        stringConvertWithData(value, text, userData);
    else if (stringConvert)
        stringConvert(value, text);
    else
        std::snprintf(text, sizeof text, "%2.2f", static_cast<double>(value));
    text[sizeof text - 1] = 0;
    drawText(context, text);
    setDirty(false);
}

void CParamDisplay::drawText(CDrawContext* context, const char* string, CBitmap* newBackground)
{
    if (style & kNoDrawStyle) return;
    const bool plain = !bTransparencyEnabled && !bTextTransparencyEnabled;
    if (CBitmap* background = newBackground ? newBackground : pBackground)
        background->draw(context, size, backOffset);
    else if (plain) {
        context->setFillColor(backColor);
        context->drawRect(size, kDrawFilled);
    }
    if (plain && !(style & (k3DIn | k3DOut | kNoFrame))) {
        context->setLineWidth(1);
        context->setFrameColor(frameColor);
        context->drawRect(CRect(size.left, size.top, size.right - 1, size.bottom - 1));
    }
    if (style & (k3DIn | k3DOut)) {
        // Light and dark edges: raised (out) or sunken (in).
        const CColor light = kWhiteCColor;
        const CColor dark = frameColor;
        context->setLineWidth(1);
        context->setFrameColor((style & k3DIn) ? dark : light);
        context->drawLine(CPoint(size.left, size.bottom - 1), CPoint(size.left, size.top));
        context->drawLine(CPoint(size.left, size.top), CPoint(size.right - 1, size.top));
        context->setFrameColor((style & k3DIn) ? light : dark);
        context->drawLine(CPoint(size.right - 1, size.top + 1), CPoint(size.right - 1, size.bottom - 1));
        context->drawLine(CPoint(size.right - 1, size.bottom - 1), CPoint(size.left + 1, size.bottom - 1));
    }
    if ((style & kNoTextStyle) || !string || !*string) return;
    context->setFont(fontID);
    // A text wider than the view shows its start and "...", never a middle.
    const std::string shown = context->fitString(string, size.width());
    if (style & kShadowText) {
        CRect shadow = size;
        shadow.offset(1, 1);
        context->setFontColor(shadowColor);
        context->drawStringUTF8(shown.c_str(), shadow, horiTxtAlign, bAntialias);
    }
    context->setFontColor(fontColor);
    context->drawStringUTF8(shown.c_str(), size, horiTxtAlign, bAntialias);
}

CMouseEventResult CParamDisplay::onMouseDown(CPoint&, const long&) { return kMouseEventNotHandled; }

// --- CTextLabel ------------------------------------------------------------------

CTextLabel::CTextLabel(const CRect& rect, const char* txt, CBitmap* background, const long labelStyle)
    : CParamDisplay(rect, background, labelStyle), text(clipped(txt, 255))
{
}

bool CTextLabel::isTypeOf(const char* type) const { return named(type, "CTextLabel") || CParamDisplay::isTypeOf(type); }

void CTextLabel::setText(const char* txt)
{
    const std::string next = clipped(txt, 255);
    if (next == text) return;
    text = next;
    setDirty(true);
}

void CTextLabel::draw(CDrawContext* context)
{
    drawText(context, text.c_str());
    setDirty(false);
}

// --- CTextEdit -------------------------------------------------------------------

CTextEdit::CTextEdit(const CRect& rect, CControlListener* editListener, long editTag, const char* txt,
                     CBitmap* background, const long editStyle)
    : CParamDisplay(rect, background, editStyle), text(clipped(txt, kMaxLength))
{
    listener = editListener;
    tag = editTag;
    bWantsFocus = true;
}

bool CTextEdit::isTypeOf(const char* type) const { return named(type, "CTextEdit") || CParamDisplay::isTypeOf(type); }

void CTextEdit::setText(const char* txt)
{
    text = clipped(txt, kMaxLength);
    if (editingText) {
        edited = text;
        caret = anchor = edited.size();
    }
    setDirty(true);
}

void CTextEdit::getText(char* txt) const
{
    if (!txt) return;
    std::memcpy(txt, text.c_str(), text.size() + 1);
}

void CTextEdit::draw(CDrawContext* context)
{
    if (!editingText) {
        drawText(context, text.c_str());
        setDirty(false);
        return;
    }
    drawText(context, "");  // the background and frame
    if (style & kNoDrawStyle) {
        setDirty(false);
        return;
    }
    context->setFont(fontID);
    const auto width = [&](size_t bytes) { return context->getStringWidth(edited.substr(0, bytes).c_str()); };
    const CCoord whole = width(edited.size());
    const CCoord at = width(caret);
    const CCoord room = size.width() - 2 * kInset;
    // Where the text starts: as aligned while it fits, else scrolled so
    // that the caret stays in view.
    CCoord origin = size.left;
    if (whole <= room) {
        scroll = 0;
        if (horiTxtAlign == kCenterText)
            origin += (size.width() - whole) / 2;
        else if (horiTxtAlign == kRightText)
            origin = size.right - whole;
    } else {
        scroll = std::clamp(scroll, at - room, at);
        scroll = std::clamp(scroll, CCoord(0), whole - room);
        origin = size.left + kInset - scroll;
    }
    CRect oldClip;
    context->getClipRect(oldClip);
    CRect clip = size;
    clip.bound(oldClip);
    context->setClipRect(clip);
    if (anchor != caret) {
        const CCoord from = width(std::min(anchor, caret)), to = width(std::max(anchor, caret));
        CColor selection = fontColor;
        selection.alpha = kSelectionAlpha;
        context->setFillColor(selection);
        context->drawRect(CRect(std::floor(origin + from), size.top + 2, std::ceil(origin + to), size.bottom - 2),
                          kDrawFilled);
    }
    if (!edited.empty() && !(style & kNoTextStyle)) {
        context->setFontColor(fontColor);
        context->drawStringUTF8(edited.c_str(), CRect(origin, size.top, origin + whole + 1, size.bottom), kLeftText,
                                bAntialias);
    }
    // The caret, where the text of the first `caret` bytes ends.
    const CCoord x = std::clamp(std::floor(origin + at), size.left, size.right - 1);
    context->setFrameColor(fontColor);
    context->setLineWidth(1);
    context->drawLine(CPoint(x, size.top + 2), CPoint(x, size.bottom - 3));
    context->setClipRect(oldClip);
    setDirty(false);
}

CMouseEventResult CTextEdit::onMouseDown(CPoint&, const long& buttons)
{
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    if (modifierClickTaken(buttons)) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    if (!editingText && getFrame()) getFrame()->setFocusView(this);
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

void CTextEdit::takeFocus()
{
    // One that does not want the focus is a display.
    if (editingText || !bWantsFocus) return;
    editingText = true;
    keepEdit = true;
    edited = text;
    caret = anchor = edited.size();
    scroll = 0;
    setDirty(true);
}

void CTextEdit::looseFocus()
{
    if (!editingText) return;
    editingText = false;
    const bool changed = keepEdit && edited != text;
    keepEdit = true;
    setDirty(true);
    if (!changed) return;
    beginEdit();
    text = edited;
    notify();
    endEdit();
}

bool CTextEdit::eraseSelection()
{
    if (anchor == caret) return false;
    const size_t from = std::min(anchor, caret);
    edited.erase(from, std::max(anchor, caret) - from);
    caret = anchor = from;
    return true;
}

long CTextEdit::onKeyDown(VstKeyCode& key)
{
    if (!editingText) return -1;
    const bool command = key.modifier & (MODIFIER_CONTROL | MODIFIER_COMMAND);
    // Moving with Shift stretches the selection; without, it ends it.
    const auto moved = [&](size_t to) {
        caret = to;
        if (!(key.modifier & MODIFIER_SHIFT)) anchor = caret;
    };
    switch (key.virt) {
    case VKEY_RETURN:
    case VKEY_ENTER:
        keepEdit = true;
        if (getFrame()) getFrame()->setFocusView(nullptr);
        return 1;
    case VKEY_ESCAPE:
        keepEdit = false;
        if (getFrame()) getFrame()->setFocusView(nullptr);
        return 1;
    case VKEY_BACK:
        if (!eraseSelection() && caret > 0) {
            const size_t from = previousChar(edited, caret);
            edited.erase(from, caret - from);
            caret = anchor = from;
        }
        break;
    case VKEY_DELETE:
        if (!eraseSelection() && caret < edited.size()) edited.erase(caret, nextChar(edited, caret) - caret);
        break;
    case VKEY_LEFT: moved(previousChar(edited, caret)); break;
    case VKEY_RIGHT: moved(nextChar(edited, caret)); break;
    case VKEY_HOME: moved(0); break;
    case VKEY_END: moved(edited.size()); break;
    case 0:
    case VKEY_SPACE:
        if (command && (key.character == 'a' || key.character == 'A')) {
            anchor = 0;
            caret = edited.size();
            break;
        }
        if (key.character < 0x20 || key.character == 0x7F || command) return -1;
        eraseSelection();
        appendUtf8(edited, caret, key.character, caret);
        anchor = caret;
        break;
    default: return -1;
    }
    setDirty(true);
    return 1;
}
