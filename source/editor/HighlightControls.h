#pragma once
// The product's controls: toolkit controls that draw the host's highlight
// frame and the MIDI-learn frame over themselves (CHighlightControl; every
// control a parameter can have, so that each shows when it is armed), and
// buttons and a switch that give a modifier click to the listener first,
// which is how the learn gesture reaches the editor. User-interface thread
// only.

#include "gui/Controls.h"

namespace tonewright {

class CHighlightControl {
public:
    virtual ~CHighlightControl() = default;
    // Both only store; the editor marks the view dirty.
    virtual void setHighlight(short on, const CColor& color);
    virtual void setLearning(short on, const CColor& color);
    // A one-pixel frame of the highlight colour on the rectangle's edge,
    // then a two-pixel frame of the learning colour over it.
    virtual void drawHighlight(CDrawContext* context, const CRect& rect);

    bool isHighlighted() const { return highlighted != 0; }
    bool isLearning() const { return learning != 0; }
    CColor getHighlightColor() const { return highlightColor; }
    CColor getLearningColor() const { return learningColor; }

protected:
    short highlighted = 0;
    CColor highlightColor = kBlackCColor;
    short learning = 0;
    CColor learningColor = kBlackCColor;
};

// True when a mouse-down must not reach the control: it takes no mouse, the
// left button is not down, or the listener took a modifier click.
bool shouldIgnoreMouseDown(CControl* control, const CPoint& where, long buttons);

// A toolkit control that draws the frames over itself.
template <class Base>
class Framed : public Base, public CHighlightControl {
public:
    using Base::Base;
    void draw(CDrawContext* context) override
    {
        Base::draw(context);
        drawHighlight(context, this->size);
    }
};

class CMyAnimKnob : public Framed<CAnimKnob> {
public:
    CMyAnimKnob(const CRect& size, CControlListener* listener, long tag, long subPixmaps, CCoord heightOfOneImage,
                CBitmap* background, const CPoint& offset);
    bool isTypeOf(const char* type) const override;
};

// A meter drawn as a film strip; behaves as CMyAnimKnob.
class CMyVU : public CMyAnimKnob {
public:
    using CMyAnimKnob::CMyAnimKnob;
    bool isTypeOf(const char* type) const override;
};

class CMyMovieButton : public Framed<CMovieButton> {
public:
    CMyMovieButton(const CRect& size, CControlListener* listener, long tag, CCoord heightOfOneImage,
                   CBitmap* background, const CPoint& offset);
    bool isTypeOf(const char* type) const override;
};

class CMyMoviePic : public CMyMovieButton {
public:
    using CMyMovieButton::CMyMovieButton;
    bool isTypeOf(const char* type) const override;
};

// The product's sliders show what lies behind them around the handle.
template <class Slider>
class FramedSlider : public Framed<Slider> {
public:
    FramedSlider(const CRect& rect, CControlListener* toldListener, long id, long minPos, long maxPos,
                 CBitmap* handleBitmap, CBitmap* bg, const CPoint& bgOffset, long styleBits)
        : Framed<Slider>(rect, toldListener, id, minPos, maxPos, handleBitmap, bg, bgOffset, styleBits)
    {
        this->setTransparency(true);
    }
};

class CMyVerticalSlider : public FramedSlider<CVerticalSlider> {
public:
    using FramedSlider::FramedSlider;
    bool isTypeOf(const char* type) const override;
};

class CMyHorizontalSlider : public FramedSlider<CHorizontalSlider> {
public:
    using FramedSlider::FramedSlider;
    bool isTypeOf(const char* type) const override;
};

class CMyHorizontalSwitch : public Framed<CHorizontalSwitch> {
public:
    using Framed::Framed;
    bool isTypeOf(const char* type) const override;
};

// A transparent text label; it takes the frames' states but draws only its
// text.
class CMyTextLabel : public CTextLabel, public CHighlightControl {
public:
    CMyTextLabel(const CRect& size, CControlListener* listener, long tag, const CColor& fontColor, const char* text,
                 CFontRef font);
    bool isTypeOf(const char* type) const override;
};

class CMyKickButton : public Framed<CKickButton> {
public:
    CMyKickButton(const CRect& size, CControlListener* listener, long tag, CCoord heightOfOneImage,
                  CBitmap* background, const CPoint& offset);
    bool isTypeOf(const char* type) const override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
};

// A switch whose top gives 1 and bottom 0.
class CMyVerticalSwitch : public Framed<CVerticalSwitch> {
public:
    CMyVerticalSwitch(const CRect& size, CControlListener* listener, long tag, long subPixmaps,
                      CCoord heightOfOneImage, long positions, CBitmap* background, const CPoint& offset);
    bool isTypeOf(const char* type) const override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;

protected:
    void setValueFromPoint(const CPoint& where) override;
};

class CMyOnOffButton : public Framed<COnOffButton> {
public:
    CMyOnOffButton(const CRect& size, CControlListener* listener, long tag, CBitmap* background, long style);
    bool isTypeOf(const char* type) const override;
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
};

}  // namespace tonewright
