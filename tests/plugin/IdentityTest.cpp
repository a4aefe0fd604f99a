// The plug-in as a host sees it at the VST boundary: entry, identity, names,
// labels, canDo answers and the host calls it makes.

#include <gtest/gtest.h>

#include <algorithm>

#include "PluginHarness.h"

using harness::Host;
using harness::Plugin;

TEST(Entry, RefusesAHostThatReportsNoVersion)
{
    Host::instance().versionAnswer = 0;
    EXPECT_EQ(VSTPluginMain(Host::callback), nullptr);
    Host::instance().versionAnswer = kVstVersion;
    EXPECT_EQ(VSTPluginMain(nullptr), nullptr);
}

TEST(Entry, AsksForTheHostVersionAndRequestsMidiOnResume)
{
    Host::instance().clear();
    Plugin p;
    const auto calls = Host::instance().calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front().opcode, audioMasterVersion);
    // Construction ends with resume, and the harness resumes once more.
    const auto wantMidi = std::count_if(calls.begin(), calls.end(), [](const harness::Call& c) {
        return c.opcode == audioMasterWantMidi && c.index == 0 && c.value == 1;
    });
    EXPECT_EQ(wantMidi, 2);
}

TEST(Identity, RecordAndStrings)
{
    Plugin p;
    AEffect* e = p.aeffect();
    EXPECT_EQ(e->magic, kEffectMagic);
    EXPECT_EQ(e->uniqueID, static_cast<VstInt32>(0x51747772));  // 'Qtwr'
    EXPECT_EQ(e->numParams, 80);
    EXPECT_EQ(e->numPrograms, 128);
    EXPECT_EQ(e->numInputs, 2);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_TRUE(e->flags & effFlagsCanReplacing);
    EXPECT_TRUE(e->flags & effFlagsProgramChunks);
    EXPECT_TRUE(e->flags & 8);
    EXPECT_FALSE(e->flags & effFlagsHasEditor);  // no editor yet
    EXPECT_FALSE(e->flags & effFlagsIsSynth);
    EXPECT_EQ(e->object, &p.effect());
    EXPECT_NE(e->processReplacing, nullptr);
    EXPECT_NE(e->process, nullptr);

    EXPECT_EQ(p.text(effGetEffectName), "Tonewright Suite");
    EXPECT_EQ(p.text(effGetVendorString), "Velbrook Engineering, PLLC");
    EXPECT_EQ(p.text(effGetProductString), "Quarrystone TWR");
    EXPECT_EQ(p.dispatch(effGetVendorVersion), 1100);
    EXPECT_EQ(p.dispatch(effGetPlugCategory), 1);
    EXPECT_EQ(p.dispatch(effGetVstVersion), 2400);
    EXPECT_EQ(p.effect().getEditor(), nullptr);
    EXPECT_EQ(p.dispatch(effEditOpen), 0);
}

TEST(Identity, CanDoAnswersExactlyTheListedAbilities)
{
    Plugin p;
    for (const char* yes : {"plugAsChannelInsert", "plugAsSend", "1in1out", "1in2out", "2in1out", "2in2out", "bypass"})
        EXPECT_EQ(p.dispatch(effCanDo, 0, 0, const_cast<char*>(yes)), 1) << yes;
    for (const char* no : {"receiveVstMidiEvent", "sendVstEvents", "Bypass", "bypass ", "", "2in2out\n"})
        EXPECT_EQ(p.dispatch(effCanDo, 0, 0, const_cast<char*>(no)), 0) << no;
}

TEST(Identity, ParameterNamesLabelsAndDisplays)
{
    Plugin p;
    const char* expected[] = {"AmpByp", "HiFiByp", "LowCTyp", "DeepByp", "BrtByp", "PreGain"};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(p.text(effGetParamName, i), expected[i]);
    EXPECT_EQ(p.text(effGetParamName, 30), "MastVol");
    EXPECT_EQ(p.text(effGetParamName, 79), "GateSlp");
    for (int i = 0; i < 80; ++i) {
        const std::string name = p.text(effGetParamName, i);
        EXPECT_GE(name.size(), 5u) << i;
        EXPECT_LE(name.size(), 7u) << i;
        EXPECT_EQ(p.text(effGetParamLabel, i), "amount") << i;
        EXPECT_EQ(p.text(effGetParamDisplay, i), "") << i;
    }
    // Indices outside 0..79, at either end, leave the text untouched.
    const std::string untouched(255, 'x');
    for (int i : {-1, 80, 1000, -2147483647 - 1}) {
        EXPECT_EQ(p.text(effGetParamName, i), untouched) << i;
        EXPECT_EQ(p.text(effGetParamLabel, i), untouched) << i;
    }
}

TEST(Identity, SetParameterAutomatedTellsTheHostAndEditsAreBracketed)
{
    Plugin p;
    Host::instance().clear();
    p.effect().setParameterAutomated(12, 0.25f);
    p.effect().beginEdit(12);
    p.effect().endEdit(12);
    const auto calls = Host::instance().calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].opcode, audioMasterAutomate);
    EXPECT_EQ(calls[0].index, 12);
    EXPECT_EQ(calls[0].opt, 0.25f);
    EXPECT_EQ(calls[1].opcode, audioMasterBeginEdit);
    EXPECT_EQ(calls[2].opcode, audioMasterEndEdit);
    EXPECT_EQ(p.get(12), 0.25f);
}
