// Synthesises the cabinet impulse responses in resources/impulses: a closed
// 4x12, an open-back 1x12 and a closed 2x12, each as a mono close-miked file
// and as a stereo file with two microphones (close on the cap, further away
// towards the edge of the cone).
//
// Each response is built from an impulse through the chain of a real miked
// cabinet:
// - the speaker in its box: a second-order high-pass at the box resonance
//   (80-120 Hz, its Q giving the low bump) and a steeper sub-bass fall below;
// - the cone: a shallow low-mid dip, the presence peaks of 2-4 kHz where the
//   cone starts to break up, a cluster of narrow break-up resonances and
//   dips, and the steep roll-off above 5-6 kHz of a 12-inch cone;
// - the microphone: off-axis placement darkens the top and softens the
//   presence peaks; distance delays the onset;
// - the box and room: other speakers of the cabinet at longer paths, the
//   rear wave of an open back (inverted, round the baffle: thinner bass),
//   the back panel of a closed box, and a floor reflection.
//
// usage: make-impulses OUT-FOLDER

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "dsp/Filter.h"
#include "common/WavFile.h"

namespace tonewright {
namespace {

constexpr double kSpeedOfSound = 343.0;  // m/s

struct Section {
    Filter::Type type;
    double frequency;
    double q;
    double gainDb;
};

void applySection(std::vector<double>& x, double fs, const Section& s)
{
    Filter f;
    f.SetFs(fs);
    f.SetParameters({true, s.type, s.frequency, s.q, s.gainDb});
    f.Settle();
    f.Reserve(int(x.size()));
    f.process(x.data(), int(x.size()));
}

void applyChain(std::vector<double>& x, double fs, const std::vector<Section>& chain)
{
    for (const Section& s : chain) applySection(x, fs, s);
}

// x plus g times x delayed by `seconds` (linear interpolation) and
// low-passed at `lowpass` Hz.
void addReflection(std::vector<double>& x, double fs, double seconds, double g, double lowpass)
{
    std::vector<double> echo = x;
    applySection(echo, fs, {Filter::kLowPass, lowpass, 0.7071, 0.0});
    const double d = seconds * fs;
    const int whole = int(d);
    const double frac = d - whole;
    for (size_t i = x.size(); i-- > 0;) {
        const long j = long(i) - whole;
        if (j < 1) break;
        x[i] += g * ((1.0 - frac) * echo[size_t(j)] + frac * echo[size_t(j) - 1]);
    }
}

struct Speaker {
    double resonance;   // Hz, box resonance
    double resonanceQ;  // above 0.707 a bump
    double presence;    // Hz, main presence peak
    double rolloff;     // Hz, where the top falls away
    unsigned seed;      // break-up detail
};

struct Microphone {
    double offAxis;   // 0 on the dust cap .. 1 at the edge of the cone
    double distance;  // m from the cone
};

// One speaker heard by one microphone, from an impulse.
std::vector<double> speakerResponse(const Speaker& s, const Microphone& m, double fs, int length)
{
    std::vector<double> x(size_t(length), 0.0);
    const double onset = m.distance / kSpeedOfSound * fs;
    x[size_t(std::lround(onset))] = 1.0;

    const double axis = 1.0 - 0.6 * m.offAxis;  // presence kept on axis
    std::vector<Section> chain = {
        {Filter::kHighPass, s.resonance, s.resonanceQ, 0.0},
        {Filter::kHighPass, 0.5 * s.resonance, 0.55, 0.0},
        {Filter::kPeak, 3.2 * s.resonance, 1.1, -4.5},
        {Filter::kPeak, 1400.0, 2.0, 2.0 * axis},
        {Filter::kPeak, s.presence, 2.2, 6.0 * axis},
        {Filter::kPeak, 1.45 * s.presence, 3.0, 4.0 * axis},
        {Filter::kPeak, 1.85 * s.presence, 4.0, -7.0},
        {Filter::kHighShelf, 3000.0, 0.7071, -7.0 * m.offAxis},
        {Filter::kLowPass, s.rolloff * (1.0 - 0.3 * m.offAxis), 0.9, 0.0},
        {Filter::kLowPass, 1.2 * s.rolloff * (1.0 - 0.3 * m.offAxis), 0.6, 0.0},
        {Filter::kLowPass, 1.5 * s.rolloff, 0.7071, 0.0},
    };
    // Cone break-up: narrow resonances and cancellations between 1 and 6 kHz.
    std::mt19937 rng(s.seed);
    auto uniform = [&](double lo, double hi) { return lo + (hi - lo) * (rng() / 4294967296.0); };
    for (int i = 0; i < 7; ++i) {
        const double f = 1000.0 * std::pow(6.0, uniform(0.0, 1.0));
        chain.push_back({Filter::kPeak, f, uniform(5.0, 10.0), uniform(-4.0, 3.0)});
    }
    applyChain(x, fs, chain);
    return x;
}

struct Cabinet {
    const char* name;
    double fs;
    int length;
    bool openBack;
    Speaker speaker;
    std::vector<double> otherSpeakers;  // extra path (m) to each other speaker
    double floorPath;                   // extra path (m) of the floor reflection
};

std::vector<double> cabinetResponse(const Cabinet& c, const Microphone& m)
{
    std::vector<double> h = speakerResponse(c.speaker, m, c.fs, c.length);
    // The other speakers: further away and seen off-axis, each a little
    // different.
    for (size_t i = 0; i < c.otherSpeakers.size(); ++i) {
        Speaker other = c.speaker;
        other.resonance *= 1.0 + 0.04 * double(i + 1);
        other.seed += unsigned(i + 1);
        const Microphone far{std::min(1.0, m.offAxis + 0.6), m.distance + c.otherSpeakers[i]};
        const std::vector<double> o = speakerResponse(other, far, c.fs, c.length);
        const double g = 0.5 / (1.0 + c.otherSpeakers[i] / 0.1);
        for (size_t k = 0; k < h.size(); ++k) h[k] += g * o[k];
    }
    if (c.openBack) {
        // The rear wave round the baffle, inverted: cancels the lowest notes.
        addReflection(h, c.fs, 0.9e-3, -0.35, 800.0);
    } else {
        addReflection(h, c.fs, 1.3e-3, -0.12, 700.0);  // back panel
    }
    addReflection(h, c.fs, c.floorPath / kSpeedOfSound, 0.22 / (1.0 + 2.0 * m.distance), 3000.0);

    // A short fade keeps the end of the file free of a cut tail.
    const size_t fade = h.size() / 4;
    for (size_t i = 0; i < fade; ++i) {
        const double w = 0.5 + 0.5 * std::cos(3.14159265358979323846 * double(i + 1) / double(fade));
        h[h.size() - fade + i] *= w;
    }
    return h;
}

bool write(const std::string& path, double fs, std::vector<std::vector<double>> channels)
{
    double p = 0.0;
    for (const auto& c : channels)
        for (double v : c) p = std::max(p, std::fabs(v));
    for (auto& c : channels)
        for (double& v : c) v *= 0.89 / p;  // peak at -1 dBFS
    AudioClip clip;
    clip.sampleRate = fs;
    clip.channels = int(channels.size());
    clip.samples = std::move(channels);
    const bool ok = writeWavPcm24(path, clip);
    std::printf("%s %s (%d frames, %d ch, %.0f Hz)\n", ok ? "wrote" : "FAILED", path.c_str(), clip.frames(),
                clip.channels, fs);
    return ok;
}

}  // namespace

}  // namespace tonewright

int main(int argc, char** argv)
{
    using namespace tonewright;
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-impulses OUT-FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    const Cabinet cabinets[] = {
        {"Closed 4x12", 48000.0, 4096, false, {105.0, 2.4, 2600.0, 5200.0, 11}, {0.36, 0.36, 0.51}, 1.4},
        {"Open 1x12", 44100.0, 4096, true, {90.0, 1.6, 2900.0, 5800.0, 23}, {}, 1.1},
        {"Closed 2x12", 44100.0, 4096, false, {115.0, 2.0, 2900.0, 5600.0, 37}, {0.31}, 1.3},
    };
    const Microphone close{0.25, 0.02};
    const Microphone cap{0.05, 0.02};
    const Microphone edge{0.85, 0.25};
    bool ok = true;
    for (const Cabinet& c : cabinets) {
        ok &= write(folder + "/" + c.name + ".wav", c.fs, {cabinetResponse(c, close)});
        ok &= write(folder + "/" + c.name + " Stereo.wav", c.fs, {cabinetResponse(c, cap), cabinetResponse(c, edge)});
    }
    return ok ? 0 : 1;
}
