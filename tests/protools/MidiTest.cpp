// MIDI input: the node's packets reach the Effect as one VST MIDI event,
// and drive its learned controllers and program changes.

#include <gtest/gtest.h>

#include <cstring>

#include "ProToolsHarness.h"

namespace {

// An Effect that keeps the events it is given.
class RecordingEffect : public Effect {
public:
    using Effect::Effect;
    VstInt32 processEvents(VstEvents* events) override
    {
        for (VstInt32 i = 0; i < events->numEvents; ++i) {
            VstMidiEvent copy;
            std::memcpy(&copy, events->events[i], sizeof copy);
            received.push_back(copy);
        }
        counts.push_back(events->numEvents);
        return Effect::processEvents(events);
    }
    std::vector<VstMidiEvent> received;
    std::vector<VstInt32> counts;
};

// A process whose Effect records what it gets.
class RecordingProcess : public tonewright::CTemplateNoUIProcessRTAS {
public:
    RecordingEffect& record()
    {
        if (!recording) {
            recording = new RecordingEffect(&TemplateAudioMasterCallback);
            effect->getAeffect()->user = nullptr;
            effect.reset(recording);
            effect->getAeffect()->user = static_cast<CTemplateNoUIProcess*>(this);
        }
        return *recording;
    }

private:
    RecordingEffect* recording = nullptr;
};

CEffectProcess* makeRecordingProcess() { return new RecordingProcess; }

TEST(ProToolsMidi, APacketReachesTheEffectAsOneMidiEventWithItsBytesAndTime)
{
    CEffectTypeRTAS type(MakeOSType('r', 't', 's', 't'), MakeOSType('Q', 't', 'w', 'r'), 0x40);
    type.DefineFormats(1, 1, 0);
    type.DefineFactory(&makeRecordingProcess);
    auto instance = pthost::Instance::Make(type, 44100.0);
    ASSERT_TRUE(instance);
    RecordingEffect& fx = dynamic_cast<RecordingProcess&>(instance->process()).record();

    instance->sendMidi({0xB3, 7, 100}, 417);
    instance->sendMidi({0x90, 64, 127}, 0, 1);  // a flagged packet is not for the Effect
    instance->sendMidi({0xC0, 5, 0}, 0xFFFFFFFFu);
    ASSERT_EQ(fx.received.size(), 2u);
    EXPECT_EQ(fx.counts, (std::vector<VstInt32>{1, 1}));
    const struct {
        VstInt32 delta;
        unsigned char bytes[3];
    } expected[] = {{417, {0xB3, 7, 100}}, {-1, {0xC0, 5, 0}}};
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        VstMidiEvent want{};
        want.type = kVstMidiType;
        want.byteSize = 32;
        want.deltaFrames = expected[i].delta;
        for (int b = 0; b < 3; ++b) want.midiData[b] = static_cast<char>(expected[i].bytes[b]);
        EXPECT_EQ(std::memcmp(&fx.received[i], &want, sizeof want), 0);
    }
    fx.waitForWorker();
    EXPECT_EQ(fx.getProgram(), 5);
}

TEST(ProToolsMidi, LearnedControllersMoveParametersAndProgramChangesSelectPrograms)
{
    auto instance = pttest::Make(1);
    Effect& fx = pttest::EffectOf(*instance);
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
