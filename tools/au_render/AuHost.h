#pragma once
// A small Audio Unit host for offline work and tests: opens the plug-in's
// unit through its component entry (AUPlugEntry) and the stand-in Component
// Manager, sets its format, slice size, state, preset and parameters through
// Audio Unit calls, and renders blocks through AudioUnitRender with the
// input given by its render callback.

#include <memory>
#include <string>
#include <vector>

#include "au/Components.h"

namespace tonewright {
namespace auhost {

// The codes the unit is registered with (the bundle's component resource).
constexpr ComponentDescription kTonewrightComponent{fourCC('a', 'u', 'm', 'f'), fourCC('Q', 't', 'w', 'r'),
                                                    fourCC('Q', 'r', 'y', 's'), 0, 0};

// The component for AUPlugEntry, registered once.
Component TonewrightComponent();

class Unit {
public:
    // Opens an instance; null with the status in `status` when it cannot be.
    static std::unique_ptr<Unit> open(OSStatus& status);
    ~Unit();
    Unit(const Unit&) = delete;
    Unit& operator=(const Unit&) = delete;

    AudioUnit unit() const { return au; }
    // Both scopes' stream formats, then the largest slice.
    OSStatus setFormat(double rate, int channels);
    OSStatus setMaxFrames(UInt32 frames);
    OSStatus initialize() { return AudioUnitInitialize(au); }
    OSStatus setParameter(AudioUnitParameterID id, float value);
    float parameter(AudioUnitParameterID id);
    OSStatus selectPreset(int number);
    // The preset the unit shows as current: its number and name.
    int presentPreset(std::string* name = nullptr);
    // The state's "data" (the bank chunk); empty when there is none.
    OSStatus saveChunk(std::vector<char>& chunk);
    // A state saved by such a unit with `chunk` as its data.
    OSStatus restoreChunk(const std::vector<char>& chunk);
    OSStatus midi(UInt32 status, UInt32 data1, UInt32 data2, UInt32 offset = 0);

    // n frames from inputs into outputs, channels() of each (in place allowed).
    OSStatus render(float** inputs, float** outputs, UInt32 n);
    int channels() const { return channelCount; }

private:
    explicit Unit(AudioUnit opened) : au(opened) {}
    static OSStatus pull(void* self, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32 frames,
                         AudioBufferList* data);

    AudioUnit au;
    int channelCount = 2;
    float** pending = nullptr;  // the inputs of the render under way
    double sampleTime = 0.0;
    AudioBufferListStorage outputList{2};
};

// A state dictionary holding `chunk` as its data, as such a unit saves it
// (the caller releases it), or null when memory ran out.
CFDictionaryRef MakeState(const std::vector<char>& chunk, const ComponentDescription& codes = kTonewrightComponent);

// A CFString's UTF-8 text.
std::string Text(CFStringRef s);

}  // namespace auhost

}  // namespace tonewright
