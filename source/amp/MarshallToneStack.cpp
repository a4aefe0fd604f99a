#include "amp/MarshallToneStack.h"

#include <cmath>

namespace tonewright {

MarshallToneStack::MarshallToneStack() : CircuitToneStack(3)
{
    Prime();
}

void MarshallToneStack::SetBass(double v)
{
    SetVariable(l, v, std::pow(v, 2.5));
}

void MarshallToneStack::SetMids(double v)
{
    SetVariable(m, v, v);
}

void MarshallToneStack::SetTreble(double v)
{
    SetVariable(t, v, v);
}

void MarshallToneStack::Update()
{
    double A[4];
    double B[4];
    A[0] = 5.42e21 + 1e22 * l + 2.2e21 * t;
    A[1] = 1.164785112e19 + 1.3230201e20 * l + 2.981e18 * m + 4.7332142e18 * t + 5.5e18 * l * m
           + 4.7366e19 * l * t - 1.375e17 * m * m + 1.21e18 * m * t - 2.2748e17 * t * t;
    A[2] = 3.38027215834e15 + 1.0275601446e17 * l - 1.38029441e14 * m + 1.3451710844e15 * t
           + 6.86158055e16 * l * m + 3.99962596e16 * l * t - 1.7153951375e15 * m * m - 1.3593019e14 * m * t
           - 4.68426816e14 * t * t + 2.60513e16 * l * m * t - 5.00456e15 * l * t * t - 1.25114e14 * m * t * t
           - 6.512825e14 * m * m * t;
    A[3] = 2.23127244131e11 + 8.92508976524e12 * l - 2.6371403806e10 * m + 9.494776346e10 * t
           + 7.870233613e12 * l * m + 3.7979105384e12 * l * t - 1.96755840325e11 * m * m
           - 3.645696846e10 * m * t - 9.44110244e10 * t * t + 2.3396318e12 * l * m * t
           - 3.776440976e12 * l * t * t + 2.55983244e10 * m * t * t - 5.8490795e10 * m * m * t
           - 2.752508e12 * l * m * t * t + 6.88127e10 * m * m * t * t;
    B[0] = 0.0;
    B[1] = 2.9042475e18 + 1.161699e20 * l + 2.8435e18 * m + 5.34578e17 * t;
    B[2] = 3.8222327e14 + 1.52889308e16 * l + 1.891354025e15 * m + 7.76207256e14 * t + 6.3893445e16 * l * m
           - 1.597336125e15 * m * m;
    B[3] = 1.8596632175e11 * m + 2.134569954e11 * t + 7.43865287e12 * l * m + 8.538279816e12 * l * t
           - 1.8596632175e11 * m * m - 2.134569954e11 * m * t;
    section.SetAnalog(B, A, 3);
}

}  // namespace tonewright
