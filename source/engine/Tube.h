#pragma once
// The valve nonlinearity of the preamp and power amp.

struct TubeParameters {
    bool enable = true;
    double gain = 50.0;
    bool invert = true;
    double clipping = 0.9;
    double symmetry = 0.0;
    double offset = 0.0;
    bool dynamic = true;
    double shelf = -6.0;
    double frequency = 1000.0;
};
