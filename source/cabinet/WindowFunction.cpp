#include "cabinet/WindowFunction.h"

#include <cmath>

namespace tonewright {

double WindowFunction::KaiserHalfWindow(int i, int n, double beta)
{
    if (i < 0 || i >= n) return 0.0;
    if (n == 1) return 1.0;
    const double u = static_cast<double>(i) / (n - 1);
    return Bessel0(beta * std::sqrt(1.0 - u * u)) / Bessel0(beta);
}

double WindowFunction::Bessel0(double x)
{
    const double ax = std::abs(x);
    if (ax < 3.75) {
        const double t = (x / 3.75) * (x / 3.75);
        return 1.0 + t * (3.5156229 + t * (3.0899424 + t * (1.2067492 + t * (0.2659732 + t * (0.0360768 + t * 0.0045813)))));
    }
    const double v = 3.75 / ax;
    return std::exp(ax) / std::sqrt(ax) *
           (0.39894228 + v * (0.01328592 + v * (0.00225319 + v * (-0.00157565 + v * (0.00916281 +
            v * (-0.02057706 + v * (0.02635537 + v * (-0.01647633 + v * 0.00392377))))))));
}

}  // namespace tonewright
