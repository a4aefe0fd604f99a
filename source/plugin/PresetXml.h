#pragma once
// The stored XML formats: presets (root TWRPreset), preamps (root
// TWRPreamp), banks (root TWRBank with 128 presets) and the cabinet impulse
// embedded in every preset. Writers produce the exact bytes the formats
// define (a bank file is compared byte for byte to tell whether the bank in
// memory has changed); readers walk the parsed tree, set what they find and
// leave the rest as it was, then bring what hosts see into the host's
// ranges (ClampToHostRanges). Diagnostics are "Quarrystone TWR:: ..." lines on
// standard error (system/Diagnostics.h); a text that is not well-formed XML
// is refused with its file, the line and what is wrong there.
//
// Not thread-aware: callers own the records they pass.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/TonewrightParameters.h"
#include "plugin/EffectProgram.h"
#include "plugin/XmlReader.h"
#include "plugin/XmlWriter.h"

namespace tonewright {

constexpr int kBankSize = 128;

// The preset attributes, then `extra` (attributes the caller adds after
// them: a bank's program name, the chunk's current-program fields), then the
// children, into the element just opened on w.
void AddPresetToXML(const TonewrightParameters& p, XmlWriter& w,
                    const std::function<void(XmlWriter&)>& extra = {});
void GetPresetFromXML(TonewrightParameters& p, const pugi::xml_node& element);

// The preamp's attributes and children into the element just opened on w
// (Preamp inside a preset, TWRPreamp as a file's root).
void AddPreampToXML(const PreampParameters& p, XmlWriter& w);
// With keepEnable the element's enable attribute is not read.
void GetPreampFromXML(PreampParameters& p, const pugi::xml_node& element, bool keepEnable);

// The bank body (layout text and the 128 presets, each named last) into the
// element just opened on w.
void AddBankToXML(const EffectProgram* programs, XmlWriter& w);
void GetBankFromXML(EffectProgram* programs, const pugi::xml_node& element);

// The cabinet impulse's arrays as 24-bit offset-binary samples, most
// significant byte first: left, [right], minimum-phase left, [right].
// Computes the minimum-phase version if the impulse does not carry one:
// off the audio thread and the engine lock.
std::vector<uint8_t> XMLEncodeCabinet(const CabinetProcessorParameters& cabinet);
// Gives the record the impulse coded in `bytes` when `count` is what length
// (1..65536) and mono call for, and returns 1. Otherwise returns 0 and the
// record is unchanged.
int XMLDecodeCabinet(CabinetProcessorParameters& cabinet, const uint8_t* bytes, size_t count, int length, bool mono,
                     double samplerate, const char* name);

// Whole texts: the file form is the XML header line, a line feed and the
// root element.
std::string PresetFileText(const TonewrightParameters& p, const char* name);
std::string PreampFileText(const PreampParameters& p);
std::string BankFileText(const EffectProgram* programs);
// The TWRBank element alone, as the bank comparison reads a bank file after
// its header line.
std::string BankElementText(const EffectProgram* programs);

// Files. Saving writes a temporary file and renames it into place; false
// (and the old file intact) on any failure. Loading leaves everything as it
// was when the file cannot be read or has the wrong root.
bool SavePresetAsXML(const TonewrightParameters& p, const char* path, const char* name);
bool LoadPresetFromXML(TonewrightParameters& p, const char* path, std::string* name);
bool SavePreampAsXML(const PreampParameters& p, const char* path);
bool LoadPreampFromXML(PreampParameters& p, const char* path);
bool SaveBankAsXML(const EffectProgram* programs, const char* path);
bool LoadBankFromXML(EffectProgram* programs, const char* path);
// A bank file's text (the one the plug-in carries); `source` names it in the
// line that says why it is refused.
bool LoadBankFromText(EffectProgram* programs, std::string_view text, const char* source = nullptr);

}  // namespace tonewright
