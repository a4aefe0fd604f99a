// The audio thread as a strict host drives it: it takes nothing from other
// threads while they change programs, restore chunks, learn controllers and
// use the editor; and a render with MIDI program changes is the
// same on every run, each change heard from the block it came with.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <cmath>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "DspTestKit.h"
#include "LockCounter.h"
#include "PluginHarness.h"
#include "dsp/AudioThread.h"

using harness::Plugin;

namespace {

constexpr int kBlock = 64;

// One MIDI message through the host's call, made on the stack: the harness's
// sender takes a vector, which would count as the audio thread's allocation.
void sendOne(const Plugin& p, unsigned char status, unsigned char a, unsigned char b)
{
    VstMidiEvent event = harness::midi(status, a, b);
    harness::EventList list{.numEvents = 1};
    list.events[0] = reinterpret_cast<VstEvent*>(&event);
    p.dispatch(effProcessEvents, 0, 0, &list);
}

std::vector<float> guitar(int n, unsigned seed)
{
    const std::vector<double> x = testkit::whiteNoise(n, 0.3, seed);
    std::vector<float> out(x.size());
    // Plucks every quarter second, decaying: notes rather than steady noise.
    for (size_t i = 0; i < x.size(); ++i) out[i] = float(x[i] * std::exp(-double(i % 12000) / 3000.0));
    return out;
}

struct Bounce {
    std::vector<float> left, right;
    std::vector<int> programs;  // effGetProgram after each block's events
};

// n frames in blocks of 64; before block b the events of `changes` at b.
// `meanwhile` runs on another thread all along.
Bounce bounce(const std::vector<float>& in, const std::vector<std::pair<int, int>>& changes,
              const std::function<void(const Plugin&)>& meanwhile = {})
{
    Plugin p(48000.0, kBlock);
    Bounce out;
    out.left.resize(in.size());
    out.right.resize(in.size());
    std::atomic<bool> stop{false};
    std::thread other;
    if (meanwhile) other = std::thread([&] {
            while (!stop) meanwhile(p);
        });
    for (size_t at = 0, block = 0; at + kBlock <= in.size(); at += kBlock, ++block) {
        for (const auto& [when, program] : changes)
            if (size_t(when) == block) sendOne(p, 0xC0, static_cast<unsigned char>(program), 0);
        out.programs.push_back(static_cast<int>(p.dispatch(effGetProgram)));
        p.run(&in[at], nullptr, &out.left[at], &out.right[at], kBlock);
    }
    stop = true;
    if (other.joinable()) other.join();
    return out;
}

}  // namespace

TEST(RealTime, TheAudioThreadTakesNoLockAndNoMemoryWhileOtherThreadsChangeEverything)
{
    Plugin p(48000.0, kBlock);
    Effect& fx = p.effect();
    harness::StartFromDefaultSound(p);  // a bank small enough to restore a thousand times
    const std::string bank = harness::chunkOf(p, false), preset = harness::chunkOf(p, true);
    ResetAudioThreadViolations();

    std::atomic<int> busy{4};
    std::atomic<long> blocks{0}, locks{-1}, allocations{-1}, frees{-1};
    std::string lockDescription;
    std::thread audio([&] {
        const std::vector<float> in = guitar(kBlock * 64, 1);
        std::vector<float> l(kBlock), r(kBlock);
        std::mt19937 rng(2);
        // The first blocks take what the set-up left (a new engine, tables).
        for (int b = 0; b < 20; ++b) p.run(&in[size_t(b % 64) * kBlock], nullptr, l.data(), r.data(), kBlock);
        testkit::LockCounter lockCounter;
        testkit::AllocationCounter allocationCounter;
        while (busy > 0 || blocks < 400) {
            const long b = blocks;
            // The host's audio thread between blocks: automation, a read,
            // program changes from MIDI and its own, a controller.
            p.set(int(b % 80), float(b % 11) / 10.0f);
            if (p.get(int(b % 80)) < 0.0f) break;
            if (b % 7 == 0) sendOne(p, 0xC0, static_cast<unsigned char>(rng() % 128), 0);
            if (b % 11 == 0) p.dispatch(effSetProgram, 0, VstIntPtr(rng() % 128));
            if (b % 5 == 0) sendOne(p, 0xB0, 20, static_cast<unsigned char>(b % 128));
            p.dispatch(effGetProgram);
            p.run(&in[size_t(b % 64) * kBlock], nullptr, l.data(), r.data(), kBlock);
            ++blocks;
        }
        allocations = allocationCounter.count();
        frees = allocationCounter.freed();
        locks = lockCounter.noneTaken("by the audio thread") ? 0 : lockCounter.count();
        lockDescription = lockCounter.describe();
    });
    auto other = [&](auto body) {
        return std::thread([&, body] {
            body();
            --busy;
        });
    };
    std::vector<std::thread> threads;
    threads.push_back(other([&] {
        for (int k = 0; k < 1000; ++k) p.dispatch(effSetProgram, 0, k * 37 % 128);
    }));
    threads.push_back(other([&] {
        for (int k = 0; k < 1000; ++k) harness::setChunk(p, k % 2 ? preset : bank, k % 2 == 1);
    }));
    threads.push_back(other([&] {
        for (int k = 0; k < 200; ++k) {
            fx.setMIDILearnControl(k % 80);
            std::this_thread::yield();
        }
    }));
    // What the editor does from its thread: its idle, the preset menu, the
    // names it shows.
    threads.push_back(other([&] {
        AEffEditor* editor = fx.getEditor();
        std::string preamp, impulse;
        for (int k = 0; k < 300; ++k) {
            if (editor) editor->idle();
            fx.loadProgram(k * 53 % 128);
            fx.getSoundNames(preamp, impulse);
        }
    }));
    for (auto& t : threads) t.join();
    audio.join();
    fx.waitForWorker();
    EXPECT_GE(blocks.load(), 400);
    EXPECT_EQ(locks.load(), 0) << lockDescription;
    EXPECT_EQ(allocations.load(), 0);
    EXPECT_EQ(frees.load(), 0);
    EXPECT_EQ(AudioThreadViolations(), 0) << FirstAudioThreadViolation();
}

TEST(RealTime, ABounceWithMidiProgramChangesIsTheSameOnEveryRunAndEachIsHeardFromItsBlock)
{
    const std::vector<float> in = guitar(48000 * 3, 3);
    const std::vector<std::pair<int, int>> changes = {{40, 70}, {300, 88}, {301, 103}, {900, 1}, {1500, 70}};
    const Bounce first = bounce(in, changes);
    // Again, with another thread reading the plug-in's state all along.
    const Bounce second = bounce(in, changes, [](const Plugin& p) {
        harness::chunkOf(p);
        p.text(effGetProgramName);
    });
    EXPECT_EQ(first.left, second.left);
    EXPECT_EQ(first.right, second.right);
    // Reported from the block that holds the change.
    for (size_t b = 0; b < first.programs.size(); ++b) {
        int expected = 0;
        for (const auto& [when, program] : changes)
            if (size_t(when) <= b) expected = program;
        ASSERT_EQ(first.programs[b], expected) << b;
    }
    // Heard from that block: the same stream with the first change a block
    // later plays the same before block 40 and differently within it.
    std::vector<std::pair<int, int>> later = changes;
    later[0].first = 41;
    const Bounce shifted = bounce(in, later);
    const size_t from = 40 * kBlock, to = 41 * kBlock;
    EXPECT_TRUE(std::equal(first.left.begin(), first.left.begin() + long(from), shifted.left.begin()));
    EXPECT_FALSE(std::equal(first.left.begin() + long(from), first.left.begin() + long(to), shifted.left.begin() + long(from)));
}
