#pragma once
// Plain types of the Pro Tools plug-in library as this stand-in models it:
// four-character codes, results, rectangles, points, mouse events and the
// library's exception. The numbers the library gives meaning to stay opaque
// here; they are stored as given.

#include <cstdint>
#include <exception>

using OSType = uint32_t;
using ComponentResult = int32_t;

// 'abcd' with the first character in the most significant byte.
constexpr OSType MakeOSType(char a, char b, char c, char d)
{
    return (static_cast<OSType>(static_cast<unsigned char>(a)) << 24) |
           (static_cast<OSType>(static_cast<unsigned char>(b)) << 16) |
           (static_cast<OSType>(static_cast<unsigned char>(c)) << 8) | static_cast<OSType>(static_cast<unsigned char>(d));
}

// Results of the library's calls.
enum : ComponentResult {
    kPlugInNoErr = 0,
    kPlugInNoGroupErr = -7003,      // the deliverable made no group
    kPlugInUnknownErr = -7401,      // a failure that is not the library's own error
    kPlugInChunkUnknownErr = -7405, // no chunk of that id
    kPlugInChunkRangeErr = -7406,   // a chunk record of the wrong size or content
    kPlugInNoProcessErr = -7410,    // the type's factory made no process
};

// Carbon's rectangle and point: 16-bit coordinates, top and left inclusive.
struct Rect {
    int16_t top;
    int16_t left;
    int16_t bottom;
    int16_t right;
};

struct Point {
    int16_t v;
    int16_t h;
};

// A mouse-down as the library hands it to a view: where, in the view's
// window coordinates.
struct EventRecord {
    uint16_t what;
    Point where;
    uint32_t modifiers;
};

// What library calls throw; the entry points turn it into its code.
class CDAEError : public std::exception {
public:
    explicit CDAEError(ComponentResult code) : errorCode(code) {}
    ComponentResult GetErrorCode() const { return errorCode; }
    const char* what() const noexcept override { return "plug-in library error"; }

private:
    ComponentResult errorCode;
};

// Runs a library entry for the host: what it throws becomes a result (the
// library's own error its code, anything else kPlugInUnknownErr).
template <typename Call>
ComponentResult PlugInGuarded(Call&& call) noexcept
{
    try {
        return call();
    } catch (const CDAEError& error) {
        return error.GetErrorCode();
    } catch (...) {
        return kPlugInUnknownErr;
    }
}
