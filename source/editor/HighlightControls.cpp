#include "editor/HighlightControls.h"

#include <algorithm>
#include <cstring>

namespace tonewright {

namespace {
bool named(const char* type, const char* name) { return std::strcmp(type, name) == 0; }
}  // namespace

// ---- frames ----

void CHighlightControl::setHighlight(short on, const CColor& color)
{
    highlighted = on;
    highlightColor = color;
}

void CHighlightControl::setLearning(short on, const CColor& color)
{
    learning = on;
    learningColor = color;
}

void CHighlightControl::drawHighlight(CDrawContext* context, const CRect& rect)
{
    if (!highlighted && !learning) return;
    const CCoord oldWidth = context->getLineWidth();
    const CLineStyle oldStyle = context->getLineStyle();
    const CColor oldColor = context->getFrameColor();
    context->setLineWidth(1);
    context->setLineStyle(kLineSolid);
    if (highlighted) {
        context->setFrameColor(highlightColor);
        context->drawRect(CRect(rect.left, rect.top, rect.right - 1, rect.bottom - 1));
    }
    if (learning) {
        context->setFrameColor(learningColor);
        context->drawRect(CRect(rect.left, rect.top, rect.right - 1, rect.bottom - 1));
        context->drawRect(CRect(rect.left + 1, rect.top + 1, rect.right - 2, rect.bottom - 2));
    }
    context->setLineWidth(oldWidth);
    context->setLineStyle(oldStyle);
    context->setFrameColor(oldColor);
}

bool shouldIgnoreMouseDown(CControl* control, const CPoint&, long buttons)
{
    if (!control->getMouseEnabled() || !(buttons & kLButton)) return true;
    CControlListener* listener = control->getListener();
    if (listener && (buttons & kModifierButtons)) return listener->controlModifierClicked(control, buttons) != 0;
    return false;
}

// ---- framed controls ----

CMyAnimKnob::CMyAnimKnob(const CRect& rect, CControlListener* toldListener, long id, long images,
                         CCoord imageHeight, CBitmap* bg, const CPoint& bgOffset)
    : Framed(rect, toldListener, id, images, imageHeight, bg, bgOffset)
{
}

bool CMyAnimKnob::isTypeOf(const char* type) const { return named(type, "CMyAnimKnob") || CAnimKnob::isTypeOf(type); }

bool CMyVU::isTypeOf(const char* type) const { return named(type, "CMyVU") || CMyAnimKnob::isTypeOf(type); }

CMyMovieButton::CMyMovieButton(const CRect& rect, CControlListener* toldListener, long id, CCoord imageHeight,
                               CBitmap* bg, const CPoint& bgOffset)
    : Framed(rect, toldListener, id, imageHeight, bg, bgOffset)
{
}

bool CMyMovieButton::isTypeOf(const char* type) const
{
    return named(type, "CMyMovieButton") || CMovieButton::isTypeOf(type);
}

bool CMyMoviePic::isTypeOf(const char* type) const
{
    return named(type, "CMyMoviePic") || CMyMovieButton::isTypeOf(type);
}

bool CMyVerticalSlider::isTypeOf(const char* type) const
{
    return named(type, "CMyVerticalSlider") || CVerticalSlider::isTypeOf(type);
}

bool CMyHorizontalSlider::isTypeOf(const char* type) const
{
    return named(type, "CMyHorizontalSlider") || CHorizontalSlider::isTypeOf(type);
}

bool CMyHorizontalSwitch::isTypeOf(const char* type) const
{
    return named(type, "CMyHorizontalSwitch") || CHorizontalSwitch::isTypeOf(type);
}

CMyTextLabel::CMyTextLabel(const CRect& rect, CControlListener* toldListener, long id, const CColor& textColor,
                           const char* labelText, CFontRef textFont)
    : CTextLabel(rect, nullptr, nullptr, 0)
{
    setListener(toldListener);
    setTag(id);
    setText(labelText);
    setTransparency(true);
    setTextTransparency(true);
    setFontColor(textColor);
    setFont(textFont);
}

bool CMyTextLabel::isTypeOf(const char* type) const
{
    return named(type, "CMyTextLabel") || CTextLabel::isTypeOf(type);
}

// ---- buttons and switch with the modifier-click filter ----

CMyKickButton::CMyKickButton(const CRect& rect, CControlListener* toldListener, long id, CCoord imageHeight,
                             CBitmap* bg, const CPoint& bgOffset)
    : Framed(rect, toldListener, id, imageHeight, bg, bgOffset)
{
}

bool CMyKickButton::isTypeOf(const char* type) const
{
    return named(type, "CMyKickButton") || CKickButton::isTypeOf(type);
}

CMouseEventResult CMyKickButton::onMouseDown(CPoint& where, const long& buttons)
{
    if (shouldIgnoreMouseDown(this, where, buttons)) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    return CKickButton::onMouseDown(where, buttons);
}

CMyVerticalSwitch::CMyVerticalSwitch(const CRect& rect, CControlListener* toldListener, long id, long images,
                                     CCoord imageHeight, long positionCount, CBitmap* bg,
                                     const CPoint& bgOffset)
    : Framed(rect, toldListener, id, images, imageHeight, positionCount, bg, bgOffset)
{
}

bool CMyVerticalSwitch::isTypeOf(const char* type) const
{
    return named(type, "CMyVerticalSwitch") || CVerticalSwitch::isTypeOf(type);
}

CMouseEventResult CMyVerticalSwitch::onMouseDown(CPoint& where, const long& buttons)
{
    if (shouldIgnoreMouseDown(this, where, buttons)) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    return CVerticalSwitch::onMouseDown(where, buttons);
}

void CMyVerticalSwitch::setValueFromPoint(const CPoint& where)
{
    if (iMaxPositions < 2 || heightOfOneImage <= 0) return;
    const double coefficient = static_cast<double>(heightOfOneImage) / static_cast<double>(iMaxPositions);
    const double step = static_cast<double>(static_cast<long>((where.y - size.top) / coefficient));
    const float position = static_cast<float>(step / static_cast<double>(iMaxPositions - 1));
    value = 1.0f - std::clamp(position, 0.0f, 1.0f);
}

CMouseEventResult CMyVerticalSwitch::onMouseMoved(CPoint& where, const long& buttons)
{
    if (!(buttons & kLButton)) return kMouseEventHandled;
    // Only a change is reported: a drag within one position sends nothing.
    const float before = value;
    setValueFromPoint(where);
    notifyIfChanged(before);
    return kMouseEventHandled;
}

CMyOnOffButton::CMyOnOffButton(const CRect& rect, CControlListener* toldListener, long id, CBitmap* bg,
                               long styleBits)
    : Framed(rect, toldListener, id, bg, styleBits)
{
}

bool CMyOnOffButton::isTypeOf(const char* type) const
{
    return named(type, "CMyOnOffButton") || COnOffButton::isTypeOf(type);
}

CMouseEventResult CMyOnOffButton::onMouseDown(CPoint& where, const long& buttons)
{
    if (shouldIgnoreMouseDown(this, where, buttons)) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    return COnOffButton::onMouseDown(where, buttons);
}

}  // namespace tonewright
