// The stand-in layers where the unit leans on them: the live-object count
// every fixture ends on, handles of closed instances, the base classes'
// checks on property and render arguments, the calls it aborts on as
// CoreFoundation crashes on them, events notified inside render calls held
// for the listeners' run loop, and a present preset set and read on many
// threads at once.

#include <atomic>
#include <functional>
#include <thread>

#include "AUHarness.h"
#include "DspTestKit.h"
#include "LockCounter.h"

using namespace tonewright;
using namespace au_test;

namespace {

AudioUnitEvent Gesture(AudioUnit au, AudioUnitEventType type, AudioUnitParameterID id)
{
    return {type, {{au, id, kAudioUnitScope_Global, 0}}};
}
AudioUnitEvent PresentPresetChanged(AudioUnit au)
{
    AudioUnitEvent event{kAudioUnitEvent_PropertyChange, {}};
    event.mArgument.mProperty = {au, kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0};
    return event;
}

// Renders 8 frames of a unit whose input callback runs `during` (inside the
// render call).
class RenderCallback {
public:
    explicit RenderCallback(AudioUnit unit) : au(unit)
    {
        EXPECT_EQ(Set(au, kAudioUnitProperty_SetRenderCallback, AURenderCallbackStruct{pull, this},
                      kAudioUnitScope_Input),
                  noErr);
        EXPECT_EQ(AudioUnitInitialize(au), noErr);
    }
    void render(std::function<void()> inside)
    {
        during = std::move(inside);
        AudioUnitRenderActionFlags flags = 0;
        const AudioTimeStamp time{0, 0, 0};
        for (UInt32 c = 0; c < 2; ++c) output.list().mBuffers[c] = {1, sizeof samples[c], samples[c]};
        EXPECT_EQ(AudioUnitRender(au, &flags, &time, 0, 8, &output.list()), noErr);
    }

private:
    static OSStatus pull(void* self, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32,
                         AudioBufferList*)
    {
        static_cast<RenderCallback*>(self)->during();
        return noErr;
    }
    AudioUnit au;
    std::function<void()> during;
    AudioBufferListStorage output{2};
    float samples[2][8] = {};
};

}  // namespace

TEST_F(UnitTest, AUStandInCountsLiveObjectsAndRefusesClosedHandlesAndBadArgumentsBeforeTheUnitSeesThem)
{
    const long live = CFStandInLiveObjects();
    CFStringRef text = CFStringCreateWithCString(nullptr, "x", kCFStringEncodingUTF8);
    CFRetain(text);
    CFRelease(text);
    EXPECT_EQ(CFStandInLiveObjects(), live + 1);
    CFRelease(text);
    CFRelease(CFSTR("constants are never freed"));
    EXPECT_EQ(CFStandInLiveObjects(), live);

    UseRecordingEffect recording;
    AudioUnit closed = nullptr;  // closed while initialised; its place is then reused
    ASSERT_FALSE(OpenAComponent(auhost::TonewrightComponent(), &closed) || AudioUnitInitialize(closed) ||
                 CloseComponent(closed));
    auto unit = OpenUnit();
    const AudioUnit au = unit->unit();
    ASSERT_NE(au, closed);
    float value = 0, a[64] = {}, b[64] = {};
    float* buffers[2] = {a, b};
    UInt32 frames = 0, size = 4;
    AudioUnitRenderActionFlags flags = 0;
    const AudioTimeStamp time{};
    AudioBufferListStorage list(2);
    ComponentDescription d{};
    AudioStreamBasicDescription interleaved = CanonicalFormat(44100, 2);
    interleaved.mFormatFlags &= ~kAudioFormatFlagIsNonInterleaved;
    const AURenderCallbackStruct none{nullptr, nullptr};
    constexpr auto kGlobal = kAudioUnitScope_Global, kInput = kAudioUnitScope_Input;
    // Made in order: the status each call gave, and the one it should.
    const std::pair<OSStatus, OSStatus> rows[] = {
        {AudioUnitGetParameter(closed, 0, kGlobal, 0, &value), badComponentInstance},
        {Set(closed, 5001, value, kGlobal, 0, 8), badComponentInstance},
        {Get(closed, 14, value), badComponentInstance},
        {AudioUnitRender(closed, &flags, &time, 0, 8, &list.list()), badComponentInstance},
        {MusicDeviceMIDIEvent(closed, 0xC0, 1, 0, 0), badComponentInstance},
        {GetComponentInfo(reinterpret_cast<Component>(closed), &d, nullptr, nullptr, nullptr), paramErr},
        {CloseComponent(closed), paramErr},
        {AudioUnitGetParameter(au, 0, kGlobal, 0, &value), noErr},
        {Get(au, kAudioUnitProperty_MaximumFramesPerSlice, frames, kGlobal, 0, 2), kAudioUnitErr_InvalidPropertyValue},
        {unit->setMaxFrames(0), kAudioUnitErr_InvalidPropertyValue},
        {unit->setMaxFrames(65537), kAudioUnitErr_InvalidPropertyValue},
        {AudioUnitGetPropertyInfo(au, 999, kGlobal, 0, &size, nullptr), kAudioUnitErr_InvalidProperty},
        {AudioUnitGetPropertyInfo(au, kAudioUnitProperty_StreamFormat, 7, 0, &size, nullptr),
         kAudioUnitErr_InvalidScope},
        {Set(au, kAudioUnitProperty_Latency, 0.0), kAudioUnitErr_PropertyNotWritable},
        {Set(au, kAudioUnitProperty_StreamFormat, interleaved, kInput), kAudioUnitErr_FormatNotSupported},
        {unit->render(buffers, buffers, 64), kAudioUnitErr_Uninitialized},
        {unit->setMaxFrames(32), noErr},
        {unit->initialize(), noErr},
        {unit->render(buffers, buffers, 64), kAudioUnitErr_TooManyFramesToProcess},
        {AudioUnitRender(au, &flags, &time, 1, 8, &list.list()), kAudioUnitErr_InvalidElement},
        {AudioUnitUninitialize(au), noErr},
        {Set(au, kAudioUnitProperty_SetRenderCallback, none, kInput), noErr},
        {unit->initialize(), noErr},
        {unit->render(buffers, buffers, 16), kAudioUnitErr_NoConnection},
        {Set(au, kAudioUnitProperty_SetRenderCallback, none, kInput), kAudioUnitErr_Initialized}};
    for (size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(rows[i].first, rows[i].second) << "row " << i;
}

// Where CoreFoundation crashes, the stand-in aborts too, so that a unit
// leaning on its leniency fails here rather than in a host.
TEST(AUStandInDeathTest, CoreFoundationCallsAbortOnNullObjectsObjectsOfAnotherTypeAndIndicesOutside)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    SInt32 one = 1;
    const CFStringRef text = CFSTR("text");
    const auto number = CFNumberCreate(nullptr, kCFNumberSInt32Type, &one);
    const auto array = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
    const auto dict =
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    const auto asData = reinterpret_cast<CFDataRef>(number);
    char buffer[8];
    const std::pair<std::function<void()>, const char*> faults[] = {
        {[] { CFRelease(nullptr); }, "CFRelease called with NULL"},
        {[] { CFRetain(nullptr); }, "CFRetain called with NULL"},
        {[] { CFGetTypeID(nullptr); }, "CFGetTypeID called with NULL"},
        {[] { CFGetRetainCount(nullptr); }, "CFGetRetainCount called with NULL"},
        {[&] { CFEqual(text, nullptr); }, "CFEqual called with NULL"},
        {[&] { CFDataGetLength(asData); }, "CFDataGetLength called with an object of another type"},
        {[&] { CFDataGetBytePtr(nullptr); }, "CFDataGetBytePtr called with NULL"},
        {[&] { CFNumberGetValue(reinterpret_cast<CFNumberRef>(text), kCFNumberSInt32Type, &one); },
         "CFNumberGetValue called with an object of another type"},
        {[&] { CFStringGetCString(nullptr, buffer, 8, kCFStringEncodingUTF8); }, "CFStringGetCString called with NULL"},
        {[&] { CFDictionaryGetValue(reinterpret_cast<CFDictionaryRef>(array), text); },
         "CFDictionaryGetValue called with an object of another type"},
        {[&] { CFDictionarySetValue(dict, text, nullptr); }, "CFDictionarySetValue called with a NULL value"},
        {[&] { CFDictionaryGetValue(dict, nullptr); }, "CFDictionaryGetValue called with a NULL key"},
        {[&] { CFArrayAppendValue(array, nullptr); }, "CFArrayAppendValue called with a NULL value"},
        {[&] { CFArrayGetValueAtIndex(array, 0); }, "CFArrayGetValueAtIndex called with an index outside"},
        {[&] { CFArrayGetCount(reinterpret_cast<CFArrayRef>(dict)); }, "CFArrayGetCount called with an object of"},
        {[] { CFDataCreate(nullptr, nullptr, 4); }, "CFDataCreate called with no bytes"},
        {[] { CFStringCreateWithCString(nullptr, nullptr, kCFStringEncodingUTF8); },
         "CFStringCreateWithCString called with NULL text"},
        {[] { CFNumberCreate(nullptr, kCFNumberSInt32Type, nullptr); }, "CFNumberCreate called with NULL value"},
        {[] { CFBundleCopyBundleURL(nullptr); }, "CFBundleCopyBundleURL called with NULL"},
        {[&] { CFURLGetFileSystemRepresentation(reinterpret_cast<CFURLRef>(text), true, nullptr, 0); },
         "CFURLGetFileSystemRepresentation called with an object of another type"},
    };
    for (const auto& [call, message] : faults) EXPECT_DEATH(call(), message);
    // What CoreFoundation takes: no bundle for no identifier, plain pointers
    // (NULL among them) in collections that do not retain.
    EXPECT_EQ(CFBundleGetBundleWithIdentifier(nullptr), nullptr);
    const auto plain = CFDictionaryCreateMutable(nullptr, 0, nullptr, nullptr);
    CFDictionarySetValue(plain, nullptr, &one);
    EXPECT_EQ(CFDictionaryGetValue(plain, nullptr), &one);
    for (CFTypeRef o : {CFTypeRef(number), CFTypeRef(array), CFTypeRef(dict), CFTypeRef(plain)}) CFRelease(o);
    EXPECT_EQ(CFStandInLiveObjects(), 0);
}

// The framework delivers notifications on the listeners' run loop, so a unit
// may notify from its render thread: there they wait, without a lock, an
// allocation or a free, for the next notification from another thread or a
// turn of the run loop, and are heard in order with the values they had.
TEST_F(UnitTest, AUStandInHoldsWhatRenderCallsNotifyForTheListenersRunLoopInOrder)
{
    UseRecordingEffect recording;
    auto unit = OpenUnit();
    const AudioUnit au = unit->unit();
    RenderCallback renders(au);
    const auto notifyInside = [&](std::vector<AudioUnitEvent> events) {
        renders.render([&] {
            testkit::AllocationCounter allocations;
            const testkit::LockCounter locks;
            for (const AudioUnitEvent& e : events) EXPECT_EQ(AUEventListenerNotify(nullptr, nullptr, &e), noErr);
            EXPECT_EQ(std::pair(allocations.count(), allocations.freed()), std::pair(0L, 0L));
            EXPECT_TRUE(locks.noneTaken("by notifications in a render call")) << locks.describe();
        });
    };
    ASSERT_EQ(Set(au, kAudioUnitProperty_PresentPreset, AUPreset{-3, CFSTR("held")}), noErr);
    auto listener = std::make_unique<Listener>();
    ClearCalls();
    notifyInside({Gesture(au, kAudioUnitEvent_BeginParameterChangeGesture, 3), PresentPresetChanged(au),
                  Gesture(au, kAudioUnitEvent_EndParameterChangeGesture, 3)});
    EXPECT_EQ(TakeCalls(), Log{"process 2 in 2 out 8"});
    const AudioUnitEvent outside = Gesture(au, kAudioUnitEvent_BeginParameterChangeGesture, 9);
    EXPECT_EQ(AUEventListenerNotify(nullptr, nullptr, &outside), noErr);
    EXPECT_EQ(TakeCalls(), (Log{"heard begin 3", "heard preset -3 held", "heard end 3", "heard begin 9"}));

    // A value as it was when notified; the queue's size; nothing notified
    // before a listener was made reaches it, and nothing is kept for nobody.
    renders.render([&] {
        RecordingEffect::last->values[5] = 0.25f;
        const AudioUnitEvent value = Gesture(au, kAudioUnitEvent_ParameterValueChange, 5);
        AUEventListenerNotify(nullptr, nullptr, &value);
        RecordingEffect::last->values[5] = 0.75f;
    });
    ClearCalls();
    EXPECT_EQ(AUEventListenerStandInDeliver(), 1);
    EXPECT_EQ(TakeCalls(), Log{"heard 5 = 0.25"});
    notifyInside(std::vector<AudioUnitEvent>(4100, outside));
    EXPECT_EQ(AUEventListenerStandInDeliver(), 4096);
    notifyInside({Gesture(au, kAudioUnitEvent_EndParameterChangeGesture, 2)});
    ClearCalls();
    {
        const Listener later;  // what waited is heard once, by the listener there was
        EXPECT_EQ(TakeCalls(), Log{"heard end 2"});
    }
    listener.reset();
    notifyInside({outside});
    ClearCalls();
    listener = std::make_unique<Listener>();
    EXPECT_EQ(AUEventListenerStandInDeliver(), 0);
    EXPECT_EQ(TakeCalls(), Log{});
}

// A unit may change the present preset on its render thread while hosts
// read it and choose others: no reader ever sees one preset's number with
// another's name, no writer takes a lock or makes anything, and every name
// is given back.
TEST_F(UnitTest, AUStandInPresentPresetIsOneWordThatThreadsSetAndReadWithoutLocksOrTornPresets)
{
    UseRecordingEffect recording;
    auto unit = OpenUnit();
    const AudioUnit au = unit->unit();
    std::vector<CFStringRef> names;
    for (int i = 0; i < 16; ++i) {
        const std::string name = "user " + std::to_string(i);
        names.push_back(CFStringCreateWithCString(nullptr, name.c_str(), kCFStringEncodingUTF8));
    }
    ASSERT_EQ(Set(au, kAudioUnitProperty_PresentPreset, AUPreset{-1, names[0]}), noErr);
    std::atomic<int> torn{0}, readersStarted{0}, writersDone{0}, reads{0};
    std::atomic<long> locked{0}, madeOrFreed{0};
    // What a thread took and made while it ran `work`.
    const auto measured = [&](const std::function<void()>& work) {
        testkit::AllocationCounter allocations;
        const testkit::LockCounter locks;
        work();
        madeOrFreed += allocations.count() + allocations.freed();
        locked += !locks.noneTaken("by threads setting and reading the present preset");
    };
    std::vector<std::thread> threads;
    for (int w = 0; w < 2; ++w)
        threads.emplace_back([&, w] {
            while (readersStarted.load() < 2) std::this_thread::yield();
            measured([&] {
                for (int k = 0; k < 20000; ++k) {
                    const int i = (k * 7 + w * 3) % 16;
                    torn += Set(au, kAudioUnitProperty_PresentPreset, AUPreset{-1 - i, names[size_t(i)]}) != noErr;
                }
            });
            ++writersDone;
        });
    for (int r = 0; r < 2; ++r)
        threads.emplace_back([&] {
            ++readersStarted;
            measured([&] {
                while (writersDone.load() < 2) {
                    AUPreset p{0, nullptr};
                    torn += Get(au, kAudioUnitProperty_PresentPreset, p) != noErr || !p.presetName ||
                            p.presetName != names[size_t(-1 - p.presetNumber) % 16];
                    if (p.presetName) CFRelease(p.presetName);
                    ++reads;
                }
            });
        });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_GT(reads.load(), 100);
    EXPECT_EQ(std::pair(madeOrFreed.load(), locked.load()), std::pair(0L, 0L));
    std::string name;
    const int last = unit->presentPreset(&name);
    EXPECT_EQ(name, "user " + std::to_string(-1 - last));
    unit.reset();
    for (CFStringRef n : names) {
        EXPECT_EQ(CFGetRetainCount(n), 1);
        CFRelease(n);
    }
}
