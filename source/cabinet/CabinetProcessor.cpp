#include "cabinet/CabinetProcessor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <system_error>

#include "dsp/ParameterRules.h"
#include "dsp/EngineLock.h"
#include "cabinet/WindowFunction.h"

namespace tonewright {

namespace {

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

// 1 / (the larger channel energy) of the impulse at its own rate, shortened
// over the same stretch of time as the working version, capped at
// kLargestScale. Computed there, it does not depend on the running rate (nor
// on what resampling cuts off above the lower rate's band).
double energyScale(const CabinetImpulse& impulse, const CabinetImpulse::Channels* minimumPhase, int workingLength,
                   int window, double fs)
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

}  // namespace

CabinetProcessor::CabinetProcessor()
{
    for (auto& channel : windowed) channel.assign(kMaxWindow, 0.0);

    record.enable = true;
    record.windowsize = kMaxWindow;
    record.minphase = true;
    record.forcedmono = false;
    // The box runs what the record shows from the start.
    dibox.SetParameters({true, 4500.0, 0.7071});
    dibox.Settle();
    record.dibox = dibox.GetParameters();

    const double unit[8] = {1.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    SwapImpulse(CabinetImpulse::Make(unit, unit, 8, true, 44100.0, "None"));

    // Built here, so the first block already plays it.
    Build(requestSerial.load());
    Adopt();
    try {
        if (failWorkerStart.load())
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        worker = std::thread([this] { WorkerLoop(); });
        threadless = false;
    } catch (const std::system_error&) {
        std::fprintf(stderr, "Quarrystone TWR:: No cabinet worker thread; cabinet changes are built when waited for.\n");
    }
}

void CabinetProcessor::FailWorkerStartForTesting(bool fail) { failWorkerStart.store(fail); }

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
    SwapImpulse(p->Impulse());
}

void CabinetProcessor::GetParameters(CabinetProcessorParameters* out) const
{
    if (!out) return;
    std::lock_guard<std::mutex> lock(recordMutex);
    *out = record;
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
    const double rate = samplerate > 0.0 && std::isfinite(samplerate) ? samplerate : fs;
    auto made = CabinetImpulse::Make(left, right, length, mono, rate, name);
    if (!made) return false;
    SwapImpulse(std::move(made));
    if (threadless) WaitForRebuild();
    return true;
}

std::shared_ptr<const CabinetImpulse> CabinetProcessor::SwapImpulse(std::shared_ptr<const CabinetImpulse> impulse)
{
    if (!impulse) return nullptr;
    std::shared_ptr<const CabinetImpulse> replaced;
    {
        std::lock_guard<std::mutex> lock(recordMutex);
        replaced = record.Impulse();
        record.SetImpulse(std::move(impulse));
    }
    RequestRebuild();
    return replaced;
}

void CabinetProcessor::SetFs(double rate)
{
    if (!(rate > 0.0) || !std::isfinite(rate) || rate == fs) return;
    fs = rate;
    bypass.SetFs(rate);
    dibox.SetFs(rate);
    wantFs.store(rate);
    RequestRebuild();
    if (threadless) WaitForRebuild();
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
    CheckOffEngineLock("waiting for the cabinet");
    const std::uint64_t target = requestSerial.load();
    if (threadless) {
        // The caller does the worker's part: frees what the audio thread
        // retired (so it can go on adopting) and builds what is requested.
        std::lock_guard<std::mutex> inline_(inlineWork);
        FreeRetired();
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
    CheckOffEngineLock("copying the cabinet's working impulse");
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
    // after it has taken it. Sent after the engine lock, when one is held.
    if (threadless) return;
    if (!wakePending.exchange(true))
        AfterEngineUnlock([](void* self) { static_cast<CabinetProcessor*>(self)->wakeSignal.release(); }, this);
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
        std::shared_ptr<const CabinetImpulse> impulse;
        {
            std::lock_guard<std::mutex> lock(recordMutex);
            impulse = record.Impulse();
        }
        // Computed once per impulse, rate and phase choice, then reused.
        const std::shared_ptr<const CabinetImpulse::Channels> working = impulse->AtRate(rate, minphase);
        const std::shared_ptr<const CabinetImpulse::Channels> ownMinimumPhase =
            minphase ? impulse->MinimumPhase() : nullptr;
        if (!working || (minphase && !ownMinimumPhase)) throw std::bad_alloc();
        const int length = working->length;

        // Shortened by the falling half of a Kaiser window when longer than
        // the window, then scaled by the reciprocal of the larger energy,
        // taken at the impulse's own rate.
        std::vector<double> shaped[2];
        for (int c = 0; c < 2; ++c) {
            shaped[c].assign(kMaxWindow, 0.0);
            shorten((*working)[c], length, window, shaped[c]);
        }
        const double g = energyScale(*impulse, ownMinimumPhase.get(), length, window, rate);
        for (auto& channel : shaped)
            for (double& x : channel) x *= g;

        // Taps past the impulse are zero, so the convolver gets the shortest
        // length that holds both impulse and window.
        const bool mono = working->mono;
        fresh = new CabinetConvolver;
        const int taps = std::max(1, std::min(window, length));
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
