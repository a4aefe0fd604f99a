// The unit's calls on its plug-in object and the events hosts hear, exactly
// and in order, with a recording object: construction and destruction,
// parameters both ways, presets, state, set-up, audio and MIDI routing,
// and the host callback's answers and gestures.

#include <cmath>
#include <limits>
#include <thread>
#include <tuple>

#include "AUHarness.h"

using namespace tonewright;
using namespace au_test;

namespace {

constexpr auto kInput = kAudioUnitScope_Input;
constexpr auto kOutput = kAudioUnitScope_Output;

// `calls`, then "<what> 0" .. "<what> count-1".
Log Range(const std::string& what, int count, Log calls = {})
{
    for (int i = 0; i < count; ++i) calls.push_back(what + " " + std::to_string(i));
    return calls;
}

class AUCalls : public UnitTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(unit && fx);
        ClearCalls();
    }
    AudioUnit au() const { return unit->unit(); }

    UseRecordingEffect recording;
    std::unique_ptr<auhost::Unit> unit = OpenUnit();
    RecordingEffect* fx = RecordingEffect::last;
    Listener listener;
};

}  // namespace

TEST_F(UnitTest, AUPlugOpensAfterReadingNamesAndValuesAndClosesTheEditorAndGesturesBeforeThePlugIn)
{
    UseRecordingEffect recording;
    auto unit = OpenUnit();
    ASSERT_TRUE(unit);
    // The program it plays is the present preset from the start.
    Log opened = Range("getParameter", 80, Range("getProgramNameIndexed", 128));
    opened.insert(opened.end(), {"getProgram", "open"});
    EXPECT_EQ(TakeCalls(), opened);
    // A host's order: initialised, uninitialised, closed; here with the
    // editor open and a drag under way.
    ASSERT_FALSE(unit->initialize() || AudioUnitUninitialize(unit->unit()));
    RecordingEffect::last->attachEditor();
    RecordingEffect::last->getEditor()->open(reinterpret_cast<void*>(1));
    tonewright::VST_Callback(RecordingEffect::last->getAeffect(), audioMasterBeginEdit, 12, 0, nullptr, 0);
    Listener listener;
    ClearCalls();
    unit.reset();
    // The plug-in's own automation while it closes reaches no unit.
    EXPECT_EQ(TakeCalls(), (Log{"editor close", "heard end 12", "close", "deleted"}));

    const std::pair<tonewright::EffectFactory, OSStatus> failing[] = {
        {[](audioMasterCallback) -> AudioEffect* { return nullptr; }, kAudioUnitErr_FailedInitialization},
        {[](audioMasterCallback) -> AudioEffect* { throw std::bad_alloc(); }, memFullErr}};
    for (const auto& [factory, status] : failing) {
        const auto previous = tonewright::SetEffectFactory(factory);
        AudioUnit au = nullptr;
        EXPECT_EQ(OpenAComponent(auhost::TonewrightComponent(), &au), status);
        EXPECT_EQ(au, nullptr);
        tonewright::SetEffectFactory(previous);
    }
}

TEST_F(AUCalls, ParameterInfoNamesEveryParameterWithTheRangeAndFlags)
{
    AudioUnitParameterInfo info{};
    for (AudioUnitParameterID id = 0; id < 80; ++id) {
        ASSERT_EQ(Get(au(), kAudioUnitProperty_ParameterInfo, info, kAudioUnitScope_Global, id), noErr);
        EXPECT_EQ(std::tuple(std::string(info.name), auhost::Text(info.cfNameString), info.flags, info.unit,
                             info.minValue, info.maxValue, info.defaultValue),
                  std::tuple("P" + std::to_string(id), "P" + std::to_string(id), 0xE8000011u,
                             kAudioUnitParameterUnit_Generic, 0.0f, 1.0f, 0.5f));
        CFRelease(info.cfNameString);  // the flags say the host releases it
    }
    EXPECT_EQ(TakeCalls(), Range("getParamName", 80));
    EXPECT_EQ(Get(au(), kAudioUnitProperty_ParameterInfo, info, kAudioUnitScope_Global, 80),
              kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(Get(au(), kAudioUnitProperty_ParameterInfo, info, kInput, 3), kAudioUnitErr_InvalidParameter);
    std::vector<AudioUnitParameterID> ids(80), expected(80);
    for (UInt32 i = 0; i < 80; ++i) expected[i] = i;
    ASSERT_EQ(Get(au(), kAudioUnitProperty_ParameterList, ids[0], kAudioUnitScope_Global, 0, 320), noErr);
    EXPECT_EQ(ids, expected);
}

TEST_F(AUCalls, ParametersGoStraightToThePlugInClampedAndRefusedOutsideItsIds)
{
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        AudioUnitParameterID id; AudioUnitElement element; float value; OSStatus status; Log calls;
    } cases[] = {{3, 0, 0.25f, noErr, {"setParameter 3 0.25"}}, {4, 0, 1.5f, noErr, {"setParameter 4 1"}},
                 {5, 0, -2.0f, noErr, {"setParameter 5 0"}}, {6, 0, -inf, noErr, {"setParameter 6 0"}},
                 {79, 0, inf, noErr, {"setParameter 79 1"}},
                 {7, 0, std::nanf(""), kAudioUnitErr_InvalidParameterValue, {}},
                 {80, 0, 0.5f, kAudioUnitErr_InvalidParameter, {}},
                 {0xFFFFFFFFu, 0, 0.5f, kAudioUnitErr_InvalidParameter, {}},
                 {3, 1, 0.5f, kAudioUnitErr_InvalidElement, {}}};
    for (const auto& c : cases) {
        EXPECT_EQ(AudioUnitSetParameter(au(), c.id, kAudioUnitScope_Global, c.element, c.value, 0), c.status) << c.id;
        EXPECT_EQ(TakeCalls(), c.calls) << c.id;
    }
    // Reading asks the plug-in each time, so a change made behind the
    // unit's back (MIDI, the editor) is what the host reads.
    fx->values[9] = 0.875f;
    EXPECT_EQ(unit->parameter(9), 0.875f);
    float value = 0;
    EXPECT_EQ(AudioUnitGetParameter(au(), 80, kAudioUnitScope_Global, 0, &value), kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(TakeCalls(), Log{"getParameter 9"});
}

TEST_F(AUCalls, PresetsAreTheProgramsAsNamedNowAndChoosingOneSelectsItAgainAndReloadsTheParameters)
{
    // Renamed, and given a name that is not UTF-8 (read as Mac Roman).
    fx->names[5] = "Clean \x8Et\x8E";
    fx->names[6] = "Caf\xC3\xA9";
    const auto names = PresetNames(au());
    ASSERT_EQ(names.size(), 128u);
    EXPECT_EQ(Log(names.begin() + 4, names.begin() + 7), (Log{"Program 4", "Clean \xC3\xA9t\xC3\xA9", "Caf\xC3\xA9"}));
    for (float moved : {0.75f, 0.25f}) {
        ClearCalls();
        fx->values[10] = moved;  // the program moves one knob
        ASSERT_EQ(unit->selectPreset(6), noErr);
        // The plug-in does not know the re-selection request: a plain program
        // change follows. The program it then plays is read with its name,
        // every value is read back and the one that moved is announced, read
        // once more.
        Log expected = Range("getParameter", 80,
                             {"vendorSpecific " + std::to_string(tonewright::Effect::kVendorReselectProgram) + " 6",
                              "setProgram 6", "getProgram", "getProgramNameIndexed 6"});
        expected.insert(expected.begin() + 15, {"getParameter 10", "heard 10 = " + Number(moved)});
        // Listeners hear of the present preset after the values, when it moved.
        if (moved == 0.75f) expected.push_back("heard preset 6 Caf\xC3\xA9");
        EXPECT_EQ(TakeCalls(), expected);
        std::string name;
        EXPECT_EQ(unit->presentPreset(&name), 6);
        EXPECT_EQ(name, "Caf\xC3\xA9");
    }
    // Renamed while it is the present preset: the host reads the new name as
    // soon as the list has it, and hears of it; the old one is given back.
    const long live = CFStandInLiveObjects();
    fx->names[6] = "Bistro";
    ClearCalls();
    EXPECT_EQ(PresetNames(au())[6], "Bistro");
    EXPECT_EQ(TakeCalls().back(), "heard preset 6 Bistro");
    std::string name;
    EXPECT_EQ(unit->presentPreset(&name), 6);
    EXPECT_EQ(name, "Bistro");
    EXPECT_EQ(CFStandInLiveObjects(), live);
    EXPECT_EQ(unit->selectPreset(128), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(unit->selectPreset(-7), noErr);  // a user preset: a name only
    EXPECT_EQ(TakeCalls(), Log{});
}

TEST_F(AUCalls, StateIsTheBankChunkWithTheComponentCodesAndRestoreTakesOnlySuchStatesAndSetsValuesWithoutGestures)
{
    const auto saved = static_cast<CFDictionaryRef>(SavedState(au()));
    EXPECT_EQ(TakeCalls(), Log{"getChunk 0"});
    const auto number = [&](const char* key) {
        SInt32 v = -1;
        CFNumberGetValue(static_cast<CFNumberRef>(CFDictionaryGetValue(saved, CFStringMakeConstantString(key))),
                         kCFNumberSInt32Type, &v);
        return UInt32(v);
    };
    EXPECT_EQ(std::tuple(number("version"), number("type"), number("subtype"), number("manufacturer")),
              std::tuple(0u, fourCC('a', 'u', 'm', 'f'), fourCC('Q', 't', 'w', 'r'), fourCC('Q', 'r', 'y', 's')));
    const auto data = static_cast<CFDataRef>(CFDictionaryGetValue(saved, CFSTR("data")));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(CFDataGetBytePtr(data)), size_t(CFDataGetLength(data))),
              fx->chunk);
    EXPECT_EQ(auhost::Text(static_cast<CFStringRef>(CFDictionaryGetValue(saved, CFSTR("name")))), "default");
    EXPECT_EQ(CFDictionaryGetCount(saved), 6);

    // Restored, it reaches the plug-in as a private, terminated copy; when
    // the plug-in takes it (and asks the host to read everything again), the
    // unit reads the program and every value back and announces each,
    // without gestures and without setting anything.
    fx->lastHostBytes = CFDataGetBytePtr(data);
    for (bool accepted : {false, true}) {
        fx->acceptChunks = accepted;
        EXPECT_EQ(Restore(au(), saved), accepted ? noErr : -1);
        EXPECT_TRUE(fx->chunkWasCopy);
        Log expected{"setChunk 0 29"};
        if (accepted) expected.insert(expected.end(), {"getProgram", "getProgramNameIndexed 0"});
        for (int i = 0; accepted && i < 80; ++i) {
            const std::string get = "getParameter " + std::to_string(i);
            expected.insert(expected.end(), {get, get, "heard " + std::to_string(i) + " = 0.5"});
        }
        EXPECT_EQ(TakeCalls(), expected);
    }
    CFRelease(saved);
    fx->chunk.clear();  // no chunk: no state
    EXPECT_EQ(SavedState(au(), -1), nullptr);
    EXPECT_EQ(TakeCalls(), Log{"getChunk 0"});

    // Only this unit's states with data are taken; the plug-in sees no other.
    SInt32 one = 1;
    CFNumberRef wrong = CFNumberCreate(nullptr, kCFNumberSInt32Type, &one);
    CFDataRef empty = CFDataCreate(nullptr, nullptr, 0);
    CFDataRef preset = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>("<TWRPreset>"), 11);
    const struct { const char* key; CFTypeRef value; OSStatus status; } changed[] = {  // a null value: removed
        {"version", wrong, kAudioUnitErr_InvalidPropertyValue}, {"type", wrong, kAudioUnitErr_InvalidPropertyValue},
        {"subtype", wrong, kAudioUnitErr_InvalidPropertyValue},
        {"manufacturer", nullptr, kAudioUnitErr_InvalidPropertyValue}, {"data", nullptr, -1},
        {"data", CFSTR("<TWRChunk>"), -1}, {"data", empty, -1}, {"data", preset, -1}};
    const std::string chunk = "<TWRChunk>";
    for (const auto& c : changed) {
        auto state = const_cast<CFMutableDictionaryRef>(auhost::MakeState({chunk.begin(), chunk.end()}));
        if (c.value)
            CFDictionarySetValue(state, CFStringMakeConstantString(c.key), c.value);
        else
            CFDictionaryRemoveValue(state, CFStringMakeConstantString(c.key));
        EXPECT_EQ(Restore(au(), state), c.status) << c.key;
        CFRelease(state);
    }
    EXPECT_EQ(Restore(au(), nullptr), kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(Restore(au(), CFSTR("state")), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(TakeCalls(), Log{});
    for (CFTypeRef o : {CFTypeRef(wrong), CFTypeRef(empty), CFTypeRef(preset)}) CFRelease(o);
}

// What the plug-in announces from the render thread while a state is being
// restored is no answer of the restore's: a refused state stays refused.
TEST_F(AUCalls, ARefusedStateStaysRefusedWhenTheRenderThreadAnnouncesAChangeMeanwhile)
{
    const CFDictionaryRef state = auhost::MakeState({'<', 'T', 'W', 'R', 'C', 'h', 'u', 'n', 'k', '>'});
    fx->announceMidi = true;
    fx->whileSettingChunk = [&] { std::thread([&] { EXPECT_EQ(unit->midi(0xC0, 5, 0), noErr); }).join(); };
    for (bool accepted : {false, true}) {
        fx->acceptChunks = accepted;
        EXPECT_EQ(Restore(au(), state), accepted ? noErr : -1) << accepted;
    }
    CFRelease(state);
}

TEST_F(AUCalls, SetUpCallsCarryTheRateAndSliceSizeAndRefusedRatesAndChannelsChangeNothing)
{
    const struct {
        AudioUnitScope scope; AudioUnitElement element; Float64 rate; UInt32 size; OSStatus status; Log calls;
    } cases[] = {{kOutput, 0, 48000.0, 8, noErr, {"setSampleRate 48000"}},
                 {kInput, 0, 48000.0, 8, noErr, {}},  // the plug-in runs at the output's rate
                 {kOutput, 0, 12345.0, 8, kAudioUnitErr_FormatNotSupported, {"setSampleRate 12345"}},
                 {kOutput, 0, 96000.0, 4, kAudioUnitErr_InvalidPropertyValue, {}},
                 {kAudioUnitScope_Global, 0, 96000.0, 8, kAudioUnitErr_InvalidScope, {}},
                 {kOutput, 1, 96000.0, 8, kAudioUnitErr_InvalidElement, {}},
                 {kOutput, 0, -1.0, 8, kAudioUnitErr_FormatNotSupported, {}}};
    Float64 rate = 0;
    for (const auto& c : cases) {
        EXPECT_EQ(Set(au(), kAudioUnitProperty_SampleRate, c.rate, c.scope, c.element, c.size), c.status) << c.rate;
        EXPECT_EQ(TakeCalls(), c.calls) << c.rate;
        Get(au(), kAudioUnitProperty_SampleRate, rate, kOutput);
        EXPECT_EQ(rate, 48000.0);
    }
    ASSERT_FALSE(unit->setMaxFrames(700) || unit->initialize());
    EXPECT_EQ(TakeCalls(), (Log{"setSampleRate 48000", "setBlockSize 700"}));
    EXPECT_EQ(Set(au(), kAudioUnitProperty_SampleRate, rate, kOutput), kAudioUnitErr_PropertyNotWritable);
    EXPECT_EQ(unit->setMaxFrames(800), kAudioUnitErr_Initialized);
    EXPECT_EQ(AudioUnitReset(au(), kAudioUnitScope_Global, 0), noErr);
    EXPECT_EQ(TakeCalls(), (Log{"mains 0", "setSampleRate 48000", "mains 1"}));

    // Initialisation takes the two channel configurations it names, at one rate.
    AUChannelInfo named[2];
    ASSERT_EQ(Get(au(), kAudioUnitProperty_SupportedNumChannels, named), noErr);
    EXPECT_EQ(std::vector<int>({named[0].inChannels, named[0].outChannels, named[1].inChannels, named[1].outChannels}),
              std::vector<int>({1, 1, 2, 2}));
    constexpr OSStatus kNo = kAudioUnitErr_FormatNotSupported;
    for (auto [in, out, inRate, status] : {std::tuple(1u, 1u, 44100.0, noErr), std::tuple(2u, 2u, 44100.0, noErr),
                                           std::tuple(1u, 2u, 44100.0, kNo), std::tuple(2u, 1u, 44100.0, kNo),
                                           std::tuple(2u, 2u, 48000.0, kNo)}) {
        AudioUnitUninitialize(au());
        ASSERT_FALSE(Set(au(), kAudioUnitProperty_StreamFormat, CanonicalFormat(inRate, in), kInput) ||
                     Set(au(), kAudioUnitProperty_StreamFormat, CanonicalFormat(44100, out), kOutput));
        EXPECT_EQ(AudioUnitInitialize(au()), status) << in << " in, " << out << " out at " << inRate;
    }
}

TEST_F(AUCalls, BufferListsAreStereoOnlyWhenBothHoldTwoAndClampedToTheirSizesAndBypassLeavesThePlugInOut)
{
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
    float in[2][8], out[2][8];
    const struct {
        UInt32 channels, inBuffers, outBuffers, inBytes, outBytes;
        bool nullData, bypass;
        OSStatus status;
        Log calls;
        int frames;  // written by the plug-in (doubled) or, bypassed, copied
    } cases[] = {{2, 2, 2, 32, 32, false, false, noErr, {"process 2 in 2 out 8"}, 8},
                 {1, 1, 1, 32, 32, false, false, noErr, {"process 1 in 1 out 8"}, 8},
                 {2, 2, 1, 32, 32, false, false, noErr, {"process 1 in 1 out 8"}, 8},
                 {1, 1, 2, 32, 32, false, false, noErr, {"process 1 in 1 out 8"}, 8},  // the second output copies
                 {2, 2, 2, 32, 20, false, false, noErr, {"process 2 in 2 out 5"}, 5},
                 {2, 2, 2, 12, 32, false, false, noErr, {"process 2 in 2 out 3"}, 3},  // the rest is silence
                 {2, 2, 2, 32, 32, true, false, paramErr, {}, 0},
                 {2, 0, 2, 32, 32, false, false, paramErr, {}, 0},
                 {2, 2, 2, 32, 32, false, true, noErr, {}, 8}};
    for (const auto& c : cases) {
        Input input{c.inBuffers, c.inBytes, c.nullData, in};
        AudioUnitUninitialize(au());
        ASSERT_EQ(Set(au(), kAudioUnitProperty_SetRenderCallback, AURenderCallbackStruct{Input::pull, &input}, kInput),
                  noErr);
        ASSERT_FALSE(unit->setFormat(44100, int(c.channels)) || unit->setMaxFrames(8) || unit->initialize() ||
                     Set(au(), kAudioUnitProperty_BypassEffect, UInt32(c.bypass)));
        AudioBufferListStorage outList(c.outBuffers);
        for (UInt32 b = 0; b < 2; ++b)
            for (int i = 0; i < 8; ++i) in[b][i] = float(b * 10 + i + 1), out[b][i] = -99.0f;
        for (UInt32 b = 0; b < c.outBuffers; ++b) outList.list().mBuffers[b] = {1, c.outBytes, out[b]};
        ClearCalls();
        AudioUnitRenderActionFlags flags = 0;
        const AudioTimeStamp time{0, 0, 0};
        EXPECT_EQ(AudioUnitRender(au(), &flags, &time, 0, 8, &outList.list()), c.status);
        EXPECT_EQ(TakeCalls(), c.calls);
        const bool stereo = c.inBuffers == 2 && c.outBuffers == 2;
        for (UInt32 b = 0; b < c.outBuffers; ++b)
            for (UInt32 i = 0; i < std::min<UInt32>(8, c.outBytes / 4); ++i)
                EXPECT_EQ(out[b][i], int(i) < c.frames ? (c.bypass ? 1 : 2) * in[stereo ? b : 0][i] : 0.0f) << b << i;
    }
    // MIDI reaches the plug-in as one VST event each.
    EXPECT_EQ(unit->midi(0xC2, 9, 0, 7), noErr);
    EXPECT_EQ(unit->midi(0xB5, 0x87, 0x40, 0), noErr);  // data bytes are 7 bits
    EXPECT_EQ(TakeCalls(), (Log{"midi type 1 size 32 at 7: c2 09 00 00", "midi type 1 size 32 at 0: b5 07 40 00"}));
}

TEST_F(AUCalls, PropertiesOfTheUnitItselfAskNothingOfThePlugIn)
{
    void* address = nullptr;
    UInt64 reserved = ~0ull;
    Float64 latency = -1, tail = -1;
    AudioUnitCocoaViewInfo view{};
    const std::pair<OSStatus, OSStatus> statuses[] = {  // made in order: given, expected
        {Get(au(), 5000, address), noErr}, {Set(au(), 5000, address), kAudioUnitErr_PropertyNotWritable},
        {Get(au(), 5001, reserved), noErr}, {Set(au(), 5001, reserved), noErr},
        {Set(au(), 5001, reserved, kAudioUnitScope_Global, 0, 4), kAudioUnitErr_InvalidPropertyValue},
        {Get(au(), kAudioUnitProperty_Latency, latency), noErr}, {Get(au(), kAudioUnitProperty_TailTime, tail), noErr},
        {Get(au(), 31, view), kAudioUnitErr_InvalidProperty}};  // a Cocoa view only where the bundle is found
    for (size_t i = 0; i < std::size(statuses); ++i) EXPECT_EQ(statuses[i].first, statuses[i].second) << i;
    EXPECT_EQ(std::tuple(address, reserved, latency, tail), std::tuple(static_cast<void*>(fx), UInt64{0}, 0.0, 0.0));
    EXPECT_EQ(TakeCalls(), Log{});

    CFURLRef where = CFURLCreateWithFileSystemPath(nullptr, CFSTR("/Library/Audio/Plug-Ins/Components/TWR.component"),
                                                   kCFURLPOSIXPathStyle, true);
    CFStandInRegisterBundle(CFSTR("com.quarrystone.twr.au"), where);
    ASSERT_EQ(Get(au(), 31, view), noErr);
    UInt8 path[256] = {};
    CFURLGetFileSystemRepresentation(view.mCocoaAUViewBundleLocation, true, path, sizeof path);
    EXPECT_STREQ(reinterpret_cast<char*>(path), "/Library/Audio/Plug-Ins/Components/TWR.component");
    EXPECT_EQ(auhost::Text(view.mCocoaAUViewClass[0]), "QRN_TWR_AUCocoaUI");
    CFStandInRegisterBundle(CFSTR("com.quarrystone.twr.au"), nullptr);
    CFRelease(where);
    CFRelease(view.mCocoaAUViewBundleLocation);
    CFRelease(view.mCocoaAUViewClass[0]);
}

TEST_F(AUCalls, TheHostCallbackAnswersEachOpcodeAndTurnsAutomationIntoParameterChangesAndGestures)
{
    AEffect orphan{};
    AEffect* e = fx->getAeffect();
    const struct { AEffect* effect; VstInt32 opcode, index; float opt; VstIntPtr answer; Log calls; } rows[] = {
        {nullptr, audioMasterVersion, 0, 0, 2, {}}, {nullptr, audioMasterAutomate, 3, 0.5f, 0, {}},
        {&orphan, audioMasterVersion, 0, 0, 2, {}}, {&orphan, audioMasterBeginEdit, 3, 0, 0, {}},
        {e, audioMasterVersion, 0, 0, 2, {}}, {e, audioMasterWantMidi, 0, 0, 0, {}}, {e, audioMasterIdle, 0, 0, 0, {}},
        // A single change outside a drag is a gesture of its own.
        {e, audioMasterAutomate, 5, 0.3f, 0, {"heard begin 5", "setParameter 5 0.3", "heard 5 = 0.3", "heard end 5"}},
        {e, audioMasterAutomate, 80, 0.3f, 0, {}}, {e, audioMasterAutomate, -1, 0.3f, 0, {}},
        {e, audioMasterBeginEdit, 80, 0, 0, {}}, {e, audioMasterEndEdit, -1, 0, 0, {}},
        // A drag: begin, changes without gestures of their own, end.
        {e, audioMasterBeginEdit, 7, 0, 1, {"heard begin 7"}},
        {e, audioMasterAutomate, 7, 0.1f, 0, {"setParameter 7 0.1", "heard 7 = 0.1"}},
        {e, audioMasterAutomate, 7, 0.2f, 0, {"setParameter 7 0.2", "heard 7 = 0.2"}},
        {e, audioMasterEndEdit, 7, 0, 1, {"heard end 7"}}};
    for (const auto& row : rows) {
        EXPECT_EQ(tonewright::VST_Callback(row.effect, row.opcode, row.index, 0, nullptr, row.opt), row.answer)
            << row.opcode;
        EXPECT_EQ(TakeCalls(), row.calls) << row.opcode << " " << row.index;
    }
}
