#pragma once
// The preamp's tone section: eight tone-stack types behind four knobs. Every
// type is kept ready in two banks and receives every knob change; a change of
// type fades from one bank to the other (1 ms hold, 30 ms fade).

#include "dsp/BankCrossfade.h"
#include "amp/BasicToneControls.h"
#include "amp/BoogieToneStack.h"
#include "amp/FenderToneStack.h"
#include "amp/JMP1ToneControls.h"
#include "amp/MarshallToneStack.h"
#include "amp/MatchlessBassMidsStack.h"
#include "amp/MatchlessTrebleVolumeStack.h"
#include "amp/MidsControl.h"
#include "dsp/MonoBuffer.h"
#include "amp/PeaveyToneStack.h"
#include "amp/PresenceControl.h"
#include "amp/VoxToneStack.h"

namespace tonewright {

// Knob positions 0 .. 1; values outside are refused.
struct ToneControlParameters {
    int type = 0;
    double bass = 0.5;
    double mids = 0.5;
    double treble = 0.5;
    double presence = 0.5;
};

class ToneControl {
public:
    static constexpr int kTypes = 8;

    ToneControl();

    // 0 type (floor(v + 0.5) in 0..7), 1 bass, 2 mids, 3 treble,
    // 4 presence (0..1); anything else is ignored.
    void SetParameter(int index, double v);
    double GetParameter(int index) const;
    void SetParameters(const ToneControlParameters& r);
    ToneControlParameters GetParameters() const { return params; }
    void SetFs(double rate);
    // Ends a pending or running type fade and every processor's fade.
    void Settle();
    void Reserve(int n);

    void process(double* x, int n);
    // Steady: no type fade and every processor of the type steady; then
    // the control may run as parts of a KernelChain instead of process().
    bool Steady() const;
    void AppendTo(KernelChain& chain) { banks[fade.current].AppendTo(bankType[fade.current], chain); }

    // The type the bank in use plays (for analysis).
    int PlayingType() const { return bankType[fade.current]; }
    bool Fading() const { return fade.fading; }

private:
    // One complete set of the processors.
    struct Bank {
        BasicToneControls basic;
        FenderToneStack fender;
        MarshallToneStack marshall;
        VoxToneStack vox;
        BoogieToneStack boogie;
        PeaveyToneStack peavey;
        MatchlessBassMidsStack matchlessBassMids;
        MatchlessTrebleVolumeStack matchlessTrebleVolume;
        JMP1ToneControls jmp1;
        MidsControl mids;
        PresenceControl presence;

        void SetBass(double v);
        void SetMids(double v);
        void SetTreble(double v);
        void SetPresence(double v);
        void SetFs(double rate);
        void Settle();
        void Reserve(int n);
        // Runs the chain of one type on a block.
        void Run(int type, double* x, int n);
        void AppendTo(int type, KernelChain& chain);

        // Calls f on the processors of one type of a bank (const or not),
        // in the order they run.
        template <class Self, class F>
        static void ForType(Self& b, int type, F&& f)
        {
            switch (type) {
            case 0: f(b.basic); break;
            case 1: f(b.fender), f(b.presence); break;
            case 2: f(b.marshall), f(b.presence); break;
            case 3: f(b.vox), f(b.mids), f(b.presence); break;
            case 4: f(b.boogie); break;
            case 5: f(b.peavey), f(b.presence); break;
            case 6: f(b.matchlessBassMids), f(b.matchlessTrebleVolume), f(b.presence); break;
            case 7: f(b.jmp1); break;
            default: break;
            }
        }

        // Calls f on every processor, in member order.
        template <class F>
        void ForEach(F&& f)
        {
            f(basic);
            f(fender);
            f(marshall);
            f(vox);
            f(boogie);
            f(peavey);
            f(matchlessBassMids);
            f(matchlessTrebleVolume);
            f(jmp1);
            f(mids);
            f(presence);
        }
    };

    ToneControlParameters params;
    Bank banks[2];
    MonoBuffer fadeBuffer;
    int bankType[2] = {0, 0};
    double fs = 0.0;
    BankCrossfade fade{31.0 / 30.0, 0.03};
};

}  // namespace tonewright
