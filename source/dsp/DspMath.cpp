#include "dsp/DspMath.h"

namespace tonewright {

namespace {

constexpr int kMaxOrder = 8;

// Coefficients of z^-j in (1 - z^-1)^k (1 + z^-1)^(n - k).
void expandTerm(int k, int n, double* out)
{
    double poly[kMaxOrder + 1] = {1.0};
    int degree = 0;
    for (int i = 0; i < n; ++i) {
        const double sign = i < k ? -1.0 : 1.0;
        for (int j = degree + 1; j > 0; --j) poly[j] += sign * poly[j - 1];
        ++degree;
    }
    for (int j = 0; j <= n; ++j) out[j] = poly[j];
}

}  // namespace

void bilinearTransform(const double* analogB, const double* analogA, int order, double c,
                       double* b, double* a)
{
    if (order < 0 || order > kMaxOrder) return;
    for (int j = 0; j <= order; ++j) b[j] = a[j] = 0.0;
    double ck = 1.0;
    for (int k = 0; k <= order; ++k) {
        double term[kMaxOrder + 1];
        expandTerm(k, order, term);
        for (int j = 0; j <= order; ++j) {
            b[j] += analogB[k] * ck * term[j];
            a[j] += analogA[k] * ck * term[j];
        }
        ck *= c;
    }
}

void inverseBilinearTransform(const double* b, const double* a, int order, double c, double* analogB,
                              double* analogA)
{
    if (order < 0 || order > kMaxOrder) return;
    for (int m = 0; m <= order; ++m) analogB[m] = analogA[m] = 0.0;
    // z^-j (c + s)^order = (c - s)^j (c + s)^(order - j), taken over c^order:
    // (1 - x)^j (1 + x)^(order - j) with x = s / c.
    for (int j = 0; j <= order; ++j) {
        double term[kMaxOrder + 1];
        expandTerm(j, order, term);
        double cm = 1.0;
        for (int m = 0; m <= order; ++m) {
            analogB[m] += b[j] * term[m] / cm;
            analogA[m] += a[j] * term[m] / cm;
            cm *= c;
        }
    }
}

}  // namespace tonewright
