#include "amp/FourKnobEqualiser.h"

namespace tonewright {

FourKnobEqualiser::FourKnobEqualiser(const Band& first, const Band& second, const Band& third, const Band& fourth)
    : sections{Make(first), Make(second), Make(third), Make(fourth)}
{
    const Band* bands[4] = {&first, &second, &third, &fourth};
    for (int i = 0; i < 4; ++i) at[bands[i]->knob] = i;
}

void FourKnobEqualiser::SetFs(double rate)
{
    for (KnobSection& s : sections) s.SetFs(rate);
}

void FourKnobEqualiser::process(double* x, int n)
{
    Filter* const cascade[] = {sections[0].Section(), sections[1].Section(), sections[2].Section(),
                               sections[3].Section()};
    Filter::processCascade(cascade, 4, x, n);
}

void FourKnobEqualiser::AppendTo(KernelChain& chain)
{
    for (KnobSection& s : sections) s.AppendTo(chain);
}

bool FourKnobEqualiser::Steady() const
{
    for (const KnobSection& s : sections)
        if (!s.Steady()) return false;
    return true;
}

void FourKnobEqualiser::Settle()
{
    for (KnobSection& s : sections) s.Settle();
}

void FourKnobEqualiser::Reserve(int n)
{
    for (KnobSection& s : sections) s.Reserve(n);
}

}  // namespace tonewright
