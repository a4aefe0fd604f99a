#include "amp/AnalogSection.h"

#include <cmath>
#include <utility>

#include "dsp/DspMath.h"

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
    if (!(rate > 0.0) || !std::isfinite(rate) || rate == fs) return false;
    fs = rate;
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

namespace {

// One bank's coefficients and history in locals, so that the compiler keeps
// them in registers for the length of a block (the block pointer could alias
// the bank's members otherwise).
template <int N, bool Guard>
struct Kernel {
    double g[N + 1], f[N + 1], xh[N], yh[N];

    template <class Bank>
    explicit Kernel(const Bank& b)
    {
        for (int j = 0; j <= N; ++j) {
            g[j] = b.c.g[j];
            f[j] = b.c.f[j];
        }
        for (int j = 0; j < N; ++j) {
            xh[j] = b.x[j];
            yh[j] = b.y[j];
        }
    }

    template <class Bank>
    void Store(Bank& b) const
    {
        for (int j = 0; j < N; ++j) {
            b.x[j] = xh[j];
            b.y[j] = yh[j];
        }
    }

    double Step(double in)
    {
        // The newest output enters last: it is the recursion's critical path.
        double acc = g[0] * in;
        for (int j = N - 1; j >= 0; --j) acc += g[j + 1] * xh[j];
        for (int j = N - 1; j >= 1; --j) acc += f[j + 1] * yh[j];
        acc += f[1] * yh[0];
        const double y = Guard ? denormalGuard(acc) : acc;
        for (int j = N - 1; j > 0; --j) {
            xh[j] = xh[j - 1];
            yh[j] = yh[j - 1];
        }
        xh[0] = in;
        yh[0] = y;
        return y;
    }
};

}  // namespace

template <int N, bool Guard>
void AnalogSection::RunOrder(double* x, int n)
{
    Bank& curBank = banks[fade.current];
    Kernel<N, Guard> cur(curBank);
    int i = 0;
    if (Guard && fade.fading) {
        Bank& oldBank = banks[fade.other];
        Kernel<N, Guard> old(oldBank);
        for (; i < n && fade.fading; ++i) {
            const double yNew = cur.Step(x[i]);
            const double yOld = old.Step(x[i]);
            const double w = fade.NextOldWeight();
            x[i] = (1.0 - w) * yNew + w * yOld;
        }
        old.Store(oldBank);
    }
    for (; i < n; ++i) x[i] = cur.Step(x[i]);
    cur.Store(curBank);
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
