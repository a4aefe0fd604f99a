#pragma once
// Engine parameter ids 1..94, one row each: how the normalised value maps to
// the physical one, what the id drives (a stage and its own parameter index,
// or one of the engine's switches), the record field it reads back from and
// writes, the value the engine gives it at construction, and the index and
// short name under which hosts see it. Everything that walks the ids (the
// engine's setters and getters, the host's index table) reads this table.

#include <array>
#include <cstdint>
#include <iterator>
#include <optional>
#include <type_traits>

#include "dsp/DspMath.h"
#include "dsp/ParameterRules.h"
#include "engine/TonewrightParameters.h"

namespace tonewright {

constexpr int kLastParameterId = 94;
constexpr int kHostParameterCount = 80;

// How a normalised 0..1 value maps to the physical one and back.
enum class ShapeKind : uint8_t { none, flag, direct, lin, log, gain, step, stepReversed, window, master };

struct Shape {
    ShapeKind kind = ShapeKind::none;
    double a = 0;  // range start, or the number of steps
    double b = 0;  // range end
};

constexpr int kCabinetWindowSizes[6] = {128, 256, 1024, 4096, 8192, 32768};
constexpr double kLowCutCorners[3] = {55.0, 200.0, 400.0};  // Hz

namespace shape {
constexpr Shape flag{ShapeKind::flag};
constexpr Shape direct{ShapeKind::direct};
constexpr Shape window{ShapeKind::window, std::size(kCabinetWindowSizes)};
constexpr Shape master{ShapeKind::master, -24, 18};  // dB: a..0 below the middle, 0..b above
constexpr Shape lin(double a, double b) { return {ShapeKind::lin, a, b}; }
constexpr Shape log(double a, double b) { return {ShapeKind::log, a, b}; }
constexpr Shape gain(double dbA, double dbB) { return {ShapeKind::gain, dbA, dbB}; }
constexpr Shape step(int n) { return {ShapeKind::step, double(n)}; }
constexpr Shape stepReversed(int n) { return {ShapeKind::stepReversed, double(n)}; }
}  // namespace shape

// What an id drives: a stage of the chain (the amplifier at both rates, the
// pairs at both places) or one of the engine's own filters. The stages come
// first, gate to reverb, in chain order: whole records are applied and read
// back in this order.
enum class Unit : uint8_t {
    none, gate, wah, sustainer, preamp, poweramp, eq, cabinet, tremolo, chorus, flanger, phaser, echo, reverb,
    lowcut, deep, bright, boost, master,
};

constexpr bool isPairUnit(Unit u)
{
    return u == Unit::eq || u == Unit::tremolo || u == Unit::chorus || u == Unit::flanger || u == Unit::phaser ||
           u == Unit::echo;
}

// The engine's own filters, which no stage owns.
constexpr bool isFilterUnit(Unit u)
{
    return u == Unit::lowcut || u == Unit::deep || u == Unit::bright || u == Unit::boost || u == Unit::master;
}

// How SetParameter applies a physical value.
enum class Route : uint8_t {
    none,
    stage,         // the unit's instances take it at `index`; the record reads back
    preHeldAtZero,  // as stage, but the pre instance stays at 0 (the echo type)
    selector,      // 0 off, k = 1.. on with type k - 1 (`index` is the type's)
    placement,     // the pair's `post` or `enable` flag (the field); one instance runs
    record,        // only the record field
    corner,        // the field takes the corner's number, the filter's `index` its frequency
    filterSwitch,  // the filter's `index` (on/off); the field takes what it reports
    filterLevel,   // the filter's `index`; the field takes what it reports
};

// The stage parameter every switchable stage is switched on and off by.
constexpr int kOnIndex = 0;

enum class FieldKind : uint8_t { none, flag, integer, real };

// One field of a TonewrightParameters, read and written as a double: flags
// as 0 or 1 (written true from 0.5 up), integers through roundedInt. Writes
// refuse non-finite values.
struct FieldAccess {
    FieldKind kind = FieldKind::none;
    double (*read)(const TonewrightParameters&) = nullptr;
    void (*write)(TonewrightParameters&, double) = nullptr;
};

struct HostParameter {
    int index = -1;
    const char* name = nullptr;  // at most 7 characters
};

struct ParameterDescriptor {
    int id = 0;
    Route route = Route::none;
    Unit unit = Unit::none;
    int index = 0;  // the stage's (or filter's) own parameter index
    FieldAccess field;
    Shape shape;
    std::optional<double> initial;  // set by the engine's constructor, in id order
    HostParameter host;
};

namespace record_fields {

template <typename R>
struct Tag {};

// Where each record type sits inside TonewrightParameters.
constexpr auto& part(auto& p, Tag<TonewrightParameters>) { return p; }
constexpr auto& part(auto& p, Tag<NoiseGateParameters>) { return p.gate; }
constexpr auto& part(auto& p, Tag<WahWahParameters>) { return p.wah; }
constexpr auto& part(auto& p, Tag<CompressorSustainerParameters>) { return p.sustainer; }
constexpr auto& part(auto& p, Tag<PreampParameters>) { return p.preamp; }
constexpr auto& part(auto& p, Tag<GainControlParameters>) { return p.preamp.gainControl; }
constexpr auto& part(auto& p, Tag<ToneControlParameters>) { return p.preamp.toneControl; }
constexpr auto& part(auto& p, Tag<PowerAmpParameters>) { return p.poweramp; }
constexpr auto& part(auto& p, Tag<PlacedParameters<GraphicEQ7Parameters>>) { return p.eq; }
constexpr auto& part(auto& p, Tag<GraphicEQ7Parameters>) { return p.eq.parameters; }
constexpr auto& part(auto& p, Tag<CabinetProcessorParameters>) { return p.cabinet; }
constexpr auto& part(auto& p, Tag<DirectBoxParameters>) { return p.cabinet.dibox; }
constexpr auto& part(auto& p, Tag<PlacedParameters<TremoloParameters>>) { return p.tremolo; }
constexpr auto& part(auto& p, Tag<TremoloParameters>) { return p.tremolo.parameters; }
constexpr auto& part(auto& p, Tag<PlacedParameters<ChorusParameters>>) { return p.chorus; }
constexpr auto& part(auto& p, Tag<ChorusParameters>) { return p.chorus.parameters; }
constexpr auto& part(auto& p, Tag<PlacedParameters<FlangerParameters>>) { return p.flanger; }
constexpr auto& part(auto& p, Tag<FlangerParameters>) { return p.flanger.parameters; }
constexpr auto& part(auto& p, Tag<PlacedParameters<PhaserParameters>>) { return p.phaser; }
constexpr auto& part(auto& p, Tag<PhaserParameters>) { return p.phaser.parameters; }
constexpr auto& part(auto& p, Tag<PlacedParameters<EchoParameters>>) { return p.echo; }
constexpr auto& part(auto& p, Tag<EchoParameters>) { return p.echo.parameters; }
constexpr auto& part(auto& p, Tag<ReverbParameters>) { return p.reverb; }

template <typename M>
struct MemberOf;
template <typename C, typename T>
struct MemberOf<T C::*> {
    using Record = C;
    using Value = T;
};

template <auto member>
struct Field {
    using Record = typename MemberOf<decltype(member)>::Record;
    using Value = typename MemberOf<decltype(member)>::Value;

    static double read(const TonewrightParameters& p)
    {
        const Value& x = part(p, Tag<Record>{}).*member;
        if constexpr (std::is_same_v<Value, bool>) return flagValue(x);
        else return static_cast<double>(x);
    }

    static void write(TonewrightParameters& p, double v)
    {
        Value& x = part(p, Tag<Record>{}).*member;
        if constexpr (std::is_same_v<Value, bool>) {
            if (std::isfinite(v)) x = v >= 0.5;
        } else if constexpr (std::is_same_v<Value, int>) {
            if (const auto k = roundedInt(v)) x = *k;
        } else {
            static_assert(std::is_same_v<Value, double>);
            if (std::isfinite(v)) x = v;
        }
    }

    static constexpr FieldKind kind = std::is_same_v<Value, bool>  ? FieldKind::flag
                                      : std::is_same_v<Value, int> ? FieldKind::integer
                                                                   : FieldKind::real;
};

// The power amp selector is a view of two fields that ids 20 and 21 own.
inline double readPowerSelector(const TonewrightParameters& p)
{
    return p.poweramp.enable ? p.poweramp.type + 1 : 0;
}

}  // namespace record_fields

template <auto member>
inline constexpr FieldAccess field{record_fields::Field<member>::kind, &record_fields::Field<member>::read,
                                   &record_fields::Field<member>::write};

inline constexpr std::array<ParameterDescriptor, kLastParameterId + 1> kParameterTable = [] {
    using enum Route;
    using U = Unit;
    using TP = TonewrightParameters;
    using Gate = NoiseGateParameters;
    using Wah = WahWahParameters;
    using Sus = CompressorSustainerParameters;
    using Pre = PreampParameters;
    using Tone = ToneControlParameters;
    using Pow = PowerAmpParameters;
    using EQ = GraphicEQ7Parameters;
    using Cab = CabinetProcessorParameters;
    using DI = DirectBoxParameters;
    using Trem = TremoloParameters;
    using Cho = ChorusParameters;
    using Fla = FlangerParameters;
    using Pha = PhaserParameters;
    using Ech = EchoParameters;
    using Rev = ReverbParameters;
    using namespace shape;
    const auto row = [](int id, Route route, Unit unit, int index, FieldAccess f, Shape s, HostParameter host = {},
                        std::optional<double> initial = {}) {
        return ParameterDescriptor{id, route, unit, index, f, s, initial, host};
    };
    return std::array<ParameterDescriptor, kLastParameterId + 1>{{
        ParameterDescriptor{},
        //  id  route  unit  index  record field  shape  {host index, short name}  initial
        row(1, stage, U::gate, 0, field<&Gate::enable>, flag, {77, "GateByp"}),
        row(2, stage, U::gate, 1, field<&Gate::threshold>, lin(-80, -10), {78, "GateThr"}),
        row(3, stage, U::gate, 2, field<&Gate::gating>, lin(0, 0.95), {79, "GateSlp"}),
        row(4, stage, U::gate, 3, field<&Gate::attack>, lin(0.001, 0.05)),
        row(5, stage, U::gate, 4, field<&Gate::release>, lin(0.05, 0.25)),

        row(6, stage, U::wah, 0, field<&Wah::enable>, flag, {31, "WahByp"}),
        row(7, stage, U::wah, 1, field<&Wah::type>, step(3)),
        row(8, stage, U::wah, 2, field<&Wah::pedal>, direct, {32, "WahFrq"}),

        row(9, stage, U::sustainer, 0, field<&Sus::enable>, flag, {33, "CompByp"}),
        row(10, stage, U::sustainer, 1, field<&Sus::type>, step(2), {36, "CompMod"}),
        row(11, stage, U::sustainer, 2, field<&Sus::amount>, direct, {34, "CompAmt"}),
        row(12, stage, U::sustainer, 3, field<&Sus::attack>, lin(0.001, 0.05), {35, "CompAtk"}),
        row(13, stage, U::sustainer, 4, field<&Sus::release>, lin(0.05, 0.25)),

        row(14, stage, U::preamp, 0, field<&Pre::enable>, flag, {0, "AmpByp"}),
        row(15, stage, U::preamp, 1, field<&GainControlParameters::wiper>, lin(0.05, 1), {5, "PreGain"}),
        row(16, stage, U::preamp, 2, field<&Tone::bass>, direct, {7, "PreBass"}),
        row(17, stage, U::preamp, 3, field<&Tone::mids>, direct, {8, "PreMid"}),
        row(18, stage, U::preamp, 4, field<&Tone::treble>, direct, {9, "PreTreb"}),
        row(19, stage, U::preamp, 5, field<&Tone::presence>, direct, {10, "PrePres"}),

        row(20, stage, U::poweramp, 0, field<&Pow::enable>, flag),
        row(21, stage, U::poweramp, 1, field<&Pow::type>, step(3)),
        row(22, stage, U::poweramp, 2, field<&Pow::drive>, gain(-6, 24), {12, "PwrDrv"}),
        row(23, stage, U::poweramp, 3, field<&Pow::bias>, direct),
        row(24, stage, U::poweramp, 4, field<&Pow::dynamics>, direct),
        row(25, selector, U::poweramp, 1, {FieldKind::integer, &record_fields::readPowerSelector}, step(4),
            {11, "PwrType"}),

        row(26, placement, U::eq, 0, field<&PlacedParameters<EQ>::post>, flag, {19, "GEQPost"}, 1.0),
        row(27, placement, U::eq, 0, field<&PlacedParameters<EQ>::enable>, flag, {17, "GrphByp"}, 0.0),
        row(28, stage, U::eq, 1, field<&EQ::type>, step(3), {18, "GrphTyp"}),
        row(29, stage, U::eq, 2, field<&EQ::band1>, lin(-18, 18), {20, "GrphB1"}),
        row(30, stage, U::eq, 3, field<&EQ::band2>, lin(-18, 18), {21, "GrphB2"}),
        row(31, stage, U::eq, 4, field<&EQ::band3>, lin(-18, 18), {22, "GrphB3"}),
        row(32, stage, U::eq, 5, field<&EQ::band4>, lin(-18, 18), {23, "GrphB4"}),
        row(33, stage, U::eq, 6, field<&EQ::band5>, lin(-18, 18), {24, "GrphB5"}),
        row(34, stage, U::eq, 7, field<&EQ::band6>, lin(-18, 18), {25, "GrphB6"}),
        row(35, stage, U::eq, 8, field<&EQ::band7>, lin(-18, 18), {26, "GrphB7"}),
        row(36, stage, U::eq, 12, field<&EQ::level>, lin(-18, 18), {27, "GrphGn"}),
        row(37, stage, U::eq, 9, field<&EQ::parametric_frequency>, log(62.5, 10000), {28, "ParaFrq"}),
        row(38, stage, U::eq, 11, field<&EQ::parametric_level>, lin(-18, 18), {29, "ParaGn"}),

        row(39, stage, U::cabinet, 0, field<&Cab::enable>, flag, {13, "CabByp"}),
        row(40, stage, U::cabinet, 1, field<&Cab::windowsize>, window, {15, "CabFLen"}),
        row(41, stage, U::cabinet, 2, field<&Cab::minphase>, flag, {14, "CabMinP"}),
        row(42, stage, U::cabinet, 3, field<&Cab::forcedmono>, flag),
        row(43, stage, U::cabinet, 4, field<&DI::enable>, flag),
        row(44, stage, U::cabinet, 5, field<&DI::frequency>, log(2500, 8000), {16, "DIFreq"}),
        row(45, stage, U::cabinet, 6, field<&DI::q>, lin(0.666, 6)),

        row(46, placement, U::tremolo, 0, field<&PlacedParameters<Trem>::post>, flag, {61, "TrmPost"}, 1.0),
        row(47, placement, U::tremolo, 0, field<&PlacedParameters<Trem>::enable>, flag, {62, "TremByp"}, 0.0),
        row(48, stage, U::tremolo, 2, field<&Trem::speed>, log(0.1, 10), {63, "TremSpd"}),
        row(49, stage, U::tremolo, 3, field<&Trem::depth>, direct, {64, "TremDpt"}),
        row(50, stage, U::tremolo, 1, field<&Trem::type>, step(2), {65, "TremTyp"}),
        row(51, stage, U::tremolo, 4, field<&Trem::waveform>, direct, {66, "TremWav"}),

        row(52, placement, U::chorus, 0, field<&PlacedParameters<Cho>::post>, flag, {37, "ChrPost"}, 1.0),
        row(53, placement, U::chorus, 0, field<&PlacedParameters<Cho>::enable>, flag, {38, "ChrByp"}, 0.0),
        row(54, stage, U::chorus, 1, field<&Cho::type>, step(3), {42, "ChrVcs"}),
        row(55, stage, U::chorus, 2, field<&Cho::speed>, log(0.1, 10), {39, "ChrSpd"}),
        row(56, stage, U::chorus, 3, field<&Cho::depth>, direct, {40, "ChrSwp"}),
        row(57, stage, U::chorus, 4, field<&Cho::mix>, direct, {41, "ChrDpth"}),
        row(58, stage, U::chorus, 5, field<&Cho::delay>, lin(0.001, 0.03), {43, "ChrDly"}),

        row(59, placement, U::flanger, 0, field<&PlacedParameters<Fla>::post>, flag, {44, "FlgPost"}, 1.0),
        row(60, placement, U::flanger, 0, field<&PlacedParameters<Fla>::enable>, flag, {45, "FlngByp"}, 0.0),
        row(61, stage, U::flanger, 1, field<&Fla::type>, stepReversed(2), {51, "FlngMon"}),
        row(62, stage, U::flanger, 2, field<&Fla::speed>, log(0.1, 10), {46, "FlngSpd"}),
        row(63, stage, U::flanger, 3, field<&Fla::depth>, direct, {48, "FlngDpt"}),
        row(64, stage, U::flanger, 4, field<&Fla::delay>, lin(0.0005, 0.004), {49, "FlngDly"}),
        row(65, stage, U::flanger, 5, field<&Fla::sweep>, direct, {47, "FlngSwp"}),
        row(66, stage, U::flanger, 6, field<&Fla::regeneration>, lin(0, 0.9), {50, "FlngRgn"}),
        row(67, stage, U::flanger, 7, field<&Fla::phase>, flag, {52, "FlngPhs"}),

        row(68, placement, U::phaser, 0, field<&PlacedParameters<Pha>::post>, flag, {53, "PhsPost"}, 1.0),
        row(69, placement, U::phaser, 0, field<&PlacedParameters<Pha>::enable>, flag, {54, "PhsByp"}, 0.0),
        row(70, stage, U::phaser, 1, field<&Pha::type>, stepReversed(2), {60, "PhsMono"}),
        row(71, stage, U::phaser, 2, field<&Pha::speed>, log(0.1, 10), {55, "PhsSpd"}),
        row(72, stage, U::phaser, 3, field<&Pha::depth>, direct, {57, "PhsDpth"}),
        row(73, stage, U::phaser, 4, field<&Pha::sweep>, lin(1, 3), {56, "PhsSwp"}),
        row(74, stage, U::phaser, 5, field<&Pha::regeneration>, lin(0, 0.9), {59, "PhsRgn"}),
        row(75, stage, U::phaser, 6, field<&Pha::stages>, step(3), {58, "PhsStgs"}),

        row(76, placement, U::echo, 0, field<&PlacedParameters<Ech>::post>, flag, {67, "DelPost"}, 1.0),
        row(77, placement, U::echo, 0, field<&PlacedParameters<Ech>::enable>, flag, {68, "DelByp"}, 0.0),
        row(78, preHeldAtZero, U::echo, 1, field<&Ech::type>, step(2), {72, "DelType"}),
        row(79, stage, U::echo, 2, field<&Ech::delay>, lin(0.01, 1), {69, "DelDel"}),
        row(80, stage, U::echo, 3, field<&Ech::feedback>, lin(0, 0.95), {70, "DelRpt"}),
        row(81, stage, U::echo, 4, field<&Ech::directlevel>, lin(-40, 12)),
        row(82, stage, U::echo, 5, field<&Ech::delaylevel>, lin(-40, 12), {71, "DelLvl"}),
        row(83, stage, U::echo, 6, field<&Ech::style>, direct, {73, "DelSty"}),
        row(84, stage, U::echo, 7, field<&Ech::filter_input>, flag),
        row(85, stage, U::echo, 8, field<&Ech::tails_on>, flag),

        row(86, stage, U::reverb, 0, field<&Rev::enable>, flag, {74, "RevByp"}),
        row(87, stage, U::reverb, 1, field<&Rev::type>, step(3), {75, "RevType"}),
        row(88, stage, U::reverb, 2, field<&Rev::level>, lin(-40, 12), {76, "RevLvl"}),

        row(89, record, U::none, 0, field<&TP::upsampler_enabled>, flag, {1, "HiFiByp"}),
        row(90, corner, U::lowcut, 2, field<&TP::lowcut_type>, step(3), {2, "LowCTyp"}, 0.0),
        row(91, filterSwitch, U::deep, 0, field<&TP::deep_enabled>, flag, {3, "DeepByp"}, 0.0),
        row(92, filterSwitch, U::bright, 0, field<&TP::bright_enabled>, flag, {4, "BrtByp"}, 0.0),
        row(93, filterSwitch, U::boost, 0, field<&TP::boost_enabled>, flag, {6, "PrBoost"}, 0.0),
        row(94, filterLevel, U::master, 4, field<&TP::master_level>, master, {30, "MastVol"}),
    }};
}();

// The physical value a normalised value maps to through a shape, and back.
double ShapeToPhysical(const Shape& s, double x);
double ShapeToNormalised(const Shape& s, double v);

// Brings every field a host-visible parameter shows into that parameter's
// range: between the physical values normalised 0 and 1 give, a step to the
// nearest valid one. A record read from a file or chunk then plays what the
// host shows. Values in range are kept exactly.
void ClampToHostRanges(TonewrightParameters& p);

namespace parameter_table_checks {

constexpr bool rowsAreInIdOrder()
{
    for (int id = 0; id <= kLastParameterId; ++id)
        if (kParameterTable[size_t(id)].id != id) return false;
    return true;
}

constexpr bool shortNameFits(const char* name)
{
    if (!name || !*name) return false;
    int length = 0;
    while (name[length]) ++length;
    return length <= 7;
}

// Every host index 0..79 belongs to exactly one id, with a short name.
constexpr bool hostIndicesAreUnique()
{
    int count = 0;
    std::array<bool, kHostParameterCount> seen{};
    for (const auto& row : kParameterTable) {
        if (row.host.index < 0) continue;
        if (row.host.index >= kHostParameterCount || seen[size_t(row.host.index)] || !shortNameFits(row.host.name))
            return false;
        seen[size_t(row.host.index)] = true;
        ++count;
    }
    return count == kHostParameterCount;
}

// Every id reads a field and drives a unit its route can reach.
constexpr bool everyRowIsComplete()
{
    for (int id = 1; id <= kLastParameterId; ++id) {
        const ParameterDescriptor& row = kParameterTable[size_t(id)];
        // (Its kind, set with its read function: GCC under the sanitizers
        // does not take a function's address for non-null in a constant.)
        if (row.field.kind == FieldKind::none) return false;
        switch (row.route) {
        case Route::stage:
        case Route::selector:
            if (row.unit == Unit::none || isFilterUnit(row.unit)) return false;
            break;
        case Route::preHeldAtZero:
        case Route::placement:
            if (!isPairUnit(row.unit)) return false;
            break;
        case Route::record:
            if (row.unit != Unit::none) return false;
            break;
        case Route::corner:
        case Route::filterSwitch:
        case Route::filterLevel:
            if (!isFilterUnit(row.unit)) return false;
            break;
        case Route::none: return false;
        }
    }
    return true;
}

static_assert(rowsAreInIdOrder());
static_assert(hostIndicesAreUnique());
static_assert(everyRowIsComplete());

}  // namespace parameter_table_checks

}  // namespace tonewright
