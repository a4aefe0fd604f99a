#pragma once
// One reverb type: an algorithm with fixed settings whose wet signal is added
// to the dry signal at a smoothed level, switched through its own soft
// bypass. The algorithm runs with mix 1 (wet only) and the wet level glides
// sample by sample over what it returns.

#include <algorithm>
#include <cmath>

#include "dsp/DspMath.h"
#include "dsp/Glide.h"
#include "dsp/ParameterRules.h"
#include "dsp/SoftBypass.h"

namespace tonewright {

struct ReverbTypeParameters {
    bool enable = true;
    double level = 0.0;  // dB, ReverbType::kMinLevel .. kMaxLevel
};

template <class Algorithm>
class ReverbType {
public:
    // Levels beyond these would only overflow or vanish.
    static constexpr double kMinLevel = -240.0;
    static constexpr double kMaxLevel = 60.0;

    void SetParameter(int id, double v)
    {
        switch (id) {
        case 0:
            switch (bypass.SetEnable(params.enable, v)) {
            case SoftBypass::kUnchanged: return;
            // Never replay the tail of an earlier use; one switched back on
            // during its fade-out carries on without a cut.
            case SoftBypass::kStarted: algorithm.clear_buffers(); break;
            case SoftBypass::kSwitched: break;
            }
            dirty = true;
            return;
        case 1:
            if (acceptDoubleClamped(params.level, v, true, kMinLevel, kMaxLevel)) {
                gain.target = TargetGain();
                dirty = true;
            }
            return;
        default: return;
        }
    }

    double GetParameter(int id) const
    {
        switch (id) {
        case 0: return flagValue(params.enable);
        case 1: return params.level;
        default: return 0.0;
        }
    }

    void SetParameters(const ReverbTypeParameters& p)
    {
        SetParameter(0, flagValue(p.enable));
        SetParameter(1, p.level);
    }
    ReverbTypeParameters GetParameters() const { return params; }

    void SetFs(double rate)
    {
        if (!acceptNewRate(fs, rate)) return;
        algorithm.SetFs(rate);
        bypass.SetFs(rate);
        dirty = true;
        coefficient = glideCoefficient(0.03, fs);
    }

    void Update() { gain.target = TargetGain(); }

    // Ends the on/off ramp and the level glide at once.
    void Settle()
    {
        bypass.Settle();
        if (dirty) {
            dirty = false;
            Update();
        }
        gain.Jump();
        gliding = false;
    }

    void Reserve(int n) { bypass.Reserve(n); }

    void process(double* l, double* r, int n)
    {
        if (!bypass.running) return;
        bypass.senddry(l, r, n);
        if (!gliding && dirty) {
            dirty = false;
            gliding = true;
            Update();
        }
        // The algorithm leaves the wet signal in place, a run at a time.
        constexpr int kRun = 256;
        double dl[kRun], dr[kRun];
        for (int start = 0; start < n; start += kRun) {
            const int m = std::min(kRun, n - start);
            double* const x = l + start;
            double* const y = r + start;
            std::copy_n(x, m, dl);
            std::copy_n(y, m, dr);
            algorithm.process(x, y, m);
            for (int i = 0; i < m; ++i) {
                if (gliding) gliding = gain.Step(coefficient);
                x[i] = x[i] * gain.current + dl[i];
                y[i] = y[i] * gain.current + dr[i];
            }
        }
        bypass.process(l, r, n);
    }

    const Algorithm& GetAlgorithm() const { return algorithm; }
    const SoftBypass& Bypass() const { return bypass; }
    double WetGain() const { return gain.current; }

protected:
    // The algorithm is already built at 44.1 kHz; the derived class applies
    // its fixed settings to it.
    ReverbType()
    {
        SetFs(44100.0);
        params = {false, -1.0};
        SetParameters({true, 0.0});
        gain.current = 0.0;
        gain.target = 1.0;
    }

    Algorithm& Settings() { return algorithm; }

private:
    double TargetGain() const { return std::pow(10.0, params.level / 20.0); }

    ReverbTypeParameters params;
    Algorithm algorithm;
    SoftBypass bypass;
    double coefficient = 0.0;
    double fs = 0.0;
    Glide gain;
    bool gliding = false;
    bool dirty = false;
};

}  // namespace tonewright
