// Builds the factory bank "QS Factory.xml" and the preamp descriptions from
// the engine's own records: every program is a preamp voicing, a cabinet
// impulse and a list of engine parameter settings, applied to a fresh engine
// through its parameter calls and read back as the complete record. Each
// program is then rendered from the demo clip and its master level set so
// that every program of a kind plays at that kind's loudness; the bank is
// written, loaded again and rendered once more for the report.
//
// usage: make-factory-bank [options] CLIP.wav IMPULSES-FOLDER RESOURCES-FOLDER
//   --reference REF.wav  band balance to compare the programs with
//   --report FILE        write the measurements as Markdown tables
//   --check              write nothing: compare the committed files with what
//                        the generator makes, and render slot 0 and one
//                        program of each kind to compare their master levels
//   --audition NAME      write nothing: render only the named programs and
//                        print their measurements (repeatable)
//   --wav FOLDER         keep the renders (mono mix, 32-bit float)
//   --threads N          render on N threads (default 4)
//
// Writes RESOURCES/banks/QS Factory.xml and RESOURCES/preamps/<family>/<name>.xml.
// The output depends only on the inputs: the same bytes on every run.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
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

#include "cabinet/Fft.h"
#include "cabinet/ImpulseFile.h"
#include "common/WavFile.h"
#include "dsp/StringUtil.h"
#include "engine/Tonewright.h"
#include "plugin/PresetXml.h"

using namespace tonewright;

namespace {

namespace fs = std::filesystem;

constexpr double kRate = 44100.0;
constexpr int kBlock = 512;
constexpr double kTailSeconds = 6.0;   // silence after the clip, for echo and reverb tails
constexpr double kPeakLimitDb = -1.0;  // no program may peak above this
// Cabinet impulses are cut to this many samples (with a falling half-Hann
// over the last quarter): 99.99 % of every synthetic cabinet's energy lies
// in the first 1200 samples, and the bank stays a few megabytes.
constexpr int kImpulseLength = 2048;

// ---------------------------------------------------------------------------
// Engine parameter ids (physical values), named.

enum Id : int {
    kGateOn = 1, kGateThreshold, kGateGating, kGateAttack, kGateRelease,
    kWahOn, kWahType, kWahPedal,
    kSustainerOn, kSustainerType, kSustainerAmount, kSustainerAttack, kSustainerRelease,
    kPreampOn, kGain, kBass, kMids, kTreble, kPresence,
    kPowerOn, kPowerType, kPowerDrive, kPowerBias, kPowerDynamics,
    kEqPost = 26, kEqOn, kEqType, kEqBand1, kEqLevel = 36, kEqMidFrequency, kEqMidLevel,
    kCabinetOn = 39, kWindow, kMinimumPhase, kForcedMono, kDiOn, kDiFrequency, kDiQ,
    kTremoloPost = 46, kTremoloOn, kTremoloSpeed, kTremoloDepth, kTremoloType, kTremoloWaveform,
    kChorusPost = 52, kChorusOn, kChorusType, kChorusSpeed, kChorusDepth, kChorusMix, kChorusDelay,
    kFlangerPost = 59, kFlangerOn, kFlangerType, kFlangerSpeed, kFlangerDepth, kFlangerDelay, kFlangerSweep,
    kFlangerRegeneration, kFlangerPhase,
    kPhaserPost = 68, kPhaserOn, kPhaserType, kPhaserSpeed, kPhaserDepth, kPhaserSweep, kPhaserRegeneration,
    kPhaserStages,
    kEchoPost = 76, kEchoOn, kEchoType, kEchoDelay, kEchoFeedback, kEchoDirect, kEchoDelayLevel, kEchoStyle,
    kEchoFilterInput, kEchoTails,
    kReverbOn = 86, kReverbType, kReverbLevel,
    kOversampling = 89, kLowCut, kDeep, kBright, kBoost, kMaster,
};

struct Setting {
    int id;
    double value;
};
using Settings = std::vector<Setting>;

Settings operator+(Settings a, const Settings& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

double fromDb(double db) { return std::pow(10.0, db / 20.0); }

// The amplifier's knobs: gain (the gain control's wiper, 0.05..1) and the
// tone stack's four.
Settings amp(double gain, double bass, double mids, double treble, double presence)
{
    return {{kGain, gain}, {kBass, bass}, {kMids, mids}, {kTreble, treble}, {kPresence, presence}};
}

// Power amp: type 0 single-ended, 1 push-pull, 2 push-pull with asymmetric
// tubes; drive in dB (-6..+24).
Settings power(int type, double driveDb, double bias, double dynamics)
{
    return {{kPowerType, double(type)}, {kPowerDrive, fromDb(driveDb)}, {kPowerBias, bias}, {kPowerDynamics, dynamics},
            {kPowerOn, 1}};
}

Settings gate(double thresholdDb, double release = 0.08)
{
    return {{kGateThreshold, thresholdDb}, {kGateGating, 0.5}, {kGateAttack, 0.001}, {kGateRelease, release},
            {kGateOn, 1}};
}

// Pedal mode (type 0) with a fixed pedal, or auto (type 1) with a sensitivity.
Settings wah(int type, double pedal) { return {{kWahType, double(type)}, {kWahPedal, pedal}, {kWahOn, 1}}; }

Settings sustainer(int type, double amount, double attack = 0.005, double release = 0.15)
{
    return {{kSustainerType, double(type)}, {kSustainerAmount, amount}, {kSustainerAttack, attack},
            {kSustainerRelease, release}, {kSustainerOn, 1}};
}

Settings boost() { return {{kBoost, 1}}; }
Settings deep() { return {{kDeep, 1}}; }
Settings bright() { return {{kBright, 1}}; }

// Seven octave bands (set 0: 100 Hz .. 6.4 kHz), output level and the
// parametric mid band, after the power amp.
struct EqCurve {
    double bands[7];
    double level = 0.0;
    double midFrequency = 1000.0;
    double midLevel = 0.0;
};
Settings eq(const EqCurve& c)
{
    Settings s = {{kEqType, 0}};
    for (int i = 0; i < 7; ++i) s.push_back({kEqBand1 + i, c.bands[i]});
    s = s + Settings{{kEqLevel, c.level}, {kEqMidFrequency, c.midFrequency}, {kEqMidLevel, c.midLevel},
                     {kEqPost, 1}, {kEqOn, 1}};
    return s;
}

// Placement of the modulation and delay effects: before the amplifier
// (mono) or after the cabinet (stereo).
enum class Place { pre, post };
double postFlag(Place p) { return p == Place::post ? 1.0 : 0.0; }

Settings tremolo(Place place, int type, double speed, double depth, double waveform)
{
    return {{kTremoloType, double(type)}, {kTremoloSpeed, speed}, {kTremoloDepth, depth}, {kTremoloWaveform, waveform},
            {kTremoloPost, postFlag(place)}, {kTremoloOn, 1}};
}

Settings chorus(Place place, int type, double speed, double depth, double mix, double delay)
{
    return {{kChorusType, double(type)}, {kChorusSpeed, speed}, {kChorusDepth, depth}, {kChorusMix, mix},
            {kChorusDelay, delay}, {kChorusPost, postFlag(place)}, {kChorusOn, 1}};
}

Settings flanger(Place place, int type, double speed, double depth, double delay, double sweep, double regeneration,
                 bool invert)
{
    return {{kFlangerType, double(type)},
            {kFlangerSpeed, speed},
            {kFlangerDepth, depth},
            {kFlangerDelay, delay},
            {kFlangerSweep, sweep},
            {kFlangerRegeneration, regeneration},
            {kFlangerPhase, invert ? 1.0 : 0.0},
            {kFlangerPost, postFlag(place)},
            {kFlangerOn, 1}};
}

Settings phaser(Place place, int type, double speed, double depth, double sweep, double regeneration, int stages)
{
    return {{kPhaserType, double(type)},
            {kPhaserSpeed, speed},
            {kPhaserDepth, depth},
            {kPhaserSweep, sweep},
            {kPhaserRegeneration, regeneration},
            {kPhaserStages, double(stages)},
            {kPhaserPost, postFlag(place)},
            {kPhaserOn, 1}};
}

// Echo after the cabinet: type 0 straight, 1 ping-pong; levels in dB; style
// 0 dark .. 1 clear.
Settings echo(int type, double delay, double feedback, double delayLevelDb, double style)
{
    return {{kEchoType, double(type)},
            {kEchoDelay, delay},
            {kEchoFeedback, feedback},
            {kEchoDirect, 0.0},
            {kEchoDelayLevel, delayLevelDb},
            {kEchoStyle, style},
            {kEchoFilterInput, 0},
            {kEchoTails, 1},
            {kEchoPost, 1},
            {kEchoOn, 1}};
}

// Reverb: 0 room, 1 club, 2 hall; level in dB.
Settings reverb(int type, double levelDb)
{
    return {{kReverbType, double(type)}, {kReverbLevel, levelDb}, {kReverbOn, 1}};
}

// ---------------------------------------------------------------------------
// Preamp voicings, each built from the preamp model's four gain stages.

FilterParameters off() { return {false, Filter::kLowPass, 1000.0, 0.7071, 0.0}; }
FilterParameters highPass1(double f) { return {true, Filter::kHighPass1, f, 0.7071, 0.0}; }
FilterParameters lowPass1(double f, double levelDb = 0.0) { return {true, Filter::kLowPass1, f, 0.7071, levelDb}; }
FilterParameters highShelf1(double f, double db) { return {true, Filter::kHighShelf1, f, 0.7071, db}; }

// A triode stage: gain, knee (clipping), symmetry and bias offset, its
// cathode feedback (gain lower by `shelf` dB below `corner` Hz), and the
// filters before and after it.
struct Triode {
    double gain;
    double clipping = 0.9;
    double symmetry = 0.0;
    double offset = 0.0;
    double shelf = -6.0;
    double corner = 300.0;
    FilterParameters pre = off();
    FilterParameters post = off();
};

GainStageParameters stage(const Triode& t)
{
    GainStageParameters s;
    s.enable = true;
    s.preFilter = t.pre;
    s.tube = {true, t.gain, true, t.clipping, t.symmetry, t.offset, true, t.shelf, t.corner};
    s.postFilter = t.post;
    return s;
}

GainStageParameters unused()
{
    GainStageParameters s = stage({1.0});
    s.enable = false;
    return s;
}

struct Voicing {
    const char* name;
    const char* family;  // sub-folder of Preamps
    PreampParameters preamp;
};

// Tone stack types: 0 plain four-band, 1 American, 2 British, 3 chimey
// class A (treble and bass, mids separate), 4 modern five-knob, 5 American
// high gain, 6 boutique class A, 7 rack preamp.
PreampParameters preamp(const char* name, std::vector<GainStageParameters> stages, int gainType, int gainAt,
                        int toneType, int toneAt)
{
    PreampParameters p;
    p.enable = true;
    for (int i = 0; i < 4; ++i) p.stages[i] = i < int(stages.size()) ? stages[size_t(i)] : unused();
    p.gainControl = {gainType, 0.5};
    p.gainControlLocation = gainAt;
    p.toneControl = {toneType, 0.5, 0.5, 0.5, 0.5};
    p.toneControlLocation = toneAt;
    copyBounded(p.name, name);
    return p;
}

std::vector<Voicing> voicings()
{
    std::vector<Voicing> v;
    // The big clean of an American combo: a first stage with plenty of
    // headroom, the scooped tone stack, a recovery stage, then the volume
    // control and a driver stage that breaks up only near full volume.
    v.push_back({"American Clean", "Clean",
                 preamp("American Clean",
                        {stage({1.6, 0.95, 0.0, 0.0, -2.0, 60.0, highPass1(30.0), lowPass1(12000.0)}),
                         stage({5.0, 0.9, 0.0, 0.0, -2.0, 60.0, off(), lowPass1(9000.0)}),
                         stage({15.0, 0.85, 0.1, 0.0, -2.0, 60.0, highPass1(40.0), lowPass1(10000.0)})},
                        0, 3, 1, 2)});
    // A hi-fi preamp: two quiet stages around the rack equaliser, for jazz
    // and for effects that want a clean canvas.
    v.push_back({"Studio Clean", "Clean",
                 preamp("Studio Clean",
                        {stage({1.2, 0.95, 0.0, 0.0, -1.0, 40.0, highPass1(25.0), lowPass1(16000.0)}),
                         stage({4.0, 0.95, 0.0, 0.0, -1.0, 40.0, off(), lowPass1(12000.0, 6.0)})},
                        0, 2, 7, 3)});
    // Class A with a top boost: an asymmetric second stage, the two-knob
    // cut-and-boost stack and a cathode follower behind it.
    v.push_back({"Chimey Class A", "Class A",
                 preamp("Chimey Class A",
                        {stage({2.5, 0.9, 0.0, 0.0, -3.0, 200.0, highPass1(50.0), lowPass1(14000.0)}),
                         stage({20.0, 0.85, 0.2, 0.0, -4.0, 150.0, highPass1(60.0), lowPass1(12000.0)}),
                         stage({3.0, 0.75, 0.3, 0.0, -1.0, 40.0, off(), lowPass1(10000.0, 6.0)})},
                        3, 2, 3, 3)});
    // A boutique class A head: dark volume control, two singing stages, the
    // upper mids tamed before the last one, and the bass-mid and treble
    // stacks at the end.
    v.push_back({"Boutique Class A", "Class A",
                 preamp("Boutique Class A",
                        {stage({3.0, 0.9, 0.0, 0.0, -3.0, 150.0, highPass1(40.0), lowPass1(14000.0)}),
                         stage({12.0, 0.8, 0.15, 0.0, -3.0, 120.0, highPass1(60.0), lowPass1(11000.0)}),
                         stage({4.0, 0.8, 0.0, 0.0, -2.0, 80.0, highShelf1(1200.0, -9.0), lowPass1(9000.0, 8.0)})},
                        2, 2, 6, 4)});
    // A small vintage combo that breaks up early: a hot first stage, the
    // volume control, an asymmetric second stage, then the scooped American
    // stack feeding a soft cathode follower.
    v.push_back({"Vintage Combo", "Crunch",
                 preamp("Vintage Combo",
                        {stage({4.0, 0.85, 0.0, 0.0, -2.0, 80.0, highPass1(30.0), lowPass1(12000.0)}),
                         stage({10.0, 0.75, 0.2, 0.0, -2.0, 80.0, off(), lowPass1(9000.0)}),
                         stage({1.2, 0.6, 0.4, 0.0, -1.0, 40.0, off(), lowPass1(12000.0, 12.0)})},
                        0, 2, 1, 3)});
    // A plexiglass-era British head: volume before the second stage, a
    // cathode follower that clips one side first, the tone stack last.
    v.push_back({"British Crunch", "Crunch",
                 preamp("British Crunch",
                        {stage({3.0, 0.9, 0.0, 0.0, -4.0, 150.0, highPass1(40.0), lowPass1(14000.0)}),
                         stage({40.0, 0.8, 0.1, 0.0, -4.0, 120.0, highPass1(60.0), lowPass1(11000.0)}),
                         stage({1.2, 0.7, 0.35, 0.0, -1.0, 40.0, off(), lowPass1(14000.0, -6.0)})},
                        5, 2, 2, 4)});
    // The same circuit hot-rodded: a tighter first stage, an extra
    // cold-biased stage that clips one side first, the tone stack last.
    v.push_back({"Modded British", "High Gain",
                 preamp("Modded British",
                        {stage({4.0, 0.85, 0.0, 0.0, -6.0, 150.0, highPass1(60.0), lowPass1(14000.0)}),
                         stage({12.0, 0.75, 0.0, 0.0, -4.0, 150.0, highPass1(60.0), lowPass1(11000.0)}),
                         stage({10.0, 0.7, 0.2, 0.2, -4.0, 150.0, highPass1(80.0), lowPass1(10000.0)}),
                         stage({1.2, 0.7, 0.35, 0.0, -1.0, 40.0, off(), off()})},
                        0, 2, 2, 5)});
    // Four stages, each tightened below and smoothed above, into the modern
    // five-knob stack.
    v.push_back({"Modern High Gain", "High Gain",
                 preamp("Modern High Gain",
                        {stage({4.0, 0.8, 0.0, 0.0, -6.0, 300.0, highPass1(80.0), lowPass1(14000.0)}),
                         stage({20.0, 0.7, 0.1, 0.0, -6.0, 250.0, highPass1(120.0), lowPass1(11000.0)}),
                         stage({20.0, 0.6, 0.0, 0.0, -4.0, 150.0, highPass1(60.0), lowPass1(9000.0)}),
                         stage({1.2, 0.7, 0.3, 0.0, -1.0, 40.0, off(), lowPass1(10000.0)})},
                        0, 2, 4, 5)});
    // American high gain: four hot stages with a cold clipper, into the
    // American high-gain stack.
    v.push_back({"American High Gain", "High Gain",
                 preamp("American High Gain",
                        {stage({3.0, 0.8, 0.0, 0.0, -6.0, 400.0, highPass1(100.0), lowPass1(14000.0)}),
                         stage({15.0, 0.7, 0.0, 0.0, -5.0, 250.0, highPass1(100.0), lowPass1(11000.0)}),
                         stage({15.0, 0.6, 0.25, 0.15, -4.0, 150.0, highPass1(80.0), lowPass1(9000.0)}),
                         stage({6.0, 0.6, 0.0, 0.0, -2.0, 80.0, off(), lowPass1(9000.0)})},
                        0, 2, 5, 5)});
    // A boutique overdrive channel: the tone stack early, a clean recovery
    // stage, then the gain control and two soft-kneed singing stages.
    v.push_back({"Boutique Overdrive", "Overdrive",
                 preamp("Boutique Overdrive",
                        {stage({2.5, 0.9, 0.0, 0.0, -2.0, 60.0, highPass1(40.0), lowPass1(14000.0)}),
                         stage({8.0, 0.9, 0.0, 0.0, -2.0, 60.0, off(), lowPass1(12000.0)}),
                         stage({8.0, 0.5, 0.1, 0.0, -3.0, 120.0, highPass1(60.0), lowPass1(9000.0)}),
                         stage({8.0, 0.6, 0.0, 0.0, -2.0, 80.0, off(), lowPass1(10000.0, -10.0)})},
                        0, 3, 1, 2)});
    return v;
}

// ---------------------------------------------------------------------------
// Programs.

enum class Kind { clean, edge, crunch, classicRock, highGain, lead, ambient, showcase };
constexpr int kKinds = 8;

struct KindInfo {
    const char* name;
    double targetDb;     // RMS of the rendered demo clip, dBFS
    bool nearReference;  // band balance held within 6 dB of the reference
};

const KindInfo& info(Kind k)
{
    static const KindInfo table[kKinds] = {
        {"clean", -21.0, true},          {"edge of breakup", -19.0, true}, {"crunch", -18.0, true},
        {"classic rock", -17.0, true},   {"high gain", -16.0, false},      {"lead", -17.0, true},
        {"ambient", -21.0, false},       {"effect showcase", -23.0, false},
    };
    return table[int(k)];
}

struct Program {
    const char* name;
    Kind kind;
    const char* voicing;
    const char* cabinet;  // impulse file name without ".wav"
    Settings settings;
};

// The cabinet's DI box: a resonant low-pass (corner 2500..8000 Hz, Q
// 0.666..6), or off.
Settings di(double frequency, double q) { return {{kDiFrequency, frequency}, {kDiQ, q}, {kDiOn, 1}}; }

std::vector<Program> programs()
{
    const Settings cleanPower = power(1, 0.0, 0.7, 1.0);
    const Settings warmPower = power(1, 5.0, 0.7, 1.0);
    const Settings crunchPower = power(1, 8.0, 0.7, 1.0);
    const Settings hotPower = power(1, 11.0, 0.65, 1.0);
    const Settings tightPower = power(1, 4.0, 0.75, 1.0);
    const Settings classA = power(0, 9.0, 0.5, 1.0);
    const Settings classAHot = power(0, 14.0, 0.5, 1.0);
    const Settings room = reverb(0, -14.0);
    const Settings club = reverb(1, -10.0);
    const Settings hall = reverb(2, -10.0);
    const Settings metalGate = gate(-66.0, 0.06);
    // Keeps the hiss of a high-gain lead quiet between phrases.
    const Settings leadGate = gate(-72.0, 0.15);
    const Settings slapback = echo(0, 0.11, 0.05, -9.0, 0.8);
    // The microphone's presence peak on every cabinet.
    const Settings mic = di(7500, 2.0);
    // With the deep switch's low end: the balance most programs share.
    const Settings body = deep() + mic;
    const EqCurve scoop = {{2.0, 1.0, -2.0, -6.0, -3.0, 1.0, 2.0}};
    // Low thump and a dip in the low mids, for rhythm tones that sit under a band.
    const EqCurve thump = {{3.0, 2.0, -3.0, -3.0, 0.0, 0.0, 0.0}};
    const Kind C = Kind::clean, E = Kind::edge, K = Kind::crunch, R = Kind::classicRock, H = Kind::highGain,
               L = Kind::lead, A = Kind::ambient, S = Kind::showcase;
    const char* const amClean = "American Clean";
    const char* const studio = "Studio Clean";
    const char* const chimey = "Chimey Class A";
    const char* const boutiqueA = "Boutique Class A";
    const char* const vintage = "Vintage Combo";
    const char* const british = "British Crunch";
    const char* const modded = "Modded British";
    const char* const modern = "Modern High Gain";
    const char* const american = "American High Gain";
    const char* const overdrive = "Boutique Overdrive";
    const char* const c412 = "Closed 4x12";
    const char* const c412s = "Closed 4x12 Stereo";
    const char* const c212 = "Closed 2x12";
    const char* const c212s = "Closed 2x12 Stereo";
    const char* const o112 = "Open 1x12";
    const char* const o112s = "Open 1x12 Stereo";

    return {
        // 0: the default a host opens with.
        {"Classic Crunch", K, british, c412, amp(0.68, 0.6, 0.45, 0.6, 0.5) + crunchPower + room + body},

        // Clean.
        {"Glassy Clean", C, amClean, c212, amp(0.4, 0.75, 0.45, 0.62, 0.55) + cleanPower + room + body},
        {"Sparkle Clean", C, amClean, o112, amp(0.38, 0.8, 0.3, 0.55, 0.6) + cleanPower + club + body},
        {"Warm Jazz Box", C, studio, c212, amp(0.5, 0.8, 0.5, 0.4, 0.4) + cleanPower + room + body},
        {"Dark Jazz", C, studio, c412, amp(0.5, 0.8, 0.45, 0.3, 0.3) + cleanPower + room + body},
        {"Country Snap", C, amClean, o112, amp(0.42, 0.7, 0.35, 0.62, 0.6) + cleanPower + sustainer(1, 0.4) + slapback +
            body},
        {"Funk Rhythm", C, studio, c212, amp(0.5, 0.75, 0.35, 0.6, 0.6) + cleanPower + sustainer(1, 0.6, 0.002, 0.1) +
            body},
        {"Clean Room", C, amClean, c212s, amp(0.4, 0.7, 0.45, 0.58, 0.5) + cleanPower + reverb(0, -8.0) + body},
        {"Surf Reverb", C, amClean, o112, amp(0.45, 0.7, 0.4, 0.6, 0.6) + cleanPower + reverb(1, -2.0) + body},
        {"Chime Clean", C, chimey, c212, amp(0.3, 0.6, 0.4, 0.3, 0.5) + power(0, 6.0, 0.5, 1.0) + room + body},
        {"Chorus Clean", C, studio, c212s, amp(0.5, 0.75, 0.4, 0.55, 0.5) + cleanPower +
            chorus(Place::post, 1, 0.8, 0.4, 0.4, 0.012) + body},
        {"Nashville Pick", C, amClean, o112s, amp(0.42, 0.7, 0.3, 0.6, 0.6) + cleanPower + sustainer(1, 0.5) + room +
            body},
        {"Velvet Clean", C, boutiqueA, c212, amp(0.3, 0.7, 0.45, 0.5, 0.5) + cleanPower + room + body + eq(thump)},
        {"Studio Direct", C, studio, c212, amp(0.5, 0.7, 0.45, 0.55, 0.5) + cleanPower + body},
        {"Neo Soul Clean", C, studio, c212, amp(0.5, 0.85, 0.3, 0.45, 0.4) + cleanPower +
            chorus(Place::post, 0, 0.5, 0.25, 0.3, 0.015) + room + body},
        {"Compressed Clean", C, amClean, c212, amp(0.4, 0.75, 0.4, 0.6, 0.5) + cleanPower + sustainer(1, 0.7) + body},
        {"Open Back Clean", C, amClean, o112, amp(0.4, 0.85, 0.3, 0.5, 0.5) + cleanPower + room + body},
        {"Big Stereo Clean", C, amClean, c412s, amp(0.42, 0.7, 0.45, 0.5, 0.6) + cleanPower + hall + di(6500, 2.0)},
        {"Clean Slapback", C, amClean, c212, amp(0.42, 0.75, 0.4, 0.6, 0.55) + cleanPower + slapback + body},
        {"Jangle Pop", C, chimey, o112s, amp(0.3, 0.7, 0.35, 0.38, 0.5) + power(0, 6.0, 0.5, 1.0) +
            chorus(Place::post, 1, 0.6, 0.2, 0.25, 0.01) + room + body},
        {"Blues Clean", C, amClean, c212, amp(0.5, 0.75, 0.45, 0.55, 0.5) + warmPower + room + body},

        // Edge of breakup.
        {"Edge of Breakup", E, vintage, o112, amp(0.52, 0.7, 0.4, 0.5, 0.5) + warmPower + room + body},
        {"Just Breaking Up", E, amClean, c212, amp(0.75, 0.75, 0.4, 0.55, 0.5) + power(1, 6.0, 0.7, 1.0) + room +
            body},
        {"Blues Edge", E, vintage, c212, amp(0.55, 0.75, 0.4, 0.55, 0.5) + warmPower + room + body},
        {"Small Combo Edge", E, vintage, o112, amp(0.5, 0.7, 0.35, 0.5, 0.5) + power(1, 8.0, 0.7, 1.0) + body},
        {"Chime Edge", E, chimey, c212, amp(0.58, 0.65, 0.4, 0.5, 0.5) + classA + room + body},
        {"Class A Grit", E, boutiqueA, c212, amp(0.4, 0.7, 0.4, 0.5, 0.5) + classA + body + eq(thump)},
        {"Dynamic Blues", E, vintage, c212s, amp(0.52, 0.75, 0.45, 0.5, 0.5) + warmPower + reverb(0, -10.0) + body +
            bright()},
        {"Roots Rock Edge", E, british, c212, amp(0.5, 0.7, 0.4, 0.55, 0.5) + warmPower + body + eq(thump)},
        {"Gritty Rhythm", E, british, c412, amp(0.55, 0.65, 0.4, 0.6, 0.5) + warmPower + body},
        {"Warm Breakup", E, boutiqueA, c212, amp(0.42, 0.8, 0.4, 0.4, 0.4) + classA + room + body + eq(thump)},
        {"Texas Edge", E, amClean, c212, amp(0.8, 0.7, 0.35, 0.5, 0.5) + power(1, 8.0, 0.7, 1.0) + room + body},
        {"Volume Knob Grit", E, vintage, c212, amp(0.5, 0.75, 0.4, 0.55, 0.5) + power(1, 6.0, 0.7, 1.0) + body},
        {"Porch Blues", E, vintage, o112, amp(0.55, 0.8, 0.35, 0.55, 0.45) + warmPower + reverb(0, -10.0) + body},
        {"Crisp Edge", E, chimey, c212, amp(0.57, 0.6, 0.35, 0.35, 0.5) + classA + body},

        // Crunch.
        {"Brown Crunch", K, modded, c412, amp(0.5, 0.65, 0.45, 0.55, 0.5) + crunchPower + body + eq(thump)},
        {"Stack Crunch", K, british, c412, amp(0.7, 0.6, 0.45, 0.6, 0.5) + crunchPower + body},
        {"Power Chord Crunch", K, british, c412s, amp(0.65, 0.7, 0.4, 0.6, 0.5) + crunchPower + body},
        {"Rhythm Crunch", K, british, c212, amp(0.6, 0.7, 0.4, 0.55, 0.5) + crunchPower + body + eq(thump)},
        {"Class A Crunch", K, chimey, c212, amp(0.75, 0.65, 0.4, 0.5, 0.5) + classAHot + body + eq(thump)},
        {"Chimey Crunch", K, chimey, c212s, amp(0.85, 0.65, 0.35, 0.55, 0.5) + classA + room + body},
        {"Garage Crunch", K, vintage, o112, amp(0.75, 0.7, 0.35, 0.5, 0.5) + crunchPower + body + eq(thump)},
        {"Crunch Boost", K, british, c212, amp(0.5, 0.7, 0.4, 0.55, 0.5) + crunchPower + boost() + body + eq(thump)},
        {"British Rhythm", K, british, c212s, amp(0.65, 0.7, 0.4, 0.55, 0.5) + crunchPower + room + body},
        {"Vintage Crunch", K, vintage, c212, amp(0.7, 0.75, 0.4, 0.5, 0.5) + crunchPower + body},
        {"Tight Crunch", K, british, c412, amp(0.65, 0.55, 0.4, 0.6, 0.5) + tightPower + gate(-70.0) + body},
        {"Boutique Crunch", K, boutiqueA, c212, amp(0.6, 0.7, 0.4, 0.5, 0.5) + classAHot + body + eq(thump)},
        {"Open Chords", K, british, c212, amp(0.6, 0.7, 0.4, 0.55, 0.5) + crunchPower + reverb(0, -10.0) + body +
            eq(thump)},
        {"Cranked Combo", K, vintage, o112, amp(0.9, 0.7, 0.35, 0.5, 0.5) + hotPower + body + eq(thump)},
        {"Indie Crunch", K, chimey, o112s, amp(0.8, 0.65, 0.35, 0.5, 0.5) + classA + room + body},
        {"Dirty Strummer", K, vintage, c212, amp(0.6, 0.75, 0.4, 0.5, 0.5) + crunchPower + room + body},
        {"Crunchy Combo", K, vintage, o112s, amp(0.65, 0.75, 0.35, 0.5, 0.5) + crunchPower + body},
        {"Boutique Grind", K, boutiqueA, c412, amp(0.7, 0.7, 0.4, 0.55, 0.5) + classAHot + body + eq(thump)},

        // Classic rock.
        {"Classic Rock Rhythm", R, british, c412, amp(0.8, 0.6, 0.45, 0.6, 0.5) + hotPower + body},
        {"Seventies Rock", R, british, c412s, amp(0.85, 0.65, 0.45, 0.55, 0.5) + hotPower + body},
        {"Arena Rock", R, modded, c412s, amp(0.55, 0.65, 0.45, 0.55, 0.5) + crunchPower + hall + body},
        {"Modded Rhythm", R, modded, c412, amp(0.55, 0.65, 0.45, 0.55, 0.5) + crunchPower + body + eq(thump)},
        {"Riff Machine", R, modded, c412, amp(0.6, 0.6, 0.45, 0.6, 0.5) + tightPower + gate(-70.0) + body +
            eq(thump)},
        {"Southern Rock", R, british, c212, amp(0.75, 0.7, 0.4, 0.55, 0.5) + hotPower + room + body + eq(thump)},
        {"Stadium Chords", R, modded, c412s, amp(0.55, 0.65, 0.45, 0.55, 0.5) + crunchPower + reverb(2, -12.0) +
            body},
        {"Hard Rock Rhythm", R, modded, c412, amp(0.65, 0.65, 0.45, 0.6, 0.5) + crunchPower + body + eq(thump)},
        {"Eighties Rock", R, modded, c412s, amp(0.7, 0.65, 0.4, 0.6, 0.55) + crunchPower +
            chorus(Place::post, 1, 0.7, 0.3, 0.25, 0.012) + room + body},
        {"Brit Rock", R, british, c212s, amp(0.8, 0.7, 0.4, 0.55, 0.5) + hotPower + body},
        {"Blues Rock", R, overdrive, c212, amp(0.4, 0.7, 0.4, 0.5, 0.5) + warmPower + room + body},
        {"Cranked Stack", R, british, c412, amp(1.0, 0.6, 0.45, 0.55, 0.5) + power(1, 14.0, 0.65, 1.0) + body +
            leadGate},
        {"Rock Anthem", R, modded, c412, amp(0.6, 0.7, 0.45, 0.55, 0.5) + crunchPower + room + body + eq(thump)},
        {"Power Trio", R, british, c212, amp(0.9, 0.7, 0.4, 0.55, 0.5) + hotPower + room + body + eq(thump)},
        {"Big Riff", R, modded, c412s, amp(0.65, 0.75, 0.4, 0.55, 0.5) + crunchPower + body},
        {"Rock and Roll Drive", R, vintage, c212, amp(0.85, 0.75, 0.4, 0.5, 0.5) + hotPower + body},

        // High gain.
        {"Scooped Chug", H, modern, c412, amp(0.6, 0.7, 0.25, 0.6, 0.6) + tightPower + eq(scoop) + metalGate + body},
        {"Modern Metal", H, modern, c412, amp(0.6, 0.6, 0.45, 0.6, 0.55) + tightPower + metalGate + body},
        {"Tight Djent", H, modern, c412, amp(0.5, 0.5, 0.5, 0.65, 0.6) + tightPower + boost() + metalGate + mic},
        {"Thrash Rhythm", H, american, c412, amp(0.45, 0.6, 0.4, 0.6, 0.55) + tightPower + metalGate + body},
        {"Drop Tuned Chug", H, modern, c412, amp(0.7, 0.75, 0.4, 0.55, 0.5) + tightPower + metalGate + body},
        {"Nu Metal Grind", H, american, c412, amp(0.6, 0.75, 0.25, 0.6, 0.55) + tightPower + eq(scoop) + metalGate +
            body},
        {"Metalcore Rhythm", H, modern, c412s, amp(0.55, 0.65, 0.4, 0.6, 0.6) + tightPower + metalGate + body},
        {"Saturated Wall", H, american, c412s, amp(0.8, 0.65, 0.45, 0.55, 0.5) + tightPower + metalGate + body},
        {"Modded Metal", H, modded, c412, amp(0.95, 0.65, 0.45, 0.6, 0.55) + tightPower + metalGate + body},
        {"Palm Mute Machine", H, modern, c412, amp(0.5, 0.6, 0.45, 0.6, 0.55) + tightPower + boost() + metalGate +
            body},
        {"Tight High Gain", H, american, c212, amp(0.4, 0.6, 0.45, 0.6, 0.55) + tightPower + metalGate + body},
        {"Liquid High Gain", H, modern, c412s, amp(0.8, 0.65, 0.5, 0.55, 0.5) + tightPower + metalGate + room + body},
        {"Doom Sludge", H, american, c412, amp(0.7, 0.85, 0.45, 0.4, 0.4) + power(1, 10.0, 0.65, 1.0) + metalGate +
            body},
        {"Black Metal Buzz", H, modded, c212, amp(1.0, 0.5, 0.5, 0.75, 0.7) + tightPower + metalGate + mic},
        {"Industrial Grind", H, modern, c412, amp(0.9, 0.6, 0.35, 0.6, 0.6) + tightPower + eq(scoop) + metalGate +
            body},
        {"Gated Chug", H, american, c412, amp(0.6, 0.65, 0.4, 0.6, 0.55) + tightPower + gate(-55.0, 0.05) + body},
        {"Crushing Lows", H, modern, c412, amp(0.65, 0.85, 0.4, 0.55, 0.5) + tightPower + metalGate + body},
        {"Molten Rhythm", H, american, c412s, amp(0.7, 0.7, 0.45, 0.55, 0.5) + tightPower + metalGate + body},

        // Lead, with delay.
        {"Singing Lead", L, overdrive, c412s, amp(0.6, 0.7, 0.45, 0.5, 0.5) + warmPower + deep() +
            echo(0, 0.38, 0.35, -10.0, 0.6) + room + di(6500, 3.0) + leadGate},
        {"Smooth Lead Delay", L, overdrive, c212s, amp(0.5, 0.7, 0.45, 0.5, 0.5) + warmPower +
            echo(0, 0.45, 0.4, -9.0, 0.5) + body + leadGate},
        {"Violin Lead", L, overdrive, c412, amp(0.7, 0.7, 0.5, 0.45, 0.45) + warmPower + sustainer(1, 0.5) +
            echo(0, 0.42, 0.3, -12.0, 0.5) + hall + body + leadGate},
        {"Shred Lead", L, modern, c412s, amp(0.75, 0.6, 0.5, 0.6, 0.55) + tightPower + echo(1, 0.35, 0.3, -12.0, 0.7) +
            reverb(2, -14.0) + metalGate + body},
        {"Blues Lead", L, overdrive, c212, amp(0.4, 0.75, 0.45, 0.5, 0.5) + warmPower + echo(0, 0.3, 0.2, -14.0, 0.6) +
            room + body},
        {"Stadium Lead", L, modded, c412s, amp(0.85, 0.65, 0.5, 0.55, 0.5) + crunchPower +
            echo(1, 0.5, 0.4, -9.0, 0.6) + hall + body + leadGate},
        {"Liquid Lead", L, modern, c412, amp(0.7, 0.65, 0.5, 0.5, 0.5) + tightPower + sustainer(1, 0.4) +
            echo(0, 0.42, 0.35, -10.0, 0.5) + metalGate + body},
        {"Soaring Solo", L, modded, c412s, amp(0.9, 0.65, 0.5, 0.55, 0.5) + crunchPower +
            echo(1, 0.48, 0.45, -8.0, 0.6) + reverb(2, -8.0) + body + leadGate},
        {"Fusion Lead", L, overdrive, c212s, amp(0.55, 0.7, 0.5, 0.5, 0.5) + warmPower +
            chorus(Place::post, 1, 0.6, 0.25, 0.25, 0.012) + echo(0, 0.33, 0.3, -12.0, 0.6) + body + leadGate},
        {"Ping Pong Lead", L, american, c412s, amp(0.5, 0.65, 0.5, 0.55, 0.5) + tightPower +
            echo(1, 0.375, 0.5, -7.0, 0.7) + metalGate + body},
        {"Eighties Solo", L, modded, c412s, amp(0.9, 0.65, 0.5, 0.6, 0.55) + crunchPower +
            chorus(Place::post, 1, 0.8, 0.3, 0.3, 0.012) + echo(1, 0.4, 0.4, -9.0, 0.8) + room + body + leadGate},
        {"Dotted Eighth Lead", L, overdrive, c212s, amp(0.5, 0.7, 0.45, 0.55, 0.5) + warmPower +
            echo(0, 0.3, 0.45, -8.0, 0.7) + body + leadGate},
        {"Warm Lead", L, overdrive, c212, amp(0.6, 0.85, 0.2, 0.45, 0.4) + warmPower + echo(0, 0.4, 0.3, -12.0, 0.4) +
            room + body + leadGate},
        {"Bright Lead", L, modded, c212, amp(0.85, 0.75, 0.5, 0.55, 0.6) + crunchPower +
            echo(0, 0.36, 0.3, -11.0, 0.8) + room + body + eq(thump) + leadGate},
        {"Sustain Lead", L, overdrive, c412, amp(0.8, 0.7, 0.5, 0.5, 0.5) + warmPower + sustainer(1, 0.7) +
            echo(0, 0.45, 0.35, -11.0, 0.5) + body + leadGate},
        {"Slide Lead", L, vintage, c212, amp(0.8, 0.75, 0.45, 0.5, 0.5) + hotPower + echo(0, 0.25, 0.2, -12.0, 0.6) +
            room + body + leadGate},

        // Ambient.
        {"Ambient Wash", A, studio, c212s, amp(0.5, 0.75, 0.45, 0.5, 0.5) + cleanPower +
            chorus(Place::post, 1, 0.4, 0.4, 0.35, 0.015) + echo(1, 0.5, 0.55, -8.0, 0.5) + reverb(2, 0.0) + body},
        {"Cathedral Clean", A, amClean, c212s, amp(0.4, 0.75, 0.45, 0.55, 0.5) + cleanPower + reverb(2, 2.0) + body},
        {"Dream Pop", A, chimey, o112s, amp(0.3, 0.7, 0.4, 0.5, 0.5) + power(0, 6.0, 0.5, 1.0) +
            chorus(Place::post, 1, 0.5, 0.5, 0.4, 0.012) + reverb(2, -3.0) + body},
        {"Swell Pad", A, studio, c212s, amp(0.5, 0.8, 0.45, 0.45, 0.45) + cleanPower + sustainer(1, 0.8) +
            echo(0, 0.6, 0.6, -8.0, 0.4) + reverb(2, 0.0) + body},
        {"Ethereal Echo", A, studio, o112s, amp(0.5, 0.75, 0.4, 0.5, 0.5) + cleanPower + echo(1, 0.6, 0.6, -6.0, 0.6) +
            reverb(2, -6.0) + body},
        {"Post Rock Swell", A, vintage, c212s, amp(0.45, 0.75, 0.4, 0.5, 0.5) + warmPower +
            echo(0, 0.55, 0.55, -7.0, 0.5) + reverb(2, -2.0) + body},
        {"Ocean Chorus", A, studio, c212s, amp(0.5, 0.75, 0.45, 0.5, 0.5) + cleanPower +
            chorus(Place::post, 2, 0.25, 0.7, 0.5, 0.02) + reverb(2, -4.0) + body},
        {"Night Drive", A, amClean, c212s, amp(0.42, 0.75, 0.45, 0.55, 0.5) + cleanPower +
            tremolo(Place::post, 1, 2.5, 0.4, 0.0) + echo(1, 0.45, 0.45, -9.0, 0.5) + reverb(2, -6.0) + body},
        {"Floating Clean", A, studio, c212s, amp(0.5, 0.75, 0.45, 0.5, 0.5) + cleanPower +
            flanger(Place::post, 1, 0.15, 0.4, 0.003, 0.5, 0.3, false) + reverb(2, -4.0) + body},
        {"Starfield", A, amClean, c212s, amp(0.42, 0.75, 0.45, 0.55, 0.5) + cleanPower +
            phaser(Place::post, 1, 0.2, 0.5, 2.0, 0.4, 1) + echo(1, 0.5, 0.5, -8.0, 0.5) + reverb(2, -4.0) + body},
        {"Hall of Echoes", A, amClean, c212s, amp(0.42, 0.75, 0.45, 0.55, 0.5) + cleanPower +
            echo(0, 0.7, 0.7, -6.0, 0.5) + reverb(2, -4.0) + body},
        {"Underwater Chorus", A, studio, c212s, amp(0.5, 0.8, 0.4, 0.4, 0.4) + cleanPower +
            chorus(Place::post, 2, 0.6, 1.0, 0.6, 0.02) + reverb(1, -2.0) + body},
        {"Slow Motion", A, boutiqueA, c212s, amp(0.3, 0.75, 0.45, 0.5, 0.5) + cleanPower +
            tremolo(Place::post, 0, 1.2, 0.5, 0.2) + reverb(2, -3.0) + body},
        {"Glass Cathedral", A, chimey, c212s, amp(0.3, 0.7, 0.4, 0.5, 0.5) + power(0, 6.0, 0.5, 1.0) +
            echo(1, 0.55, 0.5, -8.0, 0.7) + reverb(2, 0.0) + body},

        // Effect showcases.
        {"Auto Wah Funk", S, studio, c212, amp(0.5, 0.7, 0.45, 0.55, 0.5) + power(1, 15.0, 0.7, 1.0) + wah(1, 0.6) +
            sustainer(1, 0.5, 0.002, 0.1) + body},
        {"Quack Wah", S, vintage, o112, amp(0.45, 0.7, 0.45, 0.5, 0.5) + power(1, 12.0, 0.7, 1.0) + wah(1, 0.5) +
            body},
        {"Cocked Wah Lead", S, modded, c412, amp(0.8, 0.65, 0.5, 0.5, 0.5) + crunchPower + wah(0, 0.6) +
            echo(0, 0.4, 0.3, -12.0, 0.6) + body + leadGate},
        {"Phaser Funk", S, amClean, c212, amp(0.42, 0.75, 0.4, 0.6, 0.55) + cleanPower +
            phaser(Place::pre, 1, 1.2, 0.6, 2.0, 0.5, 1) + body},
        {"Slow Phaser", K, british, c412, amp(0.65, 0.65, 0.45, 0.55, 0.5) + crunchPower +
            phaser(Place::post, 0, 0.3, 0.7, 2.5, 0.6, 2) + body},
        {"Jet Flanger", R, modded, c412s, amp(0.7, 0.65, 0.45, 0.55, 0.5) + crunchPower +
            flanger(Place::post, 1, 0.25, 0.8, 0.003, 0.8, 0.75, true) + body + leadGate},
        {"Flanger Sweep", S, amClean, c212s, amp(0.42, 0.75, 0.45, 0.55, 0.5) + cleanPower +
            flanger(Place::post, 0, 0.4, 0.7, 0.002, 0.7, 0.5, false) + room + body},
        {"Tremolo Surf", S, amClean, o112, amp(0.45, 0.7, 0.4, 0.6, 0.6) + cleanPower +
            tremolo(Place::post, 0, 6.0, 0.4, 0.0) + reverb(1, -4.0) + body},
        {"Choppy Tremolo", S, vintage, c212, amp(0.45, 0.75, 0.4, 0.5, 0.5) + warmPower +
            tremolo(Place::post, 0, 4.0, 0.9, 0.9) + body},
        {"Lush Chorus", S, studio, c212s, amp(0.5, 0.75, 0.45, 0.55, 0.5) + cleanPower +
            chorus(Place::post, 2, 0.7, 0.6, 0.5, 0.015) + room + body},
        {"Infinite Sustain", L, overdrive, c412, amp(0.85, 0.7, 0.5, 0.5, 0.5) + warmPower +
            sustainer(1, 0.9, 0.002, 0.25) + echo(0, 0.5, 0.3, -12.0, 0.5) + body + metalGate},
    };
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
    if (!LoadImpulse(path.c_str(), &out.left, &out.right, &frames, &out.rate, &out.mono)) return false;
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
        std::fprintf(stderr, "make-factory-bank: %s: no preamp \"%s\" or cabinet \"%s\"\n", design.name, design.voicing,
                     design.cabinet);
        return false;
    }
    auto engine = std::make_unique<Tonewright>();
    engine->SetPreamp(&preamp->second);
    const Impulse& i = impulse->second;
    if (!engine->SetCabinetImpulse(i.left.data(), i.right.data(), i.length, i.mono, double(i.rate), i.name.c_str()))
        return false;
    for (const Setting& s : design.settings) engine->SetParameter(s.id, s.value);
    out.params = *engine->GetParameters();
    copyBounded(out.name, design.name);
    return true;
}

// ---------------------------------------------------------------------------
// Rendering and measuring.

struct Bands {
    double share[4];  // dB of the total: 80-250 Hz, 250 Hz-1 kHz, 1-4 kHz, 4-10 kHz
};
constexpr double kBandEdges[5] = {80.0, 250.0, 1000.0, 4000.0, 10000.0};

Bands bandBalance(const std::vector<double>& x, size_t frames, double fs)
{
    int n = 1;
    while (size_t(n) < frames) n *= 2;
    std::vector<double> a(size_t(n), 0.0);
    std::copy(x.begin(), x.begin() + long(frames), a.begin());
    std::vector<int> ip(size_t(fft::rdftIpSize(n)), 0);
    std::vector<double> w(size_t(fft::rdftWSize(n)));
    rdft(n, 1, a.data(), ip.data(), w.data());
    const double bin = fs / n;
    double total = 0.0, band[4] = {0, 0, 0, 0};
    for (int k = 1; k < n / 2; ++k) {
        const double p = a[size_t(2 * k)] * a[size_t(2 * k)] + a[size_t(2 * k + 1)] * a[size_t(2 * k + 1)];
        total += p;
        const double f = k * bin;
        for (int b = 0; b < 4; ++b)
            if (f >= kBandEdges[b] && f < kBandEdges[b + 1]) band[b] += p;
    }
    Bands out;
    for (int b = 0; b < 4; ++b) out.share[b] = 10.0 * std::log10(std::max(band[b], 1e-300) / total);
    return out;
}

struct Measurement {
    double rmsDb = 0.0;   // over the clip
    double peakDb = 0.0;  // over the clip and the tail
    Bands bands{};
    double squash = 0.0;  // dB, the amplifier alone: see squash()
};

double dB(double power) { return 10.0 * std::log10(std::max(power, 1e-300)); }

// The two outputs of a render.
struct Stereo {
    std::vector<double> left, right;

    double mono(size_t i) const { return 0.5 * (left[i] + right[i]); }
};

// Plays `input` through a fresh engine holding the program, as a host does
// after loading it.
Stereo play(const TonewrightParameters& program, const std::vector<double>& input, const Settings& extra = {})
{
    auto engine = std::make_unique<Tonewright>();
    TonewrightParameters* own = engine->GetParameters();
    *own = program;
    engine->SetParameters(own);  // its own record: the oversampling choice too
    for (const Setting& s : extra) engine->SetParameter(s.id, s.value);
    // The cabinet builds its convolver on a worker: without the wait the
    // first blocks would depend on the thread's timing.
    engine->cabinet.WaitForRebuild();
    engine->Reserve(kBlock);
    Stereo out{std::vector<double>(input.size()), std::vector<double>(input.size())};
    std::vector<double> in(kBlock);
    for (size_t at = 0; at < input.size(); at += kBlock) {
        const int n = int(std::min<size_t>(kBlock, input.size() - at));
        std::copy(input.begin() + long(at), input.begin() + long(at) + n, in.begin());
        engine->process(in.data(), out.left.data() + at, out.right.data() + at, n);
    }
    return out;
}

// Level of a 110 Hz sine at `levelDb` after the amplifier alone (cabinet,
// modulation, delay and reverb off), dB.
double sineLevel(const TonewrightParameters& program, double levelDb)
{
    const int n = int(kRate), m = 16384;
    const double f0 = 110.0;
    std::vector<double> sine(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) sine[size_t(i)] = fromDb(levelDb) * std::sin(2.0 * M_PI * f0 * i / kRate);
    const Settings quiet = {{kCabinetOn, 0}, {kTremoloOn, 0}, {kChorusOn, 0}, {kFlangerOn, 0},
                            {kPhaserOn, 0},  {kEchoOn, 0},    {kReverbOn, 0}, {kWahOn, 0}};
    const Stereo y = play(program, sine, quiet);
    // The last m samples, Hann windowed; the fundamental's bins.
    std::vector<double> a(static_cast<size_t>(m));
    for (int i = 0; i < m; ++i) a[size_t(i)] = y.mono(size_t(n - m + i)) * (0.5 - 0.5 * std::cos(2.0 * M_PI * i / m));
    std::vector<int> ip(size_t(fft::rdftIpSize(m)), 0);
    std::vector<double> w(size_t(fft::rdftWSize(m)));
    rdft(m, 1, a.data(), ip.data(), w.data());
    const int centre = int(std::lround(f0 * m / kRate));
    double p = 0.0;
    for (int k = centre - 3; k <= centre + 3; ++k)
        p += a[size_t(2 * k)] * a[size_t(2 * k)] + a[size_t(2 * k + 1)] * a[size_t(2 * k + 1)];
    return dB(p);
}

// How much the amplifier squashes a note: the dB by which its output rises
// less than its input when a held 110 Hz note goes from -34 to -14 dBFS
// (0 for a clean amplifier, towards 20 for a saturated one).
double squash(const TonewrightParameters& program)
{
    return 20.0 - (sineLevel(program, -14.0) - sineLevel(program, -34.0));
}

// RMS over the clip (both outputs), the peak of either output over the clip
// and whatever follows it, and the band balance of the mono mix over the
// clip.
Measurement measure(const TonewrightParameters& program, const std::vector<double>& input, size_t clipFrames,
                    bool withSquash, std::vector<double>* keepMono = nullptr)
{
    const Stereo y = play(program, input);
    Measurement m;
    double sum = 0.0, peak = 0.0;
    std::vector<double> mono(input.size());
    for (size_t i = 0; i < input.size(); ++i) {
        if (i < clipFrames) sum += 0.5 * (y.left[i] * y.left[i] + y.right[i] * y.right[i]);
        peak = std::max({peak, std::fabs(y.left[i]), std::fabs(y.right[i])});
        mono[i] = y.mono(i);
    }
    m.rmsDb = dB(sum / double(clipFrames));
    m.peakDb = 20.0 * std::log10(std::max(peak, 1e-300));
    m.bands = bandBalance(mono, clipFrames, kRate);
    if (withSquash) m.squash = squash(program);
    if (keepMono) *keepMono = std::move(mono);
    return m;
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

// The master level that brings a program measured at 0 dB to its kind's
// loudness, in steps of 0.1 dB.
double masterFor(Kind kind, double rmsDb) { return std::round((info(kind).targetDb - rmsDb) * 10.0) / 10.0; }

// Words in a program's name that promise a tilt, and the band they excuse
// from the comparison with the reference.
int excusedBand(const char* name)
{
    const std::string n = name;
    if (n.find("Bright") != std::string::npos || n.find("Dark") != std::string::npos) return 3;
    if (n.find("Scooped") != std::string::npos) return 1;
    return -1;
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return in ? s.str() : std::string();
}

struct Options {
    std::string clip, impulses, resources, reference, report, wavFolder;
    std::vector<std::string> audition;
    bool check = false;
    int threads = 4;
};

bool parse(int argc, char** argv, Options& o)
{
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--check") o.check = true;
        else if (a == "--reference" && hasValue) o.reference = argv[++i];
        else if (a == "--report" && hasValue) o.report = argv[++i];
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

// The four band shares of a reference render (any channel count, mixed to mono).
bool referenceBands(const std::string& path, Bands& out)
{
    AudioClip ref;
    std::string error;
    if (!readWav(path, ref, error)) {
        std::fprintf(stderr, "make-factory-bank: %s: %s\n", path.c_str(), error.c_str());
        return false;
    }
    std::vector<double> mono(size_t(ref.frames()), 0.0);
    for (const auto& c : ref.samples)
        for (size_t i = 0; i < mono.size(); ++i) mono[i] += c[i] / double(ref.channels);
    out = bandBalance(mono, mono.size(), ref.sampleRate);
    return true;
}

std::string bandText(const Bands& b)
{
    char t[96];
    std::snprintf(t, sizeof t, "%.1f | %.1f | %.1f | %.1f", b.share[0], b.share[1], b.share[2], b.share[3]);
    return t;
}

// The largest distance from the reference over the bands the program's name
// does not excuse, and whether the program's kind is held to it.
double worstDistance(const Program& p, const Bands& b, const Bands& reference)
{
    double worst = 0.0;
    for (int k = 0; k < 4; ++k)
        if (k != excusedBand(p.name)) worst = std::max(worst, std::fabs(b.share[k] - reference.share[k]));
    return worst;
}

// What every step works on.
struct Job {
    Options opt;
    std::vector<Voicing> voices;
    std::vector<Program> designs;
    std::vector<double> clip;   // the demo clip: it sets the levels
    std::vector<double> input;  // the clip and a silent tail: for the peaks
    std::unique_ptr<EffectProgram[]> bank = std::make_unique<EffectProgram[]>(kBankSize);
};

// Slot 0 and the first program of each kind.
std::vector<size_t> sampleOfKinds(const std::vector<Program>& designs)
{
    std::vector<size_t> sample = {0};
    for (int k = 0; k < kKinds; ++k)
        for (size_t i = 1; i < designs.size(); ++i)
            if (int(designs[i].kind) == k) {
                sample.push_back(i);
                break;
            }
    return sample;
}

// --check: the committed files against what the generator makes, the
// master levels taken from the committed bank; then a few programs are
// rendered to show that their levels come out as committed.
bool checkCommitted(Job& job)
{
    bool ok = true;
    auto committed = std::make_unique<EffectProgram[]>(kBankSize);
    const std::string bankFile = bankPath(job.opt).string();
    const std::string committedText = readFile(bankFile);
    if (committedText.empty() || !LoadBankFromXML(committed.get(), bankFile.c_str())) {
        std::fprintf(stderr, "make-factory-bank: cannot read %s\n", bankFile.c_str());
        return false;
    }
    for (size_t i = 0; i < size_t(kBankSize); ++i) job.bank[i].params.master_level = committed[i].params.master_level;
    if (BankFileText(job.bank.get()) != committedText) {
        std::fprintf(stderr, "make-factory-bank: %s differs from what the generator makes\n", bankFile.c_str());
        ok = false;
    }
    std::set<fs::path> expected, present;
    for (const Voicing& v : job.voices) {
        expected.insert(preampPath(job.opt, v));
        if (readFile(preampPath(job.opt, v)) != PreampFileText(v.preamp)) {
            std::fprintf(stderr, "make-factory-bank: %s differs from what the generator makes\n",
                         preampPath(job.opt, v).c_str());
            ok = false;
        }
    }
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(fs::path(job.opt.resources) / "preamps", ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        if (it->is_regular_file()) present.insert(it->path());
    if (present != expected) {
        std::fprintf(stderr, "make-factory-bank: the preamp folder holds other files than the voicings\n");
        ok = false;
    }
    if (!ok) return false;

    const std::vector<size_t> sample = sampleOfKinds(job.designs);
    std::vector<double> masters(sample.size());
    parallel(sample.size(), job.opt.threads, [&](size_t k) {
        TonewrightParameters p = job.bank[sample[k]].params;
        p.master_level = 0.0;
        masters[k] = masterFor(job.designs[sample[k]].kind, measure(p, job.clip, job.clip.size(), false).rmsDb);
    });
    for (size_t k = 0; k < sample.size(); ++k)
        if (masters[k] != committed[sample[k]].params.master_level) {
            std::fprintf(stderr, "make-factory-bank: %s: master level %.1f dB, committed %.1f dB\n",
                         job.designs[sample[k]].name, masters[k], committed[sample[k]].params.master_level);
            ok = false;
        }
    std::printf("make-factory-bank: %s (%zu programs rendered)\n", ok ? "the committed files match" : "MISMATCH",
                sample.size());
    return ok;
}

// Each chosen program at 0 dB, then the master level its kind needs.
bool level(Job& job, const std::vector<size_t>& chosen)
{
    std::vector<double> rms(job.designs.size());
    parallel(chosen.size(), job.opt.threads, [&](size_t k) {
        TonewrightParameters p = job.bank[chosen[k]].params;
        p.master_level = 0.0;
        rms[chosen[k]] = measure(p, job.clip, job.clip.size(), false).rmsDb;
    });
    bool ok = true;
    for (size_t i : chosen) {
        const double master = masterFor(job.designs[i].kind, rms[i]);
        if (master < -24.0 || master > 18.0) {
            std::fprintf(stderr, "make-factory-bank: %s needs a master level of %.1f dB\n", job.designs[i].name, master);
            ok = false;
        }
        job.bank[i].params.master_level = master;
    }
    return ok;
}

bool writeFiles(const Job& job)
{
    fs::create_directories(bankPath(job.opt).parent_path());
    if (!SaveBankAsXML(job.bank.get(), bankPath(job.opt).c_str())) {
        std::fprintf(stderr, "make-factory-bank: cannot write %s\n", bankPath(job.opt).c_str());
        return false;
    }
    fs::remove_all(fs::path(job.opt.resources) / "preamps");
    for (const Voicing& v : job.voices) {
        fs::create_directories(preampPath(job.opt, v).parent_path());
        if (!SavePreampAsXML(v.preamp, preampPath(job.opt, v).c_str())) {
            std::fprintf(stderr, "make-factory-bank: cannot write %s\n", preampPath(job.opt, v).c_str());
            return false;
        }
    }
    return true;
}

// Measures the programs as given, checks the limits and writes the report:
// false when a limit is broken.
bool measureAndReport(const Job& job, const EffectProgram* programs, const std::vector<size_t>& chosen,
                      std::chrono::steady_clock::time_point started)
{
    std::vector<Measurement> m(job.designs.size());
    std::vector<std::vector<double>> renders(job.designs.size());
    parallel(chosen.size(), job.opt.threads, [&](size_t k) {
        const size_t i = chosen[k];
        m[i] = measure(programs[i].params, job.input, job.clip.size(), true,
                       job.opt.wavFolder.empty() ? nullptr : &renders[i]);
    });
    Bands reference{};
    const bool haveReference = !job.opt.reference.empty();
    if (haveReference && !referenceBands(job.opt.reference, reference)) return false;

    bool ok = true;
    double loudest = -1e9;
    std::string loudestName;
    std::ostringstream table, kinds;
    table << "| slot | program | kind | preamp | cabinet | master dB | RMS dBFS | peak dBFS | squash dB | 80-250 "
             "| 250-1k | 1k-4k | 4k-10k | worst vs ref |\n"
             "|---:|---|---|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
    if (haveReference) table << "| | reference | | | | | | | | " << bandText(reference) << " | |\n";
    for (size_t i : chosen) {
        const Program& design = job.designs[i];
        if (m[i].peakDb > loudest) {
            loudest = m[i].peakDb;
            loudestName = design.name;
        }
        if (m[i].peakDb > kPeakLimitDb) {
            std::fprintf(stderr, "make-factory-bank: %s peaks at %.2f dBFS\n", design.name, m[i].peakDb);
            ok = false;
        }
        char worst[32] = "";
        if (haveReference) {
            const double d = worstDistance(design, m[i].bands, reference);
            std::snprintf(worst, sizeof worst, "%.1f%s", d, info(design.kind).nearReference ? "" : " (n/a)");
            if (info(design.kind).nearReference && d > 6.0) {
                std::fprintf(stderr, "make-factory-bank: %s is %.1f dB from the reference's band balance\n",
                             design.name, d);
                ok = false;
            }
        }
        char row[512];
        std::snprintf(row, sizeof row, "| %zu | %s | %s | %s | %s | %.1f | %.1f | %.1f | %.1f | %s | %s |\n", i,
                      design.name, info(design.kind).name, design.voicing, design.cabinet, programs[i].params.master_level,
                      m[i].rmsDb, m[i].peakDb, std::fabs(m[i].squash) < 0.05 ? 0.0 : m[i].squash,
                      bandText(m[i].bands).c_str(), worst);
        table << row;
        if (!job.opt.audition.empty()) std::printf("%s", row);
        if (!job.opt.wavFolder.empty()) {
            AudioClip out;
            out.sampleRate = kRate;
            out.channels = 1;
            out.samples = {renders[i]};
            writeWavFloat(job.opt.wavFolder + "/" + design.name + ".wav", out);
        }
    }
    kinds << "| kind | programs | target RMS dBFS | RMS spread dB | loudest peak dBFS |\n|---|---:|---:|---:|---:|\n";
    for (int k = 0; k < kKinds; ++k) {
        double lo = 1e9, hi = -1e9, peak = -1e9;
        int count = 0;
        for (size_t i : chosen)
            if (int(job.designs[i].kind) == k) {
                lo = std::min(lo, m[i].rmsDb);
                hi = std::max(hi, m[i].rmsDb);
                peak = std::max(peak, m[i].peakDb);
                ++count;
            }
        if (count == 0) continue;
        if (hi - lo > 3.0) {
            std::fprintf(stderr, "make-factory-bank: the %s programs spread over %.1f dB\n", info(Kind(k)).name,
                         hi - lo);
            ok = false;
        }
        char row[256];
        std::snprintf(row, sizeof row, "| %s | %d | %.1f | %.2f | %.1f |\n", info(Kind(k)).name, count,
                      info(Kind(k)).targetDb, hi - lo, peak);
        kinds << row;
    }
    std::printf("%s", kinds.str().c_str());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("loudest peak %.2f dBFS (%s); %.1f s\n", loudest, loudestName.c_str(), seconds);
    if (!job.opt.report.empty()) {
        std::ofstream out(job.opt.report, std::ios::binary);
        out << "Levels by kind (demo clip, 44.1 kHz, RMS over the clip, peaks with " << kTailSeconds
            << " s of tail):\n\n"
            << kinds.str() << "\nPrograms (band shares in dB of the total; squash: how much less than 20 dB the "
            << "amplifier's output rises when a 110 Hz note rises from -34 to -14 dBFS):\n\n"
            << table.str();
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    Job job;
    if (!parse(argc, argv, job.opt)) {
        std::fprintf(stderr,
                     "usage: make-factory-bank [--check] [--reference REF.wav] [--report FILE] [--audition NAME]... "
                     "[--wav FOLDER] [--threads N] CLIP.wav IMPULSES-FOLDER RESOURCES-FOLDER\n");
        return 2;
    }
    const auto started = std::chrono::steady_clock::now();
    const Options& opt = job.opt;

    AudioClip clip;
    std::string error;
    if (!readWav(opt.clip, clip, error) || clip.sampleRate != kRate || clip.channels != 1) {
        std::fprintf(stderr, "make-factory-bank: %s: %s\n", opt.clip.c_str(),
                     error.empty() ? "not a mono clip at 44100 Hz" : error.c_str());
        return 1;
    }
    job.clip = clip.samples[0];
    job.input = job.clip;
    job.input.resize(job.clip.size() + size_t(kTailSeconds * kRate), 0.0);

    job.voices = voicings();
    std::map<std::string, PreampParameters> preamps;
    for (const Voicing& v : job.voices) preamps[v.name] = v.preamp;

    job.designs = programs();
    if (job.designs.size() != size_t(kBankSize)) {
        std::fprintf(stderr, "make-factory-bank: %zu programs, not %d\n", job.designs.size(), kBankSize);
        return 1;
    }
    bool ok = true;
    std::set<std::string> names;
    std::map<std::string, Impulse> impulses;
    for (const Program& p : job.designs) {
        if (std::strlen(p.name) == 0 || std::strlen(p.name) >= size_t(EffectProgram::kNameSize) ||
            !names.insert(p.name).second) {
            std::fprintf(stderr, "make-factory-bank: program name \"%s\" is empty, too long or repeated\n", p.name);
            ok = false;
        }
        if (impulses.count(p.cabinet) == 0 && !loadImpulse(opt.impulses, p.cabinet, impulses[p.cabinet])) return 1;
    }
    if (!ok) return 1;

    std::vector<size_t> chosen;
    for (size_t i = 0; i < job.designs.size(); ++i)
        if (opt.audition.empty() ||
            std::find(opt.audition.begin(), opt.audition.end(), job.designs[i].name) != opt.audition.end())
            chosen.push_back(i);

    std::atomic<bool> built{true};
    parallel(chosen.size(), opt.threads, [&](size_t k) {
        if (!build(job.designs[chosen[k]], preamps, impulses, job.bank[chosen[k]])) built = false;
    });
    if (!built) return 1;
    if (opt.check) return checkCommitted(job) ? 0 : 1;

    ok = level(job, chosen) && ok;
    // Written, then loaded again: the report measures what the file holds.
    auto written = std::make_unique<EffectProgram[]>(kBankSize);
    if (opt.audition.empty()) {
        if (!writeFiles(job) || !LoadBankFromXML(written.get(), bankPath(opt).c_str())) return 1;
        std::printf("bank %s: %ju bytes\n", bankPath(opt).c_str(), std::uintmax_t(fs::file_size(bankPath(opt))));
    } else {
        for (size_t i : chosen) written[i] = job.bank[i];
    }
    ok = measureAndReport(job, written.get(), chosen, started) && ok;
    return ok ? 0 : 1;
}
