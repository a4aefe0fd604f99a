#include "MinimumPhase.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "Fft.h"

bool ConvertToMinimumPhaseFast(const double* in, double* out, int n)
{
    if (n < 1) return true;
    int P = 1;
    while (P < n) P *= 2;
    const int K = 2 * P;
    std::vector<double> a;
    std::vector<int> ip;
    std::vector<double> w;
    try {
        a.assign(static_cast<size_t>(2 * K), 0.0);
        ip.assign(static_cast<size_t>(fft::cdftIpSize(2 * K)), 0);
        w.assign(static_cast<size_t>(fft::cdftWSize(2 * K)), 0.0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (int j = 0; j < n; ++j) a[static_cast<size_t>(2 * j)] = in[j];

    cdft(2 * K, -1, a.data(), ip.data(), w.data());
    const double floorMagnitude = std::exp(-100.0);
    for (int k = 0; k < K; ++k) {
        double& re = a[static_cast<size_t>(2 * k)];
        double& im = a[static_cast<size_t>(2 * k + 1)];
        re = std::log(std::max(std::hypot(re, im), floorMagnitude));
        im = 0.0;
    }
    // The real cepstrum times K, folded onto the causal side with the 1/K.
    cdft(2 * K, 1, a.data(), ip.data(), w.data());
    const double scale = 1.0 / K;
    a[0] *= scale;
    a[1] = 0.0;
    for (int k = 1; k < P; ++k) {
        a[static_cast<size_t>(2 * k)] *= 2.0 * scale;
        a[static_cast<size_t>(2 * k + 1)] = 0.0;
    }
    a[static_cast<size_t>(2 * P)] *= scale;
    a[static_cast<size_t>(2 * P + 1)] = 0.0;
    for (int k = P + 1; k < K; ++k) a[static_cast<size_t>(2 * k)] = a[static_cast<size_t>(2 * k + 1)] = 0.0;

    // The complex log spectrum of the minimum-phase signal, exponentiated.
    cdft(2 * K, -1, a.data(), ip.data(), w.data());
    for (int k = 0; k < K; ++k) {
        double& re = a[static_cast<size_t>(2 * k)];
        double& im = a[static_cast<size_t>(2 * k + 1)];
        const double magnitude = std::exp(re);
        const double phase = im;
        re = magnitude * std::cos(phase);
        im = magnitude * std::sin(phase);
    }
    cdft(2 * K, 1, a.data(), ip.data(), w.data());
    for (int i = 0; i < n; ++i) out[i] = a[static_cast<size_t>(2 * i)] * scale;
    return true;
}
