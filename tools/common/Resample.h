#pragma once
// Sample-rate conversion of whole clips for the offline tools: a
// Kaiser-windowed sinc, flat within 0.001 dB to 0.9 of the lower Nyquist
// frequency and at least 100 dB down from that frequency on, with no delay
// (output sample m sits at input time m * from / to).

#include <vector>

#include "common/WavFile.h"

namespace tonewright {
// One channel from `fromRate` to `toRate`: round(size * toRate / fromRate)
// samples; the input is taken as silent outside its ends.
std::vector<double> resample(const std::vector<double>& x, double fromRate, double toRate);

// Every channel of the clip.
AudioClip resample(const AudioClip& clip, double toRate);

}  // namespace tonewright
