#pragma once
// The validated setters every stage uses. Each stores the value only when it
// is acceptable and differs from the stored one, and reports whether it did.
// Non-finite values are always refused.

#include <algorithm>
#include <cfloat>
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

// Frequencies a stage stores, in Hz: any finite value from kLowestFrequency
// up (a lower positive one is stored as kLowestFrequency). Where a stage
// computes from a frequency it limits it to below half the rate it runs at
// (frequencyInUse), so the stored value survives rate changes and records,
// and every copy of a stage keeps the same value whatever its rate.
inline constexpr double kLowestFrequency = 0.1;

inline bool acceptFrequency(double& field, double v)
{
    return acceptDoubleClamped(field, v, v > 0.0, kLowestFrequency, DBL_MAX);
}

inline double frequencyInUse(double f, double fs)
{
    return f >= 0.5 * fs ? 0.499 * fs : f;
}

// Levels in dB a stage stores: a quieter one is silence for every purpose, a
// louder one would only overflow further down the chain.
inline constexpr double kLowestLevelDb = -120.0;
inline constexpr double kHighestLevelDb = 60.0;

inline bool acceptLevelDb(double& field, double v)
{
    return acceptDoubleClamped(field, v, true, kLowestLevelDb, kHighestLevelDb);
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

// For SetFs: whether `rate` is a usable sample rate other than the stored
// one, which it then replaces.
inline bool acceptNewRate(double& fs, double rate)
{
    if (!(rate > 0.0) || !std::isfinite(rate) || rate == fs) return false;
    fs = rate;
    return true;
}

}  // namespace tonewright
