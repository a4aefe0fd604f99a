#include "editor/SkinViews.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <strings.h>

#include "gui/DrawContext.h"

extern char** environ;

namespace tonewright {

// ---- CGViewContainer ----

CGViewContainer::CGViewContainer(const CRect& rect, CFrame* frame, CBitmap* bg, bool hiddenFlag)
    : CViewContainer(rect, frame, bg), hidden(hiddenFlag)
{
}

bool CGViewContainer::isTypeOf(const char* type) const
{
    return std::strcmp(type, "CGViewContainer") == 0 || CViewContainer::isTypeOf(type);
}

void CGViewContainer::hide(bool flag)
{
    hidden = flag;
    setDirty(true);
}

void CGViewContainer::draw(CDrawContext* context)
{
    if (hidden)
        CView::setDirty(false);
    else
        CViewContainer::draw(context);
}

void CGViewContainer::drawRect(CDrawContext* context, const CRect& updateRect)
{
    if (hidden)
        CView::setDirty(false);
    else
        CViewContainer::drawRect(context, updateRect);
}

// Children of a hidden container may change their values without being
// drawn; they must not keep the frame redrawing.
bool CGViewContainer::isDirty() const { return hidden ? CView::isDirty() : CViewContainer::isDirty(); }

CMouseEventResult CGViewContainer::onMouseDown(CPoint& where, const long& buttons)
{
    return hidden ? kMouseDownEventHandledButDontNeedMovedOrUpEvents : CViewContainer::onMouseDown(where, buttons);
}

CMouseEventResult CGViewContainer::onMouseUp(CPoint& where, const long& buttons)
{
    return hidden ? kMouseEventHandled : CViewContainer::onMouseUp(where, buttons);
}

CMouseEventResult CGViewContainer::onMouseMoved(CPoint& where, const long& buttons)
{
    return hidden ? kMouseEventHandled : CViewContainer::onMouseMoved(where, buttons);
}

CMouseEventResult CGViewContainer::onMouseEntered(CPoint&, const long&)
{
    return hidden ? kMouseEventHandled : kMouseEventNotImplemented;
}

CMouseEventResult CGViewContainer::onMouseExited(CPoint&, const long&)
{
    return hidden ? kMouseEventHandled : kMouseEventNotImplemented;
}

bool CGViewContainer::onWheel(const CPoint& where, const float& distance, const long& buttons)
{
    return hidden ? false : CViewContainer::onWheel(where, distance, buttons);
}

bool CGViewContainer::hitTest(const CPoint& where, const long buttons)
{
    return hidden ? false : CViewContainer::hitTest(where, buttons);
}

CView* CGViewContainer::getViewAt(const CPoint& where, bool deep) const
{
    return hidden ? nullptr : CViewContainer::getViewAt(where, deep);
}

bool IsInHiddenContainer(const CView* view)
{
    for (; view; view = view->getParentView()) {
        const auto* container = dynamic_cast<const CGViewContainer*>(view);
        if (container && container->isHidden()) return true;
    }
    return false;
}

// ---- CGFrame ----

CGFrame::CGFrame(const CRect& rect, void* window, AEffGUIEditor* owner) : CFrame(rect, window, owner)
{
}

bool CGFrame::isTypeOf(const char* type) const
{
    return std::strcmp(type, "CGFrame") == 0 || CFrame::isTypeOf(type);
}

// ---- nPage ----

nPage::nPage(const CRect& rect, CFrame* frame, long pageTag, float number, CBitmap* bg)
    : CGViewContainer(rect, frame, bg, number != 0.0f), pageNumber(number)
{
    tag = pageTag;
}

bool nPage::isTypeOf(const char* type) const
{
    return std::strcmp(type, "nPage") == 0 || CGViewContainer::isTypeOf(type);
}

void nPage::setValue(float val)
{
    value = val;
    hide(val != pageNumber);
    setDirty(true);
}

void nPage::setDirty(const bool val) { CView::setDirty(val); }

// ---- iControlWrapper ----

iControlWrapper::iControlWrapper(iControl* wrapped) : CControl(wrapped->getTempRect(), nullptr, 0, nullptr), control(wrapped)
{
}

bool iControlWrapper::isTypeOf(const char* type) const
{
    return std::strcmp(type, "iControlWrapper") == 0 || CControl::isTypeOf(type);
}

// ---- nPageSelect ----

nPageSelect::nPageSelect(const CRect& rect, CControlListener* toldListener, long id, float number)
    : CControl(rect, toldListener, id, nullptr), pageNumber(number)
{
}

bool nPageSelect::isTypeOf(const char* type) const
{
    return std::strcmp(type, "nPageSelect") == 0 || CControl::isTypeOf(type);
}

CBaseObject* nPageSelect::newCopy() const { return new nPageSelect(size, listener, tag, pageNumber); }

void nPageSelect::draw(CDrawContext* context)
{
    drawPressed(context);
    setDirty(false);
}

void nPageSelect::drawPressed(CDrawContext* context)
{
    if (!pressed) return;
    context->setFillColor(CColor{0, 0, 0, kPressedShade});
    context->drawRect(size, kDrawFilled);
}

void nPageSelect::setPressed(bool state)
{
    if (state == pressed) return;
    pressed = state;
    // Drawn over what lies below, the artwork comes first again.
    invalid();
}

CMouseEventResult nPageSelect::onMouseDown(CPoint&, const long&)
{
    releasedInside = false;
    setPressed(true);
    return kMouseEventHandled;
}

CMouseEventResult nPageSelect::onMouseMoved(CPoint& where, const long&)
{
    setPressed(size.pointInside(where));
    return kMouseEventHandled;
}

CMouseEventResult nPageSelect::onMouseUp(CPoint& where, const long&)
{
    setPressed(false);
    releasedInside = size.pointInside(where);
    if (releasedInside) value = pageNumber;
    if (listener) listener->valueChanged(this);
    return kMouseEventHandled;
}

// ---- CFlashButton ----

CFlashButton::CFlashButton(const CRect& rect, CControlListener* toldListener, long id, float number, CBitmap* image)
    : nPageSelect(rect, toldListener, id, number), bitmap(image)
{
    if (bitmap) bitmap->remember();
}

CFlashButton::~CFlashButton()
{
    if (bitmap) bitmap->forget();
}

bool CFlashButton::isTypeOf(const char* type) const
{
    return std::strcmp(type, "CFlashButton") == 0 || nPageSelect::isTypeOf(type);
}

CBaseObject* CFlashButton::newCopy() const { return new CFlashButton(size, listener, tag, pageNumber, bitmap); }

void CFlashButton::draw(CDrawContext* context)
{
    if (bitmap) bitmap->draw(context, size, CPoint(0, flash ? 0 : size.height()));
    drawPressed(context);
    setDirty(false);
}

void CFlashButton::setFlash(bool flag)
{
    if (flag == flash) return;
    flash = flag;
    setDirty(true);
}

// ---- CMyLink ----

CMyLink::CMyLink(const CRect& rect, const char* labelText) : CControl(rect, nullptr, -1, nullptr)
{
    address = labelText ? std::string(labelText).substr(0, kMaxAddress) : std::string();
}

bool CMyLink::isTypeOf(const char* type) const
{
    return std::strcmp(type, "CMyLink") == 0 || CControl::isTypeOf(type);
}

void CMyLink::draw(CDrawContext*) { setDirty(false); }

CMouseEventResult CMyLink::onMouseDown(CPoint&, const long& buttons)
{
    if (buttons & kLButton) OpenAddress(address);
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

CMouseEventResult CMyLink::onMouseEntered(CPoint&, const long&)
{
    SetFingerCursor(true);
    return kMouseEventHandled;
}

CMouseEventResult CMyLink::onMouseExited(CPoint&, const long&)
{
    SetFingerCursor(false);
    return kMouseEventHandled;
}

void CMyLink::SetFingerCursor(bool flag)
{
    if (CFrame* frame = getFrame()) frame->setCursor(flag ? kCursorHand : kCursorDefault);
}

// ---- CMyMessageLine ----

namespace {

constexpr CCoord kMessageInset = 5;
constexpr CColor kMessageBack{14, 10, 9, 255};
constexpr CColor kMessageEdge{120, 24, 18, 255};

}  // namespace

CMyMessageLine::CMyMessageLine(const CRect& rect, long id) : CControl(rect, nullptr, id, nullptr)
{
    setVisible(false);
}

bool CMyMessageLine::isTypeOf(const char* type) const
{
    return std::strcmp(type, "CMyMessageLine") == 0 || CControl::isTypeOf(type);
}

void CMyMessageLine::show(const std::string& message)
{
    text = message;
    setVisible(true);
    setDirty(true);
}

void CMyMessageLine::hide()
{
    text.clear();
    setVisible(false);
}

std::vector<std::string> CMyMessageLine::rows(CDrawContext* context) const
{
    context->setFont(kNormalFontSmall);
    const CCoord room = size.width() - 2 * kMessageInset;
    std::vector<std::string> out;
    std::string rest = text;
    while (!rest.empty() && int(out.size()) + 1 < kMostRows && context->getStringWidth(rest.c_str()) > room) {
        // The most words that fit; a word longer than the row is broken
        // where the row ends.
        size_t cut = rest.find(' ');
        if (cut == std::string::npos || context->getStringWidth(rest.substr(0, cut).c_str()) > room) {
            const std::string head = context->fitString(rest, room);
            cut = head.size() > 3 && head.size() - 3 < rest.size() ? head.size() - 3 : rest.size();
        } else {
            for (size_t next = rest.find(' ', cut + 1);
                 next != std::string::npos && context->getStringWidth(rest.substr(0, next).c_str()) <= room;
                 next = rest.find(' ', next + 1))
                cut = next;
        }
        out.push_back(rest.substr(0, cut));
        rest = rest.substr(std::min(rest.size(), cut + (rest[cut] == ' ' ? 1 : 0)));
    }
    if (!rest.empty()) out.push_back(context->fitString(rest, room));
    return out;
}

void CMyMessageLine::draw(CDrawContext* context)
{
    context->setFillColor(kMessageBack);
    context->setFrameColor(kMessageEdge);
    context->setLineWidth(1);
    context->drawRect(size, kDrawFilled);
    context->drawRect(CRect(size.left, size.top, size.right - 1, size.bottom - 1));
    const std::vector<std::string> lines = rows(context);
    const CCoord height = (size.height() - 2) / kMostRows;
    CCoord top = size.top + 1 + (size.height() - 2 - height * CCoord(lines.size())) / 2;
    context->setFontColor(kRedCColor);
    for (const std::string& line : lines) {
        const CRect row(size.left + kMessageInset, top, size.right - kMessageInset, top + height);
        context->drawStringUTF8(line.c_str(), row, kLeftText, true);
        top += height;
    }
    setDirty(false);
}

CMouseEventResult CMyMessageLine::onMouseDown(CPoint&, const long&)
{
    hide();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

bool IsOpenableAddress(const std::string& address)
{
    const char* text = address.c_str();
    const bool known = strncasecmp(text, "http://", 7) == 0 || strncasecmp(text, "https://", 8) == 0 ||
                       strncasecmp(text, "mailto:", 7) == 0;
    if (!known || address.size() > CMyLink::kMaxAddress) return false;
    for (unsigned char c : address)
        if (c <= ' ' || c == 0x7f) return false;
    return true;
}

bool OpenAddress(const std::string& address)
{
    if (!IsOpenableAddress(address)) return false;
    // setsid --fork leaves the opener in a session of its own and returns at
    // once, so the host neither waits for the browser nor keeps a zombie.
    char setsid[] = "setsid", fork[] = "--fork", opener[] = "xdg-open";
    std::string argument = address;
    char* argv[] = {setsid, fork, opener, argument.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, setsid, nullptr, nullptr, argv, environ) != 0) return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return true;
}

}  // namespace tonewright
