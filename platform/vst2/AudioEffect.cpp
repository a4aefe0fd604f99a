#include "vst2/AudioEffect.h"

#include <cstdio>
#include <cstring>

namespace {

AudioEffect* owner(AEffect* e) { return e ? static_cast<AudioEffect*>(e->object) : nullptr; }

// The exception barrier between the host and the effect: a call that throws
// is failed (its result is `failed`), and the effect keeps what it had.
template <typename Result, typename Call>
Result guarded(Result failed, Call&& call) noexcept
{
    try {
        return call();
    } catch (...) {
        return failed;
    }
}

// The same for calls without a result: whether the call completed.
template <typename Call>
bool completes(Call&& call) noexcept
{
    return guarded(false, [&] {
        call();
        return true;
    });
}

// What a failed replacing call leaves: silence in every output it got.
template <typename Sample>
void silence(Sample** outputs, VstInt32 channels, VstInt32 n)
{
    if (!outputs || n <= 0) return;
    for (VstInt32 c = 0; c < channels; ++c)
        if (outputs[c]) std::memset(outputs[c], 0, sizeof(Sample) * static_cast<size_t>(n));
}

}  // namespace

AudioEffect::AudioEffect(audioMasterCallback host, VstInt32 programCount, VstInt32 parameterCount)
    : audioMaster(host), numPrograms(programCount), numParams(parameterCount)
{
    std::memset(&cEffect, 0, sizeof(cEffect));
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = dispatchEffectClass;
    cEffect.process = processClass;
    cEffect.setParameter = setParameterClass;
    cEffect.getParameter = getParameterClass;
    cEffect.numPrograms = programCount;
    cEffect.numParams = parameterCount;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.uniqueID = fourCharCode('N', 'o', 'E', 'f');
    cEffect.version = 1;
    cEffect.processReplacing = processClassReplacing;
    cEffect.processDoubleReplacing = processClassDoubleReplacing;
}

AudioEffect::~AudioEffect()
{
    delete editor;
}

void AudioEffect::setFlag(VstInt32 flag, bool state)
{
    if (state)
        cEffect.flags |= flag;
    else
        cEffect.flags &= ~flag;
}

void AudioEffect::setEditor(AEffEditor* newEditor)
{
    editor = newEditor;
    setFlag(effFlagsHasEditor, editor != nullptr);
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value)
{
    setParameter(index, value);
    if (audioMaster) audioMaster(&cEffect, audioMasterAutomate, index, 0, nullptr, value);
}

VstInt32 AudioEffect::getMasterVersion()
{
    if (!audioMaster) return 1;
    const auto version = static_cast<VstInt32>(audioMaster(&cEffect, audioMasterVersion, 0, 0, nullptr, 0.0f));
    return version ? version : 1;
}

bool AudioEffect::beginEdit(VstInt32 index)
{
    return audioMaster && audioMaster(&cEffect, audioMasterBeginEdit, index, 0, nullptr, 0.0f) != 0;
}

bool AudioEffect::endEdit(VstInt32 index)
{
    return audioMaster && audioMaster(&cEffect, audioMasterEndEdit, index, 0, nullptr, 0.0f) != 0;
}

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
    char* text = static_cast<char*>(ptr);
    switch (opcode) {
    case effOpen: open(); return 0;
    case effClose:
        // The host lets go of the effect whatever close does.
        completes([this] { close(); });
        delete this;
        return 1;
    case effSetProgram:
        if (value >= 0 && value < numPrograms) setProgram(static_cast<VstInt32>(value));
        return 0;
    case effGetProgram: return getProgram();
    case effSetProgramName:
        if (text) setProgramName(text);
        return 0;
    case effGetProgramName:
        if (text) getProgramName(text);
        return 0;
    case effGetParamLabel:
        if (text) getParameterLabel(index, text);
        return 0;
    case effGetParamDisplay:
        if (text) getParameterDisplay(index, text);
        return 0;
    case effGetParamName:
        if (text) getParameterName(index, text);
        return 0;
    case effSetSampleRate: setSampleRate(opt); return 0;
    case effSetBlockSize: setBlockSize(static_cast<VstInt32>(value)); return 0;
    case effMainsChanged:
        if (value)
            resume();
        else
            suspend();
        return 0;
    case effEditGetRect:
        if (editor && ptr) return editor->getRect(static_cast<ERect**>(ptr)) ? 1 : 0;
        return 0;
    case effEditOpen:
        // No window, no editor: one open elsewhere stays as it is.
        if (!ptr) {
            std::fprintf(stderr, "Quarrystone TWR:: The host gave the editor no window to open in.\n");
            return 0;
        }
        return editor && editor->open(ptr) ? 1 : 0;
    case effEditClose:
        if (editor) editor->close();
        return 0;
    case effEditIdle:
        if (editor) editor->idle();
        return 0;
    case effGetChunk: return ptr ? getChunk(static_cast<void**>(ptr), index != 0) : 0;
    case effSetChunk:
        if (!ptr || value < 0 || value > INT32_MAX) return 0;
        return setChunk(ptr, static_cast<VstInt32>(value), index != 0);
    default: return 0;
    }
}

VstIntPtr AudioEffect::dispatchEffectClass(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                           float opt)
{
    AudioEffect* effect = owner(e);
    if (!effect) return 0;
    return guarded(VstIntPtr{0}, [&] { return effect->dispatcher(opcode, index, value, ptr, opt); });
}

float AudioEffect::getParameterClass(AEffect* e, VstInt32 index)
{
    AudioEffect* effect = owner(e);
    if (!effect) return 0.0f;
    return guarded(0.0f, [&] { return effect->getParameter(index); });
}

void AudioEffect::setParameterClass(AEffect* e, VstInt32 index, float value)
{
    AudioEffect* effect = owner(e);
    if (!effect) return;
    completes([&] { effect->setParameter(index, value); });
}

void AudioEffect::processClass(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames)
{
    AudioEffect* effect = owner(e);
    if (!effect) return;
    completes([&] { effect->process(inputs, outputs, sampleFrames); });
}

void AudioEffect::processClassReplacing(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames)
{
    AudioEffect* effect = owner(e);
    if (!effect) return;
    if (!completes([&] { effect->processReplacing(inputs, outputs, sampleFrames); }))
        silence(outputs, e->numOutputs, sampleFrames);
}

void AudioEffect::processClassDoubleReplacing(AEffect* e, double** inputs, double** outputs, VstInt32 sampleFrames)
{
    AudioEffect* effect = owner(e);
    if (!effect) return;
    if (!completes([&] { effect->processDoubleReplacing(inputs, outputs, sampleFrames); }))
        silence(outputs, e->numOutputs, sampleFrames);
}
