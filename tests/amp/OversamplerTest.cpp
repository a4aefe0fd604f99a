// The oversampler: its filter table, the factor and rate for each band,
// unit DC gain, the impulse through both directions, the rejection of images
// and of what would fold back, and allocation-free blocks.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>

#include "DspTestKit.h"
#include "amp/Oversampler.h"

using namespace tonewright;

using namespace testkit;

namespace {

// Up and straight back down, as the engine does with the amplifier idle.
std::vector<double> roundTrip(Oversampler& os, std::vector<double> x, int block)
{
    for (size_t pos = 0; pos < x.size(); pos += size_t(block)) {
        const int n = int(std::min(size_t(block), x.size() - pos));
        os.UpsampleInput(x.data() + pos, n);
        os.DownsampleOutput(x.data() + pos, n);
    }
    return x;
}

// The raised signal of a whole base-rate signal, block by block.
std::vector<double> upsampled(Oversampler& os, const std::vector<double>& x, int block)
{
    std::vector<double> out;
    for (size_t pos = 0; pos < x.size(); pos += size_t(block)) {
        const int n = int(std::min(size_t(block), x.size() - pos));
        os.UpsampleInput(x.data() + pos, n);
        out.insert(out.end(), os.Buffer(), os.Buffer() + os.Count());
    }
    return out;
}

}  // namespace

TEST(Oversampler, FilterTableIsTheWindowedSinc)
{
    const double* h = Oversampler::FilterTable();
    double sum = 0;
    for (int k = 0; k < 64; ++k) {
        sum += h[k];
        EXPECT_EQ(h[k], h[63 - k]) << k;
    }
    EXPECT_NEAR(sum, 1.0, 1e-15);
    EXPECT_NEAR(h[0], -7.152272101153e-07, 1e-18);
    EXPECT_NEAR(h[16], -0.0009557397016156, 1e-16);
    EXPECT_NEAR(h[24], 0.006009132818093, 1e-15);
    EXPECT_NEAR(h[31], 0.1240241811311, 1e-13);

    // Half amplitude at 1/16 of the running rate, at least 89 dB down from
    // 0.12 of it on.
    const auto gainAt = [h](double f) {
        std::complex<double> H = 0;
        for (int k = 0; k < 64; ++k) H += h[k] * std::polar(1.0, -2 * kPi * f * k);
        return std::abs(H);
    };
    EXPECT_NEAR(gainAt(1.0 / 16), 0.5, 0.01);
    EXPECT_NEAR(dB(gainAt(0.053)), -3.0, 0.3);
    for (double f = 0.12; f <= 0.5; f += 0.0005) ASSERT_LT(dB(gainAt(f)), -89.0) << f;
}

TEST(Oversampler, FactorAndRateFollowTheBaseRate)
{
    const struct {
        double fs;
        int factor;
        double nominal;
    } table[] = {
        {8000, 4, 176400},      {32000, 4, 176400},     {44100, 4, 176400},  {46049.99, 4, 176400},
        {46050, 4, 192000},     {48000, 4, 192000},     {68099.9, 4, 192000}, {68100, 2, 176400},
        {88200, 2, 176400},     {92099, 2, 176400},     {92100, 2, 192000},  {96000, 2, 192000},
        {136199, 2, 192000},    {136200, 1, 176400},    {176400, 1, 176400}, {184199, 1, 176400},
        {184200, 1, 192000},    {192000, 1, 192000},    {384000, 1, 192000},
    };
    Oversampler os;
    EXPECT_EQ(os.Factor(), 4);
    EXPECT_EQ(os.GetNFs(), 176400.0);
    for (const auto& row : table) {
        os.SetFs(row.fs);
        EXPECT_EQ(os.Factor(), row.factor) << row.fs;
        EXPECT_EQ(os.GetNFs(), row.nominal) << row.fs;
    }
    for (double bad : {0.0, -48000.0, double(NAN), double(INFINITY)}) {
        os.SetFs(bad);
        EXPECT_EQ(os.Factor(), 1);
        EXPECT_EQ(os.GetNFs(), 192000.0);
    }
}

TEST(Oversampler, ConstantInputKeepsUnitGainAtEveryPhase)
{
    for (double fs : {44100.0, 96000.0, 192000.0}) {
        Oversampler os;
        os.SetFs(fs);
        const int factor = os.Factor();
        std::vector<double> ones(64, 1.0);
        os.UpsampleInput(ones.data(), 64);
        os.UpsampleInput(ones.data(), 64);
        for (int i = 0; i < os.Count(); ++i) ASSERT_NEAR(os.Buffer()[i], 1.0, 1e-6) << fs << " " << i;
        for (int i = 0; i + factor <= os.Count(); i += factor) {
            double group = 0;
            for (int p = 0; p < factor; ++p) group += os.Buffer()[i + p];
            ASSERT_NEAR(group / factor, 1.0, 1e-9);
        }
        const auto out = roundTrip(os, std::vector<double>(256, 1.0), 64);
        for (size_t i = 128; i < out.size(); ++i) ASSERT_NEAR(out[i], 1.0, 1e-6);
    }
}

TEST(Oversampler, ImpulseComesOutAsAPureLinearPhaseDelayWithUnitSum)
{
    const struct {
        double fs;
        int delay;
    } cases[] = {{44100, 15}, {48000, 15}, {88200, 31}, {96000, 31}, {176400, 63}, {192000, 63}};
    for (const auto& c : cases) {
        for (int block : {1, 7, 64}) {
            Oversampler os;
            os.SetFs(c.fs);
            const auto out = roundTrip(os, impulse(256), block);
            EXPECT_EQ(int(peakIndex(out)), c.delay) << c.fs;
            double sum = 0;
            for (double v : out) sum += v;
            EXPECT_NEAR(sum, 1.0, 1e-6) << c.fs;
            // Symmetric about the delay: linear phase.
            for (int k = 1; k <= c.delay; ++k) ASSERT_NEAR(out[c.delay - k], out[c.delay + k], 1e-15) << c.fs << " " << k;
            for (size_t i = 2 * c.delay + 1; i < out.size(); ++i) ASSERT_EQ(out[i], 0.0);
            EXPECT_EQ(measureDelay(impulse(256), out, 100), c.delay);
        }
    }
}

TEST(Oversampler, ImagesAndFoldBackAreAtLeast89DbDown)
{
    for (double fs : {44100.0, 48000.0, 96000.0}) {
        Oversampler os;
        os.SetFs(fs);
        const int factor = os.Factor();
        const double high = fs * factor;
        const auto up = upsampled(os, sine(fs, 1000.0, 0.3, 0.5), 100);
        const size_t begin = size_t(0.1 * high);
        const double tone = fitSine(up, begin, up.size(), high, 1000.0).amplitude;
        EXPECT_NEAR(tone, 0.5, 1e-4) << fs;  // the low-pass droops by 0.0004 dB at 1 kHz
        for (int m = 1; m < factor; ++m) {
            for (double image : {m * fs - 1000.0, m * fs + 1000.0}) {
                const double a = fitSine(up, begin, up.size(), high, image).amplitude;
                EXPECT_LT(dB(a / tone), -89.0) << fs << " " << image;
            }
        }
    }

    // A tone above the base band in the raised signal does not fold back.
    Oversampler os;
    const double high = 176400.0;
    std::vector<double> y(44100 / 4);
    const auto tone = sine(high, 30000.0, double(y.size() * 4 + 8) / high, 0.5);
    for (size_t pos = 0; pos < y.size(); pos += 100) {
        const int n = int(std::min<size_t>(100, y.size() - pos));
        os.UpsampleInput(y.data() + pos, n);  // only to size the buffer
        std::copy_n(tone.begin() + long(4 * pos), 4 * n, os.Buffer());
        os.DownsampleOutput(y.data() + pos, n);
    }
    const double folded = fitSine(y, 2000, y.size(), 44100.0, 44100.0 - 30000.0).amplitude;
    EXPECT_LT(dB(folded / 0.5), -89.0);
}

TEST(Oversampler, NewBlockLengthsResizeAndRepeatedOnesAllocateNothing)
{
    Oversampler os;
    std::vector<double> x(512, 0.25);
    os.UpsampleInput(x.data(), 256);
    EXPECT_EQ(os.Count(), 1024);
    os.UpsampleInput(x.data(), 512);
    EXPECT_EQ(os.Count(), 2048);
    {
        AllocationCounter counter;
        for (int i = 0; i < 4; ++i) {
            os.UpsampleInput(x.data(), 512);
            os.DownsampleOutput(x.data(), 512);
        }
        EXPECT_EQ(counter.count(), 0);
        EXPECT_EQ(counter.freed(), 0);
    }

    // Reserved once, any block up to that size and any factor is free.
    Oversampler reserved;
    reserved.Reserve(512);
    AllocationCounter counter;
    for (double fs : {44100.0, 96000.0, 192000.0}) {
        reserved.SetFs(fs);
        for (int n : {1, 512, 37, 300}) {
            reserved.UpsampleInput(x.data(), n);
            reserved.DownsampleOutput(x.data(), n);
            ASSERT_EQ(reserved.Count(), n * reserved.Factor());
        }
    }
    EXPECT_EQ(counter.count(), 0);
    EXPECT_EQ(counter.freed(), 0);
}

TEST(Oversampler, WideVectorsGiveTheSameSamples)
{
    // Where the processor has no wider vectors both runs take the same loops.
    const auto in = whiteNoise(3000, 0.5, 7);
    for (double fs : {44100.0, 96000.0, 192000.0}) {
        std::vector<double> raised[2], out[2];
        for (int wide = 0; wide < 2; ++wide) {
            Oversampler::AllowWideVectors(wide == 1);
            Oversampler os;
            os.SetFs(fs);
            out[wide] = in;
            std::mt19937 rng(3);
            for (size_t pos = 0; pos < in.size();) {
                const int n = int(std::min<size_t>(std::uniform_int_distribution<int>(1, 300)(rng), in.size() - pos));
                os.UpsampleInput(out[wide].data() + pos, n);
                // Something the down filter has to take apart, as the amplifier gives it.
                for (int i = 0; i < os.Count(); ++i) os.Buffer()[i] = std::tanh(3.0 * os.Buffer()[i]);
                raised[wide].insert(raised[wide].end(), os.Buffer(), os.Buffer() + os.Count());
                os.DownsampleOutput(out[wide].data() + pos, n);
                pos += size_t(n);
            }
        }
        Oversampler::AllowWideVectors(true);
        EXPECT_EQ(raised[0], raised[1]) << fs;
        EXPECT_EQ(out[0], out[1]) << fs;
    }
}
