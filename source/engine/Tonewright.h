#pragma once
// The modelling engine: owns every processing stage by value and runs them in
// a fixed order on blocks of double samples, mono in, stereo out. It keeps
// its TonewrightParameters record in step with the stages and maps engine
// parameter ids (1..94) onto them.
//
// Threads. The engine has no locks: calls on one engine must not overlap.
// `PrepareSound` (static, or of an engine's rate) reads nothing the engine
// changes and may run on any thread while the engine plays. `CommitSound`,
// `CommitWholeSound`, `SwapCabinetImpulse`, the parameter setters and
// `GetParameters` only copy and swap (no allocation, no lock, no waiting), so
// the thread that runs `process` may call them between blocks; every other
// call may allocate or wait and belongs off that thread. An engine made with
// `CabinetProcessor::Worker::none` starts no thread of its own: its cabinet
// plays what commits bring, prepared beforehand.

#include <memory>

#include "cabinet/CabinetProcessor.h"
#include "dsp/Filter.h"
#include "dsp/Stage.h"
#include "amp/Oversampler.h"
#include "engine/ParameterTable.h"
#include "engine/TonewrightParameters.h"

namespace tonewright {

class Tonewright {
public:
    static constexpr int kFirstId = 1;
    static constexpr int kLastId = kLastParameterId;

    // What a whole sound needs before it can be committed: the record and
    // its cabinet impulse prepared to play at the engine's rate (null when
    // memory ran out: the commit then asks the cabinet to build it).
    struct PreparedSound {
        TonewrightParameters record;
        std::shared_ptr<const CabinetImpulse::Prepared> cabinet;
    };
    // What a commit replaced. The caller drops it after releasing its lock:
    // the last reference to an impulse frees its samples.
    struct Replaced {
        std::shared_ptr<const CabinetImpulse> impulses[2];
    };

    // Built at `rate` (44100 Hz when it is not a positive number), with the
    // constructor's sound in place and every fade ended.
    explicit Tonewright(double rate = 44100.0, CabinetProcessor::Worker cabinetWorker = CabinetProcessor::Worker::own);
    Tonewright(const Tonewright&) = delete;
    Tonewright& operator=(const Tonewright&) = delete;

    // One block: `in` (n mono samples) is processed in place and holds the
    // signal as the cabinet stage left it; outL and outR receive the output.
    void process(double* in, double* outL, double* outR, int n);

    void SetFs(double rate);
    double GetFs() const { return fs; }

    // Makes room in every stage for blocks of up to n samples (and the
    // oversampled multiple), so process() allocates nothing for such blocks.
    void Reserve(int n);
    // Waits until the cabinet has built what it was given and ends every
    // fade: for an engine that does not play yet.
    void Settle();
    // Ends every fade without waiting: what was committed plays from the
    // next sample as if it had always been there. For an engine that has
    // not played since; safe on the audio thread.
    void EndFades();

    void SetParameter(int id, double value);
    void SetParameterNormalized(int id, double x);
    double GetParameter(int id) const;
    double GetParameterNormalized(int id) const;
    // A whole sound in two steps. Prepare on any thread, without a lock (it
    // may allocate and compute: minimum phase and the version at the running
    // rate of the cabinet impulse, each reused when done before). Commit
    // under the owner's lock: settings are copied and the impulse pointer
    // swapped. Every road that applies a record (programs, banks, chunks,
    // MIDI program changes, restores, a new engine) goes through these two.
    PreparedSound PrepareSound(const TonewrightParameters& sound) const { return PrepareSound(sound, fs); }
    static PreparedSound PrepareSound(const TonewrightParameters& sound, double rate);
    [[nodiscard]] Replaced CommitSound(const PreparedSound& sound);
    // The same, and also the two fields a commit leaves alone (the record's
    // own `enable` and the oversampling choice): what a preset, a chunk or
    // the copy into a new engine carries, where a program change keeps them.
    [[nodiscard]] Replaced CommitWholeSound(const PreparedSound& sound);
    // Prepare and commit in one call, for callers that hold no lock.
    void SetParameters(TonewrightParameters* p);
    TonewrightParameters* GetParameters();

    void SetPreamp(const PreampParameters* p);
    void ReloadPreamp();
    // Make the impulse (slow) and swap it in: for callers that hold no lock.
    bool SetCabinetImpulse(const double* left, const double* right, int length, bool mono,
                           double samplerate, const char* name);
    bool SetCabinetImpulse(const char* path);
    // Swaps in an impulse made beforehand (CabinetImpulse::Make, on any
    // thread); the caller drops what it replaced after its lock.
    [[nodiscard]] Replaced SwapCabinetImpulse(std::shared_ptr<const CabinetImpulse> impulse);

private:
    // Calls f(stage, clock) for every stage in chain order; every operation
    // on the whole chain walks this one list.
    template <typename Self, typename F>
    static void forEachStage(Self& self, F&& f)
    {
        f(self.gate, Clock::host);
        f(self.lowcut, Clock::host);
        f(self.wah, Clock::host);
        f(self.sustainer, Clock::host);
        f(self.boost, Clock::host);
        f(self.oversampler, Clock::host);
        f(self.preamp, Clock::host);
        f(self.preamp_os, Clock::oversampled);
        f(self.poweramp, Clock::host);
        f(self.poweramp_os, Clock::oversampled);
        f(self.eq_pre, Clock::host);
        f(self.eq_post, Clock::host);
        f(self.deep, Clock::host);
        f(self.bright, Clock::host);
        f(self.cabinet, Clock::host);
        f(self.tremolo_pre, Clock::host);
        f(self.tremolo_post, Clock::host);
        f(self.chorus_pre, Clock::host);
        f(self.chorus_post, Clock::host);
        f(self.flanger_pre, Clock::host);
        f(self.flanger_post, Clock::host);
        f(self.phaser_pre, Clock::host);
        f(self.phaser_post, Clock::host);
        f(self.echo_pre, Clock::host);
        f(self.echo_post, Clock::host);
        f(self.reverb, Clock::host);
        f(self.master, Clock::host);
    }

    // Calls f with the stage (or stages) a unit of the parameter table names,
    // bound to the record part it reads back into.
    template <typename F>
    void visitStage(Unit unit, F&& f);
    // The engine's own filter a unit names; null for any other unit.
    Filter* EngineFilter(Unit unit);
    // The stages before the cabinet, on at most kSlice samples.
    static constexpr int kSlice = 256;
    void processFront(double* in, int n);

    // Applies a record's settings to the stages and points the cabinet at its
    // impulse: the commit's work.
    void ApplySettings(const TonewrightParameters* src, const CabinetImpulse::Prepared* cabinetPrepared);
    void RefreshRecord();

    double fs = -1.0;
    TonewrightParameters parameters;
    // The cabinet's part of a commit in progress (see ApplySettings).
    const CabinetImpulse::Prepared* committingCabinet = nullptr;

public:
    // The stages, in the order the chain names them. Public so that tests
    // and the plug-in can look at them; only the engine drives them.
    NoiseGate gate;
    Filter lowcut;
    WahWah wah;
    CompressorSustainer sustainer;
    Filter boost;
    Oversampler oversampler;
    Preamp preamp;
    Preamp preamp_os;
    PowerAmp poweramp;
    PowerAmp poweramp_os;
    GraphicEQ7 eq_pre;
    GraphicEQ7 eq_post;
    Filter deep;
    Filter bright;
    CabinetProcessor cabinet;
    Tremolo tremolo_pre, tremolo_post;
    Chorus chorus_pre, chorus_post;
    Flanger flanger_pre, flanger_post;
    Phaser phaser_pre, phaser_post;
    Echo echo_pre, echo_post;
    Reverb reverb;
    Filter master;
};

// The engine's parameter ids on records alone, as the engine's own setters
// and getters treat its record: the normalised value of id in `record`, and
// `record` as it reads after SetParameterNormalized(id, x). What a host or a
// file sees of a sound can so be kept without the engine that plays it.
double RecordParameterNormalized(const TonewrightParameters& record, int id);
void ApplyParameterNormalized(TonewrightParameters& record, int id, double x);

// The text after the last '/' of path, or path itself without one.
const char* fname(const char* path);

}  // namespace tonewright
