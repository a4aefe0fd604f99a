// Engine parameter ids 1..94: what each drives, and how normalised values map
// to physical ones and back.

#include <algorithm>
#include <cmath>

#include "dsp/DspMath.h"
#include "dsp/ParameterRules.h"
#include "dsp/RangeHelpers.h"
#include "engine/Tonewright.h"

namespace tonewright {

namespace {

enum class Shape { None, Flag, Direct, Lin, Log, Gain, Step, StepReversed, Window, Master };

struct IdShape {
    Shape shape;
    double a;  // range start, or the number of steps
    double b;  // range end
};

constexpr IdShape kShapes[Tonewright::kLastId + 1] = {
    {Shape::None, 0, 0},
    // gate 1..5
    {Shape::Flag, 0, 0}, {Shape::Lin, -80, -10}, {Shape::Lin, 0, 0.95}, {Shape::Lin, 0.001, 0.05},
    {Shape::Lin, 0.05, 0.25},
    // wah 6..8
    {Shape::Flag, 0, 0}, {Shape::Step, 3, 0}, {Shape::Direct, 0, 0},
    // sustainer 9..13
    {Shape::Flag, 0, 0}, {Shape::Step, 2, 0}, {Shape::Direct, 0, 0}, {Shape::Lin, 0.001, 0.05},
    {Shape::Lin, 0.05, 0.25},
    // preamp 14..19
    {Shape::Flag, 0, 0}, {Shape::Lin, 0.05, 1}, {Shape::Direct, 0, 0}, {Shape::Direct, 0, 0},
    {Shape::Direct, 0, 0}, {Shape::Direct, 0, 0},
    // power amp 20..25
    {Shape::Flag, 0, 0}, {Shape::Step, 3, 0}, {Shape::Gain, -6, 24}, {Shape::Direct, 0, 0},
    {Shape::Direct, 0, 0}, {Shape::Step, 4, 0},
    // equaliser 26..38
    {Shape::Flag, 0, 0}, {Shape::Flag, 0, 0}, {Shape::Step, 3, 0}, {Shape::Lin, -18, 18},
    {Shape::Lin, -18, 18}, {Shape::Lin, -18, 18}, {Shape::Lin, -18, 18}, {Shape::Lin, -18, 18},
    {Shape::Lin, -18, 18}, {Shape::Lin, -18, 18}, {Shape::Lin, -18, 18}, {Shape::Log, 62.5, 10000},
    {Shape::Lin, -18, 18},
    // cabinet 39..45
    {Shape::Flag, 0, 0}, {Shape::Window, 6, 0}, {Shape::Flag, 0, 0}, {Shape::Flag, 0, 0},
    {Shape::Flag, 0, 0}, {Shape::Log, 2500, 8000}, {Shape::Lin, 0.666, 6},
    // tremolo 46..51
    {Shape::Flag, 0, 0}, {Shape::Flag, 0, 0}, {Shape::Log, 0.1, 10}, {Shape::Direct, 0, 0},
    {Shape::Step, 2, 0}, {Shape::Direct, 0, 0},
    // chorus 52..58
    {Shape::Flag, 0, 0}, {Shape::Flag, 0, 0}, {Shape::Step, 3, 0}, {Shape::Log, 0.1, 10},
    {Shape::Direct, 0, 0}, {Shape::Direct, 0, 0}, {Shape::Lin, 0.001, 0.03},
    // flanger 59..67
    {Shape::Flag, 0, 0}, {Shape::Flag, 0, 0}, {Shape::StepReversed, 2, 0}, {Shape::Log, 0.1, 10},
    {Shape::Direct, 0, 0}, {Shape::Lin, 0.0005, 0.004}, {Shape::Direct, 0, 0}, {Shape::Lin, 0, 0.9},
    {Shape::Flag, 0, 0},
    // phaser 68..75
    {Shape::Flag, 0, 0}, {Shape::Flag, 0, 0}, {Shape::StepReversed, 2, 0}, {Shape::Log, 0.1, 10},
    {Shape::Direct, 0, 0}, {Shape::Lin, 1, 3}, {Shape::Lin, 0, 0.9}, {Shape::Step, 3, 0},
    // echo 76..85
    {Shape::Flag, 0, 0}, {Shape::Flag, 0, 0}, {Shape::Step, 2, 0}, {Shape::Lin, 0.01, 1},
    {Shape::Lin, 0, 0.95}, {Shape::Lin, -40, 12}, {Shape::Lin, -40, 12}, {Shape::Direct, 0, 0},
    {Shape::Flag, 0, 0}, {Shape::Flag, 0, 0},
    // reverb 86..88
    {Shape::Flag, 0, 0}, {Shape::Step, 3, 0}, {Shape::Lin, -40, 12},
    // engine switches 89..94
    {Shape::Flag, 0, 0}, {Shape::Step, 3, 0}, {Shape::Flag, 0, 0}, {Shape::Flag, 0, 0},
    {Shape::Flag, 0, 0}, {Shape::Master, 0, 0},
};

constexpr int kWindowSizes[6] = {128, 256, 1024, 4096, 8192, 32768};
constexpr double kLowCutFrequencies[3] = {55.0, 200.0, 400.0};

bool validId(int id) { return id >= Tonewright::kFirstId && id <= Tonewright::kLastId; }

double toPhysical(const IdShape& s, double x)
{
    const int steps = static_cast<int>(s.a);
    switch (s.shape) {
    case Shape::Lin: return range(x, s.a, s.b);
    case Shape::Log: return rangeLog(x, s.a, s.b);
    case Shape::Gain: return rangeDb(x, s.a, s.b);
    case Shape::Step: return position(x, steps) - 1;
    case Shape::StepReversed: return position(1.0 - x, steps) - 1;
    case Shape::Window: return kWindowSizes[std::clamp(position(x, steps) - 1, 0, 5)];
    case Shape::Master: return x >= 0.5 ? range(2.0 * x - 1.0, 0, 18) : range(2.0 * x, -24, 0);
    default: return x;
    }
}

double toNormalised(const IdShape& s, double v)
{
    const int steps = static_cast<int>(s.a);
    switch (s.shape) {
    case Shape::Lin: return irange(v, s.a, s.b);
    case Shape::Log: return irangeLog(v, s.a, s.b);
    case Shape::Gain: return irangeDb(v, s.a, s.b);
    case Shape::Step: return iposition(v + 1.0, steps);
    case Shape::StepReversed: return 1.0 - iposition(v + 1.0, steps);
    case Shape::Window: {
        int step = 1;
        for (int i = 1; i < 6; ++i)
            if (v == kWindowSizes[i]) step = i + 1;
        return iposition(step, steps);
    }
    case Shape::Master: return v < 0.0 ? 0.5 * irange(v, -24, 0) : 0.5 * irange(v, 0, 18) + 0.5;
    default: return v;
    }
}

// Placement ids: P sets `post`, P + 1 sets `enable`.
bool isPlacementId(int id)
{
    switch (id) {
    case 26: case 27: case 46: case 47: case 52: case 53:
    case 59: case 60: case 68: case 69: case 76: case 77:
        return true;
    default:
        return false;
    }
}

template <typename Record>
void applyPlacement(PlacedParameters<Record>& placed, bool isPost, bool on, auto& pre, auto& post)
{
    if (isPost) placed.post = on;
    else placed.enable = on;
    pre.SetParameter(0, flagValue(placed.enable && !placed.post));
    post.SetParameter(0, flagValue(placed.enable && placed.post));
}

// Hands a pair its record with each instance's own on-state already in it,
// so a running instance is never switched off and on again.
template <typename Record>
void applyPair(const PlacedParameters<Record>& placed, auto& pre, auto& post)
{
    Record forPre = placed.parameters;
    Record forPost = placed.parameters;
    forPre.enable = placed.enable && !placed.post;
    forPost.enable = placed.enable && placed.post;
    pre.SetParameters(forPre);
    post.SetParameters(forPost);
}

}  // namespace

void Tonewright::SetParameter(int id, double v)
{
    if (!validId(id) || !std::isfinite(v)) return;
    if (isPlacementId(id)) {
        SetPlacement(id, v);
        return;
    }
    switch (id) {
    case 25: {
        const auto k = roundedInt(v);
        if (k && *k >= 1 && *k <= 3) {
            SetParameter(21, *k - 1);
            SetParameter(20, 1);
        } else {
            SetParameter(20, 0);
        }
        return;
    }
    case 78:
        echo_pre.SetParameter(1, 0);
        echo_post.SetParameter(1, v);
        parameters.echo.parameters = echo_post.GetParameters();
        return;
    case 89:
        parameters.upsampler_enabled = v >= 0.5;
        return;
    case 90: {
        const auto k = roundedIntIn(v, 0, 2);
        if (!k) return;
        parameters.lowcut_type = *k;
        lowcut.SetParameter(2, kLowCutFrequencies[*k]);
        return;
    }
    case 91:
        deep.SetParameter(0, v);
        parameters.deep_enabled = deep.GetParameter(0) != 0.0;
        return;
    case 92:
        bright.SetParameter(0, v);
        parameters.bright_enabled = bright.GetParameter(0) != 0.0;
        return;
    case 93:
        boost.SetParameter(0, v);
        parameters.boost_enabled = boost.GetParameter(0) != 0.0;
        return;
    case 94:
        parameters.master_level = v;
        master.SetParameter(4, v);
        return;
    default:
        SetStageParameter(id, v);
    }
}

void Tonewright::SetPlacement(int id, double v)
{
    const bool on = v >= 0.5;
    auto& p = parameters;
    // The placement id P sets `post`, P + 1 sets `enable`.
    auto place = [on](int first, int which, auto& placed, auto& pre, auto& post, const auto& readBack) {
        applyPlacement(placed, which == first, on, pre, post);
        placed.parameters = readBack.GetParameters();
    };
    switch (id) {
    case 26: case 27: place(26, id, p.eq, eq_pre, eq_post, eq_pre); break;
    case 46: case 47: place(46, id, p.tremolo, tremolo_pre, tremolo_post, tremolo_pre); break;
    case 52: case 53: place(52, id, p.chorus, chorus_pre, chorus_post, chorus_pre); break;
    case 59: case 60: place(59, id, p.flanger, flanger_pre, flanger_post, flanger_pre); break;
    case 68: case 69: place(68, id, p.phaser, phaser_pre, phaser_post, phaser_pre); break;
    case 76: case 77: place(76, id, p.echo, echo_pre, echo_post, echo_post); break;
    default: break;
    }
}

void Tonewright::SetStageParameter(int id, double v)
{
    auto& p = parameters;
    if (id <= 5) {
        gate.SetParameter(id - 1, v);
        p.gate = gate.GetParameters();
    } else if (id <= 8) {
        wah.SetParameter(id - 6, v);
        p.wah = wah.GetParameters();
    } else if (id <= 13) {
        sustainer.SetParameter(id - 9, v);
        p.sustainer = sustainer.GetParameters();
    } else if (id <= 19) {
        preamp.SetParameter(id - 14, v);
        preamp_os.SetParameter(id - 14, v);
        p.preamp = preamp.GetParameters();
    } else if (id <= 24) {
        poweramp.SetParameter(id - 20, v);
        poweramp_os.SetParameter(id - 20, v);
        p.poweramp = poweramp.GetParameters();
    } else if (id <= 38) {
        // type 28; bands 29..35; output level 36; mid frequency 37; mid level 38
        static constexpr int kEqIndex[] = {1, 2, 3, 4, 5, 6, 7, 8, 12, 9, 11};
        const int index = kEqIndex[id - 28];
        eq_pre.SetParameter(index, v);
        eq_post.SetParameter(index, v);
        p.eq.parameters = eq_pre.GetParameters();
    } else if (id <= 45) {
        cabinet.SetParameter(id - 39, v);
        cabinet.GetSettings(&p.cabinet);  // these ids never change the impulse
    } else if (id <= 51) {
        // speed 48, depth 49, type 50, waveform 51
        static constexpr int kTremoloIndex[] = {2, 3, 1, 4};
        const int index = kTremoloIndex[id - 48];
        tremolo_pre.SetParameter(index, v);
        tremolo_post.SetParameter(index, v);
        p.tremolo.parameters = tremolo_pre.GetParameters();
    } else if (id <= 58) {
        chorus_pre.SetParameter(id - 53, v);
        chorus_post.SetParameter(id - 53, v);
        p.chorus.parameters = chorus_pre.GetParameters();
    } else if (id <= 67) {
        flanger_pre.SetParameter(id - 60, v);
        flanger_post.SetParameter(id - 60, v);
        p.flanger.parameters = flanger_pre.GetParameters();
    } else if (id <= 75) {
        phaser_pre.SetParameter(id - 69, v);
        phaser_post.SetParameter(id - 69, v);
        p.phaser.parameters = phaser_pre.GetParameters();
    } else if (id <= 85) {
        echo_pre.SetParameter(id - 77, v);
        echo_post.SetParameter(id - 77, v);
        p.echo.parameters = echo_post.GetParameters();
    } else if (id <= 88) {
        reverb.SetParameter(id - 86, v);
        p.reverb = reverb.GetParameters();
    }
}

void Tonewright::SetParameterNormalized(int id, double x)
{
    if (!validId(id) || std::isnan(x)) return;
    x = std::clamp(x, 0.0, 1.0);
    SetParameter(id, toPhysical(kShapes[id], x));
}

double Tonewright::GetParameter(int id) const
{
    const auto& p = parameters;
    const auto& eq = p.eq.parameters;
    const auto& tr = p.tremolo.parameters;
    const auto& ch = p.chorus.parameters;
    const auto& fl = p.flanger.parameters;
    const auto& ph = p.phaser.parameters;
    const auto& ec = p.echo.parameters;
    switch (id) {
    case 1: return flagValue(p.gate.enable);
    case 2: return p.gate.threshold;
    case 3: return p.gate.gating;
    case 4: return p.gate.attack;
    case 5: return p.gate.release;
    case 6: return flagValue(p.wah.enable);
    case 7: return p.wah.type;
    case 8: return p.wah.pedal;
    case 9: return flagValue(p.sustainer.enable);
    case 10: return p.sustainer.type;
    case 11: return p.sustainer.amount;
    case 12: return p.sustainer.attack;
    case 13: return p.sustainer.release;
    case 14: return flagValue(p.preamp.enable);
    case 15: return p.preamp.gainControl.wiper;
    case 16: return p.preamp.toneControl.bass;
    case 17: return p.preamp.toneControl.mids;
    case 18: return p.preamp.toneControl.treble;
    case 19: return p.preamp.toneControl.presence;
    case 20: return flagValue(p.poweramp.enable);
    case 21: return p.poweramp.type;
    case 22: return p.poweramp.drive;
    case 23: return p.poweramp.bias;
    case 24: return p.poweramp.dynamics;
    case 25: return p.poweramp.enable ? p.poweramp.type + 1 : 0;
    case 26: return flagValue(p.eq.post);
    case 27: return flagValue(p.eq.enable);
    case 28: return eq.type;
    case 29: return eq.band1;
    case 30: return eq.band2;
    case 31: return eq.band3;
    case 32: return eq.band4;
    case 33: return eq.band5;
    case 34: return eq.band6;
    case 35: return eq.band7;
    case 36: return eq.level;
    case 37: return eq.parametric_frequency;
    case 38: return eq.parametric_level;
    case 39: return flagValue(p.cabinet.enable);
    case 40: return p.cabinet.windowsize;
    case 41: return flagValue(p.cabinet.minphase);
    case 42: return flagValue(p.cabinet.forcedmono);
    case 43: return flagValue(p.cabinet.dibox.enable);
    case 44: return p.cabinet.dibox.frequency;
    case 45: return p.cabinet.dibox.q;
    case 46: return flagValue(p.tremolo.post);
    case 47: return flagValue(p.tremolo.enable);
    case 48: return tr.speed;
    case 49: return tr.depth;
    case 50: return tr.type;
    case 51: return tr.waveform;
    case 52: return flagValue(p.chorus.post);
    case 53: return flagValue(p.chorus.enable);
    case 54: return ch.type;
    case 55: return ch.speed;
    case 56: return ch.depth;
    case 57: return ch.mix;
    case 58: return ch.delay;
    case 59: return flagValue(p.flanger.post);
    case 60: return flagValue(p.flanger.enable);
    case 61: return fl.type;
    case 62: return fl.speed;
    case 63: return fl.depth;
    case 64: return fl.delay;
    case 65: return fl.sweep;
    case 66: return fl.regeneration;
    case 67: return flagValue(fl.phase);
    case 68: return flagValue(p.phaser.post);
    case 69: return flagValue(p.phaser.enable);
    case 70: return ph.type;
    case 71: return ph.speed;
    case 72: return ph.depth;
    case 73: return ph.sweep;
    case 74: return ph.regeneration;
    case 75: return ph.stages;
    case 76: return flagValue(p.echo.post);
    case 77: return flagValue(p.echo.enable);
    case 78: return ec.type;
    case 79: return ec.delay;
    case 80: return ec.feedback;
    case 81: return ec.directlevel;
    case 82: return ec.delaylevel;
    case 83: return ec.style;
    case 84: return flagValue(ec.filter_input);
    case 85: return flagValue(ec.tails_on);
    case 86: return flagValue(p.reverb.enable);
    case 87: return p.reverb.type;
    case 88: return p.reverb.level;
    case 89: return flagValue(p.upsampler_enabled);
    case 90: return p.lowcut_type;
    case 91: return flagValue(p.deep_enabled);
    case 92: return flagValue(p.bright_enabled);
    case 93: return flagValue(p.boost_enabled);
    case 94: return p.master_level;
    default: return 0.0;
    }
}

double Tonewright::GetParameterNormalized(int id) const
{
    if (!validId(id)) return 0.0;
    const double x = toNormalised(kShapes[id], GetParameter(id));
    // Hosts only ever see 0..1.
    if (std::isnan(x)) return 0.0;
    return std::clamp(x, 0.0, 1.0);
}

void Tonewright::ApplySettings(const TonewrightParameters* src)
{
    if (!src) return;
    auto& own = parameters;

    gate.SetParameters(src->gate);
    own.gate = gate.GetParameters();
    wah.SetParameters(src->wah);
    own.wah = wah.GetParameters();
    sustainer.SetParameters(src->sustainer);
    own.sustainer = sustainer.GetParameters();

    preamp.SetParameters(src->preamp);
    preamp_os.SetParameters(src->preamp);
    own.preamp = preamp.GetParameters();

    poweramp.SetParameters(src->poweramp);
    poweramp_os.SetParameters(src->poweramp);
    own.poweramp = poweramp.GetParameters();

    // A pair gets its record (each instance with its own on-state), then its
    // placement flags; the record is read back from `readBack`.
    auto applyPlaced = [this](const auto& placed, auto& pre, auto& post, int placementId, auto& readInto,
                              const auto& readBack) {
        const auto copy = placed;  // `placed` may be part of the engine's own record
        applyPair(copy, pre, post);
        SetParameter(placementId, flagValue(copy.post));
        SetParameter(placementId + 1, flagValue(copy.enable));
        readInto = readBack.GetParameters();
    };

    applyPlaced(src->eq, eq_pre, eq_post, 26, own.eq.parameters, eq_pre);

    cabinet.SetParameters(&src->cabinet);
    cabinet.GetParameters(&own.cabinet);

    applyPlaced(src->tremolo, tremolo_pre, tremolo_post, 46, own.tremolo.parameters, tremolo_pre);
    applyPlaced(src->chorus, chorus_pre, chorus_post, 52, own.chorus.parameters, chorus_pre);
    applyPlaced(src->flanger, flanger_pre, flanger_post, 59, own.flanger.parameters, flanger_pre);
    applyPlaced(src->phaser, phaser_pre, phaser_post, 68, own.phaser.parameters, phaser_pre);
    {
        // The pre-amplifier echo always runs type 0.
        const auto placed = src->echo;
        EchoParameters forPre = placed.parameters;
        EchoParameters forPost = placed.parameters;
        forPre.enable = placed.enable && !placed.post;
        forPre.type = 0;
        forPost.enable = placed.enable && placed.post;
        echo_pre.SetParameters(forPre);
        echo_post.SetParameters(forPost);
        SetParameter(76, flagValue(placed.post));
        SetParameter(77, flagValue(placed.enable));
        own.echo.parameters = echo_post.GetParameters();
    }

    reverb.SetParameters(src->reverb);
    own.reverb = reverb.GetParameters();

    const bool boostOn = src->boost_enabled;
    const bool deepOn = src->deep_enabled;
    const bool brightOn = src->bright_enabled;
    const int lowcutType = src->lowcut_type;
    const double masterLevel = src->master_level;
    SetParameter(93, flagValue(boostOn));
    SetParameter(91, flagValue(deepOn));
    SetParameter(92, flagValue(brightOn));
    SetParameter(90, lowcutType);
    SetParameter(94, masterLevel);
}

void Tonewright::RefreshRecord()
{
    auto& p = parameters;
    p.gate = gate.GetParameters();
    p.wah = wah.GetParameters();
    p.sustainer = sustainer.GetParameters();
    p.preamp = preamp.GetParameters();
    p.poweramp = poweramp.GetParameters();
    cabinet.GetParameters(&p.cabinet);
    p.eq.parameters = eq_pre.GetParameters();
    p.tremolo.parameters = tremolo_pre.GetParameters();
    p.chorus.parameters = chorus_pre.GetParameters();
    p.flanger.parameters = flanger_pre.GetParameters();
    p.phaser.parameters = phaser_pre.GetParameters();
    p.echo.parameters = echo_post.GetParameters();
    p.reverb = reverb.GetParameters();
}

TonewrightParameters* Tonewright::GetParameters()
{
    RefreshRecord();
    return &parameters;
}

}  // namespace tonewright
