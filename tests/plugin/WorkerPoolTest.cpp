// Every instance's off-audio work runs on the process's few pool threads: a
// client stuck in slow work holds up neither another's work nor another's
// leaving, and the threads end with the last instance.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <semaphore>
#include <thread>
#include <vector>

#include "PluginHarness.h"
#include "Promptly.h"
#include "plugin/WorkerPool.h"

using namespace harness;

namespace {

int threadsOfThisProcess()
{
    int n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++n;
    return n;
}

}  // namespace

TEST(WorkerPool, ManyInstancesShareThePoolsThreadsWhichEndWithTheLast)
{
    ASSERT_EQ(WorkerPool::Threads(), 0);
    // A sanitizer's runtime starts a thread of its own with the process's
    // first new thread: that one is made here, before the count.
    std::thread([] {}).join();
    const int before = threadsOfThisProcess();
    {
        std::vector<std::unique_ptr<Plugin>> instances;
        for (int i = 0; i < 32; ++i) instances.push_back(std::make_unique<Plugin>(48000.0, 64));
        EXPECT_EQ(WorkerPool::Threads(), WorkerPool::kThreads);
        EXPECT_EQ(threadsOfThisProcess(), before + WorkerPool::kThreads);
        // Each is served: what an instance asks its worker for is done.
        for (auto& p : instances) {
            p->effect().setMIDILearnControl(3);
            send(*p, {midi(0xB0, 9, 64)});
            p->effect().waitForWorker();
        }
    }
    EXPECT_EQ(WorkerPool::Threads(), 0);
    EXPECT_EQ(threadsOfThisProcess(), before);
}

TEST(WorkerPool, ASlowClientHoldsUpNeitherAnothersWorkNorItsLeaving)
{
    std::binary_semaphore release{0};
    std::atomic<bool> slowStarted{false};
    std::atomic<int> quickServed{0};
    WorkerPool::Client slow, quick, third;
    WorkerPool::Join(slow, [&] {
        slowStarted = true;
        release.acquire();
    });
    WorkerPool::Join(quick, [&] { ++quickServed; });
    WorkerPool::Join(third, [] {});
    slow.wake();
    while (!slowStarted) std::this_thread::yield();
    EXPECT_TRUE(testkit::ReturnsPromptly([&] {
        for (int k = 0; k < 100; ++k) {
            quick.wake();
            quick.waitUntilServed();
        }
    }));
    EXPECT_GE(quickServed.load(), 1);
    EXPECT_TRUE(testkit::ReturnsPromptly([&] { WorkerPool::Leave(quick); }));
    // Its own work in progress is what a leaving client waits for.
    std::atomic<bool> left{false};
    std::thread leaving([&] {
        WorkerPool::Leave(slow);
        left = true;
    });
    EXPECT_FALSE(left.load());
    release.release();
    leaving.join();
    EXPECT_TRUE(left.load());
    // Woken after leaving, a client is not served, and waiting on it returns.
    quick.wake();
    EXPECT_TRUE(testkit::ReturnsPromptly([&] { quick.waitUntilServed(); }));
    WorkerPool::Leave(third);
    EXPECT_EQ(WorkerPool::Threads(), 0);
}

TEST(WorkerPool, InstancesMadeAndClosedOnManyThreadsWhileTheirAudioThreadsWakeTheirWorkers)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t)
        threads.emplace_back([t] {
            for (int k = 0; k < 8; ++k) {
                Plugin p(48000.0, 64);
                float in[64] = {}, out0[64], out1[64];
                for (int b = 0; b < 20; ++b) {
                    // Program changes leave the audio thread things to give
                    // back; controllers learned ask for the map's store.
                    send(p, {midi(0xC0, (t * 8 + k + b) % 128, 0)});
                    if (b % 5 == 0) p.effect().setMIDILearnControl(b);
                    send(p, {midi(0xB0, 30 + t, 10)});
                    p.run(in, in, out0, out1, 64);
                }
            }
        });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(WorkerPool::Threads(), 0);
}
