#include "ImpulseFile.h"

#include <cstdio>

namespace {

bool refuse(const char* what)
{
    std::fprintf(stderr, "Quarrystone TWR:: Cannot read impulse file %s.\n", what ? what : "(no path)");
    return false;
}

}  // namespace

bool LoadImpulse(const char* path, std::vector<double>*, std::vector<double>*, int*, int*, bool*)
{
    return refuse(path);
}

bool LoadWAVImpulse(const char* path, std::vector<double>*, std::vector<double>*, int*, int*, bool*)
{
    return refuse(path);
}

bool LoadAIFFImpulse(const char* path, std::vector<double>*, std::vector<double>*, int*, int*, bool*)
{
    return refuse(path);
}

bool LoadWAVImpulseData(const unsigned char*, size_t, std::vector<double>*, std::vector<double>*, int*, int*, bool*)
{
    return refuse("(memory)");
}

bool LoadAIFFImpulseData(const unsigned char*, size_t, std::vector<double>*, std::vector<double>*, int*, int*, bool*)
{
    return refuse("(memory)");
}

bool Convert80BitDouble(const unsigned char*, double*)
{
    return false;
}
