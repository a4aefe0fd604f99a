// tonewright-host: renders a WAV file through any Linux VST 2.4 plug-in.
//
// usage: tonewright-host [options] PLUGIN.so IN.wav OUT.wav
//   --rate R            sample rate told to the plug-in (default: the file's)
//   --block N           fixed block size (default 512)
//   --vary MIN:MAX[:S]  block sizes drawn from MIN..MAX with seed S
//   --program N         select program N before rendering
//   --chunk FILE        restore the state from FILE (a bank chunk)
//   --preset-chunk FILE restore the state from FILE (a program chunk)
//   --save-chunk FILE   write the state (a bank chunk) to FILE before rendering
//   --param I=V         set parameter I to the normalised value V (repeatable)
//   --out-channels 1|2  output channels (default 2)
//   --calls             list the plug-in's calls to the host
//
// The output is a 32-bit float WAV; a short summary goes to standard output.

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "VstHost.h"

namespace {

struct Options {
    std::string plugin, input, output;
    double rate = 0.0;
    offline::BlockSchedule blocks = offline::BlockSchedule::Fixed(512);
    int program = -1;
    std::string chunk;
    bool presetChunk = false;
    std::string saveChunk;
    std::vector<std::pair<int, float>> params;
    int outChannels = 2;
    bool listCalls = false;
};

int usage(const char* why)
{
    if (why) std::fprintf(stderr, "tonewright-host: %s\n", why);
    std::fprintf(stderr,
                 "usage: tonewright-host [--rate R] [--block N | --vary MIN:MAX[:SEED]] [--program N]\n"
                 "         [--chunk FILE | --preset-chunk FILE] [--save-chunk FILE] [--param I=V ...]\n"
                 "         [--out-channels 1|2]\n"
                 "         [--calls] PLUGIN.so IN.wav OUT.wav\n");
    return 2;
}

bool parseInt(const std::string& s, int& out)
{
    char* end = nullptr;
    const long v = std::strtol(s.c_str(), &end, 10);
    if (end == s.c_str() || *end || v < -1000000000L || v > 1000000000L) return false;
    out = static_cast<int>(v);
    return true;
}

bool parseDouble(const std::string& s, double& out)
{
    char* end = nullptr;
    out = std::strtod(s.c_str(), &end);
    return end != s.c_str() && !*end && std::isfinite(out);
}

bool parse(int argc, char** argv, Options& o, const char*& why)
{
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& v) {
            if (i + 1 >= argc) return false;
            v = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--calls") {
            o.listCalls = true;
        } else if (a == "--rate") {
            if (!value(v) || !parseDouble(v, o.rate) || o.rate <= 0) return why = "bad --rate", false;
        } else if (a == "--block") {
            int n = 0;
            if (!value(v) || !parseInt(v, n) || n < 1) return why = "bad --block", false;
            o.blocks = offline::BlockSchedule::Fixed(n);
        } else if (a == "--vary") {
            int lo = 0, hi = 0, seed = 1;
            if (!value(v)) return why = "bad --vary", false;
            const auto c1 = v.find(':');
            const auto c2 = c1 == std::string::npos ? c1 : v.find(':', c1 + 1);
            if (c1 == std::string::npos || !parseInt(v.substr(0, c1), lo) ||
                !parseInt(v.substr(c1 + 1, c2 == std::string::npos ? std::string::npos : c2 - c1 - 1), hi) ||
                (c2 != std::string::npos && !parseInt(v.substr(c2 + 1), seed)) || lo < 1 || hi < lo)
                return why = "bad --vary (MIN:MAX[:SEED])", false;
            o.blocks = offline::BlockSchedule::Varying(lo, hi, static_cast<unsigned>(seed));
        } else if (a == "--program") {
            if (!value(v) || !parseInt(v, o.program) || o.program < 0) return why = "bad --program", false;
        } else if (a == "--chunk" || a == "--preset-chunk") {
            if (!value(o.chunk)) return why = "missing chunk file", false;
            o.presetChunk = a == "--preset-chunk";
        } else if (a == "--save-chunk") {
            if (!value(o.saveChunk)) return why = "missing chunk file", false;
        } else if (a == "--param") {
            const auto eq = value(v) ? v.find('=') : std::string::npos;
            int index = 0;
            double x = 0;
            if (eq == std::string::npos || !parseInt(v.substr(0, eq), index) || !parseDouble(v.substr(eq + 1), x))
                return why = "bad --param (I=V)", false;
            o.params.emplace_back(index, static_cast<float>(x));
        } else if (a == "--out-channels") {
            if (!value(v) || !parseInt(v, o.outChannels) || o.outChannels < 1 || o.outChannels > 2)
                return why = "bad --out-channels", false;
        } else if (a.size() > 1 && a[0] == '-') {
            return why = "unknown option", false;
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 3) return why = nullptr, false;
    o.plugin = positional[0];
    o.input = positional[1];
    o.output = positional[2];
    return true;
}

double peakOf(const std::vector<double>& v)
{
    double p = 0;
    for (double x : v) p = std::max(p, std::fabs(x));
    return p;
}

double rmsOf(const std::vector<double>& v)
{
    double s = 0;
    for (double x : v) s += x * x;
    return v.empty() ? 0.0 : std::sqrt(s / static_cast<double>(v.size()));
}

double dbfs(double x) { return x > 0 ? 20.0 * std::log10(x) : -INFINITY; }

}  // namespace

int main(int argc, char** argv)
{
    Options o;
    const char* why = nullptr;
    if (!parse(argc, argv, o, why)) return usage(why);

    AudioClip in;
    std::string error;
    if (!readWav(o.input, in, error)) {
        std::fprintf(stderr, "tonewright-host: %s\n", error.c_str());
        return 1;
    }
    if (in.channels < 1 || in.channels > 2) {
        std::fprintf(stderr, "tonewright-host: %s has %d channels; 1 or 2 are rendered\n", o.input.c_str(),
                     in.channels);
        return 1;
    }
    if (o.rate > 0) in.sampleRate = o.rate;

    auto plugin = offline::VstPlugin::load(o.plugin, error);
    if (!plugin) {
        std::fprintf(stderr, "tonewright-host: %s\n", error.c_str());
        return 1;
    }
    AEffect* e = plugin->effect();
    if (!e->processReplacing) {
        std::fprintf(stderr, "tonewright-host: the plug-in has no processReplacing\n");
        return 1;
    }

    plugin->setSampleRate(in.sampleRate);
    plugin->setBlockSize(o.blocks.maxSize);
    if (!o.chunk.empty()) {
        std::vector<char> bytes;
        if (!offline::readFile(o.chunk, bytes)) {
            std::fprintf(stderr, "tonewright-host: cannot read %s\n", o.chunk.c_str());
            return 1;
        }
        plugin->setChunk(bytes, o.presetChunk);
    }
    if (o.program >= 0) {
        if (o.program >= e->numPrograms) {
            std::fprintf(stderr, "tonewright-host: the plug-in has %d programs\n", e->numPrograms);
            return 1;
        }
        plugin->setProgram(o.program);
    }
    for (const auto& [index, value] : o.params) {
        if (index < 0 || index >= e->numParams) {
            std::fprintf(stderr, "tonewright-host: the plug-in has no parameter %d (it has %d)\n", index,
                         e->numParams);
            return 1;
        }
        plugin->setParameter(index, value);
    }
    plugin->resume();
    if (!o.saveChunk.empty()) {
        const std::vector<char> state = plugin->getChunk(false);
        std::FILE* f = std::fopen(o.saveChunk.c_str(), "wb");
        const bool written = f && std::fwrite(state.data(), 1, state.size(), f) == state.size();
        if (!f || std::fclose(f) != 0 || !written || state.empty()) {
            std::fprintf(stderr, "tonewright-host: cannot save the state to %s\n", o.saveChunk.c_str());
            return 1;
        }
    }
    plugin->dispatch(effStartProcess);

    const auto start = std::chrono::steady_clock::now();
    const AudioClip out = offline::render(*plugin, in, o.outChannels, o.blocks);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    plugin->dispatch(effStopProcess);
    plugin->suspend();

    if (!writeWavFloat(o.output, out)) {
        std::fprintf(stderr, "tonewright-host: cannot write %s\n", o.output.c_str());
        return 1;
    }

    const double seconds = in.frames() / in.sampleRate;
    std::printf("plug-in   %s | %s | %s | version %d | id %08x\n", plugin->effectName().c_str(),
                plugin->vendorString().c_str(), plugin->productString().c_str(), plugin->vendorVersion(),
                static_cast<unsigned>(e->uniqueID));
    std::printf("layout    %d in, %d out; %d parameters, %d programs; program %d \"%s\"\n", e->numInputs,
                e->numOutputs, e->numParams, e->numPrograms, plugin->getProgram(), plugin->programName().c_str());
    if (o.blocks.varying())
        std::printf("render    %s: %d ch, %.0f Hz, %.2f s, blocks %d..%d (seed %u) -> %d ch\n", o.input.c_str(),
                    in.channels, in.sampleRate, seconds, o.blocks.minSize, o.blocks.maxSize, o.blocks.seed,
                    out.channels);
    else
        std::printf("render    %s: %d ch, %.0f Hz, %.2f s, block %d -> %d ch\n", o.input.c_str(), in.channels,
                    in.sampleRate, seconds, o.blocks.maxSize, out.channels);
    for (int c = 0; c < out.channels; ++c)
        std::printf("output %d  peak %.1f dBFS, rms %.1f dBFS\n", c, dbfs(peakOf(out.samples[c])),
                    dbfs(rmsOf(out.samples[c])));
    std::printf("time      %.3f s (%.1fx real time)\n", elapsed, elapsed > 0 ? seconds / elapsed : 0.0);

    const auto calls = plugin->calls();
    std::map<VstInt32, int> byOpcode;
    for (const auto& c : calls) ++byOpcode[c.opcode];
    std::printf("host calls %zu:", calls.size());
    for (const auto& [op, count] : byOpcode) std::printf(" opcode %d x%d;", op, count);
    std::printf("\n");
    if (o.listCalls)
        for (const auto& c : calls)
            std::printf("  call opcode %d index %d value %ld opt %g\n", c.opcode, c.index, static_cast<long>(c.value),
                        static_cast<double>(c.opt));
    std::printf("wrote     %s\n", o.output.c_str());
    return 0;
}
