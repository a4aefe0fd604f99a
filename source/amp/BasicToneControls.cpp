#include "amp/BasicToneControls.h"

namespace tonewright {

BasicToneControls::BasicToneControls()
    : FourKnobEqualiser({kBass, Filter::kLowShelf, 250.0, 0.7071, -12.0, 12.0},
                        {kTreble, Filter::kHighShelf, 2500.0, 0.7071, -12.0, 6.0},
                        {kMids, Filter::kPeak, 950.0, 0.7071, -18.0, 12.0},
                        {kPresence, Filter::kHighShelf, 4000.0, 0.7071, -12.0, 6.0})
{
}

}  // namespace tonewright
