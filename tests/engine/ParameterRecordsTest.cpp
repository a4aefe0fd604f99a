// The sound record: its defaults, the shared cabinet impulse and copies.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/TonewrightParameters.h"

using namespace tonewright;

TEST(TonewrightParameters, NewRecordHoldsTheDefaults)
{
    const TonewrightParameters p;
    EXPECT_TRUE(p.enable);
    EXPECT_TRUE(p.upsampler_enabled);
    EXPECT_EQ(p.lowcut_type, 1);
    EXPECT_TRUE(p.boost_enabled && p.deep_enabled && p.bright_enabled);
    EXPECT_FALSE(p.eq.post || p.tremolo.post || p.chorus.post || p.flanger.post || p.phaser.post || p.echo.post);
    EXPECT_TRUE(p.eq.enable && p.tremolo.enable && p.chorus.enable && p.flanger.enable && p.phaser.enable &&
                p.echo.enable);
    EXPECT_FALSE(p.gate.enable || p.wah.enable || p.sustainer.enable || p.reverb.enable);
    EXPECT_DOUBLE_EQ(p.gate.threshold, -80.0);
    EXPECT_DOUBLE_EQ(p.gate.release, 0.009);
    EXPECT_DOUBLE_EQ(p.sustainer.release, 0.05);
    EXPECT_DOUBLE_EQ(p.poweramp.dynamics, 1.0);
    EXPECT_DOUBLE_EQ(p.eq.parameters.parametric_q, 0.666);
    EXPECT_EQ(p.eq.parameters.type, 0);
    EXPECT_DOUBLE_EQ(p.tremolo.parameters.depth, 1.0);
    EXPECT_DOUBLE_EQ(p.echo.parameters.delay, 0.375);
    EXPECT_DOUBLE_EQ(p.echo.parameters.feedback, 0.7);
    EXPECT_FALSE(p.echo.parameters.filter_input);
    EXPECT_DOUBLE_EQ(p.flanger.parameters.delay, 0.003);
    EXPECT_DOUBLE_EQ(p.phaser.parameters.speed, 1.0);
    EXPECT_EQ(p.reverb.type, 2);
    EXPECT_DOUBLE_EQ(p.reverb.level, 0.0);

    EXPECT_STREQ(p.preamp.name, "Default");
    EXPECT_TRUE(p.preamp.stages[0].enable);
    for (int s = 1; s < 4; ++s) {
        EXPECT_FALSE(p.preamp.stages[s].enable);
        EXPECT_DOUBLE_EQ(p.preamp.stages[s].tube.gain, 10.0);
    }
    EXPECT_DOUBLE_EQ(p.preamp.stages[0].tube.gain, 50.0);
    EXPECT_DOUBLE_EQ(p.preamp.stages[0].tube.shelf, -12.0);
    EXPECT_DOUBLE_EQ(p.preamp.stages[0].tube.frequency, 550.0);
    EXPECT_FALSE(p.preamp.stages[0].preFilter.enable);
    EXPECT_DOUBLE_EQ(p.preamp.stages[0].postFilter.level, 1.0);
    EXPECT_EQ(p.preamp.gainControl.type, 1);
    EXPECT_EQ(p.preamp.toneControl.type, 2);
    EXPECT_EQ(p.preamp.toneControlLocation, 2);

    // Every new record holds the one shared 16-sample unit impulse.
    EXPECT_STREQ(p.cabinet.GetName(), "None");
    EXPECT_EQ(p.cabinet.Length(), 16);
    EXPECT_TRUE(p.cabinet.Mono());
    EXPECT_EQ(p.cabinet.SampleRate(), 44100.0);
    std::vector<double> unit(16, 0.0);
    unit[0] = 1.0;
    EXPECT_EQ(p.cabinet.ImpulseLeft(), unit);
    EXPECT_EQ(p.cabinet.ImpulseRight(), unit);
    EXPECT_EQ(TonewrightParameters().cabinet.Impulse(), p.cabinet.Impulse());
    EXPECT_EQ(p.cabinet.windowsize, 8192);
    EXPECT_DOUBLE_EQ(p.cabinet.dibox.frequency, 4500.0);
}

TEST(CabinetImpulse, EqualContentsAreOneImpulseAndDerivedVersionsAreMadeOnce)
{
    std::vector<double> l(3000), r(3000);
    for (size_t i = 0; i < l.size(); ++i) {
        l[i] = std::sin(0.01 * double(i)) * std::exp(-double(i) / 500.0);
        r[i] = -0.5 * l[i];
    }
    const auto a = CabinetImpulse::Make(l.data(), r.data(), 3000, false, 48000.0, "Room.wav");
    ASSERT_TRUE(a);
    EXPECT_EQ(CabinetImpulse::Make(l.data(), r.data(), 3000, false, 48000.0, "Room.wav"), a);
    // Any difference makes another impulse: a sample, the length, the rate,
    // the name, the channel count.
    std::vector<double> changed = r;
    changed[2999] += 1e-12;
    for (const auto& other : {CabinetImpulse::Make(l.data(), changed.data(), 3000, false, 48000.0, "Room.wav"),
                              CabinetImpulse::Make(l.data(), r.data(), 2999, false, 48000.0, "Room.wav"),
                              CabinetImpulse::Make(l.data(), r.data(), 3000, false, 44100.0, "Room.wav"),
                              CabinetImpulse::Make(l.data(), r.data(), 3000, false, 48000.0, "Hall.wav"),
                              CabinetImpulse::Make(l.data(), r.data(), 3000, true, 48000.0, "Room.wav")}) {
        ASSERT_TRUE(other);
        EXPECT_NE(other, a);
    }
    // A mono impulse reads its left samples as its right ones; long ones are
    // cut to 65536.
    const auto mono = CabinetImpulse::Make(l.data(), nullptr, 3000, true, 48000.0, "Room.wav");
    EXPECT_EQ(mono->Right(), l);
    std::vector<double> tooLong(70000, 0.25);
    EXPECT_EQ(CabinetImpulse::Make(tooLong.data(), nullptr, 70000, true, 48000.0, "long")->Length(), 65536);

    // Derived versions are computed once per impulse (and rate) and shared.
    const auto minimum = a->MinimumPhase();
    ASSERT_TRUE(minimum);
    EXPECT_EQ(a->MinimumPhase(), minimum);
    const auto at44 = a->AtRate(44100.0, true);
    ASSERT_TRUE(at44);
    EXPECT_EQ(a->AtRate(44100.0, true), at44);
    EXPECT_NE(a->AtRate(44100.0, false), at44);
    EXPECT_EQ(a->AtRate(48000.0, false)->channel[1], r);  // at its own rate: the raw samples
    EXPECT_EQ(a->AtRate(48000.0, true)->channel[0], (*minimum)[0]);
    EXPECT_NEAR(at44->length, 3000 * 44100.0 / 48000.0, 2.0);

    // Once every holder lets go, the impulse is gone.
    std::weak_ptr<const CabinetImpulse> gone = CabinetImpulse::Make(l.data(), r.data(), 3000, false, 32000.0, "x");
    EXPECT_TRUE(gone.expired());
}

TEST(CabinetProcessorParameters, CopiesAreIndependentValuesSharingTheImpulse)
{
    auto source = std::make_unique<TonewrightParameters>();
    std::vector<double> l(1000), r(1000);
    for (int i = 0; i < 1000; ++i) {
        l[size_t(i)] = i;
        r[size_t(i)] = -i;
    }
    ASSERT_TRUE(source->cabinet.SetImpulse(l.data(), r.data(), 1000, false, 48000.0, "Closed 4x12.wav"));
    source->cabinet.windowsize = 4096;
    source->master_level = -3.5;
    source->upsampler_enabled = false;
    source->enable = false;
    source->chorus.post = true;

    TonewrightParameters target;
    target = *source;
    EXPECT_EQ(target.cabinet.Impulse(), source->cabinet.Impulse());  // a pointer, not the samples
    source.reset();  // the target keeps what it shares
    EXPECT_EQ(target.cabinet.Length(), 1000);
    EXPECT_EQ(target.cabinet.ImpulseLeft(), l);
    EXPECT_EQ(target.cabinet.ImpulseRight(), r);
    EXPECT_FALSE(target.cabinet.Mono());
    EXPECT_EQ(target.cabinet.SampleRate(), 48000.0);
    EXPECT_STREQ(target.cabinet.GetName(), "Closed 4x12.wav");
    EXPECT_EQ(target.cabinet.windowsize, 4096);
    EXPECT_DOUBLE_EQ(target.master_level, -3.5);
    EXPECT_FALSE(target.upsampler_enabled);
    EXPECT_FALSE(target.enable);
    EXPECT_TRUE(target.chorus.post);

    TonewrightParameters& self = target;
    target = self;
    EXPECT_EQ(target.cabinet.ImpulseLeft(), l);
    EXPECT_STREQ(target.cabinet.GetName(), "Closed 4x12.wav");

    // Copies are values: a new impulse or setting in one leaves the other.
    CabinetProcessorParameters copy(target.cabinet);
    const double unit = 1.0;
    ASSERT_TRUE(copy.SetImpulse(&unit, nullptr, 1, true, 44100.0, "unit"));
    copy.windowsize = 128;
    EXPECT_EQ(target.cabinet.Length(), 1000);
    EXPECT_EQ(target.cabinet.windowsize, 4096);
    // A refused impulse changes nothing.
    testing::internal::CaptureStderr();
    EXPECT_FALSE(copy.SetImpulse(&unit, nullptr, 0, true, 44100.0, "empty"));
    testing::internal::GetCapturedStderr();
    EXPECT_STREQ(copy.GetName(), "unit");
}
