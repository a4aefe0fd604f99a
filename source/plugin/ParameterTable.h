#pragma once
// The host's view of the engine: 80 parameter indices, each with its short
// name and the engine parameter id it drives.

#include <cstdint>

namespace tonewright {

constexpr int kNumParameters = 80;
constexpr int kNumPrograms = 128;

// Engine parameter id driven by each parameter index.
extern const uint32_t twr_params[kNumParameters];

// Short name of each parameter index (at most 7 characters).
extern const char* const kParameterShortNames[kNumParameters];

inline bool validParameterIndex(int i) { return i >= 0 && i < kNumParameters; }
inline bool validProgramIndex(int i) { return i >= 0 && i < kNumPrograms; }

}  // namespace tonewright
