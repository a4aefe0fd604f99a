#pragma once
// What every processing stage of the chain offers its owner: a sample rate,
// room for blocks of up to n samples (so `process` never allocates), and a
// way to finish every fade at once. Each stage's `process` has its own
// signature (mono, mono to stereo, stereo), so it is not part of this.

#include <concepts>

namespace tonewright {

template <typename S>
concept Stage = requires(S& stage, double rate, int n) {
    stage.SetFs(rate);
    stage.Reserve(n);
    stage.Settle();
};

// How a stage of the chain is clocked: at the host rate, or inside the
// oversampler at a multiple of it.
enum class Clock { host, oversampled };

}  // namespace tonewright
