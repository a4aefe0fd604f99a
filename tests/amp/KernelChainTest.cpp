// The steady chain: parts in one staggered loop give exactly what the same
// parts give block after block, for any block length (fewer samples than
// parts, odd lengths); the amplifier gives what its preamp and power amp
// give in turn, through fades and back; a chain that overflows runs nothing.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "DspTestKit.h"
#include "amp/Amplifier.h"
#include "amp/GainControl.h"
#include "amp/KernelChain.h"
#include "engine/TonewrightParameters.h"

using namespace tonewright;
using namespace testkit;

namespace {

// One of each kind of part, settled.
struct Parts {
    GainControl control;
    Filter filter;
    Filter firstOrder;
    Tube tube;
    PowerAmp power;

    explicit Parts(const PowerAmpParameters& p)
    {
        control.SetParameters({3, 0.7});
        filter.SetParameter(1, Filter::kPeak);
        filter.SetParameter(4, 6.0);
        firstOrder.SetParameter(1, Filter::kLowPass1);
        firstOrder.SetParameter(2, 9000.0);
        tube.SetParameter(1, 20.0);
        power.SetParameters(p);
        control.SetFs(176400.0);
        filter.SetFs(176400.0);
        firstOrder.SetFs(176400.0);
        tube.SetFs(176400.0);
        power.SetFs(176400.0);
        control.Settle();
        filter.Settle();
        firstOrder.Settle();
        tube.Settle();
        power.Settle();
    }
};

}  // namespace

TEST(KernelChain, PartsInOneLoopGiveTheSamplesOfThePartsInTurn)
{
    // Each power-amp type (one tube, and the two kinds of tube pairs, whose
    // tubes step side by side: drive from clean to hard clipping, bias from
    // one end to the other, slow and fast loops), with the input from quiet
    // to beyond the tubes' knees.
    std::vector<PowerAmpParameters> powers{{true, 0}, {true, 1}, {true, 2}};
    for (int type : {1, 2})
        for (double drive : {0.3, 1.0, 8.0})
            for (double bias : {0.0, 0.5, 1.0})
                for (double dynamics : {0.0, 1.0}) powers.push_back({true, type, drive, bias, dynamics});
    for (const PowerAmpParameters& power : powers)
    for (int block : {1, 2, 3, 5, 7, 64, 301}) {
        Parts chained(power), inTurn(power);
        auto x = whiteNoise(3000, 0.4, unsigned(block));
        for (int i = 0; i < 3000; ++i) x[i] *= 4.0 * i / 3000.0;
        auto y = x;
        for (int pos = 0; pos < 3000; pos += block) {
            const int n = std::min(block, 3000 - pos);
            KernelChain chain;
            chained.control.AppendTo(chain);
            chain.Add(chained.tube);
            chain.Add(chained.filter);
            chain.Add(chained.firstOrder);
            chained.power.AppendTo(chain);
            ASSERT_FALSE(chain.Overflowed());
            chain.Run(x.data() + pos, n);

            inTurn.control.process(y.data() + pos, n);
            inTurn.tube.process(y.data() + pos, n);
            inTurn.filter.process(y.data() + pos, n);
            inTurn.firstOrder.process(y.data() + pos, n);
            inTurn.power.process(y.data() + pos, n);
        }
        EXPECT_EQ(x, y) << "type " << power.type << ", drive " << power.drive << ", bias " << power.bias
                        << ", dynamics " << power.dynamics << ", block " << block;
    }
}

// Any two looping tubes as a power stage, on their own: deep and shallow
// loops, offsets and asymmetric curves, so that every root form is taken.
TEST(KernelChain, PairedTubesOfAnySettingsGiveWhatEachGivesAlone)
{
    const TubeParameters settings[] = {
        {true, 50.0, true, 0.9, 0.0, 0.0, true, -6.0, 1000.0},  {true, 200.0, false, 0.5, 0.8, 0.4, true, -60.0, 30.0},
        {true, 5.0, true, 0.2, -0.9, -0.6, true, -100.0, 20000.0}, {true, 0.5, false, 1.0, 0.3, 0.9, true, -1.0, 5.0},
        {true, 1000.0, false, 0.9, 0.0, 0.0, true, -40.0, 5000.0},
    };
    for (const TubeParameters& pa : settings)
    for (const TubeParameters& pb : settings) {
        Tube chained[2], alone[2];
        for (int t = 0; t < 4; ++t) {
            Tube& tube = t < 2 ? chained[t] : alone[t - 2];
            tube.SetFs(176400.0);
            tube.SetParameters(t % 2 ? pb : pa);
            tube.Settle();
        }
        auto x = whiteNoise(3000, 1.0, 4);
        std::vector<double> y(x.size());
        for (size_t i = 0; i < x.size(); ++i) {
            x[i] *= 3.0 * std::sin(3.14159 * double(i) / 3000.0);
            double a = x[i] * 1.5 - 0.25, b = x[i] * -0.5 - 0.25;
            alone[0].process(&a, 1);
            alone[1].process(&b, 1);
            y[i] = (a - b) * 0.75;
        }
        for (int pos = 0; pos < 3000; pos += 64) {
            KernelChain chain;
            chain.AddPower(chained[0], 1.5, &chained[1], -0.5, -0.25, 0.75);
            chain.Run(x.data() + pos, std::min(64, 3000 - pos));
        }
        EXPECT_EQ(x, y) << pa.gain << " with " << pb.gain;
    }
}

// Two or three looping tubes of different settings (and one without its
// loop) among filters, next to each other and far apart, staggered in one
// loop: each gives what it gives alone, for blocks shorter than the stagger
// and long ones, through silence (a resting tube's exact zero) and drive
// past both knees.
TEST(KernelChain, LoopTubesAmongFiltersGiveWhatEachGivesAlone)
{
    const TubeParameters settings[] = {
        {true, 20.0, true, 0.9, 0.0, 0.0, true, -6.0, 1000.0},   {true, 200.0, false, 0.5, 0.8, 0.4, true, -60.0, 30.0},
        {true, 5.0, true, 0.2, -0.9, -0.6, true, -40.0, 9000.0}, {true, 50.0, false, 0.7, 0.3, 0.1, false, -6.0, 1000.0},
    };
    // T a looping tube, N the tube without its loop, F a filter.
    for (const std::string layout : {"TT", "TFT", "TTT", "FTFFTFT", "TNFT", "TTFFFFT"})
    for (int block : {1, 2, 3, 5, 64, 301}) {
        std::vector<Tube> chained(layout.size()), inTurn(layout.size());
        std::vector<Filter> filters(2 * layout.size());
        int loops = 0;
        for (size_t k = 0; k < layout.size(); ++k) {
            const TubeParameters& p = settings[layout[k] == 'N' ? 3 : loops++ % 3];
            for (Tube* t : {&chained[k], &inTurn[k]}) {
                t->SetFs(176400.0);
                t->SetParameters(p);
                t->Settle();
            }
            for (Filter* f : {&filters[2 * k], &filters[2 * k + 1]}) {
                f->SetParameter(1, Filter::kLowPass1);
                f->SetParameter(2, 3000.0 + 1000.0 * k);
                f->SetFs(176400.0);
                f->Settle();
            }
        }
        auto x = whiteNoise(6000, 1.0, unsigned(block));
        for (int i = 0; i < 6000; ++i) x[i] *= i < 2000 ? 0.0 : i < 4000 ? 3.0 * (i - 2000) / 2000.0 : 0.02;
        std::fill(x.begin() + 4500, x.begin() + 5000, 0.0);
        auto y = x;
        for (int pos = 0; pos < 6000; pos += block) {
            const int n = std::min(block, 6000 - pos);
            KernelChain chain;
            for (size_t k = 0; k < layout.size(); ++k) {
                if (layout[k] == 'F') chain.Add(filters[2 * k]);
                else chain.Add(chained[k]);
            }
            chain.Run(x.data() + pos, n);
            for (size_t k = 0; k < layout.size(); ++k) {
                if (layout[k] == 'F') filters[2 * k + 1].process(y.data() + pos, n);
                else inTurn[k].process(y.data() + pos, n);
            }
        }
        EXPECT_EQ(x, y) << layout << ", block " << block;
    }
}

TEST(KernelChain, AChainThatOverflowsRunsNothing)
{
    std::vector<Filter> filters(KernelChain::kMaxParts + 1);
    KernelChain chain;
    for (Filter& f : filters) {
        f.SetParameter(4, 6.0);
        f.Settle();
        chain.Add(f);
    }
    EXPECT_TRUE(chain.Overflowed());
    auto x = whiteNoise(100, 0.5);
    const auto before = x;
    chain.Run(x.data(), 100);
    EXPECT_EQ(x, before);
}

TEST(Amplifier, GivesWhatThePreampAndPowerAmpGiveInTurnThroughFades)
{
    const TonewrightParameters record;
    Preamp preamps[2];
    PowerAmp powers[2];
    for (int k = 0; k < 2; ++k) {
        preamps[k].SetFs(176400.0);
        preamps[k].SetParameters(record.preamp);
        powers[k].SetFs(176400.0);
        powers[k].SetParameters(record.poweramp);
        preamps[k].Settle();
        powers[k].Settle();
    }
    auto x = whiteNoise(60000, 0.3, 9);
    auto y = x;
    std::mt19937 rng(2);
    int blocks = 0;
    for (int pos = 0; pos < 60000; ++blocks) {
        const int n = std::min(std::uniform_int_distribution<int>(1, 2048)(rng), 60000 - pos);
        // A placement change, a power-amp type change and a tube switched
        // off and on: fades of each level, between steady stretches.
        for (int k = 0; k < 2; ++k) {
            if (blocks == 5) preamps[k].SetParameter(89, 3);
            if (blocks == 20) powers[k].SetParameter(1, 2);
            if (blocks == 30) preamps[k].SetParameter(6, 0.0);
            if (blocks == 45) preamps[k].SetParameter(6, 1.0);
        }
        runAmplifier(preamps[0], powers[0], x.data() + pos, n);
        preamps[1].process(y.data() + pos, n);
        powers[1].process(y.data() + pos, n);
        pos += n;
    }
    EXPECT_EQ(x, y);
    EXPECT_TRUE(preamps[0].Steady() && powers[0].Steady());
}
