#pragma once
// The vocabulary the factory bank is written in: engine settings by name,
// the preamp voicings' gain stages, the kinds of program with the levels and
// gain character each must show, and the words of a name with what each
// promises. The designs themselves are in Programs.cpp.

#include <string>
#include <vector>

#include "engine/TonewrightParameters.h"

namespace tonewright::factory {

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

Settings operator+(Settings a, const Settings& b);
double fromDb(double db);

// The amplifier's knobs: gain (the gain control's wiper, 0.05..1) and the
// tone stack's four.
Settings amp(double gain, double bass, double mids, double treble, double presence);
// Power amp: type 0 single-ended, 1 push-pull, 2 push-pull with asymmetric
// tubes; drive in dB (-6..+24).
Settings power(int type, double driveDb, double bias, double dynamics);
Settings gate(double thresholdDb, double release = 0.08);
// Pedal mode (type 0) with a fixed pedal, or auto (type 1) with a sensitivity.
Settings wah(int type, double pedal);
Settings sustainer(int type, double amount, double attack = 0.005, double release = 0.15);
Settings boost();
Settings deep();
Settings bright();
// The cabinet's DI box: a resonant low-pass (corner 2500..8000 Hz, Q
// 0.666..6).
Settings di(double frequency, double q);

// Seven octave bands (set 0: 100 Hz .. 6.4 kHz), output level and the
// parametric mid band, after the power amp.
struct EqCurve {
    double bands[7];
    double level = 0.0;
    double midFrequency = 1000.0;
    double midLevel = 0.0;
};
Settings eq(const EqCurve& c);

// Placement of the modulation and delay effects: before the amplifier
// (mono) or after the cabinet (stereo).
enum class Place { pre, post };
enum class Phase { normal, inverted };
Settings tremolo(Place place, int type, double speed, double depth, double waveform);
Settings chorus(Place place, int type, double speed, double depth, double mix, double delay);
Settings flanger(Place place, int type, double speed, double depth, double delay, double sweep, double regeneration,
                 Phase phase);
Settings phaser(Place place, int type, double speed, double depth, double sweep, double regeneration, int stages);
// Echo: type 0 straight, 1 ping-pong; levels in dB; style 0 dark .. 1 clear.
Settings echo(int type, double delay, double feedback, double delayLevelDb, double style, Place place = Place::post);
// Reverb: 0 room, 1 club, 2 hall; level in dB.
Settings reverb(int type, double levelDb);

// A triode stage: gain, knee (clipping), symmetry and bias offset, its
// cathode feedback (gain lower by `shelf` dB below `corner` Hz), and the
// filters before and after it.
FilterParameters off();
FilterParameters highPass1(double f);
FilterParameters lowPass1(double f, double levelDb = 0.0);
FilterParameters highShelf1(double f, double db);
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
GainStageParameters stage(const Triode& t);

// Tone stack types: 0 plain four-band, 1 American, 2 British, 3 chimey
// class A (treble and bass, mids separate), 4 modern five-knob, 5 American
// high gain, 6 boutique class A, 7 rack preamp. Unused stages are off.
PreampParameters preamp(const char* name, const std::vector<GainStageParameters>& stages, int gainType, int gainAt,
                        int toneType, int toneAt);

struct Voicing {
    const char* name;
    const char* family;  // sub-folder of Preamps
    PreampParameters preamp;
};

// Band balance: energy in 80-250 Hz, 250 Hz-1 kHz, 1-4 kHz and 4-10 kHz,
// each in dB of the total.
struct Bands {
    double share[4];
};

enum class Kind { clean, edge, crunch, classicRock, highGain, lead, ambient, showcase };
constexpr int kKinds = 8;

// What every program of a kind must measure: its loudness over the demo
// clip, and its gain character (distortion of a -14 dBFS 110 Hz note and
// the compression index, see Measure.h), where the kind has one.
struct KindInfo {
    const char* name;
    double targetDb;     // RMS of the rendered demo clip, dBFS
    bool nearReference;  // band balance held within kReferenceLimitDb of the reference
    double thdAtMostDb = 0.0;
    double thdAtLeastDb = -200.0;
    double compressionAtMost = 10.0;
};
const KindInfo& info(Kind k);

struct Program {
    const char* name;
    Kind kind;
    const char* voicing;
    const char* cabinet;  // impulse file name without ".wav"
    Settings settings;
};

// What a word of a program's name promises; the generator measures it.
enum class Promise {
    clean,       // distortion below the clean kind's limit
    breakup,     // distortion above it, and compression below the clean programs'
    compressed,  // a compression index of kCompressedAtMost or less
    chorus, flanger, phaser, tremolo, wah, echo, reverb, gate, boost,
    stereo,   // the two outputs differ
    bright,   // 4-10 kHz share above the kind's median
    dark,     // 4-10 kHz share below the kind's median
    scooped,  // 250 Hz-1 kHz share below the kind's median
};
struct Word {
    const char* word;
    Promise promise;
};

std::vector<Voicing> voicings();
std::vector<Program> programs();
const std::vector<Word>& words();

// The demo clip through Guitarix's amplifier and cabinet at their default
// settings (tools/make_factory_bank.sh renders it where Ardour is installed).
extern const Bands kReference;
constexpr double kReferenceLimitDb = 6.0;
constexpr double kCompressedAtMost = 0.85;
constexpr double kTiltDb = 1.0;  // how far Bright, Dark or Scooped must lean

}  // namespace tonewright::factory
