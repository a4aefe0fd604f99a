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

int Dottorroverb::LongestRun() const
{
    int longest = ReverbAlgorithm::LongestRun(kRun, allpasses, delays);
    // The line each tap reads, a's taps then b's.
    const ReverbDelayBlock* tapped[kTaps] = {
        &delays[kDelayLeft1],  &delays[kDelayLeft1],  &allpasses[kLeft2],  &delays[kDelayLeft2], &delays[kDelayRight1],
        &allpasses[kRight2],   &delays[kDelayRight2], &delays[kDelayRight1], &delays[kDelayRight1], &allpasses[kRight2],
        &delays[kDelayRight2], &delays[kDelayLeft1],  &allpasses[kLeft2],  &delays[kDelayLeft2]};
    for (int i = 0; i < kTaps; ++i) {
        const int size = tapped[i]->Length();
        longest = std::min(longest, size - ((taps[i] - 1) % size + 1));
    }
    return std::max(1, longest);
}

void Dottorroverb::process(double* l, double* r, int n)
{
    const int longest = LongestRun();
    auto& dl1 = delays[kDelayLeft1];
    auto& dl2 = delays[kDelayLeft2];
    auto& dr1 = delays[kDelayRight1];
    auto& dr2 = delays[kDelayRight2];
    const auto& al2 = allpasses[kLeft2];
    const auto& ar2 = allpasses[kRight2];
    const int* t = taps.data();
    using Tap = ReverbDelayBlock::Tap;
    const Tap tapsA[] = {{&dl1, t[0], 1.0},  {&dl1, t[1], 1.0},  {&al2, t[2], -1.0}, {&dl2, t[3], 1.0},
                         {&dr1, t[4], -1.0}, {&ar2, t[5], -1.0}, {&dr2, t[6], -1.0}};
    const Tap tapsB[] = {{&dr1, t[7], 1.0},   {&dr1, t[8], 1.0},  {&ar2, t[9], -1.0}, {&dr2, t[10], 1.0},
                         {&dl1, t[11], -1.0}, {&al2, t[12], -1.0}, {&dl2, t[13], -1.0}};
    ReverbDelayBlock* const lowPasses[3] = {&inputLowPass, &lowPassLeft, &lowPassRight};
    double e[kRun], left[kRun], right[kRun], dampedL[kRun], dampedR[kRun], nextA[kRun], nextB[kRun];
    double a[kRun], b[kRun];
    for (int start = 0; start < n;) {
        const int m = std::min(longest, n - start);
        double* const x = l + start;
        double* const y = r + start;
        Inputs(x, y, e, m);
        // The first delays' outputs are there before the run: their
        // low-passes run beside the input's.
        dl1.Peek(dampedL, m);
        dr1.Peek(dampedR, m);
        ReverbDelayBlock::run_OPLP(lowPasses, {e, dampedL, dampedR}, m);
        for (int k = 0; k < 4; ++k) allpasses[k].run_AP(e, m);
        // Both halves take the other's output of the previous sample, which
        // the second delays hold already.
        dl2.Peek(nextA, m);
        dr2.Peek(nextB, m);
        for (int i = 0; i < m; ++i) {
            left[i] = denormalGuard((i == 0 ? B : nextB[i - 1]) * decay + e[i]);
            right[i] = denormalGuard((i == 0 ? A : nextA[i - 1]) * decay + e[i]);
        }
        allpasses[kLeft1].run_AP(left, m);
        dl1.run_DLY(left, m);  // gives back what dampedL was made from
        allpasses[kLeft2].run_AP(dampedL, m);
        dl2.run_DLY(dampedL, m);
        A = dampedL[m - 1];
        allpasses[kRight1].run_AP(right, m);
        dr1.run_DLY(right, m);
        allpasses[kRight2].run_AP(dampedR, m);
        dr2.run_DLY(dampedR, m);
        B = dampedR[m - 1];
        // The taps, read after the run as each sample would have read them.
        ReverbDelayBlock::SumTaps(tapsA, a, m);
        ReverbDelayBlock::SumTaps(tapsB, b, m);
        for (int i = 0; i < m; ++i) Output(kTapGain * a[i], kTapGain * b[i], x[i], y[i]);
        start += m;
    }
}

}  // namespace tonewright
