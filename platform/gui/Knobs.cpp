#include <cmath>
#include <cstring>
#include <numbers>

#include "gui/AEffGUIEditor.h"
#include "gui/Bitmap.h"
#include "gui/Controls.h"

namespace {

constexpr double kPi = std::numbers::pi;
// Pixels of linear drag over the whole range.
constexpr float kLinearRange = 200.0f;

float clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

}  // namespace

// --- CKnob -------------------------------------------------------------------

CKnob::CKnob(const CRect& rect, CControlListener* knobListener, long knobTag, CBitmap* background, CBitmap* handle,
             const CPoint& backgroundOffset)
    : CControl(rect, knobListener, knobTag, background), pHandle(handle), offset(backgroundOffset),
      startAngle(static_cast<float>(5 * kPi / 4)), rangeAngle(static_cast<float>(-3 * kPi / 2))
{
    if (pHandle) pHandle->remember();
    backOffset = offset;
}

CKnob::~CKnob()
{
    if (pHandle) pHandle->forget();
}

bool CKnob::isTypeOf(const char* type) const
{
    return (type && std::strcmp(type, "CKnob") == 0) || CControl::isTypeOf(type);
}

void CKnob::setHandleBitmap(CBitmap* bitmap)
{
    if (bitmap) bitmap->remember();
    if (pHandle) pHandle->forget();
    pHandle = bitmap;
    setDirty(true);
}

void CKnob::valueToPoint(CPoint& point) const
{
    const float range = vmax - vmin;
    const float norm = range != 0 ? clamp01((value - vmin) / range) : 0;
    const double angle = startAngle + norm * rangeAngle;
    const double radius = size.width() / 2 - inset;
    point.x = size.width() / 2 + std::cos(angle) * radius;
    point.y = size.height() / 2 - std::sin(angle) * radius;
}

float CKnob::valueFromPoint(CPoint& point) const
{
    const double angle = std::atan2(size.height() / 2 - point.y, point.x - size.width() / 2);
    const double span = std::fabs(rangeAngle);
    if (span <= 0) return vmin;
    // How far from the start the point lies, turning the way the range runs.
    double turned = rangeAngle < 0 ? startAngle - angle : angle - startAngle;
    turned = std::fmod(turned, 2 * kPi);
    if (turned < 0) turned += 2 * kPi;
    double norm = turned / span;
    if (norm > 1) {
        // In the gap below the knob: the nearer end.
        const double past = (turned - span) / (2 * kPi - span);
        norm = past < 0.5 ? 1 : 0;
    }
    return vmin + static_cast<float>(norm) * (vmax - vmin);
}

void CKnob::draw(CDrawContext* context)
{
    if (pBackground) pBackground->draw(context, size, offset);
    drawHandle(context);
    setDirty(false);
}

void CKnob::drawHandle(CDrawContext* context)
{
    CPoint where;
    valueToPoint(where);
    if (pHandle && pHandle->isLoaded()) {
        const CCoord w = pHandle->getWidth();
        const CCoord h = pHandle->getHeight();
        const CCoord x = std::round(size.left + where.x - w / 2);
        const CCoord y = std::round(size.top + where.y - h / 2);
        pHandle->draw(context, CRect(x, y, x + w, y + h));
        return;
    }
    const CPoint centre(size.left + size.width() / 2, size.top + size.height() / 2);
    const CPoint tip(size.left + where.x, size.top + where.y);
    context->setLineWidth(1);
    context->setFrameColor(colorShadowHandle);
    context->drawLine(CPoint(centre.x + 1, centre.y + 1), CPoint(tip.x + 1, tip.y + 1));
    context->setFrameColor(colorHandle);
    context->drawLine(centre, tip);
}

CMouseEventResult CKnob::onMouseDown(CPoint& where, const long& buttons)
{
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    if (modifierClickTaken(buttons) || checkDefaultValue(buttons))
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    beginEdit();
    firstPoint = where;
    lastPoint = where;
    entryValue = value;
    lastButtons = buttons;
    rangeScale = (buttons & kShift) ? kLinearRange * zoomFactor : kLinearRange;
    CPoint local(where.x - size.left, where.y - size.top);
    lastAngle = static_cast<float>(std::atan2(size.height() / 2 - local.y, local.x - size.width() / 2));
    if (AEffGUIEditor::getKnobMode() == kCircularMode) {
        const float before = value;
        value = valueFromPoint(local);
        bounceValue();
        notifyIfChanged(before);
    }
    return kMouseEventHandled;
}

CMouseEventResult CKnob::onMouseUp(CPoint&, const long&)
{
    if (isEditing()) endEdit();
    return kMouseEventHandled;
}

CMouseEventResult CKnob::onMouseMoved(CPoint& where, const long& buttons)
{
    if (!(buttons & kLButton) || !isEditing()) return kMouseEventHandled;
    const float before = value;
    const float range = vmax - vmin;
    CPoint local(where.x - size.left, where.y - size.top);
    switch (AEffGUIEditor::getKnobMode()) {
    case kLinearMode: {
        if ((buttons & kShift) != (lastButtons & kShift)) {
            // A new fineness from here on, without a jump.
            entryValue = value;
            firstPoint = where;
            rangeScale = (buttons & kShift) ? kLinearRange * zoomFactor : kLinearRange;
        }
        const double diff = (firstPoint.y - where.y) + (where.x - firstPoint.x);
        value = entryValue + static_cast<float>(diff / rangeScale) * range;
        break;
    }
    case kRelativCircularMode: {
        const float angle = static_cast<float>(std::atan2(size.height() / 2 - local.y, local.x - size.width() / 2));
        float delta = angle - lastAngle;
        if (delta > kPi) delta -= static_cast<float>(2 * kPi);
        if (delta < -kPi) delta += static_cast<float>(2 * kPi);
        lastAngle = angle;
        if (rangeAngle != 0) value += delta / rangeAngle * range / ((buttons & kShift) ? zoomFactor : 1.0f);
        break;
    }
    default: value = valueFromPoint(local); break;
    }
    lastButtons = buttons;
    lastPoint = where;
    bounceValue();
    notifyIfChanged(before);
    return kMouseEventHandled;
}

bool CKnob::onWheel(const CPoint&, const float& distance, const long& buttons)
{
    return wheelStep(distance, buttons, zoomFactor);
}

long CKnob::onKeyDown(VstKeyCode& key) { return arrowKeyStep(key); }

// --- CAnimKnob ---------------------------------------------------------------

CAnimKnob::CAnimKnob(const CRect& rect, CControlListener* knobListener, long knobTag, CBitmap* background,
                     const CPoint& backgroundOffset)
    : CKnob(rect, knobListener, knobTag, background, nullptr, backgroundOffset), heightOfOneImage(rect.height())
{
    subPixmaps = background && heightOfOneImage > 0
                     ? static_cast<long>(background->getHeight() / heightOfOneImage)
                     : 0;
}

CAnimKnob::CAnimKnob(const CRect& rect, CControlListener* knobListener, long knobTag, long pixmaps,
                     CCoord imageHeight, CBitmap* background, const CPoint& backgroundOffset)
    : CKnob(rect, knobListener, knobTag, background, nullptr, backgroundOffset), subPixmaps(pixmaps),
      heightOfOneImage(imageHeight)
{
}

bool CAnimKnob::isTypeOf(const char* type) const
{
    return (type && std::strcmp(type, "CAnimKnob") == 0) || CKnob::isTypeOf(type);
}

long CAnimKnob::getImageIndex() const
{
    if (subPixmaps <= 1) return 0;
    const float range = vmax - vmin;
    float norm = range != 0 ? clamp01((value - vmin) / range) : 0;
    if (!std::isfinite(norm)) norm = 0;
    if (bInverseBitmap) norm = 1 - norm;
    return std::lround(norm * static_cast<float>(subPixmaps - 1));
}

void CAnimKnob::draw(CDrawContext* context)
{
    if (pBackground) {
        const CPoint source(offset.x, offset.y + static_cast<CCoord>(getImageIndex()) * heightOfOneImage);
        pBackground->draw(context, size, source);
    }
    setDirty(false);
}
