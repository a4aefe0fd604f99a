// MIDI input: one node named after the type, whose packets reach the Effect
// as one VST MIDI event each and drive its learned controllers and program
// changes.

#include <gtest/gtest.h>

#include <cstring>

#include "ProToolsHarness.h"

namespace {

// An Effect that keeps the events it is given, one call at a time.
class RecordingEffect : public Effect {
public:
    using Effect::Effect;
    VstInt32 processEvents(VstEvents* events) override
    {
        calls.emplace_back();
        for (VstInt32 i = 0; i < events->numEvents; ++i)
            std::memcpy(&calls.back().emplace_back(), events->events[i], sizeof(VstMidiEvent));
        return Effect::processEvents(events);
    }
    std::vector<std::vector<VstMidiEvent>> calls;
};

// A process whose Effect is a recording one.
class RecordingProcess : public tonewright::CTemplateNoUIProcessRTAS {
public:
    RecordingEffect& record()
    {
        auto* recording = new RecordingEffect(&TemplateAudioMasterCallback);
        effect->getAeffect()->user = nullptr;
        effect.reset(recording);
        effect->getAeffect()->user = static_cast<CTemplateNoUIProcess*>(this);
        return *recording;
    }
};

TEST(ProToolsMidi, PacketsReachTheEffectAsOneMidiEventEachAndDriveLearnedControllersAndPrograms)
{
    CEffectTypeRTAS type(MakeOSType('r', 't', 's', 't'), MakeOSType('Q', 't', 'w', 'r'), 0x40);
    type.DefineFormats(1, 1, 0);
    const std::string longName(100, 'n');  // the node takes it cut to 63 characters
    type.DefineNames((longName + "\nshort").c_str());
    type.DefineFactory([]() -> CEffectProcess* { return new RecordingProcess; });
    auto instance = pthost::Instance::Make(type, 44100.0);
    ASSERT_TRUE(instance);
    RecordingEffect& fx = dynamic_cast<RecordingProcess&>(instance->process()).record();
    const auto& midi = dynamic_cast<const CEffectProcessMIDI&>(instance->process());
    ASSERT_EQ(midi.GetNumMidiNodes(), 1u);
    EXPECT_EQ(std::string(midi.GetMidiNode(0)->GetName()), longName.substr(0, 63));

    instance->sendMidi({0xB3, 7, 100}, 417);
    instance->sendMidi({0x90, 64, 127}, 0, 1);  // a flagged packet is not for the Effect
    instance->sendMidi({0xC0, 5, 0}, 0xFFFFFFFFu);
    VstMidiEvent want[2] = {harness::midi(0xB3, 7, 100), harness::midi(0xC0, 5, 0)};
    want[0].deltaFrames = 417;
    want[1].deltaFrames = -1;
    ASSERT_EQ(fx.calls.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        ASSERT_EQ(fx.calls[i].size(), 1u) << i;
        EXPECT_EQ(std::memcmp(&fx.calls[i][0], &want[i], sizeof want[i]), 0) << i;
    }
    fx.waitForWorker();
    EXPECT_EQ(fx.getProgram(), 5);

    fx.saveCurrentToBank("Forty-two", 42);
    fx.setProgram(0);
    fx.setMIDILearnControl(5);
    instance->sendMidi({0xB0, 21, 0});  // learns controller 21 for the gain
    instance->sendMidi({0xB5, 21, 127});
    EXPECT_EQ(fx.getParameter(5), 1.0f);
    instance->sendMidi({0xB0, 21, 64});
    EXPECT_EQ(fx.getParameter(5), 64.0f / 127.0f);
    instance->sendMidi({0xC2, 42, 0});
    fx.waitForWorker();
    EXPECT_EQ(fx.getProgram(), 42);
    char name[kVstMaxProgNameLen] = {};
    fx.getProgramName(name);
    EXPECT_STREQ(name, "Forty-two");
    fx.updateMIDIMap(21, -1);
}

}  // namespace
