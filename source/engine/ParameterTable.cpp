#include "engine/ParameterTable.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "dsp/RangeHelpers.h"

namespace tonewright {

double ShapeToPhysical(const Shape& s, double x)
{
    const int steps = static_cast<int>(s.a);
    switch (s.kind) {
    case ShapeKind::lin: return range(x, s.a, s.b);
    case ShapeKind::log: return rangeLog(x, s.a, s.b);
    case ShapeKind::gain: return rangeDb(x, s.a, s.b);
    case ShapeKind::step: return position(x, steps) - 1;
    case ShapeKind::stepReversed: return position(1.0 - x, steps) - 1;
    case ShapeKind::window: return kCabinetWindowSizes[std::clamp(position(x, steps) - 1, 0, steps - 1)];
    case ShapeKind::master: return x >= 0.5 ? range(2.0 * x - 1.0, 0, s.b) : range(2.0 * x, s.a, 0);
    default: return x;
    }
}

double ShapeToNormalised(const Shape& s, double v)
{
    const int steps = static_cast<int>(s.a);
    switch (s.kind) {
    case ShapeKind::lin: return irange(v, s.a, s.b);
    case ShapeKind::log: return irangeLog(v, s.a, s.b);
    case ShapeKind::gain: return irangeDb(v, s.a, s.b);
    case ShapeKind::step: return iposition(v + 1.0, steps);
    case ShapeKind::stepReversed: return 1.0 - iposition(v + 1.0, steps);
    case ShapeKind::window: {
        int step = 1;
        for (int i = 1; i < steps; ++i)
            if (v == kCabinetWindowSizes[i]) step = i + 1;
        return iposition(step, steps);
    }
    case ShapeKind::master: return v < 0.0 ? 0.5 * irange(v, s.a, 0) : 0.5 * irange(v, 0, s.b) + 0.5;
    default: return v;
    }
}

namespace {

// The row whose field holds what a host row shows: its own, or for a view
// without a field of its own (the power amp selector), its unit's row at
// the stage index it drives (the type).
const ParameterDescriptor& holder(const ParameterDescriptor& row)
{
    if (row.field.write) return row;
    for (const ParameterDescriptor& other : kParameterTable)
        if (other.route == Route::stage && other.unit == row.unit && other.index == row.index) return other;
    return row;
}

double clampedToShape(const Shape& s, double v)
{
    switch (s.kind) {
    case ShapeKind::flag: return flagValue(v >= 0.5);
    case ShapeKind::window: {
        // The valid size nearest to v.
        int best = kCabinetWindowSizes[0];
        for (int size : kCabinetWindowSizes)
            if (std::abs(v - size) < std::abs(v - best)) best = size;
        return best;
    }
    default: {
        const double bottom = ShapeToPhysical(s, 0.0), top = ShapeToPhysical(s, 1.0);
        const double clamped = std::clamp(v, std::min(bottom, top), std::max(bottom, top));
        const bool stepped = s.kind == ShapeKind::step || s.kind == ShapeKind::stepReversed;
        return stepped ? std::floor(clamped + 0.5) : clamped;
    }
    }
}

}  // namespace

void ClampToHostRanges(TonewrightParameters& p)
{
    for (const ParameterDescriptor& row : kParameterTable) {
        if (row.host.index < 0) continue;
        const ParameterDescriptor& owner = holder(row);
        if (!owner.field.write) continue;
        const double v = owner.field.read(p);
        // Not a number is left for the stages, which refuse it.
        if (std::isnan(v)) continue;
        const double clamped = clampedToShape(owner.shape, v);
        if (clamped != v) owner.field.write(p, clamped);
    }
}

}  // namespace tonewright
