// Synthesises the demo guitar clip as a DI recording of an electric guitar:
// each note is a plucked string (a single delay loop, one period long, whose
// losses rise with frequency) started from the pick's displacement shape and
// heard by a magnetic pickup (string velocity at the pickup's place on the
// string, then the coil's resonant low-pass). Hum and hiss run through the
// whole clip, which starts with a short lead-in and ends with a few seconds
// of nothing else, so a noise gate has something to do. Written as a mono
// float WAV at DI level; the same bytes on every run.
//
// usage: make-demo-clip OUT.wav [sample-rate]

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "common/WavFile.h"

namespace tonewright {
namespace {

constexpr double kPi = 3.14159265358979323846;

constexpr double kLeadIn = 0.2;        // seconds of noise floor before the first note
constexpr double kTail = 3.0;          // seconds of noise floor after the last note has died
constexpr double kPeakDb = -4.0;       // the playing's peak level
constexpr double kHumDb = -88.0;       // RMS of the mains hum
constexpr double kHissDb = -88.0;      // RMS of the hiss; with the hum about -85 dBFS
constexpr double kMains = 50.0;        // Hz
// A neck pickup: its place on the string (from the bridge, in string
// lengths) and its coil's resonance with the cable's capacitance.
constexpr double kPickupPlace = 0.24;
constexpr double kPickupHz = 3600.0;
constexpr double kPickupQ = 1.8;
// A solid body's low mode, heard through the strings as a broad lift of the
// lowest fundamentals.
constexpr double kBodyHz = 90.0;
constexpr double kBodyQ = 1.2;
constexpr double kBodyDb = 3.0;
// The share of the string's velocity at the moment the pick lets go, beside
// the displacement it held: it keeps the upper partials from falling as
// fast as an ideal pluck's.
constexpr double kSnap = 0.13;

// splitmix64: a fixed sequence on every platform, unlike the standard
// library's distributions.
class Random {
public:
    explicit Random(uint64_t seed) : state(seed) {}
    uint64_t next()
    {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [-1, 1).
    double uniform() { return double(next() >> 11) * 0x1.0p-52 - 1.0; }

private:
    uint64_t state;
};

struct Note {
    double start;     // seconds
    double duration;  // seconds until the string is damped
    int midi;         // pitch
    double velocity;  // 0..1
    bool muted;       // palm-muted: damped from the start
};

double midiToHz(int midi) { return 440.0 * std::pow(2.0, (midi - 69) / 12.0); }

// Loop gain per period for a decay time of t60 seconds.
double periodGain(double t60, double period, double fs) { return std::pow(0.001, period / (t60 * fs)); }

// The coefficient a of the one-pole low-pass (1 - a) / (1 - a z^-1) whose
// gain at w radians is r (0 < r < 1).
double onePoleFor(double r, double w)
{
    const double r2 = r * r, c = std::cos(w);
    const double p = 1.0 - r2 * c, q = 1.0 - r2;
    return (p - std::sqrt(std::max(0.0, p * p - q * q))) / q;
}

// One string voice, rendered and mixed into out.
void pluck(std::vector<double>& out, double fs, const Note& note)
{
    const double f0 = midiToHz(note.midi);
    const double period = fs / f0;
    const double w0 = 2.0 * kPi / period;

    // Losses: the fundamental rings for seconds, the partials above a few
    // kilohertz die within a second or two, sooner on a palm-muted string.
    const double t60Low = note.muted ? 0.35 : 6.0 * std::pow(82.4 / f0, 0.45);
    const double t60High = note.muted ? 0.025 : std::min(1.5 * std::pow(f0 / 82.4, 0.25), 0.5 * t60Low);
    const double highHz = std::min(2500.0, 0.4 * fs);
    const double g = periodGain(t60Low, period, fs);
    // Gain of the loss filter at highHz relative to the fundamental's.
    const double wh = 2.0 * kPi * highHz / fs;
    const double rHigh = periodGain(t60High, period, fs) / g;
    const double a = rHigh < 1.0 ? onePoleFor(rHigh, wh) : 0.0;
    // Normalise so the loop loses exactly the fundamental's share at f0.
    const double mag0 = (1.0 - a) / std::sqrt(1.0 - 2.0 * a * std::cos(w0) + a * a);
    const double loopGain = g / mag0;
    const double dampedGain = periodGain(0.06, period, fs) / mag0;

    // Tuning: the line, the loss filter's phase delay and a first-order
    // all-pass for the remainder (kept between 0.6 and 1.6 samples).
    const double lossDelay = std::atan2(a * std::sin(w0), 1.0 - a * std::cos(w0)) / w0;
    const int length = static_cast<int>(std::floor(period - lossDelay - 0.6));
    const double frac = period - lossDelay - length;
    const double apCoef = (1.0 - frac) / (1.0 + frac);

    // One period of the string's velocity at the pickup after a pluck. The
    // pick holds the string in a triangle with its apex at the picking point,
    // rounded by the pick's width and the time it takes to slip off (a
    // raised-cosine pulse, shorter for a harder pick), and lets go of it
    // still moving a little. Harmonic k of that displacement is
    // sin(k pi pick) / k^2 and of that velocity sin(k pi pick); the pickup
    // senses velocity (times k for the displacement) at its own place (times
    // sin(k pi place)). A fretted string is shorter, so the pick and the
    // pickup sit further along it.
    const int open[] = {40, 45, 50, 55, 59, 64};
    int string = 0;
    for (int s = 0; s < 6; ++s)
        if (open[s] <= note.midi) string = s;
    const double stretch = std::pow(2.0, (note.midi - open[string]) / 12.0);
    const double pickPlace = stretch * (0.28 + 0.01 * ((note.midi * 7) % 5));
    const double pickupPlace = stretch * kPickupPlace;
    const double pickSeconds = 0.0001 - 0.00004 * note.velocity;
    std::vector<double> line(static_cast<size_t>(length), 0.0);
    for (int k = 1; k * f0 < 0.45 * fs; ++k) {
        const double x = k * f0 * pickSeconds;
        const double rounding = std::fabs(x - 1.0) < 1e-9 ? 0.5 : std::sin(kPi * x) / (kPi * x) / (1.0 - x * x);
        const double amp = std::sin(k * kPi * pickPlace) * std::sin(k * kPi * pickupPlace) * rounding;
        for (int n = 0; n < length; ++n)
            line[size_t(n)] += amp * (kSnap * std::cos(k * w0 * n) - std::sin(k * w0 * n) / k);
    }
    for (double& v : line) v *= note.velocity;

    const size_t begin = static_cast<size_t>(std::llround(note.start * fs));
    const size_t release = begin + static_cast<size_t>(note.duration * fs);
    const size_t end = std::min(out.size(), release + static_cast<size_t>(0.4 * fs));
    size_t index = 0;
    double lp = 0.0, apIn = 0.0, apOut = 0.0;
    for (size_t t = begin; t < end; ++t) {
        const double gain = t < release ? loopGain : dampedGain;
        const double x = line[index];
        lp = (1.0 - a) * x + a * lp;
        const double y = apCoef * (gain * lp) + apIn - apCoef * apOut;
        apIn = gain * lp;
        apOut = y;
        line[index] = y;
        index = (index + 1) % line.size();
        out[t] += x;
    }
}

// Runs x through the biquad (b0 + b1 z^-1 + b2 z^-2) / (1 + a1 z^-1 + a2 z^-2).
void biquad(std::vector<double>& x, double b0, double b1, double b2, double a1, double a2)
{
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (double& s : x) {
        const double y = b0 * s + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = s;
        y2 = y1;
        y1 = y;
        s = y;
    }
}

// The body's mode: a peaking filter.
void body(std::vector<double>& x, double fs)
{
    const double A = std::pow(10.0, kBodyDb / 40.0);
    const double w = 2.0 * kPi * kBodyHz / fs;
    const double alpha = std::sin(w) / (2.0 * kBodyQ);
    const double a0 = 1.0 + alpha / A;
    biquad(x, (1.0 + alpha * A) / a0, -2.0 * std::cos(w) / a0, (1.0 - alpha * A) / a0, -2.0 * std::cos(w) / a0,
           (1.0 - alpha / A) / a0);
}

// The pickup's coil, loaded by the cable: a resonant second-order low-pass.
void pickup(std::vector<double>& x, double fs)
{
    const double w = 2.0 * kPi * std::min(kPickupHz, 0.45 * fs) / fs;
    const double alpha = std::sin(w) / (2.0 * kPickupQ);
    const double a0 = 1.0 + alpha;
    const double b0 = (1.0 - std::cos(w)) / 2.0 / a0;
    biquad(x, b0, 2.0 * b0, b0, -2.0 * std::cos(w) / a0, (1.0 - alpha) / a0);
}

double rms(const std::vector<double>& x)
{
    double sum = 0.0;
    for (double v : x) sum += v * v;
    return std::sqrt(sum / double(x.size()));
}

void scaleTo(std::vector<double>& x, double level)
{
    const double r = rms(x);
    for (double& v : x) v *= level / r;
}

// Mains hum (a buzz rich in odd harmonics) and the hiss of the coil through
// its own resonance, each at its RMS level.
std::vector<double> noiseFloor(size_t frames, double fs)
{
    std::vector<double> hum(frames, 0.0), hiss(frames, 0.0);
    const double harmonics[][2] = {{1, 1.0}, {2, 0.3}, {3, 0.6}, {5, 0.35}, {7, 0.2}, {9, 0.1}};
    Random random(0x5EED0001u);
    for (const auto& [k, amp] : harmonics) {
        const double phase = kPi * random.uniform();
        const double w = 2.0 * kPi * k * kMains / fs;
        for (size_t t = 0; t < frames; ++t) hum[t] += amp * std::sin(w * double(t) + phase);
    }
    // The sum of four uniforms is near enough to Gaussian for hiss.
    for (double& v : hiss) v = random.uniform() + random.uniform() + random.uniform() + random.uniform();
    pickup(hiss, fs);
    scaleTo(hum, std::pow(10.0, kHumDb / 20.0));
    scaleTo(hiss, std::pow(10.0, kHissDb / 20.0));
    for (size_t t = 0; t < frames; ++t) hum[t] += hiss[t];
    return hum;
}

// A riff in E at 112 beats a minute: power chords with palm-muted chugs on
// the low strings, a walk up the low E string, single-note lines lower and
// higher up the neck, ringing arpeggios, and an open E minor chord that rings
// and is stopped by hand. Times are in eighth notes from the first; timing and picking
// strength are humanised a little, the same way every time.
std::vector<Note> riff()
{
    const double eighth = 60.0 / 112.0 / 2.0;
    Random human(0x5EED0002u);
    std::vector<Note> notes;
    auto note = [&](double at, double length, int midi, double velocity, bool muted = false) {
        notes.push_back({kLeadIn + at * eighth + 0.004 * human.uniform(), length * eighth, midi,
                         std::clamp(velocity + 0.05 * human.uniform(), 0.1, 1.0), muted});
    };
    // Downstrokes from the low string up, 12 ms apart.
    auto chord = [&](double at, double length, std::initializer_list<int> pitches, double velocity) {
        double strum = 0.0;
        for (int p : pitches) {
            note(at + strum / eighth, length - strum / eighth, p, velocity);
            strum += 0.012;
        }
    };
    const std::initializer_list<int> E5 = {40, 47, 52}, G5 = {43, 50, 55}, A5 = {45, 52, 57},
                                     C5 = {48, 55, 60}, D5 = {50, 57, 62};
    for (int bar = 0; bar < 2; ++bar) {
        const double b = 16.0 * bar;
        chord(b + 0, 2, E5, 0.95);
        note(b + 2, 0.8, 40, 0.7, true);
        note(b + 3, 0.8, 40, 0.7, true);
        chord(b + 4, 1.5, G5, 0.9);
        chord(b + 6, 2, A5, 0.9);
        chord(b + 8, 2, E5, 0.95);
        note(b + 10, 0.8, 40, 0.7, true);
        note(b + 11, 0.8, 40, 0.7, true);
        if (bar == 0) {
            chord(b + 12, 2, C5, 0.85);
            chord(b + 14, 2, D5, 0.9);
        } else {
            // A walk up the low E string, single notes.
            const int walk[] = {40, 43, 45, 46};
            for (int i = 0; i < 4; ++i) note(b + 12 + i, 1, walk[i], 0.85);
        }
    }
    // A single-note line on the higher strings, in sixteenths, then a
    // phrase higher up the neck.
    const int line[] = {52, 55, 57, 59, 62, 64, 62, 59, 57, 55, 57, 59, 64, 67, 64, 62};
    for (int i = 0; i < 16; ++i) note(32 + 0.5 * i, 0.5, line[i], 0.75 + 0.1 * (i % 4 == 0));
    const double lead[][3] = {{40, 1, 71}, {41, 1, 74}, {42, 2, 76}, {44, 0.5, 74}, {44.5, 0.5, 71},
                              {45, 1, 69}, {46, 0.5, 67}, {46.5, 0.5, 64}, {47, 3, 71}};
    for (const auto& [at, length, pitch] : lead) note(at, length, int(pitch), 0.85);
    // Arpeggios, each note left ringing: E minor, C, D.
    const int arpeggio[][4] = {{52, 59, 64, 67}, {48, 55, 64, 60}, {50, 57, 62, 66}, {52, 59, 64, 71}};
    for (int c = 0; c < 4; ++c)
        for (int i = 0; i < 4; ++i) note(50 + 4 * c + i, 4 - i, arpeggio[c][i], 0.7 + 0.1 * (i == 0));
    // Back to the low strings, then the open chord.
    chord(66, 2, A5, 0.9);
    chord(68, 2, G5, 0.9);
    chord(70, 1, E5, 0.95);
    note(71, 0.8, 40, 0.7, true);
    note(72, 0.8, 40, 0.7, true);
    note(73, 0.8, 40, 0.7, true);
    chord(74, 8, {40, 47, 52, 55, 59, 64}, 0.9);
    return notes;
}

}  // namespace

}  // namespace tonewright

int main(int argc, char** argv)
{
    using namespace tonewright;
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUT.wav [sample-rate]\n", argv[0]);
        return 2;
    }
    const double fs = argc > 2 ? std::atof(argv[2]) : 44100.0;
    if (!(fs >= 8000.0 && fs <= 384000.0)) {
        std::fprintf(stderr, "make-demo-clip: sample rate must be 8000..384000\n");
        return 2;
    }

    const std::vector<Note> notes = riff();
    double last = 0.0;
    for (const Note& n : notes) last = std::max(last, n.start + n.duration);
    // The damped strings are 120 dB down within 0.12 s; leave a little more.
    const double seconds = last + 0.3 + kTail;
    const size_t frames = static_cast<size_t>(std::ceil(seconds * fs));

    std::vector<double> music(frames, 0.0);
    for (const Note& n : notes) pluck(music, fs, n);
    body(music, fs);
    pickup(music, fs);
    double peak = 0.0;
    for (double s : music) peak = std::max(peak, std::fabs(s));
    const double scale = peak > 0.0 ? std::pow(10.0, kPeakDb / 20.0) / peak : 1.0;

    const std::vector<double> floor = noiseFloor(frames, fs);
    for (size_t t = 0; t < frames; ++t) music[t] = music[t] * scale + floor[t];

    AudioClip clip;
    clip.sampleRate = fs;
    clip.channels = 1;
    clip.samples.push_back(std::move(music));
    if (!writeWavFloat(argv[1], clip)) {
        std::fprintf(stderr, "make-demo-clip: cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("make-demo-clip: wrote %s (%.2f s at %.0f Hz)\n", argv[1], double(frames) / fs, fs);
    return 0;
}
