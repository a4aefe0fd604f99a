#pragma once
// Controls: views with a value between a minimum and a maximum, a tag and a
// listener. A gesture on a control is framed by beginEdit and endEdit, which
// reach the listener (controlBeginEdit / controlEndEdit) and the frame's
// editor (AEffGUIEditor::beginEdit / endEdit with the tag); every value the
// user makes is reported with the listener's valueChanged in between.
//
// Modifier clicks: a control clicked with Shift, Control, Alt or Super held
// first asks its listener (controlModifierClicked); a non-zero answer
// consumes the click. Otherwise Control-click sets the default value where
// the control has one to set. User-interface thread only.

#include "gui/View.h"

class CControl;

// How knobs follow a drag (AEffGUIEditor::setKnobMode sets it for all).
enum CKnobMode { kCircularMode = 0, kRelativCircularMode, kLinearMode };

// Style bits of the stock controls.
enum CControlStyle : long {
    kHorizontal = 1 << 0,
    kVertical = 1 << 1,
    kShadowText = 1 << 2,
    kLeft = 1 << 3,  // a slider's value 0 is at its left
    kRight = 1 << 4,
    kTop = 1 << 5,
    kBottom = 1 << 6,
    k3DIn = 1 << 7,
    k3DOut = 1 << 8,
    kPopupStyle = 1 << 9,
    kCheckStyle = 1 << 10,  // an option menu marks its current entry
    kNoTextStyle = 1 << 11,
    kNoDrawStyle = 1 << 12,
    kDoubleClickStyle = 1 << 13,
    kNoFrame = 1 << 14,
};

class CControlListener {
public:
    virtual ~CControlListener() = default;
    virtual void valueChanged(CControl* control) = 0;
    // Non-zero: the click was used and the control ignores it.
    virtual long controlModifierClicked(CControl* /*control*/, long /*button*/) { return 0; }
    virtual void controlBeginEdit(CControl* /*control*/) {}
    virtual void controlEndEdit(CControl* /*control*/) {}
};

class CControl : public CView {
public:
    CControl(const CRect& size, CControlListener* listener = nullptr, long tag = 0, CBitmap* background = nullptr);
    ~CControl() override;

    bool isTypeOf(const char* type) const override;

    // The value is stored as given; bounceValue keeps it within min..max.
    virtual void setValue(float val) { value = val; }
    virtual float getValue() const { return value; }
    virtual void setMin(float val) { vmin = val; }
    virtual float getMin() const { return vmin; }
    virtual void setMax(float val) { vmax = val; }
    virtual float getMax() const { return vmax; }
    virtual void setDefaultValue(float val) { defaultValue = val; }
    virtual float getDefaultValue() const { return defaultValue; }
    // The value as last drawn; a control differing from it is dirty.
    virtual void setOldValue(float val) { oldValue = val; }
    virtual float getOldValue() const { return oldValue; }
    virtual void bounceValue();

    virtual void setTag(long val) { tag = val; }
    virtual long getTag() const { return tag; }
    virtual void setListener(CControlListener* val) { listener = val; }
    virtual CControlListener* getListener() const { return listener; }
    // Change per wheel step, as a share of max - min.
    virtual void setWheelInc(float val) { wheelInc = val; }
    virtual float getWheelInc() const { return wheelInc; }

    virtual void beginEdit();
    virtual void endEdit();
    bool isEditing() const { return editing > 0; }

    bool isDirty() const override;
    void setDirty(const bool val = true) override;
    void draw(CDrawContext* context) override;

protected:
    // The modifier-click test: true when the listener took the click.
    bool modifierClickTaken(const long& buttons);
    // Control-click: sets the default value (begin, valueChanged, end); true
    // when it did.
    virtual bool checkDefaultValue(const long& buttons);
    // Reports the value to the listener and asks for a redraw when it
    // differs from `before`.
    void notifyIfChanged(float before);
    void notify();
    // A wheel step of knobs and sliders: `distance` wheel increments, finer
    // by `zoom` with Shift, reported as one edit when the value moved.
    bool wheelStep(float distance, const long& buttons, float zoom);
    // The arrow keys as wheel steps (Shift for fine); -1 for other keys.
    long arrowKeyStep(const VstKeyCode& key);

    CControlListener* listener;
    long tag;
    float value = 0.0f;
    float oldValue = 1.0f;
    float defaultValue = 0.5f;
    float vmin = 0.0f;
    float vmax = 1.0f;
    float wheelInc = 0.1f;
    int editing = 0;
};
