#pragma once
// The root of the view tree and its window: an X11 child window of the
// host's window, on a Display connection of the frame's own (XOpenDisplay of
// $DISPLAY). Nothing happens between calls: idle() reads the pending X
// events, hands them to the views (mouse down, moved, up and wheel with
// buttons and modifiers; entered and exited; keys to the focused view) and
// redraws whatever is dirty or invalid through a cairo image of the frame,
// copied to the window.
//
// Made with no host window, or when no X display can be opened or the
// host's id names no window (both said on standard error), the frame has no
// window: views, values and drawing (draw with a context of one's own)
// work, events never come. A host that destroys its window takes the
// frame's with it: the frame hears of it in idle and from then on has no
// window. Every X request runs under an XErrorGuard, so that errors on a
// window gone meanwhile never end the host. Everything here runs on the
// thread that calls the editor (the host's user-interface thread).

#include <cstddef>
#include <memory>

#include "gui/View.h"

class AEffGUIEditor;
class CDrawContext;
class COptionMenu;
class CMenuPopup;

class CFrame : public CViewContainer {
public:
    // pSystemWindow: the host's X11 window id (a Window cast to a pointer),
    // or none for a frame without window. pEditor: the editor that receives
    // begin and end edit, or none.
    CFrame(const CRect& size, void* pSystemWindow, AEffGUIEditor* pEditor);
    ~CFrame() override;

    bool isTypeOf(const char* type) const override;

    // Reads and handles every pending event, then redraws what changed.
    virtual void idle();
    // Redraws what changed now, without reading events.
    virtual void update();
    // Whether the window exists.
    bool isOpen() const;
    // The frame's X11 window id (0 without window).
    unsigned long getWindow() const;
    // The host window given at construction.
    void* getSystemWindow() const { return systemWindow; }
    AEffGUIEditor* getEditor() const { return pEditor; }

    // Asks for the rectangle (frame coordinates) to be redrawn at the next
    // idle or update.
    void invalidRect(const CRect& rect) override;
    void invalid() override { invalidRect(size); }
    // Draws the whole tree (or the part in updateRect) with the context.
    void draw(CDrawContext* context) override;
    void drawRect(CDrawContext* context, const CRect& updateRect) override;

    // Keyboard focus: the old focus view gets looseFocus, the new takeFocus.
    // A text edit that takes the focus also takes the X keyboard focus.
    virtual bool setFocusView(CView* view);
    virtual CView* getFocusView() const { return pFocusView; }
    // A view drawn above everything that gets every mouse event; none ends it.
    // The frame holds a reference on it while it is modal.
    virtual bool setModalView(CView* view);
    virtual CView* getModalView() const { return pModalView; }
    // The pointer's shape over the frame window.
    virtual void setCursor(CCursorType type);
    CCursorType getCursor() const { return cursor; }

    // Mouse and keys, in frame coordinates; the window's events come here.
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
    bool onWheel(const CPoint& where, const float& distance, const long& buttons) override;
    long onKeyDown(VstKeyCode& keyCode) override;
    long onKeyUp(VstKeyCode& keyCode) override;
    // The frame keeps itself as frame and has no parent.
    CPoint& localToFrame(CPoint& point) const override { return point; }
    CPoint& frameToLocal(CPoint& point) const override { return point; }

    // Begin and end of a gesture on a control, passed to the editor.
    virtual void beginEdit(long tag);
    virtual void endEdit(long tag);

    // Shows the menu as a pop-up window below its control (gui/MenuPopup.h)
    // and returns at once; the choice is made in later idles (COptionMenu).
    // Returns false without a window.
    bool popupMenu(COptionMenu* menu);
    // Whether a pop-up menu is open.
    bool isMenuOpen() const;
    // Closes an open pop-up menu without a choice.
    void closeMenu();
    // The open pop-up (its levels, for tests), or none.
    const CMenuPopup* getMenuPopup() const;

    // A view is going away: forget it wherever the frame points at it.
    void viewRemoved(CView* view);

    struct System;

private:
    void trackMouseOver(const CPoint& where, const long& buttons);
    void chooseMenuEntry(COptionMenu* menu, long index);

    void* systemWindow;
    AEffGUIEditor* pEditor;
    CView* pFocusView = nullptr;
    CView* pModalView = nullptr;
    CView* pMouseOverView = nullptr;
    CView* pModalMouseDown = nullptr;
    CCursorType cursor = kCursorDefault;
    CRect invalidRegion;
    std::unique_ptr<System> system;
};
