// Records from outside (presets, chunks) with extreme finite values in every
// field, applied to the whole engine at several rates: the output stays
// finite and free of subnormals. Flush-to-zero is off here, as it is for any
// caller that does not set it.

#include <gtest/gtest.h>

#include <cfloat>
#include <memory>
#include <random>

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

#include "DspTestKit.h"
#include "engine/Tonewright.h"

using namespace tonewright;
using namespace testkit;

namespace {

// Turns flush-to-zero and denormals-are-zero off for the test's lifetime.
class SubnormalsOn {
public:
#if defined(__SSE__) || defined(__x86_64__)
    SubnormalsOn() : saved(_mm_getcsr()) { _mm_setcsr(saved & ~0x8040u); }
    ~SubnormalsOn() { _mm_setcsr(saved); }

private:
    unsigned saved;
#else
    SubnormalsOn() {}  // elsewhere they are on unless a caller turns them off
#endif
};

// Values no knob produces (huge, tiny, subnormal, zero, of either sign) and
// the edges of the usual ranges.
constexpr double kExtremes[] = {DBL_MAX, -DBL_MAX, 1e308, -1e308, 1e300, -1e300, 1e30, -1e30, 7000.0, -7000.0,
                                1e-300, -1e-300, 1e-310, -1e-310, DBL_TRUE_MIN, -DBL_TRUE_MIN, DBL_MIN,
                                0.0, -0.0, 1.0, -1.0, 0.9999999999999999, -0.9999999999999999, 1e-12, -1e-12};

class RecordFuzzer {
public:
    explicit RecordFuzzer(unsigned seed) : rng(seed) {}

    // A double: an extreme value half of the time, else a plausible one.
    void Double(double& v, double lo, double hi)
    {
        if (Chance(0.5)) v = kExtremes[Pick(std::size(kExtremes))];
        else v = lo + (hi - lo) * unit(rng);
    }
    void Int(int& v, int lo, int hi)
    {
        if (Chance(0.1)) v = Chance(0.5) ? INT_MAX : INT_MIN;
        else v = lo + int(Pick(size_t(hi - lo + 1)));
    }
    void Flag(bool& b, double onChance = 0.5) { b = Chance(onChance); }

    void Filter(FilterParameters& f)
    {
        Flag(f.enable);
        Int(f.type, 0, 13);
        Double(f.frequency, 20.0, 20000.0);
        Double(f.q, 0.1, 10.0);
        Double(f.level, -24.0, 24.0);
    }
    void Tube(TubeParameters& t)
    {
        Flag(t.enable, 0.8);
        Double(t.gain, -100.0, 100.0);
        Flag(t.invert);
        Double(t.clipping, 0.0, 1.0);
        Double(t.symmetry, -1.0, 1.0);
        Double(t.offset, -0.99, 0.99);
        Flag(t.dynamic);
        Double(t.shelf, -30.0, -0.1);
        Double(t.frequency, 20.0, 20000.0);
    }

    void Record(TonewrightParameters& r)
    {
        Flag(r.gate.enable);
        Double(r.gate.threshold, -80.0, -10.0);
        Double(r.gate.gating, 0.0, 0.95);
        Double(r.gate.attack, 0.001, 0.05);
        Double(r.gate.release, 0.05, 0.25);
        Int(r.lowcut_type, 0, 2);
        Flag(r.wah.enable);
        Int(r.wah.type, 0, 2);
        Double(r.wah.pedal, 0.0, 1.0);
        Flag(r.sustainer.enable);
        Int(r.sustainer.type, 0, 1);
        Double(r.sustainer.amount, 0.0, 1.0);
        Double(r.sustainer.attack, 0.001, 0.05);
        Double(r.sustainer.release, 0.05, 0.25);
        Flag(r.boost_enabled);
        Flag(r.deep_enabled);
        Flag(r.bright_enabled);

        PreampParameters& p = r.preamp;
        Flag(p.enable, 0.8);
        for (GainStageParameters& s : p.stages) {
            Flag(s.enable, 0.7);
            Filter(s.preFilter);
            Tube(s.tube);
            Filter(s.postFilter);
        }
        Int(p.gainControl.type, 0, 5);
        Double(p.gainControl.wiper, 0.0, 1.0);
        Int(p.gainControlLocation, 0, 5);
        Int(p.toneControl.type, 0, 7);
        Double(p.toneControl.bass, 0.0, 1.0);
        Double(p.toneControl.mids, 0.0, 1.0);
        Double(p.toneControl.treble, 0.0, 1.0);
        Double(p.toneControl.presence, 0.0, 1.0);
        Int(p.toneControlLocation, 0, 5);

        Flag(r.poweramp.enable, 0.8);
        Int(r.poweramp.type, 0, 2);
        Double(r.poweramp.drive, 0.5, 16.0);
        Double(r.poweramp.bias, 0.0, 1.0);
        Double(r.poweramp.dynamics, 0.0, 1.0);

        Flag(r.eq.post);
        Flag(r.eq.enable);
        GraphicEQ7Parameters& eq = r.eq.parameters;
        Flag(eq.enable);
        for (double* band : {&eq.band1, &eq.band2, &eq.band3, &eq.band4, &eq.band5, &eq.band6, &eq.band7})
            Double(*band, -18.0, 18.0);
        Double(eq.parametric_frequency, 62.5, 10000.0);
        Double(eq.parametric_q, 0.3, 5.0);
        Double(eq.parametric_level, -18.0, 18.0);
        Double(eq.level, -18.0, 18.0);
        Int(eq.type, 0, 2);

        Flag(r.cabinet.enable);
        Flag(r.cabinet.dibox.enable);
        Double(r.cabinet.dibox.frequency, 2500.0, 8000.0);
        Double(r.cabinet.dibox.q, 0.666, 6.0);

        Modulation(r.tremolo, 1);
        Double(r.tremolo.parameters.waveform, 0.0, 1.0);

        Modulation(r.chorus, 2);
        Double(r.chorus.parameters.mix, 0.0, 1.0);
        Double(r.chorus.parameters.delay, 0.001, 0.03);

        Modulation(r.flanger, 1);
        Double(r.flanger.parameters.delay, 0.0005, 0.004);
        Double(r.flanger.parameters.sweep, 0.0, 1.0);
        Double(r.flanger.parameters.regeneration, 0.0, 0.9);
        Flag(r.flanger.parameters.phase);

        Modulation(r.phaser, 1);
        Double(r.phaser.parameters.sweep, 1.0, 3.0);
        Double(r.phaser.parameters.regeneration, 0.0, 0.9);
        Int(r.phaser.parameters.stages, 0, 2);

        Placed(r.echo);
        EchoParameters& echo = r.echo.parameters;
        Int(echo.type, 0, 1);
        Double(echo.delay, 0.01, 1.0);
        Double(echo.feedback, 0.0, 0.95);
        Double(echo.directlevel, -40.0, 12.0);
        Double(echo.delaylevel, -40.0, 12.0);
        Double(echo.style, 0.0, 1.0);
        Flag(echo.filter_input);
        Flag(echo.tails_on);

        Flag(r.reverb.enable);
        Int(r.reverb.type, 0, 2);
        Double(r.reverb.level, -40.0, 12.0);

        Double(r.master_level, -24.0, 18.0);
        Flag(r.upsampler_enabled);
    }

private:
    template <typename Record>
    void Placed(PlacedParameters<Record>& placed)
    {
        Flag(placed.post);
        Flag(placed.enable);
        Flag(placed.parameters.enable);
    }
    // The fields the four modulation effects share.
    template <typename Record>
    void Modulation(PlacedParameters<Record>& placed, int lastType)
    {
        Placed(placed);
        Int(placed.parameters.type, 0, lastType);
        Double(placed.parameters.speed, 0.1, 10.0);
        Double(placed.parameters.depth, 0.0, 1.0);
    }
    bool Chance(double p) { return unit(rng) < p; }
    size_t Pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); }

    std::mt19937 rng;
    std::uniform_real_distribution<double> unit{0.0, 1.0};
};

}  // namespace

TEST(RecordFuzz, ExtremeRecordsGiveFiniteOutputWithoutSubnormalsAtEveryRate)
{
    SubnormalsOn subnormals;
    RecordFuzzer fuzz(20261209);
    std::mt19937 pick(7);
    for (double rate : {8000.0, 44100.0, 96000.0, 384000.0}) {
        auto engine = std::make_unique<Tonewright>();
        engine->SetFs(rate);
        constexpr int kBlock = 256;
        engine->Reserve(kBlock);
        // A loud burst and then silence, so that tails decay towards the
        // subnormal range.
        const int burst = int(0.02 * rate);
        const int total = int(0.06 * rate);
        std::vector<double> in = whiteNoise(burst, 0.9, unsigned(rate));
        in.resize(size_t(total), 0.0);
        for (int trial = 0; trial < 40; ++trial) {
            TonewrightParameters r;
            fuzz.Record(r);
            engine->SetParameters(&r);
            // And single values by id, in physical units.
            for (int k = 0; k < 4; ++k) {
                const int id = std::uniform_int_distribution<int>(Tonewright::kFirstId, Tonewright::kLastId)(pick);
                engine->SetParameter(id, kExtremes[pick() % std::size(kExtremes)]);
            }
            const Stereo out = runStereo(
                [&](double* x, double* l, double* rr, int n) { engine->process(x, l, rr, n); }, in,
                BlockPlan::Random(kBlock, unsigned(trial)));
            ASSERT_TRUE(allFinite(out.left) && allFinite(out.right)) << rate << " Hz, trial " << trial;
            ASSERT_TRUE(noSubnormals(out.left) && noSubnormals(out.right)) << rate << " Hz, trial " << trial;
        }
    }
}
