#include "cabinet/MinimumPhase.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "cabinet/Fft.h"
#include "dsp/AudioThread.h"

namespace tonewright {

// The real cepstrum over K = 2P points. Every signal on the way is real (the
// input, the cepstrum, the minimum-phase result) and every spectrum is
// Hermitian, so the four transforms are real ones of K samples. rdft's
// spectra are conjugated; the conjugation cancels in the magnitude and is
// undone around the exponential.
bool ConvertToMinimumPhaseFast(const double* in, double* out, int n)
{
    CheckOffAudioThread("minimum-phase conversion");
    if (n < 1) return true;
    int P = 1;
    while (P < n) P *= 2;
    const int K = 2 * P;
    std::vector<double> a;
    std::vector<int> ip;
    std::vector<double> w;
    try {
        a.assign(static_cast<size_t>(K), 0.0);
        ip.assign(static_cast<size_t>(fft::rdftIpSize(K)), 0);
        w.assign(static_cast<size_t>(fft::rdftWSize(K)), 0.0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::copy_n(in, n, a.begin());
    auto re = [&a](int k) -> double& { return a[static_cast<size_t>(2 * k)]; };
    auto im = [&a](int k) -> double& { return a[static_cast<size_t>(2 * k + 1)]; };

    // Log magnitude, floored at e^-100 so that silent bins stay finite.
    rdft(K, 1, a.data(), ip.data(), w.data());
    const double floorMagnitude = std::exp(-100.0);
    a[0] = std::log(std::max(std::abs(a[0]), floorMagnitude));
    a[1] = std::log(std::max(std::abs(a[1]), floorMagnitude));
    for (int k = 1; k < P; ++k) {
        re(k) = std::log(std::max(std::hypot(re(k), im(k)), floorMagnitude));
        im(k) = 0.0;
    }

    // The real cepstrum (times K/2), folded onto the causal side.
    rdft(K, -1, a.data(), ip.data(), w.data());
    const double scale = 2.0 / K;
    a[0] *= scale;
    for (int j = 1; j < P; ++j) a[static_cast<size_t>(j)] *= 2.0 * scale;
    a[static_cast<size_t>(P)] *= scale;
    std::fill(a.begin() + P + 1, a.end(), 0.0);

    // Its spectrum is the complex log spectrum of the minimum-phase signal.
    rdft(K, 1, a.data(), ip.data(), w.data());
    a[0] = std::exp(a[0]);
    a[1] = std::exp(a[1]);
    for (int k = 1; k < P; ++k) {
        const double magnitude = std::exp(re(k));
        const double phase = -im(k);
        re(k) = magnitude * std::cos(phase);
        im(k) = -magnitude * std::sin(phase);
    }
    rdft(K, -1, a.data(), ip.data(), w.data());
    for (int i = 0; i < n; ++i) out[i] = a[static_cast<size_t>(i)] * scale;
    return true;
}

}  // namespace tonewright
