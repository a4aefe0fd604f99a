// The unit following every change of the plug-in's sound from any thread:
// a MIDI program change and a learned controller on the render thread, a
// program the editor chose, a preset the host chose and a restored state.
// Hosts read the present preset and hear every value at once, and the
// render thread takes no lock and makes or frees nothing meanwhile. First,
// the lock counter those checks rely on.

#include <semaphore.h>

#include <functional>
#include <mutex>
#include <shared_mutex>
#include <thread>

#include "AUHarness.h"
#include "DspTestKit.h"
#include "LockCounter.h"

using namespace au_test;

TEST(LockCounter, CountsTheLocksAndSemaphoreWaitsOfItsOwnThreadAndNothingElse)
{
    std::mutex mutex;
    std::timed_mutex timed;
    std::shared_mutex shared;
    sem_t semaphore;
    ASSERT_EQ(sem_init(&semaphore, 0, 8), 0);
    const timespec later{std::time(nullptr) + 5, 0};
    std::atomic<int> value{0};
    const struct {
        const char* what;
        std::function<void()> call;
        long counted;
    } rows[] = {
        {"a mutex locked", [&] { std::lock_guard<std::mutex> lock(mutex); }, 1},
        {"a mutex tried", [&] { if (mutex.try_lock()) mutex.unlock(); }, 1},
        {"a timed mutex tried for a while",
         [&] { if (timed.try_lock_for(std::chrono::seconds(1))) timed.unlock(); }, 1},
        {"a shared lock", [&] { std::shared_lock<std::shared_mutex> lock(shared); }, 1},
        {"an exclusive lock", [&] { std::unique_lock<std::shared_mutex> lock(shared); }, 1},
        {"a semaphore waited on, tried, waited on for a while",
         [&] { sem_wait(&semaphore), sem_trywait(&semaphore), sem_timedwait(&semaphore, &later); }, 3},
        {"atomics, a wake-up and a lock on another thread",
         [&] {
             value.fetch_add(1);
             value.notify_one();
             std::thread([&] { std::lock_guard<std::mutex> lock(mutex); }).join();
         },
         0},
    };
    for (const auto& row : rows) {
        // This compiler's ThreadSanitizer sees a timed lock's unlock but not
        // the lock (and counts nothing there anyway).
        if (!testkit::LockCounter::measured && &row == &rows[2]) continue;
        const testkit::LockCounter locks;
        row.call();
        EXPECT_EQ(locks.count(), testkit::LockCounter::measured ? row.counted : 0) << row.what;
        EXPECT_EQ(locks.noneTaken(row.what), row.counted == 0 || !testkit::LockCounter::measured) << row.what;
    }
    sem_destroy(&semaphore);
}

namespace {

constexpr UInt32 kSlice = 512;
constexpr double kRate = 44100.0;

// Runs a job on a thread of its own, as a host's render thread.
void OnRenderThread(const std::function<void()>& job) { std::thread(job).join(); }

// A unit with its input: a slice of the same clip at each call, so that two
// units fed alike hear the same.
struct FedUnit {
    std::unique_ptr<auhost::Unit> unit;
    AudioClip clip = TestClip(kRate, 2, size_t(kRate) * 4);
    size_t at = 0;
    std::vector<float> in[2], out[2];

    FedUnit() : unit(OpenUnit())
    {
        EXPECT_FALSE(unit->setFormat(kRate, 2) || unit->setMaxFrames(kSlice) || unit->initialize());
        for (int c = 0; c < 2; ++c) in[c].resize(kSlice), out[c].resize(kSlice);
    }
    // Renders n slices; the output's level over them.
    double render(int n)
    {
        double energy = 0.0;
        for (int s = 0; s < n; ++s) {
            for (int c = 0; c < 2; ++c)
                for (UInt32 i = 0; i < kSlice; ++i) in[c][i] = float(clip.samples[size_t(c)][(at + i) % clip.frames()]);
            float* ins[2] = {in[0].data(), in[1].data()};
            float* outs[2] = {out[0].data(), out[1].data()};
            EXPECT_EQ(unit->render(ins, outs, kSlice), noErr);
            at += kSlice;
            for (int c = 0; c < 2; ++c)
                for (float x : out[c]) energy += double(x) * x;
        }
        return std::sqrt(energy / (2.0 * kSlice * n));
    }
    std::vector<float> values()
    {
        std::vector<float> v;
        for (AudioUnitParameterID i = 0; i < 80; ++i) v.push_back(unit->parameter(i));
        return v;
    }
    tonewright::Effect& effect() { return static_cast<tonewright::Effect&>(EffectOf(unit->unit())); }
};

// What a thread took and made while it ran a job.
struct Taken {
    long allocations = 0, frees = 0;
    bool noLocks = true;
    std::string locks;
};
Taken Measure(const std::function<void()>& job)
{
    testkit::AllocationCounter allocations;
    const testkit::LockCounter locks;
    job();
    return {allocations.count(), allocations.freed(), locks.noneTaken("by the render thread"), locks.describe()};
}

std::string ProgramName(tonewright::Effect& fx, int program)
{
    char name[256] = {};  // as the unit asks for it
    fx.getProgramNameIndexed(0, program, name);
    return name;
}

// How listeners hear the values a change moved.
enum class Heard { gestures, values, everyValue };

}  // namespace

TEST_F(RealUnitTest, AUFollowsEveryChangeAtOnceAndItsRenderThreadTakesNoLockAndMakesNothing)
{
    constexpr int kController = 20, kLearned = 30;
    std::vector<char> saved;  // the state of a unit at program 70, one knob turned
    {
        FedUnit saver;
        ASSERT_FALSE(saver.unit->selectPreset(70) || saver.unit->setParameter(kLearned, 0.1875f) ||
                     saver.unit->saveChunk(saved));
    }
    const auto preset70 = [](FedUnit& u) { ASSERT_EQ(u.unit->selectPreset(70), noErr); };
    const auto restore = [&](FedUnit& u) { ASSERT_EQ(u.unit->restoreChunk(saved), noErr); };
    const struct {
        const char* what;
        std::function<void(FedUnit&)> onHost, onRender, reference;  // the last sets a fresh unit as the change should
        int preset;
        Heard heard;
        Log first;  // heard before the values that moved
    } changes[] = {
        {"a MIDI program change", nullptr, [](FedUnit& u) { EXPECT_EQ(u.unit->midi(0xC3, 70, 0), noErr); }, preset70,
         70, Heard::gestures, {}},
        {"a controller learned, then moved again", [](FedUnit& u) { u.effect().setMIDILearnControl(kLearned); },
         [](FedUnit& u) { EXPECT_FALSE(u.unit->midi(0xB0, kController, 100) || u.unit->midi(0xB0, kController, 10)); },
         [](FedUnit& u) { ASSERT_EQ(u.unit->setParameter(kLearned, 10.0f / 127.0f), noErr); }, 0, Heard::gestures,
         {"heard begin 30", "heard 30 = " + Number(100.0f / 127.0f), "heard end 30"}},
        {"a program chosen in the editor", [](FedUnit& u) { u.effect().loadProgram(70); }, nullptr, preset70, 70,
         Heard::gestures, {}},
        {"a preset the host chose", preset70, nullptr, preset70, 70, Heard::values, {}},
        {"a state restored", restore, nullptr, restore, 70, Heard::everyValue, {}},
    };
    for (const auto& change : changes) {
        SCOPED_TRACE(change.what);
        FedUnit u, reference;
        change.reference(reference);
        OnRenderThread([&] { u.render(40); });
        const std::vector<float> before = u.values();
        ASSERT_EQ(u.unit->presentPreset(), 0);
        Listener listener;
        ClearCalls();
        if (change.onHost) change.onHost(u);
        Taken taken;
        OnRenderThread([&] {
            taken = Measure([&] {
                if (change.onRender) change.onRender(u);
                u.render(8);
            });
        });
        EXPECT_EQ(std::tuple(taken.allocations, taken.frees, taken.noLocks), std::tuple(0L, 0L, true))
            << "locks: " << taken.locks;
        // What a host reads at once, and what its listener then hears: the
        // values that moved, each in a gesture of its own when the plug-in
        // moved it, then the preset when it changed.
        std::string name;
        EXPECT_EQ(u.unit->presentPreset(&name), change.preset);
        EXPECT_EQ(name, ProgramName(u.effect(), change.preset));
        AUEventListenerStandInDeliver();
        const Log heard = TakeCalls();
        const std::vector<float> after = u.values();
        EXPECT_EQ(after, reference.values());
        Log wanted = change.first;
        for (AudioUnitParameterID i = 0; i < 80; ++i) {
            const std::string id = std::to_string(i), value = "heard " + id + " = " + Number(after[i]);
            if (change.heard == Heard::everyValue || (change.heard == Heard::values && after[i] != before[i]))
                wanted.push_back(value);
            else if (change.heard == Heard::gestures && after[i] != before[i])
                wanted.insert(wanted.end(), {"heard begin " + id, value, "heard end " + id});
        }
        if (change.preset != 0) wanted.push_back("heard preset 70 " + name);
        EXPECT_EQ(heard, wanted);
        EXPECT_GE(std::count_if(heard.begin(), heard.end(), [](const std::string& h) { return h.find('=') != h.npos; }),
                  change.preset == 0 ? 2 : 10);
        // Nothing more is heard when the host reads again; the sound is the
        // reference's once the old program's tails have died away.
        PresetNames(u.unit->unit());
        EXPECT_EQ(TakeCalls(), Log{});
        reference.render(48 + 120);
        double level = 0.0;
        OnRenderThread([&] {
            u.render(120);
            level = u.render(20);
        });
        EXPECT_NEAR(testkit::dB(level), testkit::dB(reference.render(20)), 0.01);
        EXPECT_LT(testkit::dB(level), 0.0);
        if (change.preset == 0) {
            u.effect().waitForWorker();
            EXPECT_TRUE(u.effect().updateMIDIMap(kController, -1));
        }
    }
}
