#include "engine/Tonewright.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "amp/Amplifier.h"
#include "cabinet/ImpulseFile.h"
#include "dsp/DspMath.h"
#include "dsp/AudioThread.h"

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

bool pureGain(const Filter::Kernel& k) { return k.B1 == 0.0 && k.B2 == 0.0 && k.A1 == 0.0 && k.A2 == 0.0; }

// A steady section whose only coefficient is B0 gives guard(B0 x) for every
// sample whatever its memory holds, so the block runs as independent
// products instead of one recursion; the memory is left as the recursion
// would leave it.
void runGain(Filter::Kernel& k, double* x, int n)
{
    const double g = k.B0;
    const double x2 = n >= 2 ? x[n - 2] : k.x1;
    const double x1 = x[n - 1];
    for (int i = 0; i < n; ++i) x[i] = denormalGuard(g * x[i]);
    k.y2 = n >= 2 ? x[n - 2] : k.y1;
    k.y1 = x[n - 1];
    k.x2 = x2;
    k.x1 = x1;
}

void processGain(Filter& f, double* x, int n)
{
    if (n > 0 && f.Steady()) {
        Filter::Kernel k = f.Load();
        if (pureGain(k)) {
            runGain(k, x, n);
            f.Store(k);
            return;
        }
    }
    f.process(x, n);
}

// A steady section with its last output's term joining last, so that a
// sample waits for one product, one sum and the guard's subtraction instead
// of the whole sum; the same value but for rounding.
void processShortLoop(Filter& f, double* x, int n)
{
    if (n <= 0 || !f.Steady()) {
        f.process(x, n);
        return;
    }
    Filter::Kernel k = f.Load();
    const double b0 = k.B0, b1 = k.B1, b2 = k.B2, a1 = k.A1, a2 = k.A2;
    double x1 = k.x1, x2 = k.x2, y1 = k.y1, y2 = k.y2;
    for (int i = 0; i < n; ++i) {
        const double in = x[i];
        const double y = guardedSum(a1 * y1, b0 * in + b1 * x1 + b2 * x2 + a2 * y2);
        x2 = x1;
        x1 = in;
        y2 = y1;
        y1 = y;
        x[i] = y;
    }
    k.x1 = x1, k.x2 = x2, k.y1 = y1, k.y2 = y2;
    f.Store(k);
}

void processGain(Filter& f, double* l, double* r, int n)
{
    if (n > 0 && f.Steady()) {
        Filter::Kernel kl = f.Load(false), kr = f.Load(true);
        if (pureGain(kl) && pureGain(kr)) {
            runGain(kl, l, n);
            runGain(kr, r, n);
            f.Store(kl, false);
            f.Store(kr, true);
            return;
        }
    }
    f.process(l, r, n);
}

}  // namespace

Tonewright::Tonewright(double rate, CabinetProcessor::Worker cabinetWorker) : cabinet(cabinetWorker)
{
    SetFs(rate > 0.0 && std::isfinite(rate) ? rate : 44100.0);
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
    Settle();
}

void Tonewright::Settle()
{
    cabinet.WaitForRebuild();
    forEachStage(*this, [](Stage auto& stage, Clock) { stage.Settle(); });
}

void Tonewright::EndFades()
{
    forEachStage(*this, [](Stage auto& stage, Clock) { stage.Settle(); });
}

Tonewright::PreparedSound Tonewright::PrepareSound(const TonewrightParameters& sound, double rate)
{
    CheckOffAudioThread("preparing a sound");
    PreparedSound prepared{sound, nullptr};
    // Kept in the impulse, so every later switch to this impulse at this
    // rate finds it done.
    prepared.cabinet = CabinetProcessor::Prepare(prepared.record.cabinet, rate);
    return prepared;
}

Tonewright::Replaced Tonewright::CommitSound(const PreparedSound& sound)
{
    // Held here, the replaced impulses outlive the commit whatever else
    // lets go of them.
    Replaced replaced{{parameters.cabinet.Impulse(), cabinet.Impulse()}};
    ApplySettings(&sound.record, sound.cabinet.get());
    return replaced;
}

Tonewright::Replaced Tonewright::CommitWholeSound(const PreparedSound& sound)
{
    Replaced replaced = CommitSound(sound);
    parameters.enable = sound.record.enable;
    for (const ParameterDescriptor& row : kParameterTable)
        if (row.route == Route::record) SetParameter(row.id, row.field.read(sound.record));
    return replaced;
}

void Tonewright::SetParameters(TonewrightParameters* p)
{
    if (!p) return;
    const PreparedSound prepared = PrepareSound(*p);
    const Replaced replaced = CommitSound(prepared);
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
    // The stages before the cabinet take a long block in slices, so that
    // what one leaves in its buffers (the oversampled block above all) is
    // still in the cache when the next reads it; the cabinet's convolver
    // and what follows it do better on the whole block.
    for (int at = 0; at < n; at += kSlice) processFront(in + at, std::min(kSlice, n - at));

    cabinet.process(in, outL, outR, n);

    chorus_post.process(outL, outR, n);
    flanger_post.process(outL, outR, n);
    phaser_post.process(outL, outR, n);
    tremolo_post.process(outL, outR, n);
    echo_post.process(outL, outR, n);

    reverb.process(outL, outR, n);
    processGain(master, outL, outR, n);
}

void Tonewright::processFront(double* in, int n)
{
    gate.process_input(in, n);
    gate.process(in, n);
    processShortLoop(lowcut, in, n);
    wah.process(in, n);
    sustainer.process(in, n);

    chorus_pre.process(in, n);
    flanger_pre.process(in, n);
    phaser_pre.process(in, n);
    tremolo_pre.process(in, n);
    echo_pre.process(in, n);

    processGain(boost, in, n);
    eq_pre.process(in, n);

    if (parameters.upsampler_enabled) {
        oversampler.UpsampleInput(in, n);
        runAmplifier(preamp_os, poweramp_os, oversampler.Buffer(), oversampler.Count());
        oversampler.DownsampleOutput(in, n);
    } else {
        runAmplifier(preamp, poweramp, in, n);
    }

    // The equaliser and the shelves side by side, as one skewed cascade.
    Filter* const shelves[] = {&deep, &bright};
    if (!eq_post.processThen(shelves, 2, in, n)) {
        eq_post.process(in, n);
        if (!Filter::processShortCascade(shelves, 2, in, n)) Filter::processCascade(shelves, 2, in, n);
    }
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
    auto made = CabinetImpulse::Make(left, right, length, mono,
                                     samplerate > 0.0 && std::isfinite(samplerate) ? samplerate : fs, name);
    if (!made) return false;
    const Replaced replaced = SwapCabinetImpulse(std::move(made));
    return true;
}

bool Tonewright::SetCabinetImpulse(const char* path)
{
    std::vector<double> left, right;
    int length = 0;
    int rate = 0;
    bool mono = true;
    if (!path || !LoadImpulse(path, &left, &right, &length, &rate, &mono)) return false;
    return SetCabinetImpulse(left.data(), right.data(), length, mono, static_cast<double>(rate), fname(path));
}

Tonewright::Replaced Tonewright::SwapCabinetImpulse(std::shared_ptr<const CabinetImpulse> impulse)
{
    if (!impulse) return {};
    Replaced replaced{{parameters.cabinet.Impulse(), cabinet.SwapImpulse(std::move(impulse))}};
    cabinet.GetParameters(&parameters.cabinet);
    return replaced;
}

const char* fname(const char* path)
{
    if (!path) return path;
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

}  // namespace tonewright
