#include "amp/PeaveyToneStack.h"

#include <cmath>

namespace tonewright {

PeaveyToneStack::PeaveyToneStack() : CircuitToneStack(3)
{
    Prime();
}

void PeaveyToneStack::SetBass(double v)
{
    SetVariable(l, v, std::pow(v, 2.5));
}

void PeaveyToneStack::SetMids(double v)
{
    SetVariable(m, v, v);
}

void PeaveyToneStack::SetTreble(double v)
{
    SetVariable(t, v, v);
}

void PeaveyToneStack::Update()
{
    double A[4];
    double B[4];
    A[0] = 3.3875e20 + 6.25e20 * l + 1.375e20 * t;
    A[1] = 1.233056995e18 + 9.139088125e18 * l + 1.863125e17 * m + 5.021776375e17 * t + 3.4375e17 * l * m
           + 2.987875e18 * l * t - 8.59375e15 * m * m + 7.5625e16 * m * t - 8.1675e15 * t * t;
    A[2] = 3.4980570442125e14 + 1.163764639125e16 * l - 1.478954613125e14 * m + 1.42035248025e14 * t
           + 4.50241721875e15 * l * m + 4.679460225e15 * l * t - 1.1256043046875e14 * m * m
           - 6.9695924375e13 * m * t - 2.9396466e13 * t * t + 1.64333125e15 * l * m * t
           - 1.79685e14 * l * t * t - 4.492125e12 * m * t * t - 4.108328125e13 * m * m * t;
    A[3] = 1.6187749776e10 + 6.4750999104e11 * l - 7.804301076e9 * m + 6.88840416e9 * t
           + 3.35337948e11 * l * m + 2.755361664e11 * l * t - 8.3834487e9 * m * m - 5.18139666e9 * m * t
           - 6.848693775e9 * t * t + 6.82803e10 * l * m * t - 2.73947751e11 * l * t * t
           + 4.378025025e9 * m * t * t - 1.7070075e9 * m * m * t - 9.882675e10 * l * m * t * t
           + 2.47066875e9 * m * m * t * t;
    B[0] = 0.0;
    B[1] = 1.7989984375e17 + 7.19599375e18 * l + 1.7771875e17 * m + 1.9193625e16 * t;
    B[2] = 1.708232625e13 + 6.8329305e14 * l + 1.095014078125e14 * m + 5.7427326e13 * t
           + 3.9577965625e15 * l * m - 9.89449140625e13 * m * m;
    B[3] = 7.6006755e9 * m + 1.579251465e10 * t + 3.0402702e11 * l * m + 6.31700586e11 * l * t
           - 7.6006755e9 * m * m - 1.579251465e10 * m * t;
    section.SetAnalog(B, A, 3);
}

}  // namespace tonewright
