#include "AnalogSection.h"

#include <cmath>
#include <utility>

#include "DspMath.h"

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

template <int N, bool Guard>
inline double AnalogSection::Step(Bank& b, double in)
{
    double acc = b.c.g[0] * in;
    for (int j = 0; j < N; ++j) acc += b.c.f[j + 1] * b.y[j] + b.c.g[j + 1] * b.x[j];
    const double y = Guard ? denormalGuard(acc) : acc;
    for (int j = N - 1; j > 0; --j) {
        b.x[j] = b.x[j - 1];
        b.y[j] = b.y[j - 1];
    }
    b.x[0] = in;
    b.y[0] = y;
    return y;
}

template <int N>
void AnalogSection::RunOrder(double* x, int n)
{
    Bank& cur = banks[fade.current];
    int i = 0;
    if (fade.fading) {
        Bank& old = banks[fade.other];
        for (; i < n && fade.fading; ++i) {
            const double yNew = Step<N, true>(cur, x[i]);
            const double yOld = Step<N, true>(old, x[i]);
            const double w = fade.NextOldWeight();
            x[i] = (1.0 - w) * yNew + w * yOld;
        }
    }
    for (; i < n; ++i) x[i] = Step<N, true>(cur, x[i]);
}

void AnalogSection::Run(double* x, int n)
{
    if (n <= 0) return;
    switch (order) {
    case 1: RunOrder<1>(x, n); break;
    case 2: RunOrder<2>(x, n); break;
    case 3: RunOrder<3>(x, n); break;
    default: RunOrder<4>(x, n); break;
    }
}

bool AnalogSection::SwitchNow()
{
    if (!fade.dirty) return false;
    std::swap(fade.current, fade.other);
    fade.Settle();
    return true;
}

template <int N>
void AnalogSection::RunPlainOrder(double* x, int n)
{
    Bank& cur = banks[fade.current];
    for (int i = 0; i < n; ++i) x[i] = Step<N, false>(cur, x[i]);
}

void AnalogSection::RunPlain(double* x, int n)
{
    if (n <= 0) return;
    switch (order) {
    case 1: RunPlainOrder<1>(x, n); break;
    case 2: RunPlainOrder<2>(x, n); break;
    case 3: RunPlainOrder<3>(x, n); break;
    default: RunPlainOrder<4>(x, n); break;
    }
}
