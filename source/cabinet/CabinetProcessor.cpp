#include "cabinet/CabinetProcessor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <system_error>

#include "dsp/ParameterRules.h"
#include "dsp/AudioThread.h"
#include "cabinet/WindowFunction.h"

namespace tonewright {

CabinetProcessor::CabinetProcessor(Worker mode)
{
    record.enable = true;
    record.windowsize = kMaxWindow;
    record.minphase = true;
    record.forcedmono = false;
    // The box runs what the record shows from the start.
    dibox.SetParameters({true, 4500.0, 0.7071});
    dibox.Settle();
    record.dibox = dibox.GetParameters();

    convolver = std::make_unique<CabinetConvolver>();
    const double unit[8] = {1.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    SwapImpulse(CabinetImpulse::Make(unit, unit, 8, true, 44100.0, "None"));

    // Built here, so the first block already plays it.
    Build(requestSerial.load());
    Adopt();
    if (mode == Worker::none) return;
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
    delete playingFrom;
    while (Publication* p = overflow) {
        overflow = p->next;
        delete p;
    }
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
    std::unique_lock<std::mutex> lock(recordMutex, std::defer_lock);
    if (!threadless) lock.lock();
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
        std::unique_lock<std::mutex> lock(recordMutex, std::defer_lock);
        if (!threadless) lock.lock();
        replaced = record.Impulse();
        record.SetImpulse(std::move(impulse));
    }
    RequestRebuild();
    return replaced;
}

void CabinetProcessor::CommitPrepared(const CabinetProcessorParameters& p, const CabinetImpulse::Prepared* prepared)
{
    if (!prepared) {
        SetParameters(&p);
        return;
    }
    SetParameter(0, flagValue(p.enable));
    // The settings the prepared impulse was made for, stored without a
    // rebuild.
    acceptInt(record.windowsize, p.windowsize, 1, kMaxWindow);
    acceptFlag(record.minphase, flagValue(p.minphase));
    acceptFlag(record.forcedmono, flagValue(p.forcedmono));
    wantWindow.store(record.windowsize);
    wantMinphase.store(record.minphase);
    dibox.SetParameters(p.dibox);
    record.dibox = dibox.GetParameters();
    {
        std::unique_lock<std::mutex> lock(recordMutex, std::defer_lock);
        if (!threadless) lock.lock();
        record.SetImpulse(p.Impulse());
    }
    // Whatever the worker builds for requests made so far is superseded.
    committedSerial = requestSerial.load();
    if (Publication* stale = pending.exchange(nullptr)) Retire(stale);
    Play(prepared, nullptr);
}

std::shared_ptr<const CabinetImpulse::Prepared> CabinetProcessor::Prepare(const CabinetProcessorParameters& p,
                                                                         double fs)
{
    return p.Impulse()->Prepare(fs, p.minphase, p.windowsize);
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
    convolver->process(in, outL, outR, n);
    bypass.process(outL, outR, n);
}

void CabinetProcessor::WaitForRebuild()
{
    CheckOffAudioThread("waiting for the cabinet");
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
    CheckOffAudioThread("copying the cabinet's working impulse");
    left.assign(kMaxWindow, 0.0);
    right.assign(kMaxWindow, 0.0);
    // The latest build counts once it is published, before it is adopted.
    const Publication* latest = pending.load(std::memory_order_acquire);
    const CabinetImpulse::Prepared* shown = latest ? latest->prepared.get() : playing;
    length = shown ? shown->window : kMaxWindow;
    mono = shown ? shown->mono : true;
    if (!shown) return;
    std::copy(shown->taps[0].begin(), shown->taps[0].end(), left.begin());
    std::copy(shown->taps[1].begin(), shown->taps[1].end(), right.begin());
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
    if (threadless) return;
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
    std::unique_ptr<Publication> fresh;
    try {
        CabinetProcessorParameters asked;
        {
            std::unique_lock<std::mutex> lock(recordMutex, std::defer_lock);
            if (!threadless) lock.lock();
            asked.SetImpulse(record.Impulse());
        }
        asked.windowsize = wantWindow.load();
        asked.minphase = wantMinphase.load();
        // Computed once per impulse, rate, phase choice and window, then
        // reused.
        std::shared_ptr<const CabinetImpulse::Prepared> prepared = Prepare(asked, wantFs.load());
        if (!prepared) throw std::bad_alloc();
        fresh = std::make_unique<Publication>();
        fresh->prepared = std::move(prepared);
        fresh->serial = serial;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr,
                     "Quarrystone TWR:: Not enough memory to rebuild the cabinet; the previous impulse stays.\n");
        fresh.reset();
    }
    Publish(std::move(fresh), serial);
}

void CabinetProcessor::Publish(std::unique_ptr<Publication> fresh, std::uint64_t serial)
{
    rebuilds.fetch_add(1);
    if (fresh) delete pending.exchange(fresh.release());  // one never played
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
    Publication* fresh = pending.exchange(nullptr);
    if (!fresh) return;
    // A build for a request that a commit answered since plays no more.
    if (fresh->serial <= committedSerial && playing) {
        Retire(fresh);
        return;
    }
    Play(fresh->prepared.get(), fresh);
}

void CabinetProcessor::Play(const CabinetImpulse::Prepared* next, Publication* from)
{
    if (next != playing) convolver->Install(next->spectra.get());
    playing = next;
    if (playingFrom && playingFrom != from) Retire(playingFrom);
    playingFrom = from;
}

void CabinetProcessor::Retire(Publication* gone)
{
    // A full ring (nobody has freed it yet) keeps the rest on the audio
    // side's list, which goes into the ring as room comes.
    gone->next = overflow;
    overflow = gone;
    bool sent = false;
    while (overflow) {
        const int write = retireWrite.load(std::memory_order_relaxed);
        if (write - retireRead.load(std::memory_order_acquire) >= kRetireSlots) break;
        Publication* oldest = overflow;
        overflow = oldest->next;
        retired[write % kRetireSlots] = oldest;
        retireWrite.store(write + 1, std::memory_order_release);
        sent = true;
    }
    if (sent) Wake();
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
