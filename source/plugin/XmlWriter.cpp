#include "plugin/XmlWriter.h"

#include <charconv>
#include <system_error>

namespace tonewright {

namespace {

void escape(std::string& out, std::string_view s, bool attribute)
{
    for (char c : s) {
        switch (c) {
        case '\0': return;  // the text ends at a terminator, as a C string would
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '\r': out += "&#xD;"; break;
        case '"':
            if (attribute) out += "&quot;";
            else out += c;
            break;
        case '\n':
            if (attribute) out += "&#xA;";
            else out += c;
            break;
        case '\t':
            if (attribute) out += "&#x9;";
            else out += c;
            break;
        default: out += c;
        }
    }
}

}  // namespace

std::string FormatG(double value)
{
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    return std::string(buffer, r.ptr);
}

std::string FormatI(int value)
{
    char buffer[16];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, r.ptr);
}

void XmlWriter::Open(std::string_view tag)
{
    EndStartTag();
    out += '<';
    out += tag;
    open.emplace_back(tag);
    startTagOpen = true;
}

void XmlWriter::Attribute(std::string_view name, std::string_view value)
{
    out += ' ';
    out += name;
    out += "=\"";
    escape(out, value, true);
    out += '"';
}

void XmlWriter::Attribute(std::string_view name, bool value) { Attribute(name, value ? "true" : "false"); }

void XmlWriter::Attribute(std::string_view name, int value) { Attribute(name, std::string_view(FormatI(value))); }

void XmlWriter::Attribute(std::string_view name, double value) { Attribute(name, std::string_view(FormatG(value))); }

void XmlWriter::Text(std::string_view text)
{
    EndStartTag();
    escape(out, text, false);
}

void XmlWriter::RawText(std::string_view text)
{
    EndStartTag();
    out += text;
}

void XmlWriter::Close()
{
    if (open.empty()) return;
    EndStartTag();
    out += "</";
    out += open.back();
    out += '>';
    open.pop_back();
}

void XmlWriter::EndStartTag()
{
    if (!startTagOpen) return;
    out += '>';
    startTagOpen = false;
}

}  // namespace tonewright
