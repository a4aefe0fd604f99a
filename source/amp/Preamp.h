#pragma once
// The preamplifier: four gain stages in series, with a gain control and a
// tone control each placed at one of five points of that chain (or left
// out). Everything exists twice, as bank 0 and bank 1, and every parameter
// goes to both; moving a control to another place is the one change made
// through the banks: the idle bank takes the new arrangement and the output
// crossfades to it (10 ms hold, 50 ms fade). Type and knob changes are made
// click-free inside the components themselves.

#include "dsp/BankCrossfade.h"
#include "amp/GainControl.h"
#include "amp/GainStage.h"
#include "dsp/MonoBuffer.h"
#include "dsp/SoftBypass.h"
#include "amp/ToneControl.h"

namespace tonewright {

// Every value is held and ranged by a part: the gain stages' filters and
// tubes, the gain control and the tone control.
struct PreampParameters {
    bool enable = true;
    GainStageParameters stages[4];
    GainControlParameters gainControl;
    int gainControlLocation = 1;
    ToneControlParameters toneControl;
    int toneControlLocation = 4;
    char name[256] = "Default";
};

class Preamp {
public:
    static constexpr int kStages = 4;
    // Locations: 0 out of the chain, 1..4 before that gain stage, 5 after
    // the last one.
    static constexpr int kLastLocation = 5;

    Preamp();

    // 0 on/off, 1 gain-control wiper, 2..5 bass, mids, treble, presence,
    // 6..85 gain-stage parameters (20 per stage), 86 gain-control type,
    // 87 its location, 88 tone-control type, 89 its location.
    void SetParameter(int index, double value);
    double GetParameter(int index) const;
    // A whole record, knob positions included.
    void SetParameters(const PreampParameters& p);
    PreampParameters GetParameters() const { return params; }
    // A preamp model: the record without its wiper and tone-knob positions,
    // which stay as the user set them.
    void SetPreamp(const PreampParameters& p);
    void SetFs(double rate);
    double GetFs() const { return fs; }
    void Settle();
    void Reserve(int n);
    void process(double* x, int n);
    // Steady: fully on, no arrangement fade, and every part in the chain
    // steady; then the preamp may run as parts of a KernelChain instead of
    // process().
    bool Steady() const;
    void AppendTo(KernelChain& chain);

    const SoftBypass& Bypass() const { return bypass; }
    bool Fading() const { return fade.fading; }

private:
    // Runs bank b's arrangement on y.
    void RunBank(int b, double* y, int n);
    void SetName(const char (&name)[256]);

    PreampParameters params;
    double fs = 0.0;
    int gainControlAt[2] = {1, 1};
    int toneControlAt[2] = {4, 4};
    GainStage stages[kStages][2];
    GainControl gainControls[2];
    ToneControl toneControls[2];
    MonoBuffer fadeBuffer;
    // `dirty` here means a location changed and waits for the next fade.
    BankCrossfade fade{1.2, 0.05};
    SoftBypass bypass;
};

}  // namespace tonewright
