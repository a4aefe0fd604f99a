#include "plugin/XmlReader.h"

#include <cstring>
#include <memory>
#include <new>

#include "dsp/StringUtil.h"

namespace tonewright {

bool ParseXml(pugi::xml_document& doc, std::string_view text)
{
    doc.reset();
    if (text.size() > kLargestXmlText) return false;
    // pugixml owns the buffer it parses in place and frees it with the
    // document.
    void* copy = pugi::get_memory_allocation_function()(text.size() + 1);
    if (!copy) return false;
    std::memcpy(copy, text.data(), text.size());
    static_cast<char*>(copy)[text.size()] = '\0';
    // Escapes and line ends as XML defines them; no document type, no
    // processing instructions, no white-space conversion in attributes.
    const unsigned options = pugi::parse_escapes | pugi::parse_eol | pugi::parse_cdata;
    const pugi::xml_parse_result result =
        doc.load_buffer_inplace_own(copy, text.size(), options, pugi::encoding_utf8);
    if (!result) {
        doc.reset();
        return false;
    }
    return true;
}

bool SameName(const char* a, std::string_view b)
{
    if (!a) return false;
    size_t i = 0;
    for (; i < b.size(); ++i) {
        const char x = a[i];
        if (x == '\0') return false;
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(x) != lower(b[i])) return false;
    }
    return a[i] == '\0';
}

bool ReadBool(const pugi::xml_node& node, const char* name)
{
    const pugi::xml_attribute a = node.attribute(name);
    return a && SameName(a.value(), "true");
}

int ReadInt(const pugi::xml_node& node, const char* name, int missing)
{
    const pugi::xml_attribute a = node.attribute(name);
    if (!a) return missing;
    return parseLeadingInt(a.value()).value_or(missing);
}

double ReadDouble(const pugi::xml_node& node, const char* name, double missing)
{
    const pugi::xml_attribute a = node.attribute(name);
    if (!a) return missing;
    return parseLeadingDouble(a.value()).value_or(missing);
}

std::string ReadText(const pugi::xml_node& node, const char* name)
{
    const pugi::xml_attribute a = node.attribute(name);
    return a ? std::string(a.value()) : std::string();
}

}  // namespace tonewright
