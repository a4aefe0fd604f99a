// Memory running out while the host loads the group, makes an instance or
// asks for its view: an error and nothing half made or left behind, or
// something that works as if memory had never run short.

#include <gtest/gtest.h>

#include <set>

#include "DspTestKit.h"
#include "ProToolsHarness.h"
#include "mac/protools/TemplateCustomUI.h"

using namespace tonewright;

namespace {

// The instance made and its view asked for: no instance and an error, or an
// instance that plays as one made with memory to spare, and a view made then
// or at the next request, whose editor opens.
TEST(ProToolsOutOfMemory, AnInstanceIsMadeWholeOrNotAtAllAndItsViewThenOrAtTheNextRequest)
{
    CEffectType& type = *pttest::Loaded().type(2);
    const pttest::Signals in = {pttest::TestSignal(4096, 31), pttest::TestSignal(4096, 32)};
    CCustomView* view = nullptr;
    const auto make = [&](ComponentResult* result) {
        auto made = pthost::Instance::Make(type, 48000.0, result);
        view = made ? made->process().HostGetView(nullptr) : nullptr;
        return made;
    };
    const auto reference = make(nullptr);
    // Counted while the reference lives, as every instance below is made:
    // the programs' prepared cabinets are shared between instances.
    long total;
    {
        testkit::AllocationCounter count;
        const auto counted = make(nullptr);
        total = count.count();
    }
    const auto expected = pttest::Render(*reference, in);
    int none = 0, noView = 0, whole = 0;
    for (long k = 0; k <= total; ++k) {
        // The first 32, the last 128 (the view's among them), and every 64th.
        if (k >= 32 && k <= total - 128 && k % 64 != 0) continue;
        ComponentResult result = kPlugInNoErr;
        std::unique_ptr<pthost::Instance> instance;
        {
            testkit::AllocationFailure failure(k);
            instance = make(&result);
        }
        if (!instance) {
            EXPECT_NE(result, kPlugInNoErr) << k;
            ++none;
            continue;
        }
        ASSERT_EQ(pttest::Render(*instance, in), expected) << "allocations failing from number " << k;
        CEffectProcess& p = instance->process();
        ++(view ? whole : noView);
        if (!view) view = p.HostGetView(nullptr);
        ASSERT_NE(view, nullptr) << k;
        auto* inner = dynamic_cast<tonewright::CTemplateNoUIView*>(view->GetSubview(0));
        ASSERT_TRUE(inner && inner->GetCustomUI()) << k;
        const CGrafPtr port = NewPortForWindow(nullptr);
        p.HostSetWindowPort(port);
        EXPECT_TRUE(pttest::EffectOf(*instance).getEditor()->isOpen()) << k;
        p.HostSetWindowPort(nullptr);
        DisposePortForWindow(port);
    }
    EXPECT_GT(none, 40);
    EXPECT_GT(noView, 0);
    EXPECT_GT(whole, 0);
}

// Loading: no group made (-7003) or a type half made (-7401), with nothing
// left behind, or a whole group.
TEST(ProToolsOutOfMemory, LoadingFailsWithTheLibrarysCodesAndLeaksNothing)
{
    std::set<ComponentResult> seen;
    for (long k = 0; !seen.count(kPlugInNoErr) && k < 400; ++k) {
        auto* group = reinterpret_cast<CProcessGroupInterface*>(1);
        ComponentResult r;
        {
            testkit::AllocationFailure failing(k);
            r = NewMachOPlugIn(&group);
        }
        seen.insert(r);
        if (r != kPlugInNoErr) {
            EXPECT_EQ(group, nullptr) << k;
            continue;
        }
        const auto* made = dynamic_cast<CEffectGroup*>(group);
        ASSERT_NE(made, nullptr);
        EXPECT_EQ(made->GetNumTypes(), 2u);
        CloseMachOPlugIn(group);
    }
    EXPECT_EQ(seen, (std::set<ComponentResult>{kPlugInNoErr, kPlugInNoGroupErr, kPlugInUnknownErr}));
}

}  // namespace
