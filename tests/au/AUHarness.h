#pragma once
// What the Audio Unit tests share: a recording plug-in object that logs
// every call the unit makes on it (for exact call sequences), a recording
// editor, a listener that hears the units' parameter events, and units
// opened through the component entry as a host opens them.

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "AuHost.h"
#include "mac/au/AUPlug.h"
#include "plugin/Effect.h"
#include "vst2/AudioEffectX.h"

namespace au_test {

// The calls recorded so far ("setParameter 3 0.5"), by effects and editors.
std::vector<std::string> Calls();
void ClearCalls();
void Record(const std::string& call);

class RecordingEditor : public AEffEditor {
public:
    explicit RecordingEditor(AudioEffect* owner) : AEffEditor(owner) {}
    bool getRect(ERect** r) override;
    bool open(void* parent) override;
    void close() override;
    void idle() override;
    ERect rect{10, 20, 310, 420};  // top, left, bottom, right
};

// 80 parameters (values i/100, names "P<i>"), 128 programs ("Program <i>").
class RecordingEffect : public AudioEffectX {
public:
    explicit RecordingEffect(audioMasterCallback host);
    ~RecordingEffect() override;
    static AudioEffect* Make(audioMasterCallback host);
    static RecordingEffect* last;  // the one made last

    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) override;
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    void processReplacing(float** inputs, float** outputs, VstInt32 n) override;
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;
    void getParameterName(VstInt32 index, char* text) override;
    VstInt32 getChunk(void** data, bool isPreset) override;
    // Accepts text starting with "<TWRChunk>" unless told not to, and then
    // reloads every parameter automated, as the plug-in does.
    VstInt32 setChunk(void* data, VstInt32 size, bool isPreset) override;
    VstInt32 processEvents(VstEvents* events) override;
    void setSampleRate(float rate) override;
    void close() override;
    // The host as the effect sees it.
    VstIntPtr callHost(VstInt32 opcode, VstInt32 index, float opt = 0.0f)
    {
        return audioMaster(&cEffect, opcode, index, 0, nullptr, opt);
    }
    void attachEditor() { setEditor(new RecordingEditor(this)); }

    float values[80];
    std::string names[128];
    std::string chunk = "<TWRChunk>recorded</TWRChunk>";
    bool acceptChunks = true;
    float refusedRate = 12345.0f;
    // Whether the last chunk set came as a private, terminated copy.
    bool chunkWasCopy = false;
    const void* lastHostBytes = nullptr;
};

// Makes units with the recording effect while it lives.
class UseRecordingEffect {
public:
    UseRecordingEffect();
    ~UseRecordingEffect();

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
    Listener();
    ~Listener();
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;
    std::vector<Heard> heard();
    void clear();

private:
    static void proc(void* self, void*, const AudioUnitEvent* event, UInt64, AudioUnitParameterValue value);
    AUEventListenerRef ref = nullptr;
    std::mutex mutex;
    std::vector<Heard> events;
};

std::unique_ptr<auhost::Unit> OpenUnit();
// The plug-in object behind a unit (property 5000).
AudioEffect* EffectOf(AudioUnit unit);

// Units with the real plug-in and its factory bank in this program's home;
// each test ends with every CoreFoundation object it made given back and
// every unit closed.
class RealUnitTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    long liveAtStart = 0;
};

}  // namespace au_test
