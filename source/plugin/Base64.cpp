#include "plugin/Base64.h"

#include <array>

namespace tonewright::base64 {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Twelve bits to their two characters, so the encoder writes two characters
// per table read.
struct PairTable {
    std::array<char, 2 * 4096> pairs{};
    constexpr PairTable()
    {
        for (int i = 0; i < 4096; ++i) {
            pairs[size_t(2 * i)] = kAlphabet[i >> 6];
            pairs[size_t(2 * i + 1)] = kAlphabet[i & 63];
        }
    }
};
constexpr PairTable kPairs;

constexpr int8_t kSkip = -2;
constexpr int8_t kBad = -1;
constexpr int8_t kPad = -3;

struct DecodeTable {
    std::array<int8_t, 256> value{};
    constexpr DecodeTable()
    {
        for (auto& v : value) v = kBad;
        for (int i = 0; i < 64; ++i) value[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int8_t>(i);
        for (unsigned char c : {' ', '\t', '\r', '\n'}) value[c] = kSkip;
        value['='] = kPad;
    }
};
constexpr DecodeTable kDecode;

inline char* encodeTriples(const uint8_t* in, size_t triples, char* out)
{
    for (size_t t = 0; t < triples; ++t, in += 3, out += 4) {
        const uint32_t v = (uint32_t(in[0]) << 16) | (uint32_t(in[1]) << 8) | in[2];
        const char* a = &kPairs.pairs[size_t(2 * (v >> 12))];
        const char* b = &kPairs.pairs[size_t(2 * (v & 4095))];
        out[0] = a[0];
        out[1] = a[1];
        out[2] = b[0];
        out[3] = b[1];
    }
    return out;
}

// The last one or two bytes, padded.
inline char* encodeTail(const uint8_t* in, size_t rest, char* out)
{
    if (rest == 0) return out;
    const uint32_t v = (uint32_t(in[0]) << 16) | (rest == 2 ? uint32_t(in[1]) << 8 : 0u);
    out[0] = kAlphabet[v >> 18];
    out[1] = kAlphabet[(v >> 12) & 63];
    out[2] = rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out[3] = '=';
    return out + 4;
}

}  // namespace

size_t EncodedLength(size_t n, int lineLength)
{
    lineLength = lineLength / 4 * 4;
    const size_t chars = (n + 2) / 3 * 4;
    if (lineLength <= 0 || chars == 0) return chars;
    const size_t lines = (chars + size_t(lineLength) - 1) / size_t(lineLength);
    return chars + lines - 1;
}

size_t Encode(const uint8_t* in, size_t n, char* out, int lineLength)
{
    char* const start = out;
    lineLength = lineLength / 4 * 4;
    if (lineLength < 4) {
        out = encodeTriples(in, n / 3, out);
        out = encodeTail(in + n / 3 * 3, n % 3, out);
        return size_t(out - start);
    }
    const size_t lineBytes = size_t(lineLength) / 4 * 3;
    size_t left = n;
    while (left > lineBytes) {
        out = encodeTriples(in, lineBytes / 3, out);
        *out++ = '\n';
        in += lineBytes;
        left -= lineBytes;
    }
    out = encodeTriples(in, left / 3, out);
    out = encodeTail(in + left / 3 * 3, left % 3, out);
    return size_t(out - start);
}

std::string Encode(const uint8_t* in, size_t n, int lineLength)
{
    std::string text(EncodedLength(n, lineLength), '\0');
    Encode(in, n, text.data(), lineLength);
    return text;
}

Decoded Decode(std::string_view text, uint8_t* out, size_t capacity)
{
    Decoded result;
    uint32_t bits = 0;
    int count = 0;
    bool padded = false;
    // Whole groups of four alphabet characters, the bulk of any text, go
    // without the per-character checks below.
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = p + text.size();
    while (end - p >= 4 && result.bytes + 3 <= capacity) {
        const int a = kDecode.value[p[0]], b = kDecode.value[p[1]], c = kDecode.value[p[2]], d = kDecode.value[p[3]];
        if ((a | b | c | d) < 0) {
            if (a == kSkip && b == kSkip) {
                p += 2;  // a line break inside the text
                continue;
            }
            if (a == kSkip) {
                ++p;
                continue;
            }
            break;
        }
        const uint32_t v = uint32_t(a) << 18 | uint32_t(b) << 12 | uint32_t(c) << 6 | uint32_t(d);
        out[result.bytes] = uint8_t(v >> 16);
        out[result.bytes + 1] = uint8_t(v >> 8);
        out[result.bytes + 2] = uint8_t(v);
        result.bytes += 3;
        p += 4;
    }
    text.remove_prefix(size_t(p - reinterpret_cast<const unsigned char*>(text.data())));
    for (unsigned char c : text) {
        const int v = kDecode.value[c];
        if (v == kSkip) continue;
        if (padded) {
            if (v != kPad) result.ok = false;
            continue;
        }
        if (v == kPad) {
            padded = true;
            // A lone character before the padding carries no whole byte.
            if (count == 1) result.ok = false;
            continue;
        }
        if (v == kBad) {
            result.ok = false;
            break;
        }
        bits = (bits << 6) | uint32_t(v);
        if (++count == 4) {
            for (int shift = 16; shift >= 0; shift -= 8) {
                if (result.bytes < capacity) out[result.bytes++] = uint8_t(bits >> shift);
                else result.ok = false;
            }
            bits = 0;
            count = 0;
        }
    }
    // A final group of two or three characters (padded or not) holds one or
    // two bytes.
    if (count >= 2) {
        bits <<= 6 * (4 - count);
        for (int k = 0, shift = 16; k < count - 1; ++k, shift -= 8) {
            if (result.bytes < capacity) out[result.bytes++] = uint8_t(bits >> shift);
            else result.ok = false;
        }
    } else if (count == 1) {
        result.ok = false;
    }
    return result;
}

std::vector<uint8_t> Decode(std::string_view text, bool* ok)
{
    std::vector<uint8_t> bytes(text.size() / 4 * 3 + 3);
    const Decoded d = Decode(text, bytes.data(), bytes.size());
    if (ok) *ok = d.ok;
    if (!d.ok) return {};
    bytes.resize(d.bytes);
    return bytes;
}

}  // namespace tonewright::base64
