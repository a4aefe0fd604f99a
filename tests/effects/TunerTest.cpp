// The tuner: steady tones read the right note and cents, a plucked string
// reads its note, silence records nothing, and the reading can be taken from
// another thread while the audio thread feeds it.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "DspTestKit.h"
#include "effects/Tuner.h"

using namespace tonewright;

using namespace testkit;

namespace {

struct Reading {
    int note = -1;
    double needle = -1.0;
    std::string name;
    double cents() const { return needle * 50.0 - 25.0; }
};

Reading readingOf(const Tuner& t)
{
    Reading r;
    char name[8];
    std::memset(name, 'x', sizeof name);
    t.GetReading(&r.note, &r.needle, name);
    r.name = name;
    return r;
}

void feed(Tuner& t, const std::vector<double>& x, int block = 256)
{
    forEachBlock(static_cast<int>(x.size()), BlockPlan::Fixed(block),
                 [&](int pos, int n) { t.process_input(x.data() + pos, n); });
}

double noteFrequency(int index) { return 440.0 * std::pow(2.0, (index - 46) / 12.0); }

const char* const kNames[12] = {"B", "C", "C# / Db", "D", "D# / Eb", "E", "F", "F# / Gb", "G", "G# / Ab", "A", "A# / Bb"};

// A plucked string as a magnetic pickup hears it: the harmonics of a string
// let go from a triangle shape (picked at `pickAt` of its length), each
// decaying, the upper ones faster.
std::vector<double> pluck(double fs, double f0, double seconds, double pickAt)
{
    std::vector<double> out(size_t(seconds * fs), 0.0);
    for (int n = 1; n * f0 < 0.45 * fs; ++n) {
        const double amplitude = 0.3 * std::sin(n * kPi * pickAt) / n;
        const double decayRate = (1.0 + 0.1 * (n - 1) * (n - 1)) / (2.5 * std::sqrt(110.0 / f0));  // 1/s
        const double w = 2.0 * kPi * n * f0 / fs;
        for (size_t i = 0; i < out.size(); ++i)
            out[i] += amplitude * std::exp(-decayRate * double(i) / fs) * std::sin(w * double(i));
    }
    return out;
}

}  // namespace

TEST(Tuner, SteadySinesReadTheirNoteWithinOneCent)
{
    for (double fs : {44100.0, 48000.0, 96000.0}) {
        // E2 (index 17) to E6 (index 65), each a semitone apart, some detuned.
        for (int k = 17; k <= 65; ++k) {
            const double detune = fs == 44100.0 ? 0.0 : ((k % 5) - 2) * 4.0;  // cents
            const double f = noteFrequency(k) * std::pow(2.0, detune / 1200.0);
            SCOPED_TRACE(testing::Message() << fs << " Hz, note " << k << ", " << f << " Hz");
            Tuner t;
            t.SetFs(fs);
            feed(t, sine(fs, f, 2.0, 0.3, 0.4));
            const Reading r = readingOf(t);
            EXPECT_EQ(r.note, k);
            EXPECT_EQ(r.name, kNames[k % 12]);
            EXPECT_NEAR(r.cents(), detune, 1.0);
        }
    }
}

TEST(Tuner, CentsAndNeedleStops)
{
    Tuner t;
    feed(t, sine(44100.0, 445.0, 2.0));
    Reading r = readingOf(t);
    EXPECT_EQ(r.note, 46);
    EXPECT_EQ(r.name, "A");
    EXPECT_NEAR(r.cents(), 1200.0 * std::log2(445.0 / 440.0), 1.0);  // +19.6
    EXPECT_NEAR(r.needle, 0.89, 0.02);

    Tuner flat;
    feed(flat, sine(44100.0, 430.0, 2.0));
    r = readingOf(flat);
    EXPECT_EQ(r.name, "A");
    EXPECT_EQ(r.needle, 0.08);  // -39.8 cents rests at the stop

    Tuner sharp;
    feed(sharp, sine(44100.0, 452.0, 2.0));
    EXPECT_EQ(readingOf(sharp).needle, 0.99);
}

TEST(Tuner, PluckedStringsReadTheirNote)
{
    // The open strings of a guitar, then two fretted notes higher up, each
    // read at 0.3 s, 1 s and 3 s after the pluck.
    const int strings[] = {17, 22, 27, 32, 36, 41, 53, 60};
    int n = 0;
    for (int k : strings) {
        const double pickAt = 0.1 + 0.05 * (n++ % 4);
        SCOPED_TRACE(testing::Message() << "note " << k << ", picked at " << pickAt);
        const std::vector<double> tone = pluck(44100.0, noteFrequency(k), 3.0, pickAt);
        Tuner t;
        size_t done = 0;
        for (double at : {0.3, 1.0, 3.0}) {
            const size_t until = std::min(tone.size(), size_t(at * 44100.0));
            feed(t, std::vector<double>(tone.begin() + long(done), tone.begin() + long(until)));
            done = until;
            const Reading r = readingOf(t);
            EXPECT_EQ(r.note, k) << "after " << at << " s";
            EXPECT_EQ(r.name, kNames[k % 12]);
            EXPECT_NEAR(r.cents(), 0.0, 2.0);
        }
    }
}

TEST(Tuner, SilenceRecordsNothing)
{
    Tuner t;
    Reading r = readingOf(t);
    EXPECT_EQ(r.name, "--");
    EXPECT_EQ(r.needle, 0.0);

    // Minutes of silence neither fill the window nor hold back the first note.
    const std::vector<double> quiet(44100, 0.0);
    for (int i = 0; i < 10; ++i) feed(t, quiet);
    r = readingOf(t);
    EXPECT_EQ(r.name, "--");
    EXPECT_EQ(r.needle, 0.0);
    feed(t, sine(44100.0, noteFrequency(17), 0.1));
    EXPECT_EQ(readingOf(t).note, 17);

    // Silence after a note keeps the last reading (once the cycle the note
    // stopped in has been measured).
    feed(t, sine(44100.0, noteFrequency(17), 1.0));
    feed(t, std::vector<double>(441, 0.0));
    const Reading held = readingOf(t);
    for (int i = 0; i < 5; ++i) feed(t, quiet);
    r = readingOf(t);
    EXPECT_EQ(r.note, held.note);
    EXPECT_EQ(r.needle, held.needle);

    // A new note after a long pause replaces the old window at once.
    feed(t, sine(44100.0, noteFrequency(41), 0.1));
    EXPECT_EQ(readingOf(t).note, 41);
}

TEST(Tuner, HostileInputAndLongGaps)
{
    Tuner t;
    // A constant level never completes a cycle; its counters stop at their
    // limit rather than overflow, and the next note reads normally.
    t.SetFs(50.0);
    feed(t, std::vector<double>(100000, 0.25));
    t.SetFs(44100.0);
    std::vector<double> x = sine(44100.0, 440.0, 1.0);
    x[100] = NAN;
    x[200] = INFINITY;
    x[300] = -INFINITY;
    feed(t, x);
    Reading r = readingOf(t);
    EXPECT_EQ(r.note, 46);
    EXPECT_NEAR(r.cents(), 0.0, 1.0);

    // A rate change keeps the measured window (periods are in seconds). It
    // takes storage made beforehand, allocating nothing itself, and hands
    // the old storage back; storage of another size changes nothing.
    std::vector<TunerNote> storage = Tuner::WindowFor(96000.0);
    const size_t larger = storage.size();
    {
        AllocationCounter counter;
        t.SetFs(96000.0, storage);
        EXPECT_EQ(counter.count(), 0);
        EXPECT_EQ(counter.freed(), 0);
    }
    EXPECT_EQ(readingOf(t).note, 46);
    EXPECT_LT(storage.size(), larger);
    std::vector<TunerNote> wrong(10);
    t.SetFs(48000.0, wrong);
    EXPECT_EQ(wrong.size(), 10u);
    EXPECT_EQ(readingOf(t).note, 46);
    t.SetFs(0.0);
    t.SetFs(-5.0);
    t.SetFs(NAN);
    t.process_input(nullptr, 10);
    t.process_input(x.data(), 0);
    t.GetReading(nullptr, nullptr, nullptr);
    EXPECT_EQ(readingOf(t).note, 46);

    // Noise spreads over many notes and shows none.
    Tuner noisy;
    feed(noisy, whiteNoise(88200, 0.5, 3));
    EXPECT_EQ(readingOf(noisy).name, "--");
    EXPECT_EQ(readingOf(noisy).needle, 0.0);

    // Nyquist-rate alternation: the shortest cycles, the fullest window.
    Tuner fast;
    std::vector<double> alt(200000);
    for (size_t i = 0; i < alt.size(); ++i) alt[i] = (i % 2) ? -0.5 : 0.5;
    feed(fast, alt);
    EXPECT_EQ(readingOf(fast).name, "--");  // above the top note
}

TEST(Tuner, ReadingWhileTheAudioThreadRuns)
{
    auto t = std::make_unique<Tuner>();
    std::atomic<int> rounds{0}, readings{0};
    std::thread audio([&] {
        const std::vector<double> a = sine(44100.0, 440.0, 0.5), e = sine(44100.0, noteFrequency(17), 0.5);
        for (int round = 0; round < 12; ++round) {
            feed(*t, round % 4 < 2 ? a : e, 64);
            // Let the reader see each round's result before going on.
            const int seen = readings.load();
            rounds.store(round + 1);
            while (round < 11 && readings.load() < seen + 2) std::this_thread::yield();
        }
    });
    int valid = 0, notes = 0;
    while (rounds.load() < 12) {
        const Reading r = readingOf(*t);
        const bool none = r.name == "--" && r.needle == 0.0 && (r.note == 0 || r.note == 72);
        const bool shown = r.note > 0 && r.note < 72 && r.name == kNames[r.note % 12] && r.needle >= 0.08 &&
                           r.needle <= 0.99;
        readings.fetch_add(1);
        valid += none || shown;
        notes += shown;
    }
    audio.join();
    EXPECT_EQ(valid, readings.load());
    EXPECT_GT(notes, 0);
    EXPECT_EQ(readingOf(*t).note, 17);
}
