#pragma once
// The DI box ahead of the cabinet: two cascaded low-pass biquads.

struct DirectBoxParameters {
    bool enable = true;
    double frequency = 1000.0;
    double q = 0.7071;
};
