// tonewright-au-render: renders a WAV file through the plug-in's Audio Unit
// (libtonewright-au), driven as an Audio Unit host drives it, with the
// options of tonewright-host, so that the two roads can be compared.
// `tonewright-au-render --help` tells how.

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "AuHost.h"
#include "VstHost.h"
#include "common/Resample.h"

namespace tonewright {
namespace {

const char* const kUsage =
    "usage: tonewright-au-render [options] IN.wav OUT.wav\n"
    "\n"
    "Renders IN.wav (mono or stereo) through the plug-in's Audio Unit into OUT.wav\n"
    "(32-bit float) and prints a short summary. The options are tonewright-host's:\n"
    "\n"
    "  --rate R            sample rate of the render (default: the file's); a file\n"
    "                      at another rate is resampled to R\n"
    "  --block N           fixed slice size (default 512, at most 65536)\n"
    "  --vary MIN:MAX[:S]  slice sizes drawn from MIN..MAX with seed S\n"
    "  --tail SECONDS      render this long past the end of the input (default:\n"
    "                      until the output has stayed below -90 dBFS for 0.5 s,\n"
    "                      at most 10 s)\n"
    "  --program N         select factory preset N\n"
    "  --chunk FILE        restore the state whose data is FILE (a bank chunk,\n"
    "                      as tonewright-host --save-chunk writes it)\n"
    "  --save-chunk FILE   write the state's data (a bank chunk) to FILE, before\n"
    "                      rendering\n"
    "  --param I=V         set parameter I to V, normalised 0..1 (repeatable)\n"
    "  --out-channels 1|2  output channels (default 2)\n"
    "  -h, --help          print this and exit\n"
    "\n"
    "The unit runs stereo (2 in, 2 out) unless the file and the output are both\n"
    "mono: then it runs mono (1 in, 1 out), where the plug-in writes the mean of\n"
    "its two sides (tonewright-host writes the left one). A mono file rendered\n"
    "to stereo gets silence on the second input, as in tonewright-host.\n";

struct Options {
    std::string input, output, chunk, saveChunk;
    double rate = 0.0;
    offline::BlockSchedule blocks = offline::BlockSchedule::Fixed(512);
    offline::Tail tail = offline::Tail::UntilQuiet();
    int program = -1;
    std::vector<std::pair<int, double>> params;
    int outChannels = 2;
};

int fail(const std::string& message)
{
    std::fprintf(stderr, "tonewright-au-render: %s\n", message.c_str());
    return 1;
}

bool number(const std::string& s, double& out, double lo, double hi)
{
    char* end = nullptr;
    out = std::strtod(s.c_str(), &end);
    return end != s.c_str() && !*end && std::isfinite(out) && out >= lo && out <= hi;
}

bool whole(const std::string& s, int& out, int lo, int hi)
{
    double v = 0;
    if (!number(s, v, lo, hi) || v != std::floor(v)) return false;
    out = static_cast<int>(v);
    return true;
}

// Empty when the arguments make sense, else what is wrong.
std::string parse(int argc, char** argv, Options& o, bool& help)
{
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            help = true;
            return {};
        }
        if (a.size() < 2 || a[0] != '-') {
            files.push_back(a);
            continue;
        }
        if (i + 1 >= argc) return "missing value after " + a;
        const std::string v = argv[++i];
        bool good = true;
        if (a == "--rate") {
            good = number(v, o.rate, 1, 10e6) && o.rate == std::floor(o.rate);
        } else if (a == "--block") {
            int n = 0;
            good = whole(v, n, 1, 65536);
            o.blocks = offline::BlockSchedule::Fixed(n);
        } else if (a == "--vary") {
            int lo = 0, hi = 0, seed = 1;
            const auto c1 = v.find(':'), c2 = v.find(':', c1 == std::string::npos ? c1 : c1 + 1);
            good = c1 != std::string::npos && whole(v.substr(0, c1), lo, 1, 65536) &&
                   whole(v.substr(c1 + 1, c2 == std::string::npos ? c2 : c2 - c1 - 1), hi, lo, 65536) &&
                   (c2 == std::string::npos || whole(v.substr(c2 + 1), seed, 0, 1000000000));
            o.blocks = offline::BlockSchedule::Varying(lo, hi, static_cast<unsigned>(seed));
        } else if (a == "--tail") {
            double seconds = 0;
            good = number(v, seconds, 0, 3600);
            o.tail = offline::Tail::Fixed(seconds);
        } else if (a == "--program") {
            good = whole(v, o.program, 0, 1000000);
        } else if (a == "--chunk") {
            o.chunk = v;
        } else if (a == "--save-chunk") {
            o.saveChunk = v;
        } else if (a == "--param") {
            const auto eq = v.find('=');
            int index = 0;
            double x = 0;
            good = eq != std::string::npos && whole(v.substr(0, eq), index, 0, 1000000) &&
                   number(v.substr(eq + 1), x, -1e30, 1e30);
            o.params.emplace_back(index, x);
        } else if (a == "--out-channels") {
            good = whole(v, o.outChannels, 1, 2);
        } else {
            return "unknown option " + a;
        }
        if (!good) return "bad " + a + " " + v;
    }
    if (files.size() != 2) return "expected IN.wav OUT.wav";
    o.input = files[0];
    o.output = files[1];
    return {};
}

bool writeFile(const std::string& path, const std::vector<char>& bytes)
{
    std::ofstream file(path, std::ios::binary);
    file.write(bytes.data(), std::streamsize(bytes.size()));
    return bytes.size() > 0 && static_cast<bool>(file.flush());
}

// The unit set up as the options say, ready to render.
std::unique_ptr<auhost::Unit> prepare(const Options& o, double rate, int channels, std::string& error)
{
    OSStatus s = noErr;
    auto unit = auhost::Unit::open(s);
    const auto failed = [&](const std::string& what) {
        error = what + " (status " + std::to_string(s) + ")";
        return nullptr;
    };
    if (!unit) return failed("the unit cannot be opened");
    if ((s = unit->setFormat(rate, channels))) return failed("the unit refuses " + std::to_string(rate) + " Hz");
    if ((s = unit->setMaxFrames(UInt32(o.blocks.maxSize)))) return failed("the unit refuses the slice size");
    if ((s = unit->initialize())) return failed("the unit cannot be initialised");
    if (!o.chunk.empty()) {
        std::vector<char> chunk;
        if (!offline::readFile(o.chunk, chunk)) return failed("cannot read " + o.chunk);
        if ((s = unit->restoreChunk(chunk))) return failed("the unit refused the state in " + o.chunk);
    }
    if (o.program >= 0 && (s = unit->selectPreset(o.program)))
        return failed("the unit has no factory preset " + std::to_string(o.program));
    for (const auto& [index, value] : o.params) {
        if ((s = unit->setParameter(AudioUnitParameterID(index), static_cast<float>(value))))
            return failed("the unit has no parameter " + std::to_string(index));
        if (value < 0.0 || value > 1.0)
            std::fprintf(stderr,
                         "tonewright-au-render: warning: --param %d=%g is outside 0..1 (values are normalised); the "
                         "unit holds %g\n",
                         index, value, static_cast<double>(unit->parameter(AudioUnitParameterID(index))));
    }
    if ((s = AudioUnitReset(unit->unit(), kAudioUnitScope_Global, 0))) return failed("the unit cannot be reset");
    if (!o.saveChunk.empty()) {
        std::vector<char> chunk;
        if ((s = unit->saveChunk(chunk)) || !writeFile(o.saveChunk, chunk))
            return failed("cannot save the state to " + o.saveChunk);
    }
    return unit;
}

}  // namespace

}  // namespace tonewright

int main(int argc, char** argv)
{
    using namespace tonewright;
    Options o;
    bool help = false;
    if (const std::string why = parse(argc, argv, o, help); !why.empty()) {
        std::fprintf(stderr, "tonewright-au-render: %s\n%s", why.c_str(), kUsage);
        return 2;
    }
    if (help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    AudioClip in;
    std::string error;
    if (!readWav(o.input, in, error)) return fail(error);
    if (in.channels < 1 || in.channels > 2)
        return fail(o.input + " has " + std::to_string(in.channels) + " channels; 1 or 2 are rendered");
    if (o.rate > 0 && o.rate != in.sampleRate) in = resample(in, o.rate);

    const int channels = in.channels == 1 && o.outChannels == 1 ? 1 : 2;
    auto unit = prepare(o, in.sampleRate, channels, error);
    if (!unit) return fail(error);

    OSStatus status = noErr;
    const offline::BlockProcess process = [&](float** inputs, float** outputs, int n) {
        if (const OSStatus s = unit->render(inputs, outputs, UInt32(n)); s && !status) status = s;
    };
    const auto start = std::chrono::steady_clock::now();
    const AudioClip out = offline::render(process, channels, channels, in, o.outChannels, o.blocks, o.tail);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (status) return fail("rendering failed (status " + std::to_string(status) + ")");
    if (!writeWavFloat(o.output, out)) return fail("cannot write " + o.output);

    std::string presetName;
    const int preset = unit->presentPreset(&presetName);
    const double seconds = in.frames() / in.sampleRate;
    std::printf("unit      'aumf' 'Qtwr' 'Qrys', version %d; %d in, %d out; preset %d \"%s\"\n",
                static_cast<int>(GetComponentVersion(unit->unit())), channels, channels, preset, presetName.c_str());
    std::printf("render    %s: %d ch, %.0f Hz, %.2f s -> %d ch\n", o.input.c_str(), in.channels, in.sampleRate, seconds,
                out.channels);
    std::printf("tail      %.2f s\n", (out.frames() - in.frames()) / in.sampleRate);
    printLevels(out);
    std::printf("time      %.3f s (%.1fx real time)\nwrote     %s\n", elapsed, elapsed > 0 ? seconds / elapsed : 0.0,
                o.output.c_str());
    return 0;
}
