#pragma once
// Bounded string handling: every copy into a fixed buffer is cut to fit and
// always terminated.

#include <cstddef>

namespace tonewright {

// Copies at most capacity - 1 characters of src (null counts as "") into dst
// and terminates it. Returns the number of characters copied.
size_t copyBounded(char* dst, size_t capacity, const char* src);

template <size_t N>
size_t copyBounded(char (&dst)[N], const char* src)
{
    return copyBounded(dst, N, src);
}

}  // namespace tonewright
