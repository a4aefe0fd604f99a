// The reverb algorithms: prime lengths, delay-block rules, the lengths and
// gains at several rates, and each network against a straightforward
// reference written over whole signal histories.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "DspTestKit.h"
#include "effects/Dottorroverb.h"
#include "effects/Freeverb.h"
#include "effects/NRev.h"
#include "effects/Primes.h"
#include "effects/ReverbDelayBlock.h"

using namespace tonewright;

using namespace testkit;

namespace {

bool isPrime(long long n)
{
    if (n < 2) return false;
    for (long long d = 2; d * d <= n; ++d)
        if (n % d == 0) return false;
    return true;
}

// The nearest prime found by walking outwards from x; a tie keeps the smaller.
int nearestPrime(double x)
{
    long long below = static_cast<long long>(std::floor(x)), above = below + 1;
    while (!isPrime(below) && below > 2) --below;
    while (!isPrime(above)) ++above;
    if (!isPrime(below)) return static_cast<int>(above);
    return std::fabs(x - double(above)) < std::fabs(x - double(below)) ? static_cast<int>(above)
                                                                         : static_cast<int>(below);
}

int scaled(int length, double fs) { return nearestPrime(length * fs / 44100.0); }

const std::vector<int> kFreeverbCombs = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617,
                                         1129, 1213, 1301, 1381, 1447, 1511, 1579, 1637};
const std::vector<int> kFreeverbAllPasses = {556, 441, 341, 225, 577, 463, 367, 251};
const std::vector<int> kPlateAllPasses = {211, 157, 563, 409, 997, 2667, 1345, 3931};
const std::vector<int> kPlateDelays = {6599, 5507, 6247, 4691};
const std::vector<int> kPlateTaps = {397, 4409, 2833, 2957, 2953, 277, 1579, 523, 5381, 1823, 3967, 3121, 499, 179};
const std::vector<int> kRoomCombs = {2467, 2753, 3209, 3529, 3877, 4127};
const std::vector<int> kRoomAllPasses = {599, 193, 61, 101, 89, 73};

std::vector<int> lengthsAt(const std::vector<int>& base, double fs)
{
    std::vector<int> out;
    for (int l : base) out.push_back(fs == 44100.0 ? l : scaled(l, fs));
    return out;
}

template <class Get>
std::vector<int> sizes(int count, Get get)
{
    std::vector<int> out;
    for (int i = 0; i < count; ++i) out.push_back(static_cast<int>(get(i).getsize()));
    return out;
}

// A delay line kept as its whole history: read(N) is the value written N
// writes ago, 0 before anything was written.
struct History {
    int length = 1;
    std::vector<double> written;
    double delayed() const { return back(length); }
    double back(int k) const
    {
        return written.size() >= size_t(k) ? written[written.size() - size_t(k)] : 0.0;
    }
    // A tap as the reverb reads it: beyond the length it wraps.
    double tap(int k) const { return back((k - 1) % length + 1); }
    void write(double v) { written.push_back(v); }
};

double allPass(History& h, double g, double x)
{
    const double w = h.delayed();
    const double v = w * g + x;
    h.write(v);
    return w - g * v;
}

struct StereoMix {
    double wet, dry, width1, width2;
    void apply(double a, double b, double& l, double& r) const
    {
        const double inL = l, inR = r;
        l = (a * width1 + b * width2) * wet + inL * dry;
        r = (b * width1 + a * width2) * wet + inR * dry;
    }
    static StereoMix of(double mix, double width) { return {mix, 1 - mix, 0.5 * width + 0.5, 0.5 - 0.5 * width}; }
};

std::vector<double> testInput(int length, unsigned seed)
{
    std::vector<double> v = whiteNoise(length, 0.5, seed);
    for (size_t i = 300; i < v.size(); ++i) v[i] = 0.0;
    return v;
}

void expectClose(const std::vector<double>& got, const std::vector<double>& want, double tolerance)
{
    ASSERT_EQ(got.size(), want.size());
    double worst = 0.0;
    size_t at = 0;
    for (size_t i = 0; i < got.size(); ++i) {
        if (std::fabs(got[i] - want[i]) > worst) {
            worst = std::fabs(got[i] - want[i]);
            at = i;
        }
    }
    EXPECT_LE(worst, tolerance) << "at sample " << at;
    EXPECT_GT(rms(want, 10000), 1e-4);  // the tail is really there
}

template <class Algorithm>
void runAlgorithm(Algorithm& a, std::vector<double>& l, std::vector<double>& r)
{
    for (size_t i = 0; i < l.size(); i += 97) {
        const int n = static_cast<int>(std::min<size_t>(97, l.size() - i));
        a.process(&l[i], &r[i], n);
    }
}

struct Wet {
    double a, b;  // the two wet signals before the output mix
};

// Runs the algorithm and a per-sample reference of its network (input pair
// in, wet pair out) on the same noise burst and compares the outputs.
template <class Algorithm, class Reference>
void expectMatchesReference(Algorithm& algorithm, const StereoMix& mix, int length, unsigned seed, Reference reference)
{
    std::vector<double> l = testInput(length, seed), r = testInput(length, seed + 1);
    std::vector<double> wantL = l, wantR = r;
    runAlgorithm(algorithm, l, r);
    for (size_t t = 0; t < wantL.size(); ++t) {
        const Wet w = reference(wantL[t], wantR[t]);
        mix.apply(w.a, w.b, wantL[t], wantR[t]);
    }
    expectClose(l, wantL, 1e-9);
    expectClose(r, wantR, 1e-9);
}

}  // namespace

TEST(Primes, TableHoldsTheFirstTenThousandPrimes)
{
    ASSERT_EQ(prime.size(), 10000u);
    EXPECT_EQ(prime.front(), 2);
    EXPECT_EQ(prime.back(), 104729);
    int next = 2;
    for (int p : prime) {
        while (!isPrime(next)) ++next;
        ASSERT_EQ(p, next);
        ++next;
    }
}

TEST(Primes, Lookups)
{
    EXPECT_EQ(closest_prime(4.0), 3);  // tie keeps the smaller
    EXPECT_EQ(closest_prime(9.0), 7);
    EXPECT_EQ(closest_prime(1.5), 2);
    EXPECT_EQ(closest_prime(1116.0), 1117);
    EXPECT_EQ(closest_prime(4.01), 5);
    EXPECT_EQ(closest_prime(-50.0), 2);
    EXPECT_EQ(closest_prime(1e9), 104729);
    EXPECT_EQ(closest_prime(NAN), 2);
    EXPECT_EQ(closest_prime(12), 11);  // integer overloads
    EXPECT_EQ(closest_prime_index(104729.0), 9999);
    EXPECT_EQ(closest_prime_index(7.0), 3);
    EXPECT_EQ(next_prime(8.0), 11);  // closest is 7, below 8
    EXPECT_EQ(next_prime(7.0), 7);
    EXPECT_EQ(next_prime(1e9), 104729);
    EXPECT_EQ(next_prime(6), 7);
    EXPECT_EQ(previous_prime(6.0), 5);  // closest is 7, above 6
    EXPECT_EQ(previous_prime(7.5), 7);
    EXPECT_EQ(previous_prime(1.0), 2);
    EXPECT_EQ(previous_prime(12), 11);
    for (double x = 0.0; x < 3000.0; x += 0.37) ASSERT_EQ(closest_prime(x), nearestPrime(x)) << x;
}

TEST(ReverbDelayBlock, KindsFollowTheirRecurrences)
{
    ReverbDelayBlock dly;
    dly.setup_DLY(5);
    for (int i = 0; i < 12; ++i) {
        const double y = dly.process_DLY(i + 1.0);
        EXPECT_EQ(y, i >= 5 ? i - 4.0 : 0.0);
        EXPECT_EQ(dly.gettap(1), i + 1.0);  // the value just written
        EXPECT_EQ(dly.getout(), y);
    }
    EXPECT_EQ(dly.gettap(5), 8.0);
    EXPECT_EQ(dly.gettap(7), dly.gettap(2));  // wraps modulo the length
    EXPECT_EQ(dly.gettap(0), dly.gettap(5));

    // A Schroeder all-pass keeps the energy of an impulse.
    ReverbDelayBlock ap;
    ap.setup_AP(0.7, 13);
    std::vector<double> h;
    for (int i = 0; i < 4000; ++i) h.push_back(ap.process_AP(i == 0 ? 1.0 : 0.0));
    double energy = 0.0;
    for (double v : h) energy += v * v;
    EXPECT_NEAR(energy, 1.0, 1e-9);
    EXPECT_DOUBLE_EQ(h[0], -0.7);
    EXPECT_DOUBLE_EQ(h[13], 1.0 - 0.49);

    // The reverb-style all-pass: line output minus input.
    ReverbDelayBlock ff;
    ff.setup_FBFFCF(0.5, 3);
    EXPECT_EQ(ff.process_FBFFCF(1.0), -1.0);
    EXPECT_EQ(ff.process_FBFFCF(0.0), 0.0);
    EXPECT_EQ(ff.process_FBFFCF(0.0), 0.0);
    EXPECT_DOUBLE_EQ(ff.process_FBFFCF(0.0), 1.0);
    EXPECT_EQ(ff.process_FBFFCF(0.0), 0.0);
    EXPECT_EQ(ff.process_FBFFCF(0.0), 0.0);
    EXPECT_DOUBLE_EQ(ff.process_FBFFCF(0.0), 0.5);

    // Feedback comb outputs what it stores; the delayed-output one what it read.
    ReverbDelayBlock fb, fb2;
    fb.setup_FBCF(0.5, 2);
    fb2.setup_FBCF2(0.5, 2);
    const double in[] = {1, 0, 0, 0, 0};
    const double want[] = {1, 0, 0.5, 0, 0.25};
    const double want2[] = {0, 0, 1, 0, 0.5};
    for (int i = 0; i < 5; ++i) {
        EXPECT_DOUBLE_EQ(fb.process_FBCF(in[i]), want[i]);
        EXPECT_DOUBLE_EQ(fb2.process_FBCF2(in[i]), want2[i]);
    }

    // Low-pass comb: y = w; state follows w; stores state g + x.
    ReverbDelayBlock lb;
    lb.setup_LBCF(0.5, 0.25, 1);
    EXPECT_EQ(lb.process_LBCF(1.0), 0.0);
    EXPECT_EQ(lb.process_LBCF(0.0), 1.0);  // state 0.75, stores 0.375
    EXPECT_DOUBLE_EQ(lb.process_LBCF(0.0), 0.375);

    // clear_buffer empties line and memory; a new setup keeps the memory.
    lb.clear_buffer();
    EXPECT_EQ(lb.process_LBCF(0.0), 0.0);
    ReverbDelayBlock lp;
    lp.setup_OPLP(0.5);
    lp.process_OPLP(1.0);
    lp.setup_FBCF(0.0, 4);
    EXPECT_DOUBLE_EQ(lp.process_OPLP(0.0), 0.25);
}

TEST(ReverbAlgorithms, LengthsAtEachRate)
{
    for (double fs : {44100.0, 48000.0, 96000.0}) {
        SCOPED_TRACE(fs);
        Freeverb f;
        Dottorroverb d;
        NRev n;
        f.SetFs(fs);
        d.SetFs(fs);
        n.SetFs(fs);
        EXPECT_EQ(sizes(16, [&](int i) -> const auto& { return f.Comb(i); }), lengthsAt(kFreeverbCombs, fs));
        EXPECT_EQ(sizes(8, [&](int i) -> const auto& { return f.AllPass(i); }), lengthsAt(kFreeverbAllPasses, fs));
        EXPECT_EQ(sizes(8, [&](int i) -> const auto& { return d.AllPass(i); }), lengthsAt(kPlateAllPasses, fs));
        EXPECT_EQ(sizes(4, [&](int i) -> const auto& { return d.Delay(i); }), lengthsAt(kPlateDelays, fs));
        std::vector<int> taps;
        for (int i = 0; i < 14; ++i) taps.push_back(d.TapOffset(i));
        EXPECT_EQ(taps, lengthsAt(kPlateTaps, fs));
        EXPECT_EQ(sizes(6, [&](int i) -> const auto& { return n.Comb(i); }), lengthsAt(kRoomCombs, fs));
        EXPECT_EQ(sizes(6, [&](int i) -> const auto& { return n.AllPass(i); }), lengthsAt(kRoomAllPasses, fs));
    }

    // Published figures.
    Freeverb f;
    Dottorroverb d;
    NRev n;
    f.SetFs(48000.0);
    d.SetFs(48000.0);
    n.SetFs(48000.0);
    EXPECT_EQ(sizes(8, [&](int i) -> const auto& { return f.Comb(i); }),
              (std::vector<int>{1213, 1291, 1381, 1471, 1549, 1621, 1693, 1759}));
    EXPECT_EQ(sizes(4, [&](int i) -> const auto& { return d.Delay(i); }), (std::vector<int>{7187, 5987, 6803, 5107}));
    EXPECT_EQ(sizes(6, [&](int i) -> const auto& { return n.Comb(i); }),
              (std::vector<int>{2687, 2999, 3491, 3847, 4219, 4493}));
    n.SetFs(96000.0);
    EXPECT_EQ(sizes(6, [&](int i) -> const auto& { return n.AllPass(i); }),
              (std::vector<int>{1303, 421, 131, 223, 193, 157}));

    // Back at 44.1 kHz the lengths are snapped to primes.
    d.SetFs(44100.0);
    EXPECT_EQ(sizes(4, [&](int i) -> const auto& { return d.AllPass(i + 4); }),
              (std::vector<int>{997, 2663, 1361, 3931}));
    EXPECT_EQ(d.Fs(), 44100.0);

    // Refused rates change nothing.
    for (double bad : {0.0, -1.0, double(NAN), double(INFINITY), 44100.0}) d.SetFs(bad);
    EXPECT_EQ(d.Fs(), 44100.0);
    EXPECT_EQ(d.AllPass(5).getsize(), 2663.0);
}

TEST(ReverbAlgorithms, GainsAndTheirLimits)
{
    NRev n;
    n.setdecay(1.0);
    EXPECT_NEAR(n.Comb(0).getg(), std::pow(10.0, -3.0 * 2467 / 44100.0), 1e-15);
    EXPECT_NEAR(n.Comb(0).getg(), 0.6795, 5e-5);
    n.SetFs(48000.0);  // the comb gains follow the new lengths and rate
    EXPECT_NEAR(n.Comb(5).getg(), std::pow(10.0, -3.0 * 4493 / 48000.0), 1e-15);
    n.setdecay(0.0);  // a reverb time of 0 would make the combs grow
    EXPECT_LT(n.Comb(0).getg(), 1.0);
    n.setdecay(NAN);
    EXPECT_EQ(n.Decay(), 0.01);

    Dottorroverb d;
    d.setdecay(0.26);
    EXPECT_EQ(d.AllPass(5).getg(), 0.5);
    EXPECT_EQ(d.AllPass(7).getg(), 0.5);
    d.setdecay(-0.3);
    EXPECT_EQ(d.AllPass(5).getg(), 0.25);
    d.setdecay(-0.1);
    EXPECT_DOUBLE_EQ(d.AllPass(7).getg(), 0.4);
    d.setdiffusion(0.655);
    EXPECT_EQ(d.AllPass(4).getg(), -0.655);
    EXPECT_EQ(d.AllPass(6).getg(), -0.655);
    EXPECT_EQ(d.AllPass(0).getg(), 0.75);
    EXPECT_EQ(d.AllPass(3).getg(), 0.625);
    d.setbandwidth(0.67);
    EXPECT_DOUBLE_EQ(d.InputLowPass().getd(), 0.33);
    d.setdamping(0.66);
    EXPECT_EQ(d.TankLowPass(1).getd(), 0.66);
    d.setdecay(1.5);  // a tank gain of 1 or more would never decay
    EXPECT_LT(d.Decay(), 1.0);

    Freeverb f;
    f.setdamping(0.93);
    f.setdecay(0.79);
    f.SetFs(96000.0);
    EXPECT_DOUBLE_EQ(f.Comb(3).getd(), 0.4 * 0.93);
    EXPECT_EQ(f.Comb(9).getg(), 0.79);
    EXPECT_EQ(f.AllPass(2).getg(), 0.5);
    f.setdecay(1.2);
    EXPECT_LT(f.RoomSize(), 1.0);
    f.setdamping(INFINITY);
    EXPECT_DOUBLE_EQ(f.Damp(), 0.4 * 0.93);
}

TEST(ReverbAlgorithms, FreeverbMatchesReference)
{
    for (double fs : {44100.0, 48000.0}) {
        SCOPED_TRACE(fs);
        Freeverb f;
        f.SetFs(fs);
        f.setmix(0.8);
        f.setwidth(0.6);
        f.setdecay(0.79);
        f.setdamping(0.93);
        std::vector<History> combs, allpasses;
        for (int len : lengthsAt(kFreeverbCombs, fs)) combs.push_back({len, {}});
        for (int len : lengthsAt(kFreeverbAllPasses, fs)) allpasses.push_back({len, {}});
        std::vector<double> state(16, 0.0);
        const double damp = 0.4 * 0.93;
        expectMatchesReference(f, StereoMix::of(0.8, 0.6), 20000, 1, [&](double inL, double inR) {
            const double x = (inL + inR) * 0.5;
            double sums[2] = {0.0, 0.0};
            for (int c = 0; c < 16; ++c) {
                const double w = combs[c].delayed();
                state[c] = state[c] * damp + w * (1 - damp);
                combs[c].write(state[c] * 0.79 + x);
                sums[c / 8] += w;
            }
            for (int a = 0; a < 8; ++a) {
                double& s = sums[a / 4];
                const double w = allpasses[a].delayed();
                allpasses[a].write(w * 0.5 + s);
                s = w - s;
            }
            return Wet{sums[0], sums[1]};
        });
    }
}

TEST(ReverbAlgorithms, DottorroverbMatchesReference)
{
    for (double fs : {44100.0, 48000.0}) {
        SCOPED_TRACE(fs);
        Dottorroverb d;
        d.SetFs(fs);
        d.setmix(1.0);
        d.setwidth(0.825);
        d.setdecay(0.26);
        d.setdamping(0.66);
        d.setbandwidth(0.67);
        d.setdiffusion(0.655);
        const std::vector<int> t = lengthsAt(kPlateTaps, fs);
        std::vector<History> ap, dl;
        for (int len : lengthsAt(kPlateAllPasses, fs)) ap.push_back({len, {}});
        for (int len : lengthsAt(kPlateDelays, fs)) dl.push_back({len, {}});
        const double apGain[8] = {0.75, 0.75, 0.625, 0.625, -0.655, 0.5, -0.655, 0.5};
        double inputState = 0.0, lpL = 0.0, lpR = 0.0, A = 0.0, B = 0.0;
        // One half of the tank: all-pass, delay, damping, all-pass, delay.
        auto half = [&](double in, int first, History& d1, double& lp, History& d2) {
            d1.write(allPass(ap[size_t(first)], apGain[first], in));
            lp = lp * 0.66 + d1.back(d1.length + 1) * 0.34;
            const double out = d2.delayed();
            d2.write(allPass(ap[size_t(first + 1)], apGain[first + 1], lp));
            return out;
        };
        expectMatchesReference(d, StereoMix::of(1.0, 0.825), 30000, 3, [&](double inL, double inR) {
            inputState = inputState * 0.33 + (inL + inR) * 0.5 * 0.67;
            double e = inputState;
            for (int k = 0; k < 4; ++k) e = allPass(ap[k], apGain[k], e);
            const double leftIn = B * 0.26 + e, rightIn = A * 0.26 + e;
            A = half(leftIn, 4, dl[0], lpL, dl[1]);
            B = half(rightIn, 6, dl[2], lpR, dl[3]);
            const double a = 0.6 * (dl[0].tap(t[0]) + dl[0].tap(t[1]) - ap[5].tap(t[2]) + dl[1].tap(t[3]) -
                                    dl[2].tap(t[4]) - ap[7].tap(t[5]) - dl[3].tap(t[6]));
            const double b = 0.6 * (dl[2].tap(t[7]) + dl[2].tap(t[8]) - ap[7].tap(t[9]) + dl[3].tap(t[10]) -
                                    dl[0].tap(t[11]) - ap[5].tap(t[12]) - dl[1].tap(t[13]));
            return Wet{a, b};
        });
    }
}

TEST(ReverbAlgorithms, NRevMatchesReference)
{
    for (double fs : {44100.0, 96000.0}) {
        SCOPED_TRACE(fs);
        NRev n;
        n.SetFs(fs);
        n.setmix(1.0);
        n.setwidth(0.77);
        n.setdecay(0.795);
        n.setdamping(0.345);
        std::vector<History> combs, ap;
        std::vector<double> g;
        for (int len : lengthsAt(kRoomCombs, fs)) {
            combs.push_back({len, {}});
            g.push_back(std::pow(10.0, -3.0 * len / (0.795 * fs)));
        }
        for (int len : lengthsAt(kRoomAllPasses, fs)) ap.push_back({len, {}});
        double lp = 0.0;
        expectMatchesReference(n, StereoMix::of(1.0, 0.77), 20000, 5, [&](double inL, double inR) {
            const double x = (inL + inR) * 0.5;
            double s = 0.0;
            for (size_t c = 0; c < combs.size(); ++c) {
                const double v = g[c] * combs[c].delayed() + x;
                combs[c].write(v);
                s += v;
            }
            s = allPass(ap[2], 0.7, allPass(ap[1], 0.7, allPass(ap[0], 0.7, s)));
            lp = lp * 0.345 + s * (1 - 0.345);
            const double c = allPass(ap[3], 0.7, lp);
            return Wet{allPass(ap[4], 0.7, c), allPass(ap[5], 0.7, c)};
        });
    }
}

TEST(ReverbAlgorithms, ClearBuffersEmptiesEverything)
{
    Dottorroverb d;
    std::vector<double> l = testInput(5000, 7), r = testInput(5000, 8);
    runAlgorithm(d, l, r);
    d.clear_buffers();
    std::vector<double> zl(3000, 0.0), zr(3000, 0.0);
    runAlgorithm(d, zl, zr);
    EXPECT_EQ(peak(zl), 0.0);
    EXPECT_EQ(peak(zr), 0.0);

    // A non-finite input enters as silence instead of poisoning the lines.
    NRev n;
    double nl = NAN, nr = 1.0;
    n.process(&nl, &nr, 1);
    std::vector<double> tl(9000, 0.0), tr(9000, 0.0);
    runAlgorithm(n, tl, tr);
    EXPECT_TRUE(allFinite(tl) && allFinite(tr));
}

TEST(ReverbAlgorithms, BlocksGiveExactlyTheSamplesOfOneSampleAtATime)
{
    std::vector<double> l = testInput(40000, 11), r = testInput(40000, 12);
    for (size_t i = 20000; i < 20300; ++i) l[i] = r[i] = 0.4;  // a second burst into a full tank
    auto check = [&](auto&& one, auto&& block, double fs) {
        one.SetFs(fs);
        block.SetFs(fs);
        const auto d = blocksAgainstSamples(block, one, l, r, BlockPlan::Random(1500, 13), 30000);
        EXPECT_EQ(d.worst, 0.0) << fs;
        EXPECT_GT(d.tailPeak, 1e-4) << fs;
    };
    for (double fs : {44100.0, 48000.0, 96000.0}) {
        check(Freeverb{}, Freeverb{}, fs);
        check(Dottorroverb{}, Dottorroverb{}, fs);
        check(NRev{}, NRev{}, fs);
    }
}
