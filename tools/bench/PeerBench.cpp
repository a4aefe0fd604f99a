// Our FFT and convolver against peer code, each pair timed alternately in one
// process so that the machine's load falls on both alike:
//   tonewright-bench --peers fft        rdft and cdft, both directions, against FFTW
//   tonewright-bench --peers convolver  the cabinet convolver against zita-convolver
// Each line: "label ratio ours_us peer_us" (ours/peer, microseconds per
// transform or per block), then for the convolver the worst-block figures.
// tools/bench/compare-peers runs these repeatedly and summarises them.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "Bench.h"
#include "cabinet/CabinetConvolver.h"
#include "cabinet/Fft.h"

#if defined(TONEWRIGHT_BENCH_FFTW)
#include <fftw3.h>
#endif
#if defined(TONEWRIGHT_BENCH_ZITA)
#include <zita-convolver.h>
#endif

namespace tonewright {
namespace {

#if defined(TONEWRIGHT_BENCH_FFTW) || defined(TONEWRIGHT_BENCH_ZITA)
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 7;  // alternations of ours and the peer in one run

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// Least time per call of `f` over the rounds, each round long enough to
// swamp the clock; `ours` and `peer` alternate.
template <class A, class B>
void alternate(A&& ours, B&& peer, int calls, double& oursUs, double& peerUs)
{
    oursUs = peerUs = 1e300;
    for (int round = 0; round < kRounds; ++round) {
        auto t0 = Clock::now();
        for (int i = 0; i < calls; ++i) ours(i);
        auto t1 = Clock::now();
        for (int i = 0; i < calls; ++i) peer(i);
        auto t2 = Clock::now();
        oursUs = std::min(oursUs, 1e6 * seconds(t0, t1) / calls);
        peerUs = std::min(peerUs, 1e6 * seconds(t1, t2) / calls);
    }
}

void printRatio(const std::string& label, double ours, double peer, const char* extra = "")
{
    std::printf("%s\t%.4f %.4f %.4f%s\n", label.c_str(), ours / peer, ours, peer, extra);
    std::fflush(stdout);
}
#endif

#if defined(TONEWRIGHT_BENCH_FFTW)

// Transforms run in place on one buffer, which is refreshed from the input
// every kRefresh calls (for both sides) so that values neither grow without
// bound nor cost a copy per call.
constexpr int kRefresh = 8;

int callsFor(int n) { return std::max(64, int(4e6 / (n * std::log2(double(n))))) / kRefresh * kRefresh; }

void compareFft()
{
    for (int n = 64; n <= 131072; n *= 2) {
        for (const bool real : {true, false}) {
            for (const int sign : {1, -1}) {
                // rdft(n) on n samples; cdft on n complex points (2n doubles).
                const int doubles = real ? n : 2 * n;
                const std::vector<double> input = bench::noise(doubles, 0.5, unsigned(n));
                std::vector<double> a(size_t(doubles) + 2);
                std::vector<int> ip(size_t(real ? fft::rdftIpSize(doubles) : fft::cdftIpSize(doubles)), 0);
                std::vector<double> w(size_t(real ? fft::rdftWSize(doubles) : fft::cdftWSize(doubles)), 0.0);
                double* p = fftw_alloc_real(size_t(doubles) + 2);
                auto* c = reinterpret_cast<fftw_complex*>(p);
                // FFTW's forward real transform is rdft(n, 1)'s conjugate and
                // its inverse takes n/2 + 1 bins: the same work.
                fftw_plan plan = real ? (sign == 1 ? fftw_plan_dft_r2c_1d(n, p, c, FFTW_MEASURE)
                                                   : fftw_plan_dft_c2r_1d(n, c, p, FFTW_MEASURE))
                                      : fftw_plan_dft_1d(n, c, c, sign == 1 ? FFTW_BACKWARD : FFTW_FORWARD,
                                                         FFTW_MEASURE);
                const int isgn = real ? sign : -sign;
                const size_t bytes = size_t(doubles) * sizeof(double);
                auto ours = [&](int i) {
                    if (i % kRefresh == 0) std::memcpy(a.data(), input.data(), bytes);
                    if (real)
                        rdft(doubles, isgn, a.data(), ip.data(), w.data());
                    else
                        cdft(doubles, isgn, a.data(), ip.data(), w.data());
                };
                auto peer = [&](int i) {
                    if (i % kRefresh == 0) std::memcpy(p, input.data(), bytes);
                    fftw_execute(plan);
                };
                ours(0);  // builds our tables
                double oursUs = 0.0, peerUs = 0.0;
                alternate(ours, peer, callsFor(n), oursUs, peerUs);
                const std::string label = std::string(real ? "rdft " : "cdft ") + std::to_string(n) +
                                          (real ? " samples" : " points") + (sign == 1 ? ", forward" : ", inverse");
                printRatio(label, oursUs, peerUs);
                fftw_destroy_plan(plan);
                fftw_free(p);
            }
        }
    }
}
#endif

#if defined(TONEWRIGHT_BENCH_ZITA)

// Per-block times of one run: the mean and the 99th percentile over median.
struct BlockTimes {
    std::vector<double> us;
    double Mean() const
    {
        double s = 0.0;
        for (double t : us) s += t;
        return us.empty() ? 0.0 : s / double(us.size());
    }
    double WorstOverMedian() const
    {
        std::vector<double> v = us;
        std::sort(v.begin(), v.end());
        const double median = v[v.size() / 2];
        const double p99 = v[std::min(v.size() - 1, size_t(std::ceil(0.99 * double(v.size()))) - 1)];
        return p99 / median;
    }
};

struct Zita {
    Convproc proc;
    int outputs;
    Zita(const std::vector<double>& left, const std::vector<double>& right, bool mono, int block)
        : outputs(mono ? 1 : 2)
    {
        // Its lowest latency: one level of partitions of the block, run in
        // the caller (no thread is started when the smallest partition is
        // the processing quantum).
        proc.set_options(Convproc::OPT_FFTW_MEASURE | Convproc::OPT_VECTOR_MODE);
        const int taps = int(left.size());
        if (proc.configure(1, uint32_t(outputs), uint32_t(taps), uint32_t(block), uint32_t(block), uint32_t(block),
                           0.0f) != 0)
            throw std::runtime_error("zita-convolver refuses the configuration");
        std::vector<float> l(left.begin(), left.end()), r(right.begin(), right.end());
        proc.impdata_create(0, 0, 1, l.data(), 0, taps);
        if (!mono) proc.impdata_create(0, 1, 1, r.data(), 0, taps);
        proc.start_process(0, 0);
    }
    ~Zita()
    {
        proc.stop_process();
        proc.cleanup();
    }
    void Process(const float* in, float* outL, float* outR, int n)
    {
        std::memcpy(proc.inpdata(0), in, size_t(n) * sizeof(float));
        proc.process(true);
        std::memcpy(outL, proc.outdata(0), size_t(n) * sizeof(float));
        if (outputs == 2) std::memcpy(outR, proc.outdata(1), size_t(n) * sizeof(float));
    }
};

void compareConvolver()
{
    constexpr double kFs = 44100.0;
    for (const int taps : {2048, 8192, 32768}) {
        for (const bool mono : {true, false}) {
            std::vector<double> left = bench::noise(taps, 0.5, 1), right = bench::noise(taps, 0.5, 2);
            for (int i = 0; i < taps; ++i) {
                const double decay = std::exp(-6.0 * i / taps);
                left[size_t(i)] *= decay;
                right[size_t(i)] *= decay;
            }
            for (const int block : {64, 256, 1024}) {
                auto ours = std::make_unique<CabinetConvolver>();
                ours->SetImpulse(left.data(), right.data(), taps, mono);
                Zita peer(left, right, mono, block);
                // Half a second of audio per round: many long-level periods.
                const int blocks = int(0.5 * kFs) / block;
                const std::vector<double> in = bench::noise(blocks * block, 0.5, 3);
                const std::vector<float> inF(in.begin(), in.end());
                std::vector<double> outL(in.size()), outR(in.size());
                std::vector<float> zl(in.size()), zr(in.size());
                // The cost is the least mean over the rounds; the worst block
                // over the median the least over the rounds (the machine's
                // other work lands on single blocks at random).
                double oursUs = 1e300, peerUs = 1e300, oursWorst = 1e300, peerWorst = 1e300;
                for (int round = 0; round < kRounds; ++round) {
                    BlockTimes o, z;
                    // Each side first runs untimed for a while, so that the
                    // other's run has not left it a cold cache to start with.
                    for (int b = 0; b < blocks / 4; ++b) {
                        const size_t at = size_t(b) * size_t(block);
                        ours->process(in.data() + at, outL.data() + at, outR.data() + at, block);
                    }
                    for (int b = 0; b < blocks; ++b) {
                        const size_t at = size_t(b) * size_t(block);
                        const auto t0 = Clock::now();
                        ours->process(in.data() + at, outL.data() + at, outR.data() + at, block);
                        const auto t1 = Clock::now();
                        o.us.push_back(1e6 * seconds(t0, t1));
                    }
                    for (int b = 0; b < blocks / 4; ++b) {
                        const size_t at = size_t(b) * size_t(block);
                        peer.Process(inF.data() + at, zl.data() + at, zr.data() + at, block);
                    }
                    for (int b = 0; b < blocks; ++b) {
                        const size_t at = size_t(b) * size_t(block);
                        const auto t0 = Clock::now();
                        peer.Process(inF.data() + at, zl.data() + at, zr.data() + at, block);
                        const auto t1 = Clock::now();
                        z.us.push_back(1e6 * seconds(t0, t1));
                    }
                    oursUs = std::min(oursUs, o.Mean());
                    peerUs = std::min(peerUs, z.Mean());
                    oursWorst = std::min(oursWorst, o.WorstOverMedian());
                    peerWorst = std::min(peerWorst, z.WorstOverMedian());
                }
                // The same output, to float precision: the peer is configured
                // with no latency and the same impulse (checked on the last
                // round, whose history both carry alike).
                double diff = 0.0, peak = 0.0;
                for (size_t i = 0; i < in.size(); ++i) {
                    diff = std::max({diff, std::abs(outL[i] - zl[i]), std::abs(mono ? 0.0 : outR[i] - zr[i])});
                    peak = std::max(peak, std::abs(outL[i]));
                }
                char extra[160];
                std::snprintf(extra, sizeof extra, "\tp99/median ours %.2f peer %.2f%s", oursWorst, peerWorst, diff > 1e-4 * peak ? "\tOUTPUTS DIFFER" : "");
                printRatio(std::to_string(taps) + " taps, " + (mono ? "mono" : "stereo") + ", block " +
                               std::to_string(block),
                           oursUs, peerUs, extra);
            }
        }
    }
}
#endif

}  // namespace

namespace bench {

int runPeers(const std::string& what)
{
    if (what == "fft") {
#if defined(TONEWRIGHT_BENCH_FFTW)
        compareFft();
        return 0;
#else
        std::fprintf(stderr, "tonewright-bench: built without FFTW (libfftw3-dev)\n");
        return 3;
#endif
    }
    if (what == "convolver") {
#if defined(TONEWRIGHT_BENCH_ZITA)
        compareConvolver();
        return 0;
#else
        std::fprintf(stderr, "tonewright-bench: built without zita-convolver (libzita-convolver-dev)\n");
        return 3;
#endif
    }
    std::fprintf(stderr, "tonewright-bench: --peers fft|convolver\n");
    return 2;
}

}  // namespace bench

}  // namespace tonewright
