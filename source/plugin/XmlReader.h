#pragma once
// Reading the stored XML formats: a private, terminated copy of the text is
// parsed (never the caller's memory), with no document type and no entities
// beyond XML's own; element names compare ignoring case; missing values read
// as the formats define (bool false, int 0, double 0.5 unless said
// otherwise); numbers in the C locale.

#include <pugixml.hpp>

#include <string>
#include <string_view>

namespace tonewright {

// Texts longer than this are refused before anything is copied.
constexpr size_t kLargestXmlText = size_t(256) << 20;

// Where and why a text is not well-formed XML: the line the reader stopped
// in (1 for the first; 0 when the text holds nothing) and what it found.
struct XmlFault {
    int line = 0;
    std::string what;
};

// Parses a copy of text into doc. False, with an empty document (and the
// fault when asked for), when the text is not well-formed XML or too large.
bool ParseXml(pugi::xml_document& doc, std::string_view text, XmlFault* fault = nullptr);

// ASCII names compared ignoring case.
bool SameName(const char* a, std::string_view b);

bool ReadBool(const pugi::xml_node& node, const char* name);
int ReadInt(const pugi::xml_node& node, const char* name, int missing = 0);
double ReadDouble(const pugi::xml_node& node, const char* name, double missing = 0.5);
// The attribute's text, empty when it is missing.
std::string ReadText(const pugi::xml_node& node, const char* name);

}  // namespace tonewright
