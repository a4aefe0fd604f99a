#include "Tonewright.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "ImpulseFile.h"

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

    const struct {
        int id;
        double value;
    } initial[] = {{27, 0}, {26, 1}, {90, 0}, {46, 1}, {47, 0}, {52, 1}, {53, 0}, {59, 1},
                   {60, 0}, {68, 1}, {69, 0}, {76, 1}, {77, 0}, {93, 0}, {91, 0}, {92, 0}};
    for (const auto& p : initial) SetParameter(p.id, p.value);

    // The first block plays these settings as they stand, with no fade from
    // the stages' own defaults and with the cabinet built.
    cabinet.WaitForRebuild();
    Settle();
}

void Tonewright::Settle()
{
    gate.Settle();
    lowcut.Settle();
    wah.Settle();
    sustainer.Settle();
    boost.Settle();
    preamp.Settle();
    preamp_os.Settle();
    poweramp.Settle();
    poweramp_os.Settle();
    eq_pre.Settle();
    eq_post.Settle();
    deep.Settle();
    bright.Settle();
    cabinet.Settle();
    tremolo_pre.Settle();
    tremolo_post.Settle();
    chorus_pre.Settle();
    chorus_post.Settle();
    flanger_pre.Settle();
    flanger_post.Settle();
    phaser_pre.Settle();
    phaser_post.Settle();
    echo_pre.Settle();
    echo_post.Settle();
    reverb.Settle();
    master.Settle();
}

void Tonewright::Reserve(int n)
{
    if (n <= 0) return;
    const int os = 4 * n;  // the largest oversampling factor
    gate.Reserve(n);
    lowcut.Reserve(n);
    wah.Reserve(n);
    sustainer.Reserve(n);
    boost.Reserve(n);
    oversampler.Reserve(n);
    preamp.Reserve(n);
    preamp_os.Reserve(os);
    poweramp.Reserve(n);
    poweramp_os.Reserve(os);
    eq_pre.Reserve(n);
    eq_post.Reserve(n);
    deep.Reserve(n);
    bright.Reserve(n);
    cabinet.Reserve(n);
    tremolo_pre.Reserve(n);
    tremolo_post.Reserve(n);
    chorus_pre.Reserve(n);
    chorus_post.Reserve(n);
    flanger_pre.Reserve(n);
    flanger_post.Reserve(n);
    phaser_pre.Reserve(n);
    phaser_post.Reserve(n);
    echo_pre.Reserve(n);
    echo_post.Reserve(n);
    reverb.Reserve(n);
    master.Reserve(n);
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
        preamp_os.process(oversampler.Buffer(), oversampler.Count());
        poweramp_os.process(oversampler.Buffer(), oversampler.Count());
        oversampler.DownsampleOutput(in, n);
    } else {
        preamp.process(in, n);
        poweramp.process(in, n);
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
    gate.SetFs(rate);
    lowcut.SetFs(rate);
    wah.SetFs(rate);
    sustainer.SetFs(rate);
    boost.SetFs(rate);
    preamp.SetFs(rate);
    poweramp.SetFs(rate);
    oversampler.SetFs(rate);
    // The oversampled pair is told the rate it really runs at. (The
    // oversampler's nominal rate differs from it between the standard rates.)
    const double raised = rate * oversampler.Factor();
    preamp_os.SetFs(raised);
    poweramp_os.SetFs(raised);
    eq_pre.SetFs(rate);
    eq_post.SetFs(rate);
    deep.SetFs(rate);
    bright.SetFs(rate);
    cabinet.SetFs(rate);
    tremolo_pre.SetFs(rate);
    tremolo_post.SetFs(rate);
    chorus_pre.SetFs(rate);
    chorus_post.SetFs(rate);
    flanger_pre.SetFs(rate);
    flanger_post.SetFs(rate);
    phaser_pre.SetFs(rate);
    phaser_post.SetFs(rate);
    echo_pre.SetFs(rate);
    echo_post.SetFs(rate);
    reverb.SetFs(rate);
    master.SetFs(rate);
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
