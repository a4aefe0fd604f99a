#include "effects/HallReverb.h"

namespace tonewright {

HallReverb::HallReverb()
{
    Dottorroverb& a = Settings();
    a.setmix(1.0);
    a.setwidth(0.825);
    a.setdecay(0.26);
    a.setdamping(0.66);
    a.setbandwidth(0.67);
    a.setdiffusion(0.655);
}

}  // namespace tonewright
