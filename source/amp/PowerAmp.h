#pragma once
// The power amp: the signal driven into one tube (single-ended) or into a
// pair of tubes in opposite phase whose outputs are subtracted (push-pull,
// with matched or asymmetric tubes). Bias moves the operating point, dynamics
// the corner of the tubes' cathode feedback. Two complete banks of tubes and
// derived values make every change click-free: the old bank alone for 20 ms,
// then a 30 ms linear crossfade to the new one.

#include "dsp/BankCrossfade.h"
#include "dsp/MonoBuffer.h"
#include "dsp/SoftBypass.h"
#include "amp/KernelChain.h"
#include "amp/Tube.h"

namespace tonewright {

// A drive outside its range is stored as the nearer end; other values no
// range holds are refused.
struct PowerAmpParameters {
    bool enable = true;
    int type = 1;
    double drive = 1.0;     // linear, PowerAmp::kSmallestDrive .. kLargestDrive
    double bias = 0.5;      // 0 .. 1
    double dynamics = 0.5;  // 0 .. 1
};

class PowerAmp {
public:
    // -60 dB .. +60 dB: the tubes saturate long before the largest.
    static constexpr double kSmallestDrive = 1e-3;
    static constexpr double kLargestDrive = 1e3;

    PowerAmp();

    void SetParameter(int index, double v);
    double GetParameter(int index) const;
    void SetParameters(const PowerAmpParameters& p);
    PowerAmpParameters GetParameters() const { return params; }
    void SetFs(double rate);
    double GetFs() const { return fs; }
    void Update();
    void Settle();
    void Reserve(int n);
    void process(double* x, int n);
    // Steady: fully on, one bank, and the bank's tubes steady; then
    // RunSteady processes a block as process() would, the two tubes of a
    // pair side by side in one loop, and the power amp may run as a part of
    // a KernelChain.
    bool Steady() const;
    void RunSteady(double* x, int n);
    void AppendTo(KernelChain& chain);

    const SoftBypass& Bypass() const { return bypass; }

private:
    static constexpr int kPositions = 5;

    // Runs bank b on s (n samples); the result is left in halfA.
    void RunBank(int b, const double* s, int n);

    PowerAmpParameters params;
    Tube tubes[kPositions][2];
    int bankType[2] = {1, 1};
    double bankDrive[2] = {1.0, 1.0};
    double pushPullOffset[2] = {0.0, 0.0};
    double asymOffset[2] = {0.0, 0.0};
    MonoBuffer halfA;
    MonoBuffer halfB;
    MonoBuffer input;
    double fs = 0.0;
    BankCrossfade fade{5.0 / 3.0, 0.03};
    SoftBypass bypass;
};

}  // namespace tonewright
