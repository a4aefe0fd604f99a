// tonewright-host: renders a WAV file through any Linux VST 2.4 plug-in, or
// lists its parameters. `tonewright-host --help` tells how.

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "VstHost.h"
#include "EditorWindow.h"
#include "common/Resample.h"

namespace tonewright {
namespace {

const char* const kUsage =
    "usage: tonewright-host [options] PLUGIN.so IN.wav OUT.wav\n"
    "       tonewright-host --list-params [options] PLUGIN.so [IN.wav OUT.wav]\n"
    "       tonewright-host --editor [--seconds S] [--screenshot FILE] [options] PLUGIN.so [IN.wav [OUT.wav]]\n"
    "\n"
    "Renders IN.wav (mono or stereo) through the VST 2.4 plug-in into OUT.wav\n"
    "(32-bit float) and prints a short summary.\n"
    "\n"
    "  --rate R            sample rate of the render (default: the file's); a file\n"
    "                      at another rate is resampled to R\n"
    "  --block N           fixed block size (default 512)\n"
    "  --vary MIN:MAX[:S]  block sizes drawn from MIN..MAX with seed S\n"
    "  --tail SECONDS      render this long past the end of the input (default:\n"
    "                      until the output has stayed below -90 dBFS for 0.5 s,\n"
    "                      at most 10 s)\n"
    "  --program N         select program N\n"
    "  --chunk FILE        restore the state from FILE (a bank chunk)\n"
    "  --preset-chunk FILE restore the state from FILE (a program chunk)\n"
    "  --save-chunk FILE   write the state (a bank chunk) to FILE, before rendering\n"
    "  --param I=V         set parameter I to V, normalised 0..1 (repeatable)\n"
    "  --out-channels 1|2  output channels (default 2)\n"
    "  --list-params       print every parameter's index, name and value (after\n"
    "                      the options above); without files, only that\n"
    "  --calls             list the plug-in's calls to the host\n"
    "  --editor            show the plug-in's editor in a window of its own (X11,\n"
    "                      $DISPLAY) after the options above, idle it 30 times a\n"
    "                      second, and print each automation, begin-edit and\n"
    "                      end-edit call as it comes; until the window is closed.\n"
    "                      With IN.wav, the clip plays through the plug-in in real\n"
    "                      time, over and over, meanwhile; OUT.wav then receives\n"
    "                      what the plug-in gave back\n"
    "  --seconds S         with --editor: close the editor after S seconds\n"
    "  --screenshot FILE   with --editor: a PNG of the window just before closing\n"
    "  -h, --help          print this and exit\n";

struct Options {
    std::string plugin, input, output;
    double rate = 0.0;
    offline::BlockSchedule blocks = offline::BlockSchedule::Fixed(512);
    offline::Tail tail = offline::Tail::UntilQuiet();
    int program = -1;
    std::string chunk;
    bool presetChunk = false;
    std::string saveChunk;
    std::vector<std::pair<int, double>> params;
    int outChannels = 2;
    bool listCalls = false;
    bool listParams = false;
    bool editor = false;
    offline::EditorRun editorRun;
    bool help = false;
};

int fail(const std::string& message)
{
    std::fprintf(stderr, "tonewright-host: %s\n", message.c_str());
    return 1;
}

void warn(const std::string& message) { std::fprintf(stderr, "tonewright-host: warning: %s\n", message.c_str()); }

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

bool parse(int argc, char** argv, Options& o, std::string& why)
{
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& v) {
            if (i + 1 >= argc) return false;
            v = argv[++i];
            return true;
        };
        auto bad = [&](const std::string& what) {
            why = "bad " + a + (what.empty() ? "" : " (" + what + ")");
            return false;
        };
        std::string v;
        if (a == "-h" || a == "--help") {
            o.help = true;
            return true;
        } else if (a == "--calls") {
            o.listCalls = true;
        } else if (a == "--list-params") {
            o.listParams = true;
        } else if (a == "--editor") {
            o.editor = true;
        } else if (a == "--seconds") {
            if (!value(v) || !parseDouble(v, o.editorRun.seconds) || o.editorRun.seconds <= 0 ||
                o.editorRun.seconds > 86400)
                return bad("a time in seconds");
        } else if (a == "--screenshot") {
            if (!value(o.editorRun.screenshot)) return bad("missing file");
        } else if (a == "--rate") {
            // WAV files carry whole rates.
            if (!value(v) || !parseDouble(v, o.rate) || o.rate < 1 || o.rate > 10e6 || o.rate != std::floor(o.rate))
                return bad("a whole number of Hz");
        } else if (a == "--block") {
            int n = 0;
            if (!value(v) || !parseInt(v, n) || n < 1) return bad("");
            o.blocks = offline::BlockSchedule::Fixed(n);
        } else if (a == "--vary") {
            int lo = 0, hi = 0, seed = 1;
            if (!value(v)) return bad("MIN:MAX[:SEED]");
            const auto c1 = v.find(':');
            const auto c2 = c1 == std::string::npos ? c1 : v.find(':', c1 + 1);
            if (c1 == std::string::npos || !parseInt(v.substr(0, c1), lo) ||
                !parseInt(v.substr(c1 + 1, c2 == std::string::npos ? std::string::npos : c2 - c1 - 1), hi) ||
                (c2 != std::string::npos && !parseInt(v.substr(c2 + 1), seed)) || lo < 1 || hi < lo)
                return bad("MIN:MAX[:SEED]");
            o.blocks = offline::BlockSchedule::Varying(lo, hi, static_cast<unsigned>(seed));
        } else if (a == "--tail") {
            double seconds = 0;
            if (!value(v) || !parseDouble(v, seconds) || seconds < 0 || seconds > 3600) return bad("0..3600 s");
            o.tail = offline::Tail::Fixed(seconds);
        } else if (a == "--program") {
            if (!value(v) || !parseInt(v, o.program) || o.program < 0) return bad("");
        } else if (a == "--chunk" || a == "--preset-chunk") {
            if (!value(o.chunk)) return bad("missing file");
            o.presetChunk = a == "--preset-chunk";
        } else if (a == "--save-chunk") {
            if (!value(o.saveChunk)) return bad("missing file");
        } else if (a == "--param") {
            const auto eq = value(v) ? v.find('=') : std::string::npos;
            int index = 0;
            double x = 0;
            if (eq == std::string::npos || !parseInt(v.substr(0, eq), index) || !parseDouble(v.substr(eq + 1), x))
                return bad("I=V");
            o.params.emplace_back(index, x);
        } else if (a == "--out-channels") {
            if (!value(v) || !parseInt(v, o.outChannels) || o.outChannels < 1 || o.outChannels > 2)
                return bad("1 or 2");
        } else if (a.size() > 1 && a[0] == '-') {
            why = "unknown option " + a;
            return false;
        } else {
            positional.push_back(a);
        }
    }
    if (!o.editor && (o.editorRun.seconds > 0 || !o.editorRun.screenshot.empty())) {
        why = "--seconds and --screenshot go with --editor";
        return false;
    }
    if (o.editor && (positional.empty() || positional.size() > 3)) {
        why = "expected PLUGIN.so [IN.wav [OUT.wav]] with --editor";
        return false;
    }
    const bool listOnly = o.listParams && positional.size() == 1;
    if (positional.size() != 3 && !listOnly && !o.editor) {
        why = "expected PLUGIN.so IN.wav OUT.wav";
        return false;
    }
    o.plugin = positional[0];
    if (positional.size() > 1) o.input = positional[1];
    if (positional.size() > 2) o.output = positional[2];
    return true;
}

// Restores the state from a chunk file. The plug-in's answer to effSetChunk
// says nothing (many, this one too, return 0 either way), and its messages
// are its own, so the state is read back instead: a chunk that left the
// state as it was, and is not that state itself, was refused.
bool restoreChunk(offline::VstPlugin& plugin, const std::string& path, bool isPreset, std::string& error)
{
    if (!(plugin.effect()->flags & effFlagsProgramChunks)) {
        error = "the plug-in keeps its state in parameters, not chunks, so " + path + " cannot be restored";
        return false;
    }
    std::vector<char> bytes;
    if (!offline::readFile(path, bytes)) {
        error = "cannot read " + path;
        return false;
    }
    const std::vector<char> before = plugin.getChunk(isPreset);
    plugin.setChunk(bytes, isPreset);
    const std::vector<char> after = plugin.getChunk(isPreset);
    if (after == before && after != bytes) {
        error = "the plug-in refused the " + std::string(isPreset ? "program" : "bank") + " chunk in " + path +
                ": its state did not change";
        return false;
    }
    return true;
}

void listParameters(offline::VstPlugin& plugin)
{
    const int count = plugin.effect()->numParams;
    std::printf("parameters %d\nindex  name      value     display\n", count);
    for (int i = 0; i < count; ++i) {
        std::string shown = plugin.parameterDisplay(i);
        const std::string label = plugin.parameterLabel(i);
        if (!label.empty()) shown += (shown.empty() ? "" : " ") + label;
        std::printf("%5d  %-8s  %.6f  %s\n", i, plugin.parameterName(i).c_str(),
                    static_cast<double>(plugin.getParameter(i)), shown.c_str());
    }
}

std::string opcodeName(VstInt32 opcode)
{
    const char* name = offline::audioMasterName(opcode);
    return name ? name : "opcode " + std::to_string(opcode);
}

void printSummary(offline::VstPlugin& plugin, const Options& o, const AudioClip& in, double fileRate,
                  const AudioClip& out, double elapsed)
{
    AEffect* e = plugin.effect();
    const double seconds = in.frames() / in.sampleRate;
    std::printf("plug-in   %s | %s | %s | version %d | id %08x\n", plugin.effectName().c_str(),
                plugin.vendorString().c_str(), plugin.productString().c_str(), plugin.vendorVersion(),
                static_cast<unsigned>(e->uniqueID));
    std::printf("layout    %d in, %d out; %d parameters, %d programs; program %d \"%s\"\n", e->numInputs,
                e->numOutputs, e->numParams, e->numPrograms, plugin.getProgram(), plugin.programName().c_str());
    if (fileRate != in.sampleRate)
        std::printf("resampled %s from %.0f Hz to %.0f Hz\n", o.input.c_str(), fileRate, in.sampleRate);
    std::string blocks = "block " + std::to_string(o.blocks.maxSize);
    if (o.blocks.varying())
        blocks = "blocks " + std::to_string(o.blocks.minSize) + ".." + std::to_string(o.blocks.maxSize) + " (seed " +
                 std::to_string(o.blocks.seed) + ")";
    std::printf("render    %s: %d ch, %.0f Hz, %.2f s, %s -> %d ch\n", o.input.c_str(), in.channels, in.sampleRate,
                seconds, blocks.c_str(), out.channels);
    const double tail = (out.frames() - in.frames()) / in.sampleRate;
    if (o.tail.kind == offline::Tail::Kind::untilQuiet)
        std::printf("tail      %.2f s (%s)\n", tail,
                    tail >= o.tail.seconds - 0.5 / in.sampleRate ? "cut at the longest: still sounding"
                                                                 : "until 0.5 s below -90 dBFS");
    else
        std::printf("tail      %.2f s\n", tail);
    printLevels(out);
    std::printf("time      %.3f s (%.1fx real time)\n", elapsed, elapsed > 0 ? seconds / elapsed : 0.0);

    const auto calls = plugin.calls();
    std::map<VstInt32, int> byOpcode;
    for (const auto& c : calls) ++byOpcode[c.opcode];
    std::printf("host calls %zu:", calls.size());
    for (const auto& [op, count] : byOpcode) std::printf(" %s x%d;", opcodeName(op).c_str(), count);
    std::printf("\n");
    if (o.listCalls)
        for (const auto& c : calls)
            std::printf("  call %s index %d value %ld opt %g\n", opcodeName(c.opcode).c_str(), c.index,
                        static_cast<long>(c.value), static_cast<double>(c.opt));
}

// Samples over full scale survive in a float file, but not in a fixed-point
// copy of it.
void warnAboutOvers(const AudioClip& out)
{
    double peak = 0;
    long over = 0;
    for (const auto& channel : out.samples)
        for (double x : channel) {
            peak = std::max(peak, std::fabs(x));
            if (std::fabs(x) > 1.0) ++over;
        }
    if (over == 0) return;
    char text[200];
    std::snprintf(text, sizeof text,
                  "the output peaks at %+.1f dBFS: %ld samples over full scale, which clip in any fixed-point copy",
                  dbfs(peak), over);
    warn(text);
}

}  // namespace

}  // namespace tonewright

int main(int argc, char** argv)
{
    using namespace tonewright;
    Options o;
    std::string why;
    if (!parse(argc, argv, o, why)) {
        std::fprintf(stderr, "tonewright-host: %s\n%s", why.c_str(), kUsage);
        return 2;
    }
    if (o.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }

    const bool rendering = !o.input.empty();
    AudioClip in;
    double fileRate = 0;
    std::string error;
    if (rendering) {
        if (!readWav(o.input, in, error)) return fail(error);
        if (in.channels < 1 || in.channels > 2)
            return fail(o.input + " has " + std::to_string(in.channels) + " channels; 1 or 2 are rendered");
        fileRate = in.sampleRate;
        if (o.rate > 0 && o.rate != in.sampleRate) in = resample(in, o.rate);
    }
    const double rate = rendering ? in.sampleRate : o.rate > 0 ? o.rate : 44100.0;

    auto plugin = offline::VstPlugin::load(o.plugin, error);
    if (!plugin) return fail(error);
    AEffect* e = plugin->effect();
    if (rendering && !e->processReplacing) return fail("the plug-in has no processReplacing");

    plugin->setSampleRate(rate);
    plugin->setBlockSize(o.blocks.maxSize);
    if (!o.chunk.empty() && !restoreChunk(*plugin, o.chunk, o.presetChunk, error)) return fail(error);
    if (o.program >= 0) {
        if (o.program >= e->numPrograms)
            return fail("the plug-in has " + std::to_string(e->numPrograms) + " programs");
        plugin->setProgram(o.program);
    }
    for (const auto& [index, value] : o.params) {
        if (index < 0 || index >= e->numParams)
            return fail("the plug-in has no parameter " + std::to_string(index) + " (it has " +
                        std::to_string(e->numParams) + ")");
        plugin->setParameter(index, static_cast<float>(value));
        if (value < 0.0 || value > 1.0) {
            char text[200];
            std::snprintf(text, sizeof text,
                          "--param %d=%g is outside 0..1 (values are normalised); the plug-in holds %g", index,
                          value, static_cast<double>(plugin->getParameter(index)));
            warn(text);
        }
    }
    plugin->resume();
    if (!o.saveChunk.empty()) {
        const std::vector<char> state = plugin->getChunk(false);
        std::FILE* f = std::fopen(o.saveChunk.c_str(), "wb");
        const bool written = f && std::fwrite(state.data(), 1, state.size(), f) == state.size();
        if (!f || std::fclose(f) != 0 || !written || state.empty())
            return fail("cannot save the state to " + o.saveChunk);
    }
    if (o.listParams) listParameters(*plugin);
    if (o.editor) {
        plugin->setCallObserver([](const offline::HostCall& c) {
            if (c.opcode == audioMasterAutomate)
                std::printf("automate %d %.6f\n", c.index, static_cast<double>(c.opt));
            else if (c.opcode == audioMasterBeginEdit)
                std::printf("beginEdit %d\n", c.index);
            else if (c.opcode == audioMasterEndEdit)
                std::printf("endEdit %d\n", c.index);
            else
                return;
            std::fflush(stdout);
        });
        AudioClip played;
        if (rendering) {
            o.editorRun.play = &in;
            o.editorRun.outChannels = o.outChannels;
            if (!o.output.empty()) o.editorRun.played = &played;
        }
        const bool shown = offline::runEditor(*plugin, o.editorRun, error);
        plugin->setCallObserver(nullptr);
        plugin->suspend();
        if (shown && !o.output.empty() && !writeWavFloat(o.output, played)) return fail("cannot write " + o.output);
        return shown ? 0 : fail(error);
    }
    if (!rendering) {
        plugin->suspend();
        return 0;
    }
    plugin->dispatch(effStartProcess);

    const auto start = std::chrono::steady_clock::now();
    const AudioClip out = offline::render(*plugin, in, o.outChannels, o.blocks, o.tail);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    plugin->dispatch(effStopProcess);
    plugin->suspend();

    if (!writeWavFloat(o.output, out)) return fail("cannot write " + o.output);
    printSummary(*plugin, o, in, fileRate, out, elapsed);
    warnAboutOvers(out);
    std::printf("wrote     %s\n", o.output.c_str());
    return 0;
}
