#include "amp/MatchlessBassMidsStack.h"

namespace tonewright {

MatchlessBassMidsStack::MatchlessBassMidsStack() : CircuitToneStack(3)
{
    Prime();
}

void MatchlessBassMidsStack::SetBass(double v)
{
    SetVariable(l, v, 1.0 - (0.75 + 0.25 * v));
}

void MatchlessBassMidsStack::SetMids(double v)
{
    SetVariable(m, v, v);
}

void MatchlessBassMidsStack::Update()
{
    double A[4];
    double B[4];
    A[0] = 6.049e18 + 3.672625e19 * l;
    A[1] = 9.9954065e15 + 7.9055295e16 * l + 1.51225e16 * m + 9.1815625e16 * l * m;
    A[2] = 9.87041066e11 + 2.735045038e13 * l + 1.97701625e12 * m + 4.40198e13 * l * m;
    A[3] = 1.5690675e7 + 1.68656334e9 * l + 3.478629e7 * m + 3.6951222e9 * l * m;
    B[0] = 1.42175e18;
    B[1] = 2.701325e14 + 3.440635e15 * l + 3.554375e15 * m;
    B[2] = 1.84395288e11 + 5.7802668e11 * l + 6.7533125e11 * m + 8.6015875e12 * l * m;
    B[3] = 3941091.0 + 4.3352001e8 * l + 1.313697e7 * m + 1.4450667e9 * l * m;
    section.SetAnalog(B, A, 3);
}

}  // namespace tonewright
