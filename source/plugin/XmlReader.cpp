#include "plugin/XmlReader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "dsp/StringUtil.h"

namespace tonewright {

namespace {

bool blank(std::string_view text)
{
    return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// The reader's status in words; a text cut short shows as a fault at its
// very end.
XmlFault faultOf(const pugi::xml_parse_result& result, std::string_view text)
{
    XmlFault fault;
    const size_t at = std::min(text.size(), size_t(std::max<std::ptrdiff_t>(0, result.offset)));
    fault.line = 1 + int(std::count(text.begin(), text.begin() + std::ptrdiff_t(at), '\n'));
    const bool atEnd = blank(text.substr(std::min(text.size(), at + 1)));
    const bool inLastTag = text.find('>', at) == std::string_view::npos;
    switch (result.status) {
    case pugi::status_no_document_element:
        fault.line = blank(text) ? 0 : fault.line;
        fault.what = blank(text) ? "the file is empty" : "no element starts it";
        break;
    case pugi::status_end_element_mismatch:
        fault.what = atEnd ? "the file ends before its elements are closed (it is cut short)"
                           : "an end tag does not match the element it closes";
        break;
    case pugi::status_bad_start_element:
    case pugi::status_bad_attribute:
    case pugi::status_bad_end_element:
    case pugi::status_unrecognized_tag:
        fault.what = inLastTag ? "the file ends inside a tag (it is cut short)"
                     : result.status == pugi::status_bad_attribute ? "an attribute is malformed"
                                                                    : "a tag is malformed";
        break;
    case pugi::status_bad_comment: fault.what = "a comment is not closed"; break;
    case pugi::status_bad_cdata: fault.what = "a CDATA section is not closed"; break;
    case pugi::status_bad_pi: fault.what = "a declaration is malformed"; break;
    case pugi::status_bad_doctype: fault.what = "a document type declaration is malformed"; break;
    case pugi::status_bad_pcdata: fault.what = "text between the tags is malformed"; break;
    case pugi::status_out_of_memory: fault.what = "there is not enough memory for it"; break;
    default: fault.what = result.description(); break;
    }
    return fault;
}

}  // namespace

bool ParseXml(pugi::xml_document& doc, std::string_view text, XmlFault* fault)
{
    doc.reset();
    if (text.size() > kLargestXmlText) {
        if (fault) *fault = {0, "it is larger than " + std::to_string(kLargestXmlText >> 20) + " MB"};
        return false;
    }
    // pugixml owns the buffer it parses in place and frees it with the
    // document.
    void* copy = pugi::get_memory_allocation_function()(text.size() + 1);
    if (!copy) {
        if (fault) *fault = {0, "there is not enough memory for it"};
        return false;
    }
    std::memcpy(copy, text.data(), text.size());
    static_cast<char*>(copy)[text.size()] = '\0';
    // Escapes and line ends as XML defines them; no document type, no
    // processing instructions, no white-space conversion in attributes.
    const unsigned options = pugi::parse_escapes | pugi::parse_eol | pugi::parse_cdata;
    const pugi::xml_parse_result result =
        doc.load_buffer_inplace_own(copy, text.size(), options, pugi::encoding_utf8);
    if (!result) {
        if (fault) *fault = faultOf(result, text);
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
