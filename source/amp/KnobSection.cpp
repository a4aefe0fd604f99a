#include "amp/KnobSection.h"

#include <cmath>

#include "dsp/RangeHelpers.h"

namespace tonewright {

KnobSection::KnobSection(int type, double frequency, double q, double lowDb, double highDb)
    : low(lowDb), high(highDb)
{
    section.SetParameter(1, type);
    section.SetParameter(2, frequency);
    section.SetParameter(3, q);
    section.SetParameter(4, limitrange(0.5, low, high));
    // Play the configured section from the first block, not a fade from the
    // filter's defaults.
    section.Settle();
}

void KnobSection::SetKnob(double v)
{
    if (!std::isfinite(v)) return;
    section.SetParameter(4, limitrange(v, low, high));
}

}  // namespace tonewright
