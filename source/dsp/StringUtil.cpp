#include "dsp/StringUtil.h"

#include <locale.h>
#include <stdlib.h>

#include <algorithm>
#include <climits>

namespace tonewright {

size_t copyBounded(char* dst, size_t capacity, const char* src)
{
    if (!dst || capacity == 0) return 0;
    size_t i = 0;
    if (src) {
        for (; i + 1 < capacity && src[i] != '\0'; ++i) dst[i] = src[i];
        // A cut inside a UTF-8 sequence drops the sequence's first bytes
        // too, so the copy never ends in half a character.
        if (src[i] != '\0' && (static_cast<unsigned char>(src[i]) & 0xC0) == 0x80) {
            size_t start = i;
            while (start > 0 && (static_cast<unsigned char>(src[start - 1]) & 0xC0) == 0x80) --start;
            if (start > 0 && (static_cast<unsigned char>(src[start - 1]) & 0xC0) == 0xC0) i = start - 1;
        }
    }
    dst[i] = '\0';
    return i;
}

namespace {

// The C locale, made once: the C library's readers with it read numbers as
// the stored formats write them, whatever the host's locale.
locale_t cLocale()
{
    static const locale_t c = ::newlocale(LC_ALL_MASK, "C", locale_t(0));
    return c;
}

}  // namespace

std::optional<double> parseLeadingDouble(const char* text)
{
    if (!text) return std::nullopt;
    char* end = nullptr;
    const double value = ::strtod_l(text, &end, cLocale());
    if (end == text) return std::nullopt;
    return value;
}

std::optional<int> parseLeadingInt(const char* text)
{
    if (!text) return std::nullopt;
    char* end = nullptr;
    const long long value = ::strtoll_l(text, &end, 0, cLocale());
    if (end == text) return std::nullopt;
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

}  // namespace tonewright
