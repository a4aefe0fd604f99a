#include "amp/MatchlessTrebleVolumeStack.h"

namespace tonewright {

MatchlessTrebleVolumeStack::MatchlessTrebleVolumeStack() : CircuitToneStack(3)
{
    Prime();
}

void MatchlessTrebleVolumeStack::SetTreble(double v)
{
    SetVariable(t, v, 1.0 - v);
}

void MatchlessTrebleVolumeStack::SetVolume(double v)
{
    SetVariable(m, v, v);
}

void MatchlessTrebleVolumeStack::Update()
{
    double A[4];
    double B[4];
    A[0] = 4.136e15 + 2e15 * m;
    A[1] = 5.333372e13 + 2.56866e13 * m - 1.94392e13 * t - 1.105e13 * m * m - 9.4e12 * m * t;
    A[2] = 1.61135458e11 + 7.7725142e10 * m - 1.5016782e11 * t - 5.78072e10 * m * m - 7.212902e10 * m * t
           + 5.1935e10 * m * m * t;
    A[3] = 1069156.0 + 2388023.0 * m - 1069156.0 * t - 3457179.0 * m * m - 2120734.0 * m * t
           + 3189890.0 * m * m * t;
    B[0] = 0.0;
    B[1] = 2.2748e13 * m;
    B[2] = 1.074843e11 * m - 5.687e8 * m * m - 1.069156e11 * m * t;
    B[3] = 2672890.0 * m - 2672890.0 * m * m - 2672890.0 * m * t + 2672890.0 * m * m * t;
    section.SetAnalog(B, A, 3);
}

}  // namespace tonewright
