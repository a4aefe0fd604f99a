#pragma once
// The editor interface the dispatcher forwards the editor opcodes to. The
// product editor derives from it (through the GUI toolkit's editor class).

#include "vst2/Vst2Abi.h"

class AudioEffect;

class AEffEditor {
public:
    explicit AEffEditor(AudioEffect* owner = nullptr) : effect(owner) {}
    virtual ~AEffEditor() = default;
    AEffEditor(const AEffEditor&) = delete;
    AEffEditor& operator=(const AEffEditor&) = delete;

    virtual AudioEffect* getEffect() { return effect; }
    virtual bool getRect(ERect** rect)
    {
        *rect = nullptr;
        return false;
    }
    virtual bool open(void* ptr)
    {
        systemWindow = ptr;
        return false;
    }
    virtual void close() { systemWindow = nullptr; }
    virtual bool isOpen() { return systemWindow != nullptr; }
    virtual void idle() {}
    virtual bool onKeyDown(VstInt32 /*character*/, VstInt32 /*virtualKey*/, VstInt32 /*modifiers*/) { return false; }
    virtual bool onKeyUp(VstInt32 /*character*/, VstInt32 /*virtualKey*/, VstInt32 /*modifiers*/) { return false; }
    virtual bool setKnobMode(VstInt32 /*mode*/) { return false; }
    // The effect stored a parameter value; an editor that shows it updates.
    virtual void setParameter(VstInt32 /*index*/, float /*value*/) {}

protected:
    AudioEffect* effect;
    void* systemWindow = nullptr;
};
