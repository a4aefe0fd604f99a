#pragma once
// The preamp's gain potentiometer in one of six circuit types.

struct GainControlParameters {
    int type = 0;
    double wiper = 0.5;
};
