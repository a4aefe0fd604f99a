#pragma once
// The modelling engine: owns every processing stage by value and runs them in
// a fixed order on blocks of double samples, mono in, stereo out. It keeps
// its TonewrightParameters record in step with the stages and maps engine
// parameter ids (1..94) onto them.
//
// The engine has no locks: no two calls on one engine may overlap. Its owner
// keeps setters away from a running process().

#include "cabinet/CabinetProcessor.h"
#include "dsp/Filter.h"
#include "dsp/Stage.h"
#include "amp/Oversampler.h"
#include "engine/ParameterTable.h"
#include "engine/TonewrightParameters.h"

namespace tonewright {

class Tonewright {
public:
    static constexpr int kFirstId = 1;
    static constexpr int kLastId = kLastParameterId;

    Tonewright();
    Tonewright(const Tonewright&) = delete;
    Tonewright& operator=(const Tonewright&) = delete;

    // One block: `in` (n mono samples) is processed in place and holds the
    // signal as the cabinet stage left it; outL and outR receive the output.
    void process(double* in, double* outL, double* outR, int n);

    void SetFs(double rate);
    double GetFs() const { return fs; }

    // Makes room in every stage for blocks of up to n samples (and the
    // oversampled multiple), so process() allocates nothing for such blocks.
    void Reserve(int n);

    void SetParameter(int id, double value);
    void SetParameterNormalized(int id, double x);
    double GetParameter(int id) const;
    double GetParameterNormalized(int id) const;
    void SetParameters(TonewrightParameters* p);
    TonewrightParameters* GetParameters();

    void SetPreamp(const PreampParameters* p);
    void ReloadPreamp();
    bool SetCabinetImpulse(const double* left, const double* right, int length, bool mono,
                           double samplerate, const char* name);
    // An impulse prepared beforehand, on any thread (the slow part): a caller
    // that holds a lock around engine calls prepares first, then hands over.
    bool SetCabinetImpulse(CabinetImpulse&& impulse);
    bool SetCabinetImpulse(const char* path);

private:
    // Calls f(stage, clock) for every stage in chain order; every operation
    // on the whole chain walks this one list.
    template <typename Self, typename F>
    static void forEachStage(Self& self, F&& f)
    {
        f(self.gate, Clock::host);
        f(self.lowcut, Clock::host);
        f(self.wah, Clock::host);
        f(self.sustainer, Clock::host);
        f(self.boost, Clock::host);
        f(self.oversampler, Clock::host);
        f(self.preamp, Clock::host);
        f(self.preamp_os, Clock::oversampled);
        f(self.poweramp, Clock::host);
        f(self.poweramp_os, Clock::oversampled);
        f(self.eq_pre, Clock::host);
        f(self.eq_post, Clock::host);
        f(self.deep, Clock::host);
        f(self.bright, Clock::host);
        f(self.cabinet, Clock::host);
        f(self.tremolo_pre, Clock::host);
        f(self.tremolo_post, Clock::host);
        f(self.chorus_pre, Clock::host);
        f(self.chorus_post, Clock::host);
        f(self.flanger_pre, Clock::host);
        f(self.flanger_post, Clock::host);
        f(self.phaser_pre, Clock::host);
        f(self.phaser_post, Clock::host);
        f(self.echo_pre, Clock::host);
        f(self.echo_post, Clock::host);
        f(self.reverb, Clock::host);
        f(self.master, Clock::host);
    }

    // Calls f with the stage (or stages) a unit of the parameter table names,
    // bound to the record part it reads back into.
    template <typename F>
    void visitStage(Unit unit, F&& f);
    // The engine's own filter a unit names; null for any other unit.
    Filter* EngineFilter(Unit unit);
    void RefreshRecord();
    void Settle();

    double fs = -1.0;
    TonewrightParameters parameters;

public:
    // The stages, in the order the chain names them. Public so that tests
    // and the plug-in can look at them; only the engine drives them.
    NoiseGate gate;
    Filter lowcut;
    WahWah wah;
    CompressorSustainer sustainer;
    Filter boost;
    Oversampler oversampler;
    Preamp preamp;
    Preamp preamp_os;
    PowerAmp poweramp;
    PowerAmp poweramp_os;
    GraphicEQ7 eq_pre;
    GraphicEQ7 eq_post;
    Filter deep;
    Filter bright;
    CabinetProcessor cabinet;
    Tremolo tremolo_pre, tremolo_post;
    Chorus chorus_pre, chorus_post;
    Flanger flanger_pre, flanger_post;
    Phaser phaser_pre, phaser_post;
    Echo echo_pre, echo_post;
    Reverb reverb;
    Filter master;
};

// The text after the last '/' of path, or path itself without one.
const char* fname(const char* path);

}  // namespace tonewright
