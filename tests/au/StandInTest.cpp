// The stand-in layers where the unit leans on them: the live-object count
// every fixture ends on, handles of closed instances, the base classes'
// checks on property and render arguments, and the calls it aborts on as
// CoreFoundation crashes on them.

#include <functional>

#include "AUHarness.h"

using namespace au_test;

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
    const std::pair<std::function<void()>, const char*> calls[] = {
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
    for (const auto& [call, message] : calls) EXPECT_DEATH(call(), message);
    // What CoreFoundation takes: no bundle for no identifier, plain pointers
    // (NULL among them) in collections that do not retain.
    EXPECT_EQ(CFBundleGetBundleWithIdentifier(nullptr), nullptr);
    const auto plain = CFDictionaryCreateMutable(nullptr, 0, nullptr, nullptr);
    CFDictionarySetValue(plain, nullptr, &one);
    EXPECT_EQ(CFDictionaryGetValue(plain, nullptr), &one);
    for (CFTypeRef o : {CFTypeRef(number), CFTypeRef(array), CFTypeRef(dict), CFTypeRef(plain)}) CFRelease(o);
    EXPECT_EQ(CFStandInLiveObjects(), 0);
}
