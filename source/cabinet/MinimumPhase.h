#pragma once
// Minimum-phase conversion of an impulse response by the real cepstrum: the
// result keeps the magnitude spectrum of the (zero-padded) input with its
// energy packed at the start, so a window can shorten it with little loss.

namespace tonewright {

// Writes the minimum-phase version of in[0..n) to out[0..n) (out may be in).
// Works over 2P points, P the smallest power of two >= n; spectrum
// magnitudes below e^-100 count as e^-100. False, with out untouched, when
// the working memory cannot be had.
bool ConvertToMinimumPhaseFast(const double* in, double* out, int n);

}  // namespace tonewright
