#pragma once
// Whether loops may use AVX2 registers (four doubles) where the processor
// has them; the build itself assumes no more than x86-64. A wide loop gives
// the same results as its portable form, so tests switch the wide forms off
// to compare the two.

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TONEWRIGHT_WIDE_VECTORS 1
#endif

namespace tonewright {

bool WideVectors();
void AllowWideVectors(bool allow);

}  // namespace tonewright
