#include "AUHarness.h"

#include <cstdlib>
#include <cstring>

#include "PluginHarness.h"

namespace au_test {

namespace {

std::mutex callsMutex;
std::vector<std::string>& calls()
{
    static std::vector<std::string> c;
    return c;
}

std::string number(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

const char* opcodeName(VstInt32 opcode)
{
    switch (opcode) {
    case effOpen: return "open";
    case effClose: return "close";
    case effSetProgram: return "setProgram";
    case effGetProgram: return "getProgram";
    case effGetParamName: return "getParamName";
    case effSetSampleRate: return "setSampleRate";
    case effSetBlockSize: return "setBlockSize";
    case effMainsChanged: return "mains";
    case effGetChunk: return "getChunk";
    case effSetChunk: return "setChunk";
    case effProcessEvents: return "processEvents";
    case effGetProgramNameIndexed: return "getProgramNameIndexed";
    case effVendorSpecific: return "vendorSpecific";
    default: return nullptr;
    }
}

}  // namespace

std::vector<std::string> Calls()
{
    std::lock_guard<std::mutex> lock(callsMutex);
    return calls();
}

void ClearCalls()
{
    std::lock_guard<std::mutex> lock(callsMutex);
    calls().clear();
}

void Record(const std::string& call)
{
    std::lock_guard<std::mutex> lock(callsMutex);
    calls().push_back(call);
}

// ---- the recording editor ----

bool RecordingEditor::getRect(ERect** r)
{
    *r = &rect;
    return true;
}

bool RecordingEditor::open(void* parent)
{
    Record("editor open " + std::to_string(reinterpret_cast<uintptr_t>(parent)));
    return AEffEditor::open(parent);
}

void RecordingEditor::close()
{
    Record("editor close");
    AEffEditor::close();
}

void RecordingEditor::idle() { Record("editor idle"); }

// ---- the recording effect ----

RecordingEffect* RecordingEffect::last = nullptr;

RecordingEffect::RecordingEffect(audioMasterCallback host) : AudioEffectX(host, 128, 80)
{
    for (int i = 0; i < 80; ++i) values[i] = static_cast<float>(i) / 100.0f;
    for (int i = 0; i < 128; ++i) names[i] = "Program " + std::to_string(i);
    last = this;
}

RecordingEffect::~RecordingEffect()
{
    Record("deleted");
    if (last == this) last = nullptr;
}

AudioEffect* RecordingEffect::Make(audioMasterCallback host) { return new RecordingEffect(host); }

VstIntPtr RecordingEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
    if (const char* name = opcodeName(opcode)) {
        std::string call = name;
        if (opcode == effSetSampleRate)
            call += " " + number(opt);
        else if (opcode == effSetBlockSize || opcode == effMainsChanged || opcode == effSetProgram)
            call += " " + std::to_string(value);
        else if (opcode == effVendorSpecific)
            call += " " + std::to_string(index) + " " + std::to_string(value);
        else if (opcode == effGetProgramNameIndexed || opcode == effGetParamName || opcode == effGetChunk)
            call += " " + std::to_string(index);
        else if (opcode == effSetChunk)
            call += " " + std::to_string(index) + " " + std::to_string(value);
        if (opcode != effProcessEvents) Record(call);
    }
    return AudioEffectX::dispatcher(opcode, index, value, ptr, opt);
}

void RecordingEffect::setParameter(VstInt32 index, float value)
{
    Record("setParameter " + std::to_string(index) + " " + number(value));
    if (index >= 0 && index < 80) values[index] = value;
}

float RecordingEffect::getParameter(VstInt32 index)
{
    Record("getParameter " + std::to_string(index));
    return index >= 0 && index < 80 ? values[index] : 0.0f;
}

void RecordingEffect::processReplacing(float** inputs, float** outputs, VstInt32 n)
{
    Record(std::string("process ") + (inputs[1] ? "2" : "1") + " in " + (outputs[1] ? "2" : "1") + " out " +
           std::to_string(n));
    for (int c = 0; c < 2; ++c)
        if (outputs[c])
            for (int i = 0; i < n; ++i) outputs[c][i] = 2.0f * (inputs[c] ? inputs[c][i] : inputs[0][i]);
}

bool RecordingEffect::getProgramNameIndexed(VstInt32, VstInt32 index, char* text)
{
    if (index < 0 || index >= 128) return false;
    std::strcpy(text, names[index].c_str());
    return true;
}

void RecordingEffect::getParameterName(VstInt32 index, char* text)
{
    std::snprintf(text, 9, "P%d", static_cast<int>(index));
}

VstInt32 RecordingEffect::getChunk(void** data, bool)
{
    *data = chunk.empty() ? nullptr : chunk.data();
    return static_cast<VstInt32>(chunk.size());
}

VstInt32 RecordingEffect::setChunk(void* data, VstInt32 size, bool)
{
    const char* text = static_cast<const char*>(data);
    chunkWasCopy = text != lastHostBytes && text[size] == '\0';
    if (acceptChunks && std::strncmp(text, "<TWRChunk>", 10) == 0)
        for (int i = 0; i < 80; ++i) setParameterAutomated(i, 0.5f);
    return 0;
}

VstInt32 RecordingEffect::processEvents(VstEvents* events)
{
    for (int e = 0; e < events->numEvents; ++e) {
        const auto* m = reinterpret_cast<const VstMidiEvent*>(events->events[e]);
        char text[96];
        std::snprintf(text, sizeof text, "midi type %d size %d at %d: %02x %02x %02x %02x", m->type, m->byteSize,
                      m->deltaFrames, m->midiData[0] & 0xFF, m->midiData[1] & 0xFF, m->midiData[2] & 0xFF,
                      m->midiData[3] & 0xFF);
        Record(text);
    }
    return 0;
}

void RecordingEffect::setSampleRate(float rate)
{
    if (rate != refusedRate) AudioEffectX::setSampleRate(rate);
}

void RecordingEffect::close()
{
    // An effect that automates while it closes reaches nobody.
    callHost(audioMasterAutomate, 3, 0.9f);
}

UseRecordingEffect::UseRecordingEffect() : previous(tonewright::SetEffectFactory(RecordingEffect::Make))
{
    ClearCalls();
}

UseRecordingEffect::~UseRecordingEffect() { tonewright::SetEffectFactory(previous); }

// ---- listeners ----

Listener::Listener() { AUEventListenerCreate(proc, this, nullptr, nullptr, 0.0f, 0.0f, &ref); }
Listener::~Listener() { AUListenerDispose(ref); }

std::vector<Heard> Listener::heard()
{
    std::lock_guard<std::mutex> lock(mutex);
    return events;
}

void Listener::clear()
{
    std::lock_guard<std::mutex> lock(mutex);
    events.clear();
}

void Listener::proc(void* self, void*, const AudioUnitEvent* event, UInt64, AudioUnitParameterValue value)
{
    auto* l = static_cast<Listener*>(self);
    std::lock_guard<std::mutex> lock(l->mutex);
    l->events.push_back({event->mEventType, event->mArgument.mParameter.mParameterID, value});
}

// ---- units ----

std::unique_ptr<auhost::Unit> OpenUnit()
{
    OSStatus status = noErr;
    auto unit = auhost::Unit::open(status);
    EXPECT_EQ(status, noErr);
    return unit;
}

AudioEffect* EffectOf(AudioUnit unit)
{
    void* address = nullptr;
    UInt32 size = sizeof address;
    if (AudioUnitGetProperty(unit, tonewright::kAUPlugEffectProperty, kAudioUnitScope_Global, 0, &address, &size))
        return nullptr;
    return static_cast<AudioEffect*>(address);
}

void RealUnitTest::SetUp()
{
    // A support folder of this program's own: the factory bank is installed
    // there on the first unit and read by every later one.
    ::setenv("XDG_DATA_HOME", (harness::TestHome() / "au-data").c_str(), 1);
    liveAtStart = CFStandInLiveObjects();
}

void RealUnitTest::TearDown()
{
    EXPECT_EQ(CFStandInLiveObjects(), 0);
    EXPECT_EQ(ComponentStandInOpenInstances(), 0);
}

}  // namespace au_test
