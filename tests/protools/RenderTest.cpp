// Rendering: the mono and stereo types against the Effect itself, Master
// Bypass, the host's sample rate, and no allocation while rendering.

#include <gtest/gtest.h>

#include <random>

#include "DspTestKit.h"
#include "ProToolsHarness.h"

namespace {

constexpr int kChorusOn = 38, kDelayOn = 68, kReverbOn = 74;

// The VST plug-in's render of the same signals with the same settings:
// second pointers null for a mono side.
std::vector<std::vector<float>> vstRender(double rate, int channels, const std::vector<std::vector<float>>& in,
                                          const std::vector<int>& blocks, const std::vector<std::pair<int, float>>& set)
{
    harness::Plugin vst(rate, 1024);
    for (auto [i, v] : set) vst.set(i, v);
    const size_t n = in[0].size();
    std::vector<std::vector<float>> out(static_cast<size_t>(channels), std::vector<float>(n));
    for (size_t pos = 0, b = 0; pos < n; ++b) {
        const int m = static_cast<int>(std::min<size_t>(size_t(blocks[b % blocks.size()]), n - pos));
        vst.run(in[0].data() + pos, channels == 2 ? in.back().data() + pos : nullptr, out[0].data() + pos,
                channels == 2 ? out[1].data() + pos : nullptr, m);
        pos += size_t(m);
    }
    return out;
}

TEST(ProToolsRender, MonoAndStereoTypesRenderExactlyAsTheEffectWithOneOrTwoChannels)
{
    const std::vector<std::pair<int, float>> settings = {{kChorusOn, 1.0f}, {kDelayOn, 1.0f}, {5, 0.8f}};
    const std::vector<int> blocks = {512, 64, 1000, 333, 1};
    const std::vector<std::vector<float>> in = {pttest::TestSignal(44100, 1), pttest::TestSignal(44100, 2, 0.3f)};
    std::vector<std::vector<float>> outputs[3];
    for (int channels : {1, 2}) {
        SCOPED_TRACE(channels);
        auto instance = pttest::Make(channels);
        for (auto [i, v] : settings) instance->setControl(i + 1, v);
        outputs[channels] = pttest::Render(*instance, in, blocks);
        const auto expected = vstRender(44100.0, channels, in, blocks, settings);
        EXPECT_EQ(outputs[channels], expected);
        EXPECT_GT(testkit::rms(std::vector<double>(outputs[channels][0].begin(), outputs[channels][0].end())), 0.01);
    }
    // The chorus makes the two sides differ, so the mono type's one output
    // is the Effect's mono mix, not a left channel.
    EXPECT_NE(outputs[2][0], outputs[2][1]);
    EXPECT_NE(outputs[1][0], outputs[2][0]);
}

TEST(ProToolsRender, MasterBypassCopiesEveryChannelAndLeavesTheEffectAlone)
{
    const std::vector<std::pair<int, float>> settings = {{kDelayOn, 1.0f}, {kReverbOn, 1.0f}};
    for (int channels : {1, 2}) {
        SCOPED_TRACE(channels);
        auto bypassed = pttest::Make(channels), reference = pttest::Make(channels);
        for (auto* instance : {bypassed.get(), reference.get()})
            for (auto [i, v] : settings) instance->setControl(i + 1, v);
        const std::vector<std::vector<float>> burst = {pttest::TestSignal(22050, 3), pttest::TestSignal(22050, 4)};
        const std::vector<std::vector<float>> other = {pttest::TestSignal(9000, 5), pttest::TestSignal(9000, 6)};
        const std::vector<std::vector<float>> silence = {std::vector<float>(44100, 0.0f)};
        EXPECT_EQ(pttest::Render(*bypassed, burst), pttest::Render(*reference, burst));

        const int bypass = bypassed->process().GetMasterBypassControlIndex();
        bypassed->process().HostSetControlValue(bypass, 1);
        const auto copied = pttest::Render(*bypassed, other, {500, 17});
        for (int c = 0; c < channels; ++c) EXPECT_EQ(copied[size_t(c)], other[size_t(c)]);
        // In place: the host's one buffer stays as it was.
        std::vector<float> a = other[0], b = other[1];
        float* io[2] = {a.data(), b.data()};
        bypassed->render(io, io, 9000);
        EXPECT_EQ(a, other[0]);
        EXPECT_EQ(b, other[1]);
        bypassed->process().HostSetControlValue(bypass, 0);

        // The echoes and the reverb go on from where the burst left them:
        // the Effect heard nothing while bypassed.
        EXPECT_EQ(pttest::Render(*bypassed, silence), pttest::Render(*reference, silence));
    }
}

TEST(ProToolsRender, TheEffectRunsAtTheHostsRateFromTheFirstBlockAndFollowsItsChanges)
{
    auto instance = pttest::Make(2, 96000.0);
    Effect& fx = pttest::EffectOf(*instance);
    CEffectProcess& p = instance->process();
    EXPECT_EQ(fx.getSampleRate(), 96000.0f);
    EXPECT_EQ(fx.engine->GetFs(), 96000.0);
    const std::vector<std::vector<float>> in = {pttest::TestSignal(20000, 7), pttest::TestSignal(20000, 8)};
    EXPECT_EQ(pttest::Render(*instance, in), vstRender(96000.0, 2, in, {512}, {}));

    // Announced, but no engine could be built for it (memory ran out): the
    // old one plays on, and the next call tries again.
    {
        testkit::AllocationFailure failing(0);
        p.HostSetSampleRate(48000.0, true);
    }
    EXPECT_EQ(fx.engine->GetFs(), 96000.0);
    p.HostIdle();
    EXPECT_EQ(fx.engine->GetFs(), 48000.0);

    // A rate the host did not announce: rendering notes it and goes on at
    // the old rate; the next call on another thread applies it.
    const struct {
        double rate;
        std::function<void()> nextCall;
    } silentChanges[] = {
        {88200.0, [&] { p.HostIdle(); }},
        {44100.0, [&] { int32_t size = 0; p.HostChunkSize(p.GetChunks()[0].id, &size); }},
        {192000.0, [&] { std::vector<unsigned char> r = pthost::ChunkRecord("<TWRChunk/>"); instance->writeChunk(p.GetChunks()[0].id, r); }},
    };
    for (const auto& change : silentChanges) {
        const double before = fx.engine->GetFs();
        p.HostSetSampleRate(change.rate, false);
        std::vector<float> x(256, 0.1f), l(256), r(256);
        float* inputs[2] = {x.data(), x.data()};
        float* outputs[2] = {l.data(), r.data()};
        {
            testkit::AllocationCounter allocations;
            instance->render(inputs, outputs, 256);
            EXPECT_EQ(allocations.count(), 0);
        }
        EXPECT_EQ(fx.engine->GetFs(), before);
        change.nextCall();
        EXPECT_EQ(fx.engine->GetFs(), change.rate);
        EXPECT_EQ(fx.getSampleRate(), static_cast<float>(change.rate));
    }
    // A rate the Effect refuses leaves it at the last one.
    p.HostSetSampleRate(1e6, true);
    EXPECT_EQ(fx.engine->GetFs(), 192000.0);
}

TEST(ProToolsRender, NothingIsAllocatedWhileRenderingControlsAndMidiAfterSetUp)
{
    auto instance = pttest::Make(2, 48000.0);
    CEffectProcess& p = instance->process();
    const std::vector<float> signal = pttest::TestSignal(4096, 9);
    std::vector<float> a = signal, b = signal, l(4096), r(4096);
    float* inputs[2] = {a.data(), b.data()};
    float* outputs[2] = {l.data(), r.data()};
    instance->render(inputs, outputs, 512);
    std::mt19937 rng(3);
    testkit::AllocationCounter allocations;
    for (int block = 0; block < 300; ++block) {
        instance->render(inputs, outputs, 1 + static_cast<int>(rng() % 4096));
        p.HostSetControlValue(1 + static_cast<int>(rng() % 81), static_cast<int32_t>(rng()));
        instance->sendMidi({0xB0, static_cast<unsigned char>(rng() % 128), static_cast<unsigned char>(rng() % 128)});
        if (block % 50 == 0) instance->sendMidi({0xC0, static_cast<unsigned char>(rng() % 128), 0});
    }
    EXPECT_EQ(allocations.count(), 0);
    pttest::EffectOf(*instance).waitForWorker();
}

}  // namespace
