// Parameters and programs at the VST boundary: values, string entry, the
// engine they drive, program selection, naming and storing, and the range
// checks on every index a host passes.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "DspTestKit.h"
#include "PluginHarness.h"
#include "plugin/PresetXml.h"

using harness::Plugin;

namespace {

// The engine as the next block will see it; the plug-in's own account of
// the sound (what a chunk saves) agrees.
double engineValue(Plugin& p, int id)
{
    double value = 0.0;
    p.effect().inspectEngine([&](Tonewright& engine) { value = engine.GetParameter(id); });
    EXPECT_EQ(kParameterTable[size_t(id)].field.read(p.effect().currentSound()), value) << "id " << id;
    return value;
}

std::vector<float> toFloats(const std::vector<double>& v) { return std::vector<float>(v.begin(), v.end()); }

bool string2parameter(Plugin& p, int index, const char* text)
{
    return p.dispatch(effString2Parameter, index, 0, const_cast<char*>(text)) != 0;
}

}  // namespace

TEST(Parameters, ValuesReadBackAndDriveTheirEngineIds)
{
    Plugin p;
    p.set(30, 0.25f);  // MastVol: 0.25 is -12 dB
    p.set(5, 1.0f);    // PreGain: wiper at its top
    p.set(11, 0.0f);   // PwrType: power amp off
    p.set(2, 1.0f);    // LowCTyp: 400 Hz
    EXPECT_EQ(p.get(30), 0.25f);
    EXPECT_EQ(p.get(5), 1.0f);
    EXPECT_DOUBLE_EQ(engineValue(p, 94), -12.0);
    EXPECT_DOUBLE_EQ(engineValue(p, 15), 1.0);
    EXPECT_EQ(engineValue(p, 25), 0.0);
    EXPECT_EQ(engineValue(p, 90), 2.0);
    p.effect().inspectEngine([](Tonewright& engine) { EXPECT_DOUBLE_EQ(engine.lowcut.GetParameter(2), 400.0); });

    // Every index drives the engine id of its table entry.
    for (int i = 0; i < kNumParameters; ++i) {
        p.set(i, 1.0f);
        p.effect().inspectEngine([&](Tonewright& engine) {
            EXPECT_NEAR(engine.GetParameterNormalized(static_cast<int>(twr_params[i])), 1.0, 1e-9) << i;
        });
    }
}

TEST(Parameters, OutOfRangeIndicesChangeNothing)
{
    Plugin p;
    p.set(7, 0.75f);
    for (int i : {-1, 80, 100, -2147483647 - 1}) {
        p.set(i, 1.0f);
        EXPECT_EQ(p.get(i), 0.0f) << i;
    }
    EXPECT_EQ(p.get(7), 0.75f);
    EXPECT_DOUBLE_EQ(engineValue(p, 16), 0.75);
}

TEST(Parameters, ValuesAreStoredClampedToZeroToOneAndNonFiniteOnesRefused)
{
    constexpr float kRefused = -99.0f;  // the value before stays
    const struct {
        float given, stored;
    } rows[] = {
        {0.25f, 0.25f}, {1.7f, 1.0f},    {-3.0f, 0.0f},  {1.0f, 1.0f},    {1.0000001f, 1.0f},     {0.5f, 0.5f},
        {3.0e38f, 1.0f}, {-1e-30f, 0.0f}, {NAN, kRefused}, {INFINITY, kRefused}, {0.0f, 0.0f}, {1e-30f, 1e-30f},
        {-INFINITY, kRefused},
    };
    Plugin p;
    Effect& fx = p.effect();
    for (const int index : {7, 30, 79}) {
        float expected = p.get(index);
        for (const auto& row : rows) {
            SCOPED_TRACE(testing::Message() << "parameter " << index << " given " << row.given);
            if (row.stored != kRefused) expected = row.stored;
            // A value that clamps to the stored one is no change.
            fx.setProgramModified(false);
            const bool changes = expected != p.get(index);
            p.set(index, row.given);
            EXPECT_EQ(p.get(index), expected);
            EXPECT_EQ(fx.isProgramModified(), changes);
            fx.inspectEngine([&](Tonewright& engine) {
                EXPECT_NEAR(engine.GetParameterNormalized(static_cast<int>(twr_params[index])), expected, 1e-9);
            });
        }
    }
}

TEST(Parameters, ProgramModifiedFollowsRealChanges)
{
    Plugin p;
    Effect& fx = p.effect();
    EXPECT_FALSE(fx.isProgramModified());
    p.set(3, p.get(3));
    EXPECT_FALSE(fx.isProgramModified());
    p.set(3, p.get(3) > 0.5f ? 0.0f : 1.0f);
    EXPECT_TRUE(fx.isProgramModified());
}

TEST(Parameters, String2ParameterClampsAndReadsNumbersInAnyLocale)
{
    Plugin p;
    EXPECT_TRUE(string2parameter(p, 5, "1.7"));
    EXPECT_EQ(p.get(5), 1.0f);
    EXPECT_TRUE(string2parameter(p, 5, "-2"));
    EXPECT_EQ(p.get(5), 0.0f);
    EXPECT_TRUE(string2parameter(p, 5, " 0.25 dB"));
    EXPECT_EQ(p.get(5), 0.25f);
    EXPECT_TRUE(string2parameter(p, 5, "no number"));
    EXPECT_EQ(p.get(5), 0.0f);
    EXPECT_TRUE(string2parameter(p, 5, "+0.5"));
    EXPECT_EQ(p.get(5), 0.5f);
    EXPECT_TRUE(string2parameter(p, 5, "nan"));
    EXPECT_EQ(p.get(5), 0.0f);
    EXPECT_TRUE(string2parameter(p, 79, "inf"));
    EXPECT_EQ(p.get(79), 1.0f);
    EXPECT_FALSE(string2parameter(p, 80, "0.5"));
    EXPECT_FALSE(string2parameter(p, -1, "0.5"));
}

TEST(Programs, ConstructedBankAndNames)
{
    // Without a support folder: the factory bank the plug-in carries, bound
    // to no file.
    Plugin p;
    auto factory = std::make_unique<EffectProgram[]>(kBankSize);
    ASSERT_TRUE(LoadBankFromText(factory.get(), FactoryBankText()));
    EXPECT_EQ(p.dispatch(effGetProgram), 0);
    EXPECT_EQ(p.text(effGetProgramName), factory[0].name);
    for (int i : {0, 1, 64, 127}) {
        EXPECT_EQ(p.dispatch(effGetProgramNameIndexed, i, -1, nullptr), 0);
        char name[64] = {};
        EXPECT_EQ(p.dispatch(effGetProgramNameIndexed, i, -1, name), 1);
        EXPECT_STREQ(name, factory[i].name);
        EXPECT_STRNE(name, "Default Program");
    }
    const std::string untouched(255, 'x');
    for (int i : {128, -1, 100000}) {
        EXPECT_EQ(p.text(effGetProgramNameIndexed, i, -1), untouched) << i;
    }
    EXPECT_EQ(p.effect().getBankName(), "");
}

TEST(Programs, SelectingAProgramAppliesItsSoundAndReloadsTheParameters)
{
    Plugin p;
    Effect& fx = p.effect();
    StartFromDefaultSound(p);
    p.set(30, 0.25f);
    fx.saveCurrentToBank("Quiet", 5);
    EXPECT_EQ(p.dispatch(effGetProgram), 5);
    EXPECT_FALSE(fx.isProgramModified());

    p.set(30, 0.75f);
    EXPECT_TRUE(fx.isProgramModified());
    p.dispatch(effSetProgram, 0, 0);
    EXPECT_EQ(p.text(effGetProgramName), "Default Program");
    EXPECT_EQ(p.get(30), 0.5f);  // the default program's 0 dB

    p.dispatch(effSetProgram, 0, 5);
    EXPECT_EQ(p.dispatch(effGetProgram), 5);
    EXPECT_EQ(p.text(effGetProgramName), "Quiet");
    EXPECT_EQ(p.get(30), 0.25f);
    EXPECT_DOUBLE_EQ(engineValue(p, 94), -12.0);
    EXPECT_FALSE(fx.isProgramModified());

    // The current program again does nothing, not even a reload.
    p.set(30, 0.75f);
    p.dispatch(effSetProgram, 0, 5);
    EXPECT_EQ(p.get(30), 0.75f);
    EXPECT_TRUE(fx.isProgramModified());

    // Program numbers outside 0..127 are refused at both ends.
    for (VstIntPtr n : {VstIntPtr{-1}, VstIntPtr{128}, VstIntPtr{1} << 40}) {
        p.dispatch(effSetProgram, 0, n);
        EXPECT_EQ(p.dispatch(effGetProgram), 5);
    }
    fx.setProgram(-3);
    fx.setProgram(128);
    EXPECT_EQ(p.dispatch(effGetProgram), 5);
}

TEST(Programs, NamingAndStoringStayInsideTheBank)
{
    Plugin p;
    Effect& fx = p.effect();
    StartFromDefaultSound(p);
    p.dispatch(effSetProgram, 0, 3);
    char longName[] = "A name much longer than twenty-three characters";
    p.dispatch(effSetProgramName, 0, 0, longName);
    EXPECT_EQ(p.text(effGetProgramNameIndexed, 3, -1), "A name much longer than");
    EXPECT_EQ(p.text(effGetProgramName), "A name much longer than");  // the working name at once
    char shortName[] = "Edge";
    p.dispatch(effSetProgramName, 0, 0, shortName);
    EXPECT_EQ(p.text(effGetProgramName), "Edge");
    EXPECT_EQ(p.text(effGetProgramNameIndexed, 3, -1), "Edge");

    // A slot below 0 (the editor passes -1) means the current program.
    p.set(30, 0.25f);
    fx.saveCurrentToBank("Stored", -1);
    EXPECT_EQ(p.dispatch(effGetProgram), 3);
    EXPECT_EQ(p.text(effGetProgramNameIndexed, 3, -1), "Stored");
    fx.saveCurrentToBank("Also stored", 500);
    EXPECT_EQ(p.text(effGetProgramNameIndexed, 3, -1), "Also stored");
    p.dispatch(effSetProgram, 0, 4);
    p.dispatch(effSetProgram, 0, 3);
    EXPECT_DOUBLE_EQ(engineValue(p, 94), -12.0);
    for (int i : {0, 1, 2, 4, 127}) EXPECT_EQ(p.text(effGetProgramNameIndexed, i, -1), "Default Program") << i;
}

TEST(Programs, AMidiProgramChangeIsReportedAtOnceAndPlayedByTheBlockThatCarriesIt)
{
    Plugin p;
    Effect& fx = p.effect();
    p.set(30, 0.25f);
    fx.saveCurrentToBank("Quiet", 9);
    p.dispatch(effSetProgram, 0, 0);
    harness::send(p, {harness::midi(0xC3, 9, 0), harness::midi(0xC0, 200 & 127, 0)});
    // 200 is 72 in seven bits: the later change wins.
    EXPECT_EQ(p.dispatch(effGetProgram), 72);
    harness::send(p, {harness::midi(0xC5, 9, 0)});
    EXPECT_EQ(p.dispatch(effGetProgram), 9);
    EXPECT_EQ(p.get(30), 0.25f);
    EXPECT_EQ(p.text(effGetProgramName), "Quiet");
    EXPECT_DOUBLE_EQ(engineValue(p, 94), -12.0);
}

TEST(HostSetup, SampleRatesFrom8000To384000HzAreTakenAndOthersRefused)
{
    const struct {
        float rate;
        bool taken;
    } rows[] = {
        {8000.0f, true},  {384000.0f, true},  {22050.0f, true}, {7999.5f, false},       {384000.03f, false},
        {1.0f, false},    {0.5f, false},      {1e-45f, false},  {1000.0f, false},       {1e9f, false},
        {0.0f, false},    {-44100.0f, false}, {INFINITY, false}, {std::nanf(""), false}, {-INFINITY, false},
        {96000.0f, true}, {500.0f, false},
    };
    Plugin p(48000.0, 256), reference(48000.0, 256);
    Effect& fx = p.effect();
    double expected = 48000.0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.rate);
        p.dispatch(effSetSampleRate, 0, 0, nullptr, row.rate);
        if (row.taken) {
            expected = row.rate;
            reference.dispatch(effSetSampleRate, 0, 0, nullptr, row.rate);
        }
        fx.inspectEngine([&](Tonewright& engine) { EXPECT_EQ(engine.GetFs(), expected); });
        EXPECT_EQ(static_cast<double>(fx.getSampleRate()), expected);
    }
    // The refusals left the plug-in playing as one that never saw them.
    const int n = 4096;
    const auto in = toFloats(testkit::whiteNoise(n, 0.5, 7));
    std::vector<float> l(n), r(n), refL(n), refR(n);
    p.run(in.data(), nullptr, l.data(), r.data(), n);
    reference.run(in.data(), nullptr, refL.data(), refR.data(), n);
    EXPECT_EQ(l, refL);
    EXPECT_EQ(r, refR);
}

TEST(HostSetup, BlockSizesRefuseNonsense)
{
    Plugin p(48000.0, 256);
    Effect& fx = p.effect();
    p.dispatch(effSetBlockSize, 0, -5);
    p.dispatch(effSetBlockSize, 0, 0);
    EXPECT_EQ(fx.getBlockSize(), 256);
    EXPECT_EQ(fx.reservedBlock(), 1024);  // the constructed buffers stay
}
