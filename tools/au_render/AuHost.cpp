#include "AuHost.h"

#include <cstring>

extern "C" ComponentResult AUPlugEntry(ComponentParameters* params, void* storage);

namespace tonewright {
namespace auhost {

namespace {

// Sets a value made for the dictionary and gives the maker's reference
// back; false when it could not be made or stored (memory ran out).
bool setMade(CFMutableDictionaryRef dict, CFStringRef key, CFTypeRef value)
{
    if (!value) return false;
    CFDictionarySetValue(dict, key, value);
    const bool stored = CFDictionaryGetValue(dict, key) == value;
    CFRelease(value);
    return stored;
}

bool setNumber(CFMutableDictionaryRef dict, CFStringRef key, SInt32 value)
{
    return setMade(dict, key, CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &value));
}

}  // namespace

Component TonewrightComponent()
{
    static const Component component = RegisterComponent(&kTonewrightComponent, AUPlugEntry);
    return component;
}

std::unique_ptr<Unit> Unit::open(OSStatus& status)
{
    AudioUnit au = nullptr;
    status = OpenAComponent(TonewrightComponent(), &au);
    if (status != noErr) return nullptr;
    std::unique_ptr<Unit> unit(new Unit(au));
    AURenderCallbackStruct input{pull, unit.get()};
    status =
        AudioUnitSetProperty(au, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &input, sizeof input);
    return status == noErr ? std::move(unit) : nullptr;
}

Unit::~Unit() { CloseComponent(au); }

OSStatus Unit::setFormat(double rate, int channels)
{
    const AudioStreamBasicDescription format = CanonicalFormat(rate, UInt32(channels));
    for (AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output})
        if (const OSStatus s =
                AudioUnitSetProperty(au, kAudioUnitProperty_StreamFormat, scope, 0, &format, sizeof format))
            return s;
    channelCount = channels;
    return noErr;
}

OSStatus Unit::setMaxFrames(UInt32 frames)
{
    return AudioUnitSetProperty(au, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, &frames,
                                sizeof frames);
}

OSStatus Unit::setParameter(AudioUnitParameterID id, float value)
{
    return AudioUnitSetParameter(au, id, kAudioUnitScope_Global, 0, value, 0);
}

float Unit::parameter(AudioUnitParameterID id)
{
    float value = -1.0f;
    AudioUnitGetParameter(au, id, kAudioUnitScope_Global, 0, &value);
    return value;
}

OSStatus Unit::selectPreset(int number)
{
    const AUPreset preset{number, nullptr};
    return AudioUnitSetProperty(au, kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0, &preset,
                                sizeof preset);
}

int Unit::presentPreset(std::string* name)
{
    AUPreset preset{-1, nullptr};
    UInt32 size = sizeof preset;
    if (AudioUnitGetProperty(au, kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0, &preset, &size))
        return -1;
    if (name) *name = Text(preset.presetName);
    if (preset.presetName) CFRelease(preset.presetName);
    return preset.presetNumber;
}

OSStatus Unit::saveChunk(std::vector<char>& chunk)
{
    chunk.clear();
    CFPropertyListRef state = nullptr;
    UInt32 size = sizeof state;
    const OSStatus s = AudioUnitGetProperty(au, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state, &size);
    if (s != noErr) return s;
    const void* data = state && CFGetTypeID(state) == CFDictionaryGetTypeID()
                           ? CFDictionaryGetValue(static_cast<CFDictionaryRef>(state), CFSTR("data"))
                           : nullptr;
    if (data && CFGetTypeID(data) == CFDataGetTypeID()) {
        const auto bytes = reinterpret_cast<const char*>(CFDataGetBytePtr(static_cast<CFDataRef>(data)));
        chunk.assign(bytes, bytes + CFDataGetLength(static_cast<CFDataRef>(data)));
    }
    if (state) CFRelease(state);
    return noErr;
}

OSStatus Unit::restoreChunk(const std::vector<char>& chunk)
{
    CFPropertyListRef state = MakeState(chunk);
    if (!state) return memFullErr;
    const OSStatus s =
        AudioUnitSetProperty(au, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state, sizeof state);
    CFRelease(state);
    return s;
}

OSStatus Unit::midi(UInt32 status, UInt32 data1, UInt32 data2, UInt32 offset)
{
    return MusicDeviceMIDIEvent(au, status, data1, data2, offset);
}

OSStatus Unit::pull(void* self, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32 frames,
                    AudioBufferList* data)
{
    const auto* unit = static_cast<Unit*>(self);
    // The unit reads the host's own buffers, as hosts that render in place do.
    for (UInt32 c = 0; c < data->mNumberBuffers; ++c)
        data->mBuffers[c] = {1, frames * UInt32(sizeof(float)), unit->pending[c]};
    return noErr;
}

OSStatus Unit::render(float** inputs, float** outputs, UInt32 n)
{
    AudioBufferList& list = outputList.list();
    list.mNumberBuffers = UInt32(channelCount);
    for (int c = 0; c < channelCount; ++c) list.mBuffers[c] = {1, n * UInt32(sizeof(float)), outputs[c]};
    pending = inputs;
    AudioUnitRenderActionFlags flags = 0;
    const AudioTimeStamp time{sampleTime, 0, 1};
    const OSStatus s = AudioUnitRender(au, &flags, &time, 0, n, &list);
    sampleTime += n;
    return s;
}

CFDictionaryRef MakeState(const std::vector<char>& chunk, const ComponentDescription& codes)
{
    CFMutableDictionaryRef dict = CFDictionaryCreateMutable(kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks,
                                                            &kCFTypeDictionaryValueCallBacks);
    if (!dict) return nullptr;
    const auto* bytes = reinterpret_cast<const UInt8*>(chunk.data());
    if (!setNumber(dict, CFSTR("version"), 0) || !setNumber(dict, CFSTR("type"), SInt32(codes.componentType)) ||
        !setNumber(dict, CFSTR("subtype"), SInt32(codes.componentSubType)) ||
        !setNumber(dict, CFSTR("manufacturer"), SInt32(codes.componentManufacturer)) ||
        !setMade(dict, CFSTR("data"), CFDataCreate(kCFAllocatorDefault, bytes, CFIndex(chunk.size()))) ||
        !setMade(dict, CFSTR("name"), CFRetain(CFSTR("default")))) {
        CFRelease(dict);
        return nullptr;
    }
    return dict;
}

std::string Text(CFStringRef s)
{
    char buffer[1024];
    return s && CFStringGetCString(s, buffer, sizeof buffer, kCFStringEncodingUTF8) ? buffer : "";
}

}  // namespace auhost

}  // namespace tonewright
