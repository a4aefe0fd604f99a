// Whole sounds are prepared off the audio thread and handed over: program
// switches between long cabinet impulses, sample-rate changes and
// block-size growth while an audio thread plays, with the cabinet heard
// after each change measured, and no slow work on the audio thread.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <random>
#include <thread>
#include <vector>

#include "DspTestKit.h"
#include "PluginHarness.h"
#include "dsp/AudioThread.h"

using harness::Plugin;

namespace {

constexpr int kImpulseLength = 32768;

// Each cabinet is a click at a delay of its own (a later one on the right of
// a stereo cabinet) over a faint, decaying noise floor of its own.
struct Cabinet {
    int left, right;  // click positions, samples at `rate`
    bool mono;
    double rate;
};
constexpr Cabinet kCabinets[] = {
    {2000, 2000, true, 44100.0}, {3500, 5100, false, 44100.0}, {5000, 5000, true, 48000.0}, {6500, 8300, false, 44100.0}};
constexpr int kPrograms = 4;

std::vector<double> cabinetChannel(int click, unsigned seed)
{
    std::vector<double> h = testkit::whiteNoise(kImpulseLength, 0.002, seed);
    for (int i = 0; i < kImpulseLength; ++i) h[size_t(i)] *= std::exp(-i / 2000.0);
    h[size_t(click)] += 1.0;
    return h;
}

// A linear sound (amplifier and DI box off) that plays
// cabinet k whole, with minimum phase off so that its clicks keep their
// places.
TonewrightParameters programFor(const TonewrightParameters& base, int k)
{
    TonewrightParameters p = base;
    p.preamp.enable = false;
    p.poweramp.enable = false;
    p.cabinet.enable = true;
    p.cabinet.minphase = false;
    p.cabinet.windowsize = 32768;
    p.cabinet.dibox.enable = false;
    const Cabinet& c = kCabinets[k];
    const auto l = cabinetChannel(c.left, unsigned(10 + k)), r = cabinetChannel(c.right, unsigned(20 + k));
    EXPECT_TRUE(p.cabinet.SetImpulse(l.data(), r.data(), kImpulseLength, c.mono, c.rate, "test cabinet"));
    return p;
}

size_t peakIndex(const std::vector<float>& v)
{
    size_t best = 0;
    for (size_t i = 1; i < v.size(); ++i)
        if (std::fabs(v[i]) > std::fabs(v[best])) best = i;
    return best;
}

// What the audio thread heard: frames that began and ended with no change
// in progress, each checked against the cabinet of the program expected.
struct Listener {
    static constexpr int kFrame = 24000;  // longer than the latest click at 96 kHz
    std::atomic<unsigned> generation{0};  // odd while a change is under way
    std::atomic<int> program{0};
    std::atomic<double> rate{48000.0};
    std::atomic<unsigned> heard{0};  // the last generation a clean frame was checked in
    std::atomic<int> frames{0}, wrong{0};
    std::atomic<bool> stop{false};
    std::atomic<long> firstWrong{-1};  // expected * 100000 + measured left peak

    void run(const Plugin& p)
    {
        std::mt19937 rng(5);
        std::vector<float> in(kFrame, 0.0f), left(kFrame), right(kFrame);
        in[0] = 0.5f;
        while (!stop.load()) {
            const unsigned before = generation.load();
            const int k = program.load();
            const double fs = rate.load();
            for (int pos = 0; pos < kFrame;) {
                const int n = std::min(1 + static_cast<int>(rng() % 300), kFrame - pos);
                p.run(&in[size_t(pos)], nullptr, &left[size_t(pos)], &right[size_t(pos)], n);
                pos += n;
            }
            if (before % 2 || generation.load() != before) continue;
            const Cabinet& c = kCabinets[k];
            const long expectL = std::lround(c.left * fs / c.rate), expectR = std::lround(c.right * fs / c.rate);
            const long gotL = long(peakIndex(left)), gotR = long(peakIndex(right));
            // At another rate a click peaks a little late (about two of its
            // own samples): the rate converter's filter is minimum phase.
            const long slack = 2 + std::lround(2.0 * std::max(1.0, fs / c.rate));
            const bool good = std::labs(gotL - expectL) <= slack && std::labs(gotR - expectR) <= slack &&
                              std::fabs(left[size_t(gotL)]) > 0.05f && (!c.mono || left == right);
            ++frames;
            if (!good && wrong++ == 0) firstWrong = expectL * 100000 + gotL;
            heard.store(before);
        }
    }
};

}  // namespace

TEST(SoundCommit, ProgramSwitchesRateAndBlockChangesWhileAudioPlays)
{
    Plugin p(48000.0, 64);
    Effect& fx = p.effect();
    StartFromDefaultSound(p);
    const TonewrightParameters base = fx.currentSound();
    std::vector<std::pair<int, TonewrightParameters>> programs;
    for (int k = 0; k < kPrograms; ++k) programs.emplace_back(k + 1, programFor(base, k));
    harness::StorePrograms(fx, programs);
    // A program leaves the oversampling choice alone; the oversampler's
    // filters would move the clicks. Every new engine keeps it off.
    p.set(1, 0.0f);
    ResetAudioThreadViolations();

    // The test sound from the start, its fades over: every switch below
    // changes only the cabinet, so any frame heard whole (even one before
    // the first switch) plays its cabinet cleanly.
    p.dispatch(effSetProgram, 0, 1);
    {
        std::vector<float> silence(9600, 0.0f), l(9600), r(9600);
        p.run(silence.data(), nullptr, l.data(), r.data(), 9600);
    }

    Listener listener;
    std::thread audio([&] { listener.run(p); });
    long madeBeforeTheLastSwitches = 0;
    int unheard = 0;
    for (int s = 0; s < 100; ++s) {
        listener.generation.fetch_add(1);
        if (s == 20) p.dispatch(effSetSampleRate, 0, 0, nullptr, 96000.0f);
        if (s == 40) p.dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
        if (s == 60) p.dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
        if (s == 10 || s == 30 || s == 50 || s == 70) p.dispatch(effSetBlockSize, 0, 64 << (s / 10));
        if (s == 75) madeBeforeTheLastSwitches = CabinetImpulse::DerivedVersionsMade();
        const int k = s % kPrograms;
        p.dispatch(effSetProgram, 0, k + 1);
        listener.program = k;
        listener.rate = static_cast<double>(fx.getSampleRate());
        const unsigned current = listener.generation.fetch_add(1) + 1;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (listener.heard.load() != current && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (listener.heard.load() != current) ++unheard;
    }
    // Every impulse was prepared at 48 kHz before the last switches, and
    // nothing was replaced after them: switching only swapped.
    EXPECT_EQ(CabinetImpulse::DerivedVersionsMade(), madeBeforeTheLastSwitches);
    listener.stop = true;
    audio.join();

    EXPECT_EQ(unheard, 0);
    EXPECT_GE(listener.frames.load(), 100);
    EXPECT_EQ(listener.wrong.load(), 0) << "first: expected click at " << listener.firstWrong / 100000
                                        << ", heard at " << listener.firstWrong % 100000;
    EXPECT_EQ(AudioThreadViolations(), 0) << FirstAudioThreadViolation();
    EXPECT_EQ(fx.reservedBlock(), 8192);
    fx.inspectEngine([](Tonewright& engine) { EXPECT_EQ(engine.GetFs(), 48000.0); });
}
