#pragma once
// Band-limited sample-rate conversion by a Kaiser-windowed sinc table: each
// output sample is a sum over the input around its position, the filter
// stretched in time when down-sampling so that its cutoff follows the output
// rate. Used off the audio thread to bring cabinet impulses to the running
// rate; the cabinet builds it with (1/12, 12, 35, 4096, true).

#include <vector>

namespace tonewright {

class Resampler {
public:
    // filterLength: filter taps per input sample interval at factors >= 1;
    // tableStep: table points per input sample interval. Settings the
    // arithmetic cannot honour (non-positive or non-finite limits, fewer than
    // 2 taps, a step below 1) give a resampler that refuses every factor.
    Resampler(double minFactor, double maxFactor, long filterLength, double tableStep, bool interpolate);
    Resampler(const Resampler&) = default;
    Resampler& operator=(const Resampler&) = default;
    virtual ~Resampler() = default;

    // Starts a new stream: clears the history and any undelivered output.
    void reset();

    // Converts by factor = output rate / input rate. Consumes input from
    // in[*inUsed] on (*inUsed is 0 at a stream's first call and advances),
    // writes at most outLen samples to out and returns how many. With `last`
    // set and all input consumed, the filter's tail is flushed. Returns -1 and
    // changes nothing when the factor lies outside minFactor..maxFactor (NaN
    // included) or the arguments are unusable.
    int process(double factor, const double* in, int inLen, int last, int* inUsed, double* out, int outLen);

    // Modified Bessel function I0: the Abramowitz and Stegun polynomial
    // approximations (9.8.1, 9.8.2), and the power series.
    static double i0(double x);
    static double i0_precise(double x);

private:
    double FilterUp(int k, double f) const;
    double FilterDown(int k, double f, double factor) const;
    void Deliver(double* out, int& delivered, int outLen);

    double tableStep = 4096.0;
    bool interpolate = true;
    double minFactor = 1.0;
    double maxFactor = 1.0;
    double time = 0.0;
    int wingLength = 0;
    std::vector<double> table;
    std::vector<double> tableDiff;
    std::vector<double> input;
    std::vector<double> output;
    int inputSize = 0;
    int inputWrite = 0;
    int history = 0;
    int outputSize = 0;
    int pending = 0;
    bool usable = false;
};

}  // namespace tonewright
