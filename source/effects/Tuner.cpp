#include "Tuner.h"

Tuner::Tuner() = default;

void Tuner::SetFs(double) {}

void Tuner::SetConcertA(double) {}

void Tuner::process_input(double*, int) {}

void Tuner::GetReading(int* note, double* needle, char* name)
{
    if (note) *note = 0;
    if (needle) *needle = 0.0;
    if (name) name[0] = '\0';
}
