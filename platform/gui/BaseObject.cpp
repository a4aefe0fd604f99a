#include "gui/BaseObject.h"

#include <cstring>

bool CBaseObject::isTypeOf(const char* type) const { return type && std::strcmp(type, "CBaseObject") == 0; }
