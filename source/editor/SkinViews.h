#pragma once
// The views that give a skin its structure: containers that can be hidden
// (CGViewContainer) and pages that show themselves while a tag holds their
// page number (nPage), invisible page-turn buttons (nPageSelect), a
// two-image button that can blink (CFlashButton), an invisible link
// (CMyLink), and the control wrapper (iControlWrapper) through which the
// editor's flat lists reach a page's tag and value. User-interface thread
// only.

#include <string>
#include <vector>

#include "gui/Bitmap.h"
#include "gui/Control.h"
#include "gui/Frame.h"
#include "gui/View.h"

namespace tonewright {

// A tagged value held by something that is not a toolkit control.
class iControl {
public:
    virtual ~iControl() = default;
    virtual long getTag() const { return tag; }
    virtual float getValue() const { return value; }
    virtual void setValue(float val) { value = val; }
    virtual void setDirty(bool) {}
    virtual const CRect& getTempRect() const { return tempRect; }

protected:
    long tag = -1;
    float value = 0.0f;
    CRect tempRect;
};

// A container whose children the editor walks.
class iCGinterface {
public:
    virtual ~iCGinterface() = default;
    virtual CCView* getFirstCCView() const = 0;
};

// A container that can be hidden: then it draws nothing, takes no mouse
// event and is not hit, and its children are left alone.
class CGViewContainer : public CViewContainer, public iCGinterface {
public:
    CGViewContainer(const CRect& size, CFrame* frame, CBitmap* background, bool hidden);

    bool isTypeOf(const char* type) const override;
    CCView* getFirstCCView() const override { return getFirstChild(); }
    // Stores the flag and marks the container dirty.
    virtual void hide(bool flag);
    bool isHidden() const { return hidden; }

    void draw(CDrawContext* context) override;
    void drawRect(CDrawContext* context, const CRect& updateRect) override;
    bool isDirty() const override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseEntered(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseExited(CPoint& where, const long& buttons) override;
    bool onWheel(const CPoint& where, const float& distance, const long& buttons) override;
    bool hitTest(const CPoint& where, const long buttons = -1) override;
    CView* getViewAt(const CPoint& where, bool deep = false) const override;

private:
    bool hidden;
};

// Whether the view lies inside a hidden container (or is one).
bool IsInHiddenContainer(const CView* view);

class CGFrame : public CFrame, public iCGinterface {
public:
    CGFrame(const CRect& size, void* systemWindow, AEffGUIEditor* editor);
    bool isTypeOf(const char* type) const override;
    CCView* getFirstCCView() const override { return getFirstChild(); }
};

// A page: shown exactly while its tag's value equals its page number. A
// page of tag -1 and number 0 (a skin's "Group") is always shown.
class nPage : public CGViewContainer, public iControl {
public:
    nPage(const CRect& size, CFrame* frame, long tag, float pageNumber, CBitmap* background);

    bool isTypeOf(const char* type) const override;
    void setValue(float val) override;
    // The view's dirty flag alone.
    void setDirty(const bool val = true) override;
    float getPageNumber() const { return pageNumber; }

private:
    float pageNumber;
};

// Lists an iControl among the editor's controls: tag and value are the
// wrapped object's; it draws nothing and has an empty rectangle, so no
// point hits it. Not part of the view tree.
class iControlWrapper : public CControl {
public:
    explicit iControlWrapper(iControl* wrapped);

    bool isTypeOf(const char* type) const override;
    CBaseObject* newCopy() const override { return new iControlWrapper(control); }
    long getTag() const override { return control->getTag(); }
    float getValue() const override { return control->getValue(); }
    void setValue(float val) override { control->setValue(val); }
    void setDirty(const bool val = true) override { control->setDirty(val); }
    bool isDirty() const override { return false; }
    void draw(CDrawContext*) override {}
    iControl* getWrapped() const { return control; }

private:
    iControl* control;
};

// An invisible button: released over it, its value becomes the page
// number; released anywhere, the listener hears of it. While pressed with
// the pointer over it, it darkens the artwork under it.
class nPageSelect : public CControl {
public:
    nPageSelect(const CRect& size, CControlListener* listener, long tag, float pageNumber);

    bool isTypeOf(const char* type) const override;
    CBaseObject* newCopy() const override;
    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;
    float getPageNumber() const { return pageNumber; }
    // Whether the last click ended over the button (a command acts only
    // then; released elsewhere it was cancelled).
    bool wasReleasedInside() const { return releasedInside; }
    bool isPressed() const { return pressed; }

    // How much the pressed state darkens (the alpha of black over it).
    static constexpr uint8_t kPressedShade = 96;

protected:
    void setPressed(bool state);
    void drawPressed(CDrawContext* context);

    float pageNumber;
    bool releasedInside = false;
    bool pressed = false;
};

// A page-turn button with a bitmap of two images of its size, stacked:
// the upper one while flashing, the lower one otherwise.
class CFlashButton : public nPageSelect {
public:
    CFlashButton(const CRect& size, CControlListener* listener, long tag, float pageNumber, CBitmap* bitmap);
    ~CFlashButton() override;

    bool isTypeOf(const char* type) const override;
    CBaseObject* newCopy() const override;
    void draw(CDrawContext* context) override;
    // Marks the button dirty when the flag changes.
    virtual void setFlash(bool flag);
    bool getFlash() const { return flash; }

private:
    CBitmap* bitmap;
    bool flash = false;
};

// An invisible hot spot that opens a web or mail address in the user's
// browser or mail program (xdg-open, started detached with an argument
// vector, never a shell), with the hand cursor while hovered. Untagged.
class CMyLink : public CControl {
public:
    static constexpr size_t kMaxAddress = 255;

    CMyLink(const CRect& size, const char* address);

    bool isTypeOf(const char* type) const override;
    CBaseObject* newCopy() const override { return new CMyLink(size, address.c_str()); }
    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseEntered(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseExited(CPoint& where, const long& buttons) override;
    virtual void SetFingerCursor(bool flag);
    const std::string& getAddress() const { return address; }

private:
    std::string address;
};

// The line that says what went wrong: hidden until shown with a text, it
// then lies over what is under it as a dark display with the text in red,
// in one row or, when it is longer, two (broken between words where it can
// be, the end cut with "..."). A click on it hides it and goes no further.
class CMyMessageLine : public CControl {
public:
    CMyMessageLine(const CRect& size, long tag);

    bool isTypeOf(const char* type) const override;
    CBaseObject* newCopy() const override { return new CMyMessageLine(size, tag); }
    virtual void show(const std::string& text);
    virtual void hide();
    bool isShown() const { return isVisible(); }
    const std::string& getText() const { return text; }
    // The rows the text takes in `context`'s font at the line's width.
    std::vector<std::string> rows(CDrawContext* context) const;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;

    static constexpr int kMostRows = 2;

private:
    std::string text;
};

// Whether an address may be handed to the system's opener: http://,
// https:// or mailto: (any case), no control characters or spaces.
bool IsOpenableAddress(const std::string& address);
// Starts the opener on the address, detached; false when it is refused or
// cannot be started.
bool OpenAddress(const std::string& address);

}  // namespace tonewright
