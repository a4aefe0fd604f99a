// Controls: made from the Effect's parameters, host moves reaching the
// Effect, the Effect's automation reaching the host, and values that come
// back unchanged leaving the program unmodified.

#include <gtest/gtest.h>

#include "ProToolsHarness.h"

namespace {

TEST(ProToolsControls, EveryParameterBecomesALinearControlNamedAndSetAsInTheVstPluginThenMasterBypass)
{
    auto instance = pttest::Make(1);
    CEffectProcess& p = instance->process();
    ASSERT_EQ(p.GetNumControls(), 81);
    harness::Plugin vst;
    for (int i = 0; i < 80; ++i) {
        const auto* c = dynamic_cast<const CPluginControl_Linear*>(p.GetControl(i + 1));
        ASSERT_NE(c, nullptr) << i;
        EXPECT_EQ(std::string(c->GetName()), vst.text(effGetParamName, i));
        EXPECT_EQ(c->GetDefaultValue(), c->ConvertContinuousToControl(vst.get(i))) << i;
    }
    EXPECT_EQ(p.GetMasterBypassControlIndex(), 81);
    EXPECT_NE(dynamic_cast<const CPluginControl_OnOff*>(p.GetControl(81)), nullptr);

}

// Host moves reach the parameters, exactly where the control's 2^-32 steps
// are finer than the float's; the bypass and unknown indices reach none; a
// value within a millionth of the Effect's leaves the program unmodified.
TEST(ProToolsControls, HostMovesReachTheEffectAndTheBypassAndUnknownIndicesDoNot)
{
    auto instance = pttest::Make(2);
    Effect& fx = pttest::EffectOf(*instance);
    for (int k : {1, 6, 40, 80})
        for (double v : {0.0, 1.0, 0.5, 0.1875, 0.3, 0.999, 1e-3}) {
            ASSERT_EQ(instance->setControl(k, v), kPlugInNoErr);
            EXPECT_NEAR(fx.getParameter(k - 1), static_cast<float>(v), v >= 1.0 / 256 ? 0.0 : 2.4e-10) << k;
        }
    const auto parameters = [&] {
        std::vector<float> all;
        for (int i = 0; i < 80; ++i) all.push_back(fx.getParameter(i));
        return all;
    };
    const auto before = parameters();
    EXPECT_EQ(instance->process().HostSetControlValue(81, 1), kPlugInNoErr);
    EXPECT_TRUE(instance->process().IsBypassed());
    EXPECT_NE(instance->process().HostSetControlValue(82, 1), kPlugInNoErr);
    EXPECT_NE(instance->process().HostSetControlValue(0, 1), kPlugInNoErr);
    EXPECT_EQ(parameters(), before);

    fx.setParameter(12, 0.3f);
    fx.programModified = false;
    fx.setParameterAutomated(12, 0.3f);  // pushed back by the Effect's own automation
    instance->setControl(13, 0.3 + 9e-7);
    EXPECT_EQ(fx.getParameter(12), 0.3f);
    EXPECT_FALSE(fx.programModified);
    instance->setControl(13, 0.3 + 2e-6);
    EXPECT_EQ(fx.getParameter(12), static_cast<float>(0.3 + 2e-6));
    EXPECT_TRUE(fx.programModified);
}

// The editor's gesture on parameter i: control i + 1 touched, set, released,
// nested gestures told once; editor tags and out-of-range indices reach no
// control, the bypass least of all (tag 80 would be control 81).
TEST(ProToolsControls, EffectAutomationTouchesSetsAndReleasesControlIndexPlusOne)
{
    using Event = CEffectProcess::HostEvent;
    auto instance = pttest::Make(2);
    CEffectProcess& p = instance->process();
    Effect& fx = pttest::EffectOf(*instance);
    const auto* gain = dynamic_cast<const CPluginControl_Continuous*>(p.GetControl(6));
    p.ClearHostEvents();
    fx.beginEdit(5);
    fx.setParameterAutomated(5, 0.7f);
    fx.beginEdit(5);
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
    p.ClearHostEvents();
    for (int tag : {80, 81, 100, 120, -1, -2}) {
        fx.beginEdit(tag);
        fx.setParameterAutomated(tag, 1.0f);
        fx.endEdit(tag);
    }
    EXPECT_TRUE(p.HostEvents().empty());
    EXPECT_FALSE(p.IsBypassed());
}

}  // namespace
