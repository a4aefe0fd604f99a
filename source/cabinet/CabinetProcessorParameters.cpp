#include "cabinet/CabinetProcessorParameters.h"

#include <algorithm>

namespace tonewright {

CabinetProcessorParameters::CabinetProcessorParameters()
{
    SetImpulseLength(kInitialLength);
    SetName("None");
}

CabinetProcessorParameters::CabinetProcessorParameters(const CabinetProcessorParameters& other)
    : CabinetProcessorParameters()
{
    *this = other;
}

CabinetProcessorParameters& CabinetProcessorParameters::operator=(const CabinetProcessorParameters& other)
{
    if (this == &other) return *this;
    enable = other.enable;
    mono = other.mono;
    samplerate = other.samplerate;
    windowsize = other.windowsize;
    minphase = other.minphase;
    forcedmono = other.forcedmono;
    dibox = other.dibox;
    if (other.length >= 1) {
        SetImpulseLength(other.length);
        const auto n = static_cast<std::ptrdiff_t>(other.length);
        std::copy_n(other.impulse_left.begin(), n, impulse_left.begin());
        std::copy_n(other.impulse_right.begin(), n, impulse_right.begin());
        std::copy_n(other.minphase_left.begin(), n, minphase_left.begin());
        std::copy_n(other.minphase_right.begin(), n, minphase_right.begin());
    }
    name = other.name;
    return *this;
}

void CabinetProcessorParameters::SetName(const char* s) { name = s ? s : ""; }

bool CabinetProcessorParameters::SetImpulseLength(int n)
{
    if (n < 1) return false;
    if (n == length) return true;
    if (length == kInitialLength && n <= kInitialLength) {
        length = n;
        return true;
    }
    const auto size = static_cast<size_t>(n);
    for (auto* array : {&impulse_left, &impulse_right, &minphase_left, &minphase_right}) {
        std::vector<double> fresh(size, 0.0);
        array->swap(fresh);
    }
    length = n;
    return true;
}

}  // namespace tonewright
