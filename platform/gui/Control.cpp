#include "gui/Control.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "gui/Bitmap.h"
#include "gui/Frame.h"

CControl::CControl(const CRect& rect, CControlListener* controlListener, long controlTag, CBitmap* background)
    : CView(rect), listener(controlListener), tag(controlTag)
{
    setBackground(background);
    bDirty = true;
}

CControl::~CControl() = default;

bool CControl::isTypeOf(const char* type) const
{
    return (type && std::strcmp(type, "CControl") == 0) || CView::isTypeOf(type);
}

void CControl::bounceValue()
{
    if (value > vmax)
        value = vmax;
    else if (value < vmin)
        value = vmin;
}

void CControl::beginEdit()
{
    ++editing;
    if (listener) listener->controlBeginEdit(this);
    if (CFrame* frame = getFrame()) frame->beginEdit(tag);
}

void CControl::endEdit()
{
    if (editing > 0) --editing;
    if (CFrame* frame = getFrame()) frame->endEdit(tag);
    if (listener) listener->controlEndEdit(this);
}

bool CControl::isDirty() const
{
    // Bitwise, so that a value that is not a number does not keep the
    // control dirty for ever.
    return bDirty || std::bit_cast<uint32_t>(value) != std::bit_cast<uint32_t>(oldValue);
}

void CControl::setDirty(const bool val)
{
    CView::setDirty(val);
    if (!val) oldValue = value;
}

void CControl::draw(CDrawContext* context)
{
    CView::draw(context);
    setDirty(false);
}

bool CControl::modifierClickTaken(const long& buttons)
{
    if (!listener || !(buttons & kModifierButtons)) return false;
    return listener->controlModifierClicked(this, buttons) != 0;
}

bool CControl::checkDefaultValue(const long& buttons)
{
    if (!(buttons & kLButton) || (buttons & kModifierButtons) != kControl) return false;
    beginEdit();
    const float before = value;
    value = defaultValue;
    bounceValue();
    notifyIfChanged(before);
    endEdit();
    return true;
}

void CControl::notify()
{
    if (listener) listener->valueChanged(this);
    invalid();
}

void CControl::notifyIfChanged(float before)
{
    if (std::bit_cast<uint32_t>(value) != std::bit_cast<uint32_t>(before)) notify();
}

bool CControl::wheelStep(float distance, const long& buttons, float zoom)
{
    if (!bMouseEnabled) return false;
    const float before = value;
    value += distance * wheelInc * (vmax - vmin) / ((buttons & kShift) ? zoom : 1.0f);
    bounceValue();
    if (value != before) {
        beginEdit();
        notify();
        endEdit();
    }
    return true;
}

long CControl::arrowKeyStep(const VstKeyCode& key)
{
    float step = 0;
    if (key.virt == VKEY_UP || key.virt == VKEY_RIGHT) step = 1;
    if (key.virt == VKEY_DOWN || key.virt == VKEY_LEFT) step = -1;
    if (step == 0) return -1;
    const CPoint nowhere;
    onWheel(nowhere, step, (key.modifier & MODIFIER_SHIFT) ? kShift : 0);
    return 1;
}
