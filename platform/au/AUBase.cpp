#include "au/AUBase.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

namespace {

// Reads a property value of exactly the expected size.
template <typename T>
bool readValue(const void* data, UInt32 size, T& value)
{
    if (!data || size != sizeof(T)) return false;
    std::memcpy(&value, data, sizeof(T));
    return true;
}

template <typename T>
void writeValue(void* data, const T& value)
{
    if (data) std::memcpy(data, &value, sizeof(T));
}

bool validFormat(const AudioStreamBasicDescription& f)
{
    const AudioStreamBasicDescription canonical = CanonicalFormat(f.mSampleRate, f.mChannelsPerFrame);
    return std::isfinite(f.mSampleRate) && f.mSampleRate > 0.0 && f.mChannelsPerFrame >= 1 &&
           f.mChannelsPerFrame <= 8 && f.mFormatID == canonical.mFormatID &&
           (f.mFormatFlags & canonical.mFormatFlags) == canonical.mFormatFlags &&
           f.mBitsPerChannel == canonical.mBitsPerChannel && f.mBytesPerFrame == canonical.mBytesPerFrame &&
           f.mBytesPerPacket == canonical.mBytesPerPacket && f.mFramesPerPacket == canonical.mFramesPerPacket;
}

constexpr UInt32 kLargestSlice = 65536;

// The present preset's word: change count << 36 | (slot + 1) << 32 | number.
constexpr int kCountShift = 36;
int presetSlot(uint64_t word) { return int((word >> 32) & 15) - 1; }
SInt32 presetNumber(uint64_t word) { return static_cast<SInt32>(static_cast<uint32_t>(word)); }
uint64_t presetWord(uint64_t count, int slot, SInt32 number)
{
    return count << kCountShift | uint64_t(slot + 1) << 32 | static_cast<uint32_t>(number);
}

}  // namespace

// ---- elements ----

AudioUnitParameterValue AUElement::GetParameter(AudioUnitParameterID id) const
{
    const auto it = parameters.find(id);
    return it == parameters.end() ? 0.0f : it->second.load(std::memory_order_relaxed);
}

void AUElement::SetParameter(AudioUnitParameterID id, AudioUnitParameterValue value)
{
    const auto [it, added] = parameters.try_emplace(id, value);
    if (!added) it->second.store(value, std::memory_order_relaxed);
}

std::vector<AudioUnitParameterID> AUElement::ParameterIDs() const
{
    std::vector<AudioUnitParameterID> ids;
    for (const auto& entry : parameters) ids.push_back(entry.first);
    return ids;
}

AUIOElement::AUIOElement() : format(CanonicalFormat(44100.0, 2)) {}

void AUIOElement::AllocateBuffers(UInt32 frames)
{
    const UInt32 channels = NumberChannels();
    if (frames == capacity && buffers && buffers->list().mNumberBuffers == channels) return;
    std::vector<float> fresh(size_t(channels) * frames, 0.0f);
    auto list = std::make_unique<AudioBufferListStorage>(channels);
    storage.swap(fresh);
    buffers = std::move(list);
    capacity = frames;
}

AudioBufferList& AUIOElement::PrepareBuffers(UInt32 frames)
{
    AudioBufferList& list = buffers->list();
    for (UInt32 c = 0; c < list.mNumberBuffers; ++c)
        list.mBuffers[c] = {1, std::min(frames, capacity) * UInt32(sizeof(float)), Channel(c)};
    return list;
}

// ---- AUBase ----

AUBase::AUBase(ComponentInstance unit, UInt32 in, UInt32 out)
    : componentInstance(unit), inputCount(in), outputCount(out)
{
}

AUBase::~AUBase()
{
    if (const int slot = presetSlot(presentPreset.load()); slot >= 0) CFRelease(presetSlots[slot].name.load());
}

void AUBase::CreateElements()
{
    if (globalElement) return;
    globalElement = std::make_unique<AUElement>();
    for (UInt32 i = 0; i < inputCount; ++i) inputElements.push_back(std::make_unique<AUIOElement>());
    for (UInt32 i = 0; i < outputCount; ++i) outputElements.push_back(std::make_unique<AUIOElement>());
}

Float64 AUBase::GetSampleRate()
{
    AUIOElement* out = GetOutput(0);
    return out ? out->GetStreamFormat().mSampleRate : 44100.0;
}

AUIOElement* AUBase::GetInput(AudioUnitElement element)
{
    return element < inputElements.size() ? inputElements[element].get() : nullptr;
}

AUIOElement* AUBase::GetOutput(AudioUnitElement element)
{
    return element < outputElements.size() ? outputElements[element].get() : nullptr;
}

AUIOElement* AUBase::IOElement(AudioUnitScope scope, AudioUnitElement element)
{
    if (scope == kAudioUnitScope_Input) return GetInput(element);
    if (scope == kAudioUnitScope_Output) return GetOutput(element);
    return nullptr;
}

AUElement* AUBase::GetElement(AudioUnitScope scope, AudioUnitElement element)
{
    if (scope == kAudioUnitScope_Global) return element == 0 ? globalElement.get() : nullptr;
    return IOElement(scope, element);
}

ComponentResult AUBase::CheckElement(AudioUnitScope scope, AudioUnitElement element)
{
    if (scope > kAudioUnitScope_Output) return kAudioUnitErr_InvalidScope;
    return GetElement(scope, element) ? noErr : kAudioUnitErr_InvalidElement;
}

void AUBase::SetAFactoryPresetAsCurrent(const AUPreset& preset)
{
    int slot = -1;
    if (preset.presetName) {
        CFRetain(preset.presetName);
        // Taken slots are freed within a few instructions of their change;
        // all of them taken at once would take eight changes at once.
        while (slot < 0) {
            for (int i = 0; i < kPresetSlots && slot < 0; ++i)
                if (!presetSlots[i].taken.exchange(true, std::memory_order_acquire)) slot = i;
            if (slot < 0) std::this_thread::yield();
        }
        presetSlots[slot].name.store(preset.presetName, std::memory_order_release);
    }
    uint64_t was = presentPreset.load(std::memory_order_relaxed);
    while (!presentPreset.compare_exchange_weak(was, presetWord((was >> kCountShift) + 1, slot, preset.presetNumber),
                                                std::memory_order_acq_rel, std::memory_order_relaxed)) {
    }
    if (const int old = presetSlot(was); old >= 0) {
        CFRelease(presetSlots[old].name.exchange(nullptr, std::memory_order_acq_rel));
        presetSlots[old].taken.store(false, std::memory_order_release);
    }
}

AUPreset AUBase::CopyPresentPreset() const
{
    for (;;) {
        const uint64_t word = presentPreset.load(std::memory_order_acquire);
        const int slot = presetSlot(word);
        const CFStringRef name = slot >= 0 ? presetSlots[slot].name.load(std::memory_order_acquire) : nullptr;
        if (name) CFRetain(name);
        // Unchanged, the slot still held that word's name while it was retained.
        if (presentPreset.load(std::memory_order_acquire) == word) return {presetNumber(word), name};
        if (name) CFRelease(name);
    }
}

// ---- what a unit may override ----

ComponentResult AUBase::GetPropertyInfo(AudioUnitPropertyID, AudioUnitScope, AudioUnitElement, UInt32&, Boolean&)
{
    return kAudioUnitErr_InvalidProperty;
}

ComponentResult AUBase::GetProperty(AudioUnitPropertyID, AudioUnitScope, AudioUnitElement, void*)
{
    return kAudioUnitErr_InvalidProperty;
}

ComponentResult AUBase::SetProperty(AudioUnitPropertyID, AudioUnitScope, AudioUnitElement, const void*, UInt32)
{
    return kAudioUnitErr_InvalidProperty;
}

ComponentResult AUBase::GetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                     AudioUnitParameterValue& value)
{
    if (const ComponentResult bad = CheckElement(scope, element)) return bad;
    const AUElement* e = GetElement(scope, element);
    if (!e->HasParameter(id)) return kAudioUnitErr_InvalidParameter;
    value = e->GetParameter(id);
    return noErr;
}

ComponentResult AUBase::SetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                     AudioUnitParameterValue value, UInt32)
{
    if (const ComponentResult bad = CheckElement(scope, element)) return bad;
    GetElement(scope, element)->SetParameter(id, value);
    return noErr;
}

ComponentResult AUBase::GetParameterInfo(AudioUnitScope, AudioUnitParameterID, AudioUnitParameterInfo&)
{
    return kAudioUnitErr_InvalidParameter;
}

ComponentResult AUBase::SaveState(CFPropertyListRef*) { return kAudioUnitErr_InvalidProperty; }
ComponentResult AUBase::RestoreState(CFPropertyListRef) { return kAudioUnitErr_InvalidProperty; }
ComponentResult AUBase::GetPresets(CFArrayRef*) { return kAudioUnitErr_InvalidProperty; }
OSStatus AUBase::NewFactoryPresetSet(const AUPreset&) { return kAudioUnitErr_InvalidPropertyValue; }

UInt32 AUBase::SupportedNumChannels(const AUChannelInfo** out)
{
    if (out) *out = nullptr;
    return 0;
}

OSStatus AUBase::ChangeStreamFormat(AudioUnitScope scope, AudioUnitElement element, const AudioStreamBasicDescription&,
                                    const AudioStreamBasicDescription& next)
{
    AUIOElement* e = IOElement(scope, element);
    if (!e) return kAudioUnitErr_InvalidElement;
    e->SetStreamFormat(next);
    return noErr;
}

OSStatus AUBase::Render(AudioUnitRenderActionFlags&, const AudioTimeStamp&, UInt32, AudioBufferList&) { return noErr; }

// ---- the routing of Component Manager calls ----

ComponentResult AUBase::DispatchGetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                                UInt32& size, Boolean& writable)
{
    const auto globalOnly = [&](UInt32 bytes, bool canWrite) -> ComponentResult {
        if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
        size = bytes;
        writable = canWrite;
        return noErr;
    };
    switch (id) {
    case kAudioUnitProperty_ClassInfo: return globalOnly(sizeof(CFPropertyListRef), true);
    case kAudioUnitProperty_SampleRate:
    case kAudioUnitProperty_StreamFormat:
        if (scope != kAudioUnitScope_Input && scope != kAudioUnitScope_Output) return kAudioUnitErr_InvalidScope;
        if (!IOElement(scope, element)) return kAudioUnitErr_InvalidElement;
        size = id == kAudioUnitProperty_SampleRate ? sizeof(Float64) : sizeof(AudioStreamBasicDescription);
        writable = StreamFormatWritable(scope, element);
        return noErr;
    case kAudioUnitProperty_ParameterList:
        if (const ComponentResult bad = CheckElement(scope, element)) return bad;
        size = UInt32(GetElement(scope, element)->ParameterIDs().size() * sizeof(AudioUnitParameterID));
        writable = false;
        return noErr;
    case kAudioUnitProperty_ParameterInfo:
        size = sizeof(AudioUnitParameterInfo);
        writable = false;
        return scope <= kAudioUnitScope_Output ? noErr : kAudioUnitErr_InvalidScope;
    case kAudioUnitProperty_ElementCount:
        if (scope > kAudioUnitScope_Output) return kAudioUnitErr_InvalidScope;
        size = sizeof(UInt32);
        writable = false;
        return noErr;
    case kAudioUnitProperty_Latency:
    case kAudioUnitProperty_TailTime: return globalOnly(sizeof(Float64), false);
    case kAudioUnitProperty_SupportedNumChannels: {
        const UInt32 n = SupportedNumChannels(nullptr);
        if (n == 0) return kAudioUnitErr_InvalidProperty;
        return globalOnly(UInt32(n * sizeof(AUChannelInfo)), false);
    }
    case kAudioUnitProperty_MaximumFramesPerSlice: return globalOnly(sizeof(UInt32), true);
    case kAudioUnitProperty_SetRenderCallback:
        if (scope != kAudioUnitScope_Input) return kAudioUnitErr_InvalidScope;
        if (!GetInput(element)) return kAudioUnitErr_InvalidElement;
        size = sizeof(AURenderCallbackStruct);
        writable = true;
        return noErr;
    case kAudioUnitProperty_FactoryPresets:
        if (GetPresets(nullptr) != noErr) return kAudioUnitErr_InvalidProperty;
        return globalOnly(sizeof(CFArrayRef), false);
    case kAudioUnitProperty_PresentPreset: return globalOnly(sizeof(AUPreset), true);
    default: return GetPropertyInfo(id, scope, element, size, writable);
    }
}

ComponentResult AUBase::DispatchGetProperty(AudioUnitPropertyArguments& a)
{
    UInt32 needed = 0;
    Boolean writable = false;
    if (const ComponentResult bad = DispatchGetPropertyInfo(a.id, a.scope, a.element, needed, writable)) return bad;
    // Too little room is refused rather than cut: a cut reference would leak.
    if (*a.size < needed) return kAudioUnitErr_InvalidPropertyValue;
    *a.size = needed;
    switch (a.id) {
    case kAudioUnitProperty_ClassInfo: return SaveState(static_cast<CFPropertyListRef*>(a.data));
    case kAudioUnitProperty_SampleRate:
        writeValue(a.data, IOElement(a.scope, a.element)->GetStreamFormat().mSampleRate);
        return noErr;
    case kAudioUnitProperty_StreamFormat:
        writeValue(a.data, IOElement(a.scope, a.element)->GetStreamFormat());
        return noErr;
    case kAudioUnitProperty_ParameterList: {
        const auto ids = GetElement(a.scope, a.element)->ParameterIDs();
        if (!ids.empty()) std::memcpy(a.data, ids.data(), std::min<size_t>(needed, ids.size() * sizeof(ids[0])));
        return noErr;
    }
    case kAudioUnitProperty_ParameterInfo: {
        AudioUnitParameterInfo info{};
        const ComponentResult result = GetParameterInfo(a.scope, a.element, info);
        if (result == noErr) writeValue(a.data, info);
        return result;
    }
    case kAudioUnitProperty_ElementCount:
        writeValue(a.data, a.scope == kAudioUnitScope_Global  ? UInt32{1}
                           : a.scope == kAudioUnitScope_Input ? inputCount
                                                              : outputCount);
        return noErr;
    case kAudioUnitProperty_Latency: writeValue(a.data, GetLatency()); return noErr;
    case kAudioUnitProperty_TailTime: writeValue(a.data, GetTailTime()); return noErr;
    case kAudioUnitProperty_SupportedNumChannels: {
        const AUChannelInfo* infos = nullptr;
        const UInt32 n = SupportedNumChannels(&infos);
        if (infos) std::memcpy(a.data, infos, std::min<size_t>(needed, n * sizeof(AUChannelInfo)));
        return noErr;
    }
    case kAudioUnitProperty_MaximumFramesPerSlice: writeValue(a.data, GetMaxFramesPerSlice()); return noErr;
    case kAudioUnitProperty_SetRenderCallback: writeValue(a.data, GetInput(a.element)->callback); return noErr;
    case kAudioUnitProperty_FactoryPresets: return GetPresets(static_cast<CFArrayRef*>(a.data));
    case kAudioUnitProperty_PresentPreset: writeValue(a.data, CopyPresentPreset()); return noErr;
    default: return GetProperty(a.id, a.scope, a.element, a.data);
    }
}

ComponentResult AUBase::SetFormat(AudioUnitScope scope, AudioUnitElement element,
                                  const AudioStreamBasicDescription& next)
{
    if (!StreamFormatWritable(scope, element)) return kAudioUnitErr_PropertyNotWritable;
    if (!validFormat(next)) return kAudioUnitErr_FormatNotSupported;
    const AudioStreamBasicDescription previous = IOElement(scope, element)->GetStreamFormat();
    if (std::memcmp(&previous, &next, sizeof next) == 0) return noErr;
    return ChangeStreamFormat(scope, element, previous, next);
}

ComponentResult AUBase::DispatchSetProperty(AudioUnitPropertyArguments& a)
{
    const UInt32 size = *a.size;
    switch (a.id) {
    case kAudioUnitProperty_ClassInfo: {
        CFPropertyListRef plist = nullptr;
        if (a.scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
        if (!readValue(a.data, size, plist)) return kAudioUnitErr_InvalidPropertyValue;
        return RestoreState(plist);
    }
    case kAudioUnitProperty_SampleRate:
    case kAudioUnitProperty_StreamFormat: {
        if (a.scope != kAudioUnitScope_Input && a.scope != kAudioUnitScope_Output) return kAudioUnitErr_InvalidScope;
        AUIOElement* e = IOElement(a.scope, a.element);
        if (!e) return kAudioUnitErr_InvalidElement;
        AudioStreamBasicDescription next = e->GetStreamFormat();
        if (a.id == kAudioUnitProperty_SampleRate ? !readValue(a.data, size, next.mSampleRate)
                                                  : !readValue(a.data, size, next))
            return kAudioUnitErr_InvalidPropertyValue;
        return SetFormat(a.scope, a.element, next);
    }
    case kAudioUnitProperty_MaximumFramesPerSlice: {
        UInt32 frames = 0;
        if (a.scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
        if (!readValue(a.data, size, frames) || frames < 1 || frames > kLargestSlice)
            return kAudioUnitErr_InvalidPropertyValue;
        if (IsInitialized()) return kAudioUnitErr_Initialized;
        maxFramesPerSlice = frames;
        return noErr;
    }
    case kAudioUnitProperty_SetRenderCallback: {
        AURenderCallbackStruct callback{};
        if (a.scope != kAudioUnitScope_Input) return kAudioUnitErr_InvalidScope;
        AUIOElement* input = GetInput(a.element);
        if (!input) return kAudioUnitErr_InvalidElement;
        if (!readValue(a.data, size, callback)) return kAudioUnitErr_InvalidPropertyValue;
        if (IsInitialized()) return kAudioUnitErr_Initialized;
        input->callback = callback;
        return noErr;
    }
    case kAudioUnitProperty_PresentPreset: {
        AUPreset preset{};
        if (a.scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
        if (!readValue(a.data, size, preset)) return kAudioUnitErr_InvalidPropertyValue;
        if (preset.presetNumber >= 0) return NewFactoryPresetSet(preset);
        // A user preset: only its name and number are kept.
        if (preset.presetName && CFGetTypeID(preset.presetName) != CFStringGetTypeID())
            return kAudioUnitErr_InvalidPropertyValue;
        SetAFactoryPresetAsCurrent(preset);
        return noErr;
    }
    case kAudioUnitProperty_ParameterList:
    case kAudioUnitProperty_ParameterInfo:
    case kAudioUnitProperty_ElementCount:
    case kAudioUnitProperty_Latency:
    case kAudioUnitProperty_TailTime:
    case kAudioUnitProperty_SupportedNumChannels:
    case kAudioUnitProperty_FactoryPresets: return kAudioUnitErr_PropertyNotWritable;
    default: return SetProperty(a.id, a.scope, a.element, a.data, size);
    }
}

ComponentResult AUBase::DoInitialize()
{
    if (IsInitialized()) return noErr;
    if (const ComponentResult result = Initialize()) return result;
    const UInt32 frames = GetMaxFramesPerSlice();
    for (auto* list : {&inputElements, &outputElements})
        for (auto& e : *list) e->AllocateBuffers(frames);
    initialized = true;
    return noErr;
}

ComponentResult AUBase::DoRender(const AudioUnitRenderArguments& a)
{
    if (!IsInitialized()) return kAudioUnitErr_Uninitialized;
    AUIOElement* out = GetOutput(a.bus);
    if (!out) return kAudioUnitErr_InvalidElement;
    if (a.frames > GetMaxFramesPerSlice()) return kAudioUnitErr_TooManyFramesToProcess;
    // Buffers the host leaves empty are the unit's own.
    AudioBufferList& list = *a.data;
    for (UInt32 c = 0; c < list.mNumberBuffers && c < out->NumberChannels(); ++c)
        if (!list.mBuffers[c].mData) list.mBuffers[c] = {1, a.frames * UInt32(sizeof(float)), out->Channel(c)};
    return Render(*a.flags, *a.time, a.frames, list);
}

ComponentResult AUBase::ComponentEntryDispatch(ComponentParameters* params, AUBase* unit)
{
    switch (params->what) {
    case kComponentVersionSelect: return unit->Version();
    case kAudioUnitInitializeSelect: return unit->DoInitialize();
    case kAudioUnitUninitializeSelect:
        if (unit->IsInitialized()) {
            unit->Cleanup();
            unit->initialized = false;
        }
        return noErr;
    case kAudioUnitGetPropertyInfoSelect: {
        auto& a = *static_cast<AudioUnitPropertyArguments*>(params->arguments);
        return unit->DispatchGetPropertyInfo(a.id, a.scope, a.element, *a.size, *a.writable);
    }
    case kAudioUnitGetPropertySelect:
        return unit->DispatchGetProperty(*static_cast<AudioUnitPropertyArguments*>(params->arguments));
    case kAudioUnitSetPropertySelect:
        return unit->DispatchSetProperty(*static_cast<AudioUnitPropertyArguments*>(params->arguments));
    case kAudioUnitGetParameterSelect: {
        auto& a = *static_cast<AudioUnitParameterArguments*>(params->arguments);
        return unit->GetParameter(a.id, a.scope, a.element, *a.value);
    }
    case kAudioUnitSetParameterSelect: {
        auto& a = *static_cast<AudioUnitParameterArguments*>(params->arguments);
        return unit->SetParameter(a.id, a.scope, a.element, *a.value, a.bufferOffset);
    }
    case kAudioUnitResetSelect: {
        auto& a = *static_cast<AudioUnitResetArguments*>(params->arguments);
        return unit->Reset(a.scope, a.element);
    }
    case kAudioUnitRenderSelect: return unit->DoRender(*static_cast<AudioUnitRenderArguments*>(params->arguments));
    default: return badComponentSelector;
    }
}

// ---- AUEffectBase ----

ComponentResult AUEffectBase::Initialize()
{
    if (!GetInput(0) || !GetOutput(0)) return kAudioUnitErr_InvalidElement;
    const AudioStreamBasicDescription& in = GetInput(0)->GetStreamFormat();
    const AudioStreamBasicDescription& out = GetOutput(0)->GetStreamFormat();
    if (in.mSampleRate != out.mSampleRate) return kAudioUnitErr_FormatNotSupported;
    const auto inChannels = SInt16(in.mChannelsPerFrame), outChannels = SInt16(out.mChannelsPerFrame);
    const AUChannelInfo* configurations = nullptr;
    const UInt32 n = SupportedNumChannels(&configurations);
    if (n == 0) return inChannels == outChannels ? noErr : kAudioUnitErr_FormatNotSupported;
    for (UInt32 i = 0; i < n; ++i) {
        const AUChannelInfo& c = configurations[i];
        if ((c.inChannels == -1 || c.inChannels == inChannels) && (c.outChannels == -1 || c.outChannels == outChannels))
            return noErr;
    }
    return kAudioUnitErr_FormatNotSupported;
}

ComponentResult AUEffectBase::GetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                              UInt32& size, Boolean& writable)
{
    if (id != kAudioUnitProperty_BypassEffect) return AUBase::GetPropertyInfo(id, scope, element, size, writable);
    if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
    size = sizeof(UInt32);
    writable = true;
    return noErr;
}

ComponentResult AUEffectBase::GetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                          void* data)
{
    if (id != kAudioUnitProperty_BypassEffect) return AUBase::GetProperty(id, scope, element, data);
    writeValue(data, UInt32(IsBypassEffect() ? 1 : 0));
    return noErr;
}

ComponentResult AUEffectBase::SetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                          const void* data, UInt32 size)
{
    if (id != kAudioUnitProperty_BypassEffect) return AUBase::SetProperty(id, scope, element, data, size);
    UInt32 on = 0;
    if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
    if (!readValue(data, size, on)) return kAudioUnitErr_InvalidPropertyValue;
    bypass = on != 0;
    return noErr;
}

OSStatus AUEffectBase::Render(AudioUnitRenderActionFlags& flags, const AudioTimeStamp& time, UInt32 frames,
                              AudioBufferList& output)
{
    AUIOElement* in = GetInput(0);
    if (!in || !in->callback.inputProc) return kAudioUnitErr_NoConnection;
    AudioBufferList& input = in->PrepareBuffers(frames);
    if (const OSStatus pulled = in->callback.inputProc(in->callback.inputProcRefCon, &flags, &time, 0, frames, &input))
        return pulled;
    if (!IsBypassEffect()) return ProcessBufferLists(flags, input, output, frames);
    // The host's bypass: the input as it came (a missing channel is silence).
    for (UInt32 c = 0; c < output.mNumberBuffers; ++c) {
        AudioBuffer& to = output.mBuffers[c];
        if (!to.mData) continue;
        const UInt32 bytes = std::min(to.mDataByteSize, frames * UInt32(sizeof(float)));
        const AudioBuffer* from = c < input.mNumberBuffers ? &input.mBuffers[c] : nullptr;
        const UInt32 copied = from && from->mData ? std::min(bytes, from->mDataByteSize) : 0;
        if (copied) std::memmove(to.mData, from->mData, copied);
        std::memset(static_cast<char*>(to.mData) + copied, 0, bytes - copied);
    }
    return noErr;
}

OSStatus AUEffectBase::ProcessBufferLists(AudioUnitRenderActionFlags&, const AudioBufferList&, AudioBufferList&, UInt32)
{
    return noErr;
}

// ---- MIDI ----

OSStatus AUMIDIBase::MIDIEvent(UInt32 status, UInt32 data1, UInt32 data2, UInt32 offsetSampleFrame)
{
    return HandleMidiEvent(UInt8(status & 0xF0), UInt8(status & 0x0F), UInt8(data1 & 0x7F), UInt8(data2 & 0x7F),
                           offsetSampleFrame);
}

OSStatus AUMIDIBase::HandleMidiEvent(UInt8, UInt8, UInt8, UInt8, UInt32) { return noErr; }

ComponentResult AUMIDIEffectBase::ComponentEntryDispatch(ComponentParameters* params, AUMIDIEffectBase* unit)
{
    if (params->what != kMusicDeviceMIDIEventSelect) return AUBase::ComponentEntryDispatch(params, unit);
    const auto& a = *static_cast<MusicDeviceMIDIEventArguments*>(params->arguments);
    return unit->MIDIEvent(a.status, a.data1, a.data2, a.offsetSampleFrame);
}
