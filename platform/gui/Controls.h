#pragma once
// The stock controls the skin builds. Film strips ("sub-pixmaps") hold their
// images stacked vertically, each `heightOfOneImage` tall; the image shown
// for a value v between min and max is round((v - min) / (max - min) *
// (subPixmaps - 1)), drawn from the background offset given at construction.
//
// Mouse, in short (every control: a modifier click asks the listener first,
// see CControl; begin and end edit frame every gesture):
//   CKnob, CAnimKnob   drag (mode of AEffGUIEditor::getKnobMode; linear: up
//                      or right raises, 200 pixels span the range, Shift is
//                      ten times finer), wheel, Control-click to default
//   CSlider & co.      click on the handle drags it, elsewhere the handle
//                      jumps under the mouse first; Shift finer; wheel;
//                      Control-click to default
//   C*Switch           the position under the mouse, while dragging too; wheel
//   CRockerSwitch      min or max while pressed (left/top half: min), back to
//                      the middle on release
//   COnOffButton       toggles on the press
//   CMovieButton       toggles on the press, back while dragged off it
//   CKickButton        max while pressed over it; on release over it the
//                      listener hears max and then min, elsewhere only min
//   CAutoAnimation     a click shows or hides the animation
//   CSplashScreen      a click shows the splash, a click on it hides it
//   CTextEdit          a click edits in place (keyboard focus); Enter or a
//                      click elsewhere keeps the text (valueChanged when it
//                      changed), Escape restores it
//   COptionMenu        a click pops the menu up (see below)
//   CParamDisplay, CTextLabel, CMovieBitmap, CVuMeter: display only; mouse
//                      events pass through to the views below.

#include <string>
#include <vector>

#include "gui/Control.h"
#include "gui/DrawContext.h"

// A view showing a value as text: background bitmap or colour, frame,
// optional shadow, text in the font and colour with the alignment. The text
// is "%2.2f" of the value unless a conversion function is set.
class CParamDisplay : public CControl {
public:
    explicit CParamDisplay(const CRect& size, CBitmap* background = nullptr, const long style = 0);
    ~CParamDisplay() override;
    bool isTypeOf(const char* type) const override;

    virtual void setFont(CFontRef font);
    CFontRef getFont() const { return fontID; }
    virtual void setFontColor(const CColor& color) { fontColor = color; }
    CColor getFontColor() const { return fontColor; }
    virtual void setBackColor(const CColor& color) { backColor = color; }
    CColor getBackColor() const { return backColor; }
    virtual void setFrameColor(const CColor& color) { frameColor = color; }
    CColor getFrameColor() const { return frameColor; }
    virtual void setShadowColor(const CColor& color) { shadowColor = color; }
    CColor getShadowColor() const { return shadowColor; }
    virtual void setHoriAlign(CHoriTxtAlign align) { horiTxtAlign = align; }
    CHoriTxtAlign getHoriAlign() const { return horiTxtAlign; }
    virtual void setStyle(long val) { style = val; }
    long getStyle() const { return style; }
    // Text without the background colour and frame behind it.
    virtual void setTextTransparency(bool state) { bTextTransparencyEnabled = state; }
    bool getTextTransparency() const { return bTextTransparencyEnabled; }
    virtual void setAntialias(bool state) { bAntialias = state; }
    bool getAntialias() const { return bAntialias; }

    using StringConvert = void (*)(float value, char* string);
    using StringConvertWithData = void (*)(float value, char* string, void* userData);
    virtual void setStringConvert(StringConvert convert);
    virtual void setStringConvert(StringConvertWithData convert, void* userData);

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;

protected:
    // Background, frame and the text, by the display's settings.
    void drawText(CDrawContext* context, const char* string, CBitmap* newBackground = nullptr);

    StringConvert stringConvert = nullptr;
    StringConvertWithData stringConvertWithData = nullptr;
    void* userData = nullptr;
    CHoriTxtAlign horiTxtAlign = kCenterText;
    long style;
    CFontRef fontID;
    CColor fontColor = kWhiteCColor;
    CColor backColor = kBlackCColor;
    CColor frameColor = kBlackCColor;
    CColor shadowColor = kRedCColor;
    bool bTextTransparencyEnabled = false;
    bool bAntialias = true;
};

// A fixed text.
class CTextLabel : public CParamDisplay {
public:
    explicit CTextLabel(const CRect& size, const char* txt = nullptr, CBitmap* background = nullptr,
                        const long style = 0);
    bool isTypeOf(const char* type) const override;

    virtual void setText(const char* txt);
    virtual const char* getText() const { return text.c_str(); }
    void draw(CDrawContext* context) override;

protected:
    std::string text;
};

// A text the user edits in place (at most 255 bytes, UTF-8). A text wider
// than the field scrolls while edited so that the caret stays in view.
// Keys: characters insert (over the selection), Backspace and Delete,
// Left, Right, Home and End (with Shift they select), Ctrl+A selects all.
// With setWantsFocus(false) it edits nothing.
class CTextEdit : public CParamDisplay {
public:
    CTextEdit(const CRect& size, CControlListener* listener, long tag, const char* txt = nullptr,
              CBitmap* background = nullptr, const long style = 0);
    bool isTypeOf(const char* type) const override;

    virtual void setText(const char* txt);
    // Copies the text into txt, which holds at least 256 bytes.
    virtual void getText(char* txt) const;
    const char* getText() const { return text.c_str(); }
    bool isEditingText() const { return editingText; }

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    long onKeyDown(VstKeyCode& keyCode) override;
    void takeFocus() override;
    void looseFocus() override;

    static constexpr size_t kMaxLength = 255;
    // Bytes of the edited text before the caret, and the selection's other
    // end (the caret itself when nothing is selected).
    size_t getCaret() const { return caret; }
    size_t getSelectionAnchor() const { return anchor; }

protected:
    // Removes the selected text; false when nothing was selected.
    bool eraseSelection();

    static constexpr CCoord kInset = 2;
    static constexpr uint8_t kSelectionAlpha = 90;

    std::string text;
    std::string edited;
    size_t caret = 0;
    size_t anchor = 0;
    CCoord scroll = 0;  // pixels of an overlong text scrolled out at the left
    bool editingText = false;
    bool keepEdit = true;
};

class COptionMenu;

// One entry of an option menu: a title, flags, and perhaps a sub-menu (on
// which the entry holds a reference). The title "-" makes a separator.
class CMenuItem {
public:
    enum Flags { kNoFlags = 0, kDisabled = 1 << 0, kChecked = 1 << 1, kSeparator = 1 << 3, kTitle = 1 << 4 };

    explicit CMenuItem(const char* title, long flags = kNoFlags, COptionMenu* submenu = nullptr);
    ~CMenuItem();
    CMenuItem(const CMenuItem&) = delete;
    CMenuItem& operator=(const CMenuItem&) = delete;

    const char* getTitle() const { return title.c_str(); }
    void setTitle(const char* newTitle);
    long getFlags() const { return flags; }
    void setFlags(long newFlags) { flags = newFlags; }
    bool isEnabled() const { return !(flags & kDisabled); }
    void setEnabled(bool state) { flags = state ? flags & ~kDisabled : flags | kDisabled; }
    bool isChecked() const { return flags & kChecked; }
    void setChecked(bool state) { flags = state ? flags | kChecked : flags & ~kChecked; }
    bool isSeparator() const { return flags & kSeparator; }
    bool isTitle() const { return flags & kTitle; }
    COptionMenu* getSubmenu() const { return submenu; }
    void setSubmenu(COptionMenu* menu);

private:
    std::string title;
    long flags;
    COptionMenu* submenu = nullptr;
};

// A menu of entries; its value is the index of its current entry (the one
// it shows, closed). A click (left or right button) pops it up as a window
// of its own below the control; entries with a sub-menu open it to their
// right. Mouse: hover highlights, a click or a release over an entry
// chooses it, a click outside closes without a choice. Keys: Up and Down
// move, Right or Enter opens a sub-menu, Left closes one, Enter or Space
// chooses, Escape closes one level.
//
// A choice of entry i in menu m (the menu itself or one of its sub-menus):
// beginEdit on this menu, m's value becomes i (its current entry), the
// results below are set, m's listener (this menu's when m has none) hears
// valueChanged(m), endEdit. Sub-menus are made by the caller with the same
// tag and listener as their parent.
class COptionMenu : public CParamDisplay {
public:
    COptionMenu(const CRect& size, CControlListener* listener, long tag, CBitmap* background = nullptr,
                CBitmap* bgWhenClick = nullptr, const long style = 0);
    ~COptionMenu() override;
    bool isTypeOf(const char* type) const override;

    // Adds an entry at index (the end when -1); the menu owns it.
    virtual CMenuItem* addEntry(CMenuItem* item, long index = -1);
    virtual CMenuItem* addEntry(const char* title, long index = -1, long itemFlags = CMenuItem::kNoFlags);
    // An entry with a sub-menu; the entry takes a reference on it.
    virtual CMenuItem* addEntry(COptionMenu* submenu, const char* title);
    virtual CMenuItem* addSeparator();
    virtual bool removeEntry(long index);
    virtual bool removeAllEntry();
    virtual long getNbEntries() const { return static_cast<long>(entries.size()); }
    virtual CMenuItem* getEntry(long index) const;
    virtual COptionMenu* getSubMenu(long index) const;
    virtual bool checkEntry(long index, bool state);
    virtual bool checkEntryAlone(long index);

    // The current entry's index (-1 when the value names no entry); its
    // title is copied into txt (256 bytes) when given.
    virtual long getCurrent(char* txt = nullptr, bool countSeparator = true) const;
    virtual long getCurrentIndex() const;
    virtual bool setCurrent(long index, bool countSeparator = true);
    void setValue(float val) override;

    // The last choice: its index and the menu it was made in.
    long getLastResult() const { return lastResult; }
    COptionMenu* getLastItemMenu(long& idxInMenu) const;
    // Makes the choice of entry index in menu (this or a sub-menu), as a
    // click on it does; false when the entry cannot be chosen.
    virtual bool choose(COptionMenu* menu, long index);

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    void takeFocus() override;
    void looseFocus() override;
    // Called by the frame when its pop-up closes (chosen or not).
    virtual void popupClosed();
    bool isPopupOpen() const { return popupOpen; }
    CBitmap* getBackgroundWhenClicked() const { return bgWhenClick; }

protected:
    std::vector<CMenuItem*> entries;
    CBitmap* bgWhenClick;
    long lastResult = -1;
    COptionMenu* lastMenu = nullptr;
    bool popupOpen = false;
};

// A knob: background image, then a handle image (or a line) on a circle.
class CKnob : public CControl {
public:
    CKnob(const CRect& size, CControlListener* listener, long tag, CBitmap* background, CBitmap* handle,
          const CPoint& offset = CPoint(0, 0));
    ~CKnob() override;
    bool isTypeOf(const char* type) const override;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
    bool onWheel(const CPoint& where, const float& distance, const long& buttons) override;
    long onKeyDown(VstKeyCode& keyCode) override;

    // Angles in radians, counter-clockwise from 3 o'clock; the value runs
    // from startAngle over rangeAngle (negative: clockwise).
    virtual void setStartAngle(float val) { startAngle = val; }
    float getStartAngle() const { return startAngle; }
    virtual void setRangeAngle(float val) { rangeAngle = val; }
    float getRangeAngle() const { return rangeAngle; }
    virtual void setZoomFactor(float val) { zoomFactor = val; }
    float getZoomFactor() const { return zoomFactor; }
    virtual void setInsetValue(CCoord val) { inset = val; }
    virtual void setColorHandle(const CColor& color) { colorHandle = color; }
    virtual void setColorShadowHandle(const CColor& color) { colorShadowHandle = color; }
    virtual void setHandleBitmap(CBitmap* bitmap);
    // The handle's place for the value, and the value for a point (both in
    // the knob's own coordinates, from its top-left corner).
    virtual void valueToPoint(CPoint& point) const;
    virtual float valueFromPoint(CPoint& point) const;

protected:
    virtual void drawHandle(CDrawContext* context);

    CBitmap* pHandle;
    CPoint offset;
    float startAngle;
    float rangeAngle;
    float zoomFactor = 10.0f;
    CCoord inset = 3;
    CColor colorHandle = kWhiteCColor;
    CColor colorShadowHandle = kGreyCColor;
    // Drag state.
    CPoint firstPoint;
    CPoint lastPoint;
    float entryValue = 0.0f;
    float rangeScale = 0.0f;
    long lastButtons = 0;
    float lastAngle = 0.0f;
};

// A knob drawn as one image of a film strip.
class CAnimKnob : public CKnob {
public:
    // One image per control height, as many as the background holds.
    CAnimKnob(const CRect& size, CControlListener* listener, long tag, CBitmap* background,
              const CPoint& offset = CPoint(0, 0));
    CAnimKnob(const CRect& size, CControlListener* listener, long tag, long subPixmaps, CCoord heightOfOneImage,
              CBitmap* background, const CPoint& offset = CPoint(0, 0));
    bool isTypeOf(const char* type) const override;

    void draw(CDrawContext* context) override;
    // The strip's last image for the minimum and its first for the maximum.
    virtual void setInverseBitmap(bool state) { bInverseBitmap = state; }
    long getSubPixmaps() const { return subPixmaps; }
    CCoord getHeightOfOneImage() const { return heightOfOneImage; }
    // The strip image shown for the current value.
    long getImageIndex() const;

protected:
    long subPixmaps;
    CCoord heightOfOneImage;
    bool bInverseBitmap = false;
};

// A control that shows one image of the film strip in its background:
// subPixmaps images from `offset` on, heightOfOneImage tall each.
class CStripControl : public CControl {
public:
    long getSubPixmaps() const { return subPixmaps; }
    CCoord getHeightOfOneImage() const { return heightOfOneImage; }

protected:
    CStripControl(const CRect& size, CControlListener* listener, long tag, long subPixmaps, CCoord heightOfOneImage,
                  CBitmap* background, const CPoint& offset);
    // Image `index` of the strip over the control.
    void drawImage(CDrawContext* context, long index);
    // The image the value picks among subPixmaps.
    long valueImage() const;

    CPoint offset;
    long subPixmaps;
    CCoord heightOfOneImage;
};

// A switch of iMaxPositions positions; the value is position / (positions
// - 1). A mouse at distance d below the top picks position
// floor(d / (heightOfOneImage / positions)) (CHorizontalSwitch: across the
// control's width). With fewer than two positions or no image height a drag
// keeps the value.
class CVerticalSwitch : public CStripControl {
public:
    CVerticalSwitch(const CRect& size, CControlListener* listener, long tag, CBitmap* background,
                    const CPoint& offset = CPoint(0, 0));
    CVerticalSwitch(const CRect& size, CControlListener* listener, long tag, long subPixmaps,
                    CCoord heightOfOneImage, long iMaxPositions, CBitmap* background,
                    const CPoint& offset = CPoint(0, 0));
    bool isTypeOf(const char* type) const override;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
    bool onWheel(const CPoint& where, const float& distance, const long& buttons) override;

    long getMaxPositions() const { return iMaxPositions; }

protected:
    virtual void setValueFromPoint(const CPoint& where);

    long iMaxPositions;
};

class CHorizontalSwitch : public CVerticalSwitch {
public:
    CHorizontalSwitch(const CRect& size, CControlListener* listener, long tag, CBitmap* background,
                      const CPoint& offset = CPoint(0, 0));
    CHorizontalSwitch(const CRect& size, CControlListener* listener, long tag, long subPixmaps,
                      CCoord heightOfOneImage, long iMaxPositions, CBitmap* background,
                      const CPoint& offset = CPoint(0, 0));
    bool isTypeOf(const char* type) const override;

protected:
    void setValueFromPoint(const CPoint& where) override;
};

// Three images (min, middle, max); value -1, 0 or 1.
class CRockerSwitch : public CStripControl {
public:
    CRockerSwitch(const CRect& size, CControlListener* listener, long tag, CBitmap* background,
                  const CPoint& offset = CPoint(0, 0), const long style = kHorizontal);
    CRockerSwitch(const CRect& size, CControlListener* listener, long tag, CCoord heightOfOneImage,
                  CBitmap* background, const CPoint& offset = CPoint(0, 0), const long style = kHorizontal);
    bool isTypeOf(const char* type) const override;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
    bool onWheel(const CPoint& where, const float& distance, const long& buttons) override;

protected:
    long style;
};

// Shows the film-strip image of its value; display only.
class CMovieBitmap : public CStripControl {
public:
    CMovieBitmap(const CRect& size, CControlListener* listener, long tag, CBitmap* background,
                 const CPoint& offset = CPoint(0, 0));
    CMovieBitmap(const CRect& size, CControlListener* listener, long tag, long subPixmaps, CCoord heightOfOneImage,
                 CBitmap* background, const CPoint& offset = CPoint(0, 0));
    bool isTypeOf(const char* type) const override;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
};

// Two images (off above on).
class CMovieButton : public CStripControl {
public:
    CMovieButton(const CRect& size, CControlListener* listener, long tag, CBitmap* background,
                 const CPoint& offset = CPoint(0, 0));
    CMovieButton(const CRect& size, CControlListener* listener, long tag, CCoord heightOfOneImage,
                 CBitmap* background, const CPoint& offset = CPoint(0, 0));
    bool isTypeOf(const char* type) const override;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;

protected:
    float entryState = 0.0f;
};

// A film strip the editor steps through (nextPixmap) while it is shown.
class CAutoAnimation : public CStripControl {
public:
    CAutoAnimation(const CRect& size, CControlListener* listener, long tag, CBitmap* background,
                   const CPoint& offset = CPoint(0, 0));
    CAutoAnimation(const CRect& size, CControlListener* listener, long tag, long subPixmaps,
                   CCoord heightOfOneImage, CBitmap* background, const CPoint& offset = CPoint(0, 0));
    bool isTypeOf(const char* type) const override;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;

    virtual void openWindow();
    virtual void closeWindow();
    bool isWindowOpened() const { return windowOpened; }
    // Steps the value one image on (back), wrapping around.
    virtual void nextPixmap();
    virtual void previousPixmap();

protected:
    bool windowOpened = false;
};

// Two images (off above on): max while pressed, min after.
class CKickButton : public CStripControl {
public:
    CKickButton(const CRect& size, CControlListener* listener, long tag, CBitmap* background,
                const CPoint& offset = CPoint(0, 0));
    CKickButton(const CRect& size, CControlListener* listener, long tag, CCoord heightOfOneImage,
                CBitmap* background, const CPoint& offset = CPoint(0, 0));
    bool isTypeOf(const char* type) const override;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
};

// When the listener hears an on/off button's new value: before the button is
// redrawn (pre) or after.
enum { kPreListenerUpdate = 0, kPostListenerUpdate = 1 };

// Two images, off above on, each the control's height.
class COnOffButton : public CControl {
public:
    COnOffButton(const CRect& size, CControlListener* listener, long tag, CBitmap* background,
                 long style = kPreListenerUpdate);
    bool isTypeOf(const char* type) const override;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    long getStyle() const { return style; }

protected:
    long style;
};

// A handle moving over a background. Form one: iMinPos and iMaxPos are the
// handle's leading edge (left or top) at the two ends, in the coordinates of
// the slider's container. Form two: offsetHandle is the handle's place at
// the start of its track in the slider's own coordinates and rangeHandle the
// track's length including the handle. kLeft or kTop puts value 0 at the
// start (left or top), kRight or kBottom at the end.
class CSlider : public CControl {
public:
    CSlider(const CRect& size, CControlListener* listener, long tag, long iMinPos, long iMaxPos, CBitmap* handle,
            CBitmap* background, const CPoint& offset = CPoint(0, 0), const long style = kLeft | kHorizontal);
    CSlider(const CRect& size, CControlListener* listener, long tag, const CPoint& offsetHandle, long rangeHandle,
            CBitmap* handle, CBitmap* background, const CPoint& offset = CPoint(0, 0),
            const long style = kLeft | kHorizontal);
    ~CSlider() override;
    bool isTypeOf(const char* type) const override;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
    bool onWheel(const CPoint& where, const float& distance, const long& buttons) override;
    long onKeyDown(VstKeyCode& keyCode) override;

    virtual void setHandle(CBitmap* handle);
    CBitmap* getHandle() const { return pHandle; }
    virtual void setZoomFactor(float val) { zoomFactor = val; }
    float getZoomFactor() const { return zoomFactor; }
    // A click off the handle moves the handle there (true) or only drags.
    virtual void setFreeClick(bool state) { bFreeClick = state; }
    bool getFreeClick() const { return bFreeClick; }
    long getStyle() const { return style; }
    // The handle's rectangle for the current value, in the slider's parent
    // coordinates.
    CRect getHandleRect() const;

protected:
    void init(CBitmap* handle, const CPoint& offset, long style);
    // Handle leading-edge position along the track for a value, and back.
    CCoord positionForValue(float val) const;
    float valueForPosition(CCoord pos) const;

    CBitmap* pHandle = nullptr;
    CPoint offset;
    CPoint offsetHandle;  // handle's start place, slider coordinates
    CCoord handleTravel = 0;  // pixels the leading edge moves from min to max
    long style = kLeft | kHorizontal;
    float zoomFactor = 10.0f;
    bool bFreeClick = true;
    CCoord grabDelta = 0;
    float entryValue = 0.0f;
    CCoord entryPosition = 0;
    long lastButtons = 0;
};

class CVerticalSlider : public CSlider {
public:
    CVerticalSlider(const CRect& size, CControlListener* listener, long tag, long iMinPos, long iMaxPos,
                    CBitmap* handle, CBitmap* background, const CPoint& offset = CPoint(0, 0),
                    const long style = kBottom);
    CVerticalSlider(const CRect& size, CControlListener* listener, long tag, const CPoint& offsetHandle,
                    long rangeHandle, CBitmap* handle, CBitmap* background, const CPoint& offset = CPoint(0, 0),
                    const long style = kBottom);
    bool isTypeOf(const char* type) const override;
};

class CHorizontalSlider : public CSlider {
public:
    CHorizontalSlider(const CRect& size, CControlListener* listener, long tag, long iMinPos, long iMaxPos,
                      CBitmap* handle, CBitmap* background, const CPoint& offset = CPoint(0, 0),
                      const long style = kLeft);
    CHorizontalSlider(const CRect& size, CControlListener* listener, long tag, const CPoint& offsetHandle,
                      long rangeHandle, CBitmap* handle, CBitmap* background, const CPoint& offset = CPoint(0, 0),
                      const long style = kLeft);
    bool isTypeOf(const char* type) const override;
};

// A control that, clicked, shows its bitmap over toDisplay (frame
// coordinates) above everything; a click on the splash hides it. Value 1
// while shown, 0 otherwise.
class CSplashScreen : public CControl {
public:
    CSplashScreen(const CRect& size, CControlListener* listener, long tag, CBitmap* background,
                  const CRect& toDisplay, const CPoint& offset = CPoint(0, 0));
    ~CSplashScreen() override;
    bool isTypeOf(const char* type) const override;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    virtual void unSplash();
    const CRect& getDisplayRect() const { return toDisplay; }

protected:
    CRect toDisplay;
    CPoint offset;
    CView* splashView = nullptr;
};

// A row or column of nbLed lights: the "on" image where the value reaches,
// the "off" image elsewhere. A lower value sinks by at most the decrease
// step per setValue, so meters fall smoothly. Display only.
class CVuMeter : public CControl {
public:
    CVuMeter(const CRect& size, CBitmap* onBitmap, CBitmap* offBitmap, long nbLed, const long style = kVertical);
    ~CVuMeter() override;
    bool isTypeOf(const char* type) const override;

    void setValue(float val) override;
    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    virtual void setDecreaseStepValue(float val) { decreaseValue = val; }
    long getNbLed() const { return nbLed; }
    // Lights shown at the last draw.
    long getLitLeds() const { return litLeds; }

protected:
    CBitmap* onBitmap;
    CBitmap* offBitmap;
    long nbLed;
    long style;
    float decreaseValue = 0.1f;
    float shownValue = 0.0f;
    long litLeds = 0;
};
