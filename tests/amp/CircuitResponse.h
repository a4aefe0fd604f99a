#pragma once
// Frequency responses for the circuit-model tests: the analog transfer
// function from its text polynomials, and the digital one from a section's
// normalised coefficients.

#include <cmath>
#include <complex>

#include "amp/AnalogSection.h"
#include "DspTestKit.h"
#include "FormulaText.h"

using namespace tonewright;

namespace oracle {

using cd = std::complex<double>;

// B(s)/A(s) at s = j 2 pi f, with ak, bk named "a0".."a4", "b0".."b4"
// (missing ones are 0).
inline cd analogResponseAt(const Formulas& text, const Variables& vars, double omega)
{
    const cd s(0.0, omega);
    cd num = 0.0, den = 0.0, sk = 1.0;
    for (int k = 0; k <= 4; ++k) {
        num += text.EvalOr0("b" + std::to_string(k), vars) * sk;
        den += text.EvalOr0("a" + std::to_string(k), vars) * sk;
        sk *= s;
    }
    return num / den;
}

inline cd analogResponse(const Formulas& text, const Variables& vars, double f)
{
    return analogResponseAt(text, vars, 2.0 * testkit::kPi * f);
}

// The analog frequency (rad/s) that the bilinear transform pre-warped at
// 1 kHz maps onto the digital frequency f.
inline double warpedOmega(double f, double fs)
{
    return 2.0 * testkit::kPi * 1000.0 * std::tan(testkit::kPi * f / fs) / std::tan(testkit::kPi * 1000.0 / fs);
}

// sum g_j z^-j / (1 - sum f_j z^-j) at z = exp(j 2 pi f / fs).
inline cd digitalResponse(const AnalogSection::Coefficients& c, double f, double fs)
{
    const cd zInv = std::polar(1.0, -2.0 * testkit::kPi * f / fs);
    cd num = 0.0, den = 1.0, zk = 1.0;
    for (int j = 0; j <= AnalogSection::kMaxOrder; ++j) {
        num += c.g[j] * zk;
        if (j > 0) den -= c.f[j] * zk;
        zk *= zInv;
    }
    return num / den;
}

}  // namespace oracle
