#include "cabinet/CabinetProcessor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <system_error>

#include "cabinet/MinimumPhase.h"
#include "dsp/ParameterRules.h"
#include "cabinet/Resampler.h"
#include "cabinet/WindowFunction.h"

namespace tonewright {

namespace {

constexpr int kMaxImpulse = CabinetConvolver::kMaxLength;
constexpr double kKaiserBeta = 6.0;
// Below this energy (or when it is not finite) an impulse is not scaled, so a
// silent or broken one is never boosted into infinities.
constexpr double kSmallestScaledEnergy = 1e-20;

}  // namespace

struct CabinetProcessor::Source {
    std::vector<double> channel[2];
    int length = 0;
    bool mono = true;
    double rate = 44100.0;
    std::uint64_t impulse = 0;
};

CabinetProcessor::CabinetProcessor()
{
    for (auto* arrays : {resampled, windowed})
        for (int c = 0; c < 2; ++c) arrays[c].assign(kMaxWindow, 0.0);

    record.enable = true;
    record.windowsize = kMaxWindow;
    record.minphase = true;
    record.forcedmono = false;
    // The box runs what the record shows from the start.
    dibox.SetParameters({true, 4500.0, 0.7071});
    dibox.Settle();
    record.dibox = dibox.GetParameters();

    const double unit[8] = {1.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    SetImpulse(unit, unit, 8, true, 44100.0, "None");

    // Built here, so the first block already plays it.
    Build(requestSerial.load());
    Adopt();
    try {
        worker = std::thread([this] { WorkerLoop(); });
        threadless = false;
    } catch (const std::system_error&) {
        std::fprintf(stderr, "Quarrystone TWR:: No cabinet worker thread; cabinet changes are built when waited for.\n");
    }
}

CabinetProcessor::~CabinetProcessor()
{
    if (worker.joinable()) {
        stopping.store(true);
        wakeSignal.release();
        worker.join();
    }
    FreeRetired();
    delete pending.exchange(nullptr);
    delete current;
}

void CabinetProcessor::SetParameter(int id, double v)
{
    switch (id) {
    case 0:
        if (acceptFlag(record.enable, v)) bypass.SetState(flagValue(record.enable));
        break;
    case 1:
        if (acceptInt(record.windowsize, v, 1, kMaxWindow)) {
            wantWindow.store(record.windowsize);
            RequestRebuild();
        }
        break;
    case 2:
        if (acceptFlag(record.minphase, v)) {
            wantMinphase.store(record.minphase);
            RequestRebuild();
        }
        break;
    case 3:
        // Stored and reported; like the other impulse settings it restarts
        // the cabinet, with the same working impulse.
        if (acceptFlag(record.forcedmono, v)) RequestRebuild();
        break;
    case 4:
    case 5:
    case 6:
        dibox.SetParameter(id - 4, v);
        record.dibox = dibox.GetParameters();
        break;
    default: break;
    }
}

double CabinetProcessor::GetParameter(int id) const
{
    switch (id) {
    case 0: return flagValue(record.enable);
    case 1: return record.windowsize;
    case 2: return flagValue(record.minphase);
    case 3: return flagValue(record.forcedmono);
    case 4: return flagValue(record.dibox.enable);
    case 5: return record.dibox.frequency;
    case 6: return record.dibox.q;
    default: return 0.0;
    }
}

void CabinetProcessor::SetParameters(const CabinetProcessorParameters* p)
{
    if (!p) return;
    SetParameter(0, flagValue(p->enable));
    SetParameter(1, p->windowsize);
    SetParameter(2, flagValue(p->minphase));
    SetParameter(3, flagValue(p->forcedmono));
    dibox.SetParameters(p->dibox);
    record.dibox = dibox.GetParameters();
    // Only the unprocessed arrays are read: the minimum-phase ones are made
    // again here.
    const int length = std::min({p->length, static_cast<int>(p->impulse_left.size()),
                                 static_cast<int>(p->impulse_right.size())});
    SetImpulse(p->impulse_left.data(), p->impulse_right.data(), length, p->mono, p->samplerate, p->GetName());
}

void CabinetProcessor::GetParameters(CabinetProcessorParameters* out) const
{
    if (!out) return;
    std::lock_guard<std::mutex> lock(recordMutex);
    try {
        *out = record;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "Quarrystone TWR:: Not enough memory to copy the cabinet settings.\n");
    }
}

void CabinetProcessor::GetSettings(CabinetProcessorParameters* out) const
{
    out->enable = record.enable;
    out->windowsize = record.windowsize;
    out->minphase = record.minphase;
    out->forcedmono = record.forcedmono;
    out->dibox = record.dibox;
}

bool CabinetProcessor::SetImpulse(const double* left, const double* right, int length, bool mono,
                                  double samplerate, const char* name)
{
    // The same impulse again (presets often share one) keeps its conversion.
    // Only this stage's setters write the arrays, so reading them needs no lock.
    const int n = std::min(length, kMaxImpulse);
    if (n >= 1 && left && (mono || right) && record.length == n && record.mono == mono &&
        std::equal(left, left + n, record.impulse_left.begin()) &&
        std::equal(mono ? left : right, (mono ? left : right) + n, record.impulse_right.begin())) {
        try {
            CabinetImpulse same;
            same.left.assign(record.impulse_left.begin(), record.impulse_left.begin() + n);
            same.right.assign(record.impulse_right.begin(), record.impulse_right.begin() + n);
            same.minphaseLeft.assign(record.minphase_left.begin(), record.minphase_left.begin() + n);
            same.minphaseRight.assign(record.minphase_right.begin(), record.minphase_right.begin() + n);
            same.mono = mono;
            same.samplerate = samplerate;
            same.name = name ? name : "";
            return SetImpulse(std::move(same));
        } catch (const std::bad_alloc&) {
            std::fprintf(stderr, "Quarrystone TWR:: Not enough memory for the cabinet impulse; it is refused.\n");
            return false;
        }
    }
    CabinetImpulse impulse;
    return impulse.Prepare(left, right, length, mono, samplerate, name) && SetImpulse(std::move(impulse));
}

bool CabinetProcessor::SetImpulse(CabinetImpulse&& impulse)
{
    const int n = impulse.Length();
    if (n < 1 || n > kMaxImpulse || impulse.right.size() != size_t(n) || impulse.minphaseLeft.size() != size_t(n) ||
        impulse.minphaseRight.size() != size_t(n)) {
        std::fprintf(stderr, "Quarrystone TWR:: Cabinet impulse refused: it has no samples.\n");
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(recordMutex);
        try {
            record.SetName(impulse.name.c_str());
        } catch (const std::bad_alloc&) {
            std::fprintf(stderr, "Quarrystone TWR:: Not enough memory for the cabinet impulse; it is refused.\n");
            return false;
        }
        record.impulse_left.swap(impulse.left);
        record.impulse_right.swap(impulse.right);
        record.minphase_left.swap(impulse.minphaseLeft);
        record.minphase_right.swap(impulse.minphaseRight);
        record.length = n;
        record.mono = impulse.mono;
        record.samplerate = impulse.samplerate > 0.0 && std::isfinite(impulse.samplerate) ? impulse.samplerate : fs;
        ++impulseSerial;
    }
    RequestRebuild();
    if (threadless && current) WaitForRebuild();
    return true;
}

void CabinetProcessor::SetFs(double rate)
{
    if (!(rate > 0.0) || !std::isfinite(rate) || rate == fs) return;
    fs = rate;
    bypass.SetFs(rate);
    dibox.SetFs(rate);
    wantFs.store(rate);
    RequestRebuild();
    if (threadless && current) WaitForRebuild();
}

void CabinetProcessor::Settle()
{
    bypass.Settle();
    dibox.Settle();
    Adopt();
}

void CabinetProcessor::Reserve(int n)
{
    bypass.Reserve(n);
    dibox.Reserve(n);
}

void CabinetProcessor::process(double* in, double* outL, double* outR, int n)
{
    if (n <= 0) return;
    Adopt();
    if (!bypass.running) {
        std::copy_n(in, n, outL);
        std::copy_n(in, n, outR);
        return;
    }
    bypass.senddry(in, in, n);
    dibox.process(in, n);
    if (current) {
        current->process(in, outL, outR, n);
    } else {  // only when even the first build found no memory
        std::copy_n(in, n, outL);
        std::copy_n(in, n, outR);
    }
    bypass.process(outL, outR, n);
}

void CabinetProcessor::WaitForRebuild()
{
    const std::uint64_t target = requestSerial.load();
    if (threadless) {
        std::uint64_t done;
        {
            std::lock_guard<std::mutex> lock(workMutex);
            done = publishedSerial;
        }
        if (done < target) Build(target);
        return;
    }
    std::unique_lock<std::mutex> lock(workMutex);
    published.wait(lock, [&] { return publishedSerial >= target; });
}

void CabinetProcessor::GetImpulse(std::vector<double>& left, std::vector<double>& right, int& length,
                                  bool& mono) const
{
    std::lock_guard<std::mutex> lock(workMutex);
    left = windowed[0];
    right = windowed[1];
    length = windowLength;
    mono = windowMono;
}

void CabinetProcessor::RequestRebuild()
{
    requestSerial.fetch_add(1);
    Wake();
}

void CabinetProcessor::Wake()
{
    // One pending signal is enough: the worker reads the latest requests
    // after it has taken it.
    if (!wakePending.exchange(true)) wakeSignal.release();
}

void CabinetProcessor::WorkerLoop()
{
    std::uint64_t built;
    {
        std::lock_guard<std::mutex> lock(workMutex);
        built = publishedSerial;
    }
    for (;;) {
        wakeSignal.acquire();
        wakePending.store(false);
        FreeRetired();
        if (stopping.load()) return;
        // Everything requested up to now goes into one rebuild; requests
        // arriving meanwhile make the next one.
        for (std::uint64_t target = requestSerial.load(); target != built; target = requestSerial.load()) {
            Build(target);
            built = target;
            FreeRetired();
        }
    }
}

void CabinetProcessor::Build(std::uint64_t serial)
{
    const int window = wantWindow.load();
    const bool minphase = wantMinphase.load();
    const double rate = wantFs.load();
    CabinetConvolver* fresh = nullptr;
    try {
        std::uint64_t impulse;
        {
            std::lock_guard<std::mutex> lock(recordMutex);
            impulse = impulseSerial;
        }
        if (!cacheValid || cacheImpulse != impulse || cacheFs != rate || cacheMinphase != minphase) {
            Source source;
            {
                std::lock_guard<std::mutex> lock(recordMutex);
                const auto& l = minphase ? record.minphase_left : record.impulse_left;
                const auto& r = minphase ? record.minphase_right : record.impulse_right;
                source.channel[0].assign(l.begin(), l.begin() + record.length);
                source.channel[1].assign(r.begin(), r.begin() + record.length);
                source.length = record.length;
                source.mono = record.mono;
                source.rate = record.samplerate;
                source.impulse = impulseSerial;
            }
            cacheValid = false;
            if (!PrepareImpulse(source, rate, minphase)) throw std::bad_alloc();
            cacheValid = true;
            cacheImpulse = source.impulse;
            cacheFs = rate;
            cacheMinphase = minphase;
        }

        // Shortened by the falling half of a Kaiser window when longer than
        // the window, then scaled by the reciprocal of the larger energy.
        std::vector<double> shaped[2];
        for (auto& channel : shaped) channel.assign(kMaxWindow, 0.0);
        if (resampledLength > window) {
            for (int i = 0; i < window; ++i) {
                const double weight = WindowFunction::KaiserHalfWindow(i, window, kKaiserBeta);
                for (int c = 0; c < 2; ++c) shaped[c][size_t(i)] = resampled[c][size_t(i)] * weight;
            }
        } else {
            for (int c = 0; c < 2; ++c) std::copy_n(resampled[c].begin(), resampledLength, shaped[c].begin());
        }
        double energy[2] = {0.0, 0.0};
        for (int c = 0; c < 2; ++c)
            for (double x : shaped[c]) energy[c] += x * x;
        const double larger = energy[1] > energy[0] ? energy[1] : energy[0];
        if (std::isfinite(larger) && larger >= kSmallestScaledEnergy) {
            const double g = 1.0 / larger;
            for (auto& channel : shaped)
                for (double& x : channel) x *= g;
        }

        // Taps past the impulse are zero, so the convolver gets the shortest
        // length that holds both impulse and window.
        const bool mono = cacheMono;
        fresh = new CabinetConvolver;
        const int taps = std::max(1, std::min(window, resampledLength));
        fresh->SetImpulse(shaped[0].data(), shaped[1].data(), taps, mono);
        {
            std::lock_guard<std::mutex> lock(workMutex);
            windowed[0].swap(shaped[0]);
            windowed[1].swap(shaped[1]);
            windowLength = window;
            windowMono = mono;
        }
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr,
                     "Quarrystone TWR:: Not enough memory to rebuild the cabinet; the previous impulse stays.\n");
        delete fresh;
        fresh = nullptr;
    }
    Publish(fresh, serial);
}

bool CabinetProcessor::PrepareImpulse(const Source& source, double rate, bool minphase)
{
    const int channels = source.mono ? 1 : 2;
    int produced = 0;
    std::vector<double> converted[2];
    if (source.rate == rate) {
        produced = std::min(source.length, kMaxWindow);
        for (int c = 0; c < channels; ++c)
            converted[c].assign(source.channel[c].begin(), source.channel[c].begin() + produced);
    } else {
        // Minimum phase is restored after resampling, so that conversion
        // keeps the resampler's whole output.
        const int limit = minphase ? kMaxImpulse : kMaxWindow;
        Resampler resampler(1.0 / 12.0, 12.0, 35, 4096.0, true);
        const double factor = rate / source.rate;
        for (int c = 0; c < channels; ++c) {
            converted[c].assign(static_cast<size_t>(limit), 0.0);
            resampler.reset();
            int used = 0;
            const int count = resampler.process(factor, source.channel[c].data(), source.length, 1, &used,
                                                converted[c].data(), limit);
            if (count < 0) {
                std::fprintf(stderr,
                             "Quarrystone TWR:: Cannot convert the cabinet impulse from %g Hz to %g Hz;"
                             " the cabinet is silent.\n",
                             source.rate, rate);
                produced = 0;
                break;
            }
            if (minphase && !ConvertToMinimumPhaseFast(converted[c].data(), converted[c].data(), count)) return false;
            produced = std::min(count, kMaxWindow);
        }
    }
    for (int c = 0; c < 2; ++c) {
        const std::vector<double>& from = converted[source.mono ? 0 : c];
        std::fill(resampled[c].begin(), resampled[c].end(), 0.0);
        if (produced > 0) std::copy_n(from.begin(), produced, resampled[c].begin());
    }
    resampledLength = produced;
    cacheMono = source.mono;
    return true;
}

void CabinetProcessor::Publish(CabinetConvolver* fresh, std::uint64_t serial)
{
    rebuilds.fetch_add(1);
    if (fresh) delete pending.exchange(fresh);  // one never played
    {
        std::lock_guard<std::mutex> lock(workMutex);
        publishedSerial = std::max(publishedSerial, serial);
    }
    published.notify_all();
}

void CabinetProcessor::Adopt()
{
    if (!pending.load(std::memory_order_acquire)) return;
    const int write = retireWrite.load(std::memory_order_relaxed);
    if (write - retireRead.load(std::memory_order_acquire) >= kRetireSlots) return;  // try next block
    CabinetConvolver* fresh = pending.exchange(nullptr);
    if (!fresh) return;
    if (current) {
        retired[write % kRetireSlots] = current;
        retireWrite.store(write + 1, std::memory_order_release);
        Wake();
    }
    current = fresh;
}

void CabinetProcessor::FreeRetired()
{
    int read = retireRead.load(std::memory_order_relaxed);
    const int write = retireWrite.load(std::memory_order_acquire);
    while (read != write) {
        delete retired[read % kRetireSlots];
        retired[read % kRetireSlots] = nullptr;
        ++read;
        retireRead.store(read, std::memory_order_release);
    }
}

}  // namespace tonewright
