// The engine: its state after construction, the chain's output, sample-rate
// rules, pair placement, allocation-free processing, and whole sounds
// prepared off the lock and committed under it.

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <thread>

#include "DspTestKit.h"
#include "dsp/AudioThread.h"
#include "engine/Tonewright.h"

using namespace tonewright;

using namespace testkit;

namespace {

MonoToStereoProcess processOf(Tonewright& e)
{
    return [&e](double* in, double* l, double* r, int n) { e.process(in, l, r, n); };
}

}  // namespace

TEST(Engine, ConstructedState)
{
    auto e = std::make_unique<Tonewright>();
    const TonewrightParameters& p = *e->GetParameters();
    EXPECT_EQ(e->GetFs(), 44100.0);
    EXPECT_TRUE(p.upsampler_enabled);
    EXPECT_EQ(p.lowcut_type, 0);
    EXPECT_FALSE(p.boost_enabled || p.deep_enabled || p.bright_enabled);
    for (auto placed : {std::pair(p.eq.post, p.eq.enable), std::pair(p.tremolo.post, p.tremolo.enable),
                        std::pair(p.chorus.post, p.chorus.enable), std::pair(p.flanger.post, p.flanger.enable),
                        std::pair(p.phaser.post, p.phaser.enable), std::pair(p.echo.post, p.echo.enable)}) {
        EXPECT_TRUE(placed.first);
        EXPECT_FALSE(placed.second);
    }
    EXPECT_FALSE(p.echo.parameters.enable);  // read back from the switched-off post echo
    EXPECT_FALSE(e->chorus_pre.GetParameters().enable);
    EXPECT_FALSE(e->chorus_post.GetParameters().enable);
    EXPECT_EQ(e->echo_pre.GetParameters().type, 0);
    EXPECT_EQ(e->echo_post.GetParameters().type, 1);
    EXPECT_DOUBLE_EQ(e->lowcut.GetParameter(2), 55.0);
    EXPECT_EQ(e->lowcut.GetParameter(1), 2.0);
    EXPECT_DOUBLE_EQ(e->boost.GetParameter(4), 12.0);
    EXPECT_DOUBLE_EQ(e->deep.GetParameter(2), 100.0);
    EXPECT_DOUBLE_EQ(e->bright.GetParameter(2), 4000.0);
    EXPECT_DOUBLE_EQ(e->master.GetParameter(4), 0.0);
    EXPECT_EQ(e->GetParameter(40), 8192.0);
}

TEST(Engine, SwitchesStartSettledWithoutFades)
{
    auto e = std::make_unique<Tonewright>();
    // Boost, deep and bright are off and already faded out; the filters
    // that stay on have no pending crossfade.
    EXPECT_EQ(e->boost.Bypass().running, 0);
    EXPECT_EQ(e->deep.Bypass().running, 0);
    EXPECT_EQ(e->bright.Bypass().running, 0);
    EXPECT_EQ(e->master.Bypass().fading, 0);
    EXPECT_EQ(e->lowcut.Bypass().fading, 0);

    // The first blocks already carry the 55 Hz low cut at full strength:
    // compare with a separately settled filter. The amplifier is switched off
    // and given 20.4 ms of silence to fade out (silence leaves the low cut at
    // rest, and is shorter than the 31 ms a pending low-cut fade would take).
    e->SetParameter(89, 0);
    e->SetParameter(14, 0);
    e->SetParameter(20, 0);
    Filter reference;
    reference.SetParameter(1, Filter::kHighPass1);
    reference.SetParameter(2, 55.0);
    reference.Settle();
    const size_t quiet = 900;
    DirectBox di;  // the cabinet's DI box; its unit impulse passes the rest
    di.SetParameters({true, 4500.0, 0.7071});
    di.Settle();
    auto in = sine(44100.0, 30.0, 0.05, 0.5);
    in.insert(in.begin(), quiet, 0.0);
    auto expected = in;
    reference.process(expected.data(), int(expected.size()));
    di.process(expected.data(), int(expected.size()));
    const Stereo out = runStereo(processOf(*e), in, BlockPlan::Fixed(300));
    EXPECT_EQ(e->preamp.Bypass().running, 0);
    EXPECT_EQ(e->poweramp.Bypass().running, 0);
    for (size_t i = 0; i < in.size(); ++i) ASSERT_NEAR(out.left[i], expected[i], 1e-12) << i;
}

TEST(Engine, SilenceInGivesSilenceOutAndASineGivesAFiniteStereoPair)
{
    auto e = std::make_unique<Tonewright>();
    const Stereo quiet = runStereo(processOf(*e), std::vector<double>(44100, 0.0), BlockPlan::Random(1024, 7));
    EXPECT_EQ(peak(quiet.left), 0.0);
    EXPECT_EQ(peak(quiet.right), 0.0);

    const Stereo out = runStereo(processOf(*e), sine(44100.0, 440.0, 1.0, 0.5), BlockPlan::Random(1024, 8));
    EXPECT_TRUE(allFinite(out.left) && allFinite(out.right));
    EXPECT_GT(rms(out.left, 22050), 0.05);
    EXPECT_GT(rms(out.right, 22050), 0.05);
}

TEST(Engine, ProcessWithNoSamplesReturnsAtOnce)
{
    auto e = std::make_unique<Tonewright>();
    double in = 0.5, l = 7.0, r = 7.0;
    e->process(&in, &l, &r, 0);
    e->process(&in, &l, &r, -4);
    EXPECT_EQ(l, 7.0);
    EXPECT_EQ(r, 7.0);
    EXPECT_EQ(in, 0.5);
}

TEST(Engine, SampleRateRules)
{
    auto e = std::make_unique<Tonewright>();
    e->SetFs(48000.0);
    EXPECT_EQ(e->GetFs(), 48000.0);
    EXPECT_EQ(e->oversampler.GetNFs(), 192000.0);
    EXPECT_EQ(e->oversampler.Factor(), 4);
    e->SetFs(0.0);
    e->SetFs(-44100.0);
    e->SetFs(NAN);
    e->SetFs(INFINITY);
    EXPECT_EQ(e->GetFs(), 48000.0);
    EXPECT_EQ(e->poweramp_os.GetFs(), 192000.0);
    EXPECT_EQ(e->preamp_os.GetFs(), 192000.0);
    e->SetFs(32000.0);
    EXPECT_EQ(e->oversampler.GetNFs(), 176400.0);
    // The oversampled amplifier is told the rate it runs at, not the label.
    EXPECT_EQ(e->poweramp_os.GetFs(), 128000.0);
    EXPECT_EQ(e->preamp_os.GetFs(), 128000.0);
    EXPECT_EQ(e->poweramp.GetFs(), 32000.0);
    EXPECT_EQ(e->preamp.GetFs(), 32000.0);
    e->SetFs(96000.0);
    EXPECT_EQ(e->oversampler.Factor(), 2);

    // The fixed filters keep their response relative to the new rate.
    e->SetParameterNormalized(93, 1.0);
    const Stereo out = runStereo(processOf(*e), sine(96000.0, 1000.0, 0.5, 0.1));
    EXPECT_TRUE(allFinite(out.left));
}

TEST(Engine, PairPlacementSwitchesExactlyOneInstance)
{
    auto e = std::make_unique<Tonewright>();
    e->SetParameter(53, 1);  // chorus on, placed post
    EXPECT_FALSE(e->chorus_pre.GetParameters().enable);
    EXPECT_TRUE(e->chorus_post.GetParameters().enable);
    e->SetParameter(52, 0);  // moves before the amplifier
    EXPECT_TRUE(e->chorus_pre.GetParameters().enable);
    EXPECT_FALSE(e->chorus_post.GetParameters().enable);
    e->SetParameter(53, 0);
    EXPECT_FALSE(e->chorus_pre.GetParameters().enable);
    EXPECT_FALSE(e->chorus_post.GetParameters().enable);

    // Whole records place every pair the same way.
    TonewrightParameters r;
    r.echo.post = true;
    r.echo.enable = true;
    r.phaser.post = false;
    r.phaser.enable = true;
    r.echo.parameters.type = 1;
    e->SetParameters(&r);
    EXPECT_TRUE(e->echo_post.GetParameters().enable);
    EXPECT_FALSE(e->echo_pre.GetParameters().enable);
    EXPECT_EQ(e->echo_pre.GetParameters().type, 0);
    EXPECT_EQ(e->echo_post.GetParameters().type, 1);
    EXPECT_TRUE(e->phaser_pre.GetParameters().enable);
    EXPECT_FALSE(e->phaser_post.GetParameters().enable);
}

TEST(Engine, AmplifierPathFollowsTheOversamplingFlag)
{
    auto e = std::make_unique<Tonewright>();
    e->SetParameter(89, 0);
    EXPECT_FALSE(e->GetParameters()->upsampler_enabled);
    // Silence through the base-rate path leaves the oversampler's buffer as
    // it was after construction.
    const int countBefore = e->oversampler.Count();
    runStereo(processOf(*e), sine(44100.0, 200.0, 0.1), BlockPlan::Fixed(300));
    EXPECT_EQ(e->oversampler.Count(), countBefore);
    e->SetParameter(89, 1);
    runStereo(processOf(*e), sine(44100.0, 200.0, 0.1), BlockPlan::Fixed(245));
    EXPECT_EQ(e->oversampler.Count(), 4 * 245);
}

TEST(Engine, NoAllocationInProcessOnceReserved)
{
    auto e = std::make_unique<Tonewright>();
    e->SetParameterNormalized(93, 1.0);
    e->SetParameterNormalized(91, 1.0);
    e->SetParameterNormalized(92, 1.0);
    e->Reserve(1024);
    const auto signal = whiteNoise(1024, 0.5, 11);
    std::vector<double> in(1024), l(1024), r(1024);
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> size(1, 1024);
    AllocationCounter allocations;
    for (int block = 0; block < 1000; ++block) {
        const int n = block == 0 ? 1024 : size(rng);
        std::copy_n(signal.begin(), n, in.begin());
        if (block % 100 == 50) e->SetParameter(89, block % 200 == 50 ? 0 : 1);
        e->process(in.data(), l.data(), r.data(), n);
    }
    EXPECT_EQ(allocations.count(), 0);
    EXPECT_EQ(allocations.freed(), 0);
}

TEST(Engine, RecordReadBackAndPreampModel)
{
    auto e = std::make_unique<Tonewright>();
    e->SetParameter(15, 0.8);
    PreampParameters model = e->GetParameters()->preamp;
    std::snprintf(model.name, sizeof model.name, "Crunch");
    model.gainControl.wiper = 0.1;
    model.toneControl.type = 4;
    e->SetPreamp(&model);
    const auto* p = e->GetParameters();
    EXPECT_STREQ(p->preamp.name, "Crunch");
    EXPECT_DOUBLE_EQ(p->preamp.gainControl.wiper, 0.8);  // knobs survive a model change
    EXPECT_EQ(p->preamp.toneControl.type, 4);

    std::snprintf(e->GetParameters()->preamp.name, 256, "Lead");
    e->ReloadPreamp();
    EXPECT_STREQ(e->GetParameters()->preamp.name, "Lead");
}

TEST(Engine, CabinetImpulseAndNames)
{
    auto e = std::make_unique<Tonewright>();
    std::vector<double> l(300, 0.0), r(300, 0.0);
    l[0] = 1.0;
    r[3] = 0.5;
    e->SetCabinetImpulse(l.data(), r.data(), 300, false, 48000.0, "Room.wav");
    const auto& c = e->GetParameters()->cabinet;
    EXPECT_EQ(c.Length(), 300);
    EXPECT_FALSE(c.Mono());
    EXPECT_EQ(c.SampleRate(), 48000.0);
    EXPECT_EQ(c.ImpulseRight()[3], 0.5);
    EXPECT_STREQ(c.GetName(), "Room.wav");

    EXPECT_FALSE(e->SetCabinetImpulse("/nonexistent/dir/none.wav"));
    EXPECT_STREQ(e->GetParameters()->cabinet.GetName(), "Room.wav");
    EXPECT_STREQ(fname("/a/b/Closed 4x12.wav"), "Closed 4x12.wav");
    EXPECT_STREQ(fname("plain.aif"), "plain.aif");
    EXPECT_STREQ(fname("dir/"), "");
}

TEST(Engine, ASoundPreparedElsewhereIsCommittedByCopiesAndSwapsOnly)
{
    auto direct = std::make_unique<Tonewright>(48000.0);
    auto committed = std::make_unique<Tonewright>(48000.0);
    TonewrightParameters sound = *direct->GetParameters();
    sound.reverb.enable = true;
    sound.master_level = -6.0;
    sound.chorus.enable = true;
    sound.cabinet.minphase = true;
    const std::vector<double> l = whiteNoise(20000, 0.3, 1), r = whiteNoise(20000, 0.3, 2);
    ASSERT_TRUE(sound.cabinet.SetImpulse(l.data(), r.data(), 20000, false, 44100.0, "Hall.wav"));
    direct->SetParameters(&sound);

    Tonewright::PreparedSound prepared;
    std::thread([&] { prepared = committed->PrepareSound(sound); }).join();
    const long made = CabinetImpulse::DerivedVersionsMade();
    ResetAudioThreadViolations();
    Tonewright::Replaced replaced;
    {
        const AudioThreadScope audio;
        AllocationCounter counter;
        replaced = committed->CommitSound(prepared);
        EXPECT_EQ(counter.count(), 0);
        EXPECT_EQ(counter.freed(), 0);
    }
    EXPECT_EQ(AudioThreadViolations(), 0) << FirstAudioThreadViolation();
    EXPECT_EQ(replaced.impulses[0], CabinetImpulse::Unit());  // what the constructor's sound held
    EXPECT_EQ(replaced.impulses[1], CabinetImpulse::Unit());
    EXPECT_EQ(committed->GetParameters()->cabinet.Impulse(), sound.cabinet.Impulse());

    // The cabinet's build finds the impulse prepared, and both engines play
    // the same.
    direct->Settle();
    committed->Settle();
    EXPECT_EQ(CabinetImpulse::DerivedVersionsMade(), made);
    const std::vector<double> x = whiteNoise(6000, 0.3, 3);
    const Stereo a = runStereo(processOf(*direct), x, BlockPlan::Fixed(256));
    const Stereo b = runStereo(processOf(*committed), x, BlockPlan::Fixed(256));
    EXPECT_EQ(a.left, b.left);
    EXPECT_EQ(a.right, b.right);
    EXPECT_GT(rms(a.right), 1e-3);

    // Slow work inside an audio callback is counted, under its own name.
    {
        const AudioThreadScope audio;
        EXPECT_TRUE(committed->SetCabinetImpulse(r.data(), l.data(), 20000, false, 44100.0, "Swapped.wav"));
    }
    EXPECT_GE(AudioThreadViolations(), 1);
    EXPECT_STREQ(FirstAudioThreadViolation(), "making a cabinet impulse");
    ResetAudioThreadViolations();
}

namespace {

// The stereo output of an engine with every stage on (gate, wah, sustainer,
// equaliser after the amplifier, the five modulation effects after the
// cabinet, hall reverb, boost, deep and bright), the master level `level` dB
// and `later` dB from sample `at` on, in blocks of the plan.
Stereo everyStage(double level, double later, int at, const BlockPlan& plan)
{
    auto e = std::make_unique<Tonewright>();
    for (const auto& [id, v] : {std::pair(1, 1.0), {6, 1}, {7, 1}, {9, 1}, {27, 1}, {47, 1}, {53, 1}, {60, 1}, {69, 1},
                                {77, 1}, {86, 1}, {87, 2}, {93, 1}, {91, 1}, {92, 1}, {94, level}})
        e->SetParameter(id, v);
    e->Settle();
    std::vector<double> in = whiteNoise(30000, 0.3, 5);
    Stereo out{std::vector<double>(in.size()), std::vector<double>(in.size()), {}};
    for (const auto& span : {std::pair{0, at}, std::pair{at, int(in.size())}}) {
        const int from = span.first;
        if (from == at) e->SetParameter(94, later);
        forEachBlock(span.second - from, plan, [&](int offset, int n) {
            const size_t k = size_t(from + offset);
            e->process(in.data() + k, out.left.data() + k, out.right.data() + k, n);
        });
    }
    return out;
}

// The largest difference between a and g times b on either side.
double largestDifference(const Stereo& a, const Stereo& b, double g = 1.0)
{
    double d = 0.0;
    for (size_t i = 0; i < a.left.size(); ++i)
        d = std::max({d, std::fabs(a.left[i] - g * b.left[i]), std::fabs(a.right[i] - g * b.right[i])});
    return d;
}

}  // namespace

TEST(Engine, EveryStageOnGivesTheSameSamplesWhateverTheBlocks)
{
    const Stereo reference = everyStage(0.0, -9.0, 17000, BlockPlan::Fixed(1024));
    const double tolerance = 1e-9 * std::max(peak(reference.left), peak(reference.right));
    ASSERT_GT(rms(reference.left, 20000), 0.01);
    for (const BlockPlan& plan : {BlockPlan::Fixed(1), BlockPlan::Fixed(64), BlockPlan::Random(300, 4)})
        EXPECT_LE(largestDifference(everyStage(0.0, -9.0, 17000, plan), reference), tolerance) << plan.size;
}

TEST(Engine, MasterLevelScalesTheWholeOutput)
{
    const Stereo unity = everyStage(0.0, 0.0, 0, BlockPlan::Random(700, 2));
    for (const double db : {-24.0, -6.0, 7.5, 18.0}) {
        const double g = std::pow(10.0, db / 20.0);
        EXPECT_LE(largestDifference(everyStage(db, db, 0, BlockPlan::Random(700, 2)), unity, g), 1e-12 * g) << db;
    }
}
