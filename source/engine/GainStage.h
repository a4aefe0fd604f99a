#pragma once
// One preamp stage: filter, tube, filter.

#include "Filter.h"
#include "Tube.h"

struct GainStageParameters {
    bool enable = true;
    FilterParameters preFilter;
    TubeParameters tube;
    FilterParameters postFilter;
};
