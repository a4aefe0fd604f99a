#pragma once
// The fixed-size integer and status types of the macOS interfaces the Audio
// Unit stand-ins declare, and the visibility the stand-in calls are exported
// with (the frameworks they stand in for are outside the plug-in; here they
// live in the same library, and hosts call them there).

#include <cstdint>

#define TW_STANDIN_API extern "C" __attribute__((visibility("default")))

using UInt8 = uint8_t;
using SInt8 = int8_t;
using UInt16 = uint16_t;
using SInt16 = int16_t;
using UInt32 = uint32_t;
using SInt32 = int32_t;
using UInt64 = uint64_t;
using SInt64 = int64_t;
using Float32 = float;
using Float64 = double;
using Boolean = unsigned char;
using OSStatus = SInt32;
using OSErr = SInt16;
using OSType = UInt32;
using FourCharCode = UInt32;
using ComponentResult = SInt32;

constexpr OSStatus noErr = 0;
constexpr OSStatus paramErr = -50;
constexpr OSStatus memFullErr = -108;
constexpr OSStatus badComponentInstance = static_cast<OSStatus>(0x80008001u);
constexpr OSStatus badComponentSelector = static_cast<OSStatus>(0x80008002u);

constexpr OSType fourCC(char a, char b, char c, char d)
{
    return (UInt32(UInt8(a)) << 24) | (UInt32(UInt8(b)) << 16) | (UInt32(UInt8(c)) << 8) | UInt32(UInt8(d));
}
