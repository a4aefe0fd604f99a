// The unit rendering on one thread while another sets and reads parameters,
// chooses presets, saves and restores the state (either side of a set of
// values, and right after a preset), asks for the presets, resets it and
// changes its rate between two slices (the audio paused, as hosts do), and
// a third sends MIDI as a host's MIDI thread would (program changes among
// it, which the unit shows as the present preset and announces from that
// thread to a listener). The unit is restored before it is initialised, and
// renders slices of odd and changing sizes. Built with ThreadSanitizer in
// CI, where any race fails the run; without it, it checks that the audio
// stays finite, every call succeeds and the present preset ends as the
// program the plug-in plays.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "AUHarness.h"

using namespace au_test;

TEST_F(RealUnitTest, AUStressRenderingWhileParametersPresetsStateAndRatesChangeOnOtherThreads)
{
    Sound sound;
    {
        auto saver = HostUnit(44100.0, 2, Sound{{}, 88, {{30, 0.25f}}}, {});
        ASSERT_EQ(saver->saveChunk(sound.state), noErr);
    }
    const std::vector<int> odd{1, 3, 17, 511, 4097};
    auto unit = HostUnit(48000.0, 2, sound, {.stateBeforeInitialize = true, .slices = odd});
    std::vector<char> saved;

    Listener listener;
    std::atomic<bool> done{false}, dirty{false};
    std::mutex rendering;  // the host's own: held for a slice, and while it changes the rate
    std::atomic<long> blocks{0}, failures{0};
    std::thread audio([&] {
        std::vector<float> a(4097), b(4097), l(4097), r(4097);
        float* ins[2] = {a.data(), b.data()};
        float* outs[2] = {l.data(), r.data()};
        std::mt19937 rng(1);
        std::uniform_real_distribution<float> d(-0.5f, 0.5f);
        for (; !done.load() || blocks.load() < 100; ++blocks) {
            const auto n = UInt32(blocks % 2 ? odd[size_t(blocks / 2) % odd.size()] : 1 + int(rng() % 4097));
            for (UInt32 i = 0; i < n; ++i) a[i] = b[i] = d(rng);
            {
                std::lock_guard<std::mutex> slice(rendering);
                failures += unit->render(ins, outs, n) != noErr;
            }
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
    const auto values = [&] {
        for (int i = 0; i < 200; ++i) {
            const auto id = AudioUnitParameterID(rng() % 80);
            failures += unit->setParameter(id, float(rng() % 1000) / 999.0f) != noErr;
            if (!(unit->parameter(id) >= 0.0f)) dirty = true;
        }
    };
    const double rates[] = {44100.0, 96000.0, 48000.0};
    for (int k = 0; k < 24; ++k) {
        CFArrayRef presets = nullptr;
        UInt32 size = sizeof presets;
        switch (k % 8) {
        case 0:
            failures += unit->selectPreset(int(rng() % 128)) != noErr;
            failures += unit->saveChunk(saved) != noErr || saved.empty();
            break;
        case 1: failures += unit->restoreChunk(sound.state) != noErr; break;
        case 2:
            values();
            failures += unit->restoreChunk(saved) != noErr;
            break;
        case 3: {
            failures += AudioUnitGetProperty(unit->unit(), kAudioUnitProperty_FactoryPresets, kAudioUnitScope_Global, 0,
                                             &presets, &size) != noErr;
            if (presets) CFRelease(presets);
            std::string name;
            const int present = unit->presentPreset(&name);
            failures += present < 0 || present > 127 || name.empty();
            break;
        }
        case 4: failures += AudioUnitReset(unit->unit(), kAudioUnitScope_Global, 0) != noErr; break;
        case 5: {
            std::lock_guard<std::mutex> stopped(rendering);
            failures += AudioUnitUninitialize(unit->unit()) || unit->setFormat(rates[k % 3], 2) || unit->initialize();
            break;
        }
        default: values();
        }
    }
    done = true;
    midi.join();
    audio.join();
    EXPECT_FALSE(dirty);
    EXPECT_EQ(failures.load(), 0);
    EXPECT_GE(blocks.load(), 100);
    // What the MIDI thread left for the host's next call is read then.
    unit->parameter(0);
    AUEventListenerStandInDeliver();
    EXPECT_EQ(unit->presentPreset(), static_cast<tonewright::Effect&>(EffectOf(unit->unit())).getProgram());
    ClearCalls();
}
