#include "ModulationHarness.h"


namespace fxtest {

const std::vector<Description>& effects()
{
    static const std::vector<Description> list = {
        {"Tremolo",
         [] { return std::make_unique<EffectOf<Tremolo>>(); },
         {{1, Kind::Int, 0, {2, -0.6, 1e300}},
          {2, Kind::Double, 3.0, {0.0, -1.0, 101.0}, {{1e-310, 0.001}, {1e-9, 0.001}}},
          {3, Kind::Double, 0.2, {-0.01, 1.01}},
          {4, Kind::Double, 0.7, {-0.01, 1.01}}},
         5,
         {{3, 0.0}},
         {{3, 1.0}, {2, 5.0}}},
        {"Chorus",
         [] { return std::make_unique<EffectOf<Chorus>>(); },
         {{1, Kind::Int, 2, {3, -0.6, 1e300}},
          {2, Kind::Double, 3.0, {0.0, -1.0, 101.0}, {{1e-310, 0.001}, {1e-9, 0.001}}},
          {3, Kind::Double, 0.2, {-0.01, 1.01}},
          {4, Kind::Double, 0.7, {-0.01, 1.01}},
          {5, Kind::Double, 0.02, {-0.001, 0.031}}},
         6,
         {{3, 0.0}, {5, 0.0}},
         {{4, 1.0}, {3, 1.0}, {2, 5.0}}},
        {"Flanger",
         [] { return std::make_unique<EffectOf<Flanger>>(); },
         {{1, Kind::Int, 0, {2, -0.6, 1e300}},
          {2, Kind::Double, 3.0, {0.0, -1.0, 101.0}, {{1e-310, 0.001}, {1e-9, 0.001}}},
          {3, Kind::Double, 0.2, {-0.01, 1.01}},
          {4, Kind::Double, 0.002, {-0.001, 0.0041}},
          {5, Kind::Double, 0.7, {-0.01, 1.01}},
          {6, Kind::Double, 0.3, {-0.01, 0.95}},
          {7, Kind::Flag, 0, {}}},
         8,
         {{3, 0.0}},
         {{3, 1.0}, {4, 0.003}, {6, 0.8}, {2, 5.0}}},
        {"Phaser",
         [] { return std::make_unique<EffectOf<Phaser>>(); },
         {{1, Kind::Int, 0, {2, -0.6, 1e300}},
          {2, Kind::Double, 3.0, {0.0, -1.0, 101.0}, {{1e-310, 0.001}, {1e-9, 0.001}}},
          {3, Kind::Double, 0.2, {-0.01, 1.01}},
          {4, Kind::Double, 2.5, {0.99, 3.01}},
          {5, Kind::Double, 0.3, {-0.01, 1.0}},
          {6, Kind::Int, 2, {3, -0.6, 1e300}}},
         7,
         {{3, 0.0}},
         {{3, 1.0}, {5, 0.8}, {2, 5.0}}},
        {"Echo",
         [] { return std::make_unique<EffectOf<Echo>>(); },
         {{1, Kind::Int, 0, {2, -0.6, 1e300}},
          {2, Kind::Double, 0.25, {0.005, 1.001}},
          {3, Kind::Double, 0.3, {-0.01, 1.0}},
          {4, Kind::Double, -3.0, {}, {{7000.0, 60.0}, {-7000.0, -120.0}}},
          {5, Kind::Double, -3.0, {}, {{7000.0, 60.0}, {-1e308, -120.0}}},
          {6, Kind::Double, 0.5, {-0.01, 1.01}},
          {7, Kind::Flag, 0, {}},
          {8, Kind::Flag, 0, {}}},
         9,
         // The repeats far below the input, and no filter on the direct path.
         {{7, 0.0}, {5, -400.0}},
         {{2, 0.05}, {3, 0.5}}},
    };
    return list;
}

std::vector<double> runMono(Effect& e, std::vector<double> x, const testkit::BlockPlan& plan)
{
    testkit::forEachBlock(int(x.size()), plan, [&](int pos, int n) { e.Mono(x.data() + pos, n); });
    return x;
}

StereoSignal runStereo(Effect& e, std::vector<double> l, std::vector<double> r, const testkit::BlockPlan& plan)
{
    testkit::forEachBlock(int(l.size()), plan, [&](int pos, int n) { e.Stereo(l.data() + pos, r.data() + pos, n); });
    return {std::move(l), std::move(r)};
}

std::vector<double> constant(size_t n, double v) { return std::vector<double>(n, v); }

}  // namespace fxtest
