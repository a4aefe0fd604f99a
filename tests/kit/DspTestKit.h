#pragma once
// Measurement helpers for the DSP tests: sine gain and phase at a frequency,
// impulse responses and delays, levels, and block runners with fixed or
// random block sizes.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <functional>
#include <random>
#include <vector>

namespace testkit {

constexpr double kPi = 3.14159265358979323846;

// Processes n samples in place.
using MonoProcess = std::function<void(double* x, int n)>;
// Processes n mono input samples into two outputs (the input may change).
using MonoToStereoProcess = std::function<void(double* in, double* l, double* r, int n)>;

// How a signal is cut into blocks.
struct BlockPlan {
    int size = 512;         // fixed size, or the largest random size
    bool random = false;    // sizes drawn uniformly from 1..size
    unsigned seed = 1;

    static BlockPlan Fixed(int n) { return {n, false, 1}; }
    static BlockPlan Random(int maxSize, unsigned seed = 1) { return {maxSize, true, seed}; }
};

// Calls f(offset, n) for consecutive blocks covering `total` samples.
void forEachBlock(int total, const BlockPlan& plan, const std::function<void(int, int)>& f);

std::vector<double> runMono(const MonoProcess& p, std::vector<double> signal, const BlockPlan& plan = {});

struct Stereo {
    std::vector<double> left, right, mono;  // mono: the input as the process left it
};
Stereo runStereo(const MonoToStereoProcess& p, std::vector<double> signal, const BlockPlan& plan = {});

std::vector<double> sine(double fs, double freq, double seconds, double amplitude = 0.5, double phase = 0.0);
std::vector<double> impulse(int length, double amplitude = 1.0, int at = 0);
std::vector<double> whiteNoise(int length, double amplitude, unsigned seed = 1);

// Least-squares fit of a sine (plus DC) at a known frequency over samples
// [begin, end): amplitude and phase in radians of a sin(w n + phase).
struct SineFit {
    double amplitude = 0.0;
    double phase = 0.0;
    double dc = 0.0;
    double residualRms = 0.0;  // what the fit leaves: noise, harmonics
};
SineFit fitSine(const std::vector<double>& y, size_t begin, size_t end, double fs, double freq);

// Steady-state response of a process to a sine: gain (linear) and phase
// shift (radians, wrapped to -pi..pi) of the output relative to the input.
struct Response {
    double gain = 0.0;
    double phase = 0.0;
    double gainDb() const;
};
Response measureSine(const MonoProcess& p, double fs, double freq, double amplitude = 0.25,
                     double settleSeconds = 0.3, double measureSeconds = 0.2, const BlockPlan& plan = {});

// A linear gain in decibels.
double dB(double linear);

std::vector<double> impulseResponse(const MonoProcess& p, int length, const BlockPlan& plan = {});

// Index of the sample with the largest magnitude.
size_t peakIndex(const std::vector<double>& v);
// Lag (in samples, 0..maxLag) at which `out` best matches `in`.
int measureDelay(const std::vector<double>& in, const std::vector<double>& out, int maxLag);

double rms(const std::vector<double>& v, size_t begin = 0, size_t end = static_cast<size_t>(-1));
double peak(const std::vector<double>& v, size_t begin = 0, size_t end = static_cast<size_t>(-1));
// Largest |v[i] - v[i-1]| over [begin, end).
double largestStep(const std::vector<double>& v, size_t begin = 1, size_t end = static_cast<size_t>(-1));
bool allFinite(const std::vector<double>& v);
// True when no sample is a subnormal number.
bool noSubnormals(const std::vector<double>& v);

// Counts the heap allocations and frees made on the calling thread while it
// is alive (operator new and delete, the C allocation functions).
class AllocationCounter {
public:
    AllocationCounter();
    ~AllocationCounter();
    AllocationCounter(const AllocationCounter&) = delete;
    AllocationCounter& operator=(const AllocationCounter&) = delete;
    long count() const;  // allocations
    long freed() const;
    // False under ThreadSanitizer, whose hooks miss aligned_alloc,
    // posix_memalign and memalign called directly.
    static bool seesAlignedCFunctions();

private:
    long start, startFrees;
};

// Makes every heap allocation on the calling thread fail (std::bad_alloc, or
// null from the nothrow forms) from the `first`-th one made while it is
// alive (0: the next one) until it ends: memory that runs out part-way
// through a call and stays out. Other threads allocate as usual.
class AllocationFailure {
public:
    explicit AllocationFailure(long first);
    ~AllocationFailure();
    AllocationFailure(const AllocationFailure&) = delete;
    AllocationFailure& operator=(const AllocationFailure&) = delete;
    // How many allocations were refused so far.
    long refused() const;
};

// Runs `blocks` blocks cut from the start of `signal`, the first as long as
// the signal and the others of random lengths up to it, calling between(b)
// before block b; reports the heap allocations and frees made meanwhile and
// whether every output sample was finite.
struct AllocationRun {
    long allocations = 0, frees = 0;
    bool finite = true;
};
AllocationRun allocationsOverRandomBlocks(const MonoProcess& p, const std::vector<double>& signal, int blocks,
                                          unsigned seed, const std::function<void(int block)>& between);

// An effect run in blocks of the plan against a reference set up alike and
// run a sample at a time (or in the same blocks), both in place over the same
// input (r empty: the mono form, or a null right channel): the largest
// difference, and the reference's peak from `tail` on.
struct BlockDifference {
    double worst = 0.0, tailPeak = 0.0;
};
template <class Effect, class Reference>
BlockDifference blocksAgainstSamples(Effect& effect, Reference& reference, std::vector<double> l,
                                     std::vector<double> r, const BlockPlan& plan, size_t tail = 0,
                                     bool sameBlocks = false)
{
    std::vector<double> wantL = l, wantR = r;
    const auto run = [&r](auto& e, std::vector<double>& a, std::vector<double>& b, int at, int n) {
        const size_t k = size_t(at);
        if constexpr (requires { e.process(&a[k], n); })
            if (r.empty()) return e.process(&a[k], n);
        e.process(&a[k], r.empty() ? nullptr : &b[k], n);
    };
    forEachBlock(int(l.size()), sameBlocks ? plan : BlockPlan::Fixed(1),
                 [&](int at, int n) { run(reference, wantL, wantR, at, n); });
    forEachBlock(int(l.size()), plan, [&](int at, int n) { run(effect, l, r, at, n); });
    BlockDifference d{0.0, std::max(peak(wantL, tail), peak(wantR, tail))};
    for (size_t i = 0; i < l.size(); ++i) d.worst = std::max(d.worst, std::abs(l[i] - wantL[i]));
    for (size_t i = 0; i < r.size(); ++i) d.worst = std::max(d.worst, std::abs(r[i] - wantR[i]));
    return d;
}

}  // namespace testkit
