#include "amp/GainControl.h"

#include "dsp/DspMath.h"
#include "dsp/ParameterRules.h"

namespace tonewright {

GainControl::GainControl()
{
    SetParameters({0, 0.5});
    section.Prime([this] { Update(); });
}

int GainControl::Order(int t)
{
    switch (t) {
    case 0: return 1;
    case 1:
    case 2:
    case 5: return 2;
    case 3:
    case 4: return 3;
    default: return 0;
    }
}

void GainControl::SetParameter(int index, double v)
{
    switch (index) {
    case 0: {
        // The same type again is accepted too and fades between equal banks.
        const auto k = roundedIntIn(v, 0, kTypes - 1);
        if (!k) return;
        type = *k;
        break;
    }
    case 1:
        if (!acceptDouble(wiper, v, v >= 0.0 && v <= 1.0)) return;
        w = wiper * wiper;
        break;
    default:
        return;
    }
    section.Invalidate();
}

double GainControl::GetParameter(int index) const
{
    switch (index) {
    case 0: return type;
    case 1: return wiper;
    default: return 0.0;
    }
}

void GainControl::SetParameters(const GainControlParameters& r)
{
    SetParameter(0, r.type);
    SetParameter(1, r.wiper);
}

void GainControl::SetFs(double rate)
{
    section.SetFs(rate);
}

void GainControl::Update()
{
    // Analog polynomials in ascending powers of s; b0 is 0 for every type.
    double A[4] = {};
    double B[4] = {};
    const double w2 = w * w;
    switch (type) {
    case 0:
        A[0] = 2.27272727272727e13 * (1.0 + w);
        A[1] = 2.5065e11 + 2.5065e11 * w - 2.5e11 * w2;
        B[1] = 2.5e11 * w;
        break;
    case 1:
        A[0] = 1e21 + 2.12765957446809e21 * w;
        A[1] = 1.00177e21 + 2.13095553191489e21 * w - 2.12865957446809e21 * w2;
        A[2] = 6.11e14 + 4.70689e17 * w - 4.713e17 * w2;
        B[1] = 1e21 * w;
        B[2] = 4.7e17 * w - 4.7e17 * w2;
        break;
    case 2:
        A[0] = 4.7e11 + 1e12 * w;
        A[1] = 4.70611e11 + 1.0015209e12 * w - 1e12 * w2;
        A[2] = 2.2118717e8 * w - 2.209e8 * w2;
        B[1] = 4.7e11 * w;
        B[2] = 0.0;
        break;
    case 3:
        A[0] = 2.0670867768595e26 + 2.06611570247934e23 * w;
        A[1] = 4.64461918223141e24 - 4.08334504132232e22 * w - 4.59090909090909e21 * w2;
        A[2] = 1.01673774736364e21 + 9.90145217045455e20 * w - 1.00148543181818e21 * w2;
        A[3] = 2.8717e14 + 2.2061311717e17 * w - 2.2090028717e17 * w2;
        B[1] = 4.54545454545455e24 * w;
        B[2] = 2.00409090909091e21 * w - 1e21 * w2;
        B[3] = 2.209e17 * w - 2.209e17 * w2;
        break;
    case 4:
        A[0] = 4.559e37 + 9.7e37 * w - 2.5e37 * w2;
        A[1] = 9.549037e35 + 2.00962e36 * w - 1.2185e36 * w2;
        A[2] = 1.09238528e33 + 2.4698253e33 * w - 2.8553125e33 * w2;
        A[3] = 1.05467999999993e27 + 7.0478872e29 * w - 7.058434e29 * w2;
        B[1] = 5.17e35 * w;
        B[2] = 1.22012e33 * w - 5.17e32 * w2;
        B[3] = 7.0312e29 * w - 7.0312e29 * w2;
        break;
    case 5:
        A[0] = 4.99999999999997e22 + 9.67117988394578e22 * w;
        A[1] = 1.629475e21 + 3.15178916827853e21 * w - 2.12765957446809e21 * w2;
        A[2] = 2.43305887e17 + 4.70611e17 * w - 4.7e17 * w2;
        B[1] = 1.1e21 * w;
        B[2] = 2.4299e17 * w;
        break;
    default:
        return;
    }
    section.SetAnalog(B, A, Order(type));
}

void GainControl::Settle()
{
    section.Settle([this] { Update(); });
}

void GainControl::process(double* x, int n)
{
    section.Process(x, n, [this] { Update(); });
}

void GainControl::process_iphone(double* x, int n)
{
    section.ProcessPlain(x, n, [this] { Update(); });
}

}  // namespace tonewright
