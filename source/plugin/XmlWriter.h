#pragma once
// Writes XML text element by element, byte for byte as the stored formats
// define it: attributes in the order they are written, every element with an
// opening and a closing tag (never the empty-element form), text and
// attribute values escaped (& < > and CR in text; also " LF and TAB in
// attribute values), numbers in the C locale whatever the process's locale.
// The bank comparison depends on this text being a pure function of the
// values written.

#include <string>
#include <string_view>
#include <vector>

namespace tonewright {

class XmlWriter {
public:
    explicit XmlWriter(std::string& target) : out(target) {}

    // Starts an element inside the current one (or the first, outermost).
    void Open(std::string_view tag);
    // Attributes of the element just opened, before any content.
    void Attribute(std::string_view name, std::string_view value);
    void Attribute(std::string_view name, const char* value) { Attribute(name, std::string_view(value ? value : "")); }
    void Attribute(std::string_view name, bool value);
    void Attribute(std::string_view name, int value);     // as printf "%i"
    void Attribute(std::string_view name, double value);  // as printf "%g"
    // Character content of the current element, escaped.
    void Text(std::string_view text);
    // Character content written as it is: only for text that holds no
    // character needing an escape (layout white space, base64).
    void RawText(std::string_view text);
    // Ends the current element.
    void Close();
    int Depth() const { return static_cast<int>(open.size()); }

private:
    void EndStartTag();

    std::string& out;
    std::vector<std::string> open;
    bool startTagOpen = false;
};

// The printf "%g" and "%i" texts of a value, in the C locale.
std::string FormatG(double value);
std::string FormatI(int value);

}  // namespace tonewright
