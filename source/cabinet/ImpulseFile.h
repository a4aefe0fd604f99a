#pragma once
// Reading of WAV and AIFF impulse response files.

#include <vector>

// Reads an impulse file into left and right (a mono file gives two equal
// channels). Returns false, changing none of the outputs, when the file is
// missing or not a readable impulse.
bool LoadImpulse(const char* path, std::vector<double>& left, std::vector<double>& right, int& length,
                 int& rate, bool& mono);
