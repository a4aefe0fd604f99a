#pragma once
// The validated setters every stage uses. Each stores the value only when it
// is acceptable and differs from the stored one, and reports whether it did.
// Non-finite values are always refused.

#include <algorithm>
#include <cmath>

#include "dsp/DspMath.h"

namespace tonewright {

// `inRange` is the stage's own test of v (write it so that NaN fails).
inline bool acceptDouble(double& field, double v, bool inRange)
{
    if (!std::isfinite(v) || !inRange || v == field) return false;
    field = v;
    return true;
}

// As acceptDouble, for values whose use could overflow or stall: an
// acceptable value outside lo..hi is stored as the nearer end.
inline bool acceptDoubleClamped(double& field, double v, bool inRange, double lo, double hi)
{
    if (!std::isfinite(v) || !inRange) return false;
    return acceptDouble(field, std::clamp(v, lo, hi), true);
}

// floor(v + 0.5) within lo..hi.
inline bool acceptInt(int& field, double v, int lo, int hi)
{
    const auto k = roundedIntIn(v, lo, hi);
    if (!k || *k == field) return false;
    field = *k;
    return true;
}

// v >= 0.5 is true, v < 0.5 false; NaN is ignored; only a change acts.
inline bool acceptFlag(bool& field, double v)
{
    if (std::isnan(v)) return false;
    const bool on = v >= 0.5;
    if (on == field) return false;
    field = on;
    return true;
}

inline double flagValue(bool b) { return b ? 1.0 : 0.0; }

}  // namespace tonewright
