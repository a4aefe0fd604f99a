#include "amp/JMP1ToneControls.h"

namespace tonewright {

JMP1ToneControls::JMP1ToneControls()
    : FourKnobEqualiser({kBass, Filter::kLowShelf, 156.0, 0.692, -6.0, 6.0},
                        {kMids, Filter::kPeak, 778.0, 0.959, -8.0, 8.0},
                        {kTreble, Filter::kHighShelf, 2321.0, 0.466, -8.0, 8.0},
                        {kPresence, Filter::kHighShelf, 5000.0, 0.7071, -5.0, 5.0})
{
}

}  // namespace tonewright
