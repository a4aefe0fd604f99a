#include "gui/View.h"

#include <cstring>

#include "gui/Bitmap.h"
#include "gui/DrawContext.h"
#include "gui/Frame.h"

namespace {

bool named(const char* type, const char* name) { return type && std::strcmp(type, name) == 0; }

// Keeps a view alive through a call that may let its tree go.
struct Hold {
    explicit Hold(CView* v) : view(v) { view->remember(); }
    ~Hold() { view->forget(); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
    CView* view;
};

}  // namespace

// --- CView ---------------------------------------------------------------

CView::CView(const CRect& rect) : size(rect), mouseableArea(rect) {}

CView::~CView()
{
    if (pBackground) pBackground->forget();
}

bool CView::isTypeOf(const char* type) const { return named(type, "CView") || CBaseObject::isTypeOf(type); }

void CView::draw(CDrawContext* context)
{
    if (pBackground) pBackground->draw(context, size, backOffset);
    setDirty(false);
}

void CView::drawRect(CDrawContext* context, const CRect& /*updateRect*/) { draw(context); }

void CView::setDirty(const bool val) { bDirty = val; }

void CView::invalid() { invalidRect(size); }

void CView::invalidRect(const CRect& rect)
{
    if (!pParentFrame || !pParentView) return;
    CPoint topLeft(rect.left, rect.top);
    pParentView->localToFrame(topLeft);
    pParentFrame->invalidRect(CRect(topLeft, CPoint(rect.width(), rect.height())));
}

CMouseEventResult CView::onMouseDown(CPoint&, const long&) { return kMouseEventNotImplemented; }
CMouseEventResult CView::onMouseUp(CPoint&, const long&) { return kMouseEventNotImplemented; }
CMouseEventResult CView::onMouseMoved(CPoint&, const long&) { return kMouseEventNotImplemented; }
CMouseEventResult CView::onMouseEntered(CPoint&, const long&) { return kMouseEventNotImplemented; }
CMouseEventResult CView::onMouseExited(CPoint&, const long&) { return kMouseEventNotImplemented; }
bool CView::onWheel(const CPoint&, const float&, const long&) { return false; }
long CView::onKeyDown(VstKeyCode&) { return -1; }
long CView::onKeyUp(VstKeyCode&) { return -1; }

bool CView::hitTest(const CPoint& where, const long /*buttons*/) { return mouseableArea.pointInside(where); }

void CView::setVisible(bool state)
{
    if (bVisible == state) return;
    bVisible = state;
    // The region shows what lies below (hidden) or the view again (shown).
    invalid();
    if (state) setDirty(true);
}

void CView::setBackground(CBitmap* background)
{
    if (background == pBackground) return;
    if (background) background->remember();
    if (pBackground) pBackground->forget();
    pBackground = background;
    setDirty(true);
}

void CView::setViewSize(const CRect& rect, bool invalidate)
{
    if (invalidate) invalid();
    size = rect;
    mouseableArea = rect;
    if (invalidate) {
        invalid();
        setDirty(true);
    }
}

CRect CView::getFrameRect() const
{
    CPoint topLeft(size.left, size.top);
    if (pParentView) pParentView->localToFrame(topLeft);
    return CRect(topLeft, CPoint(size.width(), size.height()));
}

CPoint& CView::localToFrame(CPoint& point) const
{
    if (pParentView) pParentView->localToFrame(point);
    return point;
}

CPoint& CView::frameToLocal(CPoint& point) const
{
    if (pParentView) pParentView->frameToLocal(point);
    return point;
}

bool CView::attached(CView* parent)
{
    pParentView = parent;
    setFrame(parent ? parent->getFrame() : nullptr);
    return true;
}

bool CView::removed(CView* /*parent*/)
{
    pParentView = nullptr;
    setFrame(nullptr);
    return true;
}

// --- CViewContainer --------------------------------------------------------

CViewContainer::CViewContainer(const CRect& rect, CFrame* pParent, CBitmap* background) : CView(rect)
{
    pParentFrame = pParent;
    setBackground(background);
    bDirty = true;
}

CViewContainer::~CViewContainer() { removeAll(true); }

bool CViewContainer::isTypeOf(const char* type) const
{
    return named(type, "CViewContainer") || CView::isTypeOf(type);
}

void CViewContainer::addView(CView* view)
{
    if (!view) return;
    auto* entry = new CCView{view, nullptr, pLastView};
    if (pLastView)
        pLastView->pNext = entry;
    else
        pFirstView = entry;
    pLastView = entry;
    view->attached(this);
    view->invalid();
    view->setDirty(true);
}

void CViewContainer::addView(CView* view, const CRect& area, bool mouseEnabled)
{
    if (!view) return;
    view->setMouseEnabled(mouseEnabled);
    addView(view);
    view->setMouseableArea(area);
}

void CViewContainer::removeView(CView* view, const bool& withForget)
{
    for (CCView* entry = pFirstView; entry; entry = entry->pNext)
        if (entry->pView == view) return removeEntry(entry, withForget);
}

// From the last child, so that each one is found at once.
void CViewContainer::removeAll(const bool& withForget)
{
    while (pLastView) removeEntry(pLastView, withForget);
}

void CViewContainer::removeEntry(CCView* entry, bool withForget)
{
    CView* view = entry->pView;
    if (entry->pPrevious)
        entry->pPrevious->pNext = entry->pNext;
    else
        pFirstView = entry->pNext;
    if (entry->pNext)
        entry->pNext->pPrevious = entry->pPrevious;
    else
        pLastView = entry->pPrevious;
    delete entry;
    if (view == mouseDownView) mouseDownView = nullptr;
    view->invalid();
    if (pParentFrame) pParentFrame->viewRemoved(view);
    view->removed(this);
    if (withForget) view->forget();
}

bool CViewContainer::isChild(CView* view) const
{
    for (CCView* entry = pFirstView; entry; entry = entry->pNext)
        if (entry->pView == view) return true;
    return false;
}

long CViewContainer::getNbViews() const
{
    long count = 0;
    for (CCView* entry = pFirstView; entry; entry = entry->pNext) ++count;
    return count;
}

CView* CViewContainer::getView(long index) const
{
    if (index < 0) return nullptr;
    for (CCView* entry = pFirstView; entry; entry = entry->pNext)
        if (index-- == 0) return entry->pView;
    return nullptr;
}

void CViewContainer::drawBackgroundRect(CDrawContext* context, const CRect& rect)
{
    CRect area = rect;
    area.bound(size);
    if (area.isEmpty()) return;
    if (pBackground) {
        const CPoint source(backgroundOffset.x + area.left - size.left, backgroundOffset.y + area.top - size.top);
        pBackground->draw(context, area, source);
    } else if (!bTransparencyEnabled) {
        context->setFillColor(backgroundColor);
        context->drawRect(area, kDrawFilled);
    }
}

void CViewContainer::draw(CDrawContext* context) { drawRect(context, size); }

void CViewContainer::drawRect(CDrawContext* context, const CRect& updateRect)
{
    CRect area = updateRect;
    area.bound(size);
    if (area.isEmpty()) return;
    CRect oldClip;
    context->getClipRect(oldClip);
    const CPoint oldOffset = context->getOffset();
    CRect clip = area;
    clip.bound(oldClip);
    context->setClipRect(clip);
    drawBackgroundRect(context, area);
    context->setOffset(CPoint(oldOffset.x + size.left, oldOffset.y + size.top));
    area.offset(-size.left, -size.top);
    drawChildren(context, area);
    context->setOffset(oldOffset);
    context->setClipRect(oldClip);
    bDirty = false;
}

void CViewContainer::drawChildren(CDrawContext* context, const CRect& updateRect)
{
    CRect outerClip;
    context->getClipRect(outerClip);
    for (CCView* entry = pFirstView; entry; entry = entry->pNext) {
        CView* child = entry->pView;
        if (!child->isVisible()) continue;
        CRect area = child->getViewSize();
        area.bound(updateRect);
        area.bound(outerClip);
        if (area.isEmpty()) continue;
        context->setClipRect(area);
        child->drawRect(context, area);
    }
    context->setClipRect(outerClip);
}

bool CViewContainer::isDirty() const
{
    if (bDirty) return true;
    for (CCView* entry = pFirstView; entry; entry = entry->pNext)
        if (entry->pView->isVisible() && entry->pView->isDirty()) return true;
    return false;
}

void CViewContainer::setDirty(const bool val)
{
    bDirty = val;
    if (!val)
        for (CCView* entry = pFirstView; entry; entry = entry->pNext) entry->pView->setDirty(false);
}

CMouseEventResult CViewContainer::onMouseDown(CPoint& where, const long& buttons)
{
    CPoint local(where.x - size.left, where.y - size.top);
    for (CCView* entry = pLastView; entry; entry = entry->pPrevious) {
        CView* child = entry->pView;
        if (!child->isVisible() || !child->getMouseEnabled() || !child->hitTest(local, buttons)) continue;
        Hold hold(child);
        CPoint point = local;
        const CMouseEventResult result = child->onMouseDown(point, buttons);
        if (result == kMouseEventNotHandled || result == kMouseEventNotImplemented) continue;
        if (result == kMouseEventHandled && child->getParentView() == this) mouseDownView = child;
        return result;
    }
    return kMouseEventNotHandled;
}

CMouseEventResult CViewContainer::onMouseUp(CPoint& where, const long& buttons)
{
    CView* child = mouseDownView;
    if (!child) return kMouseEventNotHandled;
    mouseDownView = nullptr;
    Hold hold(child);
    CPoint point(where.x - size.left, where.y - size.top);
    return child->onMouseUp(point, buttons);
}

CMouseEventResult CViewContainer::onMouseMoved(CPoint& where, const long& buttons)
{
    CView* child = mouseDownView;
    if (!child) return kMouseEventNotHandled;
    Hold hold(child);
    CPoint point(where.x - size.left, where.y - size.top);
    return child->onMouseMoved(point, buttons);
}

bool CViewContainer::onWheel(const CPoint& where, const float& distance, const long& buttons)
{
    const CPoint local(where.x - size.left, where.y - size.top);
    for (CCView* entry = pLastView; entry; entry = entry->pPrevious) {
        CView* child = entry->pView;
        if (!child->isVisible() || !child->getMouseEnabled() || !child->hitTest(local, buttons)) continue;
        Hold hold(child);
        if (child->onWheel(local, distance, buttons)) return true;
    }
    return false;
}

bool CViewContainer::hitTest(const CPoint& where, const long buttons) { return CView::hitTest(where, buttons); }

CView* CViewContainer::getViewAt(const CPoint& where, bool deep) const
{
    const CPoint local(where.x - size.left, where.y - size.top);
    for (CCView* entry = pLastView; entry; entry = entry->pPrevious) {
        CView* child = entry->pView;
        if (!child->isVisible() || !child->hitTest(local)) continue;
        if (deep)
            if (auto* container = dynamic_cast<CViewContainer*>(child))
                if (CView* inner = container->getViewAt(local, true)) return inner;
        return child;
    }
    return nullptr;
}

CPoint& CViewContainer::localToFrame(CPoint& point) const
{
    point.offset(size.left, size.top);
    if (pParentView) pParentView->localToFrame(point);
    return point;
}

CPoint& CViewContainer::frameToLocal(CPoint& point) const
{
    if (pParentView) pParentView->frameToLocal(point);
    point.offset(-size.left, -size.top);
    return point;
}

void CViewContainer::setFrame(CFrame* frame)
{
    pParentFrame = frame;
    for (CCView* entry = pFirstView; entry; entry = entry->pNext) entry->pView->setFrame(frame);
}

bool CViewContainer::removed(CView* parent)
{
    mouseDownView = nullptr;
    return CView::removed(parent);
}
