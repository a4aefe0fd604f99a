#pragma once
// Stand-in for the Component Manager and the Audio Unit calls a host makes:
// components are registered with their entry point, instances opened and
// closed, and every call on an instance is packed into ComponentParameters
// and handed to the entry, as on macOS. Instance handles stay safe to use
// after the instance is closed: every call on them then fails with
// badComponentInstance.
//
// Threads: opening and closing are serialised; calls on an open instance
// may come from any thread (the unit decides what is safe), and looking an
// instance up neither locks nor allocates, so AudioUnitRender and
// MusicDeviceMIDIEvent are fit for a render thread. The framework delivers
// listener notifications later, on the listeners' run loop, so a unit may
// notify from its render thread: here an event notified inside a render or
// MIDI call waits in a fixed queue (no lock, no allocation) for a thread
// outside one; elsewhere it is delivered at once, after those waiting.

#include "au/AudioUnitProperties.h"

struct ComponentDescription {
    OSType componentType;
    OSType componentSubType;
    OSType componentManufacturer;
    UInt32 componentFlags;
    UInt32 componentFlagsMask;
};

// What a call on an instance carries to the component's entry.
struct ComponentParameters {
    SInt16 what;                 // the selector
    ComponentInstance instance;  // the instance the call is for
    void* arguments;             // the selector's argument record, below
};

enum : SInt16 {
    kComponentOpenSelect = -1,
    kComponentCloseSelect = -2,
    kComponentVersionSelect = -4,
    kAudioUnitInitializeSelect = 1,
    kAudioUnitUninitializeSelect = 2,
    kAudioUnitGetPropertyInfoSelect = 3,
    kAudioUnitGetPropertySelect = 4,
    kAudioUnitSetPropertySelect = 5,
    kAudioUnitGetParameterSelect = 6,
    kAudioUnitSetParameterSelect = 7,
    kAudioUnitResetSelect = 8,
    kAudioUnitRenderSelect = 9,
    kMusicDeviceMIDIEventSelect = 0x0101,
};

struct AudioUnitPropertyArguments {
    AudioUnitPropertyID id;
    AudioUnitScope scope;
    AudioUnitElement element;
    void* data;         // get: where the value goes; set: the value
    UInt32* size;       // get: room in data, then the value's size; set: the value's size
    Boolean* writable;  // property info
};
struct AudioUnitParameterArguments {
    AudioUnitParameterID id;
    AudioUnitScope scope;
    AudioUnitElement element;
    AudioUnitParameterValue* value;  // get: where it goes; set: the value
    UInt32 bufferOffset;
};
struct AudioUnitResetArguments {
    AudioUnitScope scope;
    AudioUnitElement element;
};
struct AudioUnitRenderArguments {
    AudioUnitRenderActionFlags* flags;
    const AudioTimeStamp* time;
    UInt32 bus;
    UInt32 frames;
    AudioBufferList* data;
};
struct MusicDeviceMIDIEventArguments {
    UInt32 status, data1, data2, offsetSampleFrame;
};

using ComponentRoutine = ComponentResult (*)(ComponentParameters* params, void* storage);

// ---- the Component Manager ----
TW_STANDIN_API Component RegisterComponent(const ComponentDescription* description, ComponentRoutine entry);
TW_STANDIN_API OSErr OpenAComponent(Component component, ComponentInstance* instance);
TW_STANDIN_API OSErr CloseComponent(ComponentInstance instance);
// Accepts a component or an instance (cast to Component), as on macOS.
TW_STANDIN_API OSErr GetComponentInfo(Component component, ComponentDescription* description, void* name, void* info,
                                      void* icon);
TW_STANDIN_API ComponentResult GetComponentVersion(ComponentInstance instance);
TW_STANDIN_API void SetComponentInstanceStorage(ComponentInstance instance, void* storage);

// ---- Audio Unit calls ----
TW_STANDIN_API OSStatus AudioUnitInitialize(AudioUnit unit);
TW_STANDIN_API OSStatus AudioUnitUninitialize(AudioUnit unit);
TW_STANDIN_API OSStatus AudioUnitGetPropertyInfo(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
                                                 AudioUnitElement element, UInt32* size, Boolean* writable);
TW_STANDIN_API OSStatus AudioUnitGetProperty(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
                                             AudioUnitElement element, void* data, UInt32* size);
TW_STANDIN_API OSStatus AudioUnitSetProperty(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
                                             AudioUnitElement element, const void* data, UInt32 size);
TW_STANDIN_API OSStatus AudioUnitGetParameter(AudioUnit unit, AudioUnitParameterID id, AudioUnitScope scope,
                                              AudioUnitElement element, AudioUnitParameterValue* value);
TW_STANDIN_API OSStatus AudioUnitSetParameter(AudioUnit unit, AudioUnitParameterID id, AudioUnitScope scope,
                                              AudioUnitElement element, AudioUnitParameterValue value,
                                              UInt32 bufferOffset);
TW_STANDIN_API OSStatus AudioUnitReset(AudioUnit unit, AudioUnitScope scope, AudioUnitElement element);
TW_STANDIN_API OSStatus AudioUnitRender(AudioUnit unit, AudioUnitRenderActionFlags* flags, const AudioTimeStamp* time,
                                        UInt32 bus, UInt32 frames, AudioBufferList* data);
TW_STANDIN_API OSStatus MusicDeviceMIDIEvent(AudioUnit unit, UInt32 status, UInt32 data1, UInt32 data2,
                                             UInt32 offsetSampleFrame);

// ---- parameter changes and their listeners ----
struct AUEventListenerRecord;
using AUEventListenerRef = AUEventListenerRecord*;
using AUParameterListenerRef = AUEventListenerRef;
using AUEventListenerProc = void (*)(void* refCon, void* object, const AudioUnitEvent* event, UInt64 hostTime,
                                     AudioUnitParameterValue value);
// Listeners hear every event of every unit (this stand-in has no event
// filter); one made now hears nothing notified before.
TW_STANDIN_API OSStatus AUEventListenerCreate(AUEventListenerProc proc, void* refCon, const void* runLoop,
                                              CFStringRef runLoopMode, Float32 notificationInterval,
                                              Float32 valueChangeGranularity, AUEventListenerRef* listener);
TW_STANDIN_API OSStatus AUListenerDispose(AUEventListenerRef listener);
// Sets the parameter through the unit (its SetParameter runs now, on this
// thread), then tells every listener but the sender.
TW_STANDIN_API OSStatus AUParameterSet(AUParameterListenerRef sendingListener, void* sendingObject,
                                       const AudioUnitParameter* parameter, AudioUnitParameterValue value,
                                       UInt32 bufferOffset);
TW_STANDIN_API OSStatus AUEventListenerNotify(AUEventListenerRef sendingListener, void* sendingObject,
                                              const AudioUnitEvent* event);

// ---- stand-in only ----
// Instances open now.
TW_STANDIN_API long ComponentStandInOpenInstances();
// A turn of the listeners' run loop: delivers the events notified inside
// render and MIDI calls so far, in order, and returns how many (none when
// called inside such a call). The queue holds 4096; when it is full, or
// nobody listens, such an event is dropped.
TW_STANDIN_API long AUEventListenerStandInDeliver();
