#include "dsp/StringUtil.h"

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

}  // namespace tonewright
