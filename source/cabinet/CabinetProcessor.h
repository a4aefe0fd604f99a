#pragma once
// The speaker cabinet: mono in, stereo out. A DI box (two low-pass biquads)
// feeds the zero-latency convolver, and a soft bypass crossfades the whole
// stage on and off.
//
// Threads. The convolver is one running state; what it plays is a prepared
// impulse (`CabinetImpulse::Prepared`: the working taps at the running rate,
// Kaiser-shortened and energy-scaled, and their spectra), made off the audio
// thread and shared. There are two ways to give it one:
// - With its own worker (the default): setters only record what changed
//   and wake it; a burst of changes coalesces into one rebuild. The audio
//   thread adopts the worker's result with a pointer swap at the start of
//   `process` and hands the old one back through a ring for the worker to
//   drop.
// - Without a worker (`Worker::none`, or when its thread cannot start):
//   setters only record, and an owner that prepared the impulse itself
//   commits it with `CommitPrepared` (no allocation, no lock, no waiting:
//   the audio thread may call it, and the change is heard from the next
//   sample). The calls that may wait (`SetImpulse`, `SetFs`,
//   `WaitForRebuild`) then do the worker's part on the calling thread.
// `SetParameter`, `GetParameter`, `GetSettings`, `SetParameters`,
// `SwapImpulse`, `CommitPrepared`, `Settle` and `process` never allocate or
// wait; calls on one stage must not overlap (the owner serialises them). The
// worker is the only other party and takes the impulse pointer under a mutex
// that the audio thread takes only when a worker exists.

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

    enum class Worker { own, none };

    // Enabled, window 32768, minimum phase on, DI box on at 4500 Hz and
    // Q 0.7071, a mono unit impulse named "None"; built before it returns.
    explicit CabinetProcessor(Worker worker = Worker::own);
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
    // means the running rate. Slow: never on the audio thread.
    bool SetImpulse(const double* left, const double* right, int length, bool mono, double samplerate,
                    const char* name);
    // Swaps in an impulse made beforehand (on any thread) and hands back the
    // one it replaces, for the caller to drop outside its locks. Null
    // changes nothing and gives back null.
    std::shared_ptr<const CabinetImpulse> SwapImpulse(std::shared_ptr<const CabinetImpulse> impulse);
    const std::shared_ptr<const CabinetImpulse>& Impulse() const { return record.Impulse(); }
    // The record's settings and impulse, with that impulse already prepared
    // for the running rate, window and phase choice (`Prepare`): played from
    // the next sample, superseding every rebuild asked for so far. The
    // prepared impulse must outlive its use (the caller keeps it until it
    // has committed another); the record's impulse is kept as a reference,
    // so the caller must not drop the last one of the impulse it replaces
    // here. Null `prepared` commits the settings and asks for a rebuild.
    void CommitPrepared(const CabinetProcessorParameters& p, const CabinetImpulse::Prepared* prepared);
    // What the record asks to play at the running rate (slow; off the audio
    // thread).
    static std::shared_ptr<const CabinetImpulse::Prepared> Prepare(const CabinetProcessorParameters& p, double fs);

    void SetFs(double rate);
    // Ends the bypass and DI ramps and adopts a finished rebuild at once.
    void Settle();
    void Reserve(int n);
    void process(double* in, double* outL, double* outR, int n);

    // Blocks (never on the audio thread) until every change requested so far
    // has been built and handed over: the next `process` plays it.
    void WaitForRebuild();

    // Copies of the working impulse that plays as handed to the convolver
    // (32768 samples per channel, zero beyond the window), the window size
    // and the mono flag. Not while another thread runs `process`.
    void GetImpulse(std::vector<double>& left, std::vector<double>& right, int& length, bool& mono) const;

    // Rebuilds finished so far (diagnostics and tests).
    std::uint64_t RebuildCount() const { return rebuilds.load(); }

    // Tests: stages constructed while this is set run without a worker, as
    // when its thread cannot start.
    static void FailWorkerStartForTesting(bool fail);

private:
    // A prepared impulse the worker published, with the request it answers.
    struct Publication {
        std::shared_ptr<const CabinetImpulse::Prepared> prepared;
        std::uint64_t serial = 0;
        Publication* next = nullptr;  // on the audio side's overflow list
    };

    void RequestRebuild();
    void Wake();
    void WorkerLoop();
    void Build(std::uint64_t serial);
    void Publish(std::unique_ptr<Publication> fresh, std::uint64_t serial);
    void Adopt();
    void Play(const CabinetImpulse::Prepared* next, Publication* from);
    void Retire(Publication* gone);
    void FreeRetired();

    // Settings and impulse; the impulse pointer is written under
    // recordMutex when a worker reads it.
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
    // Requests up to this one were answered by a commit (audio side).
    std::uint64_t committedSerial = 0;

    // What plays (audio side): the prepared impulse, and the publication it
    // came from when the worker made it (null when an owner committed it).
    std::unique_ptr<CabinetConvolver> convolver;
    const CabinetImpulse::Prepared* playing = nullptr;
    Publication* playingFrom = nullptr;
    Publication* overflow = nullptr;  // retired while the ring was full

    // Hand-over: the worker publishes into `pending`, the audio thread
    // adopts it and puts the publication it replaces into the retire ring,
    // whose entries the worker (or a waiting caller) frees.
    std::atomic<Publication*> pending{nullptr};
    static constexpr int kRetireSlots = 8;
    Publication* retired[kRetireSlots] = {};
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

    // The serial the latest build answers, for waiters.
    mutable std::mutex workMutex;
    std::condition_variable published;
    std::uint64_t publishedSerial = 0;
};

}  // namespace tonewright
