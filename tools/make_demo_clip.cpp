// Synthesises the demo guitar clip: a plucked-string model (extended
// Karplus-Strong: noise burst shaped by the pick position, fractional-delay
// string loop with frequency-dependent loss, and a small body resonance)
// playing a short riff, written as a mono float WAV at DI level.
//
// usage: make-demo-clip OUT.wav [sample-rate]

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "common/WavFile.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Note {
    double start;     // seconds
    double duration;  // seconds until the string is damped
    int midi;         // pitch
    double velocity;  // 0..1
};

double midiToHz(int midi) { return 440.0 * std::pow(2.0, (midi - 69) / 12.0); }

// One string voice, rendered and mixed into out.
void pluck(std::vector<double>& out, double fs, const Note& note, std::mt19937& rng)
{
    const double f0 = midiToHz(note.midi);
    const double period = fs / f0;
    // The loop is the line (length samples), the averaging loss filter (half
    // a sample) and a first-order all-pass for the rest of the period.
    const int length = static_cast<int>(std::floor(period - 0.5));
    const double frac = period - 0.5 - length;
    const double apCoef = (1.0 - frac) / (1.0 + frac);
    std::vector<double> line(static_cast<size_t>(length), 0.0);

    // Excitation: a noise burst, smoothed for a softer attack and combed by
    // the pick position (about one eighth of the string from the bridge).
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    std::vector<double> burst(line.size());
    double smooth = 0.0;
    for (double& b : burst) {
        smooth += 0.5 * (noise(rng) - smooth);
        b = smooth;
    }
    const size_t pick = std::max<size_t>(1, burst.size() / 8);
    for (size_t i = burst.size(); i-- > pick;) burst[i] -= burst[i - pick];
    double mean = 0.0;
    for (double b : burst) mean += b;
    mean /= double(burst.size());
    for (size_t i = 0; i < line.size(); ++i) line[i] = (burst[i] - mean) * note.velocity;

    // Loop loss: T60 of a few seconds for low strings, shorter for high.
    const double t60 = 4.0 * std::pow(110.0 / f0, 0.5);
    const double loopGain = std::pow(0.001, period / (t60 * fs));
    const double dampedGain = std::pow(0.001, period / (0.08 * fs));

    const size_t begin = static_cast<size_t>(note.start * fs);
    const size_t end = std::min(out.size(), begin + static_cast<size_t>((note.duration + 0.3) * fs));
    const size_t release = begin + static_cast<size_t>(note.duration * fs);
    size_t index = 0;
    double previous = 0.0, apIn = 0.0, apOut = 0.0;
    for (size_t t = begin; t < end; ++t) {
        const double g = t < release ? loopGain : dampedGain;
        const double x = line[index];
        const double averaged = 0.5 * (x + previous) * g;
        previous = x;
        // Fractional delay.
        const double y = apCoef * averaged + apIn - apCoef * apOut;
        apIn = averaged;
        apOut = y;
        line[index] = y;
        index = (index + 1) % line.size();
        out[t] += x;
    }
}

// A gentle body: two resonances and a high roll-off, like a solid body with
// a magnetic pickup.
void body(std::vector<double>& x, double fs)
{
    auto resonate = [&](double f, double q, double gain) {
        const double w = 2.0 * kPi * f / fs;
        const double alpha = std::sin(w) / (2.0 * q);
        const double a0 = 1.0 + alpha;
        const double b0 = alpha / a0, b2 = -alpha / a0, a1 = -2.0 * std::cos(w) / a0, a2 = (1.0 - alpha) / a0;
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
        for (double& s : x) {
            const double y = b0 * s + b2 * x2 - a1 * y1 - a2 * y2;
            x2 = x1; x1 = s; y2 = y1; y1 = y;
            s += gain * y;
        }
    };
    resonate(2800.0, 1.2, 0.8);  // pickup resonance
    resonate(110.0, 2.0, 0.3);
    const double c = std::exp(-2.0 * kPi * 6000.0 / fs);
    double lp = 0.0;
    for (double& s : x) {
        lp = (1.0 - c) * s + c * lp;
        s = lp;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUT.wav [sample-rate]\n", argv[0]);
        return 2;
    }
    const double fs = argc > 2 ? std::atof(argv[2]) : 44100.0;
    if (!(fs >= 8000.0 && fs <= 384000.0)) {
        std::fprintf(stderr, "make-demo-clip: sample rate must be 8000..384000\n");
        return 2;
    }

    // A riff: power chords on E and G, a single-note run, a final open chord.
    std::vector<Note> notes;
    auto chord = [&](double t, double d, std::initializer_list<int> pitches, double v) {
        double strum = 0.0;
        for (int p : pitches) {
            notes.push_back({t + strum, d, p, v});
            strum += 0.012;
        }
    };
    chord(0.00, 0.45, {40, 47, 52}, 0.9);
    chord(0.50, 0.20, {40, 47, 52}, 0.6);
    chord(0.75, 0.45, {43, 50, 55}, 0.9);
    chord(1.25, 0.20, {45, 52, 57}, 0.8);
    chord(1.50, 0.90, {40, 47, 52}, 1.0);
    const int run[] = {64, 67, 69, 71, 69, 67, 64, 62, 64};
    for (int i = 0; i < 9; ++i) notes.push_back({2.6 + 0.18 * i, 0.17, run[i], 0.8});
    notes.push_back({4.25, 1.2, 76, 0.9});
    chord(5.6, 2.5, {40, 47, 52, 56, 59, 64}, 0.85);

    const double seconds = 8.5;
    std::vector<double> mono(static_cast<size_t>(seconds * fs), 0.0);
    std::mt19937 rng(20261209);
    for (const Note& n : notes) pluck(mono, fs, n, rng);
    body(mono, fs);

    // DI level: peaks at -6 dBFS.
    double peak = 0.0;
    for (double s : mono) peak = std::max(peak, std::fabs(s));
    const double scale = peak > 0.0 ? 0.5 / peak : 1.0;
    for (double& s : mono) s *= scale;

    AudioClip clip;
    clip.sampleRate = fs;
    clip.channels = 1;
    clip.samples.push_back(std::move(mono));
    if (!writeWavFloat(argv[1], clip)) {
        std::fprintf(stderr, "make-demo-clip: cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("make-demo-clip: wrote %s (%.1f s at %.0f Hz)\n", argv[1], seconds, fs);
    return 0;
}
