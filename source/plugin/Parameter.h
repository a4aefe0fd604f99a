#pragma once
// One automatable parameter slot: its normalised value, short name and label.
// The value is written by hosts, the editor and MIDI on any thread and read
// by the audio thread, so it is atomic.

#include <atomic>

namespace tonewright {

struct Parameter {
    Parameter();
    Parameter(const Parameter&) = delete;
    Parameter& operator=(const Parameter&) = delete;

    std::atomic<float> value;
    char name[8];
    char label[8];
};

}  // namespace tonewright
