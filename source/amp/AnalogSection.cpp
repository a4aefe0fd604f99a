#include "amp/AnalogSection.h"

#include <cmath>
#include <utility>

#include "dsp/DspMath.h"
#include "dsp/ParameterRules.h"

namespace tonewright {

namespace {
// The frequency at which the digital response equals the analog one.
constexpr double kPrewarpHz = 1000.0;
}  // namespace

AnalogSection::AnalogSection(int maxOrder, double startWeight, double fadeSeconds)
    : order(maxOrder < 1 ? 1 : (maxOrder > kMaxOrder ? kMaxOrder : maxOrder)), fade(startWeight, fadeSeconds)
{
    fade.SetFs(fs);
}

bool AnalogSection::SetFs(double rate)
{
    if (!acceptNewRate(fs, rate)) return false;
    fade.SetFs(rate);
    fade.dirty = true;
    return true;
}

void AnalogSection::Bank::ClearHistory()
{
    for (int j = 0; j < kMaxOrder; ++j) x[j] = y[j] = 0.0;
}

void AnalogSection::SetAnalog(const double* B, const double* A, int n)
{
    if (n < 1 || n > order) return;
    double b[kMaxOrder + 1];
    double a[kMaxOrder + 1];
    bilinearTransform(B, A, n, prewarpConstant(kPrewarpHz, fs), b, a);
    Bank& bank = banks[fade.current];
    bank.c = Coefficients{};
    for (int j = 0; j <= n; ++j) {
        bank.c.g[j] = denormalGuard(b[j] / a[0]);
        if (j > 0) bank.c.f[j] = denormalGuard(-a[j] / a[0]);
    }
    bank.loaded = n;
    bank.ClearHistory();
}

void AnalogSection::SetDigital(const double* g, const double* f)
{
    Bank& bank = banks[fade.current];
    bank.c = Coefficients{};
    for (int j = 0; j <= order; ++j) {
        bank.c.g[j] = denormalGuard(g[j]);
        if (j > 0) bank.c.f[j] = denormalGuard(f[j]);
    }
    bank.loaded = order;
    bank.ClearHistory();
}

void AnalogSection::SetDigitalFor(double designRate, const double* g, const double* f)
{
    if (fs == designRate) {
        SetDigital(g, f);
        return;
    }
    double a[kMaxOrder + 1] = {1.0};
    for (int j = 1; j <= order; ++j) a[j] = -f[j];
    double analogB[kMaxOrder + 1];
    double analogA[kMaxOrder + 1];
    inverseBilinearTransform(g, a, order, prewarpConstant(kPrewarpHz, designRate), analogB, analogA);
    SetAnalog(analogB, analogA, order);
}

template <int N, bool Guard>
void AnalogSection::RunOrder(double* x, int n)
{
    Bank& curBank = banks[fade.current];
    Kernel<N, Guard> cur = Take<N, Guard>(curBank);
    int i = 0;
    if (Guard && fade.fading) {
        Bank& oldBank = banks[fade.other];
        Kernel<N, Guard> old = Take<N, Guard>(oldBank);
        for (; i < n && fade.fading; ++i) {
            const double yNew = cur.Step(x[i]);
            const double yOld = old.Step(x[i]);
            const double w = fade.NextOldWeight();
            x[i] = (1.0 - w) * yNew + w * yOld;
        }
        Put(old, oldBank);
    }
    for (; i < n; ++i) x[i] = cur.Step(x[i]);
    Put(cur, curBank);
}

template <bool Guard>
void AnalogSection::Run(double* x, int n)
{
    switch (order) {
    case 1: RunOrder<1, Guard>(x, n); break;
    case 2: RunOrder<2, Guard>(x, n); break;
    case 3: RunOrder<3, Guard>(x, n); break;
    default: RunOrder<4, Guard>(x, n); break;
    }
}

template void AnalogSection::Run<true>(double*, int);
template void AnalogSection::Run<false>(double*, int);

}  // namespace tonewright
