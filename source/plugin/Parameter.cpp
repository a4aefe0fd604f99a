#include "Parameter.h"

#include "StringUtil.h"

Parameter::Parameter() : value(0.0f)
{
    copyBounded(name, "Default");
    copyBounded(label, "Default");
}
