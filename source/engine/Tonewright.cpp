#include "engine/Tonewright.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "amp/Amplifier.h"
#include "cabinet/ImpulseFile.h"

namespace tonewright {

namespace {

struct FixedFilter {
    int type;
    double frequency;
    double q;
    double level;
};

void applyFixed(Filter& f, const FixedFilter& s)
{
    f.SetParameter(1, s.type);
    f.SetParameter(2, s.frequency);
    f.SetParameter(3, s.q);
    f.SetParameter(4, s.level);
}

}  // namespace

Tonewright::Tonewright()
{
    SetFs(44100.0);
    applyFixed(lowcut, {Filter::kHighPass1, 55.0, 0.7071, 0.0});
    applyFixed(boost, {Filter::kGain, 1000.0, 0.7071, 12.0});
    applyFixed(deep, {Filter::kLowShelf1, 100.0, 0.7071, 12.0});
    applyFixed(bright, {Filter::kHighShelf1, 4000.0, 0.7071, 12.0});
    applyFixed(master, {Filter::kGain, 1000.0, 0.7071, 0.0});

    SetParameters(&parameters);

    // Switches off the pairs (placed post), the three switches and the low
    // cut's higher corners, in id order.
    for (const ParameterDescriptor& row : kParameterTable)
        if (row.initial) SetParameter(row.id, *row.initial);

    // The first block plays these settings as they stand, with no fade from
    // the stages' own defaults and with the cabinet built.
    cabinet.WaitForRebuild();
    Settle();
}

void Tonewright::Settle()
{
    forEachStage(*this, [](Stage auto& stage, Clock) { stage.Settle(); });
}

void Tonewright::Reserve(int n)
{
    if (n <= 0) return;
    forEachStage(*this, [n](Stage auto& stage, Clock clock) {
        stage.Reserve(clock == Clock::oversampled ? Oversampler::kMaxFactor * n : n);
    });
}

void Tonewright::process(double* in, double* outL, double* outR, int n)
{
    if (n <= 0) return;

    gate.process_input(in, n);
    gate.process(in, n);
    lowcut.process(in, n);
    wah.process(in, n);
    sustainer.process(in, n);

    chorus_pre.process(in, n);
    flanger_pre.process(in, n);
    phaser_pre.process(in, n);
    tremolo_pre.process(in, n);
    echo_pre.process(in, n);

    boost.process(in, n);
    eq_pre.process(in, n);

    if (parameters.upsampler_enabled) {
        oversampler.UpsampleInput(in, n);
        runAmplifier(preamp_os, poweramp_os, oversampler.Buffer(), oversampler.Count());
        oversampler.DownsampleOutput(in, n);
    } else {
        runAmplifier(preamp, poweramp, in, n);
    }

    eq_post.process(in, n);
    deep.process(in, n);
    bright.process(in, n);

    cabinet.process(in, outL, outR, n);

    chorus_post.process(outL, outR, n);
    flanger_post.process(outL, outR, n);
    phaser_post.process(outL, outR, n);
    tremolo_post.process(outL, outR, n);
    echo_post.process(outL, outR, n);

    reverb.process(outL, outR, n);
    master.process(outL, outR, n);
}

void Tonewright::SetFs(double rate)
{
    if (!(rate > 0.0) || !std::isfinite(rate) || rate == fs) return;
    fs = rate;
    // The oversampled stages are told the rate they really run at, which the
    // oversampler (earlier in the list) has just chosen. It differs from the
    // oversampler's nominal rate between the standard rates.
    forEachStage(*this, [this, rate](Stage auto& stage, Clock clock) {
        stage.SetFs(clock == Clock::oversampled ? rate * oversampler.Factor() : rate);
    });
}

void Tonewright::SetPreamp(const PreampParameters* p)
{
    if (!p) return;
    const PreampParameters copy = *p;  // p may be the engine's own record
    preamp.SetPreamp(copy);
    preamp_os.SetPreamp(copy);
    parameters.preamp = preamp.GetParameters();
}

void Tonewright::ReloadPreamp() { SetPreamp(&parameters.preamp); }

bool Tonewright::SetCabinetImpulse(const double* left, const double* right, int length, bool mono,
                                   double samplerate, const char* name)
{
    if (!cabinet.SetImpulse(left, right, length, mono, samplerate, name)) return false;
    cabinet.GetParameters(&parameters.cabinet);
    return true;
}

bool Tonewright::SetCabinetImpulse(CabinetImpulse&& impulse)
{
    if (!cabinet.SetImpulse(std::move(impulse))) return false;
    cabinet.GetParameters(&parameters.cabinet);
    return true;
}

bool Tonewright::SetCabinetImpulse(const char* path)
{
    std::vector<double> left, right;
    int length = 0;
    int rate = 0;
    bool mono = true;
    CabinetImpulse impulse;
    if (!path || !LoadImpulse(path, &left, &right, &length, &rate, &mono) ||
        !impulse.Prepare(left.data(), right.data(), length, mono, static_cast<double>(rate), fname(path)))
        return false;
    return SetCabinetImpulse(std::move(impulse));
}

const char* fname(const char* path)
{
    if (!path) return path;
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

}  // namespace tonewright
