#include "gui/Frame.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/keysym.h>
#include <cairo-xlib.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "gui/AEffGUIEditor.h"
#include "gui/Controls.h"
#include "gui/DrawContext.h"
#include "gui/MenuPopup.h"
#include "gui/XErrorGuard.h"

namespace {

// X resource ids have their top three bits clear; 0 is none.
constexpr uintptr_t kLargestXID = 0x1fffffff;

long modifiersOf(unsigned int state)
{
    long buttons = 0;
    if (state & ShiftMask) buttons |= kShift;
    if (state & ControlMask) buttons |= kControl;
    if (state & Mod1Mask) buttons |= kAlt;
    if (state & Mod4Mask) buttons |= kApple;
    return buttons;
}

long buttonsOf(unsigned int state)
{
    long buttons = modifiersOf(state);
    if (state & Button1Mask) buttons |= kLButton;
    if (state & Button2Mask) buttons |= kMButton;
    if (state & Button3Mask) buttons |= kRButton;
    return buttons;
}

long buttonBit(unsigned int button)
{
    switch (button) {
    case Button1: return kLButton;
    case Button2: return kMButton;
    case Button3: return kRButton;
    default: return 0;
    }
}

// A key event as the views get it: the Unicode character (0 for none), the
// virtual key and the modifiers.
VstKeyCode keyCodeOf(XKeyEvent& event, KeySym* symOut = nullptr)
{
    char text[8];
    KeySym sym = 0;
    XLookupString(&event, text, sizeof text, &sym, nullptr);
    if (symOut) *symOut = sym;
    VstKeyCode key{0, 0, 0};
    if (event.state & ShiftMask) key.modifier |= MODIFIER_SHIFT;
    if (event.state & Mod1Mask) key.modifier |= MODIFIER_ALTERNATE;
    if (event.state & ControlMask) key.modifier |= MODIFIER_CONTROL;
    if (event.state & Mod4Mask) key.modifier |= MODIFIER_COMMAND;
    switch (sym) {
    case XK_BackSpace: key.virt = VKEY_BACK; break;
    case XK_Tab: key.virt = VKEY_TAB; break;
    case XK_Return: key.virt = VKEY_RETURN; break;
    case XK_KP_Enter: key.virt = VKEY_ENTER; break;
    case XK_Escape: key.virt = VKEY_ESCAPE; break;
    case XK_space: key.virt = VKEY_SPACE; key.character = ' '; break;
    case XK_End: case XK_KP_End: key.virt = VKEY_END; break;
    case XK_Home: case XK_KP_Home: key.virt = VKEY_HOME; break;
    case XK_Left: case XK_KP_Left: key.virt = VKEY_LEFT; break;
    case XK_Up: case XK_KP_Up: key.virt = VKEY_UP; break;
    case XK_Right: case XK_KP_Right: key.virt = VKEY_RIGHT; break;
    case XK_Down: case XK_KP_Down: key.virt = VKEY_DOWN; break;
    case XK_Page_Up: key.virt = VKEY_PAGEUP; break;
    case XK_Page_Down: key.virt = VKEY_PAGEDOWN; break;
    case XK_Insert: key.virt = VKEY_INSERT; break;
    case XK_Delete: case XK_KP_Delete: key.virt = VKEY_DELETE; break;
    default:
        if (sym >= 0x20 && sym <= 0xff)
            key.character = static_cast<VstInt32>(sym);
        else if (sym >= 0x1000100 && sym <= 0x110ffff)
            key.character = static_cast<VstInt32>(sym - 0x1000000);
        break;
    }
    return key;
}

CRect outward(const CRect& r)
{
    return CRect(std::floor(r.left), std::floor(r.top), std::ceil(r.right), std::ceil(r.bottom));
}

bool contains(const CView* ancestor, const CView* view)
{
    for (; view; view = view->getParentView())
        if (view == ancestor) return true;
    return false;
}

}  // namespace

struct CFrame::System {
    Display* display = nullptr;
    Window window = 0;
    Window parent = 0;
    cairo_surface_t* backing = nullptr;
    cairo_surface_t* windowSurface = nullptr;
    Cursor cursors[kCursorHand + 1] = {};
    std::vector<CRect> invalid;
    std::vector<CRect> exposed;
    Time lastPressTime = 0;
    unsigned int lastPressButton = 0;
    CPoint lastPressPoint;
    // The open pop-up menu, if any, and its windows.
    COptionMenu* menuTop = nullptr;
    std::unique_ptr<CMenuPopup> popup;

    ~System()
    {
        if (display) {
            XErrorGuard guard(display);
            popup.reset();
            for (Cursor c : cursors)
                if (c) XFreeCursor(display, c);
            if (windowSurface) cairo_surface_destroy(windowSurface);
            if (window) XDestroyWindow(display, window);
            guard.closeDisplay();
        }
        if (backing) cairo_surface_destroy(backing);
    }

    // The window went with the host's: nothing more is asked of it.
    void windowGone(CFrame& frame)
    {
        frame.closeMenu();
        if (windowSurface) cairo_surface_destroy(windowSurface);
        windowSurface = nullptr;
        window = 0;
        parent = 0;
    }

    static void addRect(std::vector<CRect>& list, CRect r, const CRect& bounds)
    {
        r = outward(r);
        r.bound(bounds);
        if (r.isEmpty()) return;
        for (size_t i = 0; i < list.size();) {
            if (list[i].rectOverlap(r)) {
                r.unite(list[i]);
                list.erase(list.begin() + static_cast<long>(i));
                i = 0;
            } else {
                ++i;
            }
        }
        list.push_back(r);
        if (list.size() > 16) {
            CRect all;
            for (const CRect& each : list) all.unite(each);
            list.assign(1, all);
        }
    }

    void blit(const std::vector<CRect>& rects)
    {
        if (!windowSurface || rects.empty()) return;
        cairo_t* cr = cairo_create(windowSurface);
        cairo_set_source_surface(cr, backing, 0, 0);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        for (const CRect& r : rects) cairo_rectangle(cr, r.left, r.top, r.width(), r.height());
        cairo_fill(cr);
        cairo_destroy(cr);
        cairo_surface_flush(windowSurface);
    }

    void handleEvent(CFrame& frame, XEvent& event);
};

// --- CFrame ------------------------------------------------------------------

CFrame::CFrame(const CRect& rect, void* pSystemWindow, AEffGUIEditor* editor)
    : CViewContainer(rect, nullptr, nullptr), systemWindow(pSystemWindow), pEditor(editor),
      system(std::make_unique<System>())
{
    pParentFrame = this;
    size.moveTo(0, 0);
    mouseableArea = size;
    const int w = std::max(1, static_cast<int>(size.width()));
    const int h = std::max(1, static_cast<int>(size.height()));
    system->backing = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    if (!pSystemWindow) return;

    System& s = *system;
    const auto parent = reinterpret_cast<uintptr_t>(pSystemWindow);
    s.display = XOpenDisplay(nullptr);
    if (!s.display) {
        std::fprintf(stderr, "Quarrystone TWR:: Cannot open the X display; the editor has no window.\n");
        return;
    }
    XErrorGuard guard(s.display);
    XWindowAttributes parentAttributes;
    if (parent <= kLargestXID && XGetWindowAttributes(s.display, parent, &parentAttributes)) {
        s.parent = parent;
        XSetWindowAttributes attributes{};
        attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                                EnterWindowMask | LeaveWindowMask | KeyPressMask | KeyReleaseMask |
                                FocusChangeMask | StructureNotifyMask;
        attributes.background_pixmap = None;
        attributes.bit_gravity = NorthWestGravity;
        s.window = XCreateWindow(s.display, s.parent, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h), 0,
                                 CopyFromParent, InputOutput, CopyFromParent,
                                 CWEventMask | CWBackPixmap | CWBitGravity, &attributes);
        XWindowAttributes own;
        if (guard.succeeded() && s.window && XGetWindowAttributes(s.display, s.window, &own)) {
            s.windowSurface = cairo_xlib_surface_create(s.display, s.window, own.visual, w, h);
            XMapWindow(s.display, s.window);
            if (guard.succeeded()) return;
        }
    }
    std::fprintf(stderr, "Quarrystone TWR:: The host's window 0x%lx is no window; the editor has none.\n",
                 static_cast<unsigned long>(parent));
    if (s.windowSurface) cairo_surface_destroy(s.windowSurface);
    s.windowSurface = nullptr;
    if (s.window) XDestroyWindow(s.display, s.window);
    s.window = 0;
    s.parent = 0;
    guard.closeDisplay();
    s.display = nullptr;
}

CFrame::~CFrame()
{
    closeMenu();
    pFocusView = nullptr;
    setModalView(nullptr);
    removeAll(true);
    pMouseOverView = nullptr;
}

bool CFrame::isTypeOf(const char* type) const
{
    return (type && std::strcmp(type, "CFrame") == 0) || CViewContainer::isTypeOf(type);
}

bool CFrame::isOpen() const { return system->window != 0; }
unsigned long CFrame::getWindow() const { return system->window; }

void CFrame::invalidRect(const CRect& rect) { System::addRect(system->invalid, rect, size); }

void CFrame::draw(CDrawContext* context) { drawRect(context, size); }

void CFrame::drawRect(CDrawContext* context, const CRect& updateRect)
{
    CViewContainer::drawRect(context, updateRect);
    if (pModalView && pModalView->isVisible()) {
        CRect area = pModalView->getViewSize();
        area.bound(updateRect);
        if (!area.isEmpty()) {
            CRect oldClip;
            context->getClipRect(oldClip);
            CRect clip = area;
            clip.bound(oldClip);
            context->setClipRect(clip);
            pModalView->drawRect(context, clip);
            context->setClipRect(oldClip);
        }
    }
}

namespace {

// Every dirty view's rectangle; the views are remembered so that their
// dirty state can be cleared once the region is drawn.
void collectDirty(CView* view, std::vector<CRect>& region, const CRect& bounds, std::vector<CView*>& seen)
{
    if (auto* container = dynamic_cast<CViewContainer*>(view)) {
        if (container->CView::isDirty()) {
            CFrame::System::addRect(region, container->getFrameRect(), bounds);
            seen.push_back(container);
        }
        for (CCView* entry = container->getFirstChild(); entry; entry = entry->pNext)
            collectDirty(entry->pView, region, bounds, seen);
    } else if (view->isDirty()) {
        CFrame::System::addRect(region, view->getFrameRect(), bounds);
        seen.push_back(view);
    }
}

}  // namespace

void CFrame::update()
{
    System& s = *system;
    std::optional<XErrorGuard> guard;
    if (s.display) guard.emplace(s.display);
    std::vector<CRect> region;
    region.swap(s.invalid);
    std::vector<CView*> seen;
    if (CView::isDirty()) {
        System::addRect(region, size, size);
        seen.push_back(this);
    }
    for (CCView* entry = pFirstView; entry; entry = entry->pNext) collectDirty(entry->pView, region, size, seen);
    if (pModalView && pModalView->isDirty()) {
        System::addRect(region, pModalView->getViewSize(), size);
        seen.push_back(pModalView);
    }
    if (!region.empty() && s.backing) {
        cairo_t* cr = cairo_create(s.backing);
        {
            CDrawContext context(this, cr);
            for (const CRect& r : region) {
                context.setOffset(CPoint(0, 0));
                context.setClipLimit(r);
                drawRect(&context, r);
            }
        }
        cairo_destroy(cr);
        cairo_surface_flush(s.backing);
        for (CView* view : seen) {
            if (view == this || dynamic_cast<CViewContainer*>(view))
                view->CView::setDirty(false);
            else
                view->setDirty(false);
        }
    }
    for (const CRect& r : s.exposed) System::addRect(region, r, size);
    s.exposed.clear();
    if (!region.empty() && s.windowSurface) {
        s.blit(region);
        XFlush(s.display);
    }
}

void CFrame::idle()
{
    System& s = *system;
    if (s.display) {
        XErrorGuard guard(s.display);
        while (XPending(s.display)) {
            XEvent event;
            XNextEvent(s.display, &event);
            s.handleEvent(*this, event);
        }
        if (s.menuTop) s.popup->idle();
    }
    update();
}

void CFrame::System::handleEvent(CFrame& frame, XEvent& event)
{
    if (menuTop) {
        CMenuPopup::Result result;
        if (popup->handle(event, result)) {
            if (result.outcome == CMenuPopup::Outcome::closed) frame.closeMenu();
            if (result.outcome == CMenuPopup::Outcome::chosen) frame.chooseMenuEntry(result.menu, result.index);
            return;
        }
    }
    if (event.xany.window != window) return;
    switch (event.type) {
    case DestroyNotify:
        if (event.xdestroywindow.window == window) windowGone(frame);
        break;
    case Expose:
        addRect(exposed,
                CRect(event.xexpose.x, event.xexpose.y, event.xexpose.x + event.xexpose.width,
                      event.xexpose.y + event.xexpose.height),
                frame.size);
        break;
    case ButtonPress: {
        CPoint where(event.xbutton.x, event.xbutton.y);
        const long modifiers = modifiersOf(event.xbutton.state);
        const unsigned int button = event.xbutton.button;
        if (button >= 4 && button <= 7) {
            const float distance = (button == 4 || button == 7) ? 1.0f : -1.0f;
            frame.onWheel(where, distance, modifiers | buttonsOf(event.xbutton.state));
            break;
        }
        long buttons = buttonsOf(event.xbutton.state) | buttonBit(button);
        if (button == lastPressButton && event.xbutton.time - lastPressTime < 400 &&
            std::abs(where.x - lastPressPoint.x) <= 4 && std::abs(where.y - lastPressPoint.y) <= 4)
            buttons |= kDoubleClick;
        lastPressButton = button;
        lastPressTime = event.xbutton.time;
        lastPressPoint = where;
        frame.onMouseDown(where, buttons);
        break;
    }
    case ButtonRelease: {
        if (event.xbutton.button >= 4) break;
        CPoint where(event.xbutton.x, event.xbutton.y);
        frame.onMouseUp(where, modifiersOf(event.xbutton.state) | buttonBit(event.xbutton.button));
        break;
    }
    case MotionNotify: {
        // Of motions in a row only the latest place matters; a motion after
        // a press or release is another gesture's.
        XEvent next;
        while (XPending(display) && (XPeekEvent(display, &next), next.type == MotionNotify) &&
               next.xany.window == window)
            XNextEvent(display, &event);
        CPoint where(event.xmotion.x, event.xmotion.y);
        frame.onMouseMoved(where, buttonsOf(event.xmotion.state));
        break;
    }
    case EnterNotify: {
        CPoint where(event.xcrossing.x, event.xcrossing.y);
        frame.trackMouseOver(where, buttonsOf(event.xcrossing.state));
        break;
    }
    case LeaveNotify:
        if (event.xcrossing.mode == NotifyNormal && frame.pMouseOverView && !frame.getMouseDownView()) {
            CView* view = frame.pMouseOverView;
            frame.pMouseOverView = nullptr;
            CPoint where(event.xcrossing.x, event.xcrossing.y);
            view->frameToLocal(where);
            view->onMouseExited(where, buttonsOf(event.xcrossing.state));
        }
        break;
    case KeyPress: {
        VstKeyCode key = keyCodeOf(event.xkey);
        frame.onKeyDown(key);
        break;
    }
    case KeyRelease: {
        VstKeyCode key = keyCodeOf(event.xkey);
        frame.onKeyUp(key);
        break;
    }
    case FocusOut: {
        // The keyboard went elsewhere: an edit in progress keeps its text.
        // Focus changes the frame made itself are over by now; only a focus
        // that is no longer the window's counts.
        if (event.xfocus.mode != NotifyNormal || event.xfocus.detail == NotifyInferior ||
            event.xfocus.detail == NotifyPointer || !frame.pFocusView)
            break;
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(display, &focus, &revert);
        if (focus != window) frame.setFocusView(nullptr);
        break;
    }
    default: break;
    }
}

bool CFrame::popupMenu(COptionMenu* menu)
{
    System& s = *system;
    if (!menu || !s.display || !s.window) return false;
    closeMenu();
    XErrorGuard guard(s.display);
    const CRect place = menu->getFrameRect();
    int rootX = 0;
    int rootY = 0;
    Window child = 0;
    // Fails when the window is gone and idle has not heard of it yet.
    if (!XTranslateCoordinates(s.display, s.window, RootWindow(s.display, DefaultScreen(s.display)),
                               static_cast<int>(place.left), static_cast<int>(place.top), &rootX, &rootY, &child))
        return false;
    if (!s.popup) s.popup = std::make_unique<CMenuPopup>(s.display);
    if (!s.popup->open(menu, rootX, rootY, rootY + static_cast<int>(place.height()), static_cast<int>(place.width()),
                       s.lastPressTime))
        return false;
    s.menuTop = menu;
    menu->remember();
    return true;
}

bool CFrame::isMenuOpen() const { return system->menuTop != nullptr; }

const CMenuPopup* CFrame::getMenuPopup() const { return system->menuTop ? system->popup.get() : nullptr; }

void CFrame::closeMenu()
{
    System& s = *system;
    COptionMenu* top = s.menuTop;
    if (!top) return;
    s.menuTop = nullptr;
    {
        XErrorGuard guard(s.display);
        s.popup->close();
    }
    top->popupClosed();
    top->forget();
}

void CFrame::chooseMenuEntry(COptionMenu* menu, long index)
{
    COptionMenu* top = system->menuTop;
    menu->remember();
    top->remember();
    closeMenu();
    top->choose(menu, index);
    top->forget();
    menu->forget();
}

// --- mouse, keys, focus --------------------------------------------------------

CMouseEventResult CFrame::onMouseDown(CPoint& where, const long& buttons)
{
    if (pModalView) {
        if (!pModalView->hitTest(where, buttons)) return kMouseEventHandled;
        CView* modal = pModalView;
        modal->remember();
        CPoint point = where;
        const CMouseEventResult result = modal->onMouseDown(point, buttons);
        if (result == kMouseEventHandled && pModalView == modal) pModalMouseDown = modal;
        modal->forget();
        return result;
    }
    if (pFocusView && !pFocusView->getFrameRect().pointInside(where)) setFocusView(nullptr);
    return CViewContainer::onMouseDown(where, buttons);
}

CMouseEventResult CFrame::onMouseUp(CPoint& where, const long& buttons)
{
    CMouseEventResult result = kMouseEventNotHandled;
    if (pModalMouseDown) {
        CView* modal = pModalMouseDown;
        pModalMouseDown = nullptr;
        modal->remember();
        CPoint point = where;
        result = modal->onMouseUp(point, buttons);
        modal->forget();
    } else {
        result = CViewContainer::onMouseUp(where, buttons);
    }
    trackMouseOver(where, buttons & kModifierButtons);
    return result;
}

CMouseEventResult CFrame::onMouseMoved(CPoint& where, const long& buttons)
{
    if (pModalMouseDown) {
        CPoint point = where;
        return pModalMouseDown->onMouseMoved(point, buttons);
    }
    if (mouseDownView) return CViewContainer::onMouseMoved(where, buttons);
    trackMouseOver(where, buttons);
    return kMouseEventHandled;
}

bool CFrame::onWheel(const CPoint& where, const float& distance, const long& buttons)
{
    if (pModalView) return pModalView->hitTest(where, buttons) && pModalView->onWheel(where, distance, buttons);
    return CViewContainer::onWheel(where, distance, buttons);
}

long CFrame::onKeyDown(VstKeyCode& keyCode)
{
    if (!pFocusView) return -1;
    CView* view = pFocusView;
    view->remember();
    const long result = view->onKeyDown(keyCode);
    view->forget();
    return result;
}

long CFrame::onKeyUp(VstKeyCode& keyCode) { return pFocusView ? pFocusView->onKeyUp(keyCode) : -1; }

void CFrame::trackMouseOver(const CPoint& where, const long& buttons)
{
    CView* target = nullptr;
    if (pModalView)
        target = pModalView->hitTest(where) ? pModalView : nullptr;
    else
        target = getViewAt(where, true);
    if (target == pMouseOverView) return;
    CView* old = pMouseOverView;
    pMouseOverView = target;
    if (old) {
        CPoint point = where;
        old->frameToLocal(point);
        old->onMouseExited(point, buttons);
    }
    if (target && target == pMouseOverView) {
        CPoint point = where;
        target->frameToLocal(point);
        target->onMouseEntered(point, buttons);
    }
}

bool CFrame::setFocusView(CView* view)
{
    if (view == pFocusView) return true;
    CView* old = pFocusView;
    pFocusView = view;
    if (old) old->looseFocus();
    if (view && pFocusView == view) view->takeFocus();
    System& s = *system;
    if (s.display && s.window) {
        // A view with the focus gets the keys of the X keyboard; without one
        // they go back to the host's window.
        XErrorGuard guard(s.display);
        XSetInputFocus(s.display, pFocusView ? s.window : s.parent, RevertToParent, CurrentTime);
    }
    return true;
}

bool CFrame::setModalView(CView* view)
{
    if (view == pModalView) return true;
    if (pModalView) {
        CView* old = pModalView;
        pModalView = nullptr;
        if (pModalMouseDown == old) pModalMouseDown = nullptr;
        if (pMouseOverView == old) pMouseOverView = nullptr;
        invalidRect(old->getViewSize());
        old->removed(this);
        old->forget();
    }
    if (view) {
        view->remember();
        pModalView = view;
        view->attached(this);
        invalidRect(view->getViewSize());
        view->setDirty(true);
    }
    return true;
}

void CFrame::setCursor(CCursorType type)
{
    cursor = type;
    System& s = *system;
    if (!s.display || !s.window) return;
    XErrorGuard guard(s.display);
    if (type == kCursorDefault) {
        XUndefineCursor(s.display, s.window);
    } else {
        static constexpr unsigned int shapes[] = {XC_left_ptr, XC_watch, XC_sb_h_double_arrow, XC_sb_v_double_arrow,
                                                  XC_fleur, XC_bottom_left_corner, XC_bottom_right_corner,
                                                  XC_plus, XC_X_cursor, XC_hand2};
        const auto i = static_cast<size_t>(type);
        if (i >= std::size(shapes)) return;
        if (!s.cursors[i]) s.cursors[i] = XCreateFontCursor(s.display, shapes[i]);
        XDefineCursor(s.display, s.window, s.cursors[i]);
    }
    XFlush(s.display);
}

void CFrame::beginEdit(long tag)
{
    if (pEditor) pEditor->beginEdit(static_cast<VstInt32>(tag));
}

void CFrame::endEdit(long tag)
{
    if (pEditor) pEditor->endEdit(static_cast<VstInt32>(tag));
}

void CFrame::viewRemoved(CView* view)
{
    if (contains(view, pMouseOverView)) pMouseOverView = nullptr;
    if (contains(view, pFocusView)) {
        pFocusView = nullptr;
        System& s = *system;
        if (s.display && s.window) {
            XErrorGuard guard(s.display);
            XSetInputFocus(s.display, s.parent, RevertToParent, CurrentTime);
        }
    }
    if (contains(view, pModalMouseDown)) pModalMouseDown = nullptr;
}
