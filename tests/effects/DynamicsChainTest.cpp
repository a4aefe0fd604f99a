// The gate, wah, sustainer and equaliser inside the engine: driven by the
// engine's ids, allocation-free once reserved.

#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "DspTestKit.h"
#include "engine/Tonewright.h"

using namespace tonewright;

using namespace testkit;

TEST(DynamicsChain, EngineIdsReachTheStages)
{
    auto e = std::make_unique<Tonewright>();
    e->SetParameterNormalized(2, -0.3);
    EXPECT_EQ(e->gate.GetParameter(1), -80.0);
    e->SetParameterNormalized(2, 7.0);
    EXPECT_EQ(e->GetParameters()->gate.threshold, -10.0);
    e->SetParameter(8, 0.75);
    EXPECT_EQ(e->wah.GetParameter(2), 0.75);
    e->SetParameter(10, 0);
    EXPECT_EQ(e->sustainer.GetParameters().type, 0);
    e->SetParameter(28, 2);
    EXPECT_EQ(e->eq_pre.Section(0).GetParameter(2), 62.5);
    EXPECT_EQ(e->eq_post.Section(0).GetParameter(2), 62.5);
    e->SetParameter(29, 1e9);  // clamped by the equaliser, and read back as it holds it
    EXPECT_EQ(e->GetParameters()->eq.parameters.band1, GraphicEQ7::kLargestGainDb);
}

TEST(DynamicsChain, EveryStageOnAllocatesNothingOnceReserved)
{
    auto e = std::make_unique<Tonewright>();
    for (const auto& [id, v] : std::initializer_list<std::pair<int, double>>{
             {1, 1}, {6, 1}, {7, 1}, {9, 1}, {27, 1}, {26, 0}, {29, 6}, {33, -4}}) {
        e->SetParameter(id, v);
    }
    e->Reserve(512);
    const auto signal = whiteNoise(512, 0.3, 3);
    std::vector<double> in(512), l(512), r(512);
    std::mt19937 rng(4);
    std::uniform_int_distribution<int> size(1, 512);
    AllocationCounter allocations;
    for (int b = 0; b < 600; ++b) {
        const int n = size(rng);
        std::copy_n(signal.begin(), n, in.begin());
        if (b % 20 == 0) e->SetParameterNormalized(2, (b % 7) / 6.0);
        if (b % 30 == 0) e->SetParameterNormalized(10, (b / 30) % 2);
        if (b % 25 == 0) e->SetParameterNormalized(7, (b / 25) % 3 / 2.0);
        if (b % 45 == 0) e->SetParameterNormalized(26, (b / 45) % 2);
        e->process(in.data(), l.data(), r.data(), n);
        ASSERT_TRUE(allFinite(l) && allFinite(r));
    }
    EXPECT_EQ(allocations.count(), 0);
    EXPECT_EQ(allocations.freed(), 0);
}
