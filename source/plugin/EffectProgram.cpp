#include "plugin/EffectProgram.h"

#include "dsp/StringUtil.h"

namespace tonewright {

EffectProgram::EffectProgram()
{
    copyBounded(name, "Default Program");
}

}  // namespace tonewright
