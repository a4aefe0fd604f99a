// The processing toolkit: range helpers, the integer conversion, MonoBuffer,
// SoftBypass, the bilinear transform, the glide coefficients and the engine
// lock's checks.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <mutex>
#include <thread>

#include "dsp/BankCrossfade.h"
#include "dsp/DspMath.h"
#include "dsp/AudioThread.h"
#include "DspTestKit.h"
#include "dsp/MonoBuffer.h"
#include "dsp/RangeHelpers.h"
#include "dsp/SoftBypass.h"
#include "dsp/StringUtil.h"
#include "dsp/StageFields.h"

using namespace tonewright;

using namespace testkit;

TEST(RangeHelpers, MapAndInvert)
{
    EXPECT_EQ(position(0.0, 4), 1);
    EXPECT_EQ(position(1.0, 4), 4);
    EXPECT_EQ(position(0.5, 4), 3);
    EXPECT_EQ(position(0.5, 2), 2);  // half-way rounds up
    EXPECT_DOUBLE_EQ(iposition(3, 4), 2.0 / 3.0);
    EXPECT_DOUBLE_EQ(limitrange(-0.2, -12, 6), -12);
    EXPECT_DOUBLE_EQ(limitrange(1.7, -12, 6), 6);
    EXPECT_DOUBLE_EQ(limitrange(0.5, -12, 6), -3);
    EXPECT_NEAR(rangeDb(0.5, -24, 0), std::pow(10.0, -12.0 / 20.0), 1e-15);
    EXPECT_NEAR(rangeLog(0.5, 250, 18000), std::sqrt(250.0 * 18000.0), 1e-9);
    EXPECT_DOUBLE_EQ(range(0.25, -80, -10), -62.5);
    for (double x : {0.0, 0.13, 0.5, 0.87, 1.0}) {
        EXPECT_NEAR(irange(range(x, 0.05, 0.25), 0.05, 0.25), x, 1e-14);
        EXPECT_NEAR(irangeLog(rangeLog(x, 0.1, 10), 0.1, 10), x, 1e-14);
        EXPECT_NEAR(irangeDb(rangeDb(x, -6, 24), -6, 24), x, 1e-14);
    }
    EXPECT_NEAR(toDb(fromDb(-7.5)), -7.5, 1e-14);
    // Values that are no step give the first step, never undefined behaviour.
    EXPECT_EQ(position(NAN, 4), 1);
    EXPECT_EQ(position(1e300, 4), 1);
}

TEST(DspMath, RoundedIntRefusesWhatIsNoInteger)
{
    EXPECT_EQ(roundedInt(2.5), 3);
    EXPECT_EQ(roundedInt(-0.5), 0);
    EXPECT_EQ(roundedInt(-0.6), -1);
    EXPECT_FALSE(roundedInt(NAN));
    EXPECT_FALSE(roundedInt(INFINITY));
    EXPECT_FALSE(roundedInt(-INFINITY));
    EXPECT_FALSE(roundedInt(1e10));
    EXPECT_FALSE(roundedInt(-1e10));
    EXPECT_EQ(roundedIntIn(13.4, 0, 13), 13);
    EXPECT_FALSE(roundedIntIn(13.6, 0, 13));
    EXPECT_FALSE(roundedIntIn(-0.6, 0, 13));
}

TEST(DspMath, DenormalGuardFlushesTinyValues)
{
    EXPECT_EQ(denormalGuard(1e-30), 0.0);
    EXPECT_EQ(denormalGuard(std::numeric_limits<double>::denorm_min()), 0.0);
    EXPECT_DOUBLE_EQ(denormalGuard(0.25), 0.25);
}

TEST(DspMath, GlideAndHalfLifeCoefficients)
{
    const double fs = 44100.0;
    // A glide step decays to 0.1 % in T.
    const double c = glideCoefficient(0.03, fs);
    EXPECT_NEAR(std::pow(1.0 - c, 0.03 * fs), 0.001, 1e-12);
    // A follower halves in its half-life; 0 is instant.
    const double h = halfLifeCoefficient(0.01, fs);
    EXPECT_NEAR(std::pow(1.0 - h, 0.01 * fs), 0.5, 1e-12);
    EXPECT_EQ(halfLifeCoefficient(0.0, fs), 1.0);
    EXPECT_EQ(halfLifeCoefficient(NAN, fs), 1.0);
}

TEST(DspMath, BilinearTransformMatchesTheAnalogResponseAtThePrewarpPoint)
{
    // A third-order section: B(s) = s + 2e3 s^2, A(s) = 1 + 1e-3 s + 3e-7 s^2 + 1e-11 s^3.
    const double B[4] = {0.0, 1e-3, 2e-7, 0.0};
    const double A[4] = {1.0, 1e-3, 3e-7, 1e-11};
    for (double fs : {44100.0, 48000.0, 96000.0}) {
        double b[4], a[4];
        const double c = prewarpConstant(1000.0, fs);
        bilinearTransform(B, A, 3, c, b, a);
        const double w = 2 * kPi * 1000.0 / fs;
        std::complex<double> z1 = std::polar(1.0, -w), num = 0, den = 0, zk = 1;
        for (int k = 0; k <= 3; ++k) {
            num += b[k] * zk;
            den += a[k] * zk;
            zk *= z1;
        }
        const std::complex<double> s(0.0, 2 * kPi * 1000.0);
        const auto an = (B[0] + B[1] * s + B[2] * s * s) / (A[0] + A[1] * s + A[2] * s * s + A[3] * s * s * s);
        EXPECT_NEAR(std::abs(num / den), std::abs(an), 1e-12 * std::abs(an));
        EXPECT_NEAR(std::arg(num / den), std::arg(an), 1e-12);
    }
}

TEST(MonoBuffer, SizeChangesZeroAndCapacityOnlyGrows)
{
    MonoBuffer b;
    EXPECT_EQ(b.size(), 1);
    EXPECT_EQ(b[0], 0.0);
    const double s[4] = {1, 2, 3, 4};
    b.Set(s, 4);
    EXPECT_EQ(b[3], 4.0);
    b.Scale(2.0);
    b.Shift(1.0);
    EXPECT_EQ(b[3], 9.0);
    b.Subtract(s);
    EXPECT_EQ(b[3], 5.0);
    b.Multiply(s);
    EXPECT_EQ(b[3], 20.0);
    double out[4];
    b.Get(out);
    EXPECT_EQ(out[0], 2.0);

    const double* storage = b.data();
    b.Resize(2);  // a new size zeroes, but keeps the storage
    EXPECT_EQ(b.size(), 2);
    EXPECT_EQ(b[0], 0.0);
    EXPECT_EQ(b.data(), storage);
    b.Set(s, 2);
    b.Resize(2);  // the same size keeps the contents
    EXPECT_EQ(b[1], 2.0);
    b.Get(out, 3);  // a resize that changed the size hands out zeros
    EXPECT_EQ(out[1], 0.0);

    b.Reserve(4096);
    storage = b.data();
    {
        AllocationCounter allocations;
        for (int n : {4096, 1, 77, 4096, 2048}) b.Resize(n);
        EXPECT_EQ(allocations.count(), 0);
        EXPECT_EQ(allocations.freed(), 0);
    }
    EXPECT_EQ(b.data(), storage);
    EXPECT_EQ(b.Capacity(), 4096);
}

TEST(SoftBypass, FadesOverTwentyMillisecondsAndStopsAfterFadeOut)
{
    for (double fs : {44100.0, 48000.0, 96000.0}) {
        SoftBypass sb;
        sb.SetFs(fs);
        EXPECT_DOUBLE_EQ(sb.step, 1.0 / (0.02 * fs));
        sb.Settle();
        sb.SetState(0.49);
        EXPECT_EQ(sb.state, 0);
        const int n = int(0.02 * fs) + 10;
        std::vector<double> dry(size_t(n), 1.0), wet(size_t(n), 0.0);
        sb.senddry(dry.data(), n);
        sb.process(wet.data(), n);
        // The ramp moves before each sample is mixed.
        for (int i = 0; i < n - 12; ++i) ASSERT_NEAR(wet[size_t(i)], (i + 1) * sb.step, 1e-9);
        EXPECT_EQ(wet.back(), 1.0);
        EXPECT_EQ(sb.running, 0);
        EXPECT_EQ(sb.mix, 0.0);
    }
}

TEST(SoftBypass, ReversesMidFadeWithoutAJump)
{
    SoftBypass sb;
    sb.Settle();
    sb.SetState(0.0);
    std::vector<double> dry(441, 0.0), wet(441, 1.0);
    sb.senddry(dry.data(), 441);
    sb.process(wet.data(), 441);  // 10 ms of fade-out
    const double reached = sb.mix;
    EXPECT_NEAR(reached, 0.5, 1e-3);
    sb.SetState(0.5);  // on again
    EXPECT_EQ(sb.fading, 1);
    std::vector<double> wet2(100, 1.0);
    sb.senddry(dry.data(), 100);
    sb.process(wet2.data(), 100);
    EXPECT_NEAR(wet2[0], reached + sb.step, 1e-12);
    EXPECT_LT(std::fabs(wet2[0] - wet.back()), 2.5 * sb.step);

    SoftBypass on;
    on.Settle();
    on.SetState(1.0);  // already on: no new ramp
    EXPECT_EQ(on.fading, 0);
}

TEST(SoftBypass, OffAndSettledReplaysTheDryBlock)
{
    SoftBypass sb;
    sb.SetState(0.0);
    sb.Settle();
    EXPECT_EQ(sb.running, 0);
    sb.SetState(1.0);
    EXPECT_EQ(sb.running, 1);
    EXPECT_EQ(sb.mix, 0.0);
    auto l = whiteNoise(64, 1.0, 1), r = whiteNoise(64, 1.0, 2);
    sb.senddry(l.data(), r.data(), 64);
    std::vector<double> zl(64, 0.0), zr(64, 0.0);
    sb.process(zl.data(), zr.data(), 64);
    EXPECT_NEAR(zl[0], (1.0 - sb.step) * l[0], 1e-15);  // first sample already carries one step
    EXPECT_NEAR(zr[63], (1.0 - 64 * sb.step) * r[63], 1e-12);
}

TEST(BankCrossfade, HoldThenLinearFade)
{
    BankCrossfade xf(1.05, 0.02);
    xf.SetFs(1000.0);  // 20 samples of fade, 1 of hold
    EXPECT_TRUE(xf.BeginBlock());
    EXPECT_EQ(xf.current, 1);
    EXPECT_FALSE(xf.BeginBlock());
    std::vector<double> w;
    while (xf.fading) w.push_back(xf.NextOldWeight());
    EXPECT_EQ(w[0], 1.0);
    EXPECT_EQ(w[1], 1.0);
    EXPECT_NEAR(w[2], 0.95, 1e-12);
    EXPECT_NEAR(double(w.size()), 22.0, 1.0);
    xf.dirty = true;
    EXPECT_TRUE(xf.BeginBlock());
    EXPECT_EQ(xf.current, 0);
}

TEST(StringUtil, CopyBoundedAlwaysTerminates)
{
    char small[4];
    EXPECT_EQ(copyBounded(small, "abcdef"), 3u);
    EXPECT_STREQ(small, "abc");
    EXPECT_EQ(copyBounded(small, nullptr), 0u);
    EXPECT_STREQ(small, "");
    char one[1] = {'x'};
    copyBounded(one, "long");
    EXPECT_EQ(one[0], '\0');
    // Cuts fall between UTF-8 characters: "é" is two bytes, "€" three.
    const struct {
        const char* src;
        const char* kept;
    } cuts[] = {{"ab\xC3\xA9", "ab"}, {"a\xC3\xA9x", "a\xC3\xA9"}, {"a\xE2\x82\xAC", "a"}, {"\xE2\x82\xAC", "\xE2\x82\xAC"}};
    for (const auto& c : cuts) {
        char four[4];
        copyBounded(four, c.src);
        EXPECT_STREQ(four, c.kept) << c.src;
    }
}

TEST(AudioThread, SlowWorkInsideAnAudioCallbackIsCountedOnThatThreadOnly)
{
    ResetAudioThreadViolations();
    CheckOffAudioThread("free");
    EXPECT_EQ(AudioThreadViolations(), 0);
    {
        const AudioThreadScope outer;
        {
            const AudioThreadScope inner;
            EXPECT_TRUE(OnAudioThread());
            MonoBuffer grown;  // its first storage is allocated in the callback
            CheckOffAudioThread("second");
        }
        EXPECT_TRUE(OnAudioThread());  // still inside the outer scope
        std::thread([] { EXPECT_FALSE(OnAudioThread()); }).join();
    }
    EXPECT_FALSE(OnAudioThread());
    EXPECT_EQ(AudioThreadViolations(), 2);
    EXPECT_STREQ(FirstAudioThreadViolation(), "growing a sample buffer");
    ResetAudioThreadViolations();
    EXPECT_EQ(FirstAudioThreadViolation(), nullptr);
}

TEST(StageFields, ReadByIdAndApplyInIdOrderWithFlagsAsZeroOrOne)
{
    struct Record {
        bool enable = true;
        int type = 3;
        double level = -2.5;
    };
    constexpr auto fields = stageFields(&Record::enable, &Record::type, &Record::level);
    const Record r;
    const double want[] = {1.0, 3.0, -2.5, 0.0, 0.0};
    for (int id : {0, 1, 2, 3, -1}) EXPECT_EQ(fields.Get(r, id), want[id < 0 ? 4 : id]) << id;
    struct Stage {
        std::vector<std::pair<int, double>> set;
        void SetParameter(int id, double v) { set.emplace_back(id, v); }
    } stage;
    fields.Apply(Record{false, 7, 0.25}, stage);
    EXPECT_EQ(stage.set, (std::vector<std::pair<int, double>>{{0, 0.0}, {1, 7.0}, {2, 0.25}}));
}
