// The cabinet convolver's cost and worst block, and the FFT next to FFTW.
// FFT rows treat each transform as a block of n samples of audio, so their
// "ms/audio-s" is the time to transform one second of audio in blocks of n.

#include <cmath>
#include <cstring>
#include <string>
#include <memory>
#include <random>
#include <vector>

#include "Bench.h"
#include "cabinet/CabinetConvolver.h"
#include "cabinet/Fft.h"
#include "cabinet/MinimumPhase.h"

#if defined(TONEWRIGHT_BENCH_FFTW)
#include <fftw3.h>
#endif

namespace tonewright {
namespace {

constexpr double kFs = 44100.0;

std::vector<double> noise(size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> d(-0.5, 0.5);
    std::vector<double> v(n);
    for (double& x : v) x = d(rng);
    return v;
}

bench::Result convolver(int taps, bool mono, int block)
{
    auto c = std::make_unique<CabinetConvolver>();
    std::vector<double> l = noise(size_t(taps), 1), r = noise(size_t(taps), 2);
    for (int i = 0; i < taps; ++i) {
        const double decay = std::exp(-6.0 * i / taps);
        l[size_t(i)] *= decay;
        r[size_t(i)] *= decay;
    }
    c->SetImpulse(l.data(), r.data(), taps, mono);
    const std::vector<double> in = noise(size_t(block), 3);
    std::vector<double> outL(static_cast<size_t>(block)), outR(static_cast<size_t>(block));
    return bench::measure(kFs, block, 10.0, 5,
                          [&](int n) { c->process(in.data(), outL.data(), outR.data(), n); });
}

struct ConvolverCases {
    ConvolverCases()
    {
        for (int taps : {2048, 8192, 32768})
            for (bool mono : {true, false})
                for (int block : {64, 128, 1024}) {
                    const std::string name = "cabinet convolver: " + std::to_string(taps) + " taps, " +
                                             (mono ? "mono" : "stereo") + ", block " + std::to_string(block);
                    bench::Register(name, [=] { return convolver(taps, mono, block); });
                }
    }
} convolverCases;

bench::Result ours(int n, bool real)
{
    const std::vector<double> input = noise(size_t(real ? n : 2 * n), 4);
    std::vector<double> a(input.size());
    const int length = real ? n : 2 * n;
    std::vector<int> ip(size_t(real ? fft::rdftIpSize(length) : fft::cdftIpSize(length)), 0);
    std::vector<double> w(size_t(real ? fft::rdftWSize(length) : fft::cdftWSize(length)));
    return bench::measure(kFs, n, 2.0, 5, [&](int) {
        std::memcpy(a.data(), input.data(), input.size() * sizeof(double));
        if (real)
            rdft(length, 1, a.data(), ip.data(), w.data());
        else
            cdft(length, -1, a.data(), ip.data(), w.data());
    });
}

#if defined(TONEWRIGHT_BENCH_FFTW)
bench::Result reference(int n, bool real)
{
    const std::vector<double> input = noise(size_t(real ? n : 2 * n), 4);
    double* a = fftw_alloc_real(size_t(2 * n + 2));
    fftw_plan plan = real ? fftw_plan_dft_r2c_1d(n, a, reinterpret_cast<fftw_complex*>(a), FFTW_MEASURE)
                          : fftw_plan_dft_1d(n, reinterpret_cast<fftw_complex*>(a), reinterpret_cast<fftw_complex*>(a),
                                             FFTW_FORWARD, FFTW_MEASURE);
    const bench::Result r = bench::measure(kFs, n, 2.0, 5, [&](int) {
        std::memcpy(a, input.data(), input.size() * sizeof(double));
        fftw_execute(plan);
    });
    fftw_destroy_plan(plan);
    fftw_free(a);
    return r;
}
#endif

struct FftCases {
    FftCases()
    {
        for (bool real : {true, false})
            for (int n : {128, 1024, 4096, 16384, 131072}) {
                const std::string what = std::string(real ? "rdft " : "cdft ") + std::to_string(n) + (real ? " samples" : " points");
                bench::Register("fft: " + what + ", ours", [=] { return ours(n, real); });
#if defined(TONEWRIGHT_BENCH_FFTW)
                bench::Register("fft: " + what + ", FFTW", [=] { return reference(n, real); });
#endif
            }
    }
} fftCases;

bench::Result minimumPhase(int n)
{
    const std::vector<double> in = noise(size_t(n), 5);
    std::vector<double> out(static_cast<size_t>(n));
    return bench::measure(kFs, n, double(n) / kFs, 5,
                          [&](int) { ConvertToMinimumPhaseFast(in.data(), out.data(), n); });
}

const bench::Register minphase8k("cabinet minimum phase: 8192 samples", [] { return minimumPhase(8192); });
const bench::Register minphase64k("cabinet minimum phase: 65536 samples", [] { return minimumPhase(65536); });

}  // namespace

}  // namespace tonewright
