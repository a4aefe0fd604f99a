#include "engine/TonewrightParameters.h"

#include "dsp/StringUtil.h"

namespace tonewright {

TonewrightParameters::TonewrightParameters()
{
    copyBounded(preamp.name, "Default");

    gate = {false, -80.0, 0.0, 0.001, 0.009};
    wah = {false, 0, 0.5};
    sustainer = {false, 1, 0.5, 0.001, 0.05};

    for (int s = 0; s < 4; ++s) {
        GainStageParameters& stage = preamp.stages[s];
        stage.enable = s == 0;
        stage.preFilter = {false, 0, 1000.0, 1.0, 1.0};
        stage.postFilter = stage.preFilter;
        stage.tube = {true, s == 0 ? 50.0 : 10.0, true, 0.9, 0.0, 0.0, true, -12.0, 550.0};
    }
    preamp.enable = true;
    preamp.gainControl = {1, 0.5};
    preamp.gainControlLocation = 1;
    preamp.toneControl = {2, 0.5, 0.5, 0.5, 0.5};
    preamp.toneControlLocation = 2;

    poweramp = {true, 1, 1.0, 0.5, 1.0};

    eq.parameters = {true, 0, 0, 0, 0, 0, 0, 0, 1000.0, 0.666, 0.0, 0.0, 0};
    tremolo.parameters = {true, 1, 1.0, 1.0, 0.0};
    chorus.parameters = {true, 1, 1.0, 0.5, 0.5, 0.01};
    flanger.parameters = {true, 1, 1.0, 0.5, 0.003, 0.5, 0.5, true};
    phaser.parameters = {true, 1, 1.0, 0.5, 2.0, 0.5, 1};
    echo.parameters = {true, 1, 0.375, 0.7, 0.0, 0.0, 1.0, false, true};
    reverb = {false, 2, 0.0};

    // The cabinet record holds the shared unit impulse "None" already.
    cabinet.enable = true;
    cabinet.windowsize = 8192;
    cabinet.minphase = false;
    cabinet.forcedmono = false;
    cabinet.dibox = {true, 4500.0, 0.7071};
}

}  // namespace tonewright
