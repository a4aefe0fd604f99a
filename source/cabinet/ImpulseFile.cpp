#include "ImpulseFile.h"

#include <cstdio>

bool LoadImpulse(const char* path, std::vector<double>&, std::vector<double>&, int&, int&, bool&)
{
    std::fprintf(stderr, "Quarrystone TWR:: Cannot read impulse file %s.\n", path ? path : "(null)");
    return false;
}
