// The sound record: its defaults, the shared cabinet impulse and copies.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <vector>

#include "engine/TonewrightParameters.h"

using namespace tonewright;

namespace {

struct Default {
    const char* field;
    double actual;
    double expected;
};

double b(bool v) { return v ? 1.0 : 0.0; }

void expectDefaults(std::initializer_list<Default> rows)
{
    for (const Default& row : rows) EXPECT_DOUBLE_EQ(row.actual, row.expected) << row.field;
}

}  // namespace

// Every field of a new record against the published defaults, written out by
// hand (true is 1, false 0).
TEST(TonewrightParameters, NewRecordHoldsTheDefaults)
{
    const TonewrightParameters p;
    expectDefaults({
        {"enable", b(p.enable), 1},
        {"gate.enable", b(p.gate.enable), 0},
        {"gate.threshold", p.gate.threshold, -80},
        {"gate.gating", p.gate.gating, 0},
        {"gate.attack", p.gate.attack, 0.001},
        {"gate.release", p.gate.release, 0.009},
        {"lowcut_type", double(p.lowcut_type), 1},
        {"wah.enable", b(p.wah.enable), 0},
        {"wah.type", double(p.wah.type), 0},
        {"wah.pedal", p.wah.pedal, 0.5},
        {"sustainer.enable", b(p.sustainer.enable), 0},
        {"sustainer.type", double(p.sustainer.type), 1},
        {"sustainer.amount", p.sustainer.amount, 0.5},
        {"sustainer.attack", p.sustainer.attack, 0.001},
        {"sustainer.release", p.sustainer.release, 0.05},
        {"boost_enabled", b(p.boost_enabled), 1},
        {"deep_enabled", b(p.deep_enabled), 1},
        {"bright_enabled", b(p.bright_enabled), 1},
        {"poweramp.enable", b(p.poweramp.enable), 1},
        {"poweramp.type", double(p.poweramp.type), 1},
        {"poweramp.drive", p.poweramp.drive, 1.0},
        {"poweramp.bias", p.poweramp.bias, 0.5},
        {"poweramp.dynamics", p.poweramp.dynamics, 1.0},
        {"eq.post", b(p.eq.post), 0},
        {"eq.enable", b(p.eq.enable), 1},
        {"eq.parameters.enable", b(p.eq.parameters.enable), 1},
        {"eq.parameters.band1", p.eq.parameters.band1, 0},
        {"eq.parameters.band2", p.eq.parameters.band2, 0},
        {"eq.parameters.band3", p.eq.parameters.band3, 0},
        {"eq.parameters.band4", p.eq.parameters.band4, 0},
        {"eq.parameters.band5", p.eq.parameters.band5, 0},
        {"eq.parameters.band6", p.eq.parameters.band6, 0},
        {"eq.parameters.band7", p.eq.parameters.band7, 0},
        {"eq.parameters.parametric_frequency", p.eq.parameters.parametric_frequency, 1000},
        {"eq.parameters.parametric_q", p.eq.parameters.parametric_q, 0.666},
        {"eq.parameters.parametric_level", p.eq.parameters.parametric_level, 0},
        {"eq.parameters.level", p.eq.parameters.level, 0},
        {"eq.parameters.type", double(p.eq.parameters.type), 0},
        {"tremolo.post", b(p.tremolo.post), 0},
        {"tremolo.enable", b(p.tremolo.enable), 1},
        {"tremolo.parameters.enable", b(p.tremolo.parameters.enable), 1},
        {"tremolo.parameters.type", double(p.tremolo.parameters.type), 1},
        {"tremolo.parameters.speed", p.tremolo.parameters.speed, 1.0},
        {"tremolo.parameters.depth", p.tremolo.parameters.depth, 1.0},
        {"tremolo.parameters.waveform", p.tremolo.parameters.waveform, 0},
        {"chorus.post", b(p.chorus.post), 0},
        {"chorus.enable", b(p.chorus.enable), 1},
        {"chorus.parameters.enable", b(p.chorus.parameters.enable), 1},
        {"chorus.parameters.type", double(p.chorus.parameters.type), 1},
        {"chorus.parameters.speed", p.chorus.parameters.speed, 1.0},
        {"chorus.parameters.depth", p.chorus.parameters.depth, 0.5},
        {"chorus.parameters.mix", p.chorus.parameters.mix, 0.5},
        {"chorus.parameters.delay", p.chorus.parameters.delay, 0.01},
        {"flanger.post", b(p.flanger.post), 0},
        {"flanger.enable", b(p.flanger.enable), 1},
        {"flanger.parameters.enable", b(p.flanger.parameters.enable), 1},
        {"flanger.parameters.type", double(p.flanger.parameters.type), 1},
        {"flanger.parameters.speed", p.flanger.parameters.speed, 1.0},
        {"flanger.parameters.depth", p.flanger.parameters.depth, 0.5},
        {"flanger.parameters.delay", p.flanger.parameters.delay, 0.003},
        {"flanger.parameters.sweep", p.flanger.parameters.sweep, 0.5},
        {"flanger.parameters.regeneration", p.flanger.parameters.regeneration, 0.5},
        {"flanger.parameters.phase", b(p.flanger.parameters.phase), 1},
        {"phaser.post", b(p.phaser.post), 0},
        {"phaser.enable", b(p.phaser.enable), 1},
        {"phaser.parameters.enable", b(p.phaser.parameters.enable), 1},
        {"phaser.parameters.type", double(p.phaser.parameters.type), 1},
        {"phaser.parameters.speed", p.phaser.parameters.speed, 1.0},
        {"phaser.parameters.depth", p.phaser.parameters.depth, 0.5},
        {"phaser.parameters.sweep", p.phaser.parameters.sweep, 2.0},
        {"phaser.parameters.regeneration", p.phaser.parameters.regeneration, 0.5},
        {"phaser.parameters.stages", double(p.phaser.parameters.stages), 1},
        {"echo.post", b(p.echo.post), 0},
        {"echo.enable", b(p.echo.enable), 1},
        {"echo.parameters.enable", b(p.echo.parameters.enable), 1},
        {"echo.parameters.type", double(p.echo.parameters.type), 1},
        {"echo.parameters.delay", p.echo.parameters.delay, 0.375},
        {"echo.parameters.feedback", p.echo.parameters.feedback, 0.7},
        {"echo.parameters.directlevel", p.echo.parameters.directlevel, 0},
        {"echo.parameters.delaylevel", p.echo.parameters.delaylevel, 0},
        {"echo.parameters.style", p.echo.parameters.style, 1.0},
        {"echo.parameters.filter_input", b(p.echo.parameters.filter_input), 0},
        {"echo.parameters.tails_on", b(p.echo.parameters.tails_on), 1},
        {"reverb.enable", b(p.reverb.enable), 0},
        {"reverb.type", double(p.reverb.type), 2},
        {"reverb.level", p.reverb.level, 0},
        {"master_level", p.master_level, 0},
        {"upsampler_enabled", b(p.upsampler_enabled), 1},
    });

    const PreampParameters& a = p.preamp;
    EXPECT_STREQ(a.name, "Default");
    expectDefaults({
        {"preamp.enable", b(a.enable), 1},
        {"preamp.gainControl.type", double(a.gainControl.type), 1},
        {"preamp.gainControl.wiper", a.gainControl.wiper, 0.5},
        {"preamp.gainControlLocation", double(a.gainControlLocation), 1},
        {"preamp.toneControl.type", double(a.toneControl.type), 2},
        {"preamp.toneControl.bass", a.toneControl.bass, 0.5},
        {"preamp.toneControl.mids", a.toneControl.mids, 0.5},
        {"preamp.toneControl.treble", a.toneControl.treble, 0.5},
        {"preamp.toneControl.presence", a.toneControl.presence, 0.5},
        {"preamp.toneControlLocation", double(a.toneControlLocation), 2},
    });
    for (int s = 0; s < 4; ++s) {
        SCOPED_TRACE(testing::Message() << "preamp.stages[" << s << "]");
        const GainStageParameters& g = a.stages[s];
        const TubeParameters& t = g.tube;
        expectDefaults({
            {"enable", b(g.enable), s == 0 ? 1.0 : 0.0},
            {"tube.enable", b(t.enable), 1},
            {"tube.gain", t.gain, s == 0 ? 50.0 : 10.0},
            {"tube.invert", b(t.invert), 1},
            {"tube.clipping", t.clipping, 0.9},
            {"tube.symmetry", t.symmetry, 0},
            {"tube.offset", t.offset, 0},
            {"tube.dynamic", b(t.dynamic), 1},
            {"tube.shelf", t.shelf, -12},
            {"tube.frequency", t.frequency, 550},
        });
        for (const FilterParameters* f : {&g.preFilter, &g.postFilter}) {
            SCOPED_TRACE(f == &g.preFilter ? "preFilter" : "postFilter");
            expectDefaults({
                {"enable", b(f->enable), 0},
                {"type", double(f->type), 0},
                {"frequency", f->frequency, 1000},
                {"q", f->q, 1.0},
                {"level", f->level, 1.0},
            });
        }
    }

    const CabinetProcessorParameters& c = p.cabinet;
    expectDefaults({
        {"cabinet.enable", b(c.enable), 1},
        {"cabinet.windowsize", double(c.windowsize), 8192},
        {"cabinet.minphase", b(c.minphase), 0},
        {"cabinet.forcedmono", b(c.forcedmono), 0},
        {"cabinet.dibox.enable", b(c.dibox.enable), 1},
        {"cabinet.dibox.frequency", c.dibox.frequency, 4500},
        {"cabinet.dibox.q", c.dibox.q, 0.7071},
    });
    // Every new record holds the one shared 16-sample unit impulse.
    EXPECT_STREQ(c.GetName(), "None");
    EXPECT_EQ(c.Length(), 16);
    EXPECT_TRUE(c.Mono());
    EXPECT_EQ(c.SampleRate(), 44100.0);
    std::vector<double> unit(16, 0.0);
    unit[0] = 1.0;
    EXPECT_EQ(c.ImpulseLeft(), unit);
    EXPECT_EQ(c.ImpulseRight(), unit);
    EXPECT_EQ(TonewrightParameters().cabinet.Impulse(), c.Impulse());
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
