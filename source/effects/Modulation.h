#pragma once
// Shared by the modulation effects: the fastest oscillator they accept and
// the one-step reduction of an oscillator position into its cycle.

#include <cmath>

#include "dsp/Glide.h"
#include "dsp/ParameterRules.h"

namespace tonewright {

// Speeds above this are refused, so every oscillator advances by less than
// a cycle per sample at any usual rate and its phase stays small.
constexpr double kMaxModulationSpeed = 100.0;  // Hz

// Slower positive speeds are stored as this one: the chorus divides by the
// speed to find its sweep depth.
constexpr double kSlowestModulationSpeed = 0.001;  // Hz

inline bool validSpeed(double v) { return v > 0.0 && v <= kMaxModulationSpeed; }

// The speed rule of every modulation effect.
inline bool acceptSpeed(double& field, double v)
{
    return acceptDoubleClamped(field, v, validSpeed(v), kSlowestModulationSpeed, kMaxModulationSpeed);
}

// x reduced into [0, cycle) in one step (cycle > 0, x finite).
inline double wrapInto(double x, double cycle)
{
    if (x >= 0.0 && x < cycle) return x;
    const double r = x - cycle * std::floor(x / cycle);
    return (r >= 0.0 && r < cycle) ? r : 0.0;
}

// The next n phases of a sine oscillator: phase[i] = phi after sample i.
// While `glide` the increment moves first at every sample, and moving[i]
// tells whether it still moved then.
inline void advancePhases(double& phi, Glide& increment, double coefficient, bool glide, double* phase,
                          bool* moving, int n)
{
    for (int i = 0; i < n; ++i) {
        if (glide) moving[i] = increment.Step(coefficient);
        phi += increment.current;
        phase[i] = phi;
    }
}

}  // namespace tonewright
