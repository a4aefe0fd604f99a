#include <cmath>
#include <cstring>

#include "gui/Bitmap.h"
#include "gui/Controls.h"
#include "gui/Frame.h"

namespace {

bool named(const char* type, const char* name) { return type && std::strcmp(type, name) == 0; }

float normalised(float value, float vmin, float vmax)
{
    const float range = vmax - vmin;
    if (range == 0 || !std::isfinite(value)) return 0;
    const float n = (value - vmin) / range;
    return n < 0 ? 0 : (n > 1 ? 1 : n);
}

// The image of a film strip of `count` images shown for the value.
long stripIndex(float value, float vmin, float vmax, long count)
{
    if (count <= 1) return 0;
    return std::lround(normalised(value, vmin, vmax) * static_cast<float>(count - 1));
}

void drawStrip(CBitmap* strip, CDrawContext* context, const CRect& size, const CPoint& offset, long index,
               CCoord imageHeight)
{
    if (!strip) return;
    strip->draw(context, size, CPoint(offset.x, offset.y + static_cast<CCoord>(index) * imageHeight));
}

long imagesIn(CBitmap* strip, CCoord imageHeight)
{
    return strip && imageHeight > 0 ? static_cast<long>(strip->getHeight() / imageHeight) : 0;
}

bool on(float value, float vmin, float vmax) { return normalised(value, vmin, vmax) >= 0.5f; }

// The splash itself: the bitmap over the display rectangle, modal on the
// frame; a click on it hides it.
class CSplashView : public CView {
public:
    CSplashView(CSplashScreen* control, CBitmap* bitmap, const CRect& where, const CPoint& source)
        : CView(where), owner(control), offset(source)
    {
        setBackground(bitmap);
    }
    void draw(CDrawContext* context) override
    {
        if (pBackground) pBackground->draw(context, size, offset);
        setDirty(false);
    }
    CMouseEventResult onMouseDown(CPoint&, const long& buttons) override
    {
        if (buttons & kLButton) owner->unSplash();
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }

private:
    CSplashScreen* owner;
    CPoint offset;
};

}  // namespace

// --- CStripControl ----------------------------------------------------------------

CStripControl::CStripControl(const CRect& rect, CControlListener* stripListener, long stripTag, long pixmaps,
                             CCoord imageHeight, CBitmap* background, const CPoint& backgroundOffset)
    : CControl(rect, stripListener, stripTag, background), offset(backgroundOffset), subPixmaps(pixmaps),
      heightOfOneImage(imageHeight)
{
}

void CStripControl::drawImage(CDrawContext* context, long index)
{
    drawStrip(pBackground, context, size, offset, index, heightOfOneImage);
}

long CStripControl::valueImage() const { return stripIndex(value, vmin, vmax, subPixmaps); }

// --- CVerticalSwitch / CHorizontalSwitch ----------------------------------------

CVerticalSwitch::CVerticalSwitch(const CRect& rect, CControlListener* switchListener, long switchTag,
                                 CBitmap* background, const CPoint& backgroundOffset)
    : CVerticalSwitch(rect, switchListener, switchTag, imagesIn(background, rect.height()), rect.height(),
                      imagesIn(background, rect.height()), background, backgroundOffset)
{
}

CVerticalSwitch::CVerticalSwitch(const CRect& rect, CControlListener* switchListener, long switchTag, long pixmaps,
                                 CCoord imageHeight, long positions, CBitmap* background,
                                 const CPoint& backgroundOffset)
    : CStripControl(rect, switchListener, switchTag, pixmaps, imageHeight, background, backgroundOffset),
      iMaxPositions(positions)
{
}

bool CVerticalSwitch::isTypeOf(const char* type) const
{
    return named(type, "CVerticalSwitch") || CControl::isTypeOf(type);
}

void CVerticalSwitch::draw(CDrawContext* context)
{
    drawImage(context, valueImage());
    setDirty(false);
}

void CVerticalSwitch::setValueFromPoint(const CPoint& where)
{
    if (iMaxPositions < 2 || heightOfOneImage <= 0) return;
    const double coefficient = heightOfOneImage / static_cast<double>(iMaxPositions);
    long position = static_cast<long>(std::floor((where.y - size.top) / coefficient));
    position = std::max(0L, std::min(position, iMaxPositions - 1));
    value = vmin + static_cast<float>(position) / static_cast<float>(iMaxPositions - 1) * (vmax - vmin);
}

CMouseEventResult CVerticalSwitch::onMouseDown(CPoint& where, const long& buttons)
{
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    if (modifierClickTaken(buttons)) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    beginEdit();
    return onMouseMoved(where, buttons);
}

CMouseEventResult CVerticalSwitch::onMouseMoved(CPoint& where, const long& buttons)
{
    if (!(buttons & kLButton)) return kMouseEventHandled;
    const float before = value;
    setValueFromPoint(where);
    notifyIfChanged(before);
    return kMouseEventHandled;
}

CMouseEventResult CVerticalSwitch::onMouseUp(CPoint&, const long&)
{
    if (isEditing()) endEdit();
    return kMouseEventHandled;
}

bool CVerticalSwitch::onWheel(const CPoint&, const float& distance, const long&)
{
    if (!bMouseEnabled || iMaxPositions < 2) return false;
    long position = stripIndex(value, vmin, vmax, iMaxPositions) + (distance > 0 ? 1 : -1);
    position = std::max(0L, std::min(position, iMaxPositions - 1));
    const float before = value;
    value = vmin + static_cast<float>(position) / static_cast<float>(iMaxPositions - 1) * (vmax - vmin);
    if (value != before) {
        beginEdit();
        notify();
        endEdit();
    }
    return true;
}

CHorizontalSwitch::CHorizontalSwitch(const CRect& rect, CControlListener* switchListener, long switchTag,
                                     CBitmap* background, const CPoint& backgroundOffset)
    : CVerticalSwitch(rect, switchListener, switchTag, background, backgroundOffset)
{
}

CHorizontalSwitch::CHorizontalSwitch(const CRect& rect, CControlListener* switchListener, long switchTag,
                                     long pixmaps, CCoord imageHeight, long positions, CBitmap* background,
                                     const CPoint& backgroundOffset)
    : CVerticalSwitch(rect, switchListener, switchTag, pixmaps, imageHeight, positions, background,
                      backgroundOffset)
{
}

bool CHorizontalSwitch::isTypeOf(const char* type) const
{
    return named(type, "CHorizontalSwitch") || CVerticalSwitch::isTypeOf(type);
}

void CHorizontalSwitch::setValueFromPoint(const CPoint& where)
{
    if (iMaxPositions < 2 || heightOfOneImage <= 0 || size.width() <= 0) return;
    const double coefficient = size.width() / static_cast<double>(iMaxPositions);
    long position = static_cast<long>(std::floor((where.x - size.left) / coefficient));
    position = std::max(0L, std::min(position, iMaxPositions - 1));
    value = vmin + static_cast<float>(position) / static_cast<float>(iMaxPositions - 1) * (vmax - vmin);
}

// --- CRockerSwitch ---------------------------------------------------------------

CRockerSwitch::CRockerSwitch(const CRect& rect, CControlListener* rockerListener, long rockerTag,
                             CBitmap* background, const CPoint& backgroundOffset, const long rockerStyle)
    : CRockerSwitch(rect, rockerListener, rockerTag, rect.height(), background, backgroundOffset, rockerStyle)
{
}

CRockerSwitch::CRockerSwitch(const CRect& rect, CControlListener* rockerListener, long rockerTag,
                             CCoord imageHeight, CBitmap* background, const CPoint& backgroundOffset,
                             const long rockerStyle)
    : CStripControl(rect, rockerListener, rockerTag, 3, imageHeight, background, backgroundOffset),
      style(rockerStyle)
{
    vmin = -1;
    vmax = 1;
    value = 0;
    defaultValue = 0;
}

bool CRockerSwitch::isTypeOf(const char* type) const { return named(type, "CRockerSwitch") || CControl::isTypeOf(type); }

void CRockerSwitch::draw(CDrawContext* context)
{
    drawImage(context, valueImage());
    setDirty(false);
}

CMouseEventResult CRockerSwitch::onMouseDown(CPoint& where, const long& buttons)
{
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    if (modifierClickTaken(buttons)) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    beginEdit();
    return onMouseMoved(where, buttons);
}

CMouseEventResult CRockerSwitch::onMouseMoved(CPoint& where, const long& buttons)
{
    if (!(buttons & kLButton) || !isEditing()) return kMouseEventHandled;
    const float before = value;
    if (!size.pointInside(where))
        value = 0;
    else if (style & kVertical)
        value = where.y < size.top + size.height() / 2 ? vmin : vmax;
    else
        value = where.x < size.left + size.width() / 2 ? vmin : vmax;
    notifyIfChanged(before);
    return kMouseEventHandled;
}

CMouseEventResult CRockerSwitch::onMouseUp(CPoint&, const long&)
{
    if (!isEditing()) return kMouseEventHandled;
    const float before = value;
    value = 0;
    notifyIfChanged(before);
    endEdit();
    return kMouseEventHandled;
}

bool CRockerSwitch::onWheel(const CPoint&, const float& distance, const long&)
{
    if (!bMouseEnabled) return false;
    beginEdit();
    value = distance > 0 ? vmax : vmin;
    notify();
    value = 0;
    notify();
    endEdit();
    return true;
}

// --- CMovieBitmap ---------------------------------------------------------------

CMovieBitmap::CMovieBitmap(const CRect& rect, CControlListener* movieListener, long movieTag, CBitmap* background,
                           const CPoint& backgroundOffset)
    : CMovieBitmap(rect, movieListener, movieTag, imagesIn(background, rect.height()), rect.height(), background,
                   backgroundOffset)
{
}

CMovieBitmap::CMovieBitmap(const CRect& rect, CControlListener* movieListener, long movieTag, long pixmaps,
                           CCoord imageHeight, CBitmap* background, const CPoint& backgroundOffset)
    : CStripControl(rect, movieListener, movieTag, pixmaps, imageHeight, background, backgroundOffset)
{
}

bool CMovieBitmap::isTypeOf(const char* type) const { return named(type, "CMovieBitmap") || CControl::isTypeOf(type); }

void CMovieBitmap::draw(CDrawContext* context)
{
    drawImage(context, valueImage());
    setDirty(false);
}

CMouseEventResult CMovieBitmap::onMouseDown(CPoint&, const long&) { return kMouseEventNotHandled; }

// --- CMovieButton ---------------------------------------------------------------

CMovieButton::CMovieButton(const CRect& rect, CControlListener* buttonListener, long buttonTag, CBitmap* background,
                           const CPoint& backgroundOffset)
    : CMovieButton(rect, buttonListener, buttonTag, rect.height(), background, backgroundOffset)
{
}

CMovieButton::CMovieButton(const CRect& rect, CControlListener* buttonListener, long buttonTag, CCoord imageHeight,
                           CBitmap* background, const CPoint& backgroundOffset)
    : CStripControl(rect, buttonListener, buttonTag, 2, imageHeight, background, backgroundOffset)
{
}

bool CMovieButton::isTypeOf(const char* type) const { return named(type, "CMovieButton") || CControl::isTypeOf(type); }

void CMovieButton::draw(CDrawContext* context)
{
    drawImage(context, on(value, vmin, vmax) ? 1 : 0);
    setDirty(false);
}

CMouseEventResult CMovieButton::onMouseDown(CPoint& where, const long& buttons)
{
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    if (modifierClickTaken(buttons)) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    beginEdit();
    entryState = value;
    return onMouseMoved(where, buttons);
}

CMouseEventResult CMovieButton::onMouseMoved(CPoint& where, const long& buttons)
{
    if (!(buttons & kLButton) || !isEditing()) return kMouseEventHandled;
    const float before = value;
    const float toggled = on(entryState, vmin, vmax) ? vmin : vmax;
    value = size.pointInside(where) ? toggled : entryState;
    notifyIfChanged(before);
    return kMouseEventHandled;
}

CMouseEventResult CMovieButton::onMouseUp(CPoint&, const long&)
{
    if (isEditing()) endEdit();
    return kMouseEventHandled;
}

// --- CAutoAnimation --------------------------------------------------------------

CAutoAnimation::CAutoAnimation(const CRect& rect, CControlListener* animationListener, long animationTag,
                               CBitmap* background, const CPoint& backgroundOffset)
    : CAutoAnimation(rect, animationListener, animationTag, imagesIn(background, rect.height()), rect.height(),
                     background, backgroundOffset)
{
}

CAutoAnimation::CAutoAnimation(const CRect& rect, CControlListener* animationListener, long animationTag,
                               long pixmaps, CCoord imageHeight, CBitmap* background,
                               const CPoint& backgroundOffset)
    : CStripControl(rect, animationListener, animationTag, pixmaps, imageHeight, background, backgroundOffset)
{
}

bool CAutoAnimation::isTypeOf(const char* type) const
{
    return named(type, "CAutoAnimation") || CControl::isTypeOf(type);
}

void CAutoAnimation::draw(CDrawContext* context)
{
    if (windowOpened) drawImage(context, valueImage());
    setDirty(false);
}

CMouseEventResult CAutoAnimation::onMouseDown(CPoint&, const long& buttons)
{
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    if (modifierClickTaken(buttons)) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    if (windowOpened)
        closeWindow();
    else
        openWindow();
    beginEdit();
    notify();
    endEdit();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

void CAutoAnimation::openWindow()
{
    windowOpened = true;
    value = vmin;
    setDirty(true);
}

void CAutoAnimation::closeWindow()
{
    windowOpened = false;
    setDirty(true);
}

void CAutoAnimation::nextPixmap()
{
    if (subPixmaps < 2) return;
    const long index = (valueImage() + 1) % subPixmaps;
    value = vmin + static_cast<float>(index) / static_cast<float>(subPixmaps - 1) * (vmax - vmin);
    setDirty(true);
}

void CAutoAnimation::previousPixmap()
{
    if (subPixmaps < 2) return;
    const long index = (valueImage() + subPixmaps - 1) % subPixmaps;
    value = vmin + static_cast<float>(index) / static_cast<float>(subPixmaps - 1) * (vmax - vmin);
    setDirty(true);
}

// --- CKickButton -----------------------------------------------------------------

CKickButton::CKickButton(const CRect& rect, CControlListener* buttonListener, long buttonTag, CBitmap* background,
                         const CPoint& backgroundOffset)
    : CKickButton(rect, buttonListener, buttonTag, rect.height(), background, backgroundOffset)
{
}

CKickButton::CKickButton(const CRect& rect, CControlListener* buttonListener, long buttonTag, CCoord imageHeight,
                         CBitmap* background, const CPoint& backgroundOffset)
    : CStripControl(rect, buttonListener, buttonTag, 2, imageHeight, background, backgroundOffset)
{
}

bool CKickButton::isTypeOf(const char* type) const { return named(type, "CKickButton") || CControl::isTypeOf(type); }

void CKickButton::draw(CDrawContext* context)
{
    drawImage(context, value == vmax ? 1 : 0);
    setDirty(false);
}

CMouseEventResult CKickButton::onMouseDown(CPoint& where, const long& buttons)
{
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    if (modifierClickTaken(buttons)) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    beginEdit();
    return onMouseMoved(where, buttons);
}

CMouseEventResult CKickButton::onMouseMoved(CPoint& where, const long& buttons)
{
    if ((buttons & kLButton) && isEditing()) value = size.pointInside(where) ? vmax : vmin;
    return kMouseEventHandled;
}

CMouseEventResult CKickButton::onMouseUp(CPoint&, const long&)
{
    if (!isEditing()) return kMouseEventHandled;
    if (value == vmax) notify();
    value = vmin;
    notify();
    endEdit();
    return kMouseEventHandled;
}

// --- COnOffButton ----------------------------------------------------------------

COnOffButton::COnOffButton(const CRect& rect, CControlListener* buttonListener, long buttonTag, CBitmap* background,
                           long buttonStyle)
    : CControl(rect, buttonListener, buttonTag, background), style(buttonStyle)
{
}

bool COnOffButton::isTypeOf(const char* type) const { return named(type, "COnOffButton") || CControl::isTypeOf(type); }

void COnOffButton::draw(CDrawContext* context)
{
    drawStrip(pBackground, context, size, CPoint(0, 0), on(value, vmin, vmax) ? 1 : 0, size.height());
    setDirty(false);
}

CMouseEventResult COnOffButton::onMouseDown(CPoint&, const long& buttons)
{
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    if (modifierClickTaken(buttons)) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    value = on(value, vmin, vmax) ? vmin : vmax;
    beginEdit();
    if (style == kPostListenerUpdate) {
        if (listener) listener->valueChanged(this);
        invalid();
    } else {
        // The button shows its new state before the listener's work.
        invalid();
        if (CFrame* frame = getFrame()) frame->update();
        if (listener) listener->valueChanged(this);
    }
    endEdit();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

// --- CSplashScreen ---------------------------------------------------------------

CSplashScreen::CSplashScreen(const CRect& rect, CControlListener* splashListener, long splashTag,
                             CBitmap* background, const CRect& display, const CPoint& backgroundOffset)
    : CControl(rect, splashListener, splashTag, background), toDisplay(display), offset(backgroundOffset)
{
}

CSplashScreen::~CSplashScreen()
{
    if (!splashView) return;
    if (CFrame* frame = splashView->getFrame(); frame && frame->getModalView() == splashView)
        frame->setModalView(nullptr);
    splashView->forget();
}

bool CSplashScreen::isTypeOf(const char* type) const { return named(type, "CSplashScreen") || CControl::isTypeOf(type); }

void CSplashScreen::draw(CDrawContext*) { setDirty(false); }

CMouseEventResult CSplashScreen::onMouseDown(CPoint&, const long& buttons)
{
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    if (modifierClickTaken(buttons)) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    CFrame* frame = getFrame();
    if (!frame || splashView) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    splashView = new CSplashView(this, pBackground, toDisplay, offset);
    frame->setModalView(splashView);
    beginEdit();
    value = vmax;
    notify();
    endEdit();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

void CSplashScreen::unSplash()
{
    if (!splashView) return;
    CView* view = splashView;
    splashView = nullptr;
    if (CFrame* frame = view->getFrame(); frame && frame->getModalView() == view) frame->setModalView(nullptr);
    view->forget();
    beginEdit();
    value = vmin;
    notify();
    endEdit();
}
