// The unit rendering on one thread while another sets and reads parameters,
// chooses presets, saves and restores the state, asks for the presets and
// resets it, and a third sends MIDI as a host's MIDI thread would. Built
// with ThreadSanitizer in CI, where any race fails the run; without it, it
// checks that the audio stays finite and every call succeeds.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include "AuHost.h"
#include "PluginHarness.h"

using namespace tonewright;

TEST(AUStress, RenderingWhileParametersPresetsAndStateChangeOnOtherThreads)
{
    // With the factory bank: presets and states switch between real sounds.
    ::setenv("XDG_DATA_HOME", (harness::TestHome() / "data").c_str(), 1);
    OSStatus status = noErr;
    auto unit = auhost::Unit::open(status);
    ASSERT_TRUE(unit);
    ASSERT_FALSE(unit->setFormat(48000.0, 2) || unit->setMaxFrames(512) || unit->initialize());
    std::vector<char> state, saved;
    ASSERT_EQ(unit->saveChunk(state), noErr);

    std::atomic<bool> done{false}, dirty{false};
    std::atomic<long> blocks{0}, failures{0};
    std::thread audio([&] {
        std::vector<float> a(512), b(512), l(512), r(512);
        float* ins[2] = {a.data(), b.data()};
        float* outs[2] = {l.data(), r.data()};
        std::mt19937 rng(1);
        std::uniform_real_distribution<float> d(-0.5f, 0.5f);
        for (; !done.load() || blocks.load() < 100; ++blocks) {
            const UInt32 n = 1 + rng() % 512;
            for (UInt32 i = 0; i < n; ++i) a[i] = b[i] = d(rng);
            failures += unit->render(ins, outs, n) != noErr;
            for (UInt32 i = 0; i < n; ++i)
                if (!std::isfinite(l[i]) || !std::isfinite(r[i])) dirty = true;
        }
    });
    std::thread midi([&] {
        std::mt19937 rng(2);
        for (; !done.load(); std::this_thread::sleep_for(std::chrono::milliseconds(1)))
            failures += unit->midi(rng() % 8 ? 0xB1 : 0xC1, rng() % 128, rng() % 128) != noErr;
    });
    std::mt19937 rng(3);
    for (int k = 0; k < 18; ++k) {
        CFArrayRef presets = nullptr;
        UInt32 size = sizeof presets;
        switch (k % 6) {
        case 0: failures += unit->selectPreset(int(rng() % 128)) != noErr; break;
        case 1: failures += unit->restoreChunk(state) != noErr; break;
        case 2: failures += unit->saveChunk(saved) != noErr || saved.empty(); break;
        case 3:
            failures += AudioUnitGetProperty(unit->unit(), kAudioUnitProperty_FactoryPresets, kAudioUnitScope_Global, 0,
                                             &presets, &size) != noErr;
            if (presets) CFRelease(presets);
            break;
        case 4: failures += AudioUnitReset(unit->unit(), kAudioUnitScope_Global, 0) != noErr; break;
        default:
            for (int i = 0; i < 200; ++i) {
                const auto id = AudioUnitParameterID(rng() % 80);
                failures += unit->setParameter(id, float(rng() % 1000) / 999.0f) != noErr;
                if (!(unit->parameter(id) >= 0.0f)) dirty = true;
            }
        }
    }
    done = true;
    midi.join();
    audio.join();
    EXPECT_FALSE(dirty);
    EXPECT_EQ(failures.load(), 0);
    EXPECT_GE(blocks.load(), 100);
    unit.reset();
    EXPECT_EQ(ComponentStandInOpenInstances(), 0);
}
