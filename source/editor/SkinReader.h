#pragma once
// Reading the skin description: XML whose attribute values may also be
// written without quotes (x=10), as the skins' hand-written ancestors were.
// Names of elements and attributes are compared without regard to case;
// numbers are read in the C locale whatever the host's locale.

#include <string>
#include <string_view>

#include <pugixml.hpp>

namespace tonewright {

// The text with every unquoted attribute value put in double quotes (a '"'
// or '<' inside one escaped); comments, declarations, CDATA and text
// between elements are left as they are.
std::string QuoteBareAttributes(std::string_view text);

// Parses the skin text into doc. Malformed text keeps the part read before
// the fault (so its views are still built); returns whether all was read.
bool ParseSkin(std::string_view text, pugi::xml_document& doc);

// Whether two names are equal, ASCII case ignored.
bool SameName(const char* a, const char* b);

// The attributes of one skin element and the four ways a skin reads them.
class SkinAttributes {
public:
    explicit SkinAttributes(pugi::xml_node element) : node(element) {}

    // The value text, or none when the element has no such attribute.
    const char* GetTagAsString(const char* name) const;
    // The leading decimal integer; 0 when absent or when none starts there.
    int GetTagAsInt(const char* name) const;
    // The leading number; 0 when absent or when none starts there.
    float GetTagAsFloat(const char* name) const;
    // "true" / "false" in any case; otherwise whether the integer is not 0;
    // false when absent.
    bool GetTagAsBool(const char* name) const;

    pugi::xml_node element() const { return node; }

private:
    pugi::xml_node node;
};

}  // namespace tonewright
