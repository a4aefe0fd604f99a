#include "mac/protools/TemplateProcess.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "mac/protools/TemplateCustomUI.h"
#include "protools/PlugInGroup.h"

namespace tonewright {

namespace {

constexpr char kChunkName[] = "Plugin Chunk";
// The only text a bank chunk can start with.
constexpr char kBankChunkStart[] = "<TWRChunk";
// Type names are kept to this many characters.
constexpr size_t kMaxTypeName = 63;

}  // namespace

CTemplateNoUIProcess::CTemplateNoUIProcess()
{
    // While the Effect is being made its callbacks find no process (the
    // record's user field is still empty) and are answered with 0.
    AudioEffect* made = createEffectInstance(&TemplateAudioMasterCallback);
    if (!made) throw CDAEError(kPlugInNoProcessErr);
    // createEffectInstance makes an Effect.
    effect.reset(static_cast<Effect*>(made));
    AEffect* record = effect->getAeffect();
    record->user = static_cast<CTemplateNoUIProcess*>(this);
    effectRate.store(effect->getSampleRate());
    if (record->flags & effFlagsProgramChunks)
        AddChunk(static_cast<OSType>(record->uniqueID), kChunkName, kChunkCode);
}

CTemplateNoUIProcess::~CTemplateNoUIProcess()
{
    // The window goes first; the view the library still holds must not
    // reach the custom UI once it is gone.
    if (customUI) customUI->Close();
    if (customView) customView->SetCustomUI(nullptr);
    customUI.reset();
    customView = nullptr;
    if (effect) effect->getAeffect()->user = nullptr;
    effect.reset();
}

// ---- the sample rate ----

bool CTemplateNoUIProcess::applyHostRate(bool always)
{
    if (!rateChangeSeen.exchange(false) && !always) return true;
    const double rate = GetSampleRate();
    if (rate == effectRate.load()) return true;
    effect->setSampleRate(static_cast<float>(rate));
    // A rate the Effect refuses is not asked for again; one it could not
    // build an engine for (memory ran out) is, at the next call.
    const bool refused = !(rate >= Effect::kMinSampleRate && rate <= Effect::kMaxSampleRate);
    if (!refused && effect->getSampleRate() != static_cast<float>(rate)) {
        rateChangeSeen.store(true);
        return false;
    }
    effectRate.store(rate);
    return true;
}

void CTemplateNoUIProcess::noteRateWhileRendering()
{
    if (GetSampleRate() != effectRate.load(std::memory_order_relaxed))
        rateChangeSeen.store(true, std::memory_order_relaxed);
}

void CTemplateNoUIProcess::SampleRateChanged() { applyHostRate(true); }

void CTemplateNoUIProcess::catchUp()
{
    applyHostRate(false);
    if (!shown) return;  // no controls yet
    for (VstInt32 i = 0; i < effect->getAeffect()->numParams; ++i) {
        const float value = effect->getParameter(i);
        if (shown[size_t(i)].exchange(value) == value) continue;
        const auto* control = dynamic_cast<const CPluginControl_Continuous*>(GetControl(i + 1));
        if (control && std::fabs(control->GetContinuous() - static_cast<double>(value)) > kUnchangedValue)
            PushControlValue(i + 1, control->ConvertContinuousToControl(static_cast<double>(value)));
    }
}

// ---- controls ----

void CTemplateNoUIProcess::CreateControlsFromEffect()
{
    // An instance that cannot run at the session's rate is not made.
    if (!applyHostRate(true)) throw CDAEError(kPlugInUnknownErr);
    AEffect* record = effect->getAeffect();
    for (VstInt32 i = 0; i < record->numParams; ++i) {
        char name[64] = {};
        record->dispatcher(record, effGetParamName, i, 0, name, 0.0f);
        name[sizeof name - 1] = '\0';
        const float value = record->getParameter(record, i);
        AddControl(std::make_unique<CPluginControl_Linear>(kParameterControlID + static_cast<OSType>(i), name, 0.0,
                                                          1.0, 0.001, static_cast<double>(value), true, kPrefixNone,
                                                          kLargestPrefix));
    }
    auto values = std::make_unique<std::atomic<float>[]>(size_t(std::max(0, record->numParams)));
    for (VstInt32 i = 0; i < record->numParams; ++i) values[size_t(i)] = record->getParameter(record, i);
    AddControl(std::make_unique<CPluginControl_OnOff>(kBypassControlID, "Master Bypass", false, true));
    DefineMasterBypassControlIndex(record->numParams + 1);

    if (IsOfflineProcess() == 0) {
        unsigned char typeName[256] = {};
        if (CEffectType* processType = GetProcessType()) processType->GetProcessTypeName(typeName);
        char name[kMaxTypeName + 1] = {};
        const size_t n = std::min<size_t>(typeName[0], kMaxTypeName);
        std::memcpy(name, typeName + 1, n);
        auto node = std::make_unique<CEffectMIDIDirectDeliveryNode>(name, &ForwardMidiToEffect, this);
        midiNode = node.get();
        AddMidiNode(std::move(node), 1, 0);
    }
    shown = std::move(values);
}

void CTemplateNoUIProcess::ForwardControlToEffect(int32_t index)
{
    if (!IsValidControlIndex(index) || index == GetMasterBypassControlIndex()) return;
    applyHostRate(false);
    const auto* control = dynamic_cast<const CPluginControl_Continuous*>(GetControl(index));
    if (!control) return;
    const double value = control->GetContinuous();
    if (std::fabs(value - static_cast<double>(effect->getParameter(index - 1))) > kUnchangedValue)
        effect->setParameter(index - 1, static_cast<float>(value));
    // The control and the Effect agree on this value now.
    if (shown) shown[size_t(index - 1)] = effect->getParameter(index - 1);
}

int32_t CTemplateNoUIProcess::controlForParameter(VstInt32 index) const
{
    // Editor tags (80 and up) never reach a control, the bypass least of all.
    if (index < 0 || index >= effect->getAeffect()->numParams) return 0;
    return IsValidControlIndex(index + 1) ? index + 1 : 0;
}

void CTemplateNoUIProcess::PushControlValue(int32_t index, int32_t value) { SetControlValue(index, value); }
void CTemplateNoUIProcess::TouchControl(int32_t index) { CEffectProcess::TouchControl(index); }
void CTemplateNoUIProcess::ReleaseControl(int32_t index) { CEffectProcess::ReleaseControl(index); }

VstIntPtr CTemplateNoUIProcess::TemplateAudioMasterCallback(AEffect* record, VstInt32 opcode, VstInt32 index,
                                                            VstIntPtr, void*, float opt)
{
    auto* process = record ? static_cast<CTemplateNoUIProcess*>(record->user) : nullptr;
    if (!process) return 0;
    const int32_t k = process->controlForParameter(index);
    if (k == 0) return 0;
    switch (opcode) {
    case audioMasterBeginEdit: process->TouchControl(k); break;
    case audioMasterEndEdit: process->ReleaseControl(k); break;
    case audioMasterAutomate: {
        const auto* control = dynamic_cast<const CPluginControl_Continuous*>(process->GetControl(k));
        process->PushControlValue(k, control ? control->ConvertContinuousToControl(static_cast<double>(opt)) : 0);
        break;
    }
    default: break;
    }
    return 0;
}

// ---- chunks ----

ComponentResult CTemplateNoUIProcess::ChunkSizeForEffect(OSType id, int32_t* size)
{
    if (id != static_cast<OSType>(effect->getAeffect()->uniqueID))
        return CEffectProcessMIDI::ChunkSizeForEffect(id, size);
    catchUp();
    void* data = nullptr;
    const VstInt32 n = effect->getChunk(&data, false);
    cachedChunk.assign(data && n > 0 ? static_cast<const char*>(data) : "", data && n > 0 ? size_t(n) : 0);
    chunkCached = true;
    *size = static_cast<int32_t>(kPlugInChunkHeaderSize + cachedChunk.size());
    return kPlugInNoErr;
}

ComponentResult CTemplateNoUIProcess::ReadChunkFromEffect(OSType id, PlugInChunkHeader* chunk, uint32_t bytes)
{
    if (id != static_cast<OSType>(effect->getAeffect()->uniqueID))
        return CEffectProcessMIDI::ReadChunkFromEffect(id, chunk, bytes);
    // The text the size was measured on, unless the library asks without
    // measuring first.
    if (!chunkCached) {
        int32_t ignored = 0;
        ChunkSizeForEffect(id, &ignored);
    }
    const size_t total = kPlugInChunkHeaderSize + cachedChunk.size();
    if (bytes < total) return kPlugInChunkRangeErr;
    chunk->size = static_cast<int32_t>(total);
    std::memcpy(reinterpret_cast<char*>(chunk) + kPlugInChunkHeaderSize, cachedChunk.data(), cachedChunk.size());
    std::string().swap(cachedChunk);
    chunkCached = false;
    return kPlugInNoErr;
}

ComponentResult CTemplateNoUIProcess::WriteChunkToEffect(OSType id, PlugInChunkHeader* chunk, uint32_t bytes)
{
    if (id != static_cast<OSType>(effect->getAeffect()->uniqueID))
        return CEffectProcessMIDI::WriteChunkToEffect(id, chunk, bytes);
    catchUp();
    const int32_t size = chunk->size;
    if (size < static_cast<int32_t>(kPlugInChunkHeaderSize) || static_cast<uint32_t>(size) > bytes) {
        std::fprintf(stderr, "Quarrystone TWR:: Chunk refused: its size field %d is outside 56..%u.\n", size, bytes);
        return kPlugInChunkRangeErr;
    }
    // The library's memory is only read: the Effect gets a terminated copy.
    const std::string text(reinterpret_cast<const char*>(chunk) + kPlugInChunkHeaderSize,
                           static_cast<size_t>(size) - kPlugInChunkHeaderSize);
    if (text.compare(0, sizeof kBankChunkStart - 1, kBankChunkStart) != 0) {
        std::fprintf(stderr, "Quarrystone TWR:: Chunk refused: it does not hold a bank.\n");
        return kPlugInChunkRangeErr;
    }
    effect->setChunk(const_cast<char*>(text.c_str()), static_cast<VstInt32>(text.size()), false);
    return kPlugInNoErr;
}

void CTemplateNoUIProcess::GetChannelDelays(int32_t* delays, bool* used)
{
    for (int32_t c = 0; c < GetNumChannels(); ++c) {
        delays[c] = 0;
        used[c] = false;
    }
}

// ---- MIDI ----

void CTemplateNoUIProcess::ForwardMidiToEffect(unsigned char flag, const DirectMidiPacket* packet, void* context)
{
    auto* process = static_cast<CTemplateNoUIProcess*>(context);
    if (flag != 0 || !packet || !process) return;
    VstMidiEvent message{};
    message.type = kVstMidiType;
    message.byteSize = sizeof(VstMidiEvent);
    message.deltaFrames = static_cast<VstInt32>(packet->timestamp);
    for (int b = 0; b < 3; ++b) message.midiData[b] = static_cast<char>(packet->data[b]);
    VstEvents events{};
    events.numEvents = 1;
    events.events[0] = reinterpret_cast<VstEvent*>(&message);
    process->effect->processEvents(&events);
}

// ---- rendering ----

void CTemplateNoUIProcessRTAS::RenderThroughEffect(float** inputs, float** outputs, int32_t frames)
{
    noteRateWhileRendering();
    const bool stereo = GetNumChannels() == 2;
    float* in[2] = {inputs[0], stereo ? inputs[1] : nullptr};
    float* out[2] = {outputs[0], stereo ? outputs[1] : nullptr};
    if (!IsBypassed()) {
        effect->processReplacing(in, out, frames);
        return;
    }
    for (int c = 0; c < GetNumChannels(); ++c)
        if (in[c] && out[c] && in[c] != out[c]) std::memcpy(out[c], in[c], sizeof(float) * size_t(frames));
}

CEffectProcess* NewTemplateProcessRTAS()
{
    try {
        return new CTemplateNoUIProcessRTAS;
    } catch (...) {
        std::fprintf(stderr, "Quarrystone TWR:: No plug-in instance: the Effect could not be made.\n");
        return nullptr;
    }
}

// ---- resources and the editor ----

int16_t CTemplateNoUIProcess::UseResourceFile()
{
    const int16_t previous = CurResFile();
    UseResFile(GetPlugInResourceFile());
    return previous;
}

void CTemplateNoUIProcess::RestoreResourceFile(int16_t previous) { UseResFile(previous); }

AEffEditor* CTemplateNoUIProcess::GetEditor() { return effect ? effect->getEditor() : nullptr; }

}  // namespace tonewright
