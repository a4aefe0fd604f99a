// Program switches while a paced audio thread plays: 64-frame blocks at
// 48 kHz, one per 1.333 ms deadline, each block timed, while another thread
// switches 100 times, 20 ms apart, between programs with distinct
// 32768-sample cabinets (recorded at 44.1 kHz, minimum phase on); and the
// same without switching; and with 20 sample-rate changes and block-size
// announcements, each of which builds a new engine.
// Prints the median, 99th percentile and worst block, the blocks over budget
// and the deadlines missed, and the longest engine-lock holds (audio blocks,
// and everything else).

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "Bench.h"
#include "dsp/EngineLock.h"
#include "plugin/Effect.h"

namespace tonewright {
namespace {

constexpr double kFs = 48000.0;
constexpr int kBlock = 64;
constexpr int kCabinets = 8;
constexpr int kSwitches = 100;
constexpr int kEngineChanges = 20;  // rate changes and block-size growth, one after the other
constexpr int kImpulseLength = 32768;

VstIntPtr host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

using Clock = std::chrono::steady_clock;

double percentile(std::vector<double> v, double p)
{
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

enum class Changes { none, programs, engines };

bench::Result pacedRun(Changes changes)
{
    const bool switching = changes != Changes::none;
    auto fx = std::make_unique<Effect>(host);
    fx->setSampleRate(static_cast<float>(kFs));
    fx->setBlockSize(kBlock);
    fx->resume();
    TonewrightParameters sound = *fx->engine->GetParameters();  // nothing plays yet
    for (int k = 0; k < kCabinets; ++k) {
        std::mt19937 rng(static_cast<unsigned>(k + 1));
        std::normal_distribution<double> d(0.0, 0.3);
        std::vector<double> l(kImpulseLength), r(kImpulseLength);
        for (int i = 0; i < kImpulseLength; ++i) {
            const double decay = std::exp(-6.0 * i / kImpulseLength);
            l[size_t(i)] = d(rng) * decay;
            r[size_t(i)] = d(rng) * decay;
        }
        sound.cabinet.SetImpulse(l.data(), r.data(), kImpulseLength, k % 2 == 1, 44100.0, "bench");
        sound.cabinet.minphase = true;
        sound.cabinet.windowsize = 32768;
        fx->programs[k + 1].params = sound;
    }

    std::vector<float> in(kBlock), left(kBlock), right(kBlock);
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> noise(-0.3f, 0.3f);
    for (float& x : in) x = noise(rng);
    float* inputs[2] = {in.data(), nullptr};
    float* outputs[2] = {left.data(), right.data()};

    ResetEngineLockViolations();
    fx->engineLock().MeasureHolds(true);
    std::atomic<bool> done{false};
    std::vector<double> switchMs;
    std::thread switcher;
    if (switching) {
        switcher = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (changes == Changes::engines) fx->setProgram(2);  // a stereo cabinet to carry over
            for (int s = 0; s < (changes == Changes::programs ? kSwitches : kEngineChanges); ++s) {
                const auto t0 = Clock::now();
                if (changes == Changes::programs)
                    fx->setProgram(1 + s % kCabinets);
                else if (s % 2 == 0)
                    fx->setSampleRate(s % 4 == 0 ? 96000.0f : static_cast<float>(kFs));
                else
                    fx->setBlockSize(kBlock << (s / 2 + 1));
                switchMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            done = true;
        });
    }

    // The paced audio thread is this one.
    const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(kBlock / kFs));
    const long minimumBlocks = static_cast<long>(3.0 * kFs / kBlock);
    std::vector<double> blockMs;
    int overBudget = 0, missed = 0;
    auto deadline = Clock::now() + period;
    for (long b = 0; switching ? !done.load() : b < minimumBlocks; ++b) {
        std::this_thread::sleep_until(deadline - period);
        const auto t0 = Clock::now();
        fx->processReplacing(inputs, outputs, kBlock);
        const auto t1 = Clock::now();
        blockMs.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        if (t1 - t0 > period) ++overBudget;
        if (t1 > deadline) ++missed;
        deadline += period;
        if (t1 > deadline) deadline = t1 + period;  // late: start again from now
    }
    if (switcher.joinable()) switcher.join();
    fx->engineLock().MeasureHolds(false);

    const double worst = *std::max_element(blockMs.begin(), blockMs.end());
    const char* name = changes == Changes::none ? "steady" : changes == Changes::programs ? "switching" : "engines";
    std::printf("  %s: %zu blocks of %d at %.0f Hz (budget %.3f ms): median %.3f ms, 99th %.3f ms, worst %.3f ms;"
                " %d over budget, %d deadlines missed (late wake-ups included)\n",
                name, blockMs.size(), kBlock, kFs, 1000.0 * kBlock / kFs,
                percentile(blockMs, 0.5), percentile(blockMs, 0.99), worst, overBudget, missed);
    std::printf("  %s: longest engine-lock hold %.3f ms by audio blocks, %.3f ms by other threads;"
                " %ld slow operations under the lock\n",
                name, 1000.0 * fx->engineLock().LongestAudioHold(),
                1000.0 * fx->engineLock().LongestOtherHold(), EngineLockViolations());
    if (changes == Changes::engines) {
        std::printf("  engines: a new engine took %.1f ms (median), %.1f ms at the most, off the lock\n",
                    percentile(switchMs, 0.5), percentile(switchMs, 1.0));
    } else if (switching) {
        const std::vector<double> first(switchMs.begin(), switchMs.begin() + kCabinets);
        const std::vector<double> later(switchMs.begin() + kCabinets, switchMs.end());
        std::printf("  switching: setProgram took %.1f ms (median) for a cabinet met the first time, %.1f ms"
                    " (median) afterwards\n",
                    percentile(first, 0.5), percentile(later, 0.5));
    }
    bench::Result r;
    r.block = kBlock;
    r.p99BlockMicros = 1000.0 * percentile(blockMs, 0.99);
    r.maxBlockMicros = 1000.0 * worst;
    double total = 0.0;
    for (double ms : blockMs) total += ms;
    r.secondsPerAudioSecond = total / 1000.0 / (static_cast<double>(blockMs.size()) * kBlock / kFs);
    return r;
}

const bench::Register steady("plugin: paced 64-frame blocks, 48 kHz, no switching",
                             [] { return pacedRun(Changes::none); });
const bench::Register switching("plugin: paced 64-frame blocks, 48 kHz, 100 program switches",
                                [] { return pacedRun(Changes::programs); });
const bench::Register engines("plugin: paced 64-frame blocks, 48 kHz, rate and block changes",
                              [] { return pacedRun(Changes::engines); });

}  // namespace

}  // namespace tonewright
