// The group the host makes first: the mono and stereo types in order, made
// by the product's factory under the VST plug-in's unique id, and the view
// class it registers.

#include <gtest/gtest.h>

#include "ProToolsHarness.h"
#include "mac/protools/TemplateCustomUI.h"

namespace {

TEST(ProToolsGroup, DeclaresExactlyTheMonoAndStereoTypesUnderTheVstPluginsIdAndRegistersTheView)
{
    const CEffectGroup& g = pttest::Loaded().group();
    ASSERT_EQ(g.GetNumTypes(), 2u);
    const OSType id = static_cast<OSType>(harness::Plugin().aeffect()->uniqueID);
    for (size_t i = 0; i < 2; ++i) {
        const CEffectType* t = g.GetType(i);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->GetNumChannels(), int(i) + 1);
        EXPECT_EQ(t->GetFormats(), (std::vector<int32_t>{int32_t(i), int32_t(i), 0}));
        EXPECT_EQ(t->GetProductID(), id);
        EXPECT_EQ(t->GetSecondID(), id);
        EXPECT_EQ(t->GetFactory(), &tonewright::NewTemplateProcessRTAS);
    }
    CCustomView parent;
    CCustomView* view = MakeViewFromDescription("!NoUIView[('NoID')]", parent, 0, 0, 10, 10);
    EXPECT_NE(dynamic_cast<tonewright::CTemplateNoUIView*>(view), nullptr);
}

}  // namespace
