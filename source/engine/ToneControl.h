#pragma once
// The preamp's tone section: eight tone-stack types behind four knobs.

struct ToneControlParameters {
    int type = 0;
    double bass = 0.5;
    double mids = 0.5;
    double treble = 0.5;
    double presence = 0.5;
};
