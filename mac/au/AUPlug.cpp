#include "mac/au/AUPlug.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <utility>

#include "dsp/StringUtil.h"
#include "plugin/Effect.h"

namespace tonewright {

namespace {

std::atomic<EffectFactory> effectFactory{nullptr};

// The unit whose render or MIDI call this thread is in.
thread_local const AUPlug* renderingUnit = nullptr;

class RenderScope {
public:
    explicit RenderScope(const AUPlug* unit) : outer(std::exchange(renderingUnit, unit)) {}
    ~RenderScope() { renderingUnit = outer; }
    RenderScope(const RenderScope&) = delete;
    RenderScope& operator=(const RenderScope&) = delete;

private:
    const AUPlug* outer;
};

// A state's bank chunk starts so.
constexpr char kChunkStart[] = "<TWRChunk";
constexpr AudioUnitParameterOptions kParameterFlags =
    kAudioUnitParameterFlag_IsWritable | kAudioUnitParameterFlag_IsReadable | kAudioUnitParameterFlag_IsElementMeta |
    kAudioUnitParameterFlag_HasCFNameString | kAudioUnitParameterFlag_CFNameRelease | 1u;
static_assert(kParameterFlags == 0xE8000011u);

// Names are UTF-8 here; bytes that are not are read as Mac Roman, which
// takes any byte.
CFStringRef makeName(const char* text)
{
    CFStringRef s = CFStringCreateWithCString(kCFAllocatorDefault, text, kCFStringEncodingUTF8);
    return s ? s : CFStringCreateWithCString(kCFAllocatorDefault, text, kCFStringEncodingMacRoman);
}

void notifyParameter(AudioUnit unit, AudioUnitEventType type, int index)
{
    AudioUnitEvent event{type, {{unit, AudioUnitParameterID(index), kAudioUnitScope_Global, 0}}};
    AUEventListenerNotify(nullptr, nullptr, &event);
}

// A reference released when it goes out of scope.
template <typename Ref>
class Owned {
public:
    explicit Owned(Ref r = nullptr) : ref(r) {}
    ~Owned()
    {
        if (ref) CFRelease(ref);
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Ref get() const { return ref; }
    Ref release() { return std::exchange(ref, nullptr); }

private:
    Ref ref;
};

bool setNumber(CFMutableDictionaryRef dict, const char* key, SInt32 value)
{
    Owned<CFNumberRef> number(CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &value));
    if (!number.get()) return false;
    CFDictionarySetValue(dict, CFStringMakeConstantString(key), number.get());
    return CFDictionaryGetValue(dict, CFStringMakeConstantString(key)) == number.get();
}

// The URL of the bundle the view class is in; null when it is not loaded.
CFURLRef copyBundleURL()
{
    CFBundleRef bundle = CFBundleGetBundleWithIdentifier(CFStringMakeConstantString(kAUPlugBundleIdentifier));
    return bundle ? CFBundleCopyBundleURL(bundle) : nullptr;
}

bool numberIs(CFDictionaryRef dict, const char* key, SInt32 expected)
{
    const void* value = CFDictionaryGetValue(dict, CFStringMakeConstantString(key));
    SInt32 got = 0;
    return value && CFGetTypeID(value) == CFNumberGetTypeID() &&
           CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberSInt32Type, &got) && got == expected;
}

}  // namespace

EffectFactory SetEffectFactory(EffectFactory factory) { return effectFactory.exchange(factory); }

AUPlug::AUPlug(ComponentInstance instance) : AUMIDIEffectBase(instance)
{
    CreateElements();
    const EffectFactory make = effectFactory.load();
    effect = make ? make(VST_Callback) : createEffectInstance(VST_Callback);
    if (!effect) throw std::runtime_error("no plug-in object");
    aeffect = effect->getAeffect();
    try {
        aeffect->user = this;
        const int programs = std::max(0, aeffect->numPrograms);
        presets.reserve(size_t(programs));
        for (int i = 0; i < programs; ++i) {
            char name[256] = {};
            dispatch(effGetProgramNameIndexed, i, 0, name);
            // Only names that were made are kept (and released on failure).
            CFStringRef made = makeName(name);
            if (!made) throw std::bad_alloc();
            presets.push_back({i, made});  // reserved: does not throw
        }
        std::vector<const void*> entries;
        for (const AUPreset& p : presets) entries.push_back(&p);
        presetList = CFArrayCreate(kCFAllocatorDefault, entries.data(), CFIndex(entries.size()), nullptr);
        if (!presetList) throw std::bad_alloc();
        gestures = std::make_unique<std::atomic<bool>[]>(size_t(std::max(0, aeffect->numParams)));
        reloadParameters(Announce::none);
        if (const auto program = static_cast<int>(dispatch(effGetProgram));
            program >= 0 && program < static_cast<int>(presets.size()))
            showPreset(program);
    } catch (...) {
        aeffect->user = nullptr;
        dispatch(effClose);
        for (const AUPreset& p : presets) CFRelease(p.presetName);
        if (presetList) CFRelease(presetList);
        throw;
    }
    dispatch(effOpen);
}

AUPlug::~AUPlug()
{
    // The effect's calls while it closes reach no unit.
    aeffect->user = nullptr;
    try {
        if (AEffEditor* editor = effect->getEditor(); editor && editor->isOpen()) editor->close();
    } catch (...) {
    }
    for (int i = 0; i < aeffect->numParams; ++i)
        if (gestures[size_t(i)].exchange(false))
            notifyParameter(GetComponentInstance(), kAudioUnitEvent_EndParameterChangeGesture, i);
    dispatch(effClose);  // the effect deletes itself
    effect = nullptr;
    aeffect = nullptr;
    for (const AUPreset& p : presets) CFRelease(p.presetName);
    for (CFStringRef name : retiredNames) CFRelease(name);
    CFRelease(presetList);
}

VstIntPtr AUPlug::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
    return aeffect ? aeffect->dispatcher(aeffect, opcode, index, value, ptr, opt) : 0;
}

void AUPlug::reloadParameters(Announce announce)
{
    AUElement* global = Globals();
    for (int i = 0; i < aeffect->numParams; ++i) {
        const AudioUnitParameterValue v = aeffect->getParameter(aeffect, i);
        const bool moved =
            !global->HasParameter(AudioUnitParameterID(i)) || global->GetParameter(AudioUnitParameterID(i)) != v;
        global->SetParameter(AudioUnitParameterID(i), v);
        if (announce == Announce::all || (announce == Announce::moved && moved))
            notifyParameter(GetComponentInstance(), kAudioUnitEvent_ParameterValueChange, i);
    }
}

bool AUPlug::forwardSampleRate(Float64 rate)
{
    const auto r = static_cast<float>(rate);
    dispatch(effSetSampleRate, 0, 0, nullptr, r);
    return effect && effect->getSampleRate() == r;
}

// ---- set-up ----

ComponentResult AUPlug::Initialize()
{
    if (!aeffect) return kAudioUnitErr_FailedInitialization;
    dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(GetSampleRate()));
    // Buffers for the largest slice are made now, not while rendering.
    dispatch(effSetBlockSize, 0, VstIntPtr(GetMaxFramesPerSlice()));
    return AUMIDIEffectBase::Initialize();
}

ComponentResult AUPlug::Reset(AudioUnitScope scope, AudioUnitElement element)
{
    if (aeffect) {
        dispatch(effMainsChanged, 0, 0);
        dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(GetOutput(0)->GetStreamFormat().mSampleRate));
        dispatch(effMainsChanged, 0, 1);
    }
    return AUMIDIEffectBase::Reset(scope, element);
}

OSStatus AUPlug::ChangeStreamFormat(AudioUnitScope scope, AudioUnitElement element,
                                    const AudioStreamBasicDescription& previous,
                                    const AudioStreamBasicDescription& next)
{
    // The effect runs at the output's rate; a rate it refuses leaves the
    // unit's format as it was.
    if (scope == kAudioUnitScope_Output && element == 0 && next.mSampleRate != previous.mSampleRate &&
        !forwardSampleRate(next.mSampleRate))
        return kAudioUnitErr_FormatNotSupported;
    return AUMIDIEffectBase::ChangeStreamFormat(scope, element, previous, next);
}

UInt32 AUPlug::SupportedNumChannels(const AUChannelInfo** out)
{
    if (out) *out = channelInfo;
    return 2;
}

// ---- properties ----

ComponentResult AUPlug::GetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                        UInt32& size, Boolean& writable)
{
    refreshIfAsked();
    switch (id) {
    case kAudioUnitProperty_CocoaUI: {
        writable = false;
        Owned<CFURLRef> url(copyBundleURL());
        if (!url.get()) return kAudioUnitErr_InvalidProperty;
        size = sizeof(AudioUnitCocoaViewInfo);
        return noErr;
    }
    case kAUPlugEffectProperty:
        size = sizeof(void*);
        writable = false;
        return noErr;
    case kAUPlugReservedProperty:
        size = 8;
        writable = true;
        return noErr;
    default: return AUMIDIEffectBase::GetPropertyInfo(id, scope, element, size, writable);
    }
}

ComponentResult AUPlug::GetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, void* data)
{
    refreshIfAsked();
    switch (id) {
    case kAudioUnitProperty_CocoaUI: {
        Owned<CFURLRef> url(copyBundleURL());
        if (!url.get()) return kAudioUnitErr_InvalidProperty;
        const auto name = static_cast<CFStringRef>(CFRetain(GetAUCocoaUIViewClassName()));
        AudioUnitCocoaViewInfo info{url.release(), {name}};
        std::memcpy(data, &info, sizeof info);
        return noErr;
    }
    case kAUPlugEffectProperty: {
        void* address = effect;
        std::memcpy(data, &address, sizeof address);
        return noErr;
    }
    case kAUPlugReservedProperty: std::memset(data, 0, 8); return noErr;
    default: return AUMIDIEffectBase::GetProperty(id, scope, element, data);
    }
}

ComponentResult AUPlug::SetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                    const void* data, UInt32 size)
{
    switch (id) {
    case kAUPlugReservedProperty: return data && size == 8 ? noErr : kAudioUnitErr_InvalidPropertyValue;
    case kAudioUnitProperty_CocoaUI:
    case kAUPlugEffectProperty: return kAudioUnitErr_PropertyNotWritable;
    default: return AUMIDIEffectBase::SetProperty(id, scope, element, data, size);
    }
}

// ---- parameters ----

ComponentResult AUPlug::GetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                     AudioUnitParameterValue& value)
{
    refreshIfAsked();
    if (scope != kAudioUnitScope_Global) return AUMIDIEffectBase::GetParameter(id, scope, element, value);
    if (!aeffect || id >= UInt32(std::max(0, aeffect->numParams))) return kAudioUnitErr_InvalidParameter;
    if (element != 0) return kAudioUnitErr_InvalidElement;
    Globals()->SetParameter(id, aeffect->getParameter(aeffect, VstInt32(id)));
    return AUMIDIEffectBase::GetParameter(id, scope, element, value);
}

ComponentResult AUPlug::SetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                     AudioUnitParameterValue value, UInt32 bufferOffset)
{
    if (scope != kAudioUnitScope_Global) return AUMIDIEffectBase::SetParameter(id, scope, element, value, bufferOffset);
    if (!aeffect || id >= UInt32(std::max(0, aeffect->numParams))) return kAudioUnitErr_InvalidParameter;
    if (element != 0) return kAudioUnitErr_InvalidElement;
    if (std::isnan(value)) return kAudioUnitErr_InvalidParameterValue;
    value = std::clamp(value, 0.0f, 1.0f);
    aeffect->setParameter(aeffect, VstInt32(id), value);
    return AUMIDIEffectBase::SetParameter(id, scope, element, value, bufferOffset);
}

ComponentResult AUPlug::GetParameterInfo(AudioUnitScope scope, AudioUnitParameterID id, AudioUnitParameterInfo& info)
{
    if (scope != kAudioUnitScope_Global || !aeffect || id >= UInt32(std::max(0, aeffect->numParams)))
        return kAudioUnitErr_InvalidParameter;
    char name[256] = {};
    dispatch(effGetParamName, VstInt32(id), 0, name);
    info = AudioUnitParameterInfo{};
    copyBounded(info.name, name);
    info.cfNameString = makeName(name);
    info.unit = kAudioUnitParameterUnit_Generic;
    info.minValue = 0.0f;
    info.maxValue = 1.0f;
    info.defaultValue = 0.5f;
    info.flags = kParameterFlags;
    // Without a string (no memory) the host is not told to release one.
    if (!info.cfNameString)
        info.flags &= ~(kAudioUnitParameterFlag_HasCFNameString | kAudioUnitParameterFlag_CFNameRelease);
    return noErr;
}

// ---- state ----

ComponentResult AUPlug::SaveState(CFPropertyListRef* out)
{
    refreshIfAsked();
    if (!out) return kAudioUnitErr_InvalidParameter;
    *out = nullptr;
    ComponentDescription desc{};
    if (const OSErr error =
            GetComponentInfo(reinterpret_cast<Component>(GetComponentInstance()), &desc, nullptr, nullptr, nullptr))
        return error;
    Owned<CFMutableDictionaryRef> dict(CFDictionaryCreateMutable(kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks,
                                                                 &kCFTypeDictionaryValueCallBacks));
    if (!dict.get() || !setNumber(dict.get(), "version", 0) ||
        !setNumber(dict.get(), "type", SInt32(desc.componentType)) ||
        !setNumber(dict.get(), "subtype", SInt32(desc.componentSubType)) ||
        !setNumber(dict.get(), "manufacturer", SInt32(desc.componentManufacturer)))
        return -1;
    void* chunk = nullptr;
    const VstIntPtr size = dispatch(effGetChunk, 0, 0, &chunk);
    if (size <= 0 || !chunk || size > std::numeric_limits<CFIndex>::max()) return -1;
    Owned<CFDataRef> data(CFDataCreate(kCFAllocatorDefault, static_cast<const UInt8*>(chunk), CFIndex(size)));
    if (!data.get()) return -1;
    CFDictionarySetValue(dict.get(), CFSTR("data"), data.get());
    CFDictionarySetValue(dict.get(), CFSTR("name"), CFSTR("default"));
    if (CFDictionaryGetCount(dict.get()) != 6) return -1;
    *out = dict.release();
    return noErr;
}

ComponentResult AUPlug::checkStateComponent(CFDictionaryRef state)
{
    ComponentDescription desc{};
    if (const OSErr error =
            GetComponentInfo(reinterpret_cast<Component>(GetComponentInstance()), &desc, nullptr, nullptr, nullptr))
        return error;
    const bool ours = numberIs(state, "version", 0) && numberIs(state, "type", SInt32(desc.componentType)) &&
                      numberIs(state, "subtype", SInt32(desc.componentSubType)) &&
                      numberIs(state, "manufacturer", SInt32(desc.componentManufacturer));
    return ours ? noErr : kAudioUnitErr_InvalidPropertyValue;
}

ComponentResult AUPlug::RestoreState(CFPropertyListRef plist)
{
    if (!plist) return kAudioUnitErr_InvalidParameter;
    if (CFGetTypeID(plist) != CFDictionaryGetTypeID()) return kAudioUnitErr_InvalidPropertyValue;
    const auto state = static_cast<CFDictionaryRef>(plist);
    if (const ComponentResult bad = checkStateComponent(state)) return bad;
    const void* value = CFDictionaryGetValue(state, CFSTR("data"));
    if (!value || CFGetTypeID(value) != CFDataGetTypeID()) return -1;
    const auto data = static_cast<CFDataRef>(value);
    const CFIndex length = CFDataGetLength(data);
    const size_t prefix = sizeof kChunkStart - 1;
    if (length < CFIndex(prefix) || length > std::numeric_limits<VstInt32>::max() ||
        std::memcmp(CFDataGetBytePtr(data), kChunkStart, prefix) != 0)
        return -1;
    // The effect gets a private, terminated copy: the host's bytes are only read.
    std::unique_ptr<char[]> copy(new char[size_t(length) + 1]);
    std::memcpy(copy.get(), CFDataGetBytePtr(data), size_t(length));
    copy[size_t(length)] = '\0';
    // A chunk the effect takes asks the host to read everything again
    // (which reaches the unit through VST_Callback); one it refuses changes
    // nothing and says nothing.
    restoreAnswer = RestoreAnswer::waiting;
    dispatch(effSetChunk, 0, VstIntPtr(length), copy.get());
    const bool taken = restoreAnswer.exchange(RestoreAnswer::none) == RestoreAnswer::taken;
    if (!taken) return -1;
    // Listeners hear every value of the restored state.
    refreshFromEffect(Announce::all);
    return noErr;
}

void AUPlug::effectChanged()
{
    // The render thread (a MIDI program change, a learned controller) takes
    // no lock and makes nothing here: the values came through the automation
    // before, the present preset is shown now, names and values are read
    // again by the host's next call from another thread.
    if (onRenderThread()) {
        presentFromRenderThread();
        refreshAsked = true;
        return;
    }
    if (restoring()) {
        restoreAnswer = RestoreAnswer::taken;
        return;
    }
    refreshFromEffect(Announce::moved);
}

bool AUPlug::onRenderThread() const
{
    return renderingUnit == this || std::this_thread::get_id() == renderThread.load(std::memory_order_relaxed);
}

void AUPlug::refreshIfAsked()
{
    if (onRenderThread()) return;
    if (refreshAsked.exchange(false)) refreshFromEffect(Announce::moved);
}

void AUPlug::refreshFromEffect(Announce announce)
{
    refreshAsked = false;
    const auto program = static_cast<int>(dispatch(effGetProgram));
    bool changed = false;
    if (program >= 0 && program < static_cast<int>(presets.size())) {
        std::lock_guard<std::mutex> lock(presetMutex);
        refreshPresetName(program);
        changed = showPreset(program);
        changed = dropRetiredNames() || changed;
    }
    reloadParameters(announce);
    // After the values, so that a listener that reads them on this news
    // reads the new ones.
    if (changed) notifyPresentPreset();
}

void AUPlug::presentFromRenderThread()
{
    const auto program = static_cast<int>(dispatch(effGetProgram));
    if (program < 0 || program >= static_cast<int>(presets.size())) return;
    renderPresenting.fetch_add(1);
    const bool changed = showPreset(program);
    renderPresenting.fetch_sub(1);
    if (changed) notifyPresentPreset();
}

// ---- presets ----

bool AUPlug::showPreset(int program)
{
    const AUPreset shown{program, std::atomic_ref<CFStringRef>(presets[size_t(program)].presetName).load()};
    SetAFactoryPresetAsCurrent(shown);
    const bool moved = shownProgram.exchange(program) != program;
    return shownName.exchange(shown.presetName) != shown.presetName || moved;
}

void AUPlug::notifyPresentPreset()
{
    AudioUnitEvent event{kAudioUnitEvent_PropertyChange, {}};
    event.mArgument.mProperty = {GetComponentInstance(), kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0};
    AUEventListenerNotify(nullptr, nullptr, &event);
}

void AUPlug::refreshPresetName(int i)
{
    char name[256] = {};
    dispatch(effGetProgramNameIndexed, i, 0, name);
    AUPreset& p = presets[size_t(i)];
    char shown[1024];
    if (CFStringGetCString(p.presetName, shown, sizeof shown, kCFStringEncodingUTF8) && std::strcmp(shown, name) == 0)
        return;
    // A name that could not be made as UTF-8 is made again each time; a new
    // one that cannot be made at all, or kept aside (no memory), keeps the
    // old.
    try {
        if (retiredNames.size() == retiredNames.capacity()) retiredNames.reserve(2 * retiredNames.size() + 8);
    } catch (const std::bad_alloc&) {
        return;
    }
    if (CFStringRef fresh = makeName(name)) {
        retiredNames.push_back(p.presetName);  // reserved: does not throw
        std::atomic_ref<CFStringRef>(p.presetName).store(fresh);
    }
}

bool AUPlug::dropRetiredNames()
{
    // The render thread may have read a replaced name before it was
    // replaced and be handing it to the base: while it may, nothing is
    // given back, and a render thread that comes later reads the new names.
    if (retiredNames.empty() || renderPresenting.load() != 0) return false;
    AUPreset present{-1, nullptr};
    UInt32 size = sizeof present;
    if (AudioUnitGetProperty(GetComponentInstance(), kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0,
                             &present, &size) != noErr)
        return false;
    // A program the base shows under a name since replaced is shown anew.
    const SInt32 shown = present.presetNumber;
    const bool stale = std::find(retiredNames.begin(), retiredNames.end(), present.presetName) != retiredNames.end();
    const bool reshown = stale && shown >= 0 && shown < SInt32(presets.size()) && showPreset(shown);
    std::erase_if(retiredNames, [&](CFStringRef name) {
        if (name == present.presetName && !reshown) return false;
        CFRelease(name);
        return true;
    });
    if (present.presetName) CFRelease(present.presetName);
    return reshown;
}

ComponentResult AUPlug::GetPresets(CFArrayRef* out)
{
    refreshIfAsked();
    if (!out) return noErr;
    bool reshown = false;
    {
        std::lock_guard<std::mutex> lock(presetMutex);
        for (int i = 0; i < int(presets.size()); ++i) refreshPresetName(i);
        reshown = dropRetiredNames();
        *out = static_cast<CFArrayRef>(CFRetain(presetList));
    }
    if (reshown) notifyPresentPreset();
    return noErr;
}

OSStatus AUPlug::NewFactoryPresetSet(const AUPreset& preset)
{
    if (preset.presetNumber < 0 || preset.presetNumber >= SInt32(presets.size()))
        return kAudioUnitErr_InvalidPropertyValue;
    // Chosen again, the current program is applied again. What is shown is
    // the program the effect plays, in case MIDI chose another meanwhile.
    if (!dispatch(effVendorSpecific, Effect::kVendorReselectProgram, preset.presetNumber))
        dispatch(effSetProgram, 0, preset.presetNumber);
    refreshFromEffect(Announce::moved);
    return noErr;
}

// ---- audio and MIDI ----

OSStatus AUPlug::ProcessBufferLists(AudioUnitRenderActionFlags&, const AudioBufferList& in, AudioBufferList& out,
                                    UInt32 frames)
{
    const RenderScope scope(this);
    renderThread.store(std::this_thread::get_id(), std::memory_order_relaxed);
    const bool stereo = in.mNumberBuffers == 2 && out.mNumberBuffers == 2;
    const UInt32 used = stereo ? 2 : 1;
    bool missing = !aeffect || in.mNumberBuffers < 1 || out.mNumberBuffers < 1;
    UInt32 n = frames;
    for (UInt32 c = 0; c < used && !missing; ++c) {
        missing = !in.mBuffers[c].mData || !out.mBuffers[c].mData;
        n = std::min({n, in.mBuffers[c].mDataByteSize / UInt32(sizeof(float)),
                      out.mBuffers[c].mDataByteSize / UInt32(sizeof(float))});
    }
    const auto samples = [&](UInt32 c) { return static_cast<float*>(out.mBuffers[c].mData); };
    const auto room = [&](UInt32 c) { return std::min(frames, out.mBuffers[c].mDataByteSize / UInt32(sizeof(float))); };
    if (missing) {
        for (UInt32 c = 0; c < out.mNumberBuffers; ++c)
            if (samples(c)) std::fill_n(samples(c), room(c), 0.0f);
        return paramErr;
    }
    float* inputs[2] = {static_cast<float*>(in.mBuffers[0].mData),
                        stereo ? static_cast<float*>(in.mBuffers[1].mData) : nullptr};
    float* outputs[2] = {samples(0), stereo ? samples(1) : nullptr};
    aeffect->processReplacing(aeffect, inputs, outputs, VstInt32(n));
    // What the effect did not write: further outputs of a mono run get the
    // mono output, and frames past the shortest buffer silence.
    for (UInt32 c = 0; c < out.mNumberBuffers; ++c) {
        float* x = samples(c);
        if (!x) continue;
        UInt32 filled = n;
        if (c >= used) {
            filled = std::min(n, room(c));
            std::memmove(x, samples(0), filled * sizeof(float));
        }
        if (room(c) > filled) std::fill_n(x + filled, room(c) - filled, 0.0f);
    }
    return noErr;
}

OSStatus AUPlug::HandleMidiEvent(UInt8 status, UInt8 channel, UInt8 data1, UInt8 data2, UInt32 startFrame)
{
    const RenderScope scope(this);
    renderThread.store(std::this_thread::get_id(), std::memory_order_relaxed);
    VstMidiEvent midi{};
    midi.type = kVstMidiType;
    midi.byteSize = sizeof(VstMidiEvent);
    midi.deltaFrames = VstInt32(std::min<UInt32>(startFrame, std::numeric_limits<VstInt32>::max()));
    midi.midiData[0] = static_cast<char>(status | channel);
    midi.midiData[1] = static_cast<char>(data1);
    midi.midiData[2] = static_cast<char>(data2);
    VstEvents events{};
    events.numEvents = 1;
    events.events[0] = reinterpret_cast<VstEvent*>(&midi);
    dispatch(effProcessEvents, 0, 0, &events);
    return noErr;
}

// ---- the host callback ----

void AUPlug::gesture(int index, bool begin)
{
    gestures[size_t(index)] = begin;
    notifyParameter(GetComponentInstance(),
                    begin ? kAudioUnitEvent_BeginParameterChangeGesture : kAudioUnitEvent_EndParameterChangeGesture,
                    index);
}

VstIntPtr VST_Callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt)
{
    if (opcode == audioMasterVersion) return 2;
    AUPlug* unit = effect ? static_cast<AUPlug*>(effect->user) : nullptr;
    if (!unit) return 0;
    const bool valid = index >= 0 && index < unit->parameterCount();
    switch (opcode) {
    case audioMasterUpdateDisplay: unit->effectChanged(); return 1;
    case audioMasterAutomate: {
        if (!valid) return 0;
        // A drag brings its own gestures, a restore none; a single change
        // outside both is wrapped in a gesture of its own.
        const bool restoring = unit->restoring();
        const bool wrap = !restoring && !unit->gestureActive(index);
        const AudioUnit au = unit->GetComponentInstance();
        if (wrap) notifyParameter(au, kAudioUnitEvent_BeginParameterChangeGesture, index);
        const AudioUnitParameter parameter{au, AudioUnitParameterID(index), kAudioUnitScope_Global, 0};
        AUParameterSet(nullptr, nullptr, &parameter, opt, 0);
        if (wrap) notifyParameter(au, kAudioUnitEvent_EndParameterChangeGesture, index);
        return 0;
    }
    case audioMasterBeginEdit:
    case audioMasterEndEdit:
        if (!valid) return 0;
        unit->gesture(index, opcode == audioMasterBeginEdit);
        return 1;
    default: return 0;
    }
}

CFStringRef GetAUCocoaUIViewClassName() { return CFSTR("QRN_TWR_AUCocoaUI"); }

}  // namespace tonewright

ComponentResult AUPlugEntry(ComponentParameters* params, void* storage)
{
    return ComponentEntryPoint<tonewright::AUPlug>::Dispatch(params, static_cast<tonewright::AUPlug*>(storage));
}
