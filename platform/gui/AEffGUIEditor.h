#pragma once
// The editor base of a plug-in with a view toolkit window. open() gets the
// host's X11 window id; a derived editor makes its CFrame there (frame
// member), answers false when the frame got no window in it (CFrame::isOpen),
// and deletes the frame in close(). idle() runs the frame: events and
// redraws. Gestures on controls reach the effect as beginEdit(tag) and
// endEdit(tag) around the values the editor sends with
// setParameterAutomated; only parameter indices go to the host.
//
// User-interface thread only, except setParameter, which a derived editor
// must make safe for the threads its effect calls it on.

#include "gui/Frame.h"
#include "vst2/AEffEditor.h"
#include "vst2/AudioEffect.h"

class AEffGUIEditor : public AEffEditor {
public:
    explicit AEffGUIEditor(AudioEffect* effect);
    ~AEffGUIEditor() override;

    // The editor's rectangle (0, 0, height, width until a derived editor
    // sets rect).
    bool getRect(ERect** rect) override;
    // Remembers the host window; a derived editor then makes its frame.
    bool open(void* ptr) override;
    // Forgets the host window; a derived editor deletes its frame first.
    void close() override;
    // Runs the frame's idle when there is one.
    void idle() override;
    // Keys the host passes on (effEditKeyDown/Up) go to the focused view.
    bool onKeyDown(VstInt32 character, VstInt32 virtualKey, VstInt32 modifiers) override;
    bool onKeyUp(VstInt32 character, VstInt32 virtualKey, VstInt32 modifiers) override;
    // The knob mode of every knob (kCircularMode, kRelativCircularMode,
    // kLinearMode); class-wide, as hosts set it for all.
    bool setKnobMode(VstInt32 val) override;
    static VstInt32 getKnobMode() { return knobMode; }

    // The effect stored a value: a derived editor shows it. Nothing here.
    void setParameter(VstInt32 index, float value) override;

    // A gesture on the control of `tag` begins or ends.
    virtual void beginEdit(VstInt32 tag);
    virtual void endEdit(VstInt32 tag);

    CFrame* getFrame() const { return frame; }
    // Milliseconds of a steady clock.
    static long getTicks();

protected:
    ERect rect{};
    CFrame* frame = nullptr;

private:
    bool isParameter(VstInt32 tag) const;
    static VstInt32 knobMode;
};
