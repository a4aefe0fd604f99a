// The stand-in layers themselves: CoreFoundation's ownership rules and
// conversions, handles of closed instances, and the base classes' checks
// on properties and rendering.

#include "AUHarness.h"

using namespace au_test;

TEST_F(UnitTest, AUStandInObjectsLiveWhileReferencedAndCollectionsHoldWhatTheyAreToldTo)
{
    SInt32 seven = 7;
    CFNumberRef value = CFNumberCreate(nullptr, kCFNumberSInt32Type, &seven);
    CFStringRef key = CFStringCreateWithCString(nullptr, "key", kCFStringEncodingUTF8);
    CFMutableDictionaryRef dict =
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFDictionarySetValue(dict, key, value);
    EXPECT_EQ(std::pair(CFGetRetainCount(key), CFGetRetainCount(value)), std::pair(CFIndex(2), CFIndex(2)));
    // Keys match by text; a value set again replaces (and releases) the old.
    CFDictionarySetValue(dict, CFSTR("key"), CFSTR("other"));
    EXPECT_EQ(std::pair(CFGetRetainCount(value), CFDictionaryGetCount(dict)), std::pair(CFIndex(1), CFIndex(1)));
    EXPECT_EQ(CFDictionaryGetValue(dict, key), CFSTR("other"));
    // Arrays without call-backs hold plain pointers.
    const void* items[2] = {&seven, value};
    CFArrayRef raw = CFArrayCreate(nullptr, items, 2, nullptr);
    CFArrayRef counted = CFArrayCreate(nullptr, items + 1, 1, &kCFTypeArrayCallBacks);
    EXPECT_EQ(CFGetRetainCount(value), 2);
    EXPECT_EQ(CFArrayGetValueAtIndex(raw, 0), &seven);
    EXPECT_EQ(CFArrayGetValueAtIndex(raw, 2), nullptr);
    for (CFTypeRef o : {CFTypeRef(raw), CFTypeRef(counted), CFTypeRef(dict), CFTypeRef(key), CFTypeRef(value)})
        CFRelease(o);
    CFRelease(CFSTR("constants are never freed"));
    EXPECT_EQ(auhost::Text(CFSTR("constants are never freed")), "constants are never freed");

    const struct {
        const char* bytes;
        CFStringEncoding from;
        const char* utf8;  // null: refused
        bool macRoman;     // whether it can be written back as Mac Roman
    } cases[] = {
        {"Caf\xC3\xA9", kCFStringEncodingUTF8, "Caf\xC3\xA9", true},
        {"Caf\xE9", kCFStringEncodingUTF8, nullptr, false},
        {"Caf\x8E \xA5", kCFStringEncodingMacRoman, "Caf\xC3\xA9 \xE2\x80\xA2", true},
        {"\xE2\x82\xAC", kCFStringEncodingUTF8, "\xE2\x82\xAC", true},  // the euro sign is Mac Roman 0xDB
        {"\xE6\x97\xA5", kCFStringEncodingUTF8, "\xE6\x97\xA5", false},
        {"na\xC3\xAFve", kCFStringEncodingASCII, nullptr, false},
    };
    for (const auto& c : cases) {
        CFStringRef s = CFStringCreateWithCString(nullptr, c.bytes, c.from);
        ASSERT_EQ(s != nullptr, c.utf8 != nullptr) << c.bytes;
        if (!s) continue;
        EXPECT_EQ(auhost::Text(s), c.utf8);
        char back[64];
        EXPECT_EQ(bool(CFStringGetCString(s, back, sizeof back, kCFStringEncodingMacRoman)), c.macRoman) << c.bytes;
        EXPECT_FALSE(CFStringGetCString(s, back, 2, kCFStringEncodingUTF8)) << "no room";
        CFRelease(s);
    }
    // Numbers read as SInt32 only when they are whole and fit.
    const double half = 0.5, whole = 3.0;
    const SInt64 big = SInt64{1} << 40;
    CFNumberRef numbers[] = {CFNumberCreate(nullptr, kCFNumberFloat64Type, &half),
                             CFNumberCreate(nullptr, kCFNumberFloat64Type, &whole),
                             CFNumberCreate(nullptr, kCFNumberSInt64Type, &big)};
    SInt32 i32[3] = {};
    for (int i = 0; i < 3; ++i) EXPECT_EQ(bool(CFNumberGetValue(numbers[i], kCFNumberSInt32Type, &i32[i])), i == 1);
    EXPECT_EQ(i32[1], 3);
    for (CFNumberRef n : numbers) CFRelease(n);
}

TEST_F(UnitTest, AUStandInChecksHandlesPropertiesAndRenderingBeforeTheUnitSeesThem)
{
    UseRecordingEffect recording;
    // A closed instance's handle fails every call, even when its place is reused.
    AudioUnit closed = nullptr;
    ASSERT_EQ(OpenAComponent(auhost::TonewrightComponent(), &closed), noErr);
    ASSERT_EQ(AudioUnitInitialize(closed), noErr);
    ASSERT_EQ(CloseComponent(closed), noErr);  // closed while initialised
    auto unit = OpenUnit();
    const AudioUnit au = unit->unit();
    EXPECT_NE(au, closed);
    float value = 0;
    AudioUnitRenderActionFlags flags = 0;
    const AudioTimeStamp time{};
    AudioBufferListStorage list(2);
    ComponentDescription d{};
    EXPECT_EQ(AudioUnitGetParameter(closed, 0, kAudioUnitScope_Global, 0, &value), badComponentInstance);
    EXPECT_EQ(Set(closed, 5001, value, kAudioUnitScope_Global, 0, 8), badComponentInstance);
    EXPECT_EQ(Get(closed, 14, value), badComponentInstance);
    EXPECT_EQ(AudioUnitRender(closed, &flags, &time, 0, 8, &list.list()), badComponentInstance);
    EXPECT_EQ(MusicDeviceMIDIEvent(closed, 0xC0, 1, 0, 0), badComponentInstance);
    EXPECT_EQ(GetComponentInfo(reinterpret_cast<Component>(closed), &d, nullptr, nullptr, nullptr), paramErr);
    EXPECT_EQ(CloseComponent(closed), paramErr);
    EXPECT_EQ(AudioUnitGetParameter(au, 0, kAudioUnitScope_Global, 0, &value), noErr);

    UInt32 frames = 0, size = 4;
    EXPECT_EQ(Get(au, kAudioUnitProperty_MaximumFramesPerSlice, frames, kAudioUnitScope_Global, 0, 2),
              kAudioUnitErr_InvalidPropertyValue);  // too little room
    for (UInt32 bad : {0u, 65537u}) EXPECT_EQ(unit->setMaxFrames(bad), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(AudioUnitGetPropertyInfo(au, 999, kAudioUnitScope_Global, 0, &size, nullptr),
              kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(AudioUnitGetPropertyInfo(au, kAudioUnitProperty_StreamFormat, 7, 0, &size, nullptr),
              kAudioUnitErr_InvalidScope);
    EXPECT_EQ(Set(au, kAudioUnitProperty_Latency, 0.0), kAudioUnitErr_PropertyNotWritable);
    AudioStreamBasicDescription interleaved = CanonicalFormat(44100, 2);
    interleaved.mFormatFlags &= ~kAudioFormatFlagIsNonInterleaved;
    EXPECT_EQ(Set(au, kAudioUnitProperty_StreamFormat, interleaved, kAudioUnitScope_Input),
              kAudioUnitErr_FormatNotSupported);

    float a[64] = {}, b[64] = {};
    float* buffers[2] = {a, b};
    EXPECT_EQ(unit->render(buffers, buffers, 64), kAudioUnitErr_Uninitialized);
    ASSERT_FALSE(unit->setMaxFrames(32) || unit->initialize());
    EXPECT_EQ(unit->render(buffers, buffers, 64), kAudioUnitErr_TooManyFramesToProcess);
    EXPECT_EQ(AudioUnitRender(au, &flags, &time, 1, 8, &list.list()), kAudioUnitErr_InvalidElement);
    AudioUnitUninitialize(au);
    const AURenderCallbackStruct none{nullptr, nullptr};
    ASSERT_EQ(Set(au, kAudioUnitProperty_SetRenderCallback, none, kAudioUnitScope_Input), noErr);
    ASSERT_EQ(unit->initialize(), noErr);
    EXPECT_EQ(unit->render(buffers, buffers, 16), kAudioUnitErr_NoConnection);
    EXPECT_EQ(Set(au, kAudioUnitProperty_SetRenderCallback, none, kAudioUnitScope_Input), kAudioUnitErr_Initialized);
}
