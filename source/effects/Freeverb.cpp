#include "effects/Freeverb.h"

#include <algorithm>
#include <cmath>

namespace tonewright {

namespace {

constexpr int kCombLengths[Freeverb::kCombs] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617,
                                                1129, 1213, 1301, 1381, 1447, 1511, 1579, 1637};
constexpr int kAllPassLengths[Freeverb::kAllPasses] = {556, 441, 341, 225, 577, 463, 367, 251};
constexpr double kAllPassGain = 0.5;
constexpr double kDampScale = 0.4;

}  // namespace

Freeverb::Freeverb()
{
    for (int i = 0; i < kCombs; ++i) combs[i].setup_LBCF(0.0, 0.0, kCombLengths[i]);
    setdecay(0.5);
    setdamping(0.5);
    for (int i = 0; i < kAllPasses; ++i) allpasses[i].setup_FBFFCF(kAllPassGain, kAllPassLengths[i]);
}

void Freeverb::SetFs(double rate)
{
    if (!AcceptRate(rate)) return;
    SetUpBlocks();
}

void Freeverb::SetUpBlocks()
{
    for (int i = 0; i < kCombs; ++i) combs[i].setup_LBCF(0.0, 0.0, Scaled(kCombLengths[i]));
    setdecay(roomsize);
    for (auto& c : combs) c.setd(damp);
    for (int i = 0; i < kAllPasses; ++i) allpasses[i].setup_FBFFCF(kAllPassGain, Scaled(kAllPassLengths[i]));
}

void Freeverb::clear_buffers()
{
    for (auto& c : combs) c.clear_buffer();
    for (auto& a : allpasses) a.clear_buffer();
}

void Freeverb::setdecay(double x)
{
    if (!std::isfinite(x)) return;
    roomsize = std::clamp(x, 0.0, 0.99);
    for (auto& c : combs) c.setg(roomsize);
}

void Freeverb::setdamping(double x)
{
    if (!std::isfinite(x)) return;
    damp = kDampScale * std::clamp(x, 0.0, 1.0);
    for (auto& c : combs) c.setd(damp);
}

void Freeverb::setreverbleveldb(double db)
{
    if (!std::isfinite(db)) return;
    wet = std::pow(10.0, std::clamp(db, -200.0, 40.0) / 20.0);
    dry = 1.0;
}

const ReverbDelayBlock& Freeverb::Comb(int i) const { return combs[std::clamp(i, 0, kCombs - 1)]; }
const ReverbDelayBlock& Freeverb::AllPass(int i) const { return allpasses[std::clamp(i, 0, kAllPasses - 1)]; }

void Freeverb::process(double* l, double* r, int n)
{
    const int longest = LongestRun(kRun, allpasses, combs);
    ReverbDelayBlock* const leftCombs[kCombs / 2] = {&combs[0], &combs[1], &combs[2], &combs[3],
                                                     &combs[4], &combs[5], &combs[6], &combs[7]};
    ReverbDelayBlock* const rightCombs[kCombs / 2] = {&combs[8],  &combs[9],  &combs[10], &combs[11],
                                                      &combs[12], &combs[13], &combs[14], &combs[15]};
    double x[kRun], a[kRun], b[kRun];
    for (int start = 0; start < n;) {
        const int m = std::min(longest, n - start);
        double* const left = l + start;
        double* const right = r + start;
        Inputs(left, right, x, m);
        std::fill_n(a, m, 0.0);
        std::fill_n(b, m, 0.0);
        ReverbDelayBlock::add_LBCF(leftCombs, x, a, m);
        ReverbDelayBlock::add_LBCF(rightCombs, x, b, m);
        for (int k = 0; k < kAllPasses / 2; ++k) allpasses[k].run_FBFFCF(a, m);
        for (int k = kAllPasses / 2; k < kAllPasses; ++k) allpasses[k].run_FBFFCF(b, m);
        for (int i = 0; i < m; ++i) Output(a[i], b[i], left[i], right[i]);
        start += m;
    }
}

}  // namespace tonewright
