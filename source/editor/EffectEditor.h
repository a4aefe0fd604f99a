#pragma once
// The product's editor: the skin editor on the skin "ui", 579 x 375 pixels,
// with the product's own element types and the MIDI-learn gesture
// (Shift+Alt click on a control arms it; again on the armed control
// unlearns it). One per Effect, made by the factory the plug-in's entry
// installs (EditorEntry.cpp). Threads as SkinEditor.

#include "editor/SkinEditor.h"

namespace tonewright {

class Effect;

class EffectEditor : public SkinEditor {
public:
    static constexpr long kWidth = 579;
    static constexpr long kHeight = 375;

    explicit EffectEditor(Effect* effect);

    // The factory the plug-in's entry installs.
    static AEffEditor* create(Effect& effect);

    // Builds the skin "ui" and shows the effect's parameter values.
    bool open(void* parent) override;
    using SkinEditor::open;
    // Also ends the learn frame once the effect has bound a controller.
    void idle() override;
    CView* CreateUIElement(const char* name, const CRect& rect, CControlListener* listener, long tag, CFrame* frame,
                           const CPoint& offset, const CPoint& offset2, const SkinAttributes& attributes) override;
    // Shift+Alt: the learn gesture (returns 1: the control ignores the
    // click); any other modifier click is an ordinary click (0).
    long controlModifierClicked(CControl* control, long button) override;

    long getLearnTag() const { return learnTag; }

private:
    Effect* owner;
    long learnTag = -1;
};

}  // namespace tonewright
