#include "CircuitToneStack.h"

#include <cmath>

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
    if (n <= 0) return;
    if (section.BeginBlock()) Update();
    section.Run(x, n);
}

void CircuitToneStack::processWithoutFade(double* x, int n)
{
    if (n <= 0) return;
    if (section.SwitchNow()) Update();
    section.RunPlain(x, n);
}

void CircuitToneStack::Settle()
{
    if (section.Pending()) Update();
    section.Settle();
}
