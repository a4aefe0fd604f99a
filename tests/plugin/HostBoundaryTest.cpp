// Nothing the effect throws reaches the host: every entry of the AEffect
// record fails its call instead, and a call that runs out of memory part-way
// leaves the plug-in as it was, rendering exactly as before. A host's float
// that no integer stands for is refused, never cast.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>
#include <vector>

#include "DspTestKit.h"
#include "PluginHarness.h"

using harness::Host;
using harness::Plugin;

namespace {

// An effect whose every operation throws.
class Throwing : public AudioEffectX {
public:
    static inline bool destroyed = false;
    Throwing() : AudioEffectX(nullptr, 1, 1) {}
    ~Throwing() override { destroyed = true; }
    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) override
    {
        if (opcode == effClose) return AudioEffectX::dispatcher(opcode, index, value, ptr, opt);
        throw std::runtime_error("dispatcher");
    }
    void close() override { throw std::runtime_error("close"); }
    void processReplacing(float**, float**, VstInt32) override { throw std::bad_alloc(); }
    void process(float**, float**, VstInt32) override { throw std::bad_alloc(); }
    void processDoubleReplacing(double**, double**, VstInt32) override { throw 7; }
    void setParameter(VstInt32, float) override { throw std::runtime_error("setParameter"); }
    float getParameter(VstInt32) override { throw std::runtime_error("getParameter"); }
};

// An effect whose editor records the keys the dispatcher hands it.
class KeyedEffect : public AudioEffectX {
public:
    struct Keys : AEffEditor {
        std::vector<VstInt32> modifiers;
        bool onKeyDown(VstInt32, VstInt32, VstInt32 m) override
        {
            modifiers.push_back(m);
            return true;
        }
        bool onKeyUp(VstInt32, VstInt32, VstInt32 m) override
        {
            modifiers.push_back(-m);
            return true;
        }
    };
    KeyedEffect() : AudioEffectX(nullptr, 1, 1) { setEditor(&keys); }
    ~KeyedEffect() override { setEditor(nullptr); }
    void processReplacing(float**, float**, VstInt32) override {}
    Keys keys;
};

}  // namespace

TEST(HostBarrier, KeysWhoseModifiersAreNoNumberTheHelperCanRoundAreRefused)
{
    KeyedEffect effect;
    AEffect* e = effect.getAeffect();
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    for (float opt : {0.0f, 1.0f, 8.4f, nan, inf, -inf, 1e30f, -1e30f, 3e9f}) {
        const bool valid = std::isfinite(opt) && std::fabs(opt) < 1e9f;
        EXPECT_EQ(e->dispatcher(e, effEditKeyDown, 'a', 0, nullptr, opt), valid ? 1 : 0) << opt;
        EXPECT_EQ(e->dispatcher(e, effEditKeyUp, 'a', 0, nullptr, opt), valid ? 1 : 0) << opt;
    }
    EXPECT_EQ(effect.keys.modifiers, (std::vector<VstInt32>{0, 0, 1, -1, 8, -8}));
}

TEST(HostBarrier, EveryEntryOfTheRecordFailsItsCallInsteadOfThrowing)
{
    AEffect* e = (new Throwing)->getAeffect();
    std::vector<float> l(64, 3.0f), r(64, 3.0f), in(64, 0.5f);
    std::vector<double> dl(64, 3.0), dr(64, 3.0), din(64, 0.5);
    float* inputs[2] = {in.data(), in.data()};
    float* outputs[2] = {l.data(), r.data()};
    double* dinputs[2] = {din.data(), din.data()};
    double* doutputs[2] = {dl.data(), dr.data()};

    for (VstInt32 opcode : {effOpen, effSetProgram, effGetParamName, effSetSampleRate, effSetBlockSize, effMainsChanged,
                            effGetChunk, effSetChunk, effProcessEvents, effCanDo})
        EXPECT_EQ(e->dispatcher(e, opcode, 0, 1, nullptr, 44100.0f), 0) << opcode;
    EXPECT_EQ(e->getParameter(e, 0), 0.0f);
    e->setParameter(e, 0, 0.5f);

    // A failed replacing call leaves silence, never what the buffers held.
    e->processReplacing(e, inputs, outputs, 64);
    EXPECT_EQ(l, std::vector<float>(64, 0.0f));
    EXPECT_EQ(r, std::vector<float>(64, 0.0f));
    e->processDoubleReplacing(e, dinputs, doutputs, 64);
    EXPECT_EQ(dl, std::vector<double>(64, 0.0));
    EXPECT_EQ(dr, std::vector<double>(64, 0.0));
    // The accumulating form adds nothing.
    std::fill(l.begin(), l.end(), 3.0f);
    e->process(e, inputs, outputs, 64);
    EXPECT_EQ(l, std::vector<float>(64, 3.0f));

    // Closing lets go of the effect even when its close throws.
    EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f), 1);
    EXPECT_TRUE(Throwing::destroyed);
}

namespace {

constexpr int kFrames = 4096;

// What a plug-in plays for a fixed stereo phrase, left then right.
std::vector<float> render(const Plugin& p)
{
    const auto a = testkit::whiteNoise(kFrames, 0.5, 11), b = testkit::whiteNoise(kFrames, 0.3, 12);
    const std::vector<float> left(a.begin(), a.end()), right(b.begin(), b.end());
    std::vector<float> l(kFrames), r(kFrames);
    for (int pos = 0; pos < kFrames; pos += 512) p.run(&left[pos], &right[pos], &l[pos], &r[pos], 512);
    l.insert(l.end(), r.begin(), r.end());
    return l;
}

// -1 when equal, else the first index where they differ.
long firstDifference(const std::vector<float>& a, const std::vector<float>& b)
{
    if (a.size() != b.size()) return 0;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) return static_cast<long>(i);
    return -1;
}

// Where a call of `total` allocations is made to fail: every allocation
// near either end, a spread between, and none (total itself).
std::vector<long> failurePoints(long total)
{
    std::vector<long> points;
    for (long k = 0; k <= total; ++k)
        if (k < 32 || k > total - 32 || k % 64 == 0) points.push_back(k);
    return points;
}

// Program 7 gets a cabinet recorded at 48 kHz, so that selecting it
// resamples; each seed makes another impulse, so no cache of an earlier
// round helps.
void giveProgram7ACabinet(Plugin& p, long seed)
{
    auto h = testkit::whiteNoise(2048, 0.05, static_cast<unsigned>(100 + seed));
    h[10] = 1.0;
    TonewrightParameters sound = p.effect().currentSound();
    sound.cabinet.SetImpulse(h.data(), nullptr, 2048, true, 48000.0, "seeded");
    harness::StorePrograms(p.effect(), {{7, sound}});
}

void nothing(Plugin&, long) {}

struct HostCall {
    const char* what;
    void (*prepare)(Plugin&, long seed);
    void (*call)(AEffect*);
    // Whether the call took effect; nothing when the plug-in's own account
    // disagrees with what it plays.
    std::optional<bool> (*outcome)(Plugin&);
};

const HostCall kHostCalls[] = {
    {"a new sample rate", nothing, [](AEffect* e) { e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 48000.0f); },
     [](Plugin& p) -> std::optional<bool> {
         Effect& fx = p.effect();
         double fs = 0.0;
         fx.inspectEngine([&](Tonewright& engine) { fs = engine.GetFs(); });
         if (fs != fx.getSampleRate()) return std::nullopt;
         return fs == 48000.0;
     }},
    {"a larger block size", nothing, [](AEffect* e) { e->dispatcher(e, effSetBlockSize, 0, 8192, nullptr, 0.0f); },
     [](Plugin& p) -> std::optional<bool> {
         Effect& fx = p.effect();
         if (fx.getBlockSize() != fx.reservedBlock()) return std::nullopt;
         return fx.reservedBlock() == 8192;
     }},
    {"suspend and resume", nothing,
     [](AEffect* e) {
         e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f);
         e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
     },
     [](Plugin&) -> std::optional<bool> { return true; }},
    {"a program with a cabinet of its own", giveProgram7ACabinet,
     [](AEffect* e) { e->dispatcher(e, effSetProgram, 0, 7, nullptr, 0.0f); },
     [](Plugin& p) -> std::optional<bool> {
         const bool selected = p.dispatch(effGetProgram) == 7;
         if (selected != (p.text(effGetProgramName) == p.text(effGetProgramNameIndexed, 7, -1)))
             return std::nullopt;
         return selected;
     }},
};

}  // namespace

TEST(OutOfMemory, AHostCallThatRunsOutFailsAndThePluginPlaysAsBefore)
{
    for (const HostCall& c : kHostCalls) {
        SCOPED_TRACE(c.what);
        long total;
        {
            Plugin p;
            c.prepare(p, -1);
            testkit::AllocationCounter count;
            c.call(p.aeffect());
            total = count.count();
        }
        int tookEffect = 0, refused = 0;
        for (long k : failurePoints(total)) {
            Plugin p;
            c.prepare(p, k);
            bool escaped = false;
            {
                testkit::AllocationFailure failure(k);
                try {
                    c.call(p.aeffect());
                } catch (...) {
                    escaped = true;
                }
            }
            ASSERT_FALSE(escaped) << "allocations failing from number " << k;
            const std::optional<bool> outcome = c.outcome(p);
            ASSERT_TRUE(outcome.has_value()) << "allocations failing from number " << k;

            // As a plug-in that was never asked, or that was asked with
            // memory to spare.
            Plugin reference;
            c.prepare(reference, k);
            if (*outcome) c.call(reference.aeffect());
            ASSERT_EQ(firstDifference(render(p), render(reference)), -1) << "allocations failing from number " << k;
            ++(*outcome ? tookEffect : refused);
        }
        EXPECT_GT(tookEffect, 0);
        if (total > 40) {
            EXPECT_GT(refused, 0);
        }
    }
}

TEST(OutOfMemory, VSTPluginMainMakesAWorkingEffectOrNone)
{
    const std::vector<float> expected = render(Plugin());
    long total;
    {
        testkit::AllocationCounter count;
        AEffect* e = VSTPluginMain(Host::callback);
        total = count.count();
        e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
    }
    int made = 0, none = 0;
    for (long k : failurePoints(total)) {
        AEffect* e = nullptr;
        bool escaped = false;
        {
            testkit::AllocationFailure failure(k);
            try {
                e = VSTPluginMain(Host::callback);
            } catch (...) {
                escaped = true;
            }
        }
        ASSERT_FALSE(escaped) << "allocations failing from number " << k;
        if (!e) {
            ++none;
            continue;
        }
        ++made;
        Plugin p(e, 44100.0, 1024);
        ASSERT_EQ(firstDifference(render(p), expected), -1) << "allocations failing from number " << k;
    }
    EXPECT_GT(none, 40);
    EXPECT_GT(made, 0);
}
