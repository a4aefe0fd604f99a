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
    // Editor, mono capable, replacing, chunks; nothing else.
    EXPECT_EQ(e->flags, effFlagsHasEditor | 8 | effFlagsCanReplacing | effFlagsProgramChunks);
    EXPECT_EQ(e->flags, 0x39);
    EXPECT_EQ(e->object, &p.effect());
    EXPECT_NE(e->processReplacing, nullptr);
    EXPECT_NE(e->process, nullptr);

    EXPECT_EQ(p.text(effGetEffectName), "Tonewright Suite");
    EXPECT_EQ(p.text(effGetVendorString), "Velbrook Engineering, PLLC");
    EXPECT_EQ(p.text(effGetProductString), "Quarrystone TWR");
    EXPECT_EQ(p.dispatch(effGetVendorVersion), 1100);
    EXPECT_EQ(p.dispatch(effGetPlugCategory), 1);
    EXPECT_EQ(p.dispatch(effGetVstVersion), 2400);
    ASSERT_NE(p.effect().getEditor(), nullptr);
    ERect* rect = nullptr;
    EXPECT_EQ(p.dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, 579);
    EXPECT_EQ(rect->bottom - rect->top, 375);
}

TEST(Identity, CanDoAnswersExactlyTheListedAbilities)
{
    Plugin p;
    // MIDI in too: hosts send events only to an effect that says it takes them.
    for (const char* yes : {"plugAsChannelInsert", "plugAsSend", "1in1out", "1in2out", "2in1out", "2in2out", "bypass",
                            "receiveVstEvents", "receiveVstMidiEvent"})
        EXPECT_EQ(p.dispatch(effCanDo, 0, 0, const_cast<char*>(yes)), 1) << yes;
    for (const char* no : {"sendVstEvents", "sendVstMidiEvent", "Bypass", "bypass ", "", "2in2out\n"})
        EXPECT_EQ(p.dispatch(effCanDo, 0, 0, const_cast<char*>(no)), 0) << no;
}

namespace {

struct PublishedParameter {
    int index;
    const char* name;
    int engineId;
};

// Written out by hand from the published parameter list; the plug-in's own
// table is checked against it, never the other way round.
const PublishedParameter kHostParameters[80] = {
    {0, "AmpByp", 14},   {1, "HiFiByp", 89},  {2, "LowCTyp", 90},  {3, "DeepByp", 91},  {4, "BrtByp", 92},
    {5, "PreGain", 15},  {6, "PrBoost", 93},  {7, "PreBass", 16},  {8, "PreMid", 17},   {9, "PreTreb", 18},
    {10, "PrePres", 19}, {11, "PwrType", 25}, {12, "PwrDrv", 22},  {13, "CabByp", 39},  {14, "CabMinP", 41},
    {15, "CabFLen", 40}, {16, "DIFreq", 44},  {17, "GrphByp", 27}, {18, "GrphTyp", 28}, {19, "GEQPost", 26},
    {20, "GrphB1", 29},  {21, "GrphB2", 30},  {22, "GrphB3", 31},  {23, "GrphB4", 32},  {24, "GrphB5", 33},
    {25, "GrphB6", 34},  {26, "GrphB7", 35},  {27, "GrphGn", 36},  {28, "ParaFrq", 37}, {29, "ParaGn", 38},
    {30, "MastVol", 94}, {31, "WahByp", 6},   {32, "WahFrq", 8},   {33, "CompByp", 9},  {34, "CompAmt", 11},
    {35, "CompAtk", 12}, {36, "CompMod", 10}, {37, "ChrPost", 52}, {38, "ChrByp", 53},  {39, "ChrSpd", 55},
    {40, "ChrSwp", 56},  {41, "ChrDpth", 57}, {42, "ChrVcs", 54},  {43, "ChrDly", 58},  {44, "FlgPost", 59},
    {45, "FlngByp", 60}, {46, "FlngSpd", 62}, {47, "FlngSwp", 65}, {48, "FlngDpt", 63}, {49, "FlngDly", 64},
    {50, "FlngRgn", 66}, {51, "FlngMon", 61}, {52, "FlngPhs", 67}, {53, "PhsPost", 68}, {54, "PhsByp", 69},
    {55, "PhsSpd", 71},  {56, "PhsSwp", 73},  {57, "PhsDpth", 72}, {58, "PhsStgs", 75}, {59, "PhsRgn", 74},
    {60, "PhsMono", 70}, {61, "TrmPost", 46}, {62, "TremByp", 47}, {63, "TremSpd", 48}, {64, "TremDpt", 49},
    {65, "TremTyp", 50}, {66, "TremWav", 51}, {67, "DelPost", 76}, {68, "DelByp", 77},  {69, "DelDel", 79},
    {70, "DelRpt", 80},  {71, "DelLvl", 82},  {72, "DelType", 78}, {73, "DelSty", 83},  {74, "RevByp", 86},
    {75, "RevType", 87}, {76, "RevLvl", 88},  {77, "GateByp", 1},  {78, "GateThr", 2},  {79, "GateSlp", 3},
};

}  // namespace

TEST(Identity, ParameterNamesLabelsAndDisplays)
{
    Plugin p;
    for (const PublishedParameter& row : kHostParameters) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(p.text(effGetParamName, row.index), row.name);
        EXPECT_EQ(static_cast<int>(twr_params[size_t(row.index)]), row.engineId);
        EXPECT_EQ(p.text(effGetParamLabel, row.index), "amount");
        EXPECT_EQ(p.text(effGetParamDisplay, row.index), "");
    }
    // Indices outside 0..79, at either end, get an empty text.
    for (int i : {-1, 80, 1000, -2147483647 - 1}) {
        for (VstInt32 opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay})
            EXPECT_EQ(p.text(opcode, i), "") << i << " " << opcode;
    }
}

TEST(Identity, EveryIndexMovesItsEngineIdBetweenEnds)
{
    Plugin p;
    for (const PublishedParameter& row : kHostParameters) {
        SCOPED_TRACE(row.name);
        for (float x : {0.0f, 1.0f}) {
            p.set(row.index, x);
            p.effect().inspectEngine(
                [&](Tonewright& engine) { EXPECT_NEAR(engine.GetParameterNormalized(row.engineId), x, 1e-9) << x; });
        }
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
