#pragma once
// Base64 in the standard alphabet with "=" padding, in two forms: one line
// (the MIDI map preference) and lines of a fixed length separated by one LF
// with none after the last (embedded cabinet impulses).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tonewright::base64 {

// Characters `Encode` writes for n bytes: lineLength 0 means one line; other
// line lengths are taken down to a multiple of 4.
size_t EncodedLength(size_t n, int lineLength = 0);

// Writes EncodedLength(n, lineLength) characters to out (no terminator) and
// returns that count.
size_t Encode(const uint8_t* in, size_t n, char* out, int lineLength = 0);
std::string Encode(const uint8_t* in, size_t n, int lineLength = 0);

struct Decoded {
    size_t bytes = 0;  // bytes written
    bool ok = true;    // false: a character outside the alphabet, or data after padding
};

// Decodes text, skipping white space (blank, tab, CR, LF) anywhere. At most
// `capacity` bytes are written; bytes beyond it are counted as not written
// and make the result not ok. Stops at the first "=".
Decoded Decode(std::string_view text, uint8_t* out, size_t capacity);
// The whole text; empty with ok false on malformed input.
std::vector<uint8_t> Decode(std::string_view text, bool* ok = nullptr);

}  // namespace tonewright::base64
