// Engine parameter ids 1..94: what each drives, through the shapes of the
// parameter table (ParameterTable.cpp maps normalised values and back).

#include <algorithm>
#include <cmath>

#include "dsp/DspMath.h"
#include "dsp/ParameterRules.h"
#include "engine/ParameterTable.h"
#include "engine/Tonewright.h"

namespace tonewright {

namespace {

bool validId(int id) { return id >= Tonewright::kFirstId && id <= Tonewright::kLastId; }

// One stage, or the amplifier at both rates, which always take the same
// settings; the record reads back from the first.
template <typename S, typename R>
struct Stages {
    S& first;
    S* second;
    R& record;

    void Set(int index, double v)
    {
        first.SetParameter(index, v);
        if (second) second->SetParameter(index, v);
    }
    void ReadBack() { record = first.GetParameters(); }
    void Refresh() { ReadBack(); }
    // The stage's whole record from src.
    void Apply(const TonewrightParameters& src)
    {
        const R& from = record_fields::part(src, record_fields::Tag<R>{});
        first.SetParameters(from);
        if (second) second->SetParameters(from);
        ReadBack();
    }
};

template <typename S, typename R>
Stages<S, R> single(S& stage, R& record)
{
    return {stage, nullptr, record};
}

template <typename S, typename R>
Stages<S, R> bothRates(S& base, S& oversampled, R& record)
{
    return {base, &oversampled, record};
}

// A pair before and after the amplifier with its placement; the record reads
// back from `reads`.
template <typename S, typename R>
struct Pair {
    S& pre;
    S& post;
    const S& reads;
    PlacedParameters<R>& placed;

    void Set(int index, double v)
    {
        pre.SetParameter(index, v);
        post.SetParameter(index, v);
    }
    void SetHoldingPreAtZero(int index, double v)
    {
        pre.SetParameter(index, 0);
        post.SetParameter(index, v);
    }
    // At most one instance runs: pre when enabled and not post, post when
    // enabled and post.
    void Place()
    {
        pre.SetParameter(kOnIndex, flagValue(placed.enable && !placed.post));
        post.SetParameter(kOnIndex, flagValue(placed.enable && placed.post));
    }
    void ReadBack() { placed.parameters = reads.GetParameters(); }
    void Refresh() { ReadBack(); }
    // The pair's record from src, each instance given its own on-state so a
    // running one is never switched off and on again; then the placement,
    // post first, as the placement ids would set it.
    void Apply(const TonewrightParameters& src)
    {
        const PlacedParameters<R> from = record_fields::part(src, record_fields::Tag<PlacedParameters<R>>{});
        R forPre = from.parameters;
        R forPost = from.parameters;
        forPre.enable = from.enable && !from.post;
        forPost.enable = from.enable && from.post;
        // The pre-amplifier echo always runs type 0.
        if constexpr (std::is_same_v<R, EchoParameters>) forPre.type = 0;
        pre.SetParameters(forPre);
        post.SetParameters(forPost);
        placed.post = from.post;
        Place();
        ReadBack();
        placed.enable = from.enable;
        Place();
        ReadBack();
    }
};

template <typename S, typename R>
Pair<S, R> pair(S& pre, S& post, const S& reads, PlacedParameters<R>& placed)
{
    return {pre, post, reads, placed};
}

struct CabinetStage {
    CabinetProcessor& cabinet;
    CabinetProcessorParameters& record;
    const CabinetImpulse::Prepared* prepared;  // what a commit brings for the record's impulse

    void Set(int index, double v) { cabinet.SetParameter(index, v); }
    void ReadBack() { cabinet.GetSettings(&record); }  // these ids never change the impulse
    void Refresh() { cabinet.GetParameters(&record); }
    void Apply(const TonewrightParameters& src)
    {
        cabinet.CommitPrepared(src.cabinet, prepared);
        Refresh();
    }
};

// Every unit with a stage, in chain order.
template <typename F>
void forEachStageUnit(F&& f)
{
    for (int u = int(Unit::gate); u <= int(Unit::reverb); ++u) f(Unit(u));
}

// Sets, in id order, every id whose row `picks` to its field's value in src.
template <typename Pick>
void setFromRecord(Tonewright& engine, const TonewrightParameters& src, Pick picks)
{
    for (const ParameterDescriptor& row : kParameterTable)
        if (row.route != Route::none && picks(row)) engine.SetParameter(row.id, row.field.read(src));
}

}  // namespace

template <typename F>
void Tonewright::visitStage(Unit unit, F&& f)
{
    auto& p = parameters;
    switch (unit) {
    case Unit::gate: f(single(gate, p.gate)); return;
    case Unit::wah: f(single(wah, p.wah)); return;
    case Unit::sustainer: f(single(sustainer, p.sustainer)); return;
    case Unit::preamp: f(bothRates(preamp, preamp_os, p.preamp)); return;
    case Unit::poweramp: f(bothRates(poweramp, poweramp_os, p.poweramp)); return;
    case Unit::eq: f(pair(eq_pre, eq_post, eq_pre, p.eq)); return;
    case Unit::cabinet: f(CabinetStage{cabinet, p.cabinet, committingCabinet}); return;
    case Unit::tremolo: f(pair(tremolo_pre, tremolo_post, tremolo_pre, p.tremolo)); return;
    case Unit::chorus: f(pair(chorus_pre, chorus_post, chorus_pre, p.chorus)); return;
    case Unit::flanger: f(pair(flanger_pre, flanger_post, flanger_pre, p.flanger)); return;
    case Unit::phaser: f(pair(phaser_pre, phaser_post, phaser_pre, p.phaser)); return;
    case Unit::echo: f(pair(echo_pre, echo_post, echo_post, p.echo)); return;
    case Unit::reverb: f(single(reverb, p.reverb)); return;
    default: return;
    }
}

Filter* Tonewright::EngineFilter(Unit unit)
{
    switch (unit) {
    case Unit::lowcut: return &lowcut;
    case Unit::deep: return &deep;
    case Unit::bright: return &bright;
    case Unit::boost: return &boost;
    case Unit::master: return &master;
    default: return nullptr;
    }
}

void Tonewright::SetParameter(int id, double v)
{
    if (!validId(id) || !std::isfinite(v)) return;
    const ParameterDescriptor& row = kParameterTable[size_t(id)];
    switch (row.route) {
    case Route::stage:
        visitStage(row.unit, [&](auto stage) {
            stage.Set(row.index, v);
            stage.ReadBack();
        });
        return;
    case Route::preHeldAtZero:
        visitStage(row.unit, [&](auto stage) {
            if constexpr (requires { stage.SetHoldingPreAtZero(0, 0.0); }) {
                stage.SetHoldingPreAtZero(row.index, v);
                stage.ReadBack();
            }
        });
        return;
    case Route::selector: {
        // 0 is off (the type stays), 1..n - 1 on with type k - 1.
        const auto k = roundedIntIn(v, 1, static_cast<int>(row.shape.a) - 1);
        visitStage(row.unit, [&](auto stage) {
            if (k) stage.Set(row.index, *k - 1);
            stage.Set(kOnIndex, flagValue(k.has_value()));
            stage.ReadBack();
        });
        return;
    }
    case Route::placement:
        row.field.write(parameters, v);
        visitStage(row.unit, [](auto stage) {
            if constexpr (requires { stage.Place(); }) {
                stage.Place();
                stage.ReadBack();
            }
        });
        return;
    case Route::record:
        row.field.write(parameters, v);
        return;
    case Route::corner: {
        const auto k = roundedIntIn(v, 0, static_cast<int>(std::size(kLowCutCorners)) - 1);
        if (!k) return;
        row.field.write(parameters, *k);
        EngineFilter(row.unit)->SetParameter(row.index, kLowCutCorners[*k]);
        return;
    }
    case Route::filterSwitch:
    case Route::filterLevel: {
        // The record shows what the filter took (a level beyond its range
        // is stored as the range's end).
        Filter& filter = *EngineFilter(row.unit);
        filter.SetParameter(row.index, v);
        const double taken = filter.GetParameter(row.index);
        row.field.write(parameters, row.route == Route::filterSwitch ? flagValue(taken != 0.0) : taken);
        return;
    }
    case Route::none:
        return;
    }
}

void Tonewright::SetParameterNormalized(int id, double x)
{
    if (!validId(id) || std::isnan(x)) return;
    x = std::clamp(x, 0.0, 1.0);
    SetParameter(id, ShapeToPhysical(kParameterTable[size_t(id)].shape, x));
}

double Tonewright::GetParameter(int id) const
{
    return validId(id) ? kParameterTable[size_t(id)].field.read(parameters) : 0.0;
}

double Tonewright::GetParameterNormalized(int id) const { return RecordParameterNormalized(parameters, id); }

double RecordParameterNormalized(const TonewrightParameters& record, int id)
{
    if (!validId(id)) return 0.0;
    const ParameterDescriptor& row = kParameterTable[size_t(id)];
    const double x = ShapeToNormalised(row.shape, row.field.read(record));
    // Hosts only ever see 0..1.
    if (std::isnan(x)) return 0.0;
    return std::clamp(x, 0.0, 1.0);
}

namespace {

// The row that drives `index` of `unit` through its stage.
const ParameterDescriptor* stageRow(Unit unit, int index)
{
    for (const ParameterDescriptor& row : kParameterTable)
        if (row.unit == unit && row.index == index && row.route == Route::stage) return &row;
    return nullptr;
}

// A pair's own record shows the instance it reads back from: on when the
// pair is on at that instance's place (the echo reads its post instance,
// the others their pre one).
template <typename R>
void placeRecord(PlacedParameters<R>& placed, bool readsPost)
{
    placed.parameters.enable = placed.enable && placed.post == readsPost;
}

void placeRecord(TonewrightParameters& r, Unit unit)
{
    switch (unit) {
    case Unit::eq: placeRecord(r.eq, false); return;
    case Unit::tremolo: placeRecord(r.tremolo, false); return;
    case Unit::chorus: placeRecord(r.chorus, false); return;
    case Unit::flanger: placeRecord(r.flanger, false); return;
    case Unit::phaser: placeRecord(r.phaser, false); return;
    case Unit::echo: placeRecord(r.echo, true); return;
    default: return;
    }
}

}  // namespace

void ApplyParameterNormalized(TonewrightParameters& record, int id, double x)
{
    if (!validId(id) || std::isnan(x)) return;
    const ParameterDescriptor& row = kParameterTable[size_t(id)];
    const double v = ShapeToPhysical(row.shape, std::clamp(x, 0.0, 1.0));
    if (!std::isfinite(v)) return;
    switch (row.route) {
    case Route::stage:
    case Route::preHeldAtZero:
    case Route::record: row.field.write(record, v); return;
    case Route::selector: {
        const auto k = roundedIntIn(v, 1, static_cast<int>(row.shape.a) - 1);
        if (const ParameterDescriptor* type = stageRow(row.unit, row.index); type && k) type->field.write(record, *k - 1);
        if (const ParameterDescriptor* on = stageRow(row.unit, kOnIndex)) on->field.write(record, flagValue(k.has_value()));
        return;
    }
    case Route::placement:
        row.field.write(record, v);
        placeRecord(record, row.unit);
        return;
    case Route::corner:
        if (const auto k = roundedIntIn(v, 0, static_cast<int>(std::size(kLowCutCorners)) - 1))
            row.field.write(record, *k);
        return;
    case Route::filterSwitch: row.field.write(record, flagValue(v >= 0.5)); return;
    case Route::filterLevel: row.field.write(record, std::clamp(v, kLowestLevelDb, kHighestLevelDb)); return;
    case Route::none: return;
    }
}

void Tonewright::ApplySettings(const TonewrightParameters* src, const CabinetImpulse::Prepared* cabinetPrepared)
{
    if (!src) return;
    committingCabinet = cabinetPrepared;
    forEachStageUnit([&](Unit unit) { visitStage(unit, [&](auto stage) { stage.Apply(*src); }); });
    committingCabinet = nullptr;
    // The engine's own filters: low cut, deep, bright, boost, master level.
    // The oversampling choice is not taken from the record.
    setFromRecord(*this, *src, [](const ParameterDescriptor& row) { return isFilterUnit(row.unit); });
}

void Tonewright::RefreshRecord()
{
    forEachStageUnit([&](Unit unit) { visitStage(unit, [](auto stage) { stage.Refresh(); }); });
}

TonewrightParameters* Tonewright::GetParameters()
{
    RefreshRecord();
    return &parameters;
}

}  // namespace tonewright
