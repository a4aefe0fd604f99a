#pragma once
// What the Audio Unit tests share: a recording plug-in object that logs
// every call the unit makes on it (for exact call sequences), a listener
// that hears the units' parameter events, units opened through the
// component entry as a host opens them, and fixtures that end each test
// with every unit closed and no CoreFoundation object alive.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "AuHost.h"
#include "common/WavFile.h"
#include "mac/au/AUPlug.h"
#include "plugin/Effect.h"
#include "vst2/AudioEffectX.h"

namespace au_test {

using Log = std::vector<std::string>;

// The calls recorded since the last take ("setParameter 3 0.5"), by effects
// and editors; taking them clears the record.
Log TakeCalls();
inline void ClearCalls() { TakeCalls(); }
void Record(const std::string& call);
std::string Number(double v);  // as %g

// 80 parameters (values i/100, names "P<i>"), 128 programs ("Program <i>");
// refuses the rate 12345; doubles its input.
class RecordingEffect : public AudioEffectX {
public:
    explicit RecordingEffect(audioMasterCallback host);
    ~RecordingEffect() override;
    static RecordingEffect* last;  // the one made last

    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) override;
    void setParameter(VstInt32 index, float value) override
    {
        Record("setParameter " + std::to_string(index) + " " + Number(value));
        if (index >= 0 && index < 80) values[index] = value;
    }
    float getParameter(VstInt32 index) override
    {
        Record("getParameter " + std::to_string(index));
        return index >= 0 && index < 80 ? values[index] : 0.0f;
    }
    void processReplacing(float** inputs, float** outputs, VstInt32 n) override;
    bool getProgramNameIndexed(VstInt32, VstInt32 index, char* text) override
    {
        return index >= 0 && index < 128 && std::strcpy(text, names[index].c_str());
    }
    void getParameterName(VstInt32 index, char* text) override { std::snprintf(text, 9, "P%d", int(index)); }
    VstInt32 getChunk(void** data, bool) override
    {
        *data = chunk.empty() ? nullptr : chunk.data();
        return static_cast<VstInt32>(chunk.size());
    }
    // Accepts text starting with "<TWRChunk>" unless told not to, and then
    // reloads every parameter automated, as the plug-in does.
    VstInt32 setChunk(void* data, VstInt32 size, bool isPreset) override;
    VstInt32 processEvents(VstEvents* events) override;
    void setSampleRate(float rate) override
    {
        if (rate != 12345.0f) AudioEffectX::setSampleRate(rate);
    }
    // An effect that automates while it closes reaches nobody.
    void close() override { callHost(audioMasterAutomate, 3, 0.9f); }
    // The host as the effect sees it.
    VstIntPtr callHost(VstInt32 opcode, VstInt32 index, float opt = 0.0f)
    {
        return audioMaster(&cEffect, opcode, index, 0, nullptr, opt);
    }
    void attachEditor();  // a recording editor

    float values[80];
    std::string names[128];
    std::string chunk = "<TWRChunk>recorded</TWRChunk>";
    bool acceptChunks = true;
    // Whether the last chunk set came as a private, terminated copy.
    bool chunkWasCopy = false;
    const void* lastHostBytes = nullptr;
};

// Makes units with the recording effect while it lives.
class UseRecordingEffect {
public:
    UseRecordingEffect();
    ~UseRecordingEffect() { tonewright::SetEffectFactory(previous); }

private:
    tonewright::EffectFactory previous;
};

struct Heard {
    AudioUnitEventType type;
    AudioUnitParameterID parameter;
    float value;
    bool operator==(const Heard&) const = default;
};

class Listener {
public:
    Listener() { AUEventListenerCreate(proc, this, nullptr, nullptr, 0.0f, 0.0f, &ref); }
    ~Listener() { AUListenerDispose(ref); }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;
    std::vector<Heard> take();  // heard since the last take

private:
    static void proc(void* self, void*, const AudioUnitEvent* event, UInt64, AudioUnitParameterValue value);
    AUEventListenerRef ref = nullptr;
    std::mutex mutex;
    std::vector<Heard> events;
};

// Property calls, in the global scope on element 0 unless told otherwise.
template <typename T>
OSStatus Get(AudioUnit unit, AudioUnitPropertyID id, T& data, AudioUnitScope scope = kAudioUnitScope_Global,
             AudioUnitElement element = 0, UInt32 size = sizeof(T))
{
    return AudioUnitGetProperty(unit, id, scope, element, &data, &size);
}
template <typename T>
OSStatus Set(AudioUnit unit, AudioUnitPropertyID id, const T& data, AudioUnitScope scope = kAudioUnitScope_Global,
             AudioUnitElement element = 0, UInt32 size = sizeof(T))
{
    return AudioUnitSetProperty(unit, id, scope, element, &data, size);
}

std::unique_ptr<auhost::Unit> OpenUnit();
// The plug-in object behind a unit (property 5000).
AudioEffect* EffectOf(AudioUnit unit);
// The unit's state (ClassInfo), checking the status; restoring one.
CFPropertyListRef SavedState(AudioUnit unit, OSStatus expected = noErr);
inline OSStatus Restore(AudioUnit unit, CFPropertyListRef state) { return Set(unit, kAudioUnitProperty_ClassInfo, state); }
// The factory presets' names, checking that each is numbered by its place.
std::vector<std::string> PresetNames(AudioUnit unit);
// A decaying sine per channel, each at its own frequency.
AudioClip TestClip(double rate, int channels, size_t frames);

// Ends each test with every unit closed and every CoreFoundation object it
// made given back.
class UnitTest : public ::testing::Test {
protected:
    void TearDown() override;
};

// Units with the real plug-in and its factory bank in this program's home.
class RealUnitTest : public UnitTest {
protected:
    void SetUp() override;
};

}  // namespace au_test
