// The audio path at the VST boundary: bypass in every channel layout, the
// mono mix, clean output for dirty input, clip light, meters and the block
// buffers.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "DspTestKit.h"
#include "PluginHarness.h"

using harness::Plugin;

namespace {

std::vector<float> toFloat(const std::vector<double>& v) { return std::vector<float>(v.begin(), v.end()); }

std::vector<float> noise(int n, float amplitude, unsigned seed)
{
    return toFloat(testkit::whiteNoise(n, amplitude, seed));
}

std::vector<float> sine(int n, double freq, double fs, double amplitude)
{
    auto v = toFloat(testkit::sine(fs, freq, (n + 0.5) / fs, amplitude));
    v.resize(static_cast<size_t>(n));
    return v;
}

float peakOf(const std::vector<float>& v, size_t begin = 0)
{
    float p = 0.0f;
    for (size_t i = begin; i < v.size(); ++i) p = std::max(p, std::fabs(v[i]));
    return p;
}

// Amplifier, power amp, cabinet and oversampling off: what is left of the
// chain (low cut, master) is linear.
void makeLinear(const Plugin& p)
{
    StartFromDefaultSound(p);
    p.set(0, 0.0f);   // AmpByp: preamp off
    p.set(11, 0.0f);  // PwrType: power amp off
    p.set(13, 0.0f);  // CabByp: cabinet off
    p.set(1, 0.0f);   // HiFiByp: base-rate amplifier path
}

// The LED level of the meters' rule, from its thresholds in dB.
int ledFor(double peak)
{
    if (peak >= std::pow(10.0, -0.1 / 20.0)) return 4;
    if (peak >= std::pow(10.0, -6.0 / 20.0)) return 3;
    if (peak >= std::pow(10.0, -20.0 / 20.0)) return 2;
    return 1;
}

struct Stereo {
    std::vector<float> left, right;
};

// Runs `in` (mono) through the plug-in in blocks of `block`, stereo out.
Stereo runMono(const Plugin& p, const std::vector<float>& in, int block)
{
    Stereo out{std::vector<float>(in.size()), std::vector<float>(in.size())};
    for (size_t pos = 0; pos < in.size(); pos += static_cast<size_t>(block)) {
        const int n = static_cast<int>(std::min(in.size() - pos, static_cast<size_t>(block)));
        p.run(&in[pos], nullptr, &out.left[pos], &out.right[pos], n);
    }
    return out;
}

}  // namespace

TEST(Bypass, CopiesTheInputInEveryChannelLayout)
{
    Plugin p;
    Effect& fx = p.effect();
    EXPECT_EQ(p.dispatch(effSetBypass, 0, 1), 1);
    EXPECT_TRUE(fx.bypassed());
    const int n = 300;
    const auto a = noise(n, 1.0f, 1), b = noise(n, 1.0f, 2);
    std::vector<float> o0(n), o1(n);

    p.run(a.data(), nullptr, o0.data(), o1.data(), n);  // 1 in, 2 out
    EXPECT_EQ(o0, a);
    EXPECT_EQ(o1, a);

    std::fill(o1.begin(), o1.end(), 7.0f);
    p.run(a.data(), nullptr, o0.data(), nullptr, n);  // 1 in, 1 out
    EXPECT_EQ(o0, a);
    EXPECT_EQ(o1[0], 7.0f);

    p.run(a.data(), b.data(), o0.data(), o1.data(), n);  // 2 in, 2 out
    EXPECT_EQ(o0, a);
    EXPECT_EQ(o1, b);

    p.run(a.data(), b.data(), o0.data(), nullptr, n);  // 2 in, 1 out
    for (int i = 0; i < n; ++i) ASSERT_EQ(o0[i], (a[i] + b[i]) * 0.5f) << i;

    // In place, as many hosts call it.
    auto buffer = a;
    p.run(buffer.data(), nullptr, buffer.data(), nullptr, n);
    EXPECT_EQ(buffer, a);

    // Nothing else runs while bypassed: no meters, no clip timer.
    fx.showMeters(true);
    p.run(a.data(), b.data(), o0.data(), o1.data(), n);
    EXPECT_EQ(fx.inputLevel(), 1);
    EXPECT_EQ(fx.getClipLedStatus(), 1.0f);  // the timer did not run past its start

    // Dirty input leaves as silence.
    std::vector<float> dirty = {NAN, INFINITY, -INFINITY, 1e-40f, 0.5f};
    std::vector<float> out(dirty.size());
    p.run(dirty.data(), nullptr, out.data(), nullptr, int(dirty.size()));
    EXPECT_EQ(out, (std::vector<float>{0, 0, 0, 0, 0.5f}));

    p.dispatch(effSetBypass, 0, 0);
    EXPECT_FALSE(fx.bypassed());
}

TEST(AudioPath, TheEngineHearsTheMeanOfTheInputsAndMonoOutputIsTheMeanOfItsOutputs)
{
    // Two plug-ins in the same state: one is played, the other's engine is
    // driven directly with the mix the audio path should form (in double
    // precision, so no float rounding of the sum), block after block.
    const int n = 1024;
    Plugin played, direct;
    Effect& fx = direct.effect();
    std::vector<float> l(n), r(n);
    std::vector<double> mono(n), engineL(n), engineR(n);
    for (int block = 0; block < 4; ++block) {
        SCOPED_TRACE(block);
        const auto a = noise(n, 0.9f, 30 + unsigned(block)), b = sine(n, 110.0 * (block + 1), 44100.0, 0.7);
        const bool stereoOut = block % 2 == 0;
        played.run(a.data(), b.data(), l.data(), stereoOut ? r.data() : nullptr, n);
        for (int i = 0; i < n; ++i) mono[i] = 0.5 * (static_cast<double>(a[i]) + static_cast<double>(b[i]));
        fx.inspectEngine([&](Tonewright& engine) { engine.process(mono.data(), engineL.data(), engineR.data(), n); });
        for (int i = 0; i < n; ++i) {
            if (stereoOut) {
                ASSERT_EQ(l[i], static_cast<float>(engineL[i])) << i;
                ASSERT_EQ(r[i], static_cast<float>(engineR[i])) << i;
            } else {
                ASSERT_EQ(l[i], static_cast<float>((engineL[i] + engineR[i]) * 0.5)) << i;
            }
        }
    }
}

TEST(AudioPath, ASilentSecondInputIsAMonoTrackUntilItCarriesSignal)
{
    // A host's mono track: the second input is a silent buffer. The guitar
    // must reach the engine at full level, as from a mono host.
    const int n = 512;
    Plugin silentRight, mono;
    const std::vector<float> silence(n, 0.0f);
    std::vector<float> l1(n), r1(n), l2(n), r2(n);
    for (int block = 0; block < 3; ++block) {
        const auto a = noise(n, 0.8f, 40 + unsigned(block));
        silentRight.run(a.data(), silence.data(), l1.data(), r1.data(), n);
        mono.run(a.data(), nullptr, l2.data(), r2.data(), n);
        ASSERT_EQ(l1, l2) << block;
        ASSERT_EQ(r1, r2) << block;
    }
    // Once the second input carries signal the inputs are averaged from
    // then on, even when it falls silent again.
    Plugin played, direct;
    std::vector<double> m(n), engineL(n), engineR(n);
    const auto a = noise(n, 0.8f, 50);
    std::vector<float> b(n, 0.0f);
    b[n / 2] = 0.25f;
    for (int block = 0; block < 2; ++block) {
        played.run(a.data(), b.data(), l1.data(), r1.data(), n);
        for (int i = 0; i < n; ++i) m[i] = 0.5 * (double(a[i]) + double(b[i]));
        direct.effect().inspectEngine(
            [&](Tonewright& engine) { engine.process(m.data(), engineL.data(), engineR.data(), n); });
        for (int i = 0; i < n; ++i) ASSERT_EQ(l1[i], static_cast<float>(engineL[i])) << block << " " << i;
        b.assign(n, 0.0f);
    }
}

TEST(AudioPath, EveryOutputGivenIsWrittenAndAMissingInputIsSilence)
{
    // Each layout of null pointers against the same call with a silent
    // buffer for a missing first input and a scratch buffer for a missing
    // first output: the second pointer of a side still decides mono or
    // stereo there. Outputs start out stale.
    const int n = 700;
    const auto a = noise(n, 0.5f, 5), b = noise(n, 0.4f, 6);
    const std::vector<float> silence(n, 0.0f), stale(n, 7.0f);
    for (const bool bypassed : {false, true}) {
        for (const bool accumulate : {false, true}) {
            for (int layout = 0; layout < 16; ++layout) {
                const bool in0 = layout & 1, in1 = layout & 2, out0 = layout & 4, out1 = layout & 8;
                SCOPED_TRACE(testing::Message() << "bypassed " << bypassed << " accumulate " << accumulate
                                                << " in " << in0 << in1 << " out " << out0 << out1);
                Plugin p, reference;
                std::vector<float> l = stale, r = stale, refL = stale, refR = stale;
                float* inputs[2] = {in0 ? const_cast<float*>(a.data()) : nullptr,
                                    in1 ? const_cast<float*>(b.data()) : nullptr};
                float* outputs[2] = {out0 ? l.data() : nullptr, out1 ? r.data() : nullptr};
                float* refInputs[2] = {const_cast<float*>(in0 ? a.data() : silence.data()), inputs[1]};
                float* refOutputs[2] = {refL.data(), out1 ? refR.data() : nullptr};
                for (const Plugin* q : {&p, &reference}) {
                    q->dispatch(effSetBypass, 0, bypassed);
                    AEffect* e = q->aeffect();
                    auto entry = accumulate ? e->process : e->processReplacing;
                    if (q == &p)
                        entry(e, inputs, outputs, n);
                    else
                        entry(e, refInputs, refOutputs, n);
                }
                EXPECT_EQ(l, out0 ? refL : stale);
                EXPECT_EQ(r, out1 ? refR : stale);
            }
        }
    }

    // No input array at all: silence in, as from two null pointers.
    Plugin p, reference;
    std::vector<float> l = stale, r = stale, refL = stale, refR = stale;
    float* outputs[2] = {l.data(), r.data()};
    p.aeffect()->processReplacing(p.aeffect(), nullptr, outputs, n);
    reference.run(silence.data(), nullptr, refL.data(), refR.data(), n);
    EXPECT_EQ(l, refL);
    EXPECT_EQ(r, refR);
}

TEST(AudioPath, NonFiniteInputActsAsSilenceAndTheOutputStaysClean)
{
    const int n = 8192;
    auto dirty = sine(n, 220.0, 44100.0, 0.8);
    auto clean = dirty;
    for (int i = 1000; i < 1100; ++i) {
        dirty[i] = (i % 3 == 0) ? NAN : (i % 3 == 1 ? INFINITY : -INFINITY);
        clean[i] = 0.0f;
    }
    for (int i = 3000; i < 3050; ++i) dirty[i] = clean[i] = 1e-42f;  // subnormal input
    Plugin a, b;
    const auto outDirty = runMono(a, dirty, 512);
    const auto outClean = runMono(b, clean, 512);
    EXPECT_EQ(outDirty.left, outClean.left);
    EXPECT_EQ(outDirty.right, outClean.right);
    for (float x : outDirty.left) ASSERT_TRUE(std::isfinite(x) && std::fpclassify(x) != FP_SUBNORMAL);
}

TEST(ClipLight, LightsFromAnOutputOf099NotOf098AndHoldsForATenthOfASecond)
{
    const double fs = 44100.0;
    const int block = 441;
    const int silenceFrames = 8820, toneFrames = 4410;
    std::vector<float> tone = sine(silenceFrames + toneFrames, 1000.0, fs, 0.5);
    std::fill(tone.begin(), tone.begin() + silenceFrames, 0.0f);

    // The chain is linear in this set-up, so scaling the input scales the
    // output: measure once, then aim at the two levels.
    double probePeak = 0;
    {
        Plugin p(fs, block);
        makeLinear(p);
        probePeak = peakOf(runMono(p, tone, block).left, silenceFrames);
        EXPECT_GT(probePeak, 0.3);
    }
    for (double target : {0.99, 0.98}) {
        Plugin p(fs, block);
        Effect& fx = p.effect();
        makeLinear(p);
        EXPECT_EQ(fx.getClipLedStatus(), 1.0f);  // the timer starts at 0.1 s
        auto scaled = tone;
        for (float& x : scaled) x = static_cast<float>(x * target / probePeak);
        const std::vector<float> before(scaled.begin(), scaled.begin() + silenceFrames);
        const std::vector<float> after(scaled.begin() + silenceFrames, scaled.end());
        runMono(p, before, block);
        EXPECT_EQ(fx.getClipLedStatus(), 0.0f);
        const auto out = runMono(p, after, block);
        EXPECT_NEAR(peakOf(out.left), target, 1e-4);
        EXPECT_EQ(fx.getClipLedStatus(), target >= 0.99 ? 1.0f : 0.0f) << target;
        if (target >= 0.99) {
            // Lit until 0.1 s of frames have passed since the last clipping one.
            int last = 0;
            for (int i = 0; i < toneFrames; ++i)
                if (std::fabs(out.left[i]) >= fx.clipLevel() || std::fabs(out.right[i]) >= fx.clipLevel()) last = i;
            const int since = toneFrames - 1 - last;
            runMono(p, std::vector<float>(static_cast<size_t>(0.1 * fs) - 20 - since), block);
            EXPECT_EQ(fx.getClipLedStatus(), 1.0f);
            runMono(p, std::vector<float>(40), block);
            EXPECT_EQ(fx.getClipLedStatus(), 0.0f);
        }
    }
}

TEST(Meters, LedsRiseAtOnceAndFallOneStepPer0375Seconds)
{
    // 8192 frames at 65536 Hz are 0.125 s exactly: three blocks per step.
    const double fs = 65536.0;
    const int n = 8192;
    Plugin p(fs, n);
    Effect& fx = p.effect();
    const std::vector<float> silence(n, 0.0f);
    std::vector<float> loud = silence, l(n), r(n);
    loud[100] = 1.0f;

    // Hidden meters do not move.
    p.run(loud.data(), nullptr, l.data(), r.data(), n);
    EXPECT_EQ(fx.inputLevel(), 1);
    fx.showMeters(true);

    p.run(loud.data(), nullptr, l.data(), r.data(), n);
    EXPECT_EQ(fx.inputLevel(), 4);
    EXPECT_EQ(fx.outputLevel(), ledFor(std::max(peakOf(l), peakOf(r))));

    const int expected[] = {4, 4, 3, 3, 3, 2, 2, 2, 1, 1};
    for (int k = 0; k < 10; ++k) {
        p.run(silence.data(), nullptr, l.data(), r.data(), 0);  // an empty block changes nothing
        p.run(silence.data(), nullptr, l.data(), r.data(), n);
        ASSERT_EQ(fx.inputLevel(), expected[k]) << "after " << k + 1 << " silent blocks";
    }
    for (const auto& [level, led] : {std::pair(0.05f, 1), std::pair(0.2f, 2), std::pair(0.6f, 3), std::pair(0.99f, 4)}) {
        std::vector<float> x = silence;
        x[10] = -level;
        p.run(x.data(), nullptr, l.data(), r.data(), n);
        EXPECT_EQ(fx.inputLevel(), led) << level;
    }
    // Stereo input meters both channels.
    std::vector<float> right = silence;
    right[5] = 1.0f;
    for (int k = 0; k < 12; ++k) p.run(silence.data(), nullptr, l.data(), r.data(), n);
    EXPECT_EQ(fx.inputLevel(), 1);
    p.run(silence.data(), right.data(), l.data(), r.data(), n);
    EXPECT_EQ(fx.inputLevel(), 4);
}

TEST(BlockBuffers, ALongBlockRunsInPiecesAndOnlyAnAnnouncedSizeGrowsThem)
{
    const int n = 4096;
    const auto in = noise(n, 0.5f, 9);
    Plugin big(44100.0, 1024), small(44100.0, 1024), other(44100.0, 1024);
    // The audio thread never grows the buffers: the engine runs the long
    // block in pieces of its reserved size, exactly as four host blocks.
    const auto once = runMono(big, in, n);
    EXPECT_EQ(big.effect().reservedBlock(), 1024);
    const auto pieces = runMono(small, in, 1024);
    EXPECT_EQ(once.left, pieces.left);
    EXPECT_EQ(once.right, pieces.right);

    // An announced size reserves ahead of time with a new engine that
    // carries the sound and none of the old engine's history.
    runMono(other, std::vector<float>(64, 0.0f), 64);
    for (const Plugin* p : {&small, &other}) p->dispatch(effSetBlockSize, 0, 8192);
    EXPECT_EQ(small.effect().reservedBlock(), 8192);
    const auto renewed = runMono(small, in, n);
    const auto fresh = runMono(other, in, n);
    EXPECT_EQ(renewed.left, fresh.left);
    EXPECT_EQ(renewed.right, fresh.right);
}

TEST(AudioPath, AccumulatingProcessAddsWhatProcessReplacingWrites)
{
    const int n = 2048;
    const auto in = noise(n, 0.5f, 4);
    Plugin a, b;
    std::vector<float> l(n), r(n), l2(n, 0.25f), r2(n, -0.25f);
    a.run(in.data(), nullptr, l.data(), r.data(), n);
    float* inputs[2] = {const_cast<float*>(in.data()), nullptr};
    float* outputs[2] = {l2.data(), r2.data()};
    b.aeffect()->process(b.aeffect(), inputs, outputs, n);
    for (int i = 0; i < n; ++i) {
        ASSERT_EQ(l2[i], 0.25f + l[i]) << i;
        ASSERT_EQ(r2[i], -0.25f + r[i]) << i;
    }
}
