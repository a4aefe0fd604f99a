#include "AUHarness.h"

#include <cmath>
#include <cstdlib>
#include <utility>

#include "PluginHarness.h"

namespace au_test {

namespace {

std::mutex callsMutex;
Log calls;

// The opcodes recorded, with the arguments they carry: i(ndex), v(alue), o(pt).
const struct {
    VstInt32 opcode;
    const char *name, *args;
} kRecorded[] = {{effOpen, "open", ""}, {effClose, "close", ""}, {effSetProgram, "setProgram", "v"},
                 {effGetProgram, "getProgram", ""}, {effGetParamName, "getParamName", "i"},
                 {effSetSampleRate, "setSampleRate", "o"}, {effSetBlockSize, "setBlockSize", "v"},
                 {effMainsChanged, "mains", "v"}, {effGetChunk, "getChunk", "i"}, {effSetChunk, "setChunk", "iv"},
                 {effGetProgramNameIndexed, "getProgramNameIndexed", "i"}, {effVendorSpecific, "vendorSpecific", "iv"}};

// 400 by 300 at (20, 10); records opening, idling and closing.
class RecordingEditor : public AEffEditor {
public:
    using AEffEditor::AEffEditor;
    bool getRect(ERect** r) override { return (*r = &rect); }
    bool open(void* parent) override
    {
        Record("editor open " + std::to_string(reinterpret_cast<uintptr_t>(parent)));
        return AEffEditor::open(parent);
    }
    void close() override
    {
        Record("editor close");
        AEffEditor::close();
    }
    void idle() override { Record("editor idle"); }
    ERect rect{10, 20, 310, 420};  // top, left, bottom, right
};

}  // namespace

Log TakeCalls()
{
    std::lock_guard<std::mutex> lock(callsMutex);
    return std::exchange(calls, {});
}

void Record(const std::string& call)
{
    std::lock_guard<std::mutex> lock(callsMutex);
    calls.push_back(call);
}

std::string Number(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

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

VstIntPtr RecordingEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
    for (const auto& r : kRecorded)
        if (r.opcode == opcode) {
            std::string call = r.name;
            for (const char* a = r.args; *a; ++a)
                call += " " + (*a == 'i' ? std::to_string(index) : *a == 'v' ? std::to_string(value) : Number(opt));
            Record(call);
        }
    return AudioEffectX::dispatcher(opcode, index, value, ptr, opt);
}

void RecordingEffect::processReplacing(float** inputs, float** outputs, VstInt32 n)
{
    Record(std::string("process ") + (inputs[1] ? "2" : "1") + " in " + (outputs[1] ? "2" : "1") + " out " +
           std::to_string(n));
    for (int c = 0; c < 2; ++c)
        if (outputs[c])
            for (int i = 0; i < n; ++i) outputs[c][i] = 2.0f * (inputs[c] ? inputs[c][i] : inputs[0][i]);
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

void RecordingEffect::attachEditor() { setEditor(new RecordingEditor(this)); }

UseRecordingEffect::UseRecordingEffect()
    : previous(tonewright::SetEffectFactory([](audioMasterCallback host) -> AudioEffect* {
          return new RecordingEffect(host);
      }))
{
    ClearCalls();
}

std::vector<Heard> Listener::take()
{
    std::lock_guard<std::mutex> lock(mutex);
    return std::exchange(events, {});
}

void Listener::proc(void* self, void*, const AudioUnitEvent* event, UInt64, AudioUnitParameterValue value)
{
    auto* l = static_cast<Listener*>(self);
    std::lock_guard<std::mutex> lock(l->mutex);
    l->events.push_back({event->mEventType, event->mArgument.mParameter.mParameterID, value});
}

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
    return Get(unit, tonewright::kAUPlugEffectProperty, address) ? nullptr : static_cast<AudioEffect*>(address);
}

CFPropertyListRef SavedState(AudioUnit unit, OSStatus expected)
{
    CFPropertyListRef state = CFSTR("stale");
    EXPECT_EQ(Get(unit, kAudioUnitProperty_ClassInfo, state), expected);
    return state;
}

std::vector<std::string> PresetNames(AudioUnit unit)
{
    CFArrayRef list = nullptr;
    EXPECT_EQ(Get(unit, kAudioUnitProperty_FactoryPresets, list), noErr);
    std::vector<std::string> names;
    for (CFIndex i = 0; list && i < CFArrayGetCount(list); ++i) {
        const auto* p = static_cast<const AUPreset*>(CFArrayGetValueAtIndex(list, i));
        EXPECT_EQ(p->presetNumber, i);
        names.push_back(auhost::Text(p->presetName));
    }
    if (list) CFRelease(list);
    return names;
}

AudioClip TestClip(double rate, int channels, size_t frames)
{
    AudioClip clip{rate, channels, {}};
    clip.samples.assign(size_t(channels), std::vector<double>(frames));
    for (size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            clip.samples[size_t(c)][i] =
                static_cast<float>(0.5 * std::sin((0.031 + 0.007 * c) * double(i)) * std::exp(-2.0 * double(i) / rate));
    return clip;
}

void UnitTest::TearDown()
{
    EXPECT_EQ(CFStandInLiveObjects(), 0);
    EXPECT_EQ(ComponentStandInOpenInstances(), 0);
}

void RealUnitTest::SetUp()
{
    // A support folder of this program's own: the factory bank is installed
    // there on the first unit and read by every later one.
    ::setenv("XDG_DATA_HOME", (harness::TestHome() / "au-data").c_str(), 1);
}

}  // namespace au_test
