#include "dsp/RangeHelpers.h"

#include <algorithm>
#include <cmath>

#include "dsp/DspMath.h"

namespace tonewright {

double range(double x, double a, double b) { return a + (b - a) * x; }

double irange(double y, double a, double b) { return (y - a) / (b - a); }

double rangeLog(double x, double a, double b)
{
    const double la = std::log10(a);
    return std::pow(10.0, la + (std::log10(b) - la) * x);
}

double irangeLog(double y, double a, double b)
{
    const double la = std::log10(a);
    return (std::log10(y) - la) / (std::log10(b) - la);
}

double rangeDb(double x, double a, double b) { return std::pow(10.0, (a + (b - a) * x) / 20.0); }

double irangeDb(double g, double a, double b) { return (20.0 * std::log10(g) - a) / (b - a); }

// floor((n - 1) x + 0.5) + 1; values that cannot be a step give step 1.
int position(double x, int n)
{
    const auto k = roundedInt(static_cast<double>(n - 1) * x);
    if (!k) return 1;
    return *k + 1;
}

double iposition(double p, int n) { return (p - 1.0) / static_cast<double>(n - 1); }

double limitrange(double x, double a, double b)
{
    if (x < 0.0) return a;
    return a + std::min(x, 1.0) * (b - a);
}

double toDb(double g) { return 20.0 * std::log10(g); }

double fromDb(double d) { return std::pow(10.0, d / 20.0); }

}  // namespace tonewright
