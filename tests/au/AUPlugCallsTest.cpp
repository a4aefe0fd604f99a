// The unit's calls on its plug-in object, exactly and in order, with a
// recording object: construction, parameters both ways, presets, state,
// set-up, audio and MIDI routing, the host callback's rows and gestures,
// and the order of destruction.

#include <cmath>
#include <cstring>
#include <limits>

#include "AUHarness.h"

using namespace au_test;
using tonewright::VST_Callback;

namespace {

std::vector<std::string> Range(const std::string& what, int count)
{
    std::vector<std::string> calls;
    for (int i = 0; i < count; ++i) calls.push_back(what + " " + std::to_string(i));
    return calls;
}

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts)
{
    std::vector<std::string> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

class CallsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        unit = OpenUnit();
        ASSERT_TRUE(unit && RecordingEffect::last);
        fx = RecordingEffect::last;
        ClearCalls();
    }
    void TearDown() override
    {
        unit.reset();
        EXPECT_EQ(CFStandInLiveObjects(), 0);
        EXPECT_EQ(ComponentStandInOpenInstances(), 0);
    }
    AudioUnit au() const { return unit->unit(); }

    UseRecordingEffect recording;
    std::unique_ptr<auhost::Unit> unit;
    RecordingEffect* fx = nullptr;
    Listener listener;
};

}  // namespace

TEST(AUPlugConstruction, AsksEveryProgramNameAndParameterValueThenOpensAndCloses)
{
    UseRecordingEffect recording;
    auto unit = OpenUnit();
    ASSERT_TRUE(unit);
    EXPECT_EQ(Calls(), Join({Range("getProgramNameIndexed", 128), Range("getParameter", 80), {"open"}}));
    // A host's order: initialised, uninitialised, closed.
    ASSERT_EQ(unit->initialize(), noErr);
    ASSERT_EQ(AudioUnitUninitialize(unit->unit()), noErr);
    ClearCalls();
    unit.reset();
    EXPECT_EQ(Calls(), Join({{"close"}, {"deleted"}}));
}

TEST(AUPlugConstruction, FailsCleanlyWhenThePlugInObjectCannotBeMade)
{
    const struct {
        tonewright::EffectFactory factory;
        OSStatus status;
    } cases[] = {
        {[](audioMasterCallback) -> AudioEffect* { return nullptr; }, kAudioUnitErr_FailedInitialization},
        {[](audioMasterCallback) -> AudioEffect* { throw std::bad_alloc(); }, memFullErr},
    };
    for (const auto& c : cases) {
        const auto previous = tonewright::SetEffectFactory(c.factory);
        AudioUnit au = nullptr;
        EXPECT_EQ(OpenAComponent(auhost::TonewrightComponent(), &au), c.status);
        EXPECT_EQ(au, nullptr);
        tonewright::SetEffectFactory(previous);
    }
    EXPECT_EQ(CFStandInLiveObjects(), 0);
    EXPECT_EQ(ComponentStandInOpenInstances(), 0);
}

TEST_F(CallsTest, ParameterInfoNamesEveryParameterWithTheRangeAndFlags)
{
    for (AudioUnitParameterID id = 0; id < 80; ++id) {
        AudioUnitParameterInfo info{};
        UInt32 size = sizeof info;
        ASSERT_EQ(
            AudioUnitGetProperty(au(), kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, id, &info, &size),
            noErr);
        const std::string name = "P" + std::to_string(id);
        EXPECT_EQ(info.name, name);
        EXPECT_EQ(auhost::Text(info.cfNameString), name);
        EXPECT_EQ(info.flags, 0xE8000011u);
        EXPECT_EQ(info.unit, kAudioUnitParameterUnit_Generic);
        EXPECT_EQ(info.minValue, 0.0f);
        EXPECT_EQ(info.maxValue, 1.0f);
        EXPECT_EQ(info.defaultValue, 0.5f);
        CFRelease(info.cfNameString);  // the flags say the host releases it
    }
    EXPECT_EQ(Calls(), Range("getParamName", 80));
    AudioUnitParameterInfo info{};
    UInt32 size = sizeof info;
    for (AudioUnitScope scope : {kAudioUnitScope_Global, kAudioUnitScope_Input})
        EXPECT_EQ(AudioUnitGetProperty(au(), kAudioUnitProperty_ParameterInfo, scope,
                                       scope == kAudioUnitScope_Global ? 80 : 3, &info, &size),
                  kAudioUnitErr_InvalidParameter);
    // The list names the 80 ids the unit holds.
    std::vector<AudioUnitParameterID> ids(80);
    size = UInt32(ids.size() * sizeof ids[0]);
    ASSERT_EQ(
        AudioUnitGetProperty(au(), kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, ids.data(), &size),
        noErr);
    for (UInt32 i = 0; i < 80; ++i) EXPECT_EQ(ids[i], i);
}

TEST_F(CallsTest, ParametersGoStraightToThePlugInClampedAndRefusedOutsideItsIds)
{
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        AudioUnitParameterID id;
        AudioUnitElement element;
        float value;
        OSStatus status;
        std::vector<std::string> calls;
    } cases[] = {
        {3, 0, 0.25f, noErr, {"setParameter 3 0.25"}},
        {4, 0, 1.5f, noErr, {"setParameter 4 1"}},
        {5, 0, -2.0f, noErr, {"setParameter 5 0"}},
        {6, 0, -inf, noErr, {"setParameter 6 0"}},
        {79, 0, inf, noErr, {"setParameter 79 1"}},
        {7, 0, std::nanf(""), kAudioUnitErr_InvalidParameterValue, {}},
        {80, 0, 0.5f, kAudioUnitErr_InvalidParameter, {}},
        {0xFFFFFFFFu, 0, 0.5f, kAudioUnitErr_InvalidParameter, {}},
        {3, 1, 0.5f, kAudioUnitErr_InvalidElement, {}},
    };
    for (const auto& c : cases) {
        ClearCalls();
        EXPECT_EQ(AudioUnitSetParameter(au(), c.id, kAudioUnitScope_Global, c.element, c.value, 0), c.status) << c.id;
        EXPECT_EQ(Calls(), c.calls) << c.id;
    }
    // Reading asks the plug-in each time, so a change made behind the
    // unit's back (MIDI, the editor) is what the host reads.
    fx->values[9] = 0.875f;
    ClearCalls();
    EXPECT_EQ(unit->parameter(9), 0.875f);
    EXPECT_EQ(unit->parameter(4), 1.0f);
    float value = 0;
    EXPECT_EQ(AudioUnitGetParameter(au(), 80, kAudioUnitScope_Global, 0, &value), kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"getParameter 9", "getParameter 4"}));
}

TEST_F(CallsTest, FactoryPresetsAreTheProgramsNamedAsTheyAreNow)
{
    const auto presets = [&] {
        CFArrayRef list = nullptr;
        UInt32 size = sizeof list;
        EXPECT_EQ(
            AudioUnitGetProperty(au(), kAudioUnitProperty_FactoryPresets, kAudioUnitScope_Global, 0, &list, &size),
            noErr);
        std::vector<std::string> names;
        for (CFIndex i = 0; i < CFArrayGetCount(list); ++i) {
            const auto* p = static_cast<const AUPreset*>(CFArrayGetValueAtIndex(list, i));
            EXPECT_EQ(p->presetNumber, i);
            names.push_back(auhost::Text(p->presetName));
        }
        CFRelease(list);
        return names;
    };
    auto names = presets();
    ASSERT_EQ(names.size(), 128u);
    EXPECT_EQ(names[5], "Program 5");
    // Renamed, and given a name that is not UTF-8 (read as Mac Roman).
    fx->names[5] = "Clean \x8Et\x8E";
    fx->names[6] = "Caf\xC3\xA9";
    names = presets();
    EXPECT_EQ(names[5], "Clean \xC3\xA9t\xC3\xA9");
    EXPECT_EQ(names[6], "Caf\xC3\xA9");
}

TEST_F(CallsTest, ChoosingAPresetSelectsTheProgramAgainAndReloadsTheParameters)
{
    fx->names[3] = "Chosen";
    for (int round = 0; round < 2; ++round) {
        ClearCalls();
        listener.clear();
        fx->values[10] = round ? 0.25f : 0.75f;  // the program moves one knob
        ASSERT_EQ(unit->selectPreset(3), noErr);
        // The plug-in does not know the re-selection request: a plain
        // program change follows.
        // Reading every value back; the listener's notification reads the
        // one value that moved once more.
        auto reload = Range("getParameter", 80);
        reload.insert(reload.begin() + 10, "getParameter 10");
        EXPECT_EQ(Calls(), Join({{"vendorSpecific " + std::to_string(tonewright::Effect::kVendorReselectProgram) + " 3",
                                  "setProgram 3", "getProgramNameIndexed 3"},
                                 reload}));
        EXPECT_EQ(listener.heard(), (std::vector<Heard>{{kAudioUnitEvent_ParameterValueChange, 10, fx->values[10]}}));
        std::string name;
        EXPECT_EQ(unit->presentPreset(&name), 3);
        EXPECT_EQ(name, "Chosen");
    }
    ClearCalls();
    EXPECT_EQ(unit->selectPreset(128), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(unit->selectPreset(-7), noErr);  // a user preset: a name only
    EXPECT_EQ(Calls(), std::vector<std::string>{});
}

TEST_F(CallsTest, SavedStateIsTheBankChunkWithTheComponentCodes)
{
    CFPropertyListRef state = nullptr;
    UInt32 size = sizeof state;
    ASSERT_EQ(AudioUnitGetProperty(au(), kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state, &size),
              noErr);
    EXPECT_EQ(Calls(), std::vector<std::string>{"getChunk 0"});
    const auto dict = static_cast<CFDictionaryRef>(state);
    EXPECT_EQ(CFDictionaryGetCount(dict), 6);
    const auto number = [&](const char* key) {
        SInt32 v = -1;
        CFNumberGetValue(static_cast<CFNumberRef>(CFDictionaryGetValue(dict, CFStringMakeConstantString(key))),
                         kCFNumberSInt32Type, &v);
        return v;
    };
    EXPECT_EQ(number("version"), 0);
    EXPECT_EQ(UInt32(number("type")), fourCC('a', 'u', 'm', 'f'));
    EXPECT_EQ(UInt32(number("subtype")), fourCC('Q', 't', 'w', 'r'));
    EXPECT_EQ(UInt32(number("manufacturer")), fourCC('Q', 'r', 'y', 's'));
    const auto data = static_cast<CFDataRef>(CFDictionaryGetValue(dict, CFSTR("data")));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(CFDataGetBytePtr(data)), size_t(CFDataGetLength(data))),
              fx->chunk);
    EXPECT_EQ(auhost::Text(static_cast<CFStringRef>(CFDictionaryGetValue(dict, CFSTR("name")))), "default");
    CFRelease(state);

    // No chunk: no state, and the output is cleared.
    fx->chunk.clear();
    state = CFSTR("stale");
    EXPECT_EQ(AudioUnitGetProperty(au(), kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state, &size), -1);
    EXPECT_EQ(state, nullptr);
}

TEST_F(CallsTest, RestoreTakesOnlyThisUnitsStatesAndSetsValuesWithoutGestures)
{
    const std::vector<char> good{'<', 'T', 'W', 'R', 'C', 'h', 'u', 'n', 'k', '>', 'x'};
    const auto with = [&](const char* key, CFTypeRef value) {
        CFMutableDictionaryRef state = const_cast<CFMutableDictionaryRef>(auhost::MakeState(good));
        if (value)
            CFDictionarySetValue(state, CFStringMakeConstantString(key), value);
        else
            CFDictionaryRemoveValue(state, CFStringMakeConstantString(key));
        return state;
    };
    SInt32 one = 1;
    CFNumberRef wrong = CFNumberCreate(nullptr, kCFNumberSInt32Type, &one);
    CFDataRef empty = CFDataCreate(nullptr, nullptr, 0);
    CFDataRef preset = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>("<TWRPreset>"), 11);
    const struct {
        const char* what;
        CFPropertyListRef state;
        OSStatus status;
    } cases[] = {
        {"no state", nullptr, kAudioUnitErr_InvalidParameter},
        {"not a dictionary", CFSTR("state"), kAudioUnitErr_InvalidPropertyValue},
        {"another version", with("version", wrong), kAudioUnitErr_InvalidPropertyValue},
        {"another type", with("type", wrong), kAudioUnitErr_InvalidPropertyValue},
        {"another subtype", with("subtype", wrong), kAudioUnitErr_InvalidPropertyValue},
        {"another maker", with("manufacturer", nullptr), kAudioUnitErr_InvalidPropertyValue},
        {"no data", with("data", nullptr), -1},
        {"data not data", with("data", CFSTR("<TWRChunk>")), -1},
        {"empty data", with("data", empty), -1},
        {"a preset", with("data", preset), -1},
    };
    for (const auto& c : cases) {
        ClearCalls();
        EXPECT_EQ(AudioUnitSetProperty(au(), kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &c.state,
                                       sizeof c.state),
                  c.status)
            << c.what;
        EXPECT_EQ(Calls(), std::vector<std::string>{}) << c.what;
        if (c.state && CFGetTypeID(c.state) == CFDictionaryGetTypeID()) CFRelease(c.state);
    }
    CFRelease(wrong);
    CFRelease(empty);
    CFRelease(preset);

    CFPropertyListRef state = auhost::MakeState(good);
    fx->lastHostBytes = CFDataGetBytePtr(
        static_cast<CFDataRef>(CFDictionaryGetValue(static_cast<CFDictionaryRef>(state), CFSTR("data"))));
    for (bool accepted : {false, true}) {
        fx->acceptChunks = accepted;
        ClearCalls();
        listener.clear();
        EXPECT_EQ(
            AudioUnitSetProperty(au(), kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state, sizeof state),
            accepted ? noErr : -1);
        EXPECT_TRUE(fx->chunkWasCopy);
        EXPECT_EQ(Calls().front(), "setChunk 0 11");
        // Each reloaded value is set through the unit (which hands it to the
        // plug-in once more) and announced; no gestures.
        const auto heard = listener.heard();
        EXPECT_EQ(heard.size(), accepted ? 80u : 0u);
        for (size_t i = 0; i < heard.size(); ++i)
            EXPECT_EQ(heard[i], (Heard{kAudioUnitEvent_ParameterValueChange, AudioUnitParameterID(i), 0.5f}));
        EXPECT_EQ(Calls().size(), accepted ? 1u + 2 * 80 : 1u);
    }
    CFRelease(state);
}

TEST_F(CallsTest, SetUpCallsCarryTheRateAndSliceSizeAndRefusedRatesChangeNothing)
{
    const auto rate = [&](AudioUnitScope scope) {
        Float64 r = 0;
        UInt32 size = sizeof r;
        AudioUnitGetProperty(au(), kAudioUnitProperty_SampleRate, scope, 0, &r, &size);
        return r;
    };
    const auto setRate = [&](AudioUnitScope scope, AudioUnitElement element, Float64 r, UInt32 size = sizeof(Float64)) {
        ClearCalls();
        return AudioUnitSetProperty(au(), kAudioUnitProperty_SampleRate, scope, element, &r, size);
    };
    EXPECT_EQ(setRate(kAudioUnitScope_Output, 0, 48000.0), noErr);
    EXPECT_EQ(Calls(), std::vector<std::string>{"setSampleRate 48000"});
    EXPECT_EQ(setRate(kAudioUnitScope_Input, 0, 48000.0), noErr);
    EXPECT_EQ(Calls(), std::vector<std::string>{});  // the plug-in runs at the output's rate
    EXPECT_EQ(setRate(kAudioUnitScope_Output, 0, 12345.0), kAudioUnitErr_FormatNotSupported);
    EXPECT_EQ(Calls(), std::vector<std::string>{"setSampleRate 12345"});
    EXPECT_EQ(rate(kAudioUnitScope_Output), 48000.0);
    EXPECT_EQ(setRate(kAudioUnitScope_Output, 0, 96000.0, 4), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(setRate(kAudioUnitScope_Global, 0, 96000.0), kAudioUnitErr_InvalidScope);
    EXPECT_EQ(setRate(kAudioUnitScope_Output, 1, 96000.0), kAudioUnitErr_InvalidElement);
    EXPECT_EQ(setRate(kAudioUnitScope_Output, 0, -1.0), kAudioUnitErr_FormatNotSupported);
    EXPECT_EQ(Calls(), std::vector<std::string>{});

    ASSERT_EQ(unit->setMaxFrames(700), noErr);
    ClearCalls();
    ASSERT_EQ(unit->initialize(), noErr);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"setSampleRate 48000", "setBlockSize 700"}));
    EXPECT_EQ(setRate(kAudioUnitScope_Output, 0, 44100.0), kAudioUnitErr_PropertyNotWritable);
    EXPECT_EQ(unit->setMaxFrames(800), kAudioUnitErr_Initialized);
    ClearCalls();
    EXPECT_EQ(AudioUnitReset(au(), kAudioUnitScope_Global, 0), noErr);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"mains 0", "setSampleRate 48000", "mains 1"}));
}

TEST_F(CallsTest, InitialisationTakesOnlyTheTwoChannelConfigurationsAtOneRate)
{
    const struct {
        int in, out;
        double inRate;
        OSStatus status;
    } cases[] = {
        {1, 1, 44100, noErr},
        {2, 2, 44100, noErr},
        {1, 2, 44100, kAudioUnitErr_FormatNotSupported},
        {2, 1, 44100, kAudioUnitErr_FormatNotSupported},
        {2, 2, 48000, kAudioUnitErr_FormatNotSupported},
    };
    for (const auto& c : cases) {
        AudioUnitUninitialize(au());
        const auto in = CanonicalFormat(c.inRate, UInt32(c.in)), out = CanonicalFormat(44100, UInt32(c.out));
        ASSERT_EQ(AudioUnitSetProperty(au(), kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, &in, sizeof in),
                  noErr);
        ASSERT_EQ(
            AudioUnitSetProperty(au(), kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &out, sizeof out),
            noErr);
        EXPECT_EQ(AudioUnitInitialize(au()), c.status) << c.in << " in, " << c.out << " out";
    }
    AUChannelInfo infos[2];
    UInt32 size = sizeof infos;
    ASSERT_EQ(
        AudioUnitGetProperty(au(), kAudioUnitProperty_SupportedNumChannels, kAudioUnitScope_Global, 0, infos, &size),
        noErr);
    EXPECT_EQ(size, sizeof infos);
    EXPECT_EQ(std::vector<int>({infos[0].inChannels, infos[0].outChannels, infos[1].inChannels, infos[1].outChannels}),
              std::vector<int>({1, 1, 2, 2}));
}

namespace {

// The input a render pulls: `buffers` buffers of `bytes` bytes from `data`.
struct Input {
    UInt32 buffers, bytes;
    bool nullSecond;
    float (*data)[8];
    static OSStatus pull(void* self, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32,
                         AudioBufferList* list)
    {
        const auto* in = static_cast<Input*>(self);
        list->mNumberBuffers = std::min(in->buffers, list->mNumberBuffers);
        for (UInt32 b = 0; b < list->mNumberBuffers; ++b)
            list->mBuffers[b] = {1, in->bytes, b == 1 && in->nullSecond ? nullptr : in->data[b]};
        return noErr;
    }
};

}  // namespace

TEST_F(CallsTest, BufferListsAreStereoOnlyWhenBothHoldTwoAndAreClampedToTheirSizes)
{
    float in[2][8], out[2][8];
    const struct {
        UInt32 channels, inBuffers, outBuffers, inBytes, outBytes;
        bool nullData;
        OSStatus status;
        std::vector<std::string> calls;
        int frames;  // written by the plug-in
    } cases[] = {
        {2, 2, 2, 32, 32, false, noErr, {"process 2 in 2 out 8"}, 8},
        {1, 1, 1, 32, 32, false, noErr, {"process 1 in 1 out 8"}, 8},
        {2, 2, 1, 32, 32, false, noErr, {"process 1 in 1 out 8"}, 8},
        {1, 1, 2, 32, 32, false, noErr, {"process 1 in 1 out 8"}, 8},  // the second output copies the first
        {2, 2, 2, 32, 20, false, noErr, {"process 2 in 2 out 5"}, 5},
        {2, 2, 2, 12, 32, false, noErr, {"process 2 in 2 out 3"}, 3},  // the rest is silence
        {2, 2, 2, 32, 32, true, paramErr, {}, 0},
        {2, 0, 2, 32, 32, false, paramErr, {}, 0},
    };
    for (const auto& c : cases) {
        Input input{c.inBuffers, c.inBytes, c.nullData, in};
        AudioUnitUninitialize(au());
        const AURenderCallbackStruct callback{Input::pull, &input};
        ASSERT_EQ(AudioUnitSetProperty(au(), kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &callback,
                                       sizeof callback),
                  noErr);
        ASSERT_EQ(unit->setFormat(44100, int(c.channels)), noErr);
        ASSERT_EQ(unit->setMaxFrames(8), noErr);
        ASSERT_EQ(unit->initialize(), noErr);
        AudioBufferListStorage outList(c.outBuffers);
        for (UInt32 b = 0; b < 2; ++b)
            for (int i = 0; i < 8; ++i) {
                in[b][i] = float(b * 10 + i + 1);
                out[b][i] = -99.0f;
            }
        for (UInt32 b = 0; b < c.outBuffers; ++b) outList.list().mBuffers[b] = {1, c.outBytes, out[b]};
        ClearCalls();
        AudioUnitRenderActionFlags flags = 0;
        const AudioTimeStamp time{0, 0, 0};
        EXPECT_EQ(AudioUnitRender(au(), &flags, &time, 0, 8, &outList.list()), c.status);
        EXPECT_EQ(Calls(), c.calls);
        const bool stereo = c.inBuffers == 2 && c.outBuffers == 2;
        for (UInt32 b = 0; b < c.outBuffers; ++b)
            for (UInt32 i = 0; i < std::min<UInt32>(8, c.outBytes / 4); ++i)
                EXPECT_EQ(out[b][i], int(i) < c.frames ? 2.0f * in[stereo ? b : 0][i] : 0.0f) << b << " " << i;
    }
}

TEST_F(CallsTest, TheHostsBypassCopiesTheInputWithoutThePlugIn)
{
    UInt32 on = 1;
    ASSERT_EQ(AudioUnitSetProperty(au(), kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, &on, sizeof on),
              noErr);
    ASSERT_EQ(unit->initialize(), noErr);
    float a[64], b[64], l[64], r[64];
    for (int i = 0; i < 64; ++i) {
        a[i] = float(i);
        b[i] = -float(i);
    }
    float* ins[2] = {a, b};
    float* outs[2] = {l, r};
    ClearCalls();
    ASSERT_EQ(unit->render(ins, outs, 64), noErr);
    EXPECT_EQ(Calls(), std::vector<std::string>{});
    EXPECT_TRUE(std::equal(a, a + 64, l) && std::equal(b, b + 64, r));
    on = 0;
    AudioUnitSetProperty(au(), kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, &on, sizeof on);
    ASSERT_EQ(unit->render(ins, outs, 64), noErr);
    EXPECT_EQ(Calls(), std::vector<std::string>{"process 2 in 2 out 64"});
}

TEST_F(CallsTest, MidiReachesThePlugInAsOneVstMidiEvent)
{
    ASSERT_EQ(unit->initialize(), noErr);
    ClearCalls();
    EXPECT_EQ(unit->midi(0xC2, 9, 0, 7), noErr);
    EXPECT_EQ(unit->midi(0xB5, 0x87, 0x40, 0), noErr);  // data bytes are 7 bits
    EXPECT_EQ(Calls(), (std::vector<std::string>{"midi type 1 size 32 at 7: c2 09 00 00",
                                                 "midi type 1 size 32 at 0: b5 07 40 00"}));
}

TEST_F(CallsTest, PropertiesOfTheUnitItself)
{
    void* address = nullptr;
    UInt32 size = sizeof address;
    Boolean writable = true;
    ASSERT_EQ(AudioUnitGetProperty(au(), 5000, kAudioUnitScope_Global, 0, &address, &size), noErr);
    EXPECT_EQ(address, static_cast<AudioEffect*>(fx));
    EXPECT_EQ(AudioUnitGetPropertyInfo(au(), 5000, kAudioUnitScope_Global, 0, &size, &writable), noErr);
    EXPECT_EQ(size, 8u);
    EXPECT_FALSE(writable);
    EXPECT_EQ(AudioUnitSetProperty(au(), 5000, kAudioUnitScope_Global, 0, &address, 8),
              kAudioUnitErr_PropertyNotWritable);
    UInt64 reserved = ~0ull;
    size = 8;
    EXPECT_EQ(AudioUnitGetProperty(au(), 5001, kAudioUnitScope_Global, 0, &reserved, &size), noErr);
    EXPECT_EQ(reserved, 0u);
    EXPECT_EQ(AudioUnitSetProperty(au(), 5001, kAudioUnitScope_Global, 0, &reserved, 8), noErr);
    EXPECT_EQ(AudioUnitSetProperty(au(), 5001, kAudioUnitScope_Global, 0, &reserved, 4),
              kAudioUnitErr_InvalidPropertyValue);
    size = 4;
    EXPECT_EQ(AudioUnitGetProperty(au(), 5001, kAudioUnitScope_Global, 0, &reserved, &size),
              kAudioUnitErr_InvalidPropertyValue);

    Float64 seconds = -1;
    for (AudioUnitPropertyID id : {kAudioUnitProperty_Latency, kAudioUnitProperty_TailTime}) {
        size = sizeof seconds;
        EXPECT_EQ(AudioUnitGetProperty(au(), id, kAudioUnitScope_Global, 0, &seconds, &size), noErr);
        EXPECT_EQ(seconds, 0.0);
    }
    EXPECT_EQ(GetComponentVersion(au()), 1);
    EXPECT_EQ(Calls(), std::vector<std::string>{});

    // The Cocoa view: only where the bundle can be found.
    AudioUnitCocoaViewInfo view{};
    size = sizeof view;
    writable = true;
    EXPECT_EQ(AudioUnitGetPropertyInfo(au(), 31, kAudioUnitScope_Global, 0, &size, &writable),
              kAudioUnitErr_InvalidProperty);
    EXPECT_FALSE(writable);
    EXPECT_EQ(AudioUnitGetProperty(au(), 31, kAudioUnitScope_Global, 0, &view, &size), kAudioUnitErr_InvalidProperty);
    CFURLRef where = CFURLCreateWithFileSystemPath(nullptr, CFSTR("/Library/Audio/Plug-Ins/Components/TWR.component"),
                                                   kCFURLPOSIXPathStyle, true);
    CFStandInRegisterBundle(CFSTR("com.quarrystone.twr.au"), where);
    CFRelease(where);
    EXPECT_EQ(AudioUnitGetPropertyInfo(au(), 31, kAudioUnitScope_Global, 0, &size, &writable), noErr);
    EXPECT_EQ(size, 16u);
    EXPECT_FALSE(writable);
    ASSERT_EQ(AudioUnitGetProperty(au(), 31, kAudioUnitScope_Global, 0, &view, &size), noErr);
    UInt8 path[256];
    ASSERT_TRUE(CFURLGetFileSystemRepresentation(view.mCocoaAUViewBundleLocation, true, path, sizeof path));
    EXPECT_STREQ(reinterpret_cast<char*>(path), "/Library/Audio/Plug-Ins/Components/TWR.component");
    EXPECT_EQ(auhost::Text(view.mCocoaAUViewClass[0]), "QRN_TWR_AUCocoaUI");
    CFRelease(view.mCocoaAUViewBundleLocation);
    CFRelease(view.mCocoaAUViewClass[0]);
    CFStandInRegisterBundle(CFSTR("com.quarrystone.twr.au"), nullptr);
}

TEST(AUPlugCallback, AnswersEachOpcodeAndTurnsAutomationIntoParameterChangesAndGestures)
{
    UseRecordingEffect recording;
    auto unit = OpenUnit();
    RecordingEffect& fx = *RecordingEffect::last;
    Listener listener;
    AEffect orphan{};
    const auto value = kAudioUnitEvent_ParameterValueChange;
    const auto begin = kAudioUnitEvent_BeginParameterChangeGesture;
    const auto end = kAudioUnitEvent_EndParameterChangeGesture;
    const struct {
        AEffect* effect;
        VstInt32 opcode, index;
        float opt;
        VstIntPtr answer;
        std::vector<Heard> heard;
        std::vector<std::string> calls;
    } rows[] = {
        {nullptr, audioMasterVersion, 0, 0, 2, {}, {}},
        {nullptr, audioMasterAutomate, 3, 0.5f, 0, {}, {}},
        {&orphan, audioMasterVersion, 0, 0, 2, {}, {}},
        {&orphan, audioMasterBeginEdit, 3, 0, 0, {}, {}},
        {fx.getAeffect(), audioMasterVersion, 0, 0, 2, {}, {}},
        {fx.getAeffect(), audioMasterWantMidi, 0, 0, 0, {}, {}},
        {fx.getAeffect(), audioMasterIdle, 0, 0, 0, {}, {}},
        // A single change outside a drag is a gesture of its own.
        {fx.getAeffect(),
         audioMasterAutomate,
         5,
         0.3f,
         0,
         {{begin, 5, 0}, {value, 5, 0.3f}, {end, 5, 0}},
         {"setParameter 5 0.3"}},
        {fx.getAeffect(), audioMasterAutomate, 80, 0.3f, 0, {}, {}},
        {fx.getAeffect(), audioMasterAutomate, -1, 0.3f, 0, {}, {}},
        {fx.getAeffect(), audioMasterBeginEdit, 80, 0, 0, {}, {}},
        {fx.getAeffect(), audioMasterEndEdit, -1, 0, 0, {}, {}},
        // A drag: begin, changes without gestures of their own, end.
        {fx.getAeffect(), audioMasterBeginEdit, 7, 0, 1, {{begin, 7, 0}}, {}},
        {fx.getAeffect(), audioMasterAutomate, 7, 0.1f, 0, {{value, 7, 0.1f}}, {"setParameter 7 0.1"}},
        {fx.getAeffect(), audioMasterAutomate, 7, 0.2f, 0, {{value, 7, 0.2f}}, {"setParameter 7 0.2"}},
        {fx.getAeffect(), audioMasterEndEdit, 7, 0, 1, {{end, 7, 0}}, {}},
    };
    for (const auto& row : rows) {
        ClearCalls();
        listener.clear();
        EXPECT_EQ(VST_Callback(row.effect, row.opcode, row.index, 0, nullptr, row.opt), row.answer) << row.opcode;
        EXPECT_EQ(listener.heard(), row.heard) << row.opcode << " " << row.index;
        EXPECT_EQ(Calls(), row.calls) << row.opcode << " " << row.index;
    }
}

TEST(AUPlugDestruction, ClosesTheEditorEndsOpenGesturesThenClosesThePlugIn)
{
    UseRecordingEffect recording;
    auto unit = OpenUnit();
    RecordingEffect& fx = *RecordingEffect::last;
    fx.attachEditor();
    fx.getEditor()->open(reinterpret_cast<void*>(1));
    fx.callHost(audioMasterBeginEdit, 12);
    Listener listener;
    ClearCalls();
    unit.reset();
    // The plug-in's own automation while it closes reaches no unit.
    EXPECT_EQ(Calls(), (std::vector<std::string>{"editor close", "close", "deleted"}));
    EXPECT_EQ(listener.heard(), (std::vector<Heard>{{kAudioUnitEvent_EndParameterChangeGesture, 12, 0}}));
    EXPECT_EQ(CFStandInLiveObjects(), 0);
}
