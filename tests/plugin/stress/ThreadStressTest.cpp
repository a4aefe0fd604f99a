// Audio on one thread while other threads automate parameters, change,
// store and rename programs, switch between programs with cabinets of their
// own, poll the meters, learn and unlearn MIDI controllers, and announce
// block sizes and sample rates from two host threads at once.
// Built with ThreadSanitizer in CI, where any race fails the run; without
// it, it still checks that the audio stays clean, that nothing deadlocks and
// that no slow work ran on the audio thread.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <random>
#include <thread>
#include <vector>

#include "PluginHarness.h"
#include "dsp/AudioThread.h"

using harness::Plugin;

TEST(ThreadStress, AudioRunsWhileOtherThreadsChangeEverything)
{
    Plugin p(44100.0, 256);
    Effect& fx = p.effect();
    // Programs 120..123 hold cabinets of their own, mono and stereo, at two
    // recorded rates.
    std::vector<std::pair<int, TonewrightParameters>> cabinets;
    for (int k = 0; k < 4; ++k) {
        std::mt19937 rng(static_cast<unsigned>(k));
        std::normal_distribution<double> d(0.0, 0.3);
        std::vector<double> l(8192), r(8192);
        for (size_t i = 0; i < l.size(); ++i) {
            l[i] = d(rng) * std::exp(-double(i) / 1500.0);
            r[i] = d(rng) * std::exp(-double(i) / 1500.0);
        }
        TonewrightParameters sound = fx.currentSound();
        ASSERT_TRUE(sound.cabinet.SetImpulse(l.data(), r.data(), 8192, k % 2 == 0, k < 2 ? 44100.0 : 48000.0,
                                             "stress"));
        cabinets.emplace_back(120 + k, sound);
    }
    harness::StorePrograms(fx, cabinets);
    ResetAudioThreadViolations();
    std::atomic<int> busy{0};
    std::atomic<bool> dirtyOutput{false};
    std::atomic<long> blocks{0};

    std::thread audio([&] {
        std::vector<float> in(512), l(512), r(512);
        std::mt19937 rng(1);
        std::uniform_real_distribution<float> d(-1.0f, 1.0f);
        while (busy.load() > 0 || blocks.load() < 200) {
            const int n = 1 + static_cast<int>(rng() % 512);
            for (int i = 0; i < n; ++i) in[i] = d(rng);
            if (rng() % 50 == 0) in[0] = NAN;
            p.run(in.data(), rng() % 2 ? in.data() : nullptr, l.data(), rng() % 4 ? r.data() : nullptr, n);
            for (int i = 0; i < n; ++i)
                if (!std::isfinite(l[i])) dirtyOutput = true;
            // A program change arriving with the audio (as MIDI does).
            // A program change arriving with the audio (as MIDI does).
            if (rng() % 97 == 0) harness::send(p, {harness::midi(0xC0, static_cast<unsigned char>(rng() % 128), 0)});
            // A controller that completes a learn the editor armed.
            if (rng() % 61 == 0) harness::send(p, {harness::midi(0xB0, static_cast<unsigned char>(rng() % 128), 64)});
            ++blocks;
        }
    });

    auto worker = [&](auto body) {
        ++busy;
        return std::thread([&, body] {
            body();
            --busy;
        });
    };

    std::vector<std::thread> others;
    others.push_back(worker([&] {  // host automation
        std::mt19937 rng(2);
        for (int k = 0; k < 20000; ++k) {
            const int index = static_cast<int>(rng() % 80);
            p.set(index, static_cast<float>(rng() % 1000) / 999.0f);
            if (p.get(index) < 0.0f) dirtyOutput = true;
        }
    }));
    others.push_back(worker([&] {  // the editor's programs and names
        std::mt19937 rng(3);
        char name[64];
        for (int k = 0; k < 300; ++k) {
            const int program = static_cast<int>(rng() % 128);
            switch (rng() % 5) {
            case 0: p.dispatch(effSetProgram, 0, program); break;
            case 1: fx.saveCurrentToBank("Stress", program); break;
            case 2: p.dispatch(effSetProgramName, 0, 0, const_cast<char*>("Renamed")); break;
            case 3: p.dispatch(effGetProgramNameIndexed, program, -1, name); break;
            default: p.dispatch(effGetProgramName, 0, 0, name); break;
            }
            fx.ReloadParametersFromTWR(rng() % 2 == 0);
        }
    }));
    others.push_back(worker([&] {  // the editor's learn gesture: arming, unlearning
        for (int k = 0; k < 40; ++k) fx.setMIDILearnControl(k % 80), fx.updateMIDIMap(k % 128, -1);
        fx.setMIDILearnControl(-1);
    }));
    others.push_back(worker([&] {  // switches between the cabinets
        for (int k = 0; k < 40; ++k) p.dispatch(effSetProgram, 0, 120 + k % 4);
    }));
    others.push_back(worker([&] {  // the editor's idle polling
        float sink = 0;
        for (int k = 0; k < 20000; ++k) {
            sink += fx.getClipLedStatus() + static_cast<float>(fx.inputLevel() + fx.outputLevel());
            fx.showMeters((k / 1000) % 2 == 0);
            if (fx.isProgramModified()) sink += 1.0f;
            sink += static_cast<float>(p.dispatch(effGetProgram));
        }
        EXPECT_GT(sink, 0.0f);
    }));
    others.push_back(worker([&] {  // host set-up calls
        const float rates[] = {48000.0f, 44100.0f, 96000.0f, 44100.0f};
        for (int k = 0; k < 4; ++k) {
            p.dispatch(effMainsChanged, 0, 0);
            p.dispatch(effSetSampleRate, 0, 0, nullptr, rates[k]);
            p.dispatch(effSetBlockSize, 0, 256 << k);
            p.dispatch(effMainsChanged, 0, 1);
            p.dispatch(effSetBypass, 0, k % 2);
            if (fx.getBlockSize() <= 0) dirtyOutput = true;
        }
        p.dispatch(effSetBypass, 0, 0);
    }));
    others.push_back(worker([&] {  // a second host thread with set-up calls of its own
        for (int k = 0; k < 12; ++k) {
            p.dispatch(effSetBlockSize, 0, 128 << (k % 4));
            p.dispatch(effMainsChanged, 0, (k + 1) % 2);
            if (!(fx.getSampleRate() >= 8000.0f) || fx.getBlockSize() <= 0) dirtyOutput = true;
        }
    }));

    for (auto& t : others) t.join();
    audio.join();
    fx.waitForWorker();
    EXPECT_FALSE(dirtyOutput);
    EXPECT_GE(blocks.load(), 200);
    fx.inspectEngine([](Tonewright& engine) { EXPECT_EQ(engine.GetFs(), 44100.0); });
    EXPECT_EQ(AudioThreadViolations(), 0) << FirstAudioThreadViolation();
}
