#pragma once
// Bounded string handling: every copy into a fixed buffer is cut to fit and
// always terminated.

#include <cstddef>
#include <optional>

namespace tonewright {

// Copies at most capacity - 1 bytes of src (null counts as "") into dst and
// terminates it, never ending in the middle of a UTF-8 character. Returns
// the number of bytes copied.
size_t copyBounded(char* dst, size_t capacity, const char* src);

template <size_t N>
size_t copyBounded(char (&dst)[N], const char* src)
{
    return copyBounded(dst, N, src);
}

// The number at the start of text as printf's "%lg" reads it (leading white
// space, an optional sign, then the longest number), in the C locale
// whatever the process's locale; nothing when no number starts there.
std::optional<double> parseLeadingDouble(const char* text);
// The same for "%i": decimal, 0x hexadecimal or 0 octal, limited to int.
std::optional<int> parseLeadingInt(const char* text);

}  // namespace tonewright
