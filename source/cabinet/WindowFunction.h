#pragma once
// Window functions for shortening impulse responses.

namespace tonewright {

class WindowFunction {
public:
    // The falling half of a Kaiser window of n points: 1 at i = 0,
    // 1 / Bessel0(beta) at i = n - 1, 0 outside 0..n-1. A window of one
    // point is that single 1.
    static double KaiserHalfWindow(int i, int n, double beta);

    // The modified Bessel function I0 by the polynomial approximations of
    // Abramowitz and Stegun (9.8.1 and 9.8.2).
    static double Bessel0(double x);
};

}  // namespace tonewright
