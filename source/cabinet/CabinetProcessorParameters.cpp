#include "cabinet/CabinetProcessorParameters.h"

#include <utility>

namespace tonewright {

CabinetProcessorParameters::CabinetProcessorParameters() : impulse(CabinetImpulse::Unit()) {}

void CabinetProcessorParameters::SetImpulse(std::shared_ptr<const CabinetImpulse> made)
{
    if (made) impulse = std::move(made);
}

bool CabinetProcessorParameters::SetImpulse(const double* left, const double* right, int length, bool mono,
                                            double samplerate, const char* name)
{
    auto made = CabinetImpulse::Make(left, right, length, mono, samplerate, name);
    if (!made) return false;
    impulse = std::move(made);
    return true;
}

}  // namespace tonewright
