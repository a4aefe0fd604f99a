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
