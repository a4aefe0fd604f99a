#pragma once
// Views and containers. A view's rectangle (`size`) is in the coordinates of
// the container holding it; a container's children are placed relative to
// the container's top-left corner. Mouse points reach a view in those same
// parent coordinates.
//
// Redrawing: a view that changed says so with setDirty(true) (a control is
// also dirty while its value differs from the value it last drew) or
// invalid(); the frame's idle redraws every dirty or invalid rectangle, the
// whole tree clipped to it, in child order. A view's draw clears its dirty
// state (setDirty(false)).
//
// Ownership: a container holds one reference on each child (addView takes
// over the creator's reference; removeView drops it). User-interface thread
// only.

#include "gui/BaseObject.h"
#include "gui/Geometry.h"
#include "vst2/Vst2Abi.h"

class CBitmap;
class CDrawContext;
class CFrame;
class CViewContainer;

// What a mouse handler did with the event.
enum CMouseEventResult {
    kMouseEventNotImplemented = 0,
    kMouseEventHandled,  // moved and up events go to this view until the button is released
    kMouseEventNotHandled,  // the views below get the event
    kMouseDownEventHandledButDontNeedMovedOrUpEvents,
};

// Mouse buttons and modifier keys, as one bit set. Alt is X11's Mod1, kApple
// the Super key (Mod4).
enum CButton {
    kLButton = 1 << 1,
    kMButton = 1 << 2,
    kRButton = 1 << 3,
    kShift = 1 << 4,
    kControl = 1 << 5,
    kAlt = 1 << 6,
    kApple = 1 << 7,
    kButton4 = 1 << 8,
    kButton5 = 1 << 9,
    kDoubleClick = 1 << 10,
};
constexpr long kModifierButtons = kShift | kControl | kAlt | kApple;

enum CCursorType {
    kCursorDefault = 0,
    kCursorWait,
    kCursorHSize,
    kCursorVSize,
    kCursorSizeAll,
    kCursorNESWSize,
    kCursorNWSESize,
    kCursorCopy,
    kCursorNotAllowed,
    kCursorHand,
};

class CView : public CBaseObject {
public:
    explicit CView(const CRect& size);
    ~CView() override;

    bool isTypeOf(const char* type) const override;

    // Drawing. draw paints the whole view; drawRect the part in updateRect
    // (the view's own coordinates, as size); both clear the dirty state.
    virtual void draw(CDrawContext* context);
    virtual void drawRect(CDrawContext* context, const CRect& updateRect);
    virtual void setDirty(const bool val = true);
    virtual bool isDirty() const { return bDirty; }
    // Asks the frame to redraw the view's rectangle at the next idle.
    virtual void invalid();
    virtual void invalidRect(const CRect& rect);

    // Mouse, in parent coordinates.
    virtual CMouseEventResult onMouseDown(CPoint& where, const long& buttons);
    virtual CMouseEventResult onMouseUp(CPoint& where, const long& buttons);
    virtual CMouseEventResult onMouseMoved(CPoint& where, const long& buttons);
    virtual CMouseEventResult onMouseEntered(CPoint& where, const long& buttons);
    virtual CMouseEventResult onMouseExited(CPoint& where, const long& buttons);
    // distance: +1 per wheel step up (or right), -1 down (or left).
    virtual bool onWheel(const CPoint& where, const float& distance, const long& buttons);
    // Keys while the view has the focus: 1 when used, -1 when not.
    virtual long onKeyDown(VstKeyCode& keyCode);
    virtual long onKeyUp(VstKeyCode& keyCode);
    // Whether the point (parent coordinates) lies in the mouseable area.
    virtual bool hitTest(const CPoint& where, const long buttons = -1);

    virtual void setMouseEnabled(const bool enable = true) { bMouseEnabled = enable; }
    virtual bool getMouseEnabled() const { return bMouseEnabled; }
    virtual void setMouseableArea(const CRect& rect) { mouseableArea = rect; }
    virtual CRect& getMouseableArea(CRect& rect) const
    {
        rect = mouseableArea;
        return rect;
    }
    // Keyboard focus (CFrame::setFocusView calls these).
    virtual void takeFocus() {}
    virtual void looseFocus() {}
    virtual bool wantsFocus() const { return bWantsFocus; }
    virtual void setWantsFocus(bool state) { bWantsFocus = state; }

    virtual void setVisible(bool state);
    virtual bool isVisible() const { return bVisible; }
    virtual void setTransparency(bool state) { bTransparencyEnabled = state; }
    virtual bool getTransparency() const { return bTransparencyEnabled; }

    virtual void setBackground(CBitmap* background);
    virtual CBitmap* getBackground() const { return pBackground; }
    virtual void setBackOffset(const CPoint& offset) { backOffset = offset; }
    virtual const CPoint& getBackOffset() const { return backOffset; }

    // Size and place, in parent coordinates; the mouseable area follows.
    virtual void setViewSize(const CRect& rect, bool invalidate = true);
    virtual CRect& getViewSize(CRect& rect) const
    {
        rect = size;
        return rect;
    }
    const CRect& getViewSize() const { return size; }
    CCoord getWidth() const { return size.width(); }
    CCoord getHeight() const { return size.height(); }
    // The view's rectangle in frame (window) coordinates.
    CRect getFrameRect() const;
    // Between the view's parent coordinates and the frame's.
    virtual CPoint& localToFrame(CPoint& point) const;
    virtual CPoint& frameToLocal(CPoint& point) const;

    CView* getParentView() const { return pParentView; }
    CFrame* getFrame() const { return pParentFrame; }
    // Called by the container that takes or lets go of the view.
    virtual bool attached(CView* parent);
    virtual bool removed(CView* parent);
    bool isAttached() const { return pParentView != nullptr; }
    // Frames are set when a view joins a tree; containers pass theirs on.
    virtual void setFrame(CFrame* frame) { pParentFrame = frame; }

protected:
    CRect size;
    CRect mouseableArea;
    CFrame* pParentFrame = nullptr;
    CView* pParentView = nullptr;
    CBitmap* pBackground = nullptr;
    CPoint backOffset;
    bool bDirty = false;
    bool bMouseEnabled = true;
    bool bTransparencyEnabled = false;
    bool bWantsFocus = false;
    bool bVisible = true;
};

// One entry of a container's child list, first to last in drawing order.
struct CCView {
    CView* pView;
    CCView* pNext;
    CCView* pPrevious;
};

class CViewContainer : public CView {
public:
    CViewContainer(const CRect& size, CFrame* pParent, CBitmap* pBackground = nullptr);
    ~CViewContainer() override;

    bool isTypeOf(const char* type) const override;

    // Adds on top of the other children; the container takes over the
    // caller's reference.
    virtual void addView(CView* view);
    virtual void addView(CView* view, const CRect& mouseableArea, bool mouseEnabled = true);
    // Takes the view out; withForget drops the container's reference.
    virtual void removeView(CView* view, const bool& withForget = true);
    virtual void removeAll(const bool& withForget = true);
    virtual bool isChild(CView* view) const;
    virtual long getNbViews() const;
    virtual CView* getView(long index) const;
    CCView* getFirstChild() const { return pFirstView; }

    virtual void setBackgroundColor(const CColor& color) { backgroundColor = color; }
    virtual CColor getBackgroundColor() const { return backgroundColor; }
    // Where in the background bitmap the container's top-left corner lies.
    virtual void setBackgroundOffset(const CPoint& offset) { backgroundOffset = offset; }
    virtual const CPoint& getBackgroundOffset() const { return backgroundOffset; }
    // Paints the background (bitmap, or the colour when there is none and
    // the container is not transparent) in rect (container coordinates).
    virtual void drawBackgroundRect(CDrawContext* context, const CRect& rect);

    void draw(CDrawContext* context) override;
    void drawRect(CDrawContext* context, const CRect& updateRect) override;
    bool isDirty() const override;
    void setDirty(const bool val = true) override;

    // Mouse events go to the topmost child under the point that handles
    // them (children in container coordinates); moved and up events go to
    // the child that took the down event.
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
    bool onWheel(const CPoint& where, const float& distance, const long& buttons) override;
    bool hitTest(const CPoint& where, const long buttons = -1) override;

    // The topmost visible child under the point (parent coordinates of the
    // container); with deep, the deepest view inside child containers.
    virtual CView* getViewAt(const CPoint& where, bool deep = false) const;
    CPoint& localToFrame(CPoint& point) const override;
    CPoint& frameToLocal(CPoint& point) const override;

    void setFrame(CFrame* frame) override;
    bool removed(CView* parent) override;
    // Forgets a child that is being destroyed by someone else's reference.
    void clearMouseDownView() { mouseDownView = nullptr; }
    CView* getMouseDownView() const { return mouseDownView; }

protected:
    void drawChildren(CDrawContext* context, const CRect& updateRect);
    // Takes the entry's view out of the list (removeView without the search).
    void removeEntry(CCView* entry, bool withForget);

    CCView* pFirstView = nullptr;
    CCView* pLastView = nullptr;
    CColor backgroundColor = kBlackCColor;
    CPoint backgroundOffset;
    CView* mouseDownView = nullptr;
};
