// The stand-in layers where the unit leans on them: the live-object count
// every fixture ends on, handles of closed instances, and the base classes'
// checks on property and render arguments.

#include "AUHarness.h"

using namespace tonewright;
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
