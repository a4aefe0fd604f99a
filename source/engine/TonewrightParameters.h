#pragma once
// The record of a complete sound: every stage's settings, where the movable
// effects sit, the engine's own switches, the master level, the oversampling
// choice and the cabinet impulse.
//
// Threads. A plain value: its owner keeps writers and readers apart. Copying
// one copies settings and the cabinet impulse's pointer, never samples, so a
// copy allocates nothing (the audio thread may make one).

#include "cabinet/CabinetProcessorParameters.h"
#include "effects/Chorus.h"
#include "effects/CompressorSustainer.h"
#include "effects/Echo.h"
#include "effects/Flanger.h"
#include "effects/GraphicEQ7.h"
#include "effects/NoiseGate.h"
#include "effects/Phaser.h"
#include "amp/PowerAmp.h"
#include "amp/Preamp.h"
#include "effects/Reverb.h"
#include "effects/Tremolo.h"
#include "effects/WahWah.h"

namespace tonewright {

// The pair wrapper of an effect that exists before and after the amplifier:
// the pre instance runs when enable && !post, the post one when enable && post.
template <typename Record>
struct PlacedParameters {
    bool post = false;
    bool enable = true;
    Record parameters;
};

class TonewrightParameters {
public:
    TonewrightParameters();

    bool enable = true;
    NoiseGateParameters gate;
    int lowcut_type = 1;
    WahWahParameters wah;
    CompressorSustainerParameters sustainer;
    bool boost_enabled = true;
    bool deep_enabled = true;
    bool bright_enabled = true;
    PreampParameters preamp;
    PowerAmpParameters poweramp;
    PlacedParameters<GraphicEQ7Parameters> eq;
    CabinetProcessorParameters cabinet;
    PlacedParameters<TremoloParameters> tremolo;
    PlacedParameters<ChorusParameters> chorus;
    PlacedParameters<FlangerParameters> flanger;
    PlacedParameters<PhaserParameters> phaser;
    PlacedParameters<EchoParameters> echo;
    ReverbParameters reverb;
    double master_level = 0.0;
    bool upsampler_enabled = true;
};

}  // namespace tonewright
