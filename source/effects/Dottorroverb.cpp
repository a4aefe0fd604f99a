#include "effects/Dottorroverb.h"

#include <algorithm>
#include <cmath>

namespace tonewright {

namespace {

constexpr int kAllPassLengths[Dottorroverb::kAllPasses] = {211, 157, 563, 409, 997, 2667, 1345, 3931};
constexpr double kDiffuserGains[4] = {0.75, 0.75, 0.625, 0.625};
constexpr int kDelayLengths[Dottorroverb::kDelays] = {6599, 5507, 6247, 4691};
constexpr int kTapOffsets[Dottorroverb::kTaps] = {397,  4409, 2833, 2957, 2953, 277, 1579,
                                                  523,  5381, 1823, 3967, 3121, 499, 179};

enum AllPass { kLeft1 = 4, kLeft2 = 5, kRight1 = 6, kRight2 = 7 };
enum Delay { kDelayLeft1 = 0, kDelayLeft2 = 1, kDelayRight1 = 2, kDelayRight2 = 3 };

constexpr double kTapGain = 0.6;

// The second tank all-passes' gain for a decay.
double secondDiffusion(double decay)
{
    const double v = decay + 0.5;
    return v > 0.5 ? 0.5 : std::max(0.25, v);
}

}  // namespace

Dottorroverb::Dottorroverb()
{
    setbandwidth(0.99);
    for (int i = 0; i < kAllPasses; ++i) allpasses[i].setup_AP(i < 4 ? kDiffuserGains[i] : 0.0, kAllPassLengths[i]);
    setdiffusion(0.7);
    setdecay(0.5);
    lowPassLeft.setup_OPLP(0.0);
    lowPassRight.setup_OPLP(0.0);
    setdamping(0.01);
    for (int i = 0; i < kDelays; ++i) delays[i].setup_DLY(kDelayLengths[i]);
    wet = 0.5;
    dry = 0.5;
    std::copy(std::begin(kTapOffsets), std::end(kTapOffsets), taps.begin());
}

void Dottorroverb::SetFs(double rate)
{
    if (!AcceptRate(rate)) return;
    SetUpLines();
}

void Dottorroverb::SetUpLines()
{
    for (int i = 0; i < kAllPasses; ++i)
        allpasses[i].setup_AP(i < 4 ? kDiffuserGains[i] : 0.0, Scaled(kAllPassLengths[i]));
    setdiffusion(diffusion);
    setdecay(decay);
    for (int i = 0; i < kDelays; ++i) delays[i].setup_DLY(Scaled(kDelayLengths[i]));
    for (int i = 0; i < kTaps; ++i) taps[i] = Scaled(kTapOffsets[i]);
}

void Dottorroverb::clear_buffers()
{
    inputLowPass.clear_buffer();
    for (auto& a : allpasses) a.clear_buffer();
    lowPassLeft.clear_buffer();
    lowPassRight.clear_buffer();
    for (auto& d : delays) d.clear_buffer();
    A = 0.0;
    B = 0.0;
}

void Dottorroverb::setdiffusion(double x)
{
    if (!std::isfinite(x)) return;
    diffusion = std::clamp(x, -0.99, 0.99);
    allpasses[kLeft1].setg(-diffusion);
    allpasses[kRight1].setg(-diffusion);
}

void Dottorroverb::setdecay(double x)
{
    if (!std::isfinite(x)) return;
    decay = std::clamp(x, -0.99, 0.99);
    allpasses[kLeft2].setg(secondDiffusion(decay));
    allpasses[kRight2].setg(secondDiffusion(decay));
}

void Dottorroverb::setbandwidth(double x)
{
    if (!std::isfinite(x)) return;
    bandwidth = std::clamp(x, 0.0, 1.0);
    inputLowPass.setup_OPLP(1.0 - bandwidth);
}

void Dottorroverb::setdamping(double x)
{
    if (!std::isfinite(x)) return;
    damping = std::clamp(x, 0.0, 1.0);
    lowPassLeft.setup_OPLP(damping);
    lowPassRight.setup_OPLP(damping);
}

const ReverbDelayBlock& Dottorroverb::AllPass(int i) const { return allpasses[std::clamp(i, 0, kAllPasses - 1)]; }
const ReverbDelayBlock& Dottorroverb::Delay(int i) const { return delays[std::clamp(i, 0, kDelays - 1)]; }
int Dottorroverb::TapOffset(int i) const { return taps[std::clamp(i, 0, kTaps - 1)]; }

void Dottorroverb::process(double* l, double* r, int n)
{
    const int* t = taps.data();
    for (int i = 0; i < n; ++i) {
        double e = inputLowPass.process_OPLP(Input(l[i], r[i]));
        for (int k = 0; k < 4; ++k) e = allpasses[k].process_AP(e);

        // Both halves take the other's output of the previous sample.
        const double inLeft = denormalGuard(B * decay + e);
        const double inRight = denormalGuard(A * decay + e);

        double s = allpasses[kLeft1].process_AP(inLeft);
        s = delays[kDelayLeft1].process_DLY(s);
        s = lowPassLeft.process_OPLP(s);
        s = allpasses[kLeft2].process_AP(s);
        A = delays[kDelayLeft2].process_DLY(s);

        s = allpasses[kRight1].process_AP(inRight);
        s = delays[kDelayRight1].process_DLY(s);
        s = lowPassRight.process_OPLP(s);
        s = allpasses[kRight2].process_AP(s);
        B = delays[kDelayRight2].process_DLY(s);

        const auto& dl1 = delays[kDelayLeft1];
        const auto& dl2 = delays[kDelayLeft2];
        const auto& dr1 = delays[kDelayRight1];
        const auto& dr2 = delays[kDelayRight2];
        const auto& al2 = allpasses[kLeft2];
        const auto& ar2 = allpasses[kRight2];
        const double a = kTapGain * (dl1.gettap(t[0]) + dl1.gettap(t[1]) - al2.gettap(t[2]) + dl2.gettap(t[3]) -
                                     dr1.gettap(t[4]) - ar2.gettap(t[5]) - dr2.gettap(t[6]));
        const double b = kTapGain * (dr1.gettap(t[7]) + dr1.gettap(t[8]) - ar2.gettap(t[9]) + dr2.gettap(t[10]) -
                                     dl1.gettap(t[11]) - al2.gettap(t[12]) - dl2.gettap(t[13]));
        Output(a, b, l[i], r[i]);
    }
}

}  // namespace tonewright
