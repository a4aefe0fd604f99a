// The group and its controls: the two types, a linear control per Effect
// parameter, host moves reaching the Effect and the Effect's automation
// reaching the host.

#include <gtest/gtest.h>

#include "ProToolsHarness.h"
#include "mac/protools/TemplateCustomUI.h"

namespace {

// Mono then stereo, made by the product's factory under the VST plug-in's
// id, with its view class registered; controls named and set as its
// parameters, then Master Bypass.
TEST(ProToolsControls, TheTwoTypesMakeALinearControlPerParameterAsTheVstPluginHasThemThenMasterBypass)
{
    harness::Plugin vst;
    const CEffectGroup& g = pttest::Loaded().group();
    ASSERT_EQ(g.GetNumTypes(), 2u);
    const auto id = static_cast<OSType>(vst.aeffect()->uniqueID);
    for (int i = 0; i < 2; ++i) {
        const CEffectType* t = g.GetType(size_t(i));
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->GetNumChannels(), i + 1);
        EXPECT_EQ(t->GetFormats(), (std::vector<int32_t>{i, i, 0}));
        EXPECT_TRUE(t->GetProductID() == id && t->GetSecondID() == id) << i;
        EXPECT_EQ(t->GetFactory(), &tonewright::NewTemplateProcessRTAS);
    }
    CCustomView parent;
    CCustomView* view = MakeViewFromDescription("!NoUIView[('NoID')]", parent, 0, 0, 10, 10);
    EXPECT_NE(dynamic_cast<tonewright::CTemplateNoUIView*>(view), nullptr);

    auto instance = pttest::Make(1);
    CEffectProcess& p = instance->process();
    ASSERT_EQ(p.GetNumControls(), 81);
    for (int i = 0; i < 80; ++i) {
        const auto* c = dynamic_cast<const CPluginControl_Linear*>(p.GetControl(i + 1));
        ASSERT_NE(c, nullptr) << i;
        EXPECT_EQ(std::string(c->GetName()), vst.text(effGetParamName, i));
        EXPECT_EQ(c->GetDefaultValue(), c->ConvertContinuousToControl(vst.get(i))) << i;
    }
    EXPECT_EQ(p.GetMasterBypassControlIndex(), 81);
    EXPECT_NE(dynamic_cast<const CPluginControl_OnOff*>(p.GetControl(81)), nullptr);
}

// Host moves reach parameter k - 1, exactly where the control's 2^-32 steps
// are finer than the float's; the Effect's automation of parameter i
// touches, sets and releases control i + 1, nested gestures told once; a
// value coming back within a millionth leaves the program unmodified; the
// bypass, editor tags and unknown indices reach nothing.
TEST(ProToolsControls, MovesReachTheEffectAndItsAutomationTheControlsBothWays)
{
    using Event = CEffectProcess::HostEvent;
    auto instance = pttest::Make(2);
    CEffectProcess& p = instance->process();
    Effect& fx = pttest::EffectOf(*instance);
    for (int k : {1, 6, 40, 80})
        for (double v : {0.0, 1.0, 0.5, 0.1875, 0.3, 0.999, 1e-3}) {
            ASSERT_EQ(instance->setControl(k, v), kPlugInNoErr);
            EXPECT_NEAR(fx.getParameter(k - 1), static_cast<float>(v), v >= 1.0 / 256 ? 0.0 : 2.4e-10) << k;
        }

    const auto* gain = dynamic_cast<const CPluginControl_Continuous*>(p.GetControl(6));
    const int32_t v1 = gain->ConvertContinuousToControl(0.7f), v2 = gain->ConvertContinuousToControl(0.3f);
    p.ClearHostEvents();
    fx.beginEdit(5);
    fx.setParameterAutomated(5, 0.7f);
    fx.beginEdit(5);
    fx.endEdit(5);
    fx.setParameterAutomated(5, 0.3f);
    fx.endEdit(5);
    fx.endEdit(5);  // one release too many
    EXPECT_EQ(p.HostEvents(), (std::vector<Event>{{Event::touched, 6, 0},
                                                  {Event::automated, 6, v1},
                                                  {Event::automated, 6, v2},
                                                  {Event::released, 6, 0}}));
    EXPECT_EQ(p.GetControlValue(6), v2);
    fx.setProgramModified(false);
    for (auto [v, modified] : {std::pair{0.3 + 9e-7, false}, {0.3 + 2e-6, true}}) {
        instance->setControl(6, v);
        EXPECT_EQ(fx.getParameter(5), modified ? static_cast<float>(v) : 0.3f);
        EXPECT_EQ(fx.isProgramModified(), modified);
    }

    p.ClearHostEvents();
    const std::string before = pttest::EffectChunk(fx);
    for (int tag : {80, 81, 100, 120, -1, -2}) {
        fx.beginEdit(tag);
        fx.setParameterAutomated(tag, 1.0f);
        fx.endEdit(tag);
    }
    EXPECT_TRUE(p.HostEvents().empty());
    EXPECT_FALSE(p.IsBypassed());
    EXPECT_EQ(p.HostSetControlValue(81, 1), kPlugInNoErr);
    EXPECT_TRUE(p.IsBypassed());
    EXPECT_NE(p.HostSetControlValue(82, 1), kPlugInNoErr);
    EXPECT_NE(p.HostSetControlValue(0, 1), kPlugInNoErr);
    EXPECT_EQ(pttest::EffectChunk(fx), before);
}

}  // namespace
