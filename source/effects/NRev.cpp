#include "effects/NRev.h"

#include <algorithm>
#include <cmath>

namespace tonewright {

namespace {

constexpr int kCombLengths[NRev::kCombs] = {2467, 2753, 3209, 3529, 3877, 4127};
constexpr int kAllPassLengths[NRev::kAllPasses] = {599, 193, 61, 101, 89, 73};
constexpr double kAllPassGain = 0.7;

}  // namespace

NRev::NRev()
{
    for (int i = 0; i < kCombs; ++i) combs[i].setup_FBCF(0.0, kCombLengths[i]);
    setdecay(0.5);
    for (int i = 0; i < kAllPasses; ++i) allpasses[i].setup_AP(kAllPassGain, kAllPassLengths[i]);
    lowpass.setup_OPLP(0.7);
    setdamping(0.5);
}

void NRev::SetFs(double rate)
{
    if (!AcceptRate(rate)) return;
    for (int i = 0; i < kCombs; ++i) combs[i].setup_FBCF(0.0, Scaled(kCombLengths[i]));
    setdecay(decay);
    for (int i = 0; i < kAllPasses; ++i) allpasses[i].setup_AP(kAllPassGain, Scaled(kAllPassLengths[i]));
}

void NRev::clear_buffers()
{
    for (auto& a : allpasses) a.clear_buffer();
    for (auto& c : combs) c.clear_buffer();
    lowpass.clear_buffer();
}

void NRev::setdecay(double seconds)
{
    if (!std::isfinite(seconds)) return;
    decay = std::clamp(seconds, 0.01, 100.0);
    for (auto& c : combs) c.setg(std::pow(10.0, -3.0 * c.getsize() / (decay * fs)));
}

void NRev::setdamping(double x)
{
    if (!std::isfinite(x)) return;
    damping = std::clamp(x, 0.0, 1.0);
    lowpass.setup_OPLP(damping);
}

const ReverbDelayBlock& NRev::Comb(int i) const { return combs[std::clamp(i, 0, kCombs - 1)]; }
const ReverbDelayBlock& NRev::AllPass(int i) const { return allpasses[std::clamp(i, 0, kAllPasses - 1)]; }

void NRev::process(double* l, double* r, int n)
{
    const int longest = LongestRun(kRun, allpasses, combs);
    double x[kRun], s[kRun], a[kRun], b[kRun];
    for (int start = 0; start < n;) {
        const int m = std::min(longest, n - start);
        double* const left = l + start;
        double* const right = r + start;
        Inputs(left, right, x, m);
        std::fill_n(s, m, 0.0);
        for (auto& c : combs) c.add_FBCF(x, s, m);
        allpasses[0].run_AP(s, m);
        allpasses[1].run_AP(s, m);
        allpasses[2].run_AP(s, m);
        lowpass.run_OPLP(s, m);
        allpasses[3].run_AP(s, m);
        std::copy_n(s, m, a);
        std::copy_n(s, m, b);
        allpasses[4].run_AP(a, m);
        allpasses[5].run_AP(b, m);
        for (int i = 0; i < m; ++i) Output(a[i], b[i], left[i], right[i]);
        start += m;
    }
}

}  // namespace tonewright
