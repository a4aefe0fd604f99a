// The Pro Tools instance rendering on one thread, in blocks of odd and
// changing sizes, while another moves controls, saves and restores the
// document (chunk or controls first, and right after a program change),
// idles and changes the session rate (announced, or left for the render
// thread to see first), and a third automates as the editor does. The
// instance had its chunk written before it was initialised. Under
// ThreadSanitizer any race fails it; without, it checks that the audio
// stays finite, nothing deadlocks and no slow work ran under the engine
// lock.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <random>
#include <thread>

#include "ProToolsHarness.h"
#include "dsp/AudioThread.h"

TEST(ProToolsStress, RenderRunsWhileControlsChunksRatesAndAutomationChange)
{
    // With the factory bank: program changes switch between real sounds.
    ::setenv("XDG_DATA_HOME", (harness::TestHome() / "data").c_str(), 1);
    const std::string chunk = pttest::EffectChunk(pttest::EffectOf(*pttest::Make(2)));
    auto instance = pttest::HostInstance(2, 44100.0, {chunk, -1, {}}, {.chunkBeforeInitialize = true});
    CEffectProcess& p = instance->process();
    Effect& fx = pttest::EffectOf(*instance);
    ResetAudioThreadViolations();
    std::atomic<int> busy{2};
    std::atomic<bool> dirty{false};
    std::atomic<long> blocks{0};

    std::thread audio([&] {
        const int odd[] = {1, 3, 17, 511, 4097};
        std::vector<float> a(4097), b(4097), l(4097), r(4097);
        std::mt19937 rng(1);
        std::uniform_real_distribution<float> d(-0.8f, 0.8f);
        for (; busy.load() > 0 || blocks.load() < 300; ++blocks) {
            const int n = blocks % 2 ? odd[blocks / 2 % 5] : 1 + static_cast<int>(rng() % 4097);
            for (int i = 0; i < n; ++i) a[size_t(i)] = b[size_t(i)] = d(rng);
            float* in[2] = {a.data(), b.data()};
            float* out[2] = {l.data(), r.data()};
            instance->render(in, out, n);
            for (int i = 0; i < n; ++i)
                if (!std::isfinite(l[size_t(i)]) || !std::isfinite(r[size_t(i)])) dirty = true;
            const auto byte = [&] { return static_cast<unsigned char>(rng() % 128); };
            instance->sendMidi({0xB0, byte(), byte()});
            if (rng() % 61 == 0) instance->sendMidi({0xC0, byte(), 0});
        }
    });
    std::thread controls([&] {
        std::mt19937 rng(2);
        const double rates[] = {44100.0, 48000.0, 96000.0};
        for (int k = 0; k < 40; ++k) {
            for (int m = 0; m < 50; ++m) p.HostSetControlValue(1 + int(rng() % 81), static_cast<int32_t>(rng()));
            if (k % 4 == 1) fx.setProgram(static_cast<VstInt32>(rng() % 128));  // the editor's menu, then saved
            const pthost::Session session = instance->save();
            if (k % 4 == 2 && instance->restore(session, k % 8 == 2) != kPlugInNoErr) dirty = true;
            if (k % 10 == 0) p.HostSetSampleRate(rates[(k / 10) % 3], k % 20 == 0);
            p.HostIdle();
        }
        --busy;
    });
    std::thread editor([&] {
        std::mt19937 rng(3);
        for (int k = 0; k < 3000; ++k) {
            const int index = static_cast<int>(rng() % 80);
            fx.beginEdit(index);
            fx.setParameterAutomated(index, static_cast<float>(rng() % 1000) / 999.0f);
            fx.endEdit(index);
        }
        --busy;
    });
    for (auto* t : {&editor, &controls, &audio}) t->join();
    fx.waitForWorker();
    EXPECT_FALSE(dirty);
    EXPECT_EQ(AudioThreadViolations(), 0) << FirstAudioThreadViolation();
    EXPECT_GT(blocks.load(), 300);
}
