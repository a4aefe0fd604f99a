#pragma once
// A cabinet impulse exactly as it was set or read: the unprocessed samples
// (up to 65536 per channel), the mono flag, the rate it was recorded at and
// its name. It never changes once made and is shared by pointer between the
// programs, the engine, the cabinet and every copy of a record; impulses with
// the same contents are made once (`Make` looks them up first). Beside the
// raw samples it keeps what is derived from them, computed on first request
// and then reused: the minimum-phase version, and the working version at a
// running rate (resampled, from the minimum-phase version or not). Only the
// raw samples belong to the sound; the derived versions are never written.
//
// Threads. Any thread may read an impulse. `Make`, `MinimumPhase`, `AtRate`
// and `Prepare` may compute (under the impulse's own mutexes or the
// registry's) and allocate: never on the audio thread. Dropping the last
// reference frees the samples, so that too happens off the audio thread.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cabinet/CabinetConvolver.h"

namespace tonewright {

class CabinetImpulse {
public:
    static constexpr int kMaxLength = 65536;   // samples kept per channel
    static constexpr int kMaxWorking = 32768;  // samples of a working version

    // Two channels of samples; a mono impulse has only the first.
    struct Channels {
        std::vector<double> channel[2];
        int length = 0;
        bool mono = true;
        const std::vector<double>& operator[](int c) const { return channel[mono ? 0 : c]; }
    };

    // The impulse for up to 65536 samples of left and right (right is not
    // read when mono). Null, with a "Quarrystone TWR:: ..." line, when there
    // are no samples, one is not finite, the rate is not a positive number,
    // or memory runs out. An impulse equal to a living one is that one.
    static std::shared_ptr<const CabinetImpulse> Make(const double* left, const double* right, int length, bool mono,
                                                      double samplerate, const char* name);
    // The same with the minimum-phase samples a preset stored beside the raw
    // ones (right not read when mono): kept exactly and written out again as
    // they are, so a bank read and saved again is the same file. The sound
    // still uses the version computed from the raw samples.
    static std::shared_ptr<const CabinetImpulse> Make(const double* left, const double* right, int length, bool mono,
                                                      double samplerate, const char* name,
                                                      const double* storedMinLeft, const double* storedMinRight);
    // The one impulse of a new record: a 16-sample mono unit impulse at
    // 44100 Hz named "None".
    static std::shared_ptr<const CabinetImpulse> Unit();

    CabinetImpulse(const CabinetImpulse&) = delete;
    CabinetImpulse& operator=(const CabinetImpulse&) = delete;

    int Length() const { return static_cast<int>(left.size()); }
    bool Mono() const { return mono; }
    double SampleRate() const { return samplerate; }
    const char* Name() const { return name.c_str(); }
    const std::vector<double>& Left() const { return left; }
    // The left samples again for a mono impulse.
    const std::vector<double>& Right() const { return mono ? left : right; }

    // The minimum-phase version of the raw samples (the same length). Null
    // when memory runs out.
    std::shared_ptr<const Channels> MinimumPhase() const;
    // The working version at a running rate fs: the raw (or minimum-phase)
    // samples, at most 32768 of them. At another rate they are resampled
    // and then made minimum phase again, or, played as they are, given the
    // minimum-phase version of the converter's filter (so that an impulse
    // starting at once loses no part of its band-limited onset and nothing
    // is delayed); then scaled by recorded rate / fs, so that the version
    // filters as the impulse does at its own rate. It is as long as the
    // impulse at fs and at least as long as the converter's response. A
    // rate the resampler refuses gives an empty version (and a diagnostic
    // line) that is not kept. Null when memory runs out.
    std::shared_ptr<const Channels> AtRate(double fs, bool minphase) const;
    // The minimum-phase samples a preset stores: those it was made with, or
    // else the computed version. Null when memory runs out.
    std::shared_ptr<const Channels> StoredMinimumPhase() const;

    // What the cabinet plays: the working version at fs, shortened to the
    // window (the falling half of a Kaiser window over its end when longer)
    // and scaled by the reciprocal of the larger channel energy, taken at
    // the impulse's own rate; and the convolver's spectra of those taps.
    struct Prepared {
        std::shared_ptr<const CabinetConvolver::Spectra> spectra;
        std::vector<double> taps[2];  // as handed to the convolver; equal when mono
        int window = 0;
        bool mono = true;
    };
    // Made once per rate, phase choice and window, then reused (the last few
    // kept). Null when memory runs out (or the rate cannot be converted to).
    std::shared_ptr<const Prepared> Prepare(double fs, bool minphase, int window) const;

    // Derived versions computed so far in this process (diagnostics: a
    // switch between prepared impulses computes none).
    static long DerivedVersionsMade();

private:
    CabinetImpulse() = default;
    static std::shared_ptr<const CabinetImpulse> MakeWith(const double* l, const double* r, int length, bool isMono,
                                                          double rate, const char* impulseName, const double* sl,
                                                          const double* sr);
    bool Holds(const double* l, const double* r, int n, bool isMono, double rate, const char* text, const double* sl,
               const double* sr) const;
    std::shared_ptr<const Channels> MinimumPhaseLocked() const;

    std::vector<double> left, right;  // right is empty for a mono impulse
    std::shared_ptr<const Channels> stored;  // minimum phase as a preset gave it, if it did
    bool mono = true;
    double samplerate = 44100.0;
    std::string name;

    // The derived versions, under `cache`.
    struct Working {
        double fs;
        bool minphase;
        std::shared_ptr<const Channels> channels;
    };
    static constexpr std::size_t kKeptRates = 4;
    mutable std::mutex cache;
    mutable std::shared_ptr<const Channels> minimumPhase;
    mutable std::vector<Working> working;
    // What Prepare made, under `preparedCache` (taken after `cache` when
    // both are held).
    struct Made {
        double fs;
        bool minphase;
        int window;
        std::shared_ptr<const Prepared> prepared;
    };
    static constexpr std::size_t kKeptPrepared = 8;
    mutable std::mutex preparedCache;
    mutable std::vector<Made> prepared;
};

}  // namespace tonewright
