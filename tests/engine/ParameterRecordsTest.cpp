// The sound record: its defaults and the cabinet record's deep copies.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

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

    EXPECT_STREQ(p.cabinet.GetName(), "None");
    EXPECT_EQ(p.cabinet.length, 16);
    for (const auto* a : {&p.cabinet.impulse_left, &p.cabinet.impulse_right, &p.cabinet.minphase_left,
                          &p.cabinet.minphase_right}) {
        ASSERT_GE(a->size(), 16u);
        EXPECT_EQ((*a)[0], 1.0);
        for (int i = 1; i < 16; ++i) EXPECT_EQ((*a)[size_t(i)], 0.0);
    }
    EXPECT_EQ(p.cabinet.windowsize, 8192);
    EXPECT_DOUBLE_EQ(p.cabinet.dibox.frequency, 4500.0);
}

TEST(CabinetProcessorParameters, SixteenSampleArraysStayForShortImpulses)
{
    CabinetProcessorParameters c;
    for (int i = 0; i < 16; ++i) c.impulse_left[size_t(i)] = i + 1;
    const double* arrays = c.impulse_left.data();
    EXPECT_TRUE(c.SetImpulseLength(8));
    EXPECT_EQ(c.length, 8);
    EXPECT_EQ(c.impulse_left.data(), arrays);
    EXPECT_EQ(c.impulse_left[7], 8.0);
    EXPECT_TRUE(c.SetImpulseLength(8));  // the same length changes nothing
    EXPECT_EQ(c.impulse_left[7], 8.0);
    EXPECT_TRUE(c.SetImpulseLength(16));  // from 8, new arrays
    EXPECT_EQ(c.length, 16);
    EXPECT_GE(c.impulse_left.size(), 16u);

    EXPECT_FALSE(c.SetImpulseLength(0));
    EXPECT_FALSE(c.SetImpulseLength(-5));
    EXPECT_EQ(c.length, 16);
}

TEST(CabinetProcessorParameters, AssignmentCopiesDeeply)
{
    auto source = std::make_unique<TonewrightParameters>();
    source->cabinet.SetImpulseLength(1000);
    for (int i = 0; i < 1000; ++i) {
        source->cabinet.impulse_left[size_t(i)] = i;
        source->cabinet.impulse_right[size_t(i)] = -i;
        source->cabinet.minphase_left[size_t(i)] = 2 * i;
        source->cabinet.minphase_right[size_t(i)] = -2 * i;
    }
    source->cabinet.SetName("Closed 4x12.wav");
    source->master_level = -3.5;
    source->upsampler_enabled = false;
    source->enable = false;
    source->chorus.post = true;

    TonewrightParameters target;
    target = *source;
    source.reset();  // the target owns its own copies
    EXPECT_EQ(target.cabinet.length, 1000);
    EXPECT_EQ(target.cabinet.impulse_left[999], 999.0);
    EXPECT_EQ(target.cabinet.impulse_right[999], -999.0);
    EXPECT_EQ(target.cabinet.minphase_left[999], 1998.0);
    EXPECT_EQ(target.cabinet.minphase_right[999], -1998.0);
    EXPECT_STREQ(target.cabinet.GetName(), "Closed 4x12.wav");
    EXPECT_DOUBLE_EQ(target.master_level, -3.5);
    EXPECT_FALSE(target.upsampler_enabled);
    EXPECT_FALSE(target.enable);
    EXPECT_TRUE(target.chorus.post);

    TonewrightParameters& self = target;
    target = self;
    EXPECT_EQ(target.cabinet.impulse_left[500], 500.0);
    EXPECT_STREQ(target.cabinet.GetName(), "Closed 4x12.wav");

    const CabinetProcessorParameters copy(target.cabinet);
    EXPECT_NE(copy.impulse_left.data(), target.cabinet.impulse_left.data());
    EXPECT_EQ(copy.impulse_left[999], 999.0);
}
