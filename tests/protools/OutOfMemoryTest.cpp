// Memory running out while the host makes an instance or asks for its
// view: an error and nothing half made, or an instance that plays and a
// view that works as if memory had never run short.

#include <gtest/gtest.h>

#include "DspTestKit.h"
#include "ProToolsHarness.h"
#include "mac/protools/TemplateCustomUI.h"

namespace {

std::vector<long> failurePoints(long total)
{
    std::vector<long> points;
    for (long k = 0; k <= total; ++k)
        if (k < 32 || k > total - 32 || k % 64 == 0) points.push_back(k);
    return points;
}

TEST(ProToolsOutOfMemory, AnInstanceIsMadeWholeAndPlaysOrTheHostIsToldThereIsNone)
{
    CEffectType& type = *pttest::Loaded().type(2);
    const std::vector<std::vector<float>> in = {pttest::TestSignal(4096, 31), pttest::TestSignal(4096, 32)};
    std::vector<std::vector<float>> expected;
    long total;
    {
        testkit::AllocationCounter count;
        auto reference = pthost::Instance::Make(type, 48000.0);
        total = count.count();
        expected = pttest::Render(*reference, in);
    }
    int made = 0, none = 0;
    for (long k : failurePoints(total)) {
        ComponentResult result = kPlugInNoErr;
        std::unique_ptr<pthost::Instance> instance;
        {
            testkit::AllocationFailure failure(k);
            instance = pthost::Instance::Make(type, 48000.0, &result);
        }
        if (!instance) {
            ASSERT_NE(result, kPlugInNoErr) << k;
            ++none;
            continue;
        }
        ++made;
        ASSERT_EQ(instance->process().GetNumControls(), 81) << k;
        ASSERT_EQ(pttest::Render(*instance, in), expected) << "allocations failing from number " << k;
    }
    EXPECT_GT(none, 40);
    EXPECT_GT(made, 0);
}

TEST(ProToolsOutOfMemory, AViewThatCannotBeMadeIsNoneAndTheNextRequestMakesIt)
{
    long total;
    {
        auto instance = pttest::Make(2);
        testkit::AllocationCounter count;
        instance->process().HostGetView(nullptr);
        total = count.count();
    }
    int made = 0, none = 0;
    for (long k : failurePoints(total)) {
        auto instance = pttest::Make(2);
        CEffectProcess& p = instance->process();
        CCustomView* view;
        {
            testkit::AllocationFailure failure(k);
            view = p.HostGetView(nullptr);
        }
        ++(view ? made : none);
        if (!view) view = p.HostGetView(nullptr);
        ASSERT_NE(view, nullptr) << k;
        auto* inner = dynamic_cast<tonewright::CTemplateNoUIView*>(view->GetSubview(0));
        ASSERT_NE(inner, nullptr) << k;
        ASSERT_NE(inner->GetCustomUI(), nullptr) << k;
        const CGrafPtr port = NewPortForWindow(nullptr);
        p.HostSetWindowPort(port);
        EXPECT_TRUE(pttest::EffectOf(*instance).getEditor()->isOpen()) << k;
        p.HostSetWindowPort(nullptr);
        DisposePortForWindow(port);
    }
    EXPECT_GT(none, 0);
    EXPECT_GT(made, 0);
}

}  // namespace
