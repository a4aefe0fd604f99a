#pragma once
// Shared by the tone and gain control tests: the four tone knobs, applied to
// any tone processor through the setters it has (the treble/volume stack's
// volume is held at 1, as the tone control holds it), and block runners.

#include <vector>

#include "DspTestKit.h"

namespace tonetest {

struct Knobs {
    double bass, mids, treble, presence;
};

template <class T>
void apply(T& s, const Knobs& k)
{
    if constexpr (requires { s.SetBass(0.0); }) s.SetBass(k.bass);
    if constexpr (requires { s.SetMids(0.0); }) s.SetMids(k.mids);
    if constexpr (requires { s.SetTreble(0.0); }) s.SetTreble(k.treble);
    if constexpr (requires { s.SetPresence(0.0); }) s.SetPresence(k.presence);
    if constexpr (requires { s.SetVolume(0.0); }) s.SetVolume(1.0);
}

// Runs a signal through p.process in blocks.
template <class T>
std::vector<double> run(T& p, std::vector<double> x,
                        const testkit::BlockPlan& plan = testkit::BlockPlan::Fixed(512))
{
    return testkit::runMono([&](double* s, int n) { p.process(s, n); }, std::move(x), plan);
}

inline std::vector<double> tail(const std::vector<double>& v, size_t from)
{
    return {v.begin() + static_cast<long>(from), v.end()};
}

}  // namespace tonetest
