#include "EffectProgram.h"

#include "StringUtil.h"

EffectProgram::EffectProgram()
{
    copyBounded(name, "Default Program");
}
