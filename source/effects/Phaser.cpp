#include "effects/Phaser.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

#include "dsp/DspMath.h"
#include "effects/Modulation.h"
#include "effects/Sines.h"
#include "dsp/ParameterRules.h"
#include "dsp/StageFields.h"

namespace tonewright {

namespace {

struct Position {
    double frequency;  // Hz
    double radius;
};
constexpr Position kPositions[Phaser::kChainLength] = {
    {300.0, 0.9}, {1000.0, 0.95}, {800.0, 0.8}, {4000.0, 0.9}, {450.0, 0.95}, {2650.0, 0.9}};

bool positionOn(int p, int stages)
{
    if (p < 2) return true;
    if (p < 4) return stages >= 1;
    return stages == 2;
}

}  // namespace

Phaser::Phaser()
{
    for (int i = 0; i < kSections; ++i) {
        sections[i].SetFrequency(kPositions[i % kChainLength].frequency);
        sections[i].SetNotch(kPositions[i % kChainLength].radius);
    }
    SetFs(44100.0);
    params = {false, -1, -1.0, -1.0, -1.0, -1.0, -1};
    SetParameters(PhaserParameters{});
    // The oscillator starts rising from 1; speed, depth and regeneration
    // glide in from these during the first 30 ms.
    speed.current = 1.0;
    depth.current = 1.0;
    regeneration.current = 0.0;
    up = std::pow(2.0, 2.0 * speed.current * invFs);
    down = 1.0 / up;
    Update();
    feedbackL = feedbackR = 0.0;
}

void Phaser::SetParameter(int id, double v)
{
    bool changed = false;
    switch (id) {
    case 0:
        if (bypass.SetEnable(params.enable, v) == SoftBypass::kStarted) feedbackL = feedbackR = 0.0;
        return;
    case 1: changed = acceptInt(params.type, v, 0, 1); break;
    case 2: changed = acceptSpeed(params.speed, v); break;
    case 3: changed = acceptDouble(params.depth, v, v >= 0.0 && v <= 1.0); break;
    case 4:
        // The sections glide to a new sweep on their own, at once.
        if (acceptDouble(params.sweep, v, v >= 1.0 && v <= 3.0))
            for (auto& s : sections) s.SetScale(params.sweep);
        return;
    case 5: changed = acceptDouble(params.regeneration, v, v >= 0.0 && v < 1.0); break;
    case 6: changed = acceptInt(params.stages, v, 0, 2); break;
    default: return;
    }
    if (changed) dirty = true;
}

// The record's fields by parameter id.
constexpr auto kFields = stageFields(&PhaserParameters::enable, &PhaserParameters::type, &PhaserParameters::speed,
                                     &PhaserParameters::depth, &PhaserParameters::sweep,
                                     &PhaserParameters::regeneration, &PhaserParameters::stages);

double Phaser::GetParameter(int id) const { return kFields.Get(params, id); }

void Phaser::SetParameters(const PhaserParameters& p) { kFields.Apply(p, *this); }

void Phaser::SetFs(double rate)
{
    if (!acceptNewRate(fs, rate)) return;
    invFs = 1.0 / rate;
    for (int i = 0; i < kSections; ++i) {
        sections[i].SetFs(rate);
        // A section pulled down at a low rate gets its own frequency back
        // when the rate allows it again.
        sections[i].SetFrequency(kPositions[i % kChainLength].frequency);
    }
    bypass.SetFs(rate);
    coefficient = glideCoefficient(0.03, rate);
    dirty = true;
}

void Phaser::Update()
{
    speed.target = params.speed;
    depth.target = params.depth;
    regeneration.target = params.regeneration;
    for (int i = 0; i < kSections; ++i) {
        const int chain = i / kChainLength;
        const bool chainOn = chain == 0 || (chain == 1 && params.type == 0) || (chain == 2 && params.type == 1);
        sections[i].SetEnable(chainOn && positionOn(i % kChainLength, params.stages) ? 1.0 : 0.0);
    }
}

void Phaser::Settle()
{
    Update();
    speed.Jump();
    depth.Jump();
    regeneration.Jump();
    up = std::pow(2.0, 2.0 * speed.current * invFs);
    down = 1.0 / up;
    for (auto& s : sections) s.Settle();
    gliding = false;
    dirty = false;
    bypass.Settle();
}

inline void Phaser::StepOscillator()
{
    if (rising) {
        m *= up;
        if (m >= 2.0) rising = false;
    } else {
        m *= down;
        if (m <= 1.0) rising = true;
    }
}

template <bool Stereo>
void Phaser::Run(double* l, double* r, int n)
{
    if (beginGlide(gliding, dirty)) Update();
    // The sections that still run, chain by chain; a stopped section passes
    // its input unchanged.
    PhaserAllPass* chain[kSections];
    int ends[3] = {0, 0, 0};
    int count = 0;
    for (int c = 0; c < (Stereo ? 3 : 1); ++c) {
        for (int p = 0; p < kChainLength; ++p) {
            PhaserAllPass& s = sections[c * kChainLength + p];
            if (!s.Running()) continue;
            s.BeginBlock();
            chain[count++] = &s;
        }
        ends[c] = count;
    }

    const bool glide = gliding;
    bool steady = !glide;
    for (int k = 0; k < count && steady; ++k) steady = chain[k]->Steady();
    if (steady) {
        RunSteady<Stereo>(chain, ends, l, r, n);
        return;
    }
    for (int i = 0; i < n; ++i) {
        if (glide) {
            bool moving = speed.Step(coefficient);
            moving |= depth.Step(coefficient);
            moving |= regeneration.Step(coefficient);
            up = std::pow(2.0, 2.0 * speed.current * invFs);
            down = 1.0 / up;
            gliding = moving;
        }
        StepOscillator();

        double s = guardedSum(feedbackL * regeneration.current, l[i]);
        for (int k = 0; k < ends[0]; ++k) s = chain[k]->Tick(s, m);
        feedbackL = s;
        l[i] += depth.current * s;

        if constexpr (Stereo) {
            s = guardedSum(feedbackR * regeneration.current, r[i]);
            for (int k = ends[0]; k < ends[1]; ++k) s = chain[k]->Tick(s, m);
            const double against = 3.0 - m;
            for (int k = ends[1]; k < ends[2]; ++k) s = chain[k]->Tick(s, against);
            feedbackR = s;
            r[i] += depth.current * s;
        }
    }
}

namespace {

typedef double Pair __attribute__((vector_size(16)));

// Lane 0 the left chain, lane 1 the right; mono has the left alone.
template <bool Stereo>
using Lanes = std::conditional_t<Stereo, Pair, double>;

template <bool Stereo>
Lanes<Stereo> lanes(double a, double b)
{
    if constexpr (Stereo) return Pair{a, b};
    else return a;
}

template <bool Stereo>
double lane(Lanes<Stereo> v, int i)
{
    if constexpr (Stereo) return v[i];
    else return v;
}

}  // namespace

template <int L, bool Stereo>
void Phaser::RunChains(PhaserAllPass::Kernel* k, double* l, double* r, int n)
{
    using V = Lanes<Stereo>;
    constexpr int kChains = Stereo ? 2 : 1;
    // Each section's output is carried on to the next one with the denormal
    // guard's offset still in it (the offset comes off beside the chain, for
    // the memories and the output), so that a sample waits for one product
    // and one sum a section.
    V r2[L], x1[L], x2[L], y1[L], y2[L], bias[L];
    for (int p = 0; p < L; ++p) {
        const PhaserAllPass::Kernel& a = k[p];
        const PhaserAllPass::Kernel& b = k[Stereo ? L + p : p];
        r2[p] = lanes<Stereo>(a.rSquared, b.rSquared);
        x1[p] = lanes<Stereo>(a.x1, b.x1);
        x2[p] = lanes<Stereo>(a.x2, b.x2);
        y1[p] = lanes<Stereo>(a.y1, b.y1);
        y2[p] = lanes<Stereo>(a.y2, b.y2);
        bias[p] = kDenormalOffset - r2[p] * kDenormalOffset;
    }
    const double feedback = regeneration.current;
    const double wet = depth.current;
    const double feedbackBias = kDenormalOffset - feedback * kDenormalOffset;
    V last = lanes<Stereo>(feedbackL, feedbackR);
    // The last section's output with the offset in it.
    V carried = last + kDenormalOffset;
    constexpr int kRun = 32;
    double term[kChains * L][kRun];
    for (int start = 0; start < n; start += kRun) {
        const int length = std::min(kRun, n - start);
        double control[kRun], against[kRun];
        double low = m, high = m;
        for (int i = 0; i < length; ++i) {
            StepOscillator();
            control[i] = m;
            against[i] = 3.0 - m;
            low = std::min(low, m);
            high = std::max(high, m);
        }
        // The sections' angles move little over a run at usual speeds: each
        // is turned from its first one, whose sines come in one batch.
        const double spread = high - low;
        double first[kChains * L], sine[kChains * L], cosine[kChains * L];
        for (int j = 0; j < kChains * L; ++j)
            first[j] = (k[j].against ? against[0] : control[0]) * k[j].a + k[j].b;
        sines::sinCos(first, sine, cosine, kChains * L);
        for (int j = 0; j < kChains * L; ++j) {
            const double* sweep = k[j].against ? against : control;
            if (std::fabs(k[j].a) * spread <= 0.999 * sines::kNear)
                sines::scaledCosNear(sweep, k[j].a, k[j].b, k[j].minusTwoR, sine[j], cosine[j], term[j], length);
            else
                sines::scaledCos(sweep, k[j].a, k[j].b, k[j].minusTwoR, term[j], length);
            k[j].angle = sweep[length - 1] * k[j].a + k[j].b;
            k[j].c = term[j][length - 1];
        }
        double* const left = l + start;
        double* const right = Stereo ? r + start : nullptr;
        for (int i = 0; i < length; ++i) {
            const V in = lanes<Stereo>(left[i], Stereo ? right[i] : 0.0);
            V biased = carried * feedback + (in + feedbackBias);
            V s = biased - kDenormalOffset;
#pragma GCC unroll 8
            for (int p = 0; p < L; ++p) {
                const V c = lanes<Stereo>(term[p][i], term[Stereo ? L + p : p][i]);
                const V rest = c * (x1[p] - y1[p]) + (x2[p] - r2[p] * y2[p]);
                biased = r2[p] * biased + (rest + bias[p]);
                const V y = biased - kDenormalOffset;
                y2[p] = y1[p];
                x2[p] = x1[p];
                y1[p] = y;
                x1[p] = s;
                s = y;
            }
            carried = biased;
            last = s;
            left[i] += wet * lane<Stereo>(s, 0);
            if constexpr (Stereo) right[i] += wet * lane<Stereo>(s, 1);
        }
    }
    feedbackL = lane<Stereo>(last, 0);
    if constexpr (Stereo) feedbackR = lane<Stereo>(last, 1);
    for (int p = 0; p < L; ++p) {
        for (int c = 0; c < kChains; ++c) {
            PhaserAllPass::Kernel& q = k[c * L + p];
            q.x1 = lane<Stereo>(x1[p], c);
            q.x2 = lane<Stereo>(x2[p], c);
            q.y1 = lane<Stereo>(y1[p], c);
            q.y2 = lane<Stereo>(y2[p], c);
        }
    }
}

template <bool Stereo>
void Phaser::RunSteady(PhaserAllPass* const* chain, const int* ends, double* l, double* r, int n)
{
    PhaserAllPass::Kernel k[kSections];
    const int count = ends[Stereo ? 2 : 0];
    for (int j = 0; j < count; ++j) k[j] = chain[j]->Load();
    {
        // In stereo, matching positions left and right (as every steady
        // state has).
        const int length = ends[0];
        bool paired = !Stereo || ends[2] - ends[0] == length;
        for (int j = 0; j < length && paired && Stereo; ++j)
            paired = (chain[j] - sections) % kChainLength == (chain[length + j] - sections) % kChainLength;
        for (int j = 0; j < count; ++j) k[j].against = Stereo && j >= ends[1];
        if (paired && (length == 2 || length == 4 || length == 6)) {
            if (length == 2) RunChains<2, Stereo>(k, l, r, n);
            else if (length == 4) RunChains<4, Stereo>(k, l, r, n);
            else RunChains<6, Stereo>(k, l, r, n);
            for (int j = 0; j < count; ++j) chain[j]->Store(k[j]);
            return;
        }
    }
    const double feedback = regeneration.current;
    const double wet = depth.current;
    double fl = feedbackL, fr = feedbackR;
    // The cosine terms depend on the oscillator alone: a run of samples
    // at a time, each section's in one batch.
    constexpr int kRun = 32;
    double term[kSections][kRun];
    for (int start = 0; start < n; start += kRun) {
        const int length = std::min(kRun, n - start);
        double control[kRun], against[kRun];
        for (int i = 0; i < length; ++i) {
            StepOscillator();
            control[i] = m;
            against[i] = 3.0 - m;
        }
        for (int j = 0; j < count; ++j) {
            const double* sweep = Stereo && j >= ends[1] ? against : control;
            sines::scaledCos(sweep, k[j].a, k[j].b, k[j].minusTwoR, term[j], length);
            k[j].angle = sweep[length - 1] * k[j].a + k[j].b;
            k[j].c = term[j][length - 1];
        }

        double* const left = l + start;
        double* const right = Stereo ? r + start : nullptr;
        for (int i = 0; i < length; ++i) {
            double s = guardedSum(fl * feedback, left[i]);
            for (int j = 0; j < ends[0]; ++j) s = k[j].Step(s, term[j][i]);
            fl = s;
            left[i] += wet * s;

            if constexpr (Stereo) {
                s = guardedSum(fr * feedback, right[i]);
                for (int j = ends[0]; j < ends[2]; ++j) s = k[j].Step(s, term[j][i]);
                fr = s;
                right[i] += wet * s;
            }
        }
    }
    feedbackL = fl;
    feedbackR = fr;
    for (int j = 0; j < count; ++j) chain[j]->Store(k[j]);
}

void Phaser::process(double* x, int n)
{
    bypass.Run(x, n, [&] { Run<false>(x, nullptr, n); });
}

void Phaser::process(double* l, double* r, int n)
{
    bypass.Run(l, r, n, [&] { Run<true>(l, r, n); });
}

}  // namespace tonewright
