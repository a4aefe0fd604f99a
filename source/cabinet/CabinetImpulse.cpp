#include "cabinet/CabinetImpulse.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <unordered_map>

#include "cabinet/MinimumPhase.h"
#include "cabinet/Resampler.h"
#include "dsp/EngineLock.h"

namespace tonewright {

namespace {

// Every impulse alive, by a hash of its contents; equal hashes are compared
// in full. Entries of impulses that died are swept out now and then.
struct Registry {
    std::mutex mutex;
    std::unordered_multimap<std::uint64_t, std::weak_ptr<const CabinetImpulse>> entries;
    int insertsSinceSweep = 0;
};

std::atomic<long> derivedVersionsMade{0};

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
    CheckOffEngineLock("making a cabinet impulse");
    if (length < 1 || !l || (!isMono && !r)) {
        std::fprintf(stderr, "Quarrystone TWR:: Cabinet impulse refused: it has no samples.\n");
        return nullptr;
    }
    if (!(rate > 0.0) || !std::isfinite(rate)) {
        std::fprintf(stderr, "Quarrystone TWR:: Cabinet impulse refused: its sample rate %g is not usable.\n", rate);
        return nullptr;
    }
    const int n = std::min(length, kMaxLength);
    const double* second = isMono ? nullptr : r;
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(l[i]) || (second && !std::isfinite(second[i])) || (sl && !std::isfinite(sl[i])) ||
            (sr && !std::isfinite(sr[i]))) {
            std::fprintf(stderr, "Quarrystone TWR:: Cabinet impulse refused: sample %d is not a number.\n", i);
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
        std::fprintf(stderr, "Quarrystone TWR:: Not enough memory for the cabinet impulse; it is refused.\n");
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
    CheckOffEngineLock("minimum phase of a cabinet impulse");
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
    CheckOffEngineLock("cabinet impulse at a running rate");
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
            // Minimum phase is restored after resampling, so that conversion
            // keeps the resampler's whole output.
            const int limit = minphase ? kMaxLength : kMaxWorking;
            Resampler resampler(1.0 / 12.0, 12.0, 35, 4096.0, true);
            const double factor = fs / samplerate;
            std::vector<double> converted(static_cast<size_t>(limit));
            for (int c = 0; c < channels; ++c) {
                std::fill(converted.begin(), converted.end(), 0.0);
                resampler.reset();
                int used = 0;
                const int count = resampler.process(factor, sourceChannel(c).data(), Length(), 1, &used,
                                                    converted.data(), limit);
                if (count < 0) {
                    std::fprintf(stderr,
                                 "Quarrystone TWR:: Cannot convert the cabinet impulse from %g Hz to %g Hz;"
                                 " the cabinet is silent.\n",
                                 samplerate, fs);
                    return std::make_shared<Channels>();  // not kept: the line comes again with every use
                }
                if (minphase && !ConvertToMinimumPhaseFast(converted.data(), converted.data(), count)) return nullptr;
                made->length = std::min(count, kMaxWorking);
                made->channel[c].assign(converted.begin(), converted.begin() + made->length);
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
