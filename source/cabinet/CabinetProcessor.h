#pragma once
// The speaker cabinet: mono in, stereo out. A DI box (two low-pass biquads)
// feeds the zero-latency convolver, and a soft bypass crossfades the whole
// stage on and off.
//
// Threads. The stage's worker thread turns the shared impulse into the
// working one (the impulse's version at the running rate, computed once per
// impulse and rate; then Kaiser-shortened, energy-scaled) and builds the
// convolver's spectra. Setters only record what changed and wake it; a burst
// of changes coalesces into one rebuild. The audio thread adopts a finished
// convolver with a pointer swap at the start of `process` and hands the old
// one back to be freed by the worker. `SetParameter`, `GetParameter`,
// `GetSettings`, `GetParameters`, `SetParameters`, `SwapImpulse`, `Settle`
// and `process` never allocate or wait, so they may run under the engine
// lock; the others may allocate or wait and must not. Calls on one stage must
// not overlap (the owner serialises them); the worker is the only other party
// and takes the impulse pointer under a mutex that the audio thread never
// takes.
//
// Without a worker (its thread could not start) the calls that may wait
// (`SetImpulse`, `SetFs`, `WaitForRebuild`) do its work on the calling
// thread: they free the convolvers the audio thread retired and build what
// is requested. The others still only record, so a change they make is
// built by the next of those calls.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <semaphore>
#include <thread>
#include <vector>

#include "cabinet/CabinetConvolver.h"
#include "cabinet/CabinetImpulse.h"
#include "cabinet/CabinetProcessorParameters.h"
#include "cabinet/DirectBox.h"
#include "dsp/SoftBypass.h"

namespace tonewright {

class CabinetProcessor {
public:
    static constexpr int kMaxWindow = 32768;

    // Enabled, window 32768, minimum phase on, DI box on at 4500 Hz and
    // Q 0.7071, a mono unit impulse named "None"; built before it returns.
    CabinetProcessor();
    ~CabinetProcessor();
    CabinetProcessor(const CabinetProcessor&) = delete;
    CabinetProcessor& operator=(const CabinetProcessor&) = delete;

    // 0 enable, 1 window size (1..32768), 2 minimum phase, 3 forced mono
    // (stored only), 4 DI box on, 5 DI frequency, 6 DI Q.
    void SetParameter(int id, double v);
    double GetParameter(int id) const;
    // The settings, then the record's impulse by `SwapImpulse`: whoever calls
    // it keeps the replaced impulse alive (see Tonewright::CommitSound) when
    // it must not be freed here.
    void SetParameters(const CabinetProcessorParameters* p);
    // Copy of the record: settings and the impulse pointer.
    void GetParameters(CabinetProcessorParameters* out) const;
    // Copies the settings only (no impulse arrays, no name): cheap enough for
    // the audio thread, which applies parameter changes at block start.
    void GetSettings(CabinetProcessorParameters* out) const;

    // Makes the impulse of these samples (the arrays stay the caller's;
    // right is not read when mono) and swaps it in. Refused, changing
    // nothing, when it has no samples or holds non-finite ones. A rate <= 0
    // means the running rate. Slow: never under the engine lock.
    bool SetImpulse(const double* left, const double* right, int length, bool mono, double samplerate,
                    const char* name);
    // Swaps in an impulse made beforehand (on any thread) and hands back the
    // one it replaces, for the caller to drop outside its locks. Null
    // changes nothing and gives back null.
    std::shared_ptr<const CabinetImpulse> SwapImpulse(std::shared_ptr<const CabinetImpulse> impulse);
    const std::shared_ptr<const CabinetImpulse>& Impulse() const { return record.Impulse(); }

    void SetFs(double rate);
    // Ends the bypass and DI ramps and adopts a finished rebuild at once.
    void Settle();
    void Reserve(int n);
    void process(double* in, double* outL, double* outR, int n);

    // Blocks (never on the audio thread) until every change requested so far
    // has been built and handed over: the next `process` plays it.
    void WaitForRebuild();

    // Copies of the working impulse of the latest rebuild as handed to the
    // convolver (32768 samples per channel, zero beyond the window), the
    // window size and the mono flag.
    void GetImpulse(std::vector<double>& left, std::vector<double>& right, int& length, bool& mono) const;

    // Rebuilds finished so far (diagnostics and tests).
    std::uint64_t RebuildCount() const { return rebuilds.load(); }

    // Tests: stages constructed while this is set run without a worker, as
    // when its thread cannot start.
    static void FailWorkerStartForTesting(bool fail);

private:
    void RequestRebuild();
    void Wake();
    void WorkerLoop();
    void Build(std::uint64_t serial);
    void Publish(CabinetConvolver* fresh, std::uint64_t serial);
    void Adopt();
    void FreeRetired();

    // Settings and impulse; the impulse pointer is written under
    // recordMutex, which the worker takes to read it.
    CabinetProcessorParameters record;
    mutable std::mutex recordMutex;

    DirectBox dibox;
    SoftBypass bypass;
    double fs = 44100.0;

    // Requests, written by the setters, read by the worker.
    std::atomic<int> wantWindow{kMaxWindow};
    std::atomic<bool> wantMinphase{true};
    std::atomic<double> wantFs{44100.0};
    std::atomic<std::uint64_t> requestSerial{0};
    std::atomic<std::uint64_t> rebuilds{0};

    // Hand-over: the worker publishes into `pending`, the audio thread swaps
    // it into `current` and puts the old one into the retire ring.
    CabinetConvolver* current = nullptr;
    std::atomic<CabinetConvolver*> pending{nullptr};
    static constexpr int kRetireSlots = 8;
    CabinetConvolver* retired[kRetireSlots] = {};
    std::atomic<int> retireWrite{0};
    std::atomic<int> retireRead{0};

    // The worker.
    std::thread worker;
    bool threadless = true;  // until the worker runs: changes are built when waited for
    std::mutex inlineWork;   // without a worker: one caller at a time does its work
    static inline std::atomic<bool> failWorkerStart{false};
    std::counting_semaphore<> wakeSignal{0};
    std::atomic<bool> wakePending{false};
    std::atomic<bool> stopping{false};

    // The latest working impulse and the serial it answers, for waiters.
    mutable std::mutex workMutex;
    std::condition_variable published;
    std::uint64_t publishedSerial = 0;
    std::vector<double> windowed[2];
    int windowLength = kMaxWindow;
    bool windowMono = true;
};

}  // namespace tonewright
