#pragma once
// The plug-in as an Audio Unit effect that takes MIDI: one plug-in object
// driven through its VST 2.4 record (dispatcher, setParameter,
// getParameter, processReplacing), its 80 parameters published as global
// parameters with the same numbers, its 128 programs as factory presets, its
// bank chunk as the saved state.
//
// Threads: ProcessBufferLists and HandleMidiEvent run on the host's render
// thread and neither lock, allocate nor free, and neither does what the
// effect calls back there (a MIDI program change or a learned controller
// shows the present preset and tells the listeners, whose framework delivers
// later); everything else runs on the host's other threads and goes straight
// into the effect, which serialises what must be. Gesture and restore flags
// are atomics; the preset names are refreshed under a mutex the render
// thread never takes, and read there atomically, and a replaced name is kept
// until the render thread cannot be showing it.

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "au/AUBase.h"
#include "vst2/AudioEffect.h"

namespace tonewright {

// What the Component Manager sees: type 'aumf' (an effect that takes MIDI),
// subtype 'Qtwr', manufacturer 'Qrys' (the bundle's component resource).
constexpr ComponentDescription kAUPlugComponent{fourCC('a', 'u', 'm', 'f'), fourCC('Q', 't', 'w', 'r'),
                                                fourCC('Q', 'r', 'y', 's'), 0, 0};
// The identifier of the bundle the view class is found in.
constexpr const char* kAUPlugBundleIdentifier = "com.quarrystone.twr.au";

// Custom properties: the plug-in object's address (read-only, for the view),
// and one that takes 8 bytes and does nothing with them.
constexpr AudioUnitPropertyID kAUPlugEffectProperty = 5000;
constexpr AudioUnitPropertyID kAUPlugReservedProperty = 5001;

// Makes the plug-in object for a unit; tests put a recording one here.
using EffectFactory = AudioEffect* (*)(audioMasterCallback host);
// Returns the factory it replaces; null restores the plug-in's own.
EffectFactory SetEffectFactory(EffectFactory factory);

class AUPlug : public AUMIDIEffectBase {
public:
    // Throws (and leaves nothing behind) when the plug-in object cannot be made.
    explicit AUPlug(ComponentInstance instance);
    ~AUPlug() override;

    ComponentResult Version() override { return 1; }
    ComponentResult Initialize() override;
    ComponentResult Reset(AudioUnitScope scope, AudioUnitElement element) override;
    ComponentResult GetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                    UInt32& size, Boolean& writable) override;
    ComponentResult GetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                void* data) override;
    ComponentResult SetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                const void* data, UInt32 size) override;
    ComponentResult GetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                 AudioUnitParameterValue& value) override;
    ComponentResult SetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                 AudioUnitParameterValue value, UInt32 bufferOffset) override;
    ComponentResult GetParameterInfo(AudioUnitScope scope, AudioUnitParameterID id,
                                     AudioUnitParameterInfo& info) override;
    ComponentResult SaveState(CFPropertyListRef* out) override;
    ComponentResult RestoreState(CFPropertyListRef plist) override;
    ComponentResult GetPresets(CFArrayRef* out) override;
    OSStatus NewFactoryPresetSet(const AUPreset& preset) override;
    UInt32 SupportedNumChannels(const AUChannelInfo** out) override;
    OSStatus ChangeStreamFormat(AudioUnitScope scope, AudioUnitElement element,
                                const AudioStreamBasicDescription& previous,
                                const AudioStreamBasicDescription& next) override;
    OSStatus ProcessBufferLists(AudioUnitRenderActionFlags& flags, const AudioBufferList& in, AudioBufferList& out,
                                UInt32 frames) override;
    OSStatus HandleMidiEvent(UInt8 status, UInt8 channel, UInt8 data1, UInt8 data2, UInt32 startFrame) override;

    // The host callback's side (VST_Callback).
    int parameterCount() const { return aeffect ? aeffect->numParams : 0; }
    // Marks a gesture of the editor begun or ended and tells the listeners.
    void gesture(int index, bool begin);
    bool gestureActive(int index) const { return gestures[size_t(index)].load(); }
    // Whether a restore is running (its automation sends no gestures).
    bool restoring() const { return restoreAnswer.load() != RestoreAnswer::none; }
    // The effect's sound, program or values changed other than by a
    // parameter the unit set: the unit reads them all again and tells its
    // listeners (at once, or, when the render thread sent it, the present
    // preset at once and the rest at the next call from the host's other
    // threads).
    void effectChanged();

private:
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f);
    // Brings preset i's name up to date with its program's (preset mutex held).
    void refreshPresetName(int i);
    // Whether the state dictionary was saved by this kind of unit.
    ComponentResult checkStateComponent(CFDictionaryRef state);
    // Forwards a rate to the effect; false when it refused it.
    bool forwardSampleRate(Float64 rate);
    // Reads every parameter back from the effect into the unit, telling the
    // listeners about none, the values that moved, or all.
    enum class Announce { none, moved, all };
    void reloadParameters(Announce announce);
    // Whether this thread is the render thread: inside this unit's render or
    // MIDI call, or the thread that made the last one.
    bool onRenderThread() const;

    AudioEffect* effect = nullptr;
    AEffect* aeffect = nullptr;
    std::unique_ptr<std::atomic<bool>[]> gestures;
    const AUChannelInfo channelInfo[2] = {{1, 1}, {2, 2}};
    std::mutex presetMutex;
    std::vector<AUPreset> presets;
    CFArrayRef presetList = nullptr;
    // Names replaced in `presets` that the base may still show (presetMutex).
    std::vector<CFStringRef> retiredNames;
    // How many render threads are between reading a preset's name and
    // handing it to the base.
    std::atomic<int> renderPresenting{0};
    // The present preset as the unit last showed it.
    std::atomic<int> shownProgram{-1};
    std::atomic<CFStringRef> shownName{nullptr};
    // Makes program's preset the present one; true when hosts now read
    // another number or name. On the render thread only inside
    // renderPresenting; elsewhere with presetMutex held.
    bool showPreset(int program);
    // Gives back the retired names the base cannot be showing, showing anew
    // a program it shows under a replaced name (true when it did so);
    // presetMutex held.
    bool dropRetiredNames();
    void notifyPresentPreset();
    // Reads the effect's program name and values into the unit, makes the
    // program the present preset and tells the listeners what moved (not on
    // the render thread).
    void refreshFromEffect(Announce announce);
    // What refreshFromEffect the render thread left for later.
    void refreshIfAsked();
    // The render thread's part of a change of the effect's sound.
    void presentFromRenderThread();

    // While a restore runs: whether the effect took the chunk (it tells the
    // host to read everything again when it does).
    enum class RestoreAnswer { none, waiting, taken };
    std::atomic<RestoreAnswer> restoreAnswer{RestoreAnswer::none};
    std::atomic<bool> refreshAsked{false};
    std::atomic<std::thread::id> renderThread{};
};

// The host callback of the unit's plug-in object: turns its automation and
// edit gestures into Audio Unit parameter changes and gesture events.
VstIntPtr VST_Callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

// The Cocoa view factory class the unit names (property 31).
CFStringRef GetAUCocoaUIViewClassName();

}  // namespace tonewright

// The component entry point.
extern "C" __attribute__((visibility("default"))) ComponentResult AUPlugEntry(ComponentParameters* params,
                                                                              void* storage);
