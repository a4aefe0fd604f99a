// The group the host makes first: identity, the two types with every code
// they pass to the library, in order; the view class it registers; and
// loading under memory that runs out.

#include <gtest/gtest.h>

#include <set>

#include "DspTestKit.h"
#include "ProToolsHarness.h"
#include "mac/protools/TemplateCustomUI.h"

namespace {

constexpr OSType fcc(const char (&s)[5]) { return MakeOSType(s[0], s[1], s[2], s[3]); }

TEST(ProToolsGroup, DeclaresTheProductAndExactlyTheMonoAndStereoTypesInOrder)
{
    const CEffectGroup& g = pttest::Loaded().group();
    EXPECT_EQ(g.GetManufacturerNames(), "Quarrystone\nQS");
    EXPECT_EQ(g.GetManufacturerID(), 0x51727973u);  // 'Qrys'
    EXPECT_EQ(g.GetProductNames(), "Quarrystone TWR\nQS TWR");
    EXPECT_EQ(g.GetProductVersion(), 1);
    EXPECT_EQ(g.GetGroupCodes(), std::vector<int32_t>{14});
    EXPECT_TRUE(g.IsInitialized());
    ASSERT_EQ(g.GetNumTypes(), 2u);

    const struct {
        OSType id;
        std::vector<int32_t> formats;
        int channels;
    } expected[] = {{0x72746D6E, {0, 0, 0}, 1}, {0x72747374, {1, 1, 0}, 2}};
    for (size_t i = 0; i < 2; ++i) {
        const CEffectType& t = *g.GetType(i);
        SCOPED_TRACE(i);
        EXPECT_NE(dynamic_cast<const CEffectTypeRTAS*>(&t), nullptr);
        EXPECT_EQ(t.GetTypeID(), expected[i].id);
        EXPECT_EQ(t.GetProductID(), fcc("Qtwr"));
        EXPECT_EQ(t.GetCategory(), 0x40);
        EXPECT_EQ(t.GetNames(), "Quarrystone Tonewright Suite\nQuarrystone TWR\nQS TWR\nTWR");
        EXPECT_EQ(t.GetSettings(), std::vector<int32_t>{6});
        EXPECT_EQ(t.GetFeatures(), (std::vector<int32_t>{8, 48}));
        EXPECT_EQ(t.GetFormats(), expected[i].formats);
        EXPECT_EQ(t.GetSecondID(), fcc("Qtwr"));
        EXPECT_EQ(t.GetFactory(), &tonewright::NewTemplateProcessRTAS);
        EXPECT_EQ(t.GetNumChannels(), expected[i].channels);
    }
    // The product id is the VST plug-in's unique id.
    harness::Plugin vst;
    EXPECT_EQ(static_cast<OSType>(vst.aeffect()->uniqueID), fcc("Qtwr"));

    // The view class is registered under its name.
    CCustomView parent;
    CCustomView* view = MakeViewFromDescription("!NoUIView[('NoID')]", parent, 0, 0, 10, 10);
    EXPECT_NE(dynamic_cast<tonewright::CTemplateNoUIView*>(view), nullptr);
}

// Memory running out at every point of loading: an error (no group made,
// -7003; a type half made, -7401) and nothing left behind, or a whole group.
TEST(ProToolsGroup, LoadingWithoutMemoryFailsWithTheLibrarysCodesAndLeaksNothing)
{
    std::set<ComponentResult> seen;
    bool loaded = false;
    for (long k = 0; !loaded && k < 400; ++k) {
        CProcessGroupInterface* group = reinterpret_cast<CProcessGroupInterface*>(1);
        ComponentResult r;
        {
            testkit::AllocationFailure failing(k);
            r = NewMachOPlugIn(&group);
        }
        seen.insert(r);
        if (r == kPlugInNoErr) {
            const auto* made = dynamic_cast<CEffectGroup*>(group);
            ASSERT_NE(made, nullptr);
            EXPECT_EQ(made->GetNumTypes(), 2u);
            CloseMachOPlugIn(group);
            loaded = true;
        } else {
            EXPECT_EQ(group, nullptr) << k;
        }
    }
    EXPECT_TRUE(loaded);
    EXPECT_EQ(seen, (std::set<ComponentResult>{kPlugInNoErr, kPlugInNoGroupErr, kPlugInUnknownErr}));
}

}  // namespace
