// The unit with the real plug-in: saved states restored into fresh units
// (programs, parameters and sound), malformed states, presets, the
// audio against the plug-in's own VST entry, allocation-free rendering
// and construction when memory runs out.

#include <array>
#include <cmath>
#include <functional>

#include "AUHarness.h"
#include "DspTestKit.h"
#include "PluginHarness.h"
#include "VstHost.h"

using namespace tonewright;
using namespace au_test;

namespace {

std::unique_ptr<auhost::Unit> ReadyUnit(double rate = 44100.0, int channels = 2, UInt32 maxFrames = 512)
{
    auto unit = OpenUnit();
    EXPECT_FALSE(unit->setFormat(rate, channels) || unit->setMaxFrames(maxFrames) || unit->initialize());
    return unit;
}

AudioClip Render(auhost::Unit& unit, const AudioClip& in, const offline::BlockSchedule& blocks)
{
    const offline::BlockProcess process = [&](float** inputs, float** outputs, int n) {
        EXPECT_EQ(unit.render(inputs, outputs, UInt32(n)), noErr);
    };
    return offline::render(process, unit.channels(), unit.channels(), in, unit.channels(), blocks);
}

// The references a property value holds for its caller to release (an
// array: the caller may be out of memory).
using Refs = std::array<CFTypeRef, 2>;
Refs References(CFTypeRef value) { return {value}; }
Refs References(const AudioUnitParameterInfo& info)
{
    return {info.flags & kAudioUnitParameterFlag_CFNameRelease ? info.cfNameString : nullptr};
}
Refs References(const AudioUnitCocoaViewInfo& view)
{
    return {view.mCocoaAUViewBundleLocation, view.mCocoaAUViewClass[0]};
}

tonewright::Effect& PlugIn(auhost::Unit& unit) { return static_cast<tonewright::Effect&>(EffectOf(unit.unit())); }

}  // namespace

TEST_F(RealUnitTest, AUSavedStateRestoresProgramsParametersAndSoundInAFreshUnitWithoutGestures)
{
    auto saved = ReadyUnit();
    ASSERT_EQ(saved->selectPreset(88), noErr);
    ASSERT_EQ(saved->setParameter(30, 0.1875f), noErr);  // values the chunk's text carries exactly
    ASSERT_EQ(saved->setParameter(74, 1.0f), noErr);
    char name[] = "Saved Lead";
    PlugIn(*saved).getAeffect()->dispatcher(PlugIn(*saved).getAeffect(), effSetProgramName, 0, 0, name, 0.0f);
    CFPropertyListRef state = SavedState(saved->unit());

    auto restored = ReadyUnit();
    ASSERT_NE(PresetNames(restored->unit())[88], "Saved Lead");
    Listener listener;
    ClearCalls();
    ASSERT_EQ(Restore(restored->unit(), state), noErr);
    CFRelease(state);
    // Every value is announced, none wrapped in a gesture, then the preset.
    const Log heard = TakeCalls();
    ASSERT_EQ(heard.size(), 81u);
    EXPECT_EQ(heard[80], "heard preset 88 Saved Lead");
    for (AudioUnitParameterID i = 0; i < 80; ++i) {
        EXPECT_EQ(heard[i], "heard " + std::to_string(i) + " = " + Number(saved->parameter(i)));
        EXPECT_EQ(restored->parameter(i), saved->parameter(i)) << i;
    }
    const auto names = PresetNames(restored->unit());
    EXPECT_EQ(names, PresetNames(saved->unit()));
    EXPECT_EQ(names[88], "Saved Lead");  // no stale names after a restore
    EXPECT_EQ(PlugIn(*restored).getProgram(), 88);

    const AudioClip in = TestClip(44100.0, 1, 44100);
    const AudioClip a = Render(*saved, in, offline::BlockSchedule::Fixed(512));
    EXPECT_EQ(a.samples, Render(*restored, in, offline::BlockSchedule::Fixed(512)).samples);
    double energy = 0;
    for (double x : a.samples[0]) energy += x * x;
    EXPECT_GT(energy, 1.0);
}

TEST_F(RealUnitTest, AUMalformedStatesChangeNothing)
{
    auto unit = ReadyUnit();
    ASSERT_EQ(unit->selectPreset(12), noErr);
    std::vector<char> before, after;
    ASSERT_EQ(unit->saveChunk(before), noErr);
    const std::string text(before.begin(), before.end());
    // Cut after the tag, cut inside, half a real state, not well-formed.
    const std::string bad[] = {"<TWRChunk", "<TWRChunk><TWRBank name=\"x\"><TWRPreset", text.substr(0, text.size() / 2),
                               "<TWRChunk>\xff\xfe</TWRChunkX>"};
    for (const std::string& b : bad) {
        EXPECT_EQ(unit->restoreChunk(std::vector<char>(b.begin(), b.end())), -1) << b.substr(0, 40);
        ASSERT_EQ(unit->saveChunk(after), noErr);
        EXPECT_TRUE(after == before) << b.substr(0, 40);
    }
}

TEST_F(RealUnitTest, AUPresetsAreTheFactoryBankAndChoosingOneAgainRestoresIt)
{
    auto unit = ReadyUnit();
    tonewright::Effect& fx = PlugIn(*unit);
    char expected[64];
    fx.getProgramNameIndexed(0, 3, expected);
    EXPECT_EQ(PresetNames(unit->unit()).at(3), expected);
    EXPECT_NE(std::string(expected), "Default Program") << "the factory bank is loaded";

    ASSERT_EQ(unit->selectPreset(3), noErr);
    EXPECT_EQ(fx.getProgram(), 3);
    const float stored = unit->parameter(30);
    ASSERT_EQ(unit->setParameter(30, stored > 0.5f ? 0.1f : 0.9f), noErr);
    ASSERT_EQ(unit->selectPreset(3), noErr);
    EXPECT_EQ(unit->parameter(30), stored) << "chosen again, the preset is applied again";
    // The request behind it answers only with a program number.
    AEffect* e = fx.getAeffect();
    for (auto [index, program] : {std::pair{tonewright::Effect::kVendorReselectProgram, 128},
                                  std::pair{tonewright::Effect::kVendorReselectProgram, -1}, std::pair{0, 5}})
        EXPECT_EQ(e->dispatcher(e, effVendorSpecific, index, program, nullptr, 0), 0);
    EXPECT_EQ(fx.getProgram(), 3);
}

TEST_F(RealUnitTest, AURendersWhatThePlugInsVstEntryRendersMonoAndStereo)
{
    for (double rate : {44100.0, 96000.0})
        for (int channels : {1, 2}) {
            const AudioClip in = TestClip(rate, channels, size_t(rate / 2));
            auto unit = ReadyUnit(rate, channels, 700);
            harness::Plugin vst(rate, 700);
            for (auto [id, value] : {std::pair{30, 0.4f}, std::pair{68, 1.0f}, std::pair{74, 1.0f}}) {
                unit->setParameter(AudioUnitParameterID(id), value);
                vst.set(id, value);
            }
            // The VST road with the pointers a host of this layout gives.
            const offline::BlockProcess process = [&](float** inputs, float** outputs, int n) {
                vst.run(inputs[0], channels == 2 ? inputs[1] : nullptr, outputs[0],
                        channels == 2 ? outputs[1] : nullptr, n);
            };
            const auto blocks = offline::BlockSchedule::Varying(1, 700, 3);
            EXPECT_EQ(Render(*unit, in, blocks).samples, offline::render(process, 2, 2, in, channels, blocks).samples)
                << rate << " Hz, " << channels << " channels";
        }
}

TEST_F(RealUnitTest, AURenderingInPlaceSoundsTheSameAndAllocatesNothing)
{
    auto separate = ReadyUnit(), inPlace = ReadyUnit();
    std::vector<float> a(512), b(512), l(512), r(512), x(512), y(512);
    long heapCalls = 0;  // allocations and frees
    for (int block = 0; block < 200; ++block) {
        for (int i = 0; i < 512; ++i) {
            a[i] = x[i] = 0.4f * std::sin(0.02f * float(block * 512 + i));
            b[i] = y[i] = 0.3f * std::sin(0.017f * float(block * 512 + i));
        }
        float* ins[2] = {a.data(), b.data()};
        float* outs[2] = {l.data(), r.data()};
        float* both[2] = {x.data(), y.data()};
        const UInt32 n = 1 + UInt32(block * 37 % 512);
        testkit::AllocationCounter counter;
        // Host calls a render thread makes between slices: a value and MIDI.
        separate->setParameter(30, float(block % 10) / 10.0f);
        separate->midi(0xB0, 20, UInt32(block % 128));
        inPlace->setParameter(30, float(block % 10) / 10.0f);
        ASSERT_EQ(separate->render(ins, outs, n), noErr);
        ASSERT_EQ(inPlace->render(both, both, n), noErr);
        heapCalls += counter.count() + counter.freed();
        ASSERT_TRUE(std::equal(l.begin(), l.begin() + n, x.begin()) && std::equal(r.begin(), r.begin() + n, y.begin()))
            << block;
    }
    EXPECT_EQ(heapCalls, 0);
}

TEST_F(RealUnitTest, AUConstructionThatRunsOutOfMemoryFailsCleanly)
{
    ::setenv("XDG_DATA_HOME", (harness::TestHome() / "no-data" / "share").c_str(), 1);  // no support folder: fewer steps
    OpenUnit().reset();  // what is made once for all units is made
    int failures = 0;
    for (long first = 0; first < 20000; first = first < 8 ? first + 1 : first * 3 / 2) {
        AudioUnit au = nullptr;
        OSErr status;
        {
            testkit::AllocationFailure failing(first);
            status = OpenAComponent(auhost::TonewrightComponent(), &au);
        }
        if (status == noErr) {
            CloseComponent(au);
            break;
        }
        ++failures;
        EXPECT_EQ(std::pair(status, au), std::pair(OSErr(memFullErr), AudioUnit(nullptr))) << first;
        EXPECT_EQ(std::pair(CFStandInLiveObjects(), ComponentStandInOpenInstances()), std::pair(0L, 0L)) << first;
    }
    EXPECT_GT(failures, 10);
}

// The host's calls that make CoreFoundation objects or hand the plug-in a
// state, with memory running out at each point in turn: an error or the
// usual answer, every object given back, and the state as it was or (a
// restore) the one restored, whole.
TEST_F(RealUnitTest, AUCallsThatRunOutOfMemoryFailCleanlyAndChangeNothing)
{
    auto unit = ReadyUnit();
    const AudioUnit au = unit->unit();
    std::vector<char> before, other, after;
    ASSERT_FALSE(unit->selectPreset(9) || unit->setParameter(30, 0.25f) || unit->saveChunk(other));
    const CFPropertyListRef otherState = SavedState(au);
    ASSERT_EQ(unit->selectPreset(5), noErr);  // chosen again below: the state stays
    ASSERT_EQ(unit->saveChunk(before), noErr);
    const CFURLRef where = CFURLCreateWithFileSystemPath(nullptr, CFSTR("/TWR.component"), kCFURLPOSIXPathStyle, true);
    CFStandInRegisterBundle(CFSTR("com.quarrystone.twr.au"), where);
    // A property whose value holds references: the status, the references
    // given back.
    const auto get = [au](AudioUnitPropertyID id, auto value, AudioUnitElement element = 0) {
        const OSStatus s = Get(au, id, value, kAudioUnitScope_Global, element);
        for (CFTypeRef o : References(value))
            if (s == noErr && o) CFRelease(o);
        return s;
    };
    const struct {
        const char* what;
        std::function<OSStatus()> call;
        const std::vector<char>& taken;  // the state after the call
    } steps[] = {
        {"save", [&] { return get(kAudioUnitProperty_ClassInfo, CFPropertyListRef{}); }, before},
        {"restore", [&] { return Restore(au, otherState); }, other},
        {"presets", [&] { return get(kAudioUnitProperty_FactoryPresets, CFArrayRef{}); }, before},
        {"choose a preset", [&] { return unit->selectPreset(5); }, before},
        {"parameter info", [&] { return get(kAudioUnitProperty_ParameterInfo, AudioUnitParameterInfo{}, 7); }, before},
        {"view", [&] { return get(kAudioUnitProperty_CocoaUI, AudioUnitCocoaViewInfo{}); }, before},
    };
    const long live = CFStandInLiveObjects();
    for (const auto& c : steps) {
        testkit::AllocationCounter counter;
        ASSERT_EQ(c.call(), noErr) << c.what;
        const long total = counter.count();
        ASSERT_EQ(unit->restoreChunk(before), noErr);
        for (long k = 0; k <= total; k = k < 24 ? k + 1 : k * 3 / 2) {
            OSStatus status;
            {
                testkit::AllocationFailure failing(k);
                status = c.call();
            }
            ASSERT_EQ(CFStandInLiveObjects(), live) << c.what << ", allocations failing from number " << k;
            ASSERT_EQ(unit->saveChunk(after), noErr);
            EXPECT_TRUE(after == (status == noErr ? c.taken : before)) << c.what << ", failing from number " << k;
            if (after != before) {
                ASSERT_EQ(unit->restoreChunk(before), noErr);
            }
        }
    }
    CFStandInRegisterBundle(CFSTR("com.quarrystone.twr.au"), nullptr);
    CFRelease(where);
    CFRelease(otherState);
}
