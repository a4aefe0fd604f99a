#pragma once
// The four tone knobs, applied to any tone processor through the setters it
// has (the treble/volume stack's volume is held at 1, as the tone control
// holds it).

namespace toneknobs {

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

}  // namespace toneknobs
