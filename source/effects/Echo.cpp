#include "effects/Echo.h"

#include <algorithm>
#include <cmath>

#include "dsp/DspMath.h"
#include "dsp/ParameterRules.h"
#include "dsp/RangeHelpers.h"
#include "dsp/StageFields.h"

namespace tonewright {

namespace {

// Sections: band-pass and low-pass in the left and right repeats, and the
// same on the left and right direct signal.
enum { kBandL, kBandR, kLowL, kLowR, kDirectBandL, kDirectBandR, kDirectLowL, kDirectLowR };

}  // namespace

Echo::Echo()
{
    for (int s : {kBandL, kBandR, kDirectBandL, kDirectBandR}) {
        sections[s].SetParameter(1, Filter::kBandPass);
        sections[s].SetParameter(2, 1000.0);
        sections[s].SetParameter(3, 1.0);
        sections[s].SetParameter(4, 0.0);
    }
    for (int s : {kLowL, kLowR, kDirectLowL, kDirectLowR}) {
        sections[s].SetParameter(1, Filter::kLowPass);
        sections[s].SetParameter(2, 1000.0);
        sections[s].SetParameter(3, 0.7071);
        sections[s].SetParameter(4, 0.0);
    }
    SetFs(44100.0);
    ClearLines();
    params = {false, 0, 0.375, 0.8, -6.0, -6.0, 0.9, false, false};
    SetParameters(EchoParameters{});
    Update();
    // The gains rise from 0 during the first 30 ms.
    for (auto& g : c) g.current = 0.0;
    lineIn.current = lineOut.current = dryThrough.current = 0.0;
    delay.Jump();
    SplitDelay();
    SetParameter(0, 0.0);
    SetParameter(0, 1.0);
    running = true;
}

void Echo::SetParameter(int id, double v)
{
    bool changed = false;
    switch (id) {
    case 0:
        if (!acceptFlag(params.enable, v)) return;
        if (params.enable) {
            // Without tails the old repeats must not come back; they are
            // cleared unless they are still fading out, which they then
            // rejoin without a click.
            if (!params.tails_on && (!running || lineOut.current == 0.0)) ClearLines();
            if (!running) restarted = true;
            running = true;
        }
        Update();
        dirty = true;
        return;
    case 1: changed = acceptInt(params.type, v, 0, 1); break;
    case 2: changed = acceptDouble(params.delay, v, v >= 0.01 && v <= kLongestDelay); break;
    case 3: changed = acceptDouble(params.feedback, v, v >= 0.0 && v < 1.0); break;
    case 4: changed = acceptLevelDb(params.directlevel, v); break;
    case 5: changed = acceptLevelDb(params.delaylevel, v); break;
    case 6:
        // The sections glide on their own; the make-up gain follows at once
        // too, also during a running glide of the delay.
        if (acceptDouble(params.style, v, v >= 0.0 && v <= 1.0)) {
            ApplyStyle();
            Update();
        }
        dirty = true;
        return;
    case 7:
        if (acceptFlag(params.filter_input, v))
            for (int s : {kDirectBandL, kDirectBandR, kDirectLowL, kDirectLowR})
                sections[s].SetParameter(0, flagValue(params.filter_input));
        return;
    case 8: changed = acceptFlag(params.tails_on, v); break;
    default: return;
    }
    if (changed) {
        Update();
        dirty = true;
    }
}

// The record's fields by parameter id.
constexpr auto kFields = stageFields(&EchoParameters::enable, &EchoParameters::type, &EchoParameters::delay,
                                     &EchoParameters::feedback, &EchoParameters::directlevel,
                                     &EchoParameters::delaylevel, &EchoParameters::style,
                                     &EchoParameters::filter_input, &EchoParameters::tails_on);

double Echo::GetParameter(int id) const { return kFields.Get(params, id); }

void Echo::SetParameters(const EchoParameters& p) { kFields.Apply(p, *this); }

void Echo::ApplyStyle()
{
    const double s = params.style;
    const double corner = rangeLog(s, 250.0, 18000.0);
    const double q = range(1.0 - std::fabs(2.0 * s - 1.0), 0.001, 1.0);
    for (int k : {kLowL, kLowR, kDirectLowL, kDirectLowR}) sections[k].SetParameter(2, corner);
    for (int k : {kBandL, kBandR, kDirectBandL, kDirectBandR}) sections[k].SetParameter(3, q);
    for (int k : {kDirectBandL, kDirectBandR}) sections[k].SetParameter(4, range(s, 12.0, 0.0));
}

void Echo::SetFs(double rate)
{
    if (!acceptNewRate(fs, rate)) return;
    for (auto& s : sections) s.SetFs(rate);
    coefficient = glideCoefficient(0.03, rate);
    delayCoefficient = glideCoefficient(1.0, rate);
    const double longest = kLongestDelay * rate;
    const bool grewLeft = lineL.Allocate(longest), grewRight = lineR.Allocate(longest);
    if (grewLeft || grewRight) ClearLines();
    // The delay keeps its length in seconds across the change.
    Update();
    delay.Jump();
    SplitDelay();
    dirty = true;
}

void Echo::Update()
{
    const bool on = params.enable;
    const double fb = params.feedback;
    const bool cross = params.type == 1;
    delay.target = params.delay * fs;
    lineIn.target = on ? 1.0 : 0.0;
    lineOut.target = on || params.tails_on ? 1.0 : 0.0;
    dryThrough.target = on ? 0.0 : 1.0;
    c[kLeftOwn].target = cross ? 0.0 : fb;
    c[kRightOwn].target = cross ? 0.0 : fb;
    c[kLeftToRight].target = cross ? fb : 0.0;
    c[kRightToLeft].target = cross ? fb : 0.0;
    c[kLeftIn].target = cross ? 0.7071 : 1.0;
    c[kRightIn].target = cross ? 0.0 : 1.0;
    c[kRightInToLeft].target = cross ? 0.7071 : 0.0;
    c[kMakeUp].target = rangeDb(params.style, 12.0, 0.0);
    c[kDirect].target = std::pow(10.0, params.directlevel / 20.0);
    c[kDelayed].target = std::pow(10.0, params.delaylevel / 20.0);
}

void Echo::Settle()
{
    Update();
    for (auto& g : c) g.Jump();
    lineIn.Jump();
    lineOut.Jump();
    dryThrough.Jump();
    delay.Jump();
    SplitDelay();
    for (auto& s : sections) s.Settle();
    gliding = false;
    dirty = false;
    restarted = false;
    running = params.enable || energy >= kSilentEnergy;
}

void Echo::Reserve(int n)
{
    directL.Reserve(n);
    directR.Reserve(n);
    for (auto& s : sections) s.Reserve(n);
}

void Echo::SplitDelay()
{
    const double d = std::clamp(delay.current, 0.0, lineL.MaxDelay());
    delayWhole = static_cast<int>(d);
    delayFraction = d - delayWhole;
}

void Echo::ClearLines()
{
    lineL.Clear();
    lineR.Clear();
    energy = 0.0;
    w = 0;
    // The filters in the loop hold the last repeats too: computing a
    // section afresh clears its history.
    for (int k : {kBandL, kBandR, kLowL, kLowR}) {
        sections[k].Settle();
        sections[k].Update();
    }
}

double Echo::Recount()
{
    double sum = 0.0;
    for (const DelayLine* line : {&lineL, &lineR})
        for (int i = 0; i < line->Length(); ++i) sum += line->Data()[i] * line->Data()[i];
    if (!std::isfinite(sum)) {
        ClearLines();
        return 0.0;
    }
    return sum;
}

template <bool Stereo>
void Echo::Run(double* l, double* r, int n)
{
    if (beginGlide(gliding, dirty)) Update();
    if (restarted) {
        restarted = false;
        delay.target = params.delay * fs;
        delay.Jump();
        SplitDelay();
    }

    // The direct signal is not part of the loop: filter it as a block.
    Filter* const directLeft[] = {&sections[kDirectLowL], &sections[kDirectBandL]};
    Filter* const directRight[] = {&sections[kDirectLowR], &sections[kDirectBandR]};
    directL.Set(l, n);
    if constexpr (Stereo) {
        directR.Set(r, n);
        Filter::processCascade(directLeft, directRight, 2, directL.data(), directR.data(), n);
    } else {
        Filter::processCascade(directLeft, 2, directL.data(), n);
    }

    // The loop's sections filter one sample at a time: from kernels in
    // locals while each is steady (or stopped) for the block.
    const int loop[4] = {kLowL, kBandL, kLowR, kBandR};
    bool steady = true;
    bool on[4];
    Filter::Kernel kernel[4];
    for (int j = 0; j < 4; ++j) {
        const Filter& s = sections[loop[j]];
        on[j] = !s.Stopped();
        steady = steady && (!on[j] || s.Steady());
        kernel[j] = s.Load();
    }
    const double* dL = directL.data();
    const double* dR = Stereo ? directR.data() : nullptr;
    const bool glide = gliding;
    if (!glide && steady) {
        RunSteady<Stereo>(l, r, dL, dR, n);
        return;
    }
    const int mask = lineL.Mask();
    double* bufL = lineL.Data();
    double* bufR = lineR.Data();
    for (int i = 0; i < n; ++i) {
        if (glide) {
            bool moving = delay.Step(delayCoefficient);
            for (auto& g : c) moving |= g.Step(coefficient);
            moving |= lineIn.Step(coefficient);
            moving |= lineOut.Step(coefficient);
            moving |= dryThrough.Step(coefficient);
            SplitDelay();
            gliding = moving;
        }
        // The fast path keeps the fraction too, so a glide that ends between
        // two samples goes on reading the same point.
        const double tapL = lineL.Read(w, delayWhole, delayFraction);
        const double tapR = lineR.Read(w, delayWhole, delayFraction);

        const double inL = l[i];
        const double inR = Stereo ? r[i] : 0.0;
        const double in = lineIn.current;
        double feedL = denormalGuard(c[kLeftOwn].current * tapL + c[kRightToLeft].current * tapR +
                                     in * (c[kLeftIn].current * inL + c[kRightInToLeft].current * inR));
        double feedR = denormalGuard(c[kRightOwn].current * tapR + c[kLeftToRight].current * tapL +
                                     in * c[kRightIn].current * inR);
        if (steady) {
            for (int j = 0; j < 2; ++j)
                if (on[j]) feedL = kernel[j].Step(feedL);
            for (int j = 2; j < 4; ++j)
                if (on[j]) feedR = kernel[j].Step(feedR);
        } else {
            for (int j = 0; j < 2; ++j) sections[loop[j]].process(&feedL, 1);
            for (int j = 2; j < 4; ++j) sections[loop[j]].process(&feedR, 1);
        }

        w = (w + 1) & mask;
        energy += feedL * feedL + feedR * feedR - bufL[w] * bufL[w] - bufR[w] * bufR[w];
        bufL[w] = feedL;
        bufR[w] = feedR;

        const double wetGain = c[kDelayed].current * c[kMakeUp].current;
        const double direct = in * c[kDirect].current;
        const double out = lineOut.current;
        const double dry = dryThrough.current;
        l[i] = out * (direct * dL[i] + wetGain * tapL) + dry * inL;
        if constexpr (Stereo) r[i] = out * (direct * dR[i] + wetGain * tapR) + dry * inR;
    }
    if (steady) {
        for (int j = 0; j < 4; ++j)
            if (on[j]) sections[loop[j]].Store(kernel[j]);
    }
}

template <bool Stereo>
void Echo::RunSteady(double* l, double* r, const double* dL, const double* dR, int n)
{
    Filter* const loopLeft[] = {&sections[kLowL], &sections[kBandL]};
    Filter* const loopRight[] = {&sections[kLowR], &sections[kBandR]};
    const int mask = lineL.Mask();
    double* bufL = lineL.Data();
    double* bufR = lineR.Data();
    const double in = lineIn.current;
    const double leftOwn = c[kLeftOwn].current, rightOwn = c[kRightOwn].current;
    const double leftToRight = c[kLeftToRight].current, rightToLeft = c[kRightToLeft].current;
    const double leftIn = c[kLeftIn].current, rightIn = c[kRightIn].current;
    const double rightInToLeft = c[kRightInToLeft].current;
    const double wetGain = c[kDelayed].current * c[kMakeUp].current;
    const double direct = in * c[kDirect].current;
    const double out = lineOut.current;
    const double dry = dryThrough.current;
    const double f = delayFraction;
    constexpr int kRun = 256;
    const int longest = std::clamp(delayWhole, 1, kRun);
    double tapL[kRun], tapR[kRun], feedL[kRun], feedR[kRun];
    for (int start = 0; start < n; start += longest) {
        const int m = std::min(longest, n - start);
        double* const x = l + start;
        double* const y = Stereo ? r + start : nullptr;
        for (int i = 0; i < m; ++i) {
            const int k = (w + i - delayWhole) & mask;
            const int before = (k - 1) & mask;
            tapL[i] = (1.0 - f) * bufL[k] + f * bufL[before];
            tapR[i] = (1.0 - f) * bufR[k] + f * bufR[before];
        }
        for (int i = 0; i < m; ++i) {
            const double inL = x[i];
            const double inR = Stereo ? y[i] : 0.0;
            feedL[i] = denormalGuard(leftOwn * tapL[i] + rightToLeft * tapR[i] +
                                     in * (leftIn * inL + rightInToLeft * inR));
            feedR[i] = denormalGuard(rightOwn * tapR[i] + leftToRight * tapL[i] + in * rightIn * inR);
        }
        Filter::processCascade(loopLeft, loopRight, 2, feedL, feedR, m);
        double e = energy;
        for (int i = 0; i < m; ++i) {
            w = (w + 1) & mask;
            e += feedL[i] * feedL[i] + feedR[i] * feedR[i] - bufL[w] * bufL[w] - bufR[w] * bufR[w];
            bufL[w] = feedL[i];
            bufR[w] = feedR[i];
        }
        energy = e;
        for (int i = 0; i < m; ++i) {
            x[i] = out * (direct * dL[start + i] + wetGain * tapL[i]) + dry * x[i];
            if constexpr (Stereo) y[i] = out * (direct * dR[start + i] + wetGain * tapR[i]) + dry * y[i];
        }
    }
}

void Echo::AfterBlock()
{
    // The running sum can drift by rounding: it is never trusted below 0,
    // when not finite, or to decide that the lines are silent.
    if (!(energy >= 0.0) || !std::isfinite(energy)) energy = Recount();
    if (!params.enable && !gliding && energy < kSilentEnergy) {
        if (running) energy = Recount();
        if (energy < kSilentEnergy) {
            running = false;
            gliding = false;
            dirty = true;
        }
    }
}

void Echo::process(double* x, int n)
{
    if (n <= 0) return;
    if (running) Run<false>(x, nullptr, n);
    AfterBlock();
}

void Echo::process(double* l, double* r, int n)
{
    if (n <= 0) return;
    if (running) Run<true>(l, r, n);
    AfterBlock();
}

}  // namespace tonewright
