#include "amp/FenderToneStack.h"

#include <cmath>

namespace tonewright {

FenderToneStack::FenderToneStack() : CircuitToneStack(3)
{
    Prime();
}

void FenderToneStack::SetBass(double v)
{
    SetVariable(l, v, std::pow(v, 2.5));
}

void FenderToneStack::SetMids(double v)
{
    SetVariable(m, v, v);
}

void FenderToneStack::SetTreble(double v)
{
    SetVariable(t, v, std::pow(v, 2.5));
}

void FenderToneStack::Update()
{
    double A[4];
    double B[4];
    A[0] = 1.6e14 + 4e13 * l + 1.6e12 * m + 4e13 * t;
    A[1] = 3.25728e12 + 4.82432e12 * l + 2.681728e11 * m + 8.1432e11 * t + 1.88e10 * l * m + 9.975e11 * l * t
           + 5.87e10 * m * t - 2.5e9 * t * t;
    A[2] = 2.25204e8 + 2.6415161e10 * l + 2.283204e7 * m + 5.6301e7 * t + 2.1454936e9 * l * m
           + 6.507285e9 * l * t + 2205000.0 * m * t - 5.0715e7 * t * t + 4.68825e8 * l * m * t
           - 6.25e7 * l * t * t - 3675000.0 * m * t * t;
    A[3] = 1800100.0 * l + 182501.0 * l * m + 450025.0 * l * t + 17625.0 * l * m * t - 405375.0 * l * t * t
           - 29375.0 * l * m * t * t;
    B[0] = 0.0;
    B[1] = 4.01e12 * l + 2.356e11 * m + 1e10 * t;
    B[2] = 3.97e8 * l + 2.058e7 * m + 1.47e8 * t + 1.8847e9 * l * m;
    B[3] = 164500.0 * l * m + 1175000.0 * l * t;
    section.SetAnalog(B, A, 3);
}

}  // namespace tonewright
