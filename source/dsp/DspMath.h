#pragma once
// Small numeric helpers shared by every processing stage.

#include <climits>
#include <cmath>
#include <optional>

namespace tonewright {

// Recursive filters and feedback paths pass their values through this so that
// decaying signals reach exact zero instead of lingering as subnormals. It
// relies on strict IEEE arithmetic: never build DSP code with -ffast-math.
constexpr double kDenormalOffset = 1e-10;
inline double denormalGuard(double x)
{
    return (x + kDenormalOffset) - kDenormalOffset;
}

// The guard over a sum a + b whose term a arrives last (a loop waits for
// it): the offset joins b first, so a costs one addition before the guard's
// subtraction. Equal to denormalGuard(a + b) but for the rounding of the
// additions' order.
inline double guardedSum(double a, double b)
{
    return (a + (b + kDenormalOffset)) - kDenormalOffset;
}

// The one conversion of a parameter value to an integer: floor(v + 0.5).
// NaN, infinities and values outside the int range give no result, so no
// caller can reach undefined behaviour through a cast.
inline std::optional<int> roundedInt(double v)
{
    if (!std::isfinite(v)) return std::nullopt;
    const double r = std::floor(v + 0.5);
    if (r < static_cast<double>(INT_MIN) || r > static_cast<double>(INT_MAX)) return std::nullopt;
    return static_cast<int>(r);
}

// roundedInt limited to lo..hi inclusive.
inline std::optional<int> roundedIntIn(double v, int lo, int hi)
{
    const auto k = roundedInt(v);
    if (!k || *k < lo || *k > hi) return std::nullopt;
    return k;
}

// One-pole glide: a step decays to 0.1 % of its size in `seconds`.
inline double glideCoefficient(double seconds, double fs)
{
    return 1.0 - std::pow(0.001, 1.0 / (seconds * fs));
}

// Envelope follower coefficient for a half-life in seconds; 0 is instant.
inline double halfLifeCoefficient(double seconds, double fs)
{
    if (!(seconds > 0.0)) return 1.0;
    return 1.0 - std::pow(0.5, 1.0 / (seconds * fs));
}

// Bilinear-transform constant pre-warped so that the digital response equals
// the analog one at f0 Hz.
inline double prewarpConstant(double f0, double fs)
{
    const double pi = 3.14159265358979323846;
    return 2.0 * pi * f0 / std::tan(pi * f0 / fs);
}

// Maps an analog transfer function B(s)/A(s) of order `order` (coefficients
// in ascending powers of s) onto z^-1 with s = c (1 - z^-1) / (1 + z^-1).
// Outputs b[0..order] and a[0..order], not yet normalised by a[0].
void bilinearTransform(const double* analogB, const double* analogA, int order, double c,
                       double* b, double* a);

// The inverse: maps digital polynomials b[0..order], a[0..order] in z^-1
// back onto B(s)/A(s) with z^-1 = (c - s) / (c + s). The results carry a
// common factor of c^-order, which cancels in B/A.
void inverseBilinearTransform(const double* b, const double* a, int order, double c, double* analogB,
                              double* analogA);

}  // namespace tonewright
