// The offline host's resampler: the level of tones through the passband, no
// delay, nothing else in the output (no images, no aliases), and what lies
// above the output's Nyquist frequency kept out of it.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "DspTestKit.h"
#include "common/Resample.h"

using namespace tonewright;
using namespace testkit;

namespace {


std::vector<double> tone(double fs, double f, double seconds)
{
    std::vector<double> x(static_cast<size_t>(fs * seconds));
    for (size_t i = 0; i < x.size(); ++i) x[i] = 0.5 * std::sin(2.0 * kPi * f * double(i) / fs + 0.3);
    return x;
}

struct Conversion {
    double from, to;
};
const Conversion kConversions[] = {{44100, 48000}, {48000, 44100}, {96000, 44100}, {44100, 96000}, {44100, 22050},
                                   {8000, 44100}};

}  // namespace

TEST(Resample, PassbandIsFlatWithoutDelayAndNothingElseReachesTheOutput)
{
    double worstGain = 0.0, worstResidual = -1000.0;
    for (const auto& [from, to] : kConversions) {
        const double lowerNyquist = 0.5 * std::min(from, to);
        for (double rel : {0.01, 0.3, 0.6, 0.9}) {
            const double f = rel * lowerNyquist;
            SCOPED_TRACE(testing::Message() << from << " -> " << to << " Hz, " << f << " Hz");
            const std::vector<double> x = tone(from, f, 0.25);
            const std::vector<double> y = resample(x, from, to);
            EXPECT_EQ(y.size(), size_t(std::llround(double(x.size()) * to / from)));
            const SineFit fit = fitSine(y, y.size() / 4, 3 * y.size() / 4, to, f);
            const double gainDb = dB(fit.amplitude / 0.5);
            // Output sample m is the input at time m * from / to.
            const double delay = -std::remainder(fit.phase - 0.3, 2.0 * kPi) / (2.0 * kPi * f) * to;
            const double residualDb = dB(fit.residualRms / (0.5 / std::sqrt(2.0)));
            EXPECT_NEAR(gainDb, 0.0, 0.001);
            EXPECT_NEAR(delay, 0.0, 1e-4);
            EXPECT_LT(residualDb, -100.0);
            worstGain = std::max(worstGain, std::fabs(gainDb));
            worstResidual = std::max(worstResidual, residualDb);
        }
    }
    RecordProperty("worst passband gain (dB)", std::to_string(worstGain));
    RecordProperty("worst residual (dB)", std::to_string(worstResidual));
}

TEST(Resample, WhatTheOutputRateCannotCarryIsRemovedNotFolded)
{
    double worst = -1000.0;
    for (const auto& [from, to] : kConversions) {
        if (to >= from) continue;
        for (double rel : {1.02, 1.2, 1.8}) {
            const double f = rel * 0.5 * to;
            if (f > 0.98 * 0.5 * from) continue;
            SCOPED_TRACE(testing::Message() << from << " -> " << to << " Hz, tone at " << f << " Hz");
            const std::vector<double> y = resample(tone(from, f, 0.25), from, to);
            const double levelDb = dB(rms(y, y.size() / 4, 3 * y.size() / 4) / (0.5 / std::sqrt(2.0)));
            EXPECT_LT(levelDb, -100.0);
            worst = std::max(worst, levelDb);
        }
    }
    RecordProperty("worst alias (dB)", std::to_string(worst));
}

TEST(Resample, ClipsKeepTheirChannelsAndTakeTheNewRate)
{
    AudioClip clip;
    clip.sampleRate = 48000.0;
    clip.channels = 2;
    clip.samples = {tone(48000.0, 1000.0, 0.1), std::vector<double>(4800, 0.0)};
    const AudioClip out = resample(clip, 44100.0);
    EXPECT_EQ(out.sampleRate, 44100.0);
    ASSERT_EQ(out.channels, 2);
    ASSERT_EQ(out.frames(), 4410);
    EXPECT_EQ(peak(out.samples[1]), 0.0);
    EXPECT_NEAR(peak(out.samples[0], 1000, 3000), 0.5, 1e-3);
    // The same rate is the same clip.
    EXPECT_EQ(resample(clip, 48000.0).samples, clip.samples);
}
