#pragma once
// The guitar tuner. The audio thread feeds it the mono input; every full cycle
// (a new peak followed by a zero crossing, on the positive and on the negative
// side) gives one period measurement, classified to the nearest of 73
// semitones. A sliding window of the last 1.35 s of measurements decides the
// dominant note and how far its mean period lies from the note's.
//
// Threads. The reading is computed on the audio thread and published whole
// through a sequence counter (all fields atomic), so the editor's thread can
// ask for it at any time; the audio thread never waits for a reader. A rate
// change takes storage made beforehand (`WindowFor`), so it allocates nothing
// under the owner's lock.

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

namespace tonewright {

struct TunerNote {
    int note = 0;         // 0..72
    double period = 0.0;  // seconds
};

class Tuner {
public:
    static constexpr int kNotes = 73;
    static constexpr int kConcertIndex = 46;  // concert A
    static constexpr double kWindow = 1.35;   // seconds of measured periods

    Tuner();
    Tuner(const Tuner&) = delete;
    Tuner& operator=(const Tuner&) = delete;

    // The window storage for rate fs: allocates, so made off the lock.
    static std::vector<TunerNote> WindowFor(double fs);
    // Audio side (or the owner under its lock). Takes `storage` from
    // WindowFor(fs) and hands back the old storage in it, for the caller to
    // free later; storage of another size changes nothing.
    void SetFs(double fs, std::vector<TunerNote>& storage);
    // Both steps at once, for owners that hold no lock.
    void SetFs(double fs);
    void SetConcertA(double a);
    void process_input(const double* x, int n);

    // Any thread. note: the dominant note index (0 when none dominates, 72
    // with an empty window); needle: 0.08..0.99 across -25..+25 cents, 0.0
    // without a note; name: up to 7 characters, the caller's buffer holds at
    // least 8 bytes. Null pointers are skipped.
    void GetReading(int* note, double* needle, char* name) const;

private:
    // One measurement of `samples` samples.
    void Record(int samples);
    void RemoveOldest();
    void ClearWindow();
    // Rebuilds the window's counts from the entries in the ring.
    void Recount();
    void Publish();

    double fs = 0.0;
    double invFs = 0.0;
    double decayFactor = 0.0;

    double positivePeak = 0.0;
    double negativePeak = 0.0;
    double total = 0.0;

    bool positiveArmed = true;
    bool positiveWaiting = false;
    bool negativeArmed = true;
    bool negativeWaiting = false;

    int positiveCounter = 0;
    int negativeCounter = 0;
    bool recorded = false;  // a measurement came in during this block
    // Counters stop here: a cycle this long could not stay in the window.
    int counterLimit = 0;

    // The window, a ring allocated by SetFs: `used` entries from `head`.
    std::vector<TunerNote> ring;
    int head = 0;
    int used = 0;

    std::array<int, kNotes> count{};
    std::array<double, kNotes> sum{};
    std::array<double, kNotes> frequency{};
    std::array<double, kNotes> period{};

    // The published reading: odd `sequence` while it is being written.
    std::atomic<std::uint32_t> sequence{0};
    std::atomic<int> readingNote{kNotes - 1};
    std::atomic<double> readingNeedle{0.0};
    static_assert(std::atomic<double>::is_always_lock_free);
};

}  // namespace tonewright
