// Sound changes while a paced audio thread plays: 64-frame blocks at 48 kHz,
// one per 1.333 ms deadline, each block timed, while another thread changes
// the sound: a program change every 10 ms between programs with distinct
// 32768-sample cabinets (recorded at 44.1 kHz, minimum phase on); bank chunks
// restored back to back; sample-rate changes and block-size announcements,
// each of which builds a new engine; or nothing.
// Prints the median, 99th and 99.9th percentile and worst block, the blocks
// over budget and the deadlines missed, and each figure as a ratio to the
// same run with nothing changing.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Bench.h"
#include "dsp/AudioThread.h"
#include "plugin/Effect.h"
#include "plugin/PresetXml.h"

namespace tonewright {
namespace {

constexpr double kFs = 48000.0;
constexpr int kBlock = 64;
constexpr int kCabinets = 8;
constexpr double kSeconds = 4.0;
constexpr int kImpulseLength = 32768;

VstIntPtr host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

// An effect at the paced rate and block size, resumed.
std::unique_ptr<Effect> pacedEffect()
{
    auto fx = std::make_unique<Effect>(host);
    fx->setSampleRate(static_cast<float>(kFs));
    fx->setBlockSize(kBlock);
    fx->resume();
    return fx;
}

// One block of the same noise played again and again, and its output.
struct NoiseBlock {
    std::vector<float> in = noise(), left = std::vector<float>(kBlock), right = std::vector<float>(kBlock);
    float* inputs[2] = {in.data(), nullptr};
    float* outputs[2] = {left.data(), right.data()};

    static std::vector<float> noise()
    {
        std::vector<float> v(kBlock);
        std::mt19937 rng(1);
        std::uniform_real_distribution<float> uniform(-0.3f, 0.3f);
        for (float& x : v) x = uniform(rng);
        return v;
    }
};

using Clock = std::chrono::steady_clock;

double percentile(std::vector<double> v, double p)
{
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

enum class Changes { none, programs, chunks, engines };

// A bank whose programs 1..8 hold distinct long cabinets, restored as a
// host restores a session.
std::string bankChunk(const TonewrightParameters& base)
{
    auto bank = std::make_unique<EffectProgram[]>(kNumPrograms);
    for (int k = 0; k < kNumPrograms; ++k) bank[k].params = base;
    TonewrightParameters sound = base;
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
        bank[k + 1].params = sound;
    }
    std::string text;
    XmlWriter w(text);
    w.Open("TWRChunk");
    w.Open("TWRBank");
    w.Attribute("name", "");
    AddBankToXML(bank.get(), w);
    w.Close();
    w.Open("TWRCurrent");
    AddPresetToXML(bank[1].params, w, [](XmlWriter& x) {
        x.Attribute("name", "bench");
        x.Attribute("modified", false);
        x.Attribute("prognum", 1);
    });
    w.Close();
    w.Close();
    return text;
}

struct Figures {
    double median = 0, p99 = 0, p999 = 0, worst = 0;
};

Figures steadyFigures;

// `factory`: the factory bank's first program plays, as it does when the
// plug-in is first inserted, instead of the bank of long cabinets.
bench::Result pacedRun(Changes changes, bool factory = false)
{
    const bool changing = changes != Changes::none;
    auto fx = pacedEffect();
    std::string chunk = bankChunk(fx->currentSound());
    if (factory)
        fx->setProgram(0);
    else
        fx->setChunk(chunk.data(), static_cast<VstInt32>(chunk.size()), false);

    NoiseBlock io;

    ResetAudioThreadViolations();
    std::atomic<bool> done{false};
    std::vector<double> changeMs;
    std::thread changer;
    if (changing) {
        changer = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            const auto end = Clock::now() + std::chrono::duration<double>(kSeconds);
            for (int s = 0; Clock::now() < end; ++s) {
                const auto t0 = Clock::now();
                switch (changes) {
                case Changes::programs: fx->setProgram(1 + s % kCabinets); break;
                case Changes::chunks: fx->setChunk(chunk.data(), static_cast<VstInt32>(chunk.size()), false); break;
                case Changes::engines:
                    if (s % 2 == 0)
                        fx->setSampleRate(s % 4 == 0 ? 96000.0f : static_cast<float>(kFs));
                    else
                        fx->setBlockSize(kBlock << (s / 2 % 6 + 1));
                    break;
                case Changes::none: break;
                }
                changeMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
                if (changes != Changes::chunks) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            done = true;
        });
    }

    // The paced audio thread is this one.
    const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(kBlock / kFs));
    const long blocks = static_cast<long>(kSeconds * kFs / kBlock);
    std::vector<double> blockMs;
    int overBudget = 0, missed = 0;
    auto deadline = Clock::now() + period;
    for (long b = 0; changing ? !done.load() : b < blocks; ++b) {
        std::this_thread::sleep_until(deadline - period);
        const auto t0 = Clock::now();
        fx->processReplacing(io.inputs, io.outputs, kBlock);
        const auto t1 = Clock::now();
        blockMs.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        if (t1 - t0 > period) ++overBudget;
        if (t1 > deadline) ++missed;
        deadline += period;
        if (t1 > deadline) deadline = t1 + period;  // late: start again from now
    }
    if (changer.joinable()) changer.join();

    const Figures f{percentile(blockMs, 0.5), percentile(blockMs, 0.99), percentile(blockMs, 0.999),
                    *std::max_element(blockMs.begin(), blockMs.end())};
    if (!changing && !factory) steadyFigures = f;
    const char* names[] = {"steady", "programs", "chunks", "engines"};
    const char* name = factory ? "factory program 0" : names[static_cast<int>(changes)];
    std::printf("  %s: %zu blocks of %d at %.0f Hz (budget %.3f ms): median %.3f ms, 99th %.3f ms, 99.9th %.3f ms,"
                " worst %.3f ms; %d over budget, %d deadlines missed (late wake-ups included);"
                " %ld slow operations on the audio thread\n",
                name, blockMs.size(), kBlock, kFs, 1000.0 * kBlock / kFs, f.median, f.p99, f.p999, f.worst,
                overBudget, missed, AudioThreadViolations());
    if (factory)
        std::printf("  factory program 0: 99.9th / median %.2f, worst / median %.2f\n", f.p999 / f.median,
                    f.worst / f.median);
    if (changing && steadyFigures.median > 0) {
        std::printf("  %s against steady: median %.2fx, 99.9th %.2fx, worst %.2fx; %zu changes, %.2f ms each"
                    " (median) on the changing thread\n",
                    name, f.median / steadyFigures.median, f.p999 / steadyFigures.p999, f.worst / steadyFigures.worst,
                    changeMs.size(), percentile(changeMs, 0.5));
    }
    bench::Result r;
    r.block = kBlock;
    r.p99BlockMicros = 1000.0 * f.p99;
    r.maxBlockMicros = 1000.0 * f.worst;
    double total = 0.0;
    for (double ms : blockMs) total += ms;
    r.secondsPerAudioSecond = total / 1000.0 / (static_cast<double>(blockMs.size()) * kBlock / kFs);
    return r;
}

// What a program change costs the audio thread: the block that carries a
// MIDI program change, to each of the factory programs in turn (and from
// each to the next), against the blocks around it.
bench::Result programChangeCost()
{
    auto fx = pacedEffect();
    NoiseBlock io;
    for (int b = 0; b < 200; ++b) fx->processReplacing(io.inputs, io.outputs, kBlock);
    std::vector<double> changing, plain;
    int slowest = -1;
    double worst = 0.0;
    for (int round = 0; round < 3; ++round) {
        for (int program = 0; program < kNumPrograms; ++program) {
            VstMidiEvent change{};
            change.type = kVstMidiType;
            change.byteSize = sizeof change;
            change.midiData[0] = char(0xC0);
            change.midiData[1] = char((program + 1) % kNumPrograms);
            struct {
                VstInt32 numEvents = 1;
                VstIntPtr reserved = 0;
                VstEvent* events[1];
            } list;
            list.events[0] = reinterpret_cast<VstEvent*>(&change);
            const auto t0 = Clock::now();
            fx->processEvents(reinterpret_cast<VstEvents*>(&list));
            fx->processReplacing(io.inputs, io.outputs, kBlock);
            const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
            changing.push_back(ms);
            if (ms > worst) worst = ms, slowest = (program + 1) % kNumPrograms;
            for (int b = 0; b < 8; ++b) {
                const auto t1 = Clock::now();
                fx->processReplacing(io.inputs, io.outputs, kBlock);
                plain.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t1).count());
            }
        }
    }
    std::printf("  program changes: the block carrying one: median %.3f ms, 99th %.3f ms, worst %.3f ms (into"
                " program %d); blocks between: median %.3f ms, worst %.3f ms; budget %.3f ms; %ld slow"
                " operations on the audio thread\n",
                percentile(changing, 0.5), percentile(changing, 0.99), worst, slowest, percentile(plain, 0.5),
                percentile(plain, 1.0), 1000.0 * kBlock / kFs, AudioThreadViolations());
    bench::Result r;
    r.block = kBlock;
    r.p99BlockMicros = 1000.0 * percentile(changing, 0.99);
    r.maxBlockMicros = 1000.0 * worst;
    return r;
}

const bench::Register changeCost("plugin: the block that carries a program change, 48 kHz, block 64",
                                 [] { return programChangeCost(); });
const bench::Register steady("plugin: paced 64-frame blocks, 48 kHz, no changes",
                             [] { return pacedRun(Changes::none); });
const bench::Register firstProgram("plugin: paced 64-frame blocks, 48 kHz, factory program 0, no changes",
                                   [] { return pacedRun(Changes::none, true); });
const bench::Register programs("plugin: paced 64-frame blocks, 48 kHz, a program change every 10 ms",
                               [] { return pacedRun(Changes::programs); });
const bench::Register chunks("plugin: paced 64-frame blocks, 48 kHz, bank chunks back to back",
                             [] { return pacedRun(Changes::chunks); });
const bench::Register engines("plugin: paced 64-frame blocks, 48 kHz, rate and block changes",
                              [] { return pacedRun(Changes::engines); });

}  // namespace

}  // namespace tonewright
