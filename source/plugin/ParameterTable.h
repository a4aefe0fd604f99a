#pragma once
// The host's view of the engine: 80 parameter indices, each with its short
// name and the engine parameter id it drives, read from the engine's
// parameter table.

#include <array>
#include <cstdint>
#include <string_view>

#include "engine/ParameterTable.h"

namespace tonewright {

constexpr int kNumParameters = kHostParameterCount;
constexpr int kNumPrograms = 128;

// One column of the engine's parameter table, ordered by host index.
template <typename T, typename Column>
constexpr std::array<T, kNumParameters> byHostIndex(Column column)
{
    std::array<T, kNumParameters> values{};
    for (const ParameterDescriptor& row : kParameterTable)
        if (row.host.index >= 0) values[size_t(row.host.index)] = column(row);
    return values;
}

// Engine parameter id driven by each parameter index.
inline constexpr auto twr_params =
    byHostIndex<uint32_t>([](const ParameterDescriptor& row) { return static_cast<uint32_t>(row.id); });

// Short name of each parameter index (at most 7 characters).
inline constexpr auto kParameterShortNames =
    byHostIndex<const char*>([](const ParameterDescriptor& row) { return row.host.name; });

// The parameter index with this short name (-1 when none has it).
constexpr int hostIndexNamed(std::string_view name)
{
    for (const ParameterDescriptor& row : kParameterTable)
        if (row.host.index >= 0 && name == row.host.name) return row.host.index;
    return -1;
}

// The parameter a change no parameter shows is announced through.
inline constexpr int kWitnessParameter = hostIndexNamed("MastVol");
static_assert(kWitnessParameter >= 0);

inline bool validParameterIndex(int i) { return i >= 0 && i < kNumParameters; }
inline bool validProgramIndex(int i) { return i >= 0 && i < kNumPrograms; }

}  // namespace tonewright
