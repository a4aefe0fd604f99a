// MIDI input: one node named after the type, whose packets reach the Effect
// as one VST MIDI event each and drive its learned controllers and program
// changes.

#include <gtest/gtest.h>

#include <tuple>

#include "ProToolsHarness.h"

using namespace tonewright;

namespace {

// An Effect that notes each event as (events in its call, deltaFrames,
// status and data bytes), in a process that makes it.
using Seen = std::tuple<VstInt32, VstInt32, int>;
class RecordingEffect : public Effect {
public:
    using Effect::Effect;
    VstInt32 processEvents(VstEvents* events) override
    {
        for (const VstEvent* entry : VstEventEntries(*events)) {
            const auto* e = reinterpret_cast<const VstMidiEvent*>(entry);
            const auto byte = [&](int k) { return int(static_cast<unsigned char>(e->midiData[k])); };
            seen.emplace_back(events->numEvents, e->deltaFrames, byte(0) << 16 | byte(1) << 8 | byte(2));
        }
        return Effect::processEvents(events);
    }
    std::vector<Seen> seen;
};
class RecordingProcess : public tonewright::CTemplateNoUIProcessRTAS {
public:
    RecordingEffect& record()
    {
        effect->getAeffect()->user = nullptr;
        effect.reset(new RecordingEffect(&TemplateAudioMasterCallback));
        effect->getAeffect()->user = static_cast<CTemplateNoUIProcess*>(this);
        return static_cast<RecordingEffect&>(*effect);
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
    EXPECT_EQ(fx.seen, (std::vector<Seen>{{1, 417, 0xB30764}, {1, -1, 0xC00500}}));
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
