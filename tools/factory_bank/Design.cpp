#include "factory_bank/Design.h"

#include <cmath>

#include "dsp/StringUtil.h"

namespace tonewright::factory {

Settings operator+(Settings a, const Settings& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

double fromDb(double db) { return std::pow(10.0, db / 20.0); }

Settings amp(double gain, double bass, double mids, double treble, double presence)
{
    return {{kGain, gain}, {kBass, bass}, {kMids, mids}, {kTreble, treble}, {kPresence, presence}};
}

Settings power(int type, double driveDb, double bias, double dynamics)
{
    return {{kPowerType, double(type)}, {kPowerDrive, fromDb(driveDb)}, {kPowerBias, bias}, {kPowerDynamics, dynamics},
            {kPowerOn, 1}};
}

Settings gate(double thresholdDb, double release)
{
    return {{kGateThreshold, thresholdDb}, {kGateGating, 0.5}, {kGateAttack, 0.001}, {kGateRelease, release},
            {kGateOn, 1}};
}

Settings wah(int type, double pedal) { return {{kWahType, double(type)}, {kWahPedal, pedal}, {kWahOn, 1}}; }

Settings sustainer(int type, double amount, double attack, double release)
{
    return {{kSustainerType, double(type)}, {kSustainerAmount, amount}, {kSustainerAttack, attack},
            {kSustainerRelease, release}, {kSustainerOn, 1}};
}

Settings boost() { return {{kBoost, 1}}; }
Settings deep() { return {{kDeep, 1}}; }
Settings bright() { return {{kBright, 1}}; }
Settings di(double frequency, double q) { return {{kDiFrequency, frequency}, {kDiQ, q}, {kDiOn, 1}}; }

Settings eq(const EqCurve& c)
{
    Settings s = {{kEqType, 0}};
    for (int i = 0; i < 7; ++i) s.push_back({kEqBand1 + i, c.bands[i]});
    return s + Settings{{kEqLevel, c.level}, {kEqMidFrequency, c.midFrequency}, {kEqMidLevel, c.midLevel},
                        {kEqPost, 1}, {kEqOn, 1}};
}

namespace {
double postFlag(Place p) { return p == Place::post ? 1.0 : 0.0; }
}  // namespace

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
                 Phase phase)
{
    return {{kFlangerType, double(type)},
            {kFlangerSpeed, speed},
            {kFlangerDepth, depth},
            {kFlangerDelay, delay},
            {kFlangerSweep, sweep},
            {kFlangerRegeneration, regeneration},
            {kFlangerPhase, phase == Phase::inverted ? 1.0 : 0.0},
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

Settings echo(int type, double delay, double feedback, double delayLevelDb, double style, Place place)
{
    return {{kEchoType, double(type)},
            {kEchoDelay, delay},
            {kEchoFeedback, feedback},
            {kEchoDirect, 0.0},
            {kEchoDelayLevel, delayLevelDb},
            {kEchoStyle, style},
            {kEchoFilterInput, 0},
            {kEchoTails, 1},
            {kEchoPost, postFlag(place)},
            {kEchoOn, 1}};
}

Settings reverb(int type, double levelDb) { return {{kReverbType, double(type)}, {kReverbLevel, levelDb}, {kReverbOn, 1}}; }

FilterParameters off() { return {false, Filter::kLowPass, 1000.0, 0.7071, 0.0}; }
FilterParameters highPass1(double f) { return {true, Filter::kHighPass1, f, 0.7071, 0.0}; }
FilterParameters lowPass1(double f, double levelDb) { return {true, Filter::kLowPass1, f, 0.7071, levelDb}; }
FilterParameters highShelf1(double f, double db) { return {true, Filter::kHighShelf1, f, 0.7071, db}; }

GainStageParameters stage(const Triode& t)
{
    GainStageParameters s;
    s.enable = true;
    s.preFilter = t.pre;
    s.tube = {true, t.gain, true, t.clipping, t.symmetry, t.offset, true, t.shelf, t.corner};
    s.postFilter = t.post;
    return s;
}

PreampParameters preamp(const char* name, const std::vector<GainStageParameters>& stages, int gainType, int gainAt,
                        int toneType, int toneAt)
{
    GainStageParameters unused = stage({1.0});
    unused.enable = false;
    PreampParameters p;
    p.enable = true;
    for (int i = 0; i < 4; ++i) p.stages[i] = i < int(stages.size()) ? stages[size_t(i)] : unused;
    p.gainControl = {gainType, 0.5};
    p.gainControlLocation = gainAt;
    p.toneControl = {toneType, 0.5, 0.5, 0.5, 0.5};
    p.toneControlLocation = toneAt;
    copyBounded(p.name, name);
    return p;
}

}  // namespace tonewright::factory
