#include "effects/Tuner.h"

#include <algorithm>
#include <cmath>
#include <thread>

#include "dsp/DspMath.h"
#include "dsp/AudioThread.h"
#include "dsp/RangeHelpers.h"
#include "dsp/StringUtil.h"

namespace tonewright {

namespace {

constexpr const char* kNames[12] = {"B", "C", "C# / Db", "D", "D# / Eb", "E",
                                    "F", "F# / Gb", "G", "G# / Ab", "A", "A# / Bb"};
constexpr int kTopNote = Tuner::kNotes - 1;
// A note dominates when its count is at least this many times the mean count.
constexpr long long kDominance = 12;
// 1200 / log10(2): cents from a decimal logarithm.
constexpr double kCentsPerDecade = 3986.313713864835;
constexpr double kPeakHalfLife = 0.03;
// The ring is sized for the highest rate we expect; beyond it the window
// keeps only the newest entries that fit.
constexpr double kLargestRingRate = 768000.0;

// A side measures at most once every two samples (it needs a new nonzero
// peak and then a crossing), so the window never holds more than this.
int windowCapacity(double fs)
{
    const double rate = std::min(fs, kLargestRingRate);
    return static_cast<int>(std::floor(Tuner::kWindow * rate / 2.0)) + 3;
}

}  // namespace

Tuner::Tuner()
{
    SetFs(44100.0);
    SetConcertA(440.0);
}

std::vector<TunerNote> Tuner::WindowFor(double rate)
{
    CheckOffAudioThread("tuner window storage");
    if (!(rate > 0.0) || !std::isfinite(rate)) return {};
    return std::vector<TunerNote>(static_cast<size_t>(windowCapacity(rate)));
}

void Tuner::SetFs(double rate)
{
    std::vector<TunerNote> storage = WindowFor(rate);
    SetFs(rate, storage);
}

void Tuner::SetFs(double rate, std::vector<TunerNote>& storage)
{
    if (!(rate > 0.0) || !std::isfinite(rate) || rate == fs) return;
    const int capacity = windowCapacity(rate);
    if (static_cast<int>(storage.size()) != capacity) return;  // not made by WindowFor(rate)
    fs = rate;
    invFs = 1.0 / rate;
    decayFactor = std::pow(0.5, invFs / kPeakHalfLife);
    counterLimit = static_cast<int>(std::min(std::ceil(kWindow * rate) + 1.0, 2147483000.0));
    positiveCounter = std::min(positiveCounter, counterLimit);
    negativeCounter = std::min(negativeCounter, counterLimit);

    // The measured periods are in seconds and stay valid; keep the newest
    // ones that fit the new ring.
    const int kept = std::min(used, capacity);
    const int oldCapacity = static_cast<int>(ring.size());
    for (int i = 0; i < kept; ++i)
        storage[static_cast<size_t>(i)] = ring[static_cast<size_t>((head + used - kept + i) % oldCapacity)];
    ring.swap(storage);
    head = 0;
    used = kept;
    Recount();
    Publish();
}

void Tuner::SetConcertA(double a)
{
    if (!(a > 0.0) || !std::isfinite(a)) return;
    const double semitone = std::pow(2.0, 1.0 / 12.0);
    frequency[kConcertIndex] = a;
    for (int k = kConcertIndex - 1; k >= 0; --k) frequency[k] = frequency[k + 1] / semitone;
    for (int k = kConcertIndex + 1; k < kNotes; ++k) frequency[k] = frequency[k - 1] * semitone;
    for (int k = 0; k < kNotes; ++k) period[k] = 1.0 / frequency[k];
    Publish();
}

void Tuner::process_input(const double* x, int n)
{
    if (!x || n <= 0) return;
    recorded = false;
    for (int i = 0; i < n; ++i) {
        const double s = std::isfinite(x[i]) ? x[i] : 0.0;
        if (positiveCounter < counterLimit) ++positiveCounter;
        if (negativeCounter < counterLimit) ++negativeCounter;

        // A peak of 0 is silence, not a cycle: it never starts a measurement.
        positivePeak = denormalGuard(positivePeak * decayFactor);
        if (s >= positivePeak) {
            positivePeak = s;
            if (positiveArmed && s > 0.0) {
                positiveArmed = false;
                positiveWaiting = true;
            }
        }
        negativePeak = denormalGuard(negativePeak * decayFactor);
        if (s <= negativePeak) {
            negativePeak = s;
            if (negativeArmed && s < 0.0) {
                negativeArmed = false;
                negativeWaiting = true;
            }
        }
        if (positiveWaiting && s <= 0.0) {
            positiveWaiting = false;
            Record(positiveCounter);
            positiveCounter = 0;
            positiveArmed = true;
        }
        if (negativeWaiting && s >= 0.0) {
            negativeWaiting = false;
            Record(negativeCounter);
            negativeCounter = 0;
            negativeArmed = true;
        }
    }
    if (recorded) Publish();
}

void Tuner::Record(int samples)
{
    recorded = true;
    const double t = samples * invFs;
    if (t > kWindow) {
        // Longer than the window itself: it would push everything out,
        // itself included.
        ClearWindow();
        return;
    }
    // |1 - t f| falls and then rises along the table; a tie keeps the lower
    // index.
    int note = 0;
    double best = std::fabs(1.0 - t * frequency[0]);
    for (int k = 1; k < kNotes; ++k) {
        const double distance = std::fabs(1.0 - t * frequency[k]);
        if (distance < best) {
            best = distance;
            note = k;
        } else if (distance > best) {
            break;
        }
    }
    const int capacity = static_cast<int>(ring.size());
    if (used == capacity) RemoveOldest();
    ring[static_cast<size_t>((head + used) % capacity)] = {note, t};
    ++used;
    ++count[note];
    sum[note] += t;
    total += t;
    while (total > kWindow && used > 0) RemoveOldest();
}

void Tuner::RemoveOldest()
{
    const TunerNote oldest = ring[static_cast<size_t>(head)];
    head = (head + 1) % static_cast<int>(ring.size());
    --used;
    total -= oldest.period;
    if (--count[oldest.note] <= 0) {
        count[oldest.note] = 0;
        sum[oldest.note] = 0.0;
    } else {
        sum[oldest.note] -= oldest.period;
    }
    if (used == 0) total = 0.0;
}

void Tuner::ClearWindow()
{
    head = 0;
    used = 0;
    Recount();
}

void Tuner::Recount()
{
    count.fill(0);
    sum.fill(0.0);
    total = 0.0;
    const int capacity = static_cast<int>(ring.size());
    for (int i = 0; i < used; ++i) {
        const TunerNote& e = ring[static_cast<size_t>((head + i) % capacity)];
        ++count[e.note];
        sum[e.note] += e.period;
        total += e.period;
    }
}

void Tuner::Publish()
{
    int k = 0;
    long long all = 0;
    for (int i = 0; i < kNotes; ++i) {
        if (count[i] >= count[k]) k = i;
        all += count[i];
    }
    if (all == 0)
        k = kTopNote;  // an empty window
    else if (count[k] * static_cast<long long>(kNotes) < kDominance * all || !(sum[k] > 0.0))
        k = 0;  // no note stands out
    double needle = 0.0;
    if (k != 0 && k != kTopNote) {
        // The cents of the mean period against the note's.
        const double cents = -kCentsPerDecade * std::log10(frequency[k] * sum[k] / count[k]);
        needle = std::clamp(irange(cents, -25.0, 25.0), 0.08, 0.99);
    }
    const std::uint32_t s = sequence.load(std::memory_order_relaxed);
    // A reader that sees any of the new fields also sees the odd count.
    sequence.store(s + 1, std::memory_order_relaxed);
    readingNote.store(k, std::memory_order_release);
    readingNeedle.store(needle, std::memory_order_release);
    sequence.store(s + 2, std::memory_order_release);
}

void Tuner::GetReading(int* note, double* needle, char* name) const
{
    int k = 0;
    double position = 0.0;
    for (int attempt = 1;; ++attempt) {
        const std::uint32_t before = sequence.load(std::memory_order_acquire);
        k = readingNote.load(std::memory_order_acquire);
        position = readingNeedle.load(std::memory_order_acquire);
        if (!(before & 1u) && sequence.load(std::memory_order_relaxed) == before) break;
        if (attempt % 64 == 0) std::this_thread::yield();  // the writer was interrupted mid-way
    }
    const bool shown = k > 0 && k < kTopNote;
    if (note) *note = k;
    if (needle) *needle = shown ? position : 0.0;
    if (name) copyBounded(name, 8, shown ? kNames[k % 12] : "--");
}

}  // namespace tonewright
