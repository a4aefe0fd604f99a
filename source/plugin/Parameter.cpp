#include "plugin/Parameter.h"

#include "dsp/StringUtil.h"

namespace tonewright {

Parameter::Parameter() : value(0.0f)
{
    copyBounded(name, "Default");
    copyBounded(label, "Default");
}

}  // namespace tonewright
