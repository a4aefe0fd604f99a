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
    for (int i = 0; i < n; ++i) {
        const double x = Input(l[i], r[i]);
        double s = 0.0;
        for (auto& c : combs) s += c.process_FBCF(x);
        s = allpasses[0].process_AP(s);
        s = allpasses[1].process_AP(s);
        s = allpasses[2].process_AP(s);
        s = lowpass.process_OPLP(s);
        const double c = allpasses[3].process_AP(s);
        const double a = allpasses[4].process_AP(c);
        const double b = allpasses[5].process_AP(c);
        Output(a, b, l[i], r[i]);
    }
}

}  // namespace tonewright
