#pragma once
// The vector kernels a build has. On x86-64, loops written with SSE2
// intrinsics (TONEWRIGHT_X86_VECTORS; every x86-64 processor has them) and
// AVX2 ones (TONEWRIGHT_WIDE_VECTORS, four doubles a register) that run
// where the processor has AVX2; elsewhere, and in a build with
// TONEWRIGHT_PORTABLE (CMake: TONEWRIGHT_VECTOR_KERNELS=OFF), only the
// portable forms. A wide loop gives the same results as its portable form,
// so tests switch the wide forms off to compare the two.

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(TONEWRIGHT_PORTABLE)
#define TONEWRIGHT_X86_VECTORS 1
#define TONEWRIGHT_WIDE_VECTORS 1
#endif

namespace tonewright {

bool WideVectors();
void AllowWideVectors(bool allow);

}  // namespace tonewright
