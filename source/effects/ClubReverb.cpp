#include "effects/ClubReverb.h"

namespace tonewright {

ClubReverb::ClubReverb()
{
    Freeverb& a = Settings();
    a.setmix(1.0);
    a.setwidth(1.0);
    a.setdecay(0.79);
    a.setdamping(0.93);
}

}  // namespace tonewright
