#include "gui/AEffGUIEditor.h"

#include <chrono>

#include "gui/Control.h"

VstInt32 AEffGUIEditor::knobMode = kCircularMode;

AEffGUIEditor::AEffGUIEditor(AudioEffect* owner) : AEffEditor(owner)
{
    if (owner) owner->setEditor(this);
}

AEffGUIEditor::~AEffGUIEditor()
{
    // A host that destroys the effect with the window open never closed it.
    if (frame) frame->forget();
    frame = nullptr;
}

bool AEffGUIEditor::getRect(ERect** out)
{
    if (!out) return false;
    *out = &rect;
    return true;
}

bool AEffGUIEditor::open(void* ptr)
{
    AEffEditor::open(ptr);
    return true;
}

void AEffGUIEditor::close() { AEffEditor::close(); }

void AEffGUIEditor::idle()
{
    if (frame) frame->idle();
}

bool AEffGUIEditor::onKeyDown(VstInt32 character, VstInt32 virtualKey, VstInt32 modifiers)
{
    if (!frame) return false;
    VstKeyCode key{character, static_cast<unsigned char>(virtualKey), static_cast<unsigned char>(modifiers)};
    return frame->onKeyDown(key) == 1;
}

bool AEffGUIEditor::onKeyUp(VstInt32 character, VstInt32 virtualKey, VstInt32 modifiers)
{
    if (!frame) return false;
    VstKeyCode key{character, static_cast<unsigned char>(virtualKey), static_cast<unsigned char>(modifiers)};
    return frame->onKeyUp(key) == 1;
}

bool AEffGUIEditor::setKnobMode(VstInt32 val)
{
    if (val < kCircularMode || val > kLinearMode) return false;
    knobMode = val;
    return true;
}

void AEffGUIEditor::setParameter(VstInt32, float) {}

bool AEffGUIEditor::isParameter(VstInt32 tag) const
{
    return effect && tag >= 0 && tag < effect->getAeffect()->numParams;
}

void AEffGUIEditor::beginEdit(VstInt32 tag)
{
    if (isParameter(tag)) effect->beginEdit(tag);
}

void AEffGUIEditor::endEdit(VstInt32 tag)
{
    if (isParameter(tag)) effect->endEdit(tag);
}

long AEffGUIEditor::getTicks()
{
    using namespace std::chrono;
    return static_cast<long>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
