#pragma once
// The plain C++ side of the unit's Cocoa view (QRN_TWR_AUCocoaUI.mm): finds
// the plug-in object through property 5000, opens its editor inside the
// view, idles it on every tick of the view's timer and closes it when the
// view goes. One view at a time owns an editor: a second view made for the
// same unit takes it over (the first stays empty and its timer stops), and
// the timer of a view whose unit has been closed stops too.
//
// Threads: the host's main thread, where views and their timers live.

#include "au/AudioUnitProperties.h"
#include "vst2/AEffEditor.h"

namespace tonewright {

class AUEditorView {
public:
    static constexpr double kTickSeconds = 1.0 / 60.0;
    struct Frame {
        int x = 0, y = 0, width = 0, height = 0;
    };

    // Opens the unit's editor in `parent` (nothing when there is none).
    AUEditorView(AudioUnit unit, void* parent);
    // Closes the editor when this view still owns it and the unit lives.
    ~AUEditorView();
    AUEditorView(const AUEditorView&) = delete;
    AUEditorView& operator=(const AUEditorView&) = delete;

    // The view's frame: the editor's rectangle (empty without an editor).
    Frame frame() const { return shape; }
    bool ownsEditor() const;
    // One tick of the timer: idles the editor while this view owns it and
    // the unit lives. False once there is nothing more to tick for.
    bool tick();

private:
    // The editor of the unit's plug-in object, while the unit is open.
    AEffEditor* currentEditor() const;

    AudioUnit unit;
    AEffEditor* editor = nullptr;
    Frame shape;
};

}  // namespace tonewright
