#pragma once
// What the three reverb algorithms share: the rate, the wet/dry mix and the
// stereo width, the mono input rule and the output rule, and the scaling of
// their 44.1 kHz delay lengths to the running rate.

#include <algorithm>
#include <cmath>

#include "effects/Primes.h"
#include "dsp/ParameterRules.h"

namespace tonewright {

class ReverbAlgorithm {
public:
    // wet = m, dry = 1 - m; m is limited to 0..1.
    void setmix(double m)
    {
        if (!std::isfinite(m)) return;
        wet = std::clamp(m, 0.0, 1.0);
        dry = 1.0 - wet;
    }
    // 1 keeps the two wet signals apart, 0 mixes them equally; limited to -1..1.
    void setwidth(double w)
    {
        if (!std::isfinite(w)) return;
        width1 = 0.5 * std::clamp(w, -1.0, 1.0) + 0.5;
        width2 = 1.0 - width1;
    }

    double Fs() const { return fs; }

protected:
    static constexpr double kBaseRate = 44100.0;

    // A length of the 44.1 kHz tables at the running rate: the nearest prime.
    int Scaled(int length) const { return closest_prime(length * fs / kBaseRate); }

    // Takes a new rate; false when it is refused or unchanged.
    bool AcceptRate(double rate)
    {
        return acceptNewRate(fs, rate);
    }

    // Blocks run through each stage a run of samples at a time: a run is no
    // longer than `cap` nor than any line of the given groups of blocks.
    template <class... Groups>
    static int LongestRun(int cap, const Groups&... groups)
    {
        int longest = cap;
        auto shorten = [&](const auto& group) {
            for (const auto& block : group) longest = std::min(longest, block.Length());
        };
        (shorten(groups), ...);
        return std::max(1, longest);
    }
    // The input rule over a run.
    static void Inputs(const double* l, const double* r, double* x, int n)
    {
        for (int i = 0; i < n; ++i) x[i] = Input(l[i], r[i]);
    }

    // The mono signal that feeds the network. A non-finite input would stay
    // in the lines for good, so it enters as silence.
    static double Input(double l, double r)
    {
        const double x = (l + r) * 0.5;
        return std::isfinite(x) ? x : 0.0;
    }

    void Output(double a, double b, double& l, double& r) const
    {
        const double inL = l, inR = r;
        l = (a * width1 + b * width2) * wet + inL * dry;
        r = (b * width1 + a * width2) * wet + inR * dry;
    }

    double fs = kBaseRate;
    double wet = 1.0;
    double dry = 0.0;
    double width1 = 1.0;
    double width2 = 0.0;
};

}  // namespace tonewright
