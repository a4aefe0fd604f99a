// What the factory bank generator measures must mean what its rules read
// into it: a linear chain compresses by nothing and distorts by nothing
// whatever its tone, a high-gain amplifier and a sustainer compress, band
// shares and correlations come out where signals of known shape put them.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "DspTestKit.h"
#include "engine/Tonewright.h"
#include "factory_bank/Design.h"
#include "factory_bank/Measure.h"

namespace {

using namespace tonewright;
using namespace tonewright::factory;

// A record from a fresh engine with one of the bank's voicings (or its
// own), the cabinet off and the given settings.
TonewrightParameters record(const char* voicing, const Settings& settings)
{
    auto engine = std::make_unique<Tonewright>();
    for (const Voicing& v : voicings())
        if (voicing && std::string(v.name) == voicing) engine->SetPreamp(&v.preamp);
    for (const Setting& s : settings + Settings{{kCabinetOn, 0}}) engine->SetParameter(s.id, s.value);
    return *engine->GetParameters();
}

// Plucked 110 Hz notes at 0, -8, -16 and -24 dB of -12 dBFS, each decaying
// over 0.75 s, then silence.
std::vector<double> notes()
{
    std::vector<double> x;
    for (double levelDb : {0.0, -8.0, -16.0, -24.0}) {
        const std::vector<double> note = testkit::sine(kRate, 110.0, 0.75, fromDb(-12.0 + levelDb));
        for (size_t i = 0; i < note.size(); ++i) x.push_back(note[i] * std::exp(-3.0 * double(i) / kRate));
    }
    x.resize(x.size() + size_t(kRate / 2), 0.0);
    return x;
}

}  // namespace

TEST(FactoryBankMeasure, CompressionAndDistortionTellTheGainCharacterApart)
{
    const Settings linear = {{kPreampOn, 0}, {kPowerOn, 0}, {kGateOn, 0}, {kSustainerOn, 0}, {kWahOn, 0}};
    const struct {
        const char* what;
        TonewrightParameters program;
        double compressionLo, compressionHi, thdLo, thdHi;
    } cases[] = {
        {"no amplifier, flat", record(nullptr, linear), 0.99, 1.01, -300.0, -90.0},
        {"no amplifier, deep and bright", record(nullptr, linear + deep() + bright()), 0.99, 1.01, -300.0,
         -90.0},
        {"a sustainer alone", record(nullptr, linear + sustainer(1, 0.9)), 0.3, 0.9, -300.0, -50.0},
        {"high gain", record("Modern High Gain", amp(0.8, 0.6, 0.45, 0.6, 0.55) + power(1, 4.0, 0.75, 1.0)), 0.0,
         0.5, -30.0, 0.0},
    };
    const std::vector<double> input = notes();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Measurement m = measure(c.program, input, input.size() - size_t(kRate / 2));
        EXPECT_GE(m.compression, c.compressionLo);
        EXPECT_LE(m.compression, c.compressionHi);
        EXPECT_GE(m.thdDb, c.thdLo);
        EXPECT_LE(m.thdDb, c.thdHi);
        EXPECT_NEAR(m.leftRight, 1.0, 1e-9);  // no stereo stage
    }
}

TEST(FactoryBankMeasure, BandSharesAndLikenessOfSignalsOfKnownShape)
{
    // A sine's energy lies in its band.
    for (const auto& [frequency, band] : {std::pair{120.0, 0}, {500.0, 1}, {2000.0, 2}, {6000.0, 3}}) {
        const std::vector<double> x = testkit::sine(kRate, frequency, 1.0);
        const Bands b = bandBalance(x, x.size(), kRate);
        for (int k = 0; k < 4; ++k)
            if (k == band) EXPECT_GT(b.share[k], -0.1) << frequency;
            else EXPECT_LT(b.share[k], -30.0) << frequency << " Hz in band " << k;
    }
    EXPECT_DOUBLE_EQ(bandDistance({{-1.0, -10.0, -12.0, -20.0}}, {{-1.0, -10.5, -12.0, -22.0}}), 2.0);

    const std::vector<double> noise = testkit::whiteNoise(44100, 0.3, 7), other = testkit::whiteNoise(44100, 0.3, 8);
    const auto floats = [](const std::vector<double>& x, double gain) {
        std::vector<float> f;
        for (double v : x) f.push_back(float(gain * v));
        return f;
    };
    EXPECT_NEAR(correlation(floats(noise, 1.0), floats(noise, 0.25)), 1.0, 1e-9);
    EXPECT_NEAR(correlation(floats(noise, 1.0), floats(noise, -1.0)), -1.0, 1e-9);
    EXPECT_LT(std::fabs(correlation(floats(noise, 1.0), floats(other, 1.0))), 0.02);
}
