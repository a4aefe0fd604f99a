#include "amp/CircuitToneStack.h"

#include <cmath>

namespace tonewright {

CircuitToneStack::CircuitToneStack(int order) : section(order, 31.0 / 30.0, 0.03) {}

void CircuitToneStack::Prime()
{
    section.Prime([this] { Update(); });
}

void CircuitToneStack::SetVariable(double& variable, double knob, double tapered)
{
    if (!std::isfinite(knob) || knob < 0.0 || knob > 1.0 || tapered == variable) return;
    variable = tapered;
    section.Invalidate();
}

void CircuitToneStack::process(double* x, int n)
{
    section.Process(x, n, [this] { Update(); });
}

void CircuitToneStack::processWithoutFade(double* x, int n)
{
    section.ProcessPlain(x, n, [this] { Update(); });
}

void CircuitToneStack::Settle()
{
    section.Settle([this] { Update(); });
}

}  // namespace tonewright
