// The unit with the real plug-in: saved states restored into fresh units
// (programs, parameters and sound), malformed states, presets, MIDI, rates,
// the audio against the plug-in's own VST entry, allocation-free rendering
// and construction when memory runs out.

#include <cmath>
#include <cstring>

#include "AUHarness.h"
#include "DspTestKit.h"
#include "PluginHarness.h"
#include "VstHost.h"

using namespace au_test;

namespace {

AudioClip testClip(double fs, int channels, double seconds = 1.0)
{
    AudioClip clip;
    clip.sampleRate = fs;
    clip.channels = channels;
    const auto frames = static_cast<size_t>(seconds * fs);
    clip.samples.assign(size_t(channels), std::vector<double>(frames));
    for (size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            clip.samples[size_t(c)][i] =
                static_cast<float>(0.5 * std::sin((0.031 + 0.007 * c) * double(i)) * std::exp(-2.0 * double(i) / fs));
    return clip;
}

std::unique_ptr<auhost::Unit> ReadyUnit(double rate = 44100.0, int channels = 2, UInt32 maxFrames = 512)
{
    auto unit = OpenUnit();
    if (!unit) return nullptr;
    EXPECT_EQ(unit->setFormat(rate, channels), noErr);
    EXPECT_EQ(unit->setMaxFrames(maxFrames), noErr);
    EXPECT_EQ(unit->initialize(), noErr);
    return unit;
}

AudioClip Render(auhost::Unit& unit, const AudioClip& in, int block = 512)
{
    const offline::BlockProcess process = [&](float** inputs, float** outputs, int n) {
        EXPECT_EQ(unit.render(inputs, outputs, UInt32(n)), noErr);
    };
    return offline::render(process, unit.channels(), unit.channels(), in, unit.channels(),
                           offline::BlockSchedule::Fixed(block));
}

CFPropertyListRef SavedState(auhost::Unit& unit)
{
    CFPropertyListRef state = nullptr;
    UInt32 size = sizeof state;
    EXPECT_EQ(AudioUnitGetProperty(unit.unit(), kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state, &size),
              noErr);
    return state;
}

OSStatus Restore(auhost::Unit& unit, CFPropertyListRef state)
{
    return AudioUnitSetProperty(unit.unit(), kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state,
                                sizeof state);
}

std::vector<std::string> PresetNames(auhost::Unit& unit)
{
    CFArrayRef list = nullptr;
    UInt32 size = sizeof list;
    AudioUnitGetProperty(unit.unit(), kAudioUnitProperty_FactoryPresets, kAudioUnitScope_Global, 0, &list, &size);
    std::vector<std::string> names;
    for (CFIndex i = 0; i < CFArrayGetCount(list); ++i)
        names.push_back(auhost::Text(static_cast<const AUPreset*>(CFArrayGetValueAtIndex(list, i))->presetName));
    if (list) CFRelease(list);
    return names;
}

tonewright::Effect& PlugIn(auhost::Unit& unit) { return *static_cast<tonewright::Effect*>(EffectOf(unit.unit())); }

}  // namespace

TEST_F(RealUnitTest, SavedStateRestoresProgramsParametersAndSoundInAFreshUnit)
{
    auto saved = ReadyUnit();
    ASSERT_EQ(saved->selectPreset(88), noErr);
    ASSERT_EQ(saved->setParameter(30, 0.1875f), noErr);  // values the chunk's text carries exactly
    ASSERT_EQ(saved->setParameter(74, 1.0f), noErr);
    char name[] = "Saved Lead";
    PlugIn(*saved).getAeffect()->dispatcher(PlugIn(*saved).getAeffect(), effSetProgramName, 0, 0, name, 0.0f);
    CFPropertyListRef state = SavedState(*saved);
    ASSERT_NE(state, nullptr);

    auto restored = ReadyUnit();
    const auto namesBefore = PresetNames(*restored);
    Listener listener;
    ASSERT_EQ(Restore(*restored, state), noErr);
    CFRelease(state);
    // Every value is announced, none wrapped in a gesture.
    const auto heard = listener.heard();
    ASSERT_EQ(heard.size(), 80u);
    for (AudioUnitParameterID i = 0; i < 80; ++i) {
        EXPECT_EQ(heard[i].type, kAudioUnitEvent_ParameterValueChange);
        EXPECT_EQ(heard[i].parameter, i);
        EXPECT_EQ(restored->parameter(i), saved->parameter(i)) << i;
    }
    const auto names = PresetNames(*restored);
    EXPECT_EQ(names, PresetNames(*saved));
    EXPECT_EQ(names[88], "Saved Lead");
    EXPECT_NE(namesBefore[88], names[88]) << "no stale names after a restore";
    EXPECT_EQ(PlugIn(*restored).getProgram(), 88);

    const AudioClip in = testClip(44100.0, 1);
    const AudioClip a = Render(*saved, in), b = Render(*restored, in);
    EXPECT_EQ(a.samples, b.samples);
    double energy = 0;
    for (double x : a.samples[0]) energy += x * x;
    EXPECT_GT(energy, 1.0);
}

TEST_F(RealUnitTest, MalformedStatesChangeNothing)
{
    auto unit = ReadyUnit();
    ASSERT_EQ(unit->selectPreset(12), noErr);
    std::vector<char> before;
    ASSERT_EQ(unit->saveChunk(before), noErr);
    const std::string text(before.begin(), before.end());
    const std::string bad[] = {
        "<TWRChunk",                                 // only the start
        "<TWRChunk><TWRBank name=\"x\"><TWRPreset",  // cut short
        text.substr(0, text.size() / 2),             // half a real state
        "<TWRChunk>\xff\xfe</TWRChunkX>",            // not well-formed
    };
    for (const std::string& b : bad) {
        EXPECT_EQ(unit->restoreChunk(std::vector<char>(b.begin(), b.end())), -1) << b.substr(0, 40);
        std::vector<char> after;
        ASSERT_EQ(unit->saveChunk(after), noErr);
        EXPECT_TRUE(after == before) << b.substr(0, 40);
    }
}

TEST_F(RealUnitTest, PresetsLoadTheirProgramsAndChoosingOneAgainRestoresIt)
{
    auto unit = ReadyUnit();
    tonewright::Effect& fx = PlugIn(*unit);
    const auto names = PresetNames(*unit);
    ASSERT_EQ(names.size(), 128u);
    char expected[64];
    fx.getProgramNameIndexed(0, 3, expected);
    EXPECT_EQ(names[3], expected);
    EXPECT_NE(names[3], "Default Program") << "the factory bank is loaded";

    Listener listener;
    ASSERT_EQ(unit->selectPreset(3), noErr);
    EXPECT_EQ(fx.getProgram(), 3);
    for (AudioUnitParameterID i = 0; i < 80; ++i) EXPECT_EQ(unit->parameter(i), fx.getParameter(int(i))) << i;
    EXPECT_FALSE(listener.heard().empty());
    const float stored = unit->parameter(30);
    ASSERT_EQ(unit->setParameter(30, stored > 0.5f ? 0.1f : 0.9f), noErr);
    ASSERT_EQ(unit->selectPreset(3), noErr);
    EXPECT_EQ(unit->parameter(30), stored) << "chosen again, the preset is applied again";
    // The request behind it answers only with a program number.
    AEffect* e = fx.getAeffect();
    EXPECT_EQ(e->dispatcher(e, effVendorSpecific, tonewright::Effect::kVendorReselectProgram, 128, nullptr, 0), 0);
    EXPECT_EQ(e->dispatcher(e, effVendorSpecific, tonewright::Effect::kVendorReselectProgram, -1, nullptr, 0), 0);
    EXPECT_EQ(e->dispatcher(e, effVendorSpecific, 0, 3, nullptr, 0), 0);
    EXPECT_EQ(fx.getProgram(), 3);

    char renamed[] = "Renamed";
    fx.getAeffect()->dispatcher(fx.getAeffect(), effSetProgramName, 0, 0, renamed, 0.0f);
    EXPECT_EQ(PresetNames(*unit)[3], "Renamed");
    std::string present;
    ASSERT_EQ(unit->selectPreset(3), noErr);
    EXPECT_EQ(unit->presentPreset(&present), 3);
    EXPECT_EQ(present, "Renamed");
}

TEST_F(RealUnitTest, MidiMovesValuesTheHostReadsAndSelectsPrograms)
{
    auto unit = ReadyUnit();
    tonewright::Effect& fx = PlugIn(*unit);
    ASSERT_TRUE(fx.updateMIDIMap(7, 30));
    EXPECT_EQ(unit->midi(0xB3, 7, 127), noErr);
    EXPECT_EQ(unit->parameter(30), 1.0f);
    EXPECT_EQ(unit->midi(0xB3, 7, 0), noErr);
    EXPECT_EQ(unit->parameter(30), 0.0f);
    fx.updateMIDIMap(7, -1);
    // A program change on channel 3 selects program 9 (off the render thread).
    EXPECT_EQ(unit->midi(0xC2, 9, 0), noErr);
    fx.waitForWorker();
    EXPECT_EQ(fx.getProgram(), 9);
    EXPECT_EQ(unit->parameter(12), fx.getParameter(12));
}

TEST_F(RealUnitTest, RatesThePlugInRefusesLeaveTheFormatAsItWas)
{
    auto unit = OpenUnit();
    tonewright::Effect& fx = PlugIn(*unit);
    const auto setRate = [&](Float64 r) {
        return AudioUnitSetProperty(unit->unit(), kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 0, &r,
                                    sizeof r);
    };
    EXPECT_EQ(setRate(96000.0), noErr);
    EXPECT_EQ(fx.getSampleRate(), 96000.0f);
    for (Float64 refused : {400000.0, 7999.0}) {
        EXPECT_EQ(setRate(refused), kAudioUnitErr_FormatNotSupported);
        Float64 r = 0;
        UInt32 size = sizeof r;
        AudioUnitGetProperty(unit->unit(), kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 0, &r, &size);
        EXPECT_EQ(r, 96000.0);
        EXPECT_EQ(fx.getSampleRate(), 96000.0f);
    }
}

TEST_F(RealUnitTest, RendersWhatThePlugInsVstEntryRendersMonoAndStereo)
{
    for (double rate : {44100.0, 96000.0})
        for (int channels : {1, 2}) {
            const AudioClip in = testClip(rate, channels, 0.5);
            auto unit = ReadyUnit(rate, channels, 700);
            harness::Plugin vst(rate, 700);
            for (auto set : {std::pair{30, 0.4f}, std::pair{68, 1.0f}, std::pair{74, 1.0f}}) {
                unit->setParameter(AudioUnitParameterID(set.first), set.second);
                vst.set(set.first, set.second);
            }
            // The VST road with the pointers a host of this layout gives.
            const offline::BlockProcess process = [&](float** inputs, float** outputs, int n) {
                vst.run(inputs[0], channels == 2 ? inputs[1] : nullptr, outputs[0],
                        channels == 2 ? outputs[1] : nullptr, n);
            };
            const AudioClip expected =
                offline::render(process, 2, 2, in, channels, offline::BlockSchedule::Varying(1, 700, 3));
            const offline::BlockProcess au = [&](float** inputs, float** outputs, int n) {
                EXPECT_EQ(unit->render(inputs, outputs, UInt32(n)), noErr);
            };
            const AudioClip got =
                offline::render(au, channels, channels, in, channels, offline::BlockSchedule::Varying(1, 700, 3));
            EXPECT_EQ(got.samples, expected.samples) << rate << " Hz, " << channels << " channels";
        }
}

TEST_F(RealUnitTest, RenderingInPlaceSoundsTheSameAndAllocatesNothing)
{
    auto separate = ReadyUnit(), inPlace = ReadyUnit();
    std::vector<float> a(512), b(512), l(512), r(512), x(512), y(512);
    long allocations = 0;
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
        allocations += counter.count();
        ASSERT_TRUE(std::equal(l.begin(), l.begin() + n, x.begin()) && std::equal(r.begin(), r.begin() + n, y.begin()))
            << block;
    }
    EXPECT_EQ(allocations, 0);
}

TEST_F(RealUnitTest, ConstructionThatRunsOutOfMemoryFailsCleanly)
{
    ::setenv("XDG_DATA_HOME", (harness::TestHome() / "no-data" / "share").c_str(), 1);  // no bank: fewer steps
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
        EXPECT_EQ(status, memFullErr) << first;
        EXPECT_EQ(au, nullptr);
        EXPECT_EQ(CFStandInLiveObjects(), liveAtStart) << first;
        EXPECT_EQ(ComponentStandInOpenInstances(), 0);
    }
    EXPECT_GT(failures, 10);
}
