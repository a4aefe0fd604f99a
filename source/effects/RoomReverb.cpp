#include "effects/RoomReverb.h"

namespace tonewright {

RoomReverb::RoomReverb()
{
    NRev& a = Settings();
    a.setmix(1.0);
    a.setwidth(0.77);
    a.setdecay(0.795);
    a.setdamping(0.345);
}

}  // namespace tonewright
