#include <cmath>
#include <cstring>

#include "gui/Bitmap.h"
#include "gui/Controls.h"

namespace {

bool named(const char* type, const char* name) { return type && std::strcmp(type, name) == 0; }

}  // namespace

// --- CSlider -----------------------------------------------------------------

CSlider::CSlider(const CRect& rect, CControlListener* sliderListener, long sliderTag, long iMinPos, long iMaxPos,
                 CBitmap* handle, CBitmap* background, const CPoint& backgroundOffset, const long sliderStyle)
    : CControl(rect, sliderListener, sliderTag, background)
{
    init(handle, backgroundOffset, sliderStyle);
    if (style & kHorizontal)
        offsetHandle = CPoint(iMinPos - rect.left, 0);
    else
        offsetHandle = CPoint(0, iMinPos - rect.top);
    handleTravel = std::max<CCoord>(0, iMaxPos - iMinPos);
}

CSlider::CSlider(const CRect& rect, CControlListener* sliderListener, long sliderTag, const CPoint& handleOffset,
                 long rangeHandle, CBitmap* handle, CBitmap* background, const CPoint& backgroundOffset,
                 const long sliderStyle)
    : CControl(rect, sliderListener, sliderTag, background)
{
    init(handle, backgroundOffset, sliderStyle);
    offsetHandle = handleOffset;
    const CCoord length = pHandle ? ((style & kHorizontal) ? pHandle->getWidth() : pHandle->getHeight()) : 0;
    handleTravel = std::max<CCoord>(0, rangeHandle - length);
}

void CSlider::init(CBitmap* handle, const CPoint& backgroundOffset, long sliderStyle)
{
    pHandle = handle;
    if (pHandle) pHandle->remember();
    offset = backgroundOffset;
    backOffset = backgroundOffset;
    style = sliderStyle;
    if (!(style & (kHorizontal | kVertical))) style |= kHorizontal;
}

CSlider::~CSlider()
{
    if (pHandle) pHandle->forget();
}

bool CSlider::isTypeOf(const char* type) const { return named(type, "CSlider") || CControl::isTypeOf(type); }

void CSlider::setHandle(CBitmap* handle)
{
    if (handle) handle->remember();
    if (pHandle) pHandle->forget();
    pHandle = handle;
    setDirty(true);
}

CCoord CSlider::positionForValue(float val) const
{
    const float range = vmax - vmin;
    float norm = range != 0 && std::isfinite(val) ? (val - vmin) / range : 0;
    norm = norm < 0 ? 0 : (norm > 1 ? 1 : norm);
    const bool fromEnd = (style & kHorizontal) ? (style & kRight) : (style & kBottom);
    if (fromEnd) norm = 1 - norm;
    const CCoord start = (style & kHorizontal) ? offsetHandle.x : offsetHandle.y;
    return std::round(start + norm * handleTravel);
}

float CSlider::valueForPosition(CCoord pos) const
{
    const CCoord start = (style & kHorizontal) ? offsetHandle.x : offsetHandle.y;
    double norm = handleTravel > 0 ? (pos - start) / handleTravel : 0;
    norm = norm < 0 ? 0 : (norm > 1 ? 1 : norm);
    const bool fromEnd = (style & kHorizontal) ? (style & kRight) : (style & kBottom);
    if (fromEnd) norm = 1 - norm;
    return vmin + static_cast<float>(norm) * (vmax - vmin);
}

CRect CSlider::getHandleRect() const
{
    const CCoord w = pHandle ? pHandle->getWidth() : 0;
    const CCoord h = pHandle ? pHandle->getHeight() : 0;
    const CCoord pos = positionForValue(value);
    if (style & kHorizontal) return CRect(size.left + pos, size.top + offsetHandle.y, size.left + pos + w, size.top + offsetHandle.y + h);
    return CRect(size.left + offsetHandle.x, size.top + pos, size.left + offsetHandle.x + w, size.top + pos + h);
}

void CSlider::draw(CDrawContext* context)
{
    if (pBackground) pBackground->draw(context, size, offset);
    if (pHandle) pHandle->draw(context, getHandleRect());
    setDirty(false);
}

CMouseEventResult CSlider::onMouseDown(CPoint& where, const long& buttons)
{
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    if (modifierClickTaken(buttons) || checkDefaultValue(buttons))
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    const bool horizontal = style & kHorizontal;
    const CCoord along = horizontal ? where.x - size.left : where.y - size.top;
    const CCoord handleStart = positionForValue(value);
    const CCoord length = pHandle ? (horizontal ? pHandle->getWidth() : pHandle->getHeight()) : 0;
    beginEdit();
    lastButtons = buttons;
    entryValue = value;
    entryPosition = along;
    if (along >= handleStart && along < handleStart + std::max<CCoord>(1, length)) {
        grabDelta = along - handleStart;
    } else if (bFreeClick) {
        // The handle's middle comes under the mouse.
        grabDelta = length / 2;
        const float before = value;
        value = valueForPosition(along - grabDelta);
        entryValue = value;
        notifyIfChanged(before);
    } else {
        grabDelta = along - handleStart;
    }
    return kMouseEventHandled;
}

CMouseEventResult CSlider::onMouseMoved(CPoint& where, const long& buttons)
{
    if (!(buttons & kLButton) || !isEditing()) return kMouseEventHandled;
    const bool horizontal = style & kHorizontal;
    const CCoord along = horizontal ? where.x - size.left : where.y - size.top;
    const float before = value;
    if (buttons & kShift) {
        if (!(lastButtons & kShift)) {
            entryValue = value;
            entryPosition = along;
        }
        if (handleTravel > 0) {
            const bool fromEnd = horizontal ? (style & kRight) : (style & kBottom);
            const double moved = (along - entryPosition) / handleTravel / zoomFactor;
            value = entryValue + static_cast<float>(fromEnd ? -moved : moved) * (vmax - vmin);
        }
    } else {
        if (lastButtons & kShift) grabDelta = along - positionForValue(value);
        value = valueForPosition(along - grabDelta);
    }
    lastButtons = buttons;
    bounceValue();
    notifyIfChanged(before);
    return kMouseEventHandled;
}

CMouseEventResult CSlider::onMouseUp(CPoint&, const long&)
{
    if (isEditing()) endEdit();
    return kMouseEventHandled;
}

bool CSlider::onWheel(const CPoint&, const float& distance, const long& buttons)
{
    return wheelStep(distance, buttons, zoomFactor);
}

long CSlider::onKeyDown(VstKeyCode& key) { return arrowKeyStep(key); }

CVerticalSlider::CVerticalSlider(const CRect& rect, CControlListener* sliderListener, long sliderTag, long iMinPos,
                                 long iMaxPos, CBitmap* handle, CBitmap* background, const CPoint& backgroundOffset,
                                 const long sliderStyle)
    : CSlider(rect, sliderListener, sliderTag, iMinPos, iMaxPos, handle, background, backgroundOffset,
              (sliderStyle & ~kHorizontal) | kVertical)
{
}

CVerticalSlider::CVerticalSlider(const CRect& rect, CControlListener* sliderListener, long sliderTag,
                                 const CPoint& handleOffset, long rangeHandle, CBitmap* handle, CBitmap* background,
                                 const CPoint& backgroundOffset, const long sliderStyle)
    : CSlider(rect, sliderListener, sliderTag, handleOffset, rangeHandle, handle, background, backgroundOffset,
              (sliderStyle & ~kHorizontal) | kVertical)
{
}

bool CVerticalSlider::isTypeOf(const char* type) const { return named(type, "CVerticalSlider") || CSlider::isTypeOf(type); }

CHorizontalSlider::CHorizontalSlider(const CRect& rect, CControlListener* sliderListener, long sliderTag,
                                     long iMinPos, long iMaxPos, CBitmap* handle, CBitmap* background,
                                     const CPoint& backgroundOffset, const long sliderStyle)
    : CSlider(rect, sliderListener, sliderTag, iMinPos, iMaxPos, handle, background, backgroundOffset,
              (sliderStyle & ~kVertical) | kHorizontal)
{
}

CHorizontalSlider::CHorizontalSlider(const CRect& rect, CControlListener* sliderListener, long sliderTag,
                                     const CPoint& handleOffset, long rangeHandle, CBitmap* handle,
                                     CBitmap* background, const CPoint& backgroundOffset, const long sliderStyle)
    : CSlider(rect, sliderListener, sliderTag, handleOffset, rangeHandle, handle, background, backgroundOffset,
              (sliderStyle & ~kVertical) | kHorizontal)
{
}

bool CHorizontalSlider::isTypeOf(const char* type) const
{
    return named(type, "CHorizontalSlider") || CSlider::isTypeOf(type);
}

// --- CVuMeter ----------------------------------------------------------------

CVuMeter::CVuMeter(const CRect& rect, CBitmap* lit, CBitmap* unlit, long leds, const long meterStyle)
    : CControl(rect, nullptr, 0, nullptr), onBitmap(lit), offBitmap(unlit), nbLed(leds), style(meterStyle)
{
    if (onBitmap) onBitmap->remember();
    if (offBitmap) offBitmap->remember();
}

CVuMeter::~CVuMeter()
{
    if (onBitmap) onBitmap->forget();
    if (offBitmap) offBitmap->forget();
}

bool CVuMeter::isTypeOf(const char* type) const { return named(type, "CVuMeter") || CControl::isTypeOf(type); }

void CVuMeter::setValue(float val)
{
    if (!std::isfinite(val)) return;
    value = val < value ? std::max(val, value - decreaseValue) : val;
}

void CVuMeter::draw(CDrawContext* context)
{
    const float range = vmax - vmin;
    float norm = range != 0 ? (value - vmin) / range : 0;
    norm = norm < 0 ? 0 : (norm > 1 ? 1 : norm);
    litLeds = nbLed > 0 ? static_cast<long>(std::floor(norm * static_cast<float>(nbLed) + 1e-4f)) : 0;
    const bool horizontal = style & kHorizontal;
    const CCoord extent = horizontal ? size.width() : size.height();
    const CCoord lit = nbLed > 0 ? std::round(extent * static_cast<double>(litLeds) / static_cast<double>(nbLed)) : 0;
    CRect onPart = size;
    CRect offPart = size;
    if (horizontal) {
        onPart.right = size.left + lit;
        offPart.left = onPart.right;
    } else {
        onPart.top = size.bottom - lit;
        offPart.bottom = onPart.top;
    }
    const auto part = [&](CBitmap* bitmap, const CRect& r) {
        if (bitmap && !r.isEmpty()) bitmap->draw(context, r, CPoint(r.left - size.left, r.top - size.top));
    };
    part(offBitmap, offPart);
    part(onBitmap, onPart);
    setDirty(false);
}

CMouseEventResult CVuMeter::onMouseDown(CPoint&, const long&) { return kMouseEventNotHandled; }
