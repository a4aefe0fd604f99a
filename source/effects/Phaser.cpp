#include "effects/Phaser.h"

#include <algorithm>
#include <cmath>

#include "dsp/DspMath.h"
#include "effects/Modulation.h"
#include "effects/Sines.h"
#include "dsp/ParameterRules.h"

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

double Phaser::GetParameter(int id) const
{
    switch (id) {
    case 0: return flagValue(params.enable);
    case 1: return params.type;
    case 2: return params.speed;
    case 3: return params.depth;
    case 4: return params.sweep;
    case 5: return params.regeneration;
    case 6: return params.stages;
    default: return 0.0;
    }
}

void Phaser::SetParameters(const PhaserParameters& p)
{
    SetParameter(0, flagValue(p.enable));
    SetParameter(1, p.type);
    SetParameter(2, p.speed);
    SetParameter(3, p.depth);
    SetParameter(4, p.sweep);
    SetParameter(5, p.regeneration);
    SetParameter(6, p.stages);
}

void Phaser::SetFs(double rate)
{
    if (!(rate > 0.0) || !std::isfinite(rate) || rate == fs) return;
    fs = rate;
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

template <bool Stereo>
void Phaser::RunSteady(PhaserAllPass* const* chain, const int* ends, double* l, double* r, int n)
{
    PhaserAllPass::Kernel k[kSections];
    const int count = ends[Stereo ? 2 : 0];
    for (int j = 0; j < count; ++j) k[j] = chain[j]->Load();
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
