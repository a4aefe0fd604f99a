#pragma once
// Stand-in for the Audio Unit interface's records and numbers that the
// adapter and its hosts use: scopes, properties, parameters, events, stream
// formats, buffer lists, presets and error codes. Numbers follow the
// published interface.

#include <cstddef>
#include <memory>

#include "au/CoreFoundation.h"
#include "au/MacTypes.h"

// The Component Manager's handles (see au/Components.h).
struct ComponentRecord;
struct ComponentInstanceRecord;
using Component = ComponentRecord*;
using ComponentInstance = ComponentInstanceRecord*;
using AudioUnit = ComponentInstance;

using AudioUnitPropertyID = UInt32;
using AudioUnitScope = UInt32;
using AudioUnitElement = UInt32;
using AudioUnitParameterID = UInt32;
using AudioUnitParameterValue = Float32;
using AudioUnitRenderActionFlags = UInt32;
using AudioUnitEventType = UInt32;

enum : AudioUnitScope { kAudioUnitScope_Global = 0, kAudioUnitScope_Input = 1, kAudioUnitScope_Output = 2 };

enum : OSStatus {
    kAudioUnitErr_InvalidProperty = -10879,
    kAudioUnitErr_InvalidParameter = -10878,
    kAudioUnitErr_InvalidElement = -10877,
    kAudioUnitErr_NoConnection = -10876,
    kAudioUnitErr_FailedInitialization = -10875,
    kAudioUnitErr_TooManyFramesToProcess = -10874,
    kAudioUnitErr_FormatNotSupported = -10868,
    kAudioUnitErr_Uninitialized = -10867,
    kAudioUnitErr_InvalidScope = -10866,
    kAudioUnitErr_PropertyNotWritable = -10865,
    kAudioUnitErr_InvalidPropertyValue = -10851,
    kAudioUnitErr_Initialized = -10849,
    kAudioUnitErr_InvalidParameterValue = -66743,
};

enum : AudioUnitPropertyID {
    kAudioUnitProperty_ClassInfo = 0,
    kAudioUnitProperty_SampleRate = 2,
    kAudioUnitProperty_ParameterList = 3,
    kAudioUnitProperty_ParameterInfo = 4,
    kAudioUnitProperty_StreamFormat = 8,
    kAudioUnitProperty_ElementCount = 11,
    kAudioUnitProperty_Latency = 12,
    kAudioUnitProperty_SupportedNumChannels = 13,
    kAudioUnitProperty_MaximumFramesPerSlice = 14,
    kAudioUnitProperty_TailTime = 20,
    kAudioUnitProperty_BypassEffect = 21,
    kAudioUnitProperty_SetRenderCallback = 23,
    kAudioUnitProperty_FactoryPresets = 24,
    kAudioUnitProperty_CocoaUI = 31,
    kAudioUnitProperty_PresentPreset = 36,
};

// ---- parameters ----
using AudioUnitParameterUnit = UInt32;
constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_Generic = 0;

using AudioUnitParameterOptions = UInt32;
enum : AudioUnitParameterOptions {
    kAudioUnitParameterFlag_CFNameRelease = 1u << 4,
    kAudioUnitParameterFlag_HasCFNameString = 1u << 27,
    kAudioUnitParameterFlag_IsElementMeta = 1u << 29,
    kAudioUnitParameterFlag_IsReadable = 1u << 30,
    kAudioUnitParameterFlag_IsWritable = 1u << 31,
};

struct AudioUnitParameterInfo {
    char name[52];
    CFStringRef unitName;
    UInt32 clumpID;
    CFStringRef cfNameString;
    AudioUnitParameterUnit unit;
    AudioUnitParameterValue minValue;
    AudioUnitParameterValue maxValue;
    AudioUnitParameterValue defaultValue;
    AudioUnitParameterOptions flags;
};

struct AudioUnitParameter {
    AudioUnit mAudioUnit;
    AudioUnitParameterID mParameterID;
    AudioUnitScope mScope;
    AudioUnitElement mElement;
};

// ---- events ----
enum : AudioUnitEventType {
    kAudioUnitEvent_ParameterValueChange = 0,
    kAudioUnitEvent_BeginParameterChangeGesture = 1,
    kAudioUnitEvent_EndParameterChangeGesture = 2,
    kAudioUnitEvent_PropertyChange = 3,
};

struct AudioUnitProperty {
    AudioUnit mAudioUnit;
    AudioUnitPropertyID mPropertyID;
    AudioUnitScope mScope;
    AudioUnitElement mElement;
};

struct AudioUnitEvent {
    AudioUnitEventType mEventType;
    union {
        AudioUnitParameter mParameter;
        AudioUnitProperty mProperty;
    } mArgument;
};

// ---- audio ----
constexpr OSType kAudioFormatLinearPCM = fourCC('l', 'p', 'c', 'm');
enum : UInt32 {
    kAudioFormatFlagIsFloat = 1u << 0,
    kAudioFormatFlagIsPacked = 1u << 3,
    kAudioFormatFlagIsNonInterleaved = 1u << 5,
};

struct AudioStreamBasicDescription {
    Float64 mSampleRate;
    UInt32 mFormatID;
    UInt32 mFormatFlags;
    UInt32 mBytesPerPacket;
    UInt32 mFramesPerPacket;
    UInt32 mBytesPerFrame;
    UInt32 mChannelsPerFrame;
    UInt32 mBitsPerChannel;
    UInt32 mReserved;
};

// The canonical format of an Audio Unit: 32-bit float, one buffer a channel.
inline AudioStreamBasicDescription CanonicalFormat(Float64 rate, UInt32 channels)
{
    return {rate,
            kAudioFormatLinearPCM,
            kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked | kAudioFormatFlagIsNonInterleaved,
            4,
            1,
            4,
            channels,
            32,
            0};
}

struct AudioBuffer {
    UInt32 mNumberChannels;
    UInt32 mDataByteSize;
    void* mData;
};

// Variable length: mBuffers holds mNumberBuffers entries.
struct AudioBufferList {
    UInt32 mNumberBuffers;
    AudioBuffer mBuffers[1];
};

// A buffer list with room for `buffers` entries, all empty.
class AudioBufferListStorage {
public:
    explicit AudioBufferListStorage(UInt32 buffers)
        : bytes(std::make_unique<std::max_align_t[]>((offsetof(AudioBufferList, mBuffers) +
                                                      sizeof(AudioBuffer) * (buffers ? buffers : 1) +
                                                      sizeof(std::max_align_t) - 1) /
                                                     sizeof(std::max_align_t)))
    {
        auto* list = new (bytes.get()) AudioBufferList{};
        list->mNumberBuffers = buffers;
        for (UInt32 i = 0; i < buffers; ++i) list->mBuffers[i] = {1, 0, nullptr};
    }
    AudioBufferList& list() { return *reinterpret_cast<AudioBufferList*>(bytes.get()); }

private:
    std::unique_ptr<std::max_align_t[]> bytes;
};

struct AudioTimeStamp {
    Float64 mSampleTime;
    UInt64 mHostTime;
    UInt32 mFlags;
};

using AURenderCallback = OSStatus (*)(void* refCon, AudioUnitRenderActionFlags* flags, const AudioTimeStamp* time,
                                      UInt32 bus, UInt32 frames, AudioBufferList* data);
struct AURenderCallbackStruct {
    AURenderCallback inputProc;
    void* inputProcRefCon;
};

// ---- configuration, presets, view ----
// -1 in a field: any number of channels.
struct AUChannelInfo {
    SInt16 inChannels;
    SInt16 outChannels;
};

struct AUPreset {
    SInt32 presetNumber;
    CFStringRef presetName;
};

// What property 31 answers; the caller releases both.
struct AudioUnitCocoaViewInfo {
    CFURLRef mCocoaAUViewBundleLocation;
    CFStringRef mCocoaAUViewClass[1];
};
