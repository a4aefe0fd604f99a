#include "cabinet/CabinetImpulse.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "cabinet/CabinetConvolver.h"
#include "cabinet/MinimumPhase.h"

namespace tonewright {

bool CabinetImpulse::Prepare(const double* l, const double* r, int length, bool isMono, double rate,
                             const char* impulseName)
{
    if (length < 1 || !l || (!isMono && !r)) {
        std::fprintf(stderr, "Quarrystone TWR:: Cabinet impulse refused: it has no samples.\n");
        return false;
    }
    const int n = std::min(length, CabinetConvolver::kMaxLength);
    const double* second = isMono ? l : r;
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(l[i]) || !std::isfinite(second[i])) {
            std::fprintf(stderr, "Quarrystone TWR:: Cabinet impulse refused: sample %d is not a number.\n", i);
            return false;
        }
    }
    try {
        CabinetImpulse fresh;
        fresh.left.assign(l, l + n);
        fresh.right.assign(second, second + n);
        fresh.minphaseLeft.resize(static_cast<size_t>(n));
        if (!ConvertToMinimumPhaseFast(l, fresh.minphaseLeft.data(), n)) throw std::bad_alloc();
        if (isMono) {
            fresh.minphaseRight = fresh.minphaseLeft;
        } else {
            fresh.minphaseRight.resize(static_cast<size_t>(n));
            if (!ConvertToMinimumPhaseFast(r, fresh.minphaseRight.data(), n)) throw std::bad_alloc();
        }
        fresh.mono = isMono;
        fresh.samplerate = rate;
        fresh.name = impulseName ? impulseName : "";
        *this = std::move(fresh);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "Quarrystone TWR:: Not enough memory for the cabinet impulse; it is refused.\n");
        return false;
    }
    return true;
}

}  // namespace tonewright
