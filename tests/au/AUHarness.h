#pragma once
// What the Audio Unit tests share: a plug-in object and a listener that
// record every call and event in order, units opened as a host opens them,
// the sequences hosts set them up and render them in (beside the plug-in's
// VST entry rendering alike), and fixtures that end each test with no unit
// or CoreFoundation object left.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "AuHost.h"
#include "PluginHarness.h"
#include "VstHost.h"
#include "common/WavFile.h"
#include "mac/au/AUPlug.h"
#include "plugin/Effect.h"
#include "vst2/AudioEffectX.h"

namespace au_test {

namespace auhost = tonewright::auhost;
using tonewright::AudioClip;

using Log = std::vector<std::string>;

inline std::mutex callsMutex;
inline Log calls;

// The calls recorded since the last take ("setParameter 3 0.5"), by effects
// and editors; taking them clears the record.
inline Log TakeCalls()
{
    std::lock_guard<std::mutex> lock(callsMutex);
    return std::exchange(calls, {});
}
inline void ClearCalls() { TakeCalls(); }
inline void Record(const std::string& call)
{
    std::lock_guard<std::mutex> lock(callsMutex);
    calls.push_back(call);
}
inline std::string Number(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

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

// 80 parameters (values i/100, names "P<i>"), 128 programs ("Program <i>");
// refuses the rate 12345; doubles its input.
class RecordingEffect : public AudioEffectX {
public:
    explicit RecordingEffect(audioMasterCallback host) : AudioEffectX(host, 128, 80)
    {
        for (int i = 0; i < 80; ++i) values[i] = static_cast<float>(i) / 100.0f;
        for (int i = 0; i < 128; ++i) names[i] = "Program " + std::to_string(i);
        last = this;
    }
    ~RecordingEffect() override
    {
        Record("deleted");
        if (last == this) last = nullptr;
    }
    static inline RecordingEffect* last = nullptr;  // the one made last

    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) override
    {
        const std::string i = " " + std::to_string(index), v = " " + std::to_string(value);
        const std::map<VstInt32, std::string> recorded{
            {effOpen, "open"}, {effClose, "close"}, {effSetProgram, "setProgram" + v}, {effGetProgram, "getProgram"},
            {effGetParamName, "getParamName" + i}, {effSetSampleRate, "setSampleRate " + Number(opt)},
            {effSetBlockSize, "setBlockSize" + v}, {effMainsChanged, "mains" + v}, {effGetChunk, "getChunk" + i},
            {effSetChunk, "setChunk" + i + v}, {effGetProgramNameIndexed, "getProgramNameIndexed" + i},
            {effVendorSpecific, "vendorSpecific" + i + v}};
        if (const auto call = recorded.find(opcode); call != recorded.end()) Record(call->second);
        return AudioEffectX::dispatcher(opcode, index, value, ptr, opt);
    }
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
    void processReplacing(float** inputs, float** outputs, VstInt32 n) override
    {
        Record(std::string("process ") + (inputs[1] ? "2" : "1") + " in " + (outputs[1] ? "2" : "1") + " out " +
               std::to_string(n));
        for (int c = 0; c < 2; ++c)
            for (int i = 0; outputs[c] && i < n; ++i) outputs[c][i] = 2.0f * (inputs[c] ? inputs[c] : inputs[0])[i];
    }
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
    // Accepts text starting with "<TWRChunk>" unless told not to; then, as
    // the plug-in does, every value is the restored one and the host is
    // asked to read them again.
    VstInt32 setChunk(void* data, VstInt32 size, bool) override
    {
        const char* text = static_cast<const char*>(data);
        chunkWasCopy = text != lastHostBytes && text[size] == '\0';
        if (whileSettingChunk) whileSettingChunk();
        if (!acceptChunks || std::strncmp(text, "<TWRChunk>", 10) != 0) return 0;
        for (float& v : values) v = 0.5f;
        updateDisplay();
        return 0;
    }
    VstInt32 processEvents(VstEvents* events) override
    {
        for (const VstEvent* entry : VstEventEntries(*events)) {
            const auto* m = reinterpret_cast<const VstMidiEvent*>(entry);
            char text[96];
            std::snprintf(text, sizeof text, "midi type %d size %d at %d: %02x %02x %02x %02x", m->type, m->byteSize,
                          m->deltaFrames, m->midiData[0] & 0xFF, m->midiData[1] & 0xFF, m->midiData[2] & 0xFF,
                          m->midiData[3] & 0xFF);
            Record(text);
        }
        if (announceMidi) updateDisplay();
        return 0;
    }
    void setSampleRate(float rate) override
    {
        if (rate != 12345.0f) AudioEffectX::setSampleRate(rate);
    }
    // An effect that automates while it closes reaches nobody.
    void close() override { audioMaster(&cEffect, audioMasterAutomate, 3, 0, nullptr, 0.9f); }
    void attachEditor() { setEditor(new RecordingEditor(this)); }

    float values[80];
    std::string names[128];
    std::string chunk = "<TWRChunk>recorded</TWRChunk>";
    bool acceptChunks = true;
    // Runs while a chunk is being set, before it is taken or refused.
    std::function<void()> whileSettingChunk;
    // Whether MIDI asks the host to read everything again, as a program
    // change does.
    bool announceMidi = false;
    // Whether the last chunk set came as a private, terminated copy.
    bool chunkWasCopy = false;
    const void* lastHostBytes = nullptr;
};

// Makes units with the recording effect while it lives.
class UseRecordingEffect {
public:
    UseRecordingEffect() { ClearCalls(); }
    ~UseRecordingEffect() { tonewright::SetEffectFactory(previous); }

private:
    tonewright::EffectFactory previous = tonewright::SetEffectFactory(
        [](audioMasterCallback host) -> AudioEffect* { return new RecordingEffect(host); });
};

// Records the units' events among the calls while it lives: "heard 10 =
// 0.75", "heard begin 5", "heard end 5", and for a change of the present
// preset what a host reads on hearing it, "heard preset 70 Modern Metal".
class Listener {
public:
    Listener() { AUEventListenerCreate(proc, nullptr, nullptr, nullptr, 0.0f, 0.0f, &ref); }
    ~Listener() { AUListenerDispose(ref); }

private:
    static void proc(void*, void*, const AudioUnitEvent* event, UInt64, AudioUnitParameterValue value)
    {
        const std::string id = std::to_string(event->mArgument.mParameter.mParameterID);
        switch (event->mEventType) {
        case kAudioUnitEvent_BeginParameterChangeGesture: Record("heard begin " + id); break;
        case kAudioUnitEvent_EndParameterChangeGesture: Record("heard end " + id); break;
        case kAudioUnitEvent_PropertyChange: {
            const AudioUnitProperty& p = event->mArgument.mProperty;
            AUPreset preset{-1, nullptr};
            UInt32 size = sizeof preset;
            if (p.mPropertyID != kAudioUnitProperty_PresentPreset ||
                AudioUnitGetProperty(p.mAudioUnit, p.mPropertyID, p.mScope, p.mElement, &preset, &size) != noErr) {
                Record("heard property " + std::to_string(p.mPropertyID));
                break;
            }
            Record("heard preset " + std::to_string(preset.presetNumber) + " " + auhost::Text(preset.presetName));
            if (preset.presetName) CFRelease(preset.presetName);
            break;
        }
        default: Record("heard " + id + " = " + Number(value));
        }
    }
    AUEventListenerRef ref = nullptr;
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

inline std::unique_ptr<auhost::Unit> OpenUnit()
{
    OSStatus status = noErr;
    auto unit = auhost::Unit::open(status);
    EXPECT_EQ(status, noErr);
    return unit;
}
// The plug-in object behind a unit (property 5000).
inline AudioEffect& EffectOf(AudioUnit unit)
{
    void* address = nullptr;
    EXPECT_EQ(Get(unit, tonewright::kAUPlugEffectProperty, address), noErr);
    return *static_cast<AudioEffect*>(address);
}
// The unit's state (ClassInfo), checking the status; restoring one.
inline CFPropertyListRef SavedState(AudioUnit unit, OSStatus expected = noErr)
{
    CFPropertyListRef state = CFSTR("stale");
    EXPECT_EQ(Get(unit, kAudioUnitProperty_ClassInfo, state), expected);
    return state;
}
inline OSStatus Restore(AudioUnit unit, CFPropertyListRef state)
{
    return Set(unit, kAudioUnitProperty_ClassInfo, state);
}
// The factory presets' names, checking that each is numbered by its place.
inline std::vector<std::string> PresetNames(AudioUnit unit)
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
// A decaying sine per channel, each at its own frequency.
inline AudioClip TestClip(double rate, int channels, size_t frames)
{
    AudioClip clip{rate, channels, std::vector<std::vector<double>>(size_t(channels), std::vector<double>(frames))};
    for (size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            clip.samples[size_t(c)][i] =
                static_cast<float>(0.5 * std::sin((0.031 + 0.007 * c) * double(i)) * std::exp(-2.0 * double(i) / rate));
    return clip;
}

// ---- what hosts do ----

// A sound as a host gives it, each part optional and in this order: a saved
// state's data, a factory preset, parameter values.
struct Sound {
    std::vector<char> state;
    int preset = -1;
    std::vector<std::pair<AudioUnitParameterID, float>> values;
};

// How a host sets a unit up and renders. The defaults are the plain road:
// format, slice size, initialise, the sound, reset, 512-frame slices.
struct Sequence {
    bool stateBeforeInitialize = false;  // the state restored into the unit just opened
    bool valuesBeforeState = false;
    bool reset = true;
    // Rendered at this rate first (0: none), then uninitialised, given the
    // clip's rate and initialised again between two slices.
    double firstRate = 0.0;
    std::vector<int> slices{512};  // slice sizes in turn; 0: drawn from 1..4097 for each call
};

// The slice sizes a host renders a sequence in, starting over when used up.
inline std::vector<int> SliceSizes(const Sequence& s)
{
    if (s.slices != std::vector<int>{0}) return s.slices;
    std::vector<int> drawn;
    for (unsigned x = 7; drawn.size() < 64; x = x * 1103515245u + 12345u) drawn.push_back(1 + int((x >> 8) % 4097));
    return drawn;
}

// Hands each block of `process` on in slices of the given sizes, in turn
// across blocks, as a host whose slices do not follow the file's blocks.
inline offline::BlockProcess InSlices(const offline::BlockProcess& process, std::vector<int> sizes)
{
    auto next = std::make_shared<size_t>(0);
    return [process, sizes = std::move(sizes), next](float** inputs, float** outputs, int n) {
        for (int done = 0; done < n;) {
            const int m = std::min(sizes[(*next)++ % sizes.size()], n - done);
            float* in[2] = {inputs[0] + done, inputs[1] ? inputs[1] + done : nullptr};
            float* out[2] = {outputs[0] + done, outputs[1] ? outputs[1] + done : nullptr};
            process(in, out, m);
            done += m;
        }
    };
}
inline int Largest(const std::vector<int>& sizes) { return *std::max_element(sizes.begin(), sizes.end()); }

// A unit of `channels` in and out at `rate`, given the sound by the sequence.
inline std::unique_ptr<auhost::Unit> HostUnit(double rate, int channels, const Sound& sound, const Sequence& s)
{
    auto unit = OpenUnit();
    const auto values = [&] {
        for (const auto& [id, value] : sound.values) EXPECT_EQ(unit->setParameter(id, value), noErr) << id;
    };
    const auto state = [&] { EXPECT_TRUE(sound.state.empty() || unit->restoreChunk(sound.state) == noErr); };
    if (s.stateBeforeInitialize) state();
    EXPECT_EQ(unit->setFormat(s.firstRate > 0 ? s.firstRate : rate, channels), noErr);
    EXPECT_EQ(unit->setMaxFrames(UInt32(Largest(SliceSizes(s)))), noErr);
    EXPECT_EQ(unit->initialize(), noErr);
    if (s.valuesBeforeState) values();
    if (!s.stateBeforeInitialize) state();
    EXPECT_TRUE(sound.preset < 0 || unit->selectPreset(sound.preset) == noErr);
    if (!s.valuesBeforeState) values();
    EXPECT_TRUE(!s.reset || AudioUnitReset(unit->unit(), kAudioUnitScope_Global, 0) == noErr);
    return unit;
}

// The clip through `process` in the sequence's slices; with a first rate,
// the same samples at that rate first, then `changeRate`.
inline AudioClip RenderSequence(const offline::BlockProcess& process, const Sequence& s, const AudioClip& in,
                                const std::function<void()>& changeRate)
{
    const offline::BlockProcess sliced = InSlices(process, SliceSizes(s));
    const auto render = [&](AudioClip clip) {
        return offline::render(sliced, 2, 2, clip, in.channels, offline::BlockSchedule::Fixed(4096));
    };
    if (s.firstRate > 0) {
        AudioClip first = in;
        first.sampleRate = s.firstRate;
        render(first);
        changeRate();
    }
    return render(in);
}

// The clip through such a unit.
inline AudioClip HostRender(const Sound& sound, const Sequence& s, const AudioClip& in)
{
    auto unit = HostUnit(in.sampleRate, in.channels, sound, s);
    const auto process = [&](float** inputs, float** outputs, int n) {
        EXPECT_EQ(unit->render(inputs, outputs, UInt32(n)), noErr);
    };
    return RenderSequence(process, s, in, [&] {
        // Not while initialised; then as hosts do it.
        EXPECT_EQ(unit->setFormat(in.sampleRate, in.channels), kAudioUnitErr_PropertyNotWritable);
        EXPECT_FALSE(AudioUnitUninitialize(unit->unit()) || unit->setFormat(in.sampleRate, in.channels) ||
                     unit->initialize());
    });
}

// The clip through the plug-in's VST entry as tonewright-host renders it,
// with the same sound, slices and rate change: rate and largest block, the
// sound, resume; the pointers a host of the clip's channels gives (a mono
// one: no second); the rate changed while suspended.
inline AudioClip VstRender(const Sound& sound, const Sequence& s, const AudioClip& in)
{
    std::string error;
    auto vst = offline::VstPlugin::fromEntry(VSTPluginMain, error);
    EXPECT_TRUE(vst) << error;
    vst->setSampleRate(s.firstRate > 0 ? s.firstRate : in.sampleRate);
    vst->setBlockSize(Largest(SliceSizes(s)));
    if (!sound.state.empty()) vst->setChunk(sound.state, false);
    if (sound.preset >= 0) vst->setProgram(sound.preset);
    for (const auto& [id, value] : sound.values) vst->setParameter(int(id), value);
    vst->resume();
    const bool stereo = in.channels == 2;
    const auto process = [&](float** inputs, float** outputs, int n) {
        float* ins[2] = {inputs[0], stereo ? inputs[1] : nullptr};
        float* outs[2] = {outputs[0], stereo ? outputs[1] : nullptr};
        vst->processReplacing(ins, outs, n);
    };
    return RenderSequence(process, s, in, [&] {
        vst->suspend();
        vst->setSampleRate(in.sampleRate);
        vst->resume();
    });
}

// Ends each test, once its own members are gone too, with every unit closed
// and every CoreFoundation object it made given back.
class UnitTest : public ::testing::Test {
protected:
    ~UnitTest() override
    {
        EXPECT_EQ(CFStandInLiveObjects(), 0);
        EXPECT_EQ(ComponentStandInOpenInstances(), 0);
    }
};

// Units with the real plug-in and its factory bank in a support folder of
// this program's own: the bank is installed there on the first unit and
// read by every later one.
class RealUnitTest : public UnitTest {
protected:
    void SetUp() override { ::setenv("XDG_DATA_HOME", (harness::TestHome() / "au-data").c_str(), 1); }
};

}  // namespace au_test
