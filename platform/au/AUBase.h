#pragma once
// Stand-in for the Audio Unit base classes an effect that takes MIDI is
// built on: AUBase (elements, parameters, stream formats, properties,
// presets, initialisation and the routing of Component Manager calls),
// AUEffectBase (one input and one output, channel configurations, input
// pulled through the render callback, the host's bypass), AUMIDIBase (MIDI
// messages split into status and channel) and AUMIDIEffectBase, and the
// entry point template that makes a unit when its instance is opened.
//
// Threads: rendering and MIDI (Render, MusicDeviceMIDIEvent) run on the
// host's render thread and neither lock nor allocate once the unit is
// initialised; everything else on the host's other threads. Parameter
// values and the bypass, initialised and slice-size settings are atomics;
// stream formats and the render callback change only while the unit is not
// initialised; a new parameter id may be remembered only before the unit is
// shared (the unit's constructor). The present preset may be set on any
// thread, the render thread among them, and read on any other, without a
// lock (below).

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <new>
#include <vector>

#include "au/Components.h"

// One element of a scope: its parameters, and for input and output elements
// a stream format, buffers and (input) where its audio comes from.
class AUElement {
public:
    AUElement() = default;
    virtual ~AUElement() = default;
    AUElement(const AUElement&) = delete;
    AUElement& operator=(const AUElement&) = delete;

    bool HasParameter(AudioUnitParameterID id) const { return parameters.count(id) != 0; }
    // 0 for an id never set.
    AudioUnitParameterValue GetParameter(AudioUnitParameterID id) const;
    // Remembers an id the first time it is set.
    void SetParameter(AudioUnitParameterID id, AudioUnitParameterValue value);
    std::vector<AudioUnitParameterID> ParameterIDs() const;

private:
    std::map<AudioUnitParameterID, std::atomic<AudioUnitParameterValue>> parameters;
};

class AUIOElement : public AUElement {
public:
    AUIOElement();
    const AudioStreamBasicDescription& GetStreamFormat() const { return format; }
    void SetStreamFormat(const AudioStreamBasicDescription& f) { format = f; }
    UInt32 NumberChannels() const { return format.mChannelsPerFrame; }
    // Room for `frames` frames of every channel (when the unit is initialised).
    void AllocateBuffers(UInt32 frames);
    // The element's own buffers set up for n frames.
    AudioBufferList& PrepareBuffers(UInt32 frames);
    float* Channel(UInt32 channel) { return storage.data() + size_t(channel) * capacity; }

    AURenderCallbackStruct callback{nullptr, nullptr};

private:
    AudioStreamBasicDescription format;
    std::vector<float> storage;
    std::unique_ptr<AudioBufferListStorage> buffers;
    UInt32 capacity = 0;
};

class AUBase {
public:
    static constexpr UInt32 kDefaultMaxFramesPerSlice = 1156;

    AUBase(ComponentInstance instance, UInt32 inputs, UInt32 outputs);
    virtual ~AUBase();
    AUBase(const AUBase&) = delete;
    AUBase& operator=(const AUBase&) = delete;

    // Makes the global, input and output elements (once).
    void CreateElements();
    virtual void PostConstructor() { CreateElements(); }

    ComponentInstance GetComponentInstance() const { return componentInstance; }
    bool IsInitialized() const { return initialized.load(); }
    // The rate of output element 0.
    Float64 GetSampleRate();
    UInt32 GetMaxFramesPerSlice() const { return maxFramesPerSlice.load(); }
    // Null for an element or scope the unit does not have.
    AUElement* GetElement(AudioUnitScope scope, AudioUnitElement element);
    AUElement* Globals() { return globalElement.get(); }
    AUIOElement* GetInput(AudioUnitElement element);
    AUIOElement* GetOutput(AudioUnitElement element);

    // ---- what a unit overrides ----
    virtual ComponentResult Version() { return 0; }
    virtual ComponentResult Initialize() { return noErr; }
    virtual void Cleanup() {}
    virtual ComponentResult Reset(AudioUnitScope, AudioUnitElement) { return noErr; }
    // Properties the base does not know come here.
    virtual ComponentResult GetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                            UInt32& size, Boolean& writable);
    virtual ComponentResult GetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                        void* data);
    virtual ComponentResult SetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                        const void* data, UInt32 size);
    virtual ComponentResult GetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                         AudioUnitParameterValue& value);
    virtual ComponentResult SetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                         AudioUnitParameterValue value, UInt32 bufferOffset);
    virtual ComponentResult GetParameterInfo(AudioUnitScope scope, AudioUnitParameterID id,
                                             AudioUnitParameterInfo& info);
    virtual ComponentResult SaveState(CFPropertyListRef* out);
    virtual ComponentResult RestoreState(CFPropertyListRef plist);
    // With a null out: whether the unit has factory presets.
    virtual ComponentResult GetPresets(CFArrayRef* out);
    virtual OSStatus NewFactoryPresetSet(const AUPreset& preset);
    // The channel configurations, when the unit names them (0: any).
    virtual UInt32 SupportedNumChannels(const AUChannelInfo** out);
    virtual Float64 GetLatency() { return 0.0; }
    virtual Float64 GetTailTime() { return 0.0; }
    virtual bool StreamFormatWritable(AudioUnitScope, AudioUnitElement) { return !IsInitialized(); }
    // Takes a format the base has checked; the base's own stores it.
    virtual OSStatus ChangeStreamFormat(AudioUnitScope scope, AudioUnitElement element,
                                        const AudioStreamBasicDescription& previous,
                                        const AudioStreamBasicDescription& next);
    // Renders `frames` frames into output, whose buffers are all set.
    virtual OSStatus Render(AudioUnitRenderActionFlags& flags, const AudioTimeStamp& time, UInt32 frames,
                            AudioBufferList& output);

    // Makes the preset the current one; the base keeps a reference to its
    // name and gives back the one it held. A unit that follows a MIDI program
    // change does this on its render thread, which the framework allows: it
    // takes no lock and makes nothing, retain and release are atomic in
    // CoreFoundation, and the name given back is still held by whoever
    // handed it in (a unit's preset list), so nothing is freed either.
    void SetAFactoryPresetAsCurrent(const AUPreset& preset);

    // Routes a Component Manager call to the operations above.
    static ComponentResult ComponentEntryDispatch(ComponentParameters* params, AUBase* unit);

private:
    ComponentResult DispatchGetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                            UInt32& size, Boolean& writable);
    ComponentResult DispatchGetProperty(AudioUnitPropertyArguments& a);
    ComponentResult DispatchSetProperty(AudioUnitPropertyArguments& a);
    ComponentResult SetFormat(AudioUnitScope scope, AudioUnitElement element, const AudioStreamBasicDescription& next);
    ComponentResult DoInitialize();
    ComponentResult DoRender(const AudioUnitRenderArguments& a);
    AUIOElement* IOElement(AudioUnitScope scope, AudioUnitElement element);
    // noErr, or why the scope and element name nothing.
    ComponentResult CheckElement(AudioUnitScope scope, AudioUnitElement element);
    // The present preset, its name retained for the caller.
    AUPreset CopyPresentPreset() const;

    const ComponentInstance componentInstance;
    const UInt32 inputCount, outputCount;
    std::unique_ptr<AUElement> globalElement;
    std::vector<std::unique_ptr<AUIOElement>> inputElements, outputElements;
    std::atomic<bool> initialized{false};
    std::atomic<UInt32> maxFramesPerSlice{kDefaultMaxFramesPerSlice};
    // The present preset is one word, so that no reader sees one preset's
    // number with another's name: a change count, the slot holding the name
    // (plus one; 0 for none) and the number. A change takes a free slot for
    // its name, publishes the word and frees the slot it replaced; a reader
    // that sees the word move while it takes the name tries again. The
    // framework's base takes no lock here either; one would make a render
    // thread that follows a MIDI program change wait.
    struct PresetSlot {
        std::atomic<bool> taken{false};
        std::atomic<CFStringRef> name{nullptr};
    };
    static constexpr int kPresetSlots = 8;  // a slot per change under way, and the present one
    PresetSlot presetSlots[kPresetSlots];
    std::atomic<uint64_t> presentPreset{0xFFFFFFFFu};  // number -1, no name
};

class AUEffectBase : public AUBase {
public:
    explicit AUEffectBase(ComponentInstance instance) : AUBase(instance, 1, 1) {}

    // Refuses channel counts outside the configurations and unequal rates.
    ComponentResult Initialize() override;
    ComponentResult GetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                    UInt32& size, Boolean& writable) override;
    ComponentResult GetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                void* data) override;
    ComponentResult SetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                const void* data, UInt32 size) override;
    // Pulls the input, then copies it while the host bypasses the unit and
    // calls ProcessBufferLists otherwise.
    OSStatus Render(AudioUnitRenderActionFlags& flags, const AudioTimeStamp& time, UInt32 frames,
                    AudioBufferList& output) override;
    virtual OSStatus ProcessBufferLists(AudioUnitRenderActionFlags& flags, const AudioBufferList& in,
                                        AudioBufferList& out, UInt32 frames);
    bool IsBypassEffect() const { return bypass.load(); }

private:
    std::atomic<bool> bypass{false};
};

class AUMIDIBase {
public:
    AUMIDIBase() = default;
    virtual ~AUMIDIBase() = default;
    AUMIDIBase(const AUMIDIBase&) = delete;
    AUMIDIBase& operator=(const AUMIDIBase&) = delete;

    // Splits the status byte into the message (high nibble) and channel.
    OSStatus MIDIEvent(UInt32 status, UInt32 data1, UInt32 data2, UInt32 offsetSampleFrame);
    virtual OSStatus HandleMidiEvent(UInt8 status, UInt8 channel, UInt8 data1, UInt8 data2, UInt32 startFrame);
};

class AUMIDIEffectBase : public AUEffectBase, public AUMIDIBase {
public:
    explicit AUMIDIEffectBase(ComponentInstance instance) : AUEffectBase(instance) {}
    static ComponentResult ComponentEntryDispatch(ComponentParameters* params, AUMIDIEffectBase* unit);
};

// The component entry of a unit class: makes the unit when its instance is
// opened, deletes it when closed, routes everything else to it. Nothing the
// unit throws gets out: the call fails instead.
template <class Unit>
class ComponentEntryPoint {
public:
    static ComponentResult Dispatch(ComponentParameters* params, Unit* unit)
    {
        if (!params) return paramErr;
        try {
            switch (params->what) {
            case kComponentOpenSelect: return Open(params->instance);
            case kComponentCloseSelect: delete unit; return noErr;
            default: return unit ? Unit::ComponentEntryDispatch(params, unit) : badComponentInstance;
            }
        } catch (const std::bad_alloc&) {
            return memFullErr;
        } catch (...) {
            return kAudioUnitErr_FailedInitialization;
        }
    }

private:
    static ComponentResult Open(ComponentInstance instance)
    {
        std::unique_ptr<Unit> made(new Unit(instance));
        made->PostConstructor();
        SetComponentInstanceStorage(instance, made.release());
        return noErr;
    }
};
