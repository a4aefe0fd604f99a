// tonewright-pt-render: renders a WAV file through the Pro Tools deliverable
// (tonewright-rtas) driven as Pro Tools drives it, for comparison with
// tonewright-host's render of the VST plug-in. `--help` tells how.

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "ProToolsHost.h"
#include "common/Resample.h"
#include "mac/protools/TemplateProcess.h"

namespace tonewright {
namespace {

const char* const kUsage =
    "usage: tonewright-pt-render [options] IN.wav OUT.wav\n"
    "\n"
    "Renders IN.wav (mono or stereo) through an instance of the Pro Tools\n"
    "plug-in into OUT.wav (32-bit float) and prints a short summary.\n"
    "\n"
    "  --type mono|stereo  the plug-in type (default: the file's channels); a\n"
    "                      mono file through the stereo type has a silent right\n"
    "  --out-channels 1|2  output channels (default: the type's); 1 of the stereo\n"
    "                      type is its left output (the mono type mixes both)\n"
    "  --rate R            session rate (default: the file's); a file at another\n"
    "                      rate is resampled to R\n"
    "  --block N           fixed block size (default 512)\n"
    "  --vary MIN:MAX[:S]  block sizes drawn from MIN..MAX with seed S\n"
    "  --tail SECONDS      render this long past the end of the input (default:\n"
    "                      until 0.5 s below -90 dBFS, at most 10 s)\n"
    "  --chunk FILE        restore the bank chunk in FILE (as tonewright-host\n"
    "                      --save-chunk writes it) through the plug-in's chunk\n"
    "  --program N         select program N by a MIDI program change\n"
    "  --param I=V         move control I + 1 (parameter I) to V, 0..1 (repeatable)\n"
    "  --bypass            switch Master Bypass on\n"
    "  --save-chunk FILE   write the bank chunk's text to FILE, before rendering\n"
    "  -h, --help          print this and exit\n";

struct Options {
    std::string input, output, chunk, saveChunk;
    int channels = 0, outChannels = 0;
    double rate = 0.0;
    offline::BlockSchedule blocks = offline::BlockSchedule::Fixed(512);
    offline::Tail tail = offline::Tail::UntilQuiet();
    int program = -1;
    std::vector<std::pair<int, double>> params;
    bool bypass = false, help = false;
};

int fail(const std::string& message)
{
    std::fprintf(stderr, "tonewright-pt-render: %s\n", message.c_str());
    return 1;
}

bool number(const std::string& s, double& out)
{
    char* end = nullptr;
    out = std::strtod(s.c_str(), &end);
    return end != s.c_str() && !*end && std::isfinite(out);
}

bool whole(const std::string& s, int& out)
{
    double x = 0;
    if (!number(s, x) || x != std::floor(x) || std::fabs(x) > 1e9) return false;
    out = static_cast<int>(x);
    return true;
}

bool parse(int argc, char** argv, Options& o, std::string& why)
{
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        std::string v;
        const auto value = [&] { return i + 1 < argc ? (v = argv[++i], true) : false; };
        const auto bad = [&] { return why = "bad " + a, false; };
        int n = 0, lo = 0, hi = 0, seed = 1;
        if (a == "-h" || a == "--help") {
            o.help = true;
            return true;
        } else if (a == "--type") {
            if (!value() || (v != "mono" && v != "stereo")) return bad();
            o.channels = v == "mono" ? 1 : 2;
        } else if (a == "--out-channels") {
            if (!value() || !whole(v, o.outChannels) || o.outChannels < 1 || o.outChannels > 2) return bad();
        } else if (a == "--rate") {
            if (!value() || !whole(v, n) || n < 1) return bad();
            o.rate = n;
        } else if (a == "--block") {
            if (!value() || !whole(v, n) || n < 1) return bad();
            o.blocks = offline::BlockSchedule::Fixed(n);
        } else if (a == "--vary") {
            char extra = 0;
            if (!value()) return bad();
            const int got = std::sscanf(v.c_str(), "%d:%d:%d%c", &lo, &hi, &seed, &extra);
            if ((got != 2 && got != 3) || lo < 1 || hi < lo) return bad();
            o.blocks = offline::BlockSchedule::Varying(lo, hi, static_cast<unsigned>(seed));
        } else if (a == "--tail") {
            double seconds = 0;
            if (!value() || !number(v, seconds) || seconds < 0 || seconds > 3600) return bad();
            o.tail = offline::Tail::Fixed(seconds);
        } else if (a == "--chunk" || a == "--save-chunk") {
            if (!value()) return bad();
            (a == "--chunk" ? o.chunk : o.saveChunk) = v;
        } else if (a == "--program") {
            if (!value() || !whole(v, o.program) || o.program < 0 || o.program > 127) return bad();
        } else if (a == "--param") {
            double x = 0;
            const size_t eq = value() ? v.find('=') : std::string::npos;
            if (eq == std::string::npos || !whole(v.substr(0, eq), n) || !number(v.substr(eq + 1), x)) return bad();
            o.params.emplace_back(n, x);
        } else if (a == "--bypass") {
            o.bypass = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return why = "unknown option " + a, false;
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2) return why = "expected IN.wav OUT.wav", false;
    o.input = files[0];
    o.output = files[1];
    return true;
}

}  // namespace

}  // namespace tonewright

int main(int argc, char** argv)
{
    using namespace tonewright;
    Options o;
    std::string why;
    if (!parse(argc, argv, o, why)) {
        std::fprintf(stderr, "tonewright-pt-render: %s\n%s", why.c_str(), kUsage);
        return 2;
    }
    if (o.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }

    AudioClip in;
    std::string error;
    if (!readWav(o.input, in, error)) return fail(error);
    if (in.channels < 1 || in.channels > 2) return fail(o.input + ": 1 or 2 channels are rendered");
    if (o.rate > 0 && o.rate != in.sampleRate) in = resample(in, o.rate);
    const int channels = o.channels ? o.channels : in.channels;
    if (channels == 1 && in.channels == 2) return fail("a stereo file needs the stereo type");
    const int outChannels = o.outChannels ? o.outChannels : channels;
    if (outChannels > channels) return fail("the mono type has one output");

    ComponentResult result = kPlugInNoErr;
    auto deliverable = pthost::Deliverable::Load(&result);
    if (!deliverable) return fail("the plug-in did not load (" + std::to_string(result) + ")");
    CEffectType* type = deliverable->type(channels);
    auto instance = type ? pthost::Instance::Make(*type, in.sampleRate, &result) : nullptr;
    if (!instance) return fail("no instance of the plug-in (" + std::to_string(result) + ")");
    auto& process = dynamic_cast<tonewright::CTemplateNoUIProcess&>(instance->process());
    const OSType chunkID = process.GetChunks().at(0).id;

    if (!o.chunk.empty()) {
        std::vector<char> bytes;
        if (!offline::readFile(o.chunk, bytes)) return fail("cannot read " + o.chunk);
        const std::string text(bytes.begin(), bytes.end());
        const std::string before = pthost::ChunkText(instance->readChunk(chunkID));
        std::vector<unsigned char> record = pthost::ChunkRecord(text);
        result = instance->writeChunk(chunkID, record);
        const std::string after = pthost::ChunkText(instance->readChunk(chunkID));
        if (result != kPlugInNoErr || (after == before && after != text))
            return fail("the plug-in refused the chunk in " + o.chunk);
    }
    if (o.program >= 0) {
        instance->sendMidi({0xC0, static_cast<unsigned char>(o.program), 0});
        process.GetEffect().waitForWorker();
    }
    for (const auto& [index, value] : o.params) {
        if (index < 0 || index >= process.GetMasterBypassControlIndex() - 1)
            return fail("the plug-in has no parameter " + std::to_string(index));
        instance->setControl(index + 1, value);
    }
    if (o.bypass) process.HostSetControlValue(process.GetMasterBypassControlIndex(), 1);
    if (!o.saveChunk.empty()) {
        const std::string text = pthost::ChunkText(instance->readChunk(chunkID));
        std::ofstream file(o.saveChunk, std::ios::binary);
        if (text.empty() || !file.write(text.data(), static_cast<std::streamsize>(text.size())) || !file.flush())
            return fail("cannot save the state to " + o.saveChunk);
    }

    const auto start = std::chrono::steady_clock::now();
    const AudioClip out = pthost::render(*instance, in, outChannels, o.blocks, o.tail);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!writeWavFloat(o.output, out)) return fail("cannot write " + o.output);

    unsigned char name[256] = {};
    type->GetProcessTypeName(name);
    const double seconds = static_cast<double>(in.frames()) / in.sampleRate;
    std::printf("plug-in   %.*s, %s type, %d controls\n", name[0], reinterpret_cast<const char*>(name + 1),
                channels == 2 ? "stereo" : "mono", process.GetNumControls());
    std::printf("render    %s: %d ch, %.0f Hz, %.2f s -> %d ch, %.2f s tail%s\n", o.input.c_str(), in.channels,
                in.sampleRate, seconds, out.channels, static_cast<double>(out.frames() - in.frames()) / in.sampleRate,
                o.bypass ? ", bypassed" : "");
    printLevels(out);
    std::printf("time      %.3f s (%.1fx real time)\nwrote     %s\n", elapsed, elapsed > 0 ? seconds / elapsed : 0.0,
                o.output.c_str());
    return 0;
}
