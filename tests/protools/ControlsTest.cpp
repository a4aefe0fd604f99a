// Controls: made from the Effect's parameters, host moves reaching the
// Effect, the Effect's automation reaching the controls as the host sees
// it, and values that come back unchanged leaving the program unmodified.

#include <gtest/gtest.h>

#include <cmath>

#include "ProToolsHarness.h"

namespace {

using Event = CEffectProcess::HostEvent;

TEST(ProToolsControls, EveryParameterBecomesALinearControlThenMasterBypassThenTheMidiNode)
{
    for (int channels : {1, 2}) {
        auto instance = pttest::Make(channels);
        CEffectProcess& p = instance->process();
        ASSERT_EQ(p.GetNumControls(), 81);
        EXPECT_EQ(p.GetNumChannels(), channels);
        harness::Plugin vst;
        for (int i = 0; i < 80; ++i) {
            SCOPED_TRACE(i);
            const auto* c = dynamic_cast<const CPluginControl_Linear*>(p.GetControl(i + 1));
            ASSERT_NE(c, nullptr);
            EXPECT_EQ(c->GetID(), 0x206C6420u + static_cast<OSType>(i));
            EXPECT_EQ(std::string(c->GetName()), vst.text(effGetParamName, i));
            EXPECT_EQ(c->GetMinimum(), 0.0);
            EXPECT_EQ(c->GetMaximum(), 1.0);
            EXPECT_EQ(c->GetStep(), 0.001);
            EXPECT_EQ(c->GetDefaultValue(), c->ConvertContinuousToControl(vst.get(i)));
            EXPECT_TRUE(c->IsAutomatable());
            EXPECT_EQ(c->GetFirstPrefix(), kPrefixNone);
            EXPECT_EQ(c->GetLastPrefix(), kLargestPrefix);
        }
        const auto* bypass = dynamic_cast<const CPluginControl_OnOff*>(p.GetControl(81));
        ASSERT_NE(bypass, nullptr);
        EXPECT_EQ(bypass->GetID(), 0x62797061u);
        EXPECT_STREQ(bypass->GetName(), "Master Bypass");
        EXPECT_EQ(bypass->GetDefaultValue(), 0);
        EXPECT_TRUE(bypass->IsAutomatable());
        EXPECT_EQ(p.GetMasterBypassControlIndex(), 81);

        const auto& midi = dynamic_cast<const CEffectProcessMIDI&>(p);
        ASSERT_EQ(midi.GetNumMidiNodes(), 1u);
        EXPECT_STREQ(midi.GetMidiNode(0)->GetName(), "Quarrystone Tonewright Suite");
        EXPECT_EQ(midi.GetMidiNode(0)->GetFirstEnable(), 1);
        EXPECT_EQ(midi.GetMidiNode(0)->GetSecondEnable(), 0);
        int32_t delays[2] = {-5, -5};
        bool used[2] = {true, true};
        p.GetChannelDelays(delays, used);
        for (int c = 0; c < channels; ++c) EXPECT_TRUE(delays[c] == 0 && !used[c]) << c;
        ASSERT_EQ(p.GetChunks().size(), 1u);
        EXPECT_EQ(p.GetChunks()[0].id, MakeOSType('Q', 't', 'w', 'r'));
        EXPECT_EQ(p.GetChunks()[0].name, "Plugin Chunk");
        EXPECT_EQ(p.GetChunks()[0].code, -152);
    }
}

TEST(ProToolsControls, TypeNamesLongerThan63CharactersNameTheMidiNodeCutShort)
{
    const std::string longName(100, 'n');
    CEffectTypeRTAS type(MakeOSType('t', 'e', 's', 't'), MakeOSType('Q', 't', 'w', 'r'), 0x40);
    type.DefineNames((longName + "\nshort").c_str());
    type.DefineFactory(&tonewright::NewTemplateProcessRTAS);
    auto instance = pthost::Instance::Make(type, 44100.0);
    ASSERT_TRUE(instance);
    EXPECT_EQ(std::string(dynamic_cast<const CEffectProcessMIDI&>(instance->process()).GetMidiNode(0)->GetName()),
              longName.substr(0, 63));
}

TEST(ProToolsControls, HostMovesReachTheEffectAndTheBypassAndUnknownIndicesDoNot)
{
    auto instance = pttest::Make(2);
    Effect& fx = pttest::EffectOf(*instance);
    const double values[] = {0.0, 1.0, 0.5, 0.1875, 0.3, 0.999, 1e-3};
    for (int k : {1, 6, 40, 80})
        for (double v : values) {
            ASSERT_EQ(instance->setControl(k, v), kPlugInNoErr);
            // Exact where the control's 2^-32 steps are finer than the
            // float's; a step off below 1/256.
            EXPECT_NEAR(fx.getParameter(k - 1), static_cast<float>(v), v >= 1.0 / 256 ? 0.0 : 2.4e-10) << k;
        }
    float before[80];
    for (int i = 0; i < 80; ++i) before[i] = fx.getParameter(i);
    EXPECT_EQ(instance->process().HostSetControlValue(81, 1), kPlugInNoErr);
    EXPECT_TRUE(instance->process().IsBypassed());
    EXPECT_NE(instance->process().HostSetControlValue(82, 1), kPlugInNoErr);
    EXPECT_NE(instance->process().HostSetControlValue(0, 1), kPlugInNoErr);
    for (int i = 0; i < 80; ++i) EXPECT_EQ(fx.getParameter(i), before[i]) << i;
}

// The editor's gesture on a parameter: begin edit, automate, end edit.
TEST(ProToolsControls, EffectAutomationTouchesSetsAndReleasesControlIndexPlusOne)
{
    auto instance = pttest::Make(2);
    CEffectProcess& p = instance->process();
    Effect& fx = pttest::EffectOf(*instance);
    const auto* gain = dynamic_cast<const CPluginControl_Continuous*>(p.GetControl(6));
    p.ClearHostEvents();
    fx.beginEdit(5);
    fx.setParameterAutomated(5, 0.7f);
    fx.beginEdit(5);  // a second gesture on the same control: counted, not told
    fx.endEdit(5);
    fx.setParameterAutomated(5, 0.71f);
    fx.endEdit(5);
    fx.endEdit(5);  // one release too many
    const int32_t v1 = gain->ConvertContinuousToControl(0.7f), v2 = gain->ConvertContinuousToControl(0.71f);
    EXPECT_EQ(p.HostEvents(), (std::vector<Event>{{Event::touched, 6, 0},
                                                  {Event::automated, 6, v1},
                                                  {Event::automated, 6, v2},
                                                  {Event::released, 6, 0}}));
    EXPECT_EQ(p.GetControlValue(6), v2);
    EXPECT_EQ(fx.getParameter(5), 0.71f);

    // Editor tags and out-of-range indices reach no control, the bypass
    // least of all (tag 80 would be control 81).
    p.ClearHostEvents();
    for (int tag : {80, 81, 100, 120, -1, -2}) {
        fx.beginEdit(tag);
        fx.setParameterAutomated(tag, 1.0f);
        fx.endEdit(tag);
    }
    EXPECT_TRUE(p.HostEvents().empty());
    EXPECT_FALSE(p.IsBypassed());
}

TEST(ProToolsControls, ValuesWithinAMillionthOfTheEffectsLeaveTheProgramUnmodified)
{
    auto instance = pttest::Make(1);
    Effect& fx = pttest::EffectOf(*instance);
    fx.setParameter(12, 0.3f);
    fx.programModified = false;
    // Pushed back by the Effect's own automation, and restored by a host.
    fx.setParameterAutomated(12, 0.3f);
    instance->setControl(13, 0.3 + 9e-7);
    EXPECT_EQ(fx.getParameter(12), 0.3f);
    EXPECT_FALSE(fx.programModified);
    instance->setControl(13, 0.3 + 2e-6);
    EXPECT_EQ(fx.getParameter(12), static_cast<float>(0.3 + 2e-6));
    EXPECT_TRUE(fx.programModified);
}

}  // namespace
