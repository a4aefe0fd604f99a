// Rendering: Master Bypass, the host's sample rate, and no allocation while
// rendering (the samples against the VST plug-in's are CommandTest's).

#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "DspTestKit.h"
#include "ProToolsHarness.h"

using namespace tonewright;

namespace {

using pttest::Signals;
constexpr int kDelayOn = 68, kReverbOn = 74;

// Bypassed, every channel is copied (in place too) and the Effect hears
// nothing: its echoes and reverb go on from where the burst left them.
TEST(ProToolsRender, MasterBypassCopiesEveryChannelAndLeavesTheEffectAlone)
{
    const Signals burst = {pttest::TestSignal(22050, 3), pttest::TestSignal(22050, 4)},
                  silence = {std::vector<float>(44100, 0.0f)};
    for (int channels : {1, 2}) {
        auto bypassed = pttest::Make(channels), reference = pttest::Make(channels);
        for (auto* instance : {bypassed.get(), reference.get()}) {
            for (int k : {kDelayOn + 1, kReverbOn + 1}) instance->setControl(k, 1.0);
            pttest::Render(*instance, burst);
        }
        bypassed->process().HostSetControlValue(81, 1);
        EXPECT_EQ(pttest::Render(*bypassed, burst, {500, 17}), Signals(burst.begin(), burst.begin() + channels));
        Signals io = burst;
        float* buffers[2] = {io[0].data(), io[1].data()};
        bypassed->render(buffers, buffers, 9000);
        EXPECT_EQ(io, burst) << channels;
        bypassed->process().HostSetControlValue(81, 0);
        EXPECT_EQ(pttest::Render(*bypassed, silence), pttest::Render(*reference, silence)) << channels;
    }
}

TEST(ProToolsRender, TheEffectRunsAtTheHostsRateFromTheFirstBlockAndFollowsItsChanges)
{
    auto instance = pttest::Make(2, 96000.0);
    Effect& fx = pttest::EffectOf(*instance);
    CEffectProcess& p = instance->process();
    auto engineRate = [&] {
        double rate = 0.0;
        fx.inspectEngine([&](Tonewright& engine) { rate = engine.GetFs(); });
        return rate;
    };
    EXPECT_EQ(engineRate(), 96000.0);

    // Announced, but no engine could be built for it (memory ran out): the
    // old one plays on, and the next call tries again.
    {
        testkit::AllocationFailure failing(0);
        p.HostSetSampleRate(48000.0, true);
    }
    EXPECT_EQ(engineRate(), 96000.0);
    p.HostIdle();
    EXPECT_EQ(engineRate(), 48000.0);

    // A rate the host did not announce: rendering notes it without allocating
    // and goes on at the old rate; the next idle, control or chunk call
    // applies it.
    int32_t size = 0;
    std::vector<unsigned char> record = pthost::ChunkRecord("<TWRChunk/>");
    const struct {
        double rate;
        std::function<void()> nextCall;
    } silentChanges[] = {
        {88200.0, [&] { p.HostIdle(); }},
        {48000.0, [&] { instance->setControl(31, 0.5); }},
        {44100.0, [&] { p.HostChunkSize(pttest::ChunkId(*instance), &size); }},
        {192000.0, [&] { instance->writeChunk(pttest::ChunkId(*instance), record); }},
    };
    for (const auto& change : silentChanges) {
        const double before = engineRate();
        p.HostSetSampleRate(change.rate, false);
        Signals io(2, std::vector<float>(256, 0.1f));
        float* buffers[2] = {io[0].data(), io[1].data()};
        {
            testkit::AllocationCounter allocations;
            instance->render(buffers, buffers, 256);
            EXPECT_EQ(allocations.count(), 0);
            EXPECT_EQ(allocations.freed(), 0);
        }
        EXPECT_EQ(engineRate(), before);
        change.nextCall();
        EXPECT_EQ(engineRate(), change.rate);
        EXPECT_EQ(fx.getSampleRate(), static_cast<float>(change.rate));
    }
    // A rate the Effect refuses leaves it at the last one.
    p.HostSetSampleRate(1e6, true);
    EXPECT_EQ(engineRate(), 192000.0);
}

TEST(ProToolsRender, NothingIsAllocatedWhileRenderingControlsAndMidiAfterSetUp)
{
    auto instance = pttest::Make(2, 48000.0);
    Signals io(2, pttest::TestSignal(4096, 9));
    float* buffers[2] = {io[0].data(), io[1].data()};
    instance->render(buffers, buffers, 512);
    std::mt19937 rng(3);
    testkit::AllocationCounter allocations;
    for (int block = 0; block < 300; ++block) {
        instance->render(buffers, buffers, 1 + static_cast<int>(rng() % 4096));
        instance->process().HostSetControlValue(1 + static_cast<int>(rng() % 81), static_cast<int32_t>(rng()));
        instance->sendMidi({0xB0, static_cast<unsigned char>(rng() % 128), static_cast<unsigned char>(rng() % 128)});
        if (block % 50 == 0) instance->sendMidi({0xC0, static_cast<unsigned char>(rng() % 128), 0});
    }
    EXPECT_EQ(allocations.count(), 0);
    EXPECT_EQ(allocations.freed(), 0);
    pttest::EffectOf(*instance).waitForWorker();
}

}  // namespace
