// A torture run: every sample rate a host may use, block sizes from 1 to
// 8192 in fixed, odd and varying sizes, silence, full-scale noise, NaN and
// infinity bursts, subnormal input, random parameter changes, bypass and
// every channel layout. The output stays finite and free of subnormals, and
// the audio thread allocates nothing for blocks up to the announced size.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
#include <vector>

#include "DspTestKit.h"
#include "PluginHarness.h"

using harness::Plugin;

namespace {

constexpr int kAnnounced = 8192;

enum class Kind { Silence, Noise, Bursts, Subnormal, Tone, Count };

void fill(std::vector<float>& x, int n, Kind kind, std::mt19937& rng, double& phase)
{
    std::uniform_real_distribution<float> full(-1.0f, 1.0f);
    for (int i = 0; i < n; ++i) {
        switch (kind) {
        case Kind::Silence: x[i] = 0.0f; break;
        case Kind::Noise: x[i] = full(rng); break;
        case Kind::Bursts: {
            const unsigned r = rng() % 8;
            x[i] = r == 0 ? NAN : r == 1 ? INFINITY : r == 2 ? -INFINITY : r == 3 ? 3.0e38f : full(rng);
            break;
        }
        case Kind::Subnormal: x[i] = (rng() & 1 ? 1.0f : -1.0f) * 1.0e-41f * static_cast<float>(1 + rng() % 100); break;
        case Kind::Tone:
            x[i] = static_cast<float>(0.9 * std::sin(phase));
            phase += 0.0731;
            break;
        case Kind::Count: break;
        }
    }
}

bool clean(const std::vector<float>& x, int n)
{
    for (int i = 0; i < n; ++i)
        if (!std::isfinite(x[i]) || std::fpclassify(x[i]) == FP_SUBNORMAL) return false;
    return true;
}

}  // namespace

TEST(Torture, EveryRateBlockSizeAndSignalStaysCleanWithoutAllocating)
{
    const int fixedSizes[] = {1, 2, 3, 7, 64, 127, 128, 511, 1000, 1024, 4097, 8191, 8192};
    long firstBlockAllocations = 0;
    for (double rate : {22050.0, 44100.0, 48000.0, 88200.0, 96000.0, 192000.0}) {
        SCOPED_TRACE(rate);
        Plugin p(rate, kAnnounced);
        Effect& fx = p.effect();
        fx.showMeters(true);  // meters and tuner feed on
        std::mt19937 rng(static_cast<unsigned>(rate));
        std::vector<float> in0(kAnnounced), in1(kAnnounced), out0(kAnnounced), out1(kAnnounced);
        std::set<int> seen;
        double phase = 0.0;
        long frames = 0;
        int block = 0;
        while (frames < 120000) {
            ++block;
            int n;
            if (block % 3 == 0)
                n = 1 + static_cast<int>(rng() % kAnnounced);
            else
                n = fixedSizes[rng() % std::size(fixedSizes)];
            const Kind kind = static_cast<Kind>(rng() % static_cast<unsigned>(Kind::Count));
            fill(in0, n, kind, rng, phase);
            fill(in1, n, kind, rng, phase);
            const bool stereoIn = rng() % 2, stereoOut = rng() % 3 != 0;

            // Between blocks, as hosts and editors do.
            for (int k = static_cast<int>(rng() % 6); k > 0; --k) {
                const int index = static_cast<int>(rng() % 84) - 2;
                const float value = std::uniform_real_distribution<float>(-0.2f, 1.2f)(rng);
                p.set(index, value);
            }
            if (rng() % 40 == 0) p.set(static_cast<int>(rng() % 80), NAN);
            if (rng() % 25 == 0) p.dispatch(effSetBypass, 0, rng() % 4 == 0);
            if (rng() % 60 == 0) p.dispatch(effSetProgram, 0, static_cast<VstIntPtr>(rng() % 128));

            long heapCalls;  // allocations and frees
            {
                testkit::AllocationCounter counter;
                p.run(in0.data(), stereoIn ? in1.data() : nullptr, out0.data(), stereoOut ? out1.data() : nullptr, n);
                heapCalls = counter.count() + counter.freed();
            }
            if (seen.count(n))
                ASSERT_EQ(heapCalls, 0) << "block " << block << " of " << n << " frames";
            else
                firstBlockAllocations += heapCalls;
            seen.insert(n);

            ASSERT_TRUE(clean(out0, n)) << "block " << block;
            if (stereoOut) {
                ASSERT_TRUE(clean(out1, n)) << "block " << block;
            }
            frames += n;
        }
        EXPECT_LE(fx.reservedBlock(), kAnnounced);  // nothing grew past the announced size
    }
    RecordProperty("first_block_allocations", static_cast<int>(firstBlockAllocations));
}

TEST(Torture, NoAllocationForAnyBlockUpToTheAnnouncedSize)
{
    for (int announced : {64, 1024, 8192}) {
        Plugin p(48000.0, announced);
        std::vector<float> in(static_cast<size_t>(announced), 0.25f), l(in.size()), r(in.size());
        for (int n : {announced, 1, 3, announced / 2 + 1, announced - 1, announced}) {
            testkit::AllocationCounter counter;
            p.run(in.data(), nullptr, l.data(), r.data(), n);
            EXPECT_EQ(counter.count(), 0) << announced << " / " << n;
            EXPECT_EQ(counter.freed(), 0) << announced << " / " << n;
        }
    }
}
