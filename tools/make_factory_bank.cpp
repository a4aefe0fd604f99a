// Builds the factory bank "QS Factory.xml" and the preamp descriptions from
// the designs of tools/factory_bank/Programs.cpp: every program is a preamp
// voicing, a cabinet impulse and engine settings, applied to a fresh engine
// through its parameter calls and read back as the complete record. The
// bank's text is loaded again, each program rendered from the demo clip and
// measured, its master level set so that every program of a kind plays at
// that kind's loudness, and the result held to the rules of Design.h.
//
// usage: make-factory-bank [options] CLIP.wav IMPULSES-FOLDER RESOURCES-FOLDER
//   --doc FILE           the bank's documentation: what follows its
//                        measurements marker is the generator's report
//   --reference REF.wav  a render of the reference: it must measure as the
//                        band balance the designs hold
//   --check              write nothing: the bank, the preamp descriptions and
//                        the --doc file must hold exactly what is made
//   --audition NAME      write nothing: measure only the named programs and
//                        print their rows (repeatable)
//   --wav FOLDER         keep the renders (mono mix, 32-bit float)
//   --threads N          render on N threads (default: every core)
//
// Writes RESOURCES/banks/QS Factory.xml, RESOURCES/preamps/<family>/<name>.xml
// and the --doc file, or refuses to when a rule is broken. The output depends
// only on the inputs: the same bytes on every run.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cabinet/ImpulseFile.h"
#include "common/WavFile.h"
#include "dsp/StringUtil.h"
#include "engine/Tonewright.h"
#include "factory_bank/Design.h"
#include "factory_bank/Measure.h"
#include "plugin/PresetXml.h"
#include "plugin/XmlReader.h"

namespace tonewright::factory {

namespace {

namespace fs = std::filesystem;

constexpr double kTailSeconds = 6.0;   // silence after the clip, for echo and reverb tails
constexpr double kPeakLimitDb = -1.0;  // no program may peak above this
constexpr double kSpreadLimitDb = 0.1;  // RMS spread of a kind over the clip
constexpr double kMasterLowestDb = -24.0, kMasterHighestDb = 18.0;
// Two programs a guitarist could not tell apart.
constexpr double kAlikeCorrelation = 0.995, kAlikeBandsDb = 0.5;
// Cabinet impulses are cut to this many samples (with a falling half-Hann
// over the last quarter): 99.99 % of every synthetic cabinet's energy lies
// in the first 1200 samples, and the bank stays a few megabytes.
constexpr int kImpulseLength = 2048;
const char* const kMarker = "<!-- measurements: written by make-factory-bank -->";

void complain(const char* format, ...) __attribute__((format(printf, 1, 2)));
void complain(const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    std::fputs("make-factory-bank: ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    va_end(args);
}

std::string format(const char* f, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* f, ...)
{
    char text[512];
    std::va_list args;
    va_start(args, f);
    std::vsnprintf(text, sizeof text, f, args);
    va_end(args);
    return text;
}

// Runs job(i) for i in [0, count) on `threads` threads.
template <typename Job>
void parallel(size_t count, int threads, Job job)
{
    std::atomic<size_t> next{0};
    std::vector<std::thread> pool;
    for (int t = 0; t < std::max(1, threads); ++t)
        pool.emplace_back([&] {
            for (size_t i = next++; i < count; i = next++) job(i);
        });
    for (std::thread& t : pool) t.join();
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return in ? s.str() : std::string();
}

// ---------------------------------------------------------------------------
// Building the records.

struct Impulse {
    std::vector<double> left, right;
    int length = 0;
    bool mono = true;
    int rate = 0;
    std::string name;
};

bool loadImpulse(const std::string& folder, const std::string& stem, Impulse& out)
{
    const std::string path = folder + "/" + stem + ".wav";
    int frames = 0;
    if (!LoadImpulse(path.c_str(), &out.left, &out.right, &frames, &out.rate, &out.mono)) {
        complain("cannot read the cabinet %s", path.c_str());
        return false;
    }
    out.length = std::min(frames, kImpulseLength);
    out.left.resize(size_t(out.length));
    out.right.resize(size_t(out.length));
    const int fade = out.length / 4;
    for (int i = 0; i < fade; ++i) {
        const double w = 0.5 + 0.5 * std::cos(M_PI * double(i + 1) / double(fade));
        out.left[size_t(out.length - fade + i)] *= w;
        out.right[size_t(out.length - fade + i)] *= w;
    }
    out.name = stem + ".wav";
    return true;
}

bool build(const Program& design, const std::map<std::string, PreampParameters>& preamps,
           const std::map<std::string, Impulse>& impulses, EffectProgram& out)
{
    const auto preamp = preamps.find(design.voicing);
    const auto impulse = impulses.find(design.cabinet);
    if (preamp == preamps.end() || impulse == impulses.end()) {
        complain("%s: no preamp \"%s\" or cabinet \"%s\"", design.name, design.voicing, design.cabinet);
        return false;
    }
    auto engine = std::make_unique<Tonewright>();
    engine->SetPreamp(&preamp->second);
    const Impulse& i = impulse->second;
    if (!engine->SetCabinetImpulse(i.left.data(), i.right.data(), i.length, i.mono, double(i.rate), i.name.c_str()))
        return false;
    for (const Setting& s : design.settings) engine->SetParameter(s.id, s.value);
    out.params = *engine->GetParameters();
    out.params.master_level = 0.0;
    copyBounded(out.name, design.name);
    return true;
}

// The bank as its file holds it: written to text and read back.
bool roundTrip(EffectProgram* bank)
{
    pugi::xml_document doc;
    if (!ParseXml(doc, BankFileText(bank))) return false;
    GetBankFromXML(bank, doc.document_element());
    return true;
}

// ---------------------------------------------------------------------------
// The rules.

struct Options {
    std::string clip, impulses, resources, reference, doc, wavFolder;
    std::vector<std::string> audition;
    bool check = false;
    int threads = int(std::max(1u, std::thread::hardware_concurrency()));
};

// What every step works on.
struct Job {
    Options opt;
    std::vector<Voicing> voices;
    std::vector<Program> designs;
    std::vector<size_t> chosen;  // the slots measured
    std::vector<double> input;   // the clip and a silent tail
    size_t clipFrames = 0;
    std::unique_ptr<EffectProgram[]> bank = std::make_unique<EffectProgram[]>(kBankSize);
    std::vector<Measurement> m = std::vector<Measurement>(kBankSize);
    bool ok = true;

    void refuse(const std::string& why)
    {
        complain("%s", why.c_str());
        ok = false;
    }
    double master(size_t i) const { return bank[i].params.master_level; }
    double rms(size_t i) const { return m[i].rmsDb + master(i); }
    double peak(size_t i) const { return m[i].peakDb + master(i); }
};

bool hasWord(const char* name, const char* word)
{
    std::istringstream s(name);
    std::string w;
    while (s >> w)
        if (w == word) return true;
    return false;
}

// The band a name's tilt word excuses from the comparison with the
// reference.
int excusedBand(const char* name)
{
    for (const Word& w : words())
        if (hasWord(name, w.word)) {
            if (w.promise == Promise::bright || w.promise == Promise::dark) return 3;
            if (w.promise == Promise::scooped) return 1;
        }
    return -1;
}

double worstFromReference(const Program& p, const Bands& b)
{
    double worst = 0.0;
    for (int k = 0; k < 4; ++k)
        if (k != excusedBand(p.name)) worst = std::max(worst, std::fabs(b.share[k] - kReference.share[k]));
    return worst;
}

// The median share of band k over the measured programs of a kind.
double medianShare(const Job& job, Kind kind, int k)
{
    std::vector<double> shares;
    for (size_t i : job.chosen)
        if (job.designs[i].kind == kind) shares.push_back(job.m[i].bands.share[k]);
    std::sort(shares.begin(), shares.end());
    return shares[shares.size() / 2];
}

bool effectOn(const TonewrightParameters& p, Promise promise)
{
    switch (promise) {
    case Promise::chorus: return p.chorus.enable;
    case Promise::flanger: return p.flanger.enable;
    case Promise::phaser: return p.phaser.enable;
    case Promise::tremolo: return p.tremolo.enable;
    case Promise::wah: return p.wah.enable;
    case Promise::echo: return p.echo.enable;
    case Promise::reverb: return p.reverb.enable;
    case Promise::gate: return p.gate.enable;
    case Promise::boost: return p.boost_enabled;
    default: return true;
    }
}

const char* promiseText(Promise p)
{
    switch (p) {
    case Promise::clean: return "clean";
    case Promise::breakup: return "breaking up";
    case Promise::compressed: return "compressed";
    case Promise::stereo: return "stereo";
    case Promise::bright: return "bright";
    case Promise::dark: return "dark";
    case Promise::scooped: return "scooped";
    default: return "with that effect on";
    }
}

// Whether program i is what its name's word promises.
bool keeps(const Job& job, size_t i, Promise promise)
{
    const Measurement& m = job.m[i];
    const Kind kind = job.designs[i].kind;
    switch (promise) {
    case Promise::clean: return m.thdDb <= info(Kind::clean).thdAtMostDb;
    case Promise::breakup:
        return m.thdDb > info(Kind::clean).thdAtMostDb && m.compression <= info(Kind::edge).compressionAtMost;
    case Promise::compressed: return m.compression <= kCompressedAtMost;
    case Promise::stereo: return m.leftRight < 0.99;
    case Promise::bright: return m.bands.share[3] >= medianShare(job, kind, 3) + kTiltDb;
    case Promise::dark: return m.bands.share[3] <= medianShare(job, kind, 3) - kTiltDb;
    case Promise::scooped: return m.bands.share[1] <= medianShare(job, kind, 1) - kTiltDb;
    default: return effectOn(job.bank[i].params, promise);
    }
}

void checkProgram(Job& job, size_t i)
{
    const Program& d = job.designs[i];
    const Measurement& m = job.m[i];
    const KindInfo& kind = info(d.kind);
    if (job.peak(i) > kPeakLimitDb) job.refuse(format("%s peaks at %.2f dBFS", d.name, job.peak(i)));
    if (job.master(i) < kMasterLowestDb || job.master(i) > kMasterHighestDb)
        job.refuse(format("%s needs a master level of %.1f dB", d.name, job.master(i)));
    if (kind.nearReference && worstFromReference(d, m.bands) > kReferenceLimitDb)
        job.refuse(format("%s is %.1f dB from the reference's band balance", d.name, worstFromReference(d, m.bands)));
    if (m.thdDb > kind.thdAtMostDb || m.thdDb < kind.thdAtLeastDb)
        job.refuse(format("%s distorts by %.1f dB, not %s", d.name, m.thdDb, kind.name));
    if (m.compression > kind.compressionAtMost)
        job.refuse(format("%s compresses too little for %s (index %.2f)", d.name, kind.name, m.compression));
    for (const Word& w : words())
        if (hasWord(d.name, w.word) && !keeps(job, i, w.promise))
            job.refuse(format("%s is not %s, as \"%s\" promises", d.name, promiseText(w.promise), w.word));
}

// The levelled RMS and peaks of a kind's measured programs.
struct Levels {
    int count = 0;
    double quietest = 1e9, loudestRms = -1e9, loudest = -1e9;

    double spread() const { return loudestRms - quietest; }
};

Levels levels(const Job& job, Kind kind)
{
    Levels l;
    for (size_t i : job.chosen)
        if (job.designs[i].kind == kind) {
            ++l.count;
            l.quietest = std::min(l.quietest, job.rms(i));
            l.loudestRms = std::max(l.loudestRms, job.rms(i));
            l.loudest = std::max(l.loudest, job.peak(i));
        }
    return l;
}

struct Pair {
    size_t a, b;
    double correlation, bands;
};

// Every pair of measured programs, the most alike first.
std::vector<Pair> pairs(const Job& job)
{
    std::vector<Pair> all;
    for (size_t x = 0; x < job.chosen.size(); ++x)
        for (size_t y = x + 1; y < job.chosen.size(); ++y) {
            const size_t a = job.chosen[x], b = job.chosen[y];
            all.push_back({a, b, 0.0, bandDistance(job.m[a].bands, job.m[b].bands)});
        }
    parallel(all.size(), job.opt.threads,
             [&](size_t k) { all[k].correlation = correlation(job.m[all[k].a].mono, job.m[all[k].b].mono); });
    std::sort(all.begin(), all.end(), [](const Pair& p, const Pair& q) { return p.correlation > q.correlation; });
    return all;
}

// ---------------------------------------------------------------------------
// The report.

std::string bandText(const Bands& b)
{
    return format("%.1f | %.1f | %.1f | %.1f", b.share[0], b.share[1], b.share[2], b.share[3]);
}

std::string report(const Job& job, const std::vector<Pair>& alike)
{
    std::ostringstream out;
    out << "Levels by kind (demo clip, 44.1 kHz, RMS over the clip, peaks with " << kTailSeconds << " s of tail):\n\n"
        << "| kind | programs | target RMS dBFS | RMS spread dB | loudest peak dBFS |\n|---|---:|---:|---:|---:|\n";
    for (int k = 0; k < kKinds; ++k)
        if (const Levels l = levels(job, Kind(k)); l.count > 0)
            out << format("| %s | %d | %.1f | %.2f | %.1f |\n", info(Kind(k)).name, l.count, info(Kind(k)).targetDb,
                          l.spread(), l.loudest);
    out << "\nPrograms (band shares in dB of the total; compression: the slope of the output's level against the "
           "input's over the clip's notes; THD: harmonics of a -14 dBFS 110 Hz note after the amplifier):\n\n"
           "| slot | program | kind | preamp | cabinet | master dB | RMS dBFS | peak dBFS | compression | THD dB "
           "| 80-250 | 250-1k | 1k-4k | 4k-10k | worst vs ref |\n"
           "|---:|---|---|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n"
        << "| | reference | | | | | | | | | " << bandText(kReference) << " | |\n";
    for (size_t i : job.chosen) {
        const Program& d = job.designs[i];
        const Measurement& m = job.m[i];
        out << format("| %zu | %s | %s | %s | %s | %.1f | %.1f | %.1f | %.2f | %.1f | %s | %.1f%s |\n", i, d.name,
                      info(d.kind).name, d.voicing, d.cabinet, job.master(i), job.rms(i), job.peak(i), m.compression,
                      m.thdDb, bandText(m.bands).c_str(), worstFromReference(d, m.bands),
                      info(d.kind).nearReference ? "" : " (n/a)");
    }
    out << "\nThe most alike pairs (correlation of the mono mixes over the clip; band distance: the largest "
           "difference of a band share):\n\n| programs | correlation | band distance dB |\n|---|---:|---:|\n";
    for (size_t k = 0; k < std::min<size_t>(8, alike.size()); ++k)
        out << format("| %s / %s | %.3f | %.2f |\n", job.designs[alike[k].a].name, job.designs[alike[k].b].name,
                      alike[k].correlation, alike[k].bands);
    return out.str();
}

// ---------------------------------------------------------------------------
// Files.

bool parse(int argc, char** argv, Options& o)
{
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--check") o.check = true;
        else if (a == "--reference" && hasValue) o.reference = argv[++i];
        else if (a == "--doc" && hasValue) o.doc = argv[++i];
        else if (a == "--audition" && hasValue) o.audition.push_back(argv[++i]);
        else if (a == "--wav" && hasValue) o.wavFolder = argv[++i];
        else if (a == "--threads" && hasValue) o.threads = std::max(1, std::atoi(argv[++i]));
        else if (a.rfind("--", 0) == 0) return false;
        else positional.push_back(a);
    }
    if (positional.size() != 3) return false;
    o.clip = positional[0];
    o.impulses = positional[1];
    o.resources = positional[2];
    return true;
}

fs::path bankPath(const Options& o) { return fs::path(o.resources) / "banks" / "QS Factory.xml"; }
fs::path preampPath(const Options& o, const Voicing& v)
{
    return fs::path(o.resources) / "preamps" / v.family / (std::string(v.name) + ".xml");
}

// The reference render must measure as the band balance the designs hold.
bool referenceMatches(const std::string& path)
{
    AudioClip ref;
    std::string error;
    if (!readWav(path, ref, error)) {
        complain("%s: %s", path.c_str(), error.c_str());
        return false;
    }
    std::vector<double> mono(size_t(ref.frames()), 0.0);
    for (const auto& c : ref.samples)
        for (size_t i = 0; i < mono.size(); ++i) mono[i] += c[i] / double(ref.channels);
    const Bands b = bandBalance(mono, mono.size(), ref.sampleRate);
    for (int k = 0; k < 4; ++k)
        if (std::fabs(b.share[k] - kReference.share[k]) > 0.005) {
            complain("%s measures %.2f | %.2f | %.2f | %.2f, not the reference the designs hold", path.c_str(),
                     b.share[0], b.share[1], b.share[2], b.share[3]);
            return false;
        }
    return true;
}

// The documentation with its measurements section replaced; empty when the
// marker is missing.
std::string documented(const std::string& doc, const std::string& measurements)
{
    const size_t at = doc.find(kMarker);
    if (at == std::string::npos) return {};
    return doc.substr(0, at + std::strlen(kMarker)) + "\n\n" + measurements;
}

// The first line where two texts differ, for the message.
std::string firstDifference(const std::string& committed, const std::string& made)
{
    std::istringstream a(committed), b(made);
    std::string x, y;
    for (int line = 1;; ++line) {
        const bool more = bool(std::getline(a, x)), also = bool(std::getline(b, y));
        if (!more && !also) return "";
        if (x != y || more != also)
            return format("line %d: committed \"%.200s\", made \"%.200s\"", line, more ? x.c_str() : "",
                          also ? y.c_str() : "");
    }
}

struct Output {
    fs::path path;
    std::string text;
};

// The files the generator makes, with the text each must hold.
std::vector<Output> outputs(const Job& job, const std::string& measurements, const std::string& doc)
{
    std::vector<Output> files = {{bankPath(job.opt), BankFileText(job.bank.get())}};
    for (const Voicing& v : job.voices) files.push_back({preampPath(job.opt, v), PreampFileText(v.preamp)});
    if (!job.opt.doc.empty()) files.push_back({job.opt.doc, documented(doc, measurements)});
    return files;
}

bool compare(const Job& job, const std::vector<Output>& files)
{
    bool same = true;
    for (const Output& f : files) {
        const std::string committed = readFile(f.path);
        if (committed != f.text) {
            complain("%s differs from what the generator makes: %s", f.path.c_str(),
                     firstDifference(committed, f.text).c_str());
            same = false;
        }
    }
    std::set<fs::path> expected, present;
    for (const Voicing& v : job.voices) expected.insert(preampPath(job.opt, v));
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(fs::path(job.opt.resources) / "preamps", ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        if (it->is_regular_file()) present.insert(it->path());
    if (present != expected) {
        complain("the preamp folder holds other files than the voicings");
        same = false;
    }
    return same;
}

bool write(const Job& job, const std::vector<Output>& files)
{
    fs::remove_all(fs::path(job.opt.resources) / "preamps");
    for (const Output& f : files) {
        std::error_code ec;
        fs::create_directories(f.path.parent_path(), ec);
        const fs::path temporary = f.path.string() + ".new";
        {
            std::ofstream out(temporary, std::ios::binary);
            out << f.text;
            if (!out.flush()) {
                complain("cannot write %s", temporary.c_str());
                return false;
            }
        }
        fs::rename(temporary, f.path, ec);
        if (ec) {
            complain("cannot write %s: %s", f.path.c_str(), ec.message().c_str());
            return false;
        }
    }
    return true;
}

bool keepRenders(const Job& job)
{
    for (size_t i : job.chosen) {
        AudioClip out;
        out.sampleRate = kRate;
        out.channels = 1;
        out.samples = {std::vector<double>(job.m[i].mono.begin(), job.m[i].mono.end())};
        if (!writeWavFloat(job.opt.wavFolder + "/" + job.designs[i].name + ".wav", out)) return false;
    }
    return true;
}

int run(int argc, char** argv)
{
    Job job;
    if (!parse(argc, argv, job.opt)) {
        std::fprintf(stderr, "usage: make-factory-bank [--check] [--doc FILE] [--reference REF.wav] [--audition NAME]... "
                             "[--wav FOLDER] [--threads N] CLIP.wav IMPULSES-FOLDER RESOURCES-FOLDER\n");
        return 2;
    }
    const auto started = std::chrono::steady_clock::now();
    const Options& opt = job.opt;

    AudioClip clip;
    std::string error;
    if (!readWav(opt.clip, clip, error) || clip.sampleRate != kRate || clip.channels != 1) {
        complain("%s: %s", opt.clip.c_str(), error.empty() ? "not a mono clip at 44100 Hz" : error.c_str());
        return 1;
    }
    job.input = clip.samples[0];
    job.clipFrames = job.input.size();
    job.input.resize(job.clipFrames + size_t(kTailSeconds * kRate), 0.0);
    const std::string doc = opt.doc.empty() ? std::string() : readFile(opt.doc);
    if (!opt.doc.empty() && documented(doc, "").empty()) {
        complain("%s: no line \"%s\"", opt.doc.c_str(), kMarker);
        return 1;
    }
    if (!opt.reference.empty() && !referenceMatches(opt.reference)) return 1;

    job.voices = voicings();
    std::map<std::string, PreampParameters> preamps;
    for (const Voicing& v : job.voices) preamps[v.name] = v.preamp;
    job.designs = programs();
    if (job.designs.size() != size_t(kBankSize)) {
        complain("%zu programs, not %d", job.designs.size(), kBankSize);
        return 1;
    }
    std::set<std::string> names;
    std::map<std::string, Impulse> impulses;
    for (const Program& p : job.designs) {
        if (std::strlen(p.name) == 0 || std::strlen(p.name) >= size_t(EffectProgram::kNameSize) ||
            !names.insert(p.name).second)
            job.refuse(format("program name \"%s\" is empty, too long or repeated", p.name));
        if (impulses.count(p.cabinet) == 0 && !loadImpulse(opt.impulses, p.cabinet, impulses[p.cabinet])) return 1;
    }
    if (!job.ok) return 1;
    for (size_t i = 0; i < job.designs.size(); ++i)
        if (opt.audition.empty() ||
            std::find(opt.audition.begin(), opt.audition.end(), job.designs[i].name) != opt.audition.end())
            job.chosen.push_back(i);

    std::atomic<bool> built{true};
    parallel(job.chosen.size(), opt.threads, [&](size_t k) {
        if (!build(job.designs[job.chosen[k]], preamps, impulses, job.bank[job.chosen[k]])) built = false;
    });
    if (!built || !roundTrip(job.bank.get())) return 1;

    // Measured at 0 dB: the master level is the last stage, a plain gain.
    parallel(job.chosen.size(), opt.threads, [&](size_t k) {
        const size_t i = job.chosen[k];
        job.m[i] = measure(job.bank[i].params, job.input, job.clipFrames);
    });
    for (size_t i : job.chosen)
        job.bank[i].params.master_level = std::round((info(job.designs[i].kind).targetDb - job.m[i].rmsDb) * 10.0) / 10.0;

    for (size_t i : job.chosen) checkProgram(job, i);
    for (int k = 0; k < kKinds; ++k)
        if (const Levels l = levels(job, Kind(k)); l.count > 0 && l.spread() > kSpreadLimitDb + 1e-9)
            job.refuse(format("the %s programs spread over %.2f dB", info(Kind(k)).name, l.spread()));
    const std::vector<Pair> alike = pairs(job);
    for (const Pair& p : alike)
        if (p.correlation >= kAlikeCorrelation && p.bands <= kAlikeBandsDb)
            job.refuse(format("%s and %s sound alike (correlation %.4f, bands within %.2f dB)", job.designs[p.a].name,
                              job.designs[p.b].name, p.correlation, p.bands));

    const std::string measurements = report(job, alike);
    if (!opt.wavFolder.empty() && !keepRenders(job)) return 1;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!opt.audition.empty()) {
        std::printf("%s", measurements.c_str());
        return job.ok ? 0 : 1;
    }
    const std::vector<Output> files = outputs(job, measurements, doc);
    if (opt.check) {
        const bool same = compare(job, files);
        std::printf("make-factory-bank: %s (%zu programs rendered on %d threads in %.1f s)\n",
                    same && job.ok ? "the committed files match" : "MISMATCH", job.chosen.size(), opt.threads, seconds);
        return same && job.ok ? 0 : 1;
    }
    if (!job.ok) {
        std::printf("%s", measurements.c_str());
        complain("nothing written");
        return 1;
    }
    if (!write(job, files)) return 1;
    std::printf("make-factory-bank: wrote %zu files (%zu programs rendered on %d threads in %.1f s)\n", files.size(),
                job.chosen.size(), opt.threads, seconds);
    return 0;
}

}  // namespace

}  // namespace tonewright::factory

int main(int argc, char** argv) { return tonewright::factory::run(argc, argv); }
