#include "cabinet/CabinetImpulse.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <numbers>
#include <unordered_map>

#include "cabinet/Fft.h"
#include "cabinet/MinimumPhase.h"
#include "cabinet/Resampler.h"
#include "cabinet/WindowFunction.h"
#include "dsp/AudioThread.h"
#include "system/Diagnostics.h"

namespace tonewright {

namespace {

// The rate converter's settings: factors it accepts, and taps of its filter
// per source sample (at factors >= 1).
constexpr double kMinFactor = 1.0 / 12.0;
constexpr double kMaxFactor = 12.0;
constexpr long kResamplerTaps = 35;

// Every impulse alive, by a hash of its contents; equal hashes are compared
// in full. Entries of impulses that died are swept out now and then.
struct Registry {
    std::mutex mutex;
    std::unordered_multimap<std::uint64_t, std::weak_ptr<const CabinetImpulse>> entries;
    int insertsSinceSweep = 0;
};

std::atomic<long> derivedVersionsMade{0};

constexpr double kKaiserBeta = 6.0;
// The energy scale's ceiling (+40 dB): a quieter impulse plays at this gain,
// so a nearly silent one is never boosted into noise or overflow.
constexpr double kLargestScale = 100.0;

// The first `length` samples of `from` into `to` (zeros beyond), faded out
// towards sample `window` by the falling half of a Kaiser window when longer.
void shorten(const std::vector<double>& from, int length, int window, std::vector<double>& to)
{
    if (length > window) {
        for (int i = 0; i < window; ++i)
            to[size_t(i)] = from[size_t(i)] * WindowFunction::KaiserHalfWindow(i, window, kKaiserBeta);
    } else {
        std::copy_n(from.begin(), length, to.begin());
    }
}

double energyOf(const std::vector<double>& x)
{
    double e = 0.0;
    for (double v : x) e += v * v;
    return e;
}

Registry& registry()
{
    static Registry r;
    return r;
}

class Fingerprint {
public:
    void add(std::uint64_t word)
    {
        hash ^= word;
        hash *= 0x100000001b3ull;
    }
    void add(const double* x, int n)
    {
        for (int i = 0; i < n; ++i) {
            std::uint64_t bits;
            std::memcpy(&bits, &x[i], sizeof bits);
            add(bits);
        }
    }
    std::uint64_t value() const { return hash; }

private:
    std::uint64_t hash = 0xcbf29ce484222325ull;
};

bool sameSamples(const std::vector<double>& kept, const double* x, int n)
{
    return static_cast<int>(kept.size()) == n && std::memcmp(kept.data(), x, sizeof(double) * size_t(n)) == 0;
}

// The cabinet's rate converter for one impulse. The source is padded with
// as many zeros as the converter's filter reaches on either side of an
// output, so that an impulse starting or ending at once keeps its whole
// band-limited onset and tail instead of half of each (half an onset would
// change the impulse's response with the rate). The padding makes the output
// late by that reach; minimum phase, or `TakeOutDelay` for an impulse played
// as it is, takes the delay out again.
class Converter {
public:
    explicit Converter(double rateFactor)
        : resampler(kMinFactor, kMaxFactor, kResamplerTaps, 4096.0, true),
          factor(rateFactor),
          reach(static_cast<int>(std::ceil((kResamplerTaps + 1) / 2 / std::clamp(rateFactor, kMinFactor, 1.0))))
    {
        if (!(factor >= kMinFactor && factor <= kMaxFactor)) return;
        const double unit = 1.0;
        kernel = Convert(std::vector<double>(&unit, &unit + 1), static_cast<int>((2 * reach + 2) * factor) + 2);
        if (kernel.empty()) return;
        kernelMinimumPhase.resize(kernel.size());
        if (!ConvertToMinimumPhaseFast(kernel.data(), kernelMinimumPhase.data(), KernelLength()))
            throw std::bad_alloc();
    }

    // False when the converter refuses the factor.
    bool Usable() const { return !kernel.empty(); }
    // Samples of the converter's response to a unit impulse.
    int KernelLength() const { return static_cast<int>(kernel.size()); }

    // The padded source at the new rate, at most `limit` samples of it.
    std::vector<double> Convert(const std::vector<double>& from, int limit)
    {
        std::vector<double> padded(from.size() + 2 * size_t(reach), 0.0);
        std::copy(from.begin(), from.end(), padded.begin() + reach);
        std::vector<double> out(static_cast<size_t>(limit));
        resampler.reset();
        int used = 0;
        const int count = resampler.process(factor, padded.data(), static_cast<int>(padded.size()), 1, &used,
                                            out.data(), static_cast<int>(out.size()));
        out.resize(size_t(std::max(count, 0)));
        return out;
    }

    // Gives the converter's share of x minimum phase: x becomes x convolved
    // with kernelMinimumPhase / kernel, the same magnitude at every frequency
    // with the delay and pre-ringing gone. That filter rings long where the
    // kernel is nearly silent, so when x was cut short (it holds `limit`
    // samples) its end is faded out first: only a band-limited x meets the
    // filter, and the ringing stays below -90 dB of it.
    void TakeOutDelay(std::vector<double>& x, int limit) const
    {
        const size_t n = x.size();
        if (n == size_t(limit)) {
            const size_t fade = std::min(n, 4 * kernel.size());
            for (size_t i = 0; i < fade; ++i)
                x[n - fade + i] *= 0.5 + 0.5 * std::cos(std::numbers::pi * double(i) / double(fade));
        }
        int points = 2;
        while (size_t(points) < n + 2 * kernel.size()) points *= 2;  // the wrap stays clear of x
        std::vector<double> a(size_t(points), 0.0), b(size_t(points), 0.0), m(size_t(points), 0.0);
        std::vector<int> ip(size_t(fft::rdftIpSize(points)), 0);
        std::vector<double> w(size_t(fft::rdftWSize(points)));
        std::copy(x.begin(), x.end(), a.begin());
        std::copy(kernel.begin(), kernel.end(), b.begin());
        std::copy(kernelMinimumPhase.begin(), kernelMinimumPhase.end(), m.begin());
        for (auto* v : {&a, &b, &m}) rdft(points, 1, v->data(), ip.data(), w.data());
        // Bins where the kernel is silent carry nothing of x either.
        double largest = 0.0;
        for (int k = 0; k < points; ++k) largest = std::max(largest, std::abs(b[size_t(k)]));
        const double silent = 1e-12 * largest;
        auto realBin = [&](size_t k) { a[k] *= std::abs(b[k]) > silent ? m[k] / b[k] : 0.0; };
        realBin(0);  // DC
        realBin(1);  // Nyquist
        for (size_t k = 2; k < size_t(points); k += 2) {
            const double br = b[k], bi = b[k + 1], mr = m[k], mi = m[k + 1];
            const double power = br * br + bi * bi;
            double rr = 0.0, ri = 0.0;
            if (power > silent * silent) {
                rr = (mr * br + mi * bi) / power;
                ri = (mi * br - mr * bi) / power;
            }
            const double ar = a[k], ai = a[k + 1];
            a[k] = ar * rr - ai * ri;
            a[k + 1] = ar * ri + ai * rr;
        }
        rdft(points, -1, a.data(), ip.data(), w.data());
        const double scale = 2.0 / points;
        for (size_t i = 0; i < n; ++i) x[i] = a[i] * scale;
    }

private:
    Resampler resampler;
    double factor;
    int reach;  // source samples
    std::vector<double> kernel, kernelMinimumPhase;
};

}  // namespace

std::shared_ptr<const CabinetImpulse> CabinetImpulse::Make(const double* l, const double* r, int length, bool isMono,
                                                           double rate, const char* impulseName)
{
    return MakeWith(l, r, length, isMono, rate, impulseName, nullptr, nullptr);
}

std::shared_ptr<const CabinetImpulse> CabinetImpulse::Make(const double* l, const double* r, int length, bool isMono,
                                                           double rate, const char* impulseName,
                                                           const double* storedMinLeft, const double* storedMinRight)
{
    if (!storedMinLeft || (!isMono && !storedMinRight)) return nullptr;
    return MakeWith(l, r, length, isMono, rate, impulseName, storedMinLeft, isMono ? nullptr : storedMinRight);
}

std::shared_ptr<const CabinetImpulse> CabinetImpulse::MakeWith(const double* l, const double* r, int length,
                                                               bool isMono, double rate, const char* impulseName,
                                                               const double* sl, const double* sr)
{
    CheckOffAudioThread("making a cabinet impulse");
    // The refusal names the impulse when it has a name (its file's).
    const std::string called = impulseName && *impulseName ? std::string(" \"") + impulseName + "\"" : std::string();
    if (length < 1 || !l || (!isMono && !r)) {
        system::Complainf("Quarrystone TWR:: Cabinet impulse%s refused: it has no samples.", called.c_str());
        return nullptr;
    }
    if (!(rate > 0.0) || !std::isfinite(rate)) {
        system::Complainf("Quarrystone TWR:: Cabinet impulse%s refused: its sample rate %g is not usable.",
                          called.c_str(), rate);
        return nullptr;
    }
    const int n = std::min(length, kMaxLength);
    const double* second = isMono ? nullptr : r;
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(l[i]) || (second && !std::isfinite(second[i])) || (sl && !std::isfinite(sl[i])) ||
            (sr && !std::isfinite(sr[i]))) {
            system::Complainf("Quarrystone TWR:: Cabinet impulse%s refused: sample %d is not a number.", called.c_str(),
                              i);
            return nullptr;
        }
    }
    const char* text = impulseName ? impulseName : "";

    Fingerprint print;
    print.add(static_cast<std::uint64_t>(n) << 1 | (isMono ? 1u : 0u));
    print.add(&rate, 1);
    for (const char* c = text; *c; ++c) print.add(static_cast<unsigned char>(*c));
    print.add(l, n);
    if (second) print.add(second, n);
    if (sl) print.add(sl, n);
    if (sr) print.add(sr, n);
    const std::uint64_t key = print.value();

    Registry& reg = registry();
    std::lock_guard<std::mutex> lock(reg.mutex);
    try {
        const auto [first, last] = reg.entries.equal_range(key);
        for (auto it = first; it != last; ++it)
            if (auto living = it->second.lock(); living && living->Holds(l, second, n, isMono, rate, text, sl, sr))
                return living;

        std::shared_ptr<CabinetImpulse> fresh(new CabinetImpulse);
        fresh->left.assign(l, l + n);
        if (second) fresh->right.assign(second, second + n);
        fresh->mono = isMono;
        fresh->samplerate = rate;
        fresh->name = text;
        if (sl) {
            auto kept = std::make_shared<Channels>();
            kept->length = n;
            kept->mono = isMono;
            kept->channel[0].assign(sl, sl + n);
            if (sr) kept->channel[1].assign(sr, sr + n);
            fresh->stored = std::move(kept);
        }

        if (++reg.insertsSinceSweep >= 64) {
            std::erase_if(reg.entries, [](const auto& entry) { return entry.second.expired(); });
            reg.insertsSinceSweep = 0;
        }
        reg.entries.emplace(key, fresh);
        return fresh;
    } catch (const std::bad_alloc&) {
        system::Complain("Quarrystone TWR:: Not enough memory for the cabinet impulse; it is refused.");
        return nullptr;
    }
}

std::shared_ptr<const CabinetImpulse> CabinetImpulse::Unit()
{
    static const std::shared_ptr<const CabinetImpulse> unit = [] {
        const double samples[16] = {1.0};
        auto made = Make(samples, nullptr, 16, true, 44100.0, "None");
        if (!made) throw std::bad_alloc();
        return made;
    }();
    return unit;
}

long CabinetImpulse::DerivedVersionsMade() { return derivedVersionsMade.load(); }

// 1 / (the larger channel energy) of the impulse at its own rate, shortened
// over the same stretch of time as the working version, capped at
// kLargestScale. Computed there, it does not depend on the running rate (nor
// on what resampling cuts off above the lower rate's band).
static double energyScale(const CabinetImpulse& impulse, const CabinetImpulse::Channels* minimumPhase,
                          int workingLength, int window, double fs)
{
    const double toOwn = impulse.SampleRate() / fs;
    const int length = std::min(impulse.Length(), static_cast<int>(std::lround(workingLength * toOwn)));
    const int ownWindow =
        std::max(1, static_cast<int>(std::lround(std::min(window * toOwn, double(CabinetImpulse::kMaxLength)))));
    std::vector<double> shortened(static_cast<size_t>(std::max(0, std::min(length, ownWindow))));
    double larger = 0.0;
    for (int c = 0; c < 2; ++c) {
        const std::vector<double>& from =
            minimumPhase ? (*minimumPhase)[c] : (c == 0 ? impulse.Left() : impulse.Right());
        shorten(from, length, ownWindow, shortened);
        larger = std::max(larger, energyOf(shortened));
    }
    // A silent impulse stays silent at any gain; one whose energy overflows
    // gets 0 and is silent rather than infinite.
    return larger * kLargestScale > 1.0 ? 1.0 / larger : kLargestScale;
}

std::shared_ptr<const CabinetImpulse::Prepared> CabinetImpulse::Prepare(double fs, bool minphase, int window) const
{
    CheckOffAudioThread("preparing a cabinet to play");
    window = std::clamp(window, 1, kMaxWorking);
    {
        std::lock_guard<std::mutex> lock(preparedCache);
        for (const Made& m : prepared)
            if (m.fs == fs && m.minphase == minphase && m.window == window) return m.prepared;
    }
    try {
        const std::shared_ptr<const Channels> atRate = AtRate(fs, minphase);
        const std::shared_ptr<const Channels> ownMinimumPhase = minphase ? MinimumPhase() : nullptr;
        if (!atRate || (minphase && !ownMinimumPhase)) return nullptr;
        const int length = atRate->length;
        auto made = std::make_shared<Prepared>();
        made->window = window;
        made->mono = atRate->mono;
        // Taps past the impulse are zero, so the convolver gets the shortest
        // length that holds both impulse and window.
        const int taps = std::max(1, std::min(window, length));
        const double g = energyScale(*this, ownMinimumPhase.get(), length, window, fs);
        std::vector<double> shaped(size_t(std::max(window, length)), 0.0);
        for (int c = 0; c < 2; ++c) {
            if (length > 0) shorten((*atRate)[c], length, window, shaped);
            made->taps[c].assign(shaped.begin(), shaped.begin() + taps);
            for (double& x : made->taps[c]) x *= g;
        }
        made->spectra = CabinetConvolver::Spectra::Make(made->taps[0].data(), made->taps[1].data(), taps, made->mono);
        // A rate that cannot be converted to is not kept either (see AtRate).
        if (length == 0) return made;
        std::lock_guard<std::mutex> lock(preparedCache);
        for (const Made& m : prepared)
            if (m.fs == fs && m.minphase == minphase && m.window == window) return m.prepared;
        if (prepared.size() >= kKeptPrepared) prepared.erase(prepared.begin());
        prepared.push_back({fs, minphase, window, made});
        return made;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

bool CabinetImpulse::Holds(const double* l, const double* r, int n, bool isMono, double rate, const char* text,
                           const double* sl, const double* sr) const
{
    if (bool(stored) != bool(sl)) return false;
    if (sl && (!sameSamples(stored->channel[0], sl, n) || (!isMono && !sameSamples(stored->channel[1], sr, n))))
        return false;
    return mono == isMono && samplerate == rate && name == text && sameSamples(left, l, n) &&
           (isMono || sameSamples(right, r, n));
}

std::shared_ptr<const CabinetImpulse::Channels> CabinetImpulse::StoredMinimumPhase() const
{
    return stored ? stored : MinimumPhase();
}

std::shared_ptr<const CabinetImpulse::Channels> CabinetImpulse::MinimumPhase() const
{
    CheckOffAudioThread("minimum phase of a cabinet impulse");
    std::lock_guard<std::mutex> lock(cache);
    return MinimumPhaseLocked();
}

std::shared_ptr<const CabinetImpulse::Channels> CabinetImpulse::MinimumPhaseLocked() const
{
    if (minimumPhase) return minimumPhase;
    derivedVersionsMade.fetch_add(1);
    try {
        auto made = std::make_shared<Channels>();
        made->mono = mono;
        made->length = Length();
        for (int c = 0; c < (mono ? 1 : 2); ++c) {
            const std::vector<double>& from = c == 0 ? left : right;
            made->channel[c].resize(from.size());
            if (!ConvertToMinimumPhaseFast(from.data(), made->channel[c].data(), Length())) return nullptr;
        }
        minimumPhase = std::move(made);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return minimumPhase;
}

std::shared_ptr<const CabinetImpulse::Channels> CabinetImpulse::AtRate(double fs, bool minphase) const
{
    CheckOffAudioThread("cabinet impulse at a running rate");
    std::lock_guard<std::mutex> lock(cache);
    for (const Working& w : working)
        if (w.fs == fs && w.minphase == minphase) return w.channels;

    derivedVersionsMade.fetch_add(1);
    std::shared_ptr<const Channels> source;
    if (minphase) {
        source = MinimumPhaseLocked();
        if (!source) return nullptr;
    }
    const int channels = mono ? 1 : 2;
    auto sourceChannel = [&](int c) -> const std::vector<double>& {
        return source ? (*source)[c] : (c == 0 ? left : right);
    };
    try {
        auto made = std::make_shared<Channels>();
        made->mono = mono;
        if (samplerate == fs) {
            made->length = std::min(Length(), kMaxWorking);
            for (int c = 0; c < channels; ++c)
                made->channel[c].assign(sourceChannel(c).begin(), sourceChannel(c).begin() + made->length);
        } else {
            const double factor = fs / samplerate;
            Converter converter(factor);
            if (!converter.Usable()) {
                system::Complainf("Quarrystone TWR:: Cannot convert the cabinet impulse from %g Hz to %g Hz;"
                                  " the cabinet is silent.",
                                  samplerate, fs);
                return std::make_shared<Channels>();  // not kept: the line comes again with every use
            }
            // As long as the impulse at the new rate, and never shorter than
            // the converter's own response (which is all a short one becomes).
            made->length = std::min(kMaxWorking, std::max(converter.KernelLength(),
                                                          static_cast<int>(std::ceil(Length() * factor))));
            // Minimum phase takes the converter's delay out with the rest
            // (over as much as a stored impulse holds); played as it is, the
            // impulse loses only the converter's share of it, which needs
            // some of what follows the part kept.
            const int limit = minphase ? kMaxLength : made->length + 8 * converter.KernelLength();
            for (int c = 0; c < channels; ++c) {
                std::vector<double> converted = converter.Convert(sourceChannel(c), limit);
                if (!minphase) {
                    converter.TakeOutDelay(converted, limit);
                } else if (!ConvertToMinimumPhaseFast(converted.data(), converted.data(),
                                                      static_cast<int>(converted.size()))) {
                    return nullptr;
                }
                converted.resize(size_t(made->length), 0.0);
                // A filter's taps at k times the rate sum to k times its
                // gain: 1/k keeps the response it has at its own rate.
                for (double& x : converted) x /= factor;
                made->channel[c] = std::move(converted);
            }
        }
        if (working.size() >= kKeptRates) working.erase(working.begin());
        working.push_back({fs, minphase, made});
        return made;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace tonewright
