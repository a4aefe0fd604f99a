#include "editor/SkinReader.h"

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <strings.h>

#include "dsp/StringUtil.h"

namespace tonewright {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Copies text[i..] up to and including `end` (or to the end of the text).
size_t copyThrough(std::string_view text, size_t i, std::string_view end, std::string& out)
{
    const size_t found = text.find(end, i);
    const size_t stop = found == std::string_view::npos ? text.size() : found + end.size();
    out.append(text.substr(i, stop - i));
    return stop;
}

// One start or end tag from its '<': quoted values are copied, bare ones
// quoted. Returns the index after the tag's '>'.
size_t copyTag(std::string_view text, size_t i, std::string& out)
{
    out += text[i++];
    while (i < text.size() && text[i] != '>') {
        const char c = text[i];
        if (c == '"' || c == '\'') {
            out += c;
            i = copyThrough(text, i + 1, text.substr(i, 1), out);
            continue;
        }
        out += c;
        ++i;
        if (c != '=') continue;
        while (i < text.size() && isSpace(text[i])) out += text[i++];
        if (i >= text.size() || text[i] == '"' || text[i] == '\'' || text[i] == '>') continue;
        if (text[i] == '/' && i + 1 < text.size() && text[i + 1] == '>') continue;
        out += '"';
        while (i < text.size() && !isSpace(text[i]) && text[i] != '>' &&
               !(text[i] == '/' && i + 1 < text.size() && text[i + 1] == '>')) {
            if (text[i] == '"')
                out += "&quot;";
            else if (text[i] == '<')
                out += "&lt;";
            else
                out += text[i];
            ++i;
        }
        out += '"';
    }
    if (i < text.size()) out += text[i++];
    return i;
}

bool startsWith(std::string_view text, size_t i, std::string_view prefix)
{
    return text.substr(i, prefix.size()) == prefix;
}

pugi::xml_attribute findAttribute(pugi::xml_node node, const char* name)
{
    for (pugi::xml_attribute a : node.attributes())
        if (SameName(a.name(), name)) return a;
    return {};
}

}  // namespace

std::string QuoteBareAttributes(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '<') {
            out += text[i++];
        } else if (startsWith(text, i, "<!--")) {
            i = copyThrough(text, i, "-->", out);
        } else if (startsWith(text, i, "<![CDATA[")) {
            i = copyThrough(text, i, "]]>", out);
        } else if (startsWith(text, i, "<?")) {
            i = copyThrough(text, i, "?>", out);
        } else if (startsWith(text, i, "<!")) {
            i = copyThrough(text, i, ">", out);
        } else {
            i = copyTag(text, i, out);
        }
    }
    return out;
}

bool ParseSkin(std::string_view text, pugi::xml_document& doc)
{
    const std::string quoted = QuoteBareAttributes(text);
    // No DOCTYPE entities are expanded; a fault keeps the tree read so far.
    const pugi::xml_parse_result result =
        doc.load_buffer(quoted.data(), quoted.size(), pugi::parse_default, pugi::encoding_utf8);
    return static_cast<bool>(result);
}

bool SameName(const char* a, const char* b) { return a && b && strcasecmp(a, b) == 0; }

const char* SkinAttributes::GetTagAsString(const char* name) const
{
    const pugi::xml_attribute a = findAttribute(node, name);
    return a ? a.value() : nullptr;
}

int SkinAttributes::GetTagAsInt(const char* name) const
{
    const char* text = GetTagAsString(name);
    if (!text) return 0;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (end == text) return 0;
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

float SkinAttributes::GetTagAsFloat(const char* name) const
{
    const char* text = GetTagAsString(name);
    if (!text) return 0.0f;
    const double v = parseLeadingDouble(text).value_or(0.0);
    if (!std::isfinite(v)) return 0.0f;
    return static_cast<float>(std::clamp(v, -double(FLT_MAX), double(FLT_MAX)));
}

bool SkinAttributes::GetTagAsBool(const char* name) const
{
    const char* text = GetTagAsString(name);
    if (!text) return false;
    if (SameName(text, "true")) return true;
    if (SameName(text, "false")) return false;
    return GetTagAsInt(name) != 0;
}

}  // namespace tonewright
