#include "plugin/PresetXml.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "dsp/StringUtil.h"
#include "engine/ParameterTable.h"
#include "plugin/Base64.h"
#include "system/AtomicFile.h"
#include "system/Diagnostics.h"

namespace tonewright {

namespace {

constexpr std::string_view kHeader = "<?xml version=\"1.0\" ?>\n";
constexpr int kLargestImpulse = 65536;
constexpr int kBase64Line = 64;

// One attribute of a stored element and the record field it holds. Each
// element's list serves both the writer and the reader, so the two cannot
// drift apart.
template <typename R>
struct Field {
    const char* name;
    bool R::*flag = nullptr;
    int R::*integer = nullptr;
    double R::*number = nullptr;

    constexpr Field(const char* n, bool R::*m) : name(n), flag(m) {}
    constexpr Field(const char* n, int R::*m) : name(n), integer(m) {}
    constexpr Field(const char* n, double R::*m) : name(n), number(m) {}
};

template <typename R, size_t N>
void writeFields(XmlWriter& w, const R& r, const Field<R> (&fields)[N])
{
    for (const auto& f : fields) {
        if (f.flag) w.Attribute(f.name, r.*f.flag);
        else if (f.integer) w.Attribute(f.name, r.*f.integer);
        else w.Attribute(f.name, r.*f.number);
    }
}

template <typename R, size_t N>
void readFields(const pugi::xml_node& e, R& r, const Field<R> (&fields)[N])
{
    for (const auto& f : fields) {
        if (f.flag) r.*f.flag = ReadBool(e, f.name);
        else if (f.integer) r.*f.integer = ReadInt(e, f.name);
        else r.*f.number = ReadDouble(e, f.name);
    }
}

using Gate = NoiseGateParameters;
constexpr Field<Gate> kGate[] = {{"enable", &Gate::enable},
                                 {"threshold", &Gate::threshold},
                                 {"gating", &Gate::gating},
                                 {"attack", &Gate::attack},
                                 {"release", &Gate::release}};
using Wah = WahWahParameters;
constexpr Field<Wah> kWah[] = {{"enable", &Wah::enable}, {"type", &Wah::type}, {"pedal", &Wah::pedal}};
using Sus = CompressorSustainerParameters;
constexpr Field<Sus> kSustainer[] = {{"enable", &Sus::enable},
                                     {"type", &Sus::type},
                                     {"amount", &Sus::amount},
                                     {"attack", &Sus::attack},
                                     {"release", &Sus::release}};
using Power = PowerAmpParameters;
constexpr Field<Power> kPowerAmp[] = {{"enable", &Power::enable},
                                      {"type", &Power::type},
                                      {"drive", &Power::drive},
                                      {"bias", &Power::bias},
                                      {"dynamics", &Power::dynamics}};
using Eq = GraphicEQ7Parameters;
constexpr Field<Eq> kEq[] = {{"band1", &Eq::band1},
                             {"band2", &Eq::band2},
                             {"band3", &Eq::band3},
                             {"band4", &Eq::band4},
                             {"band5", &Eq::band5},
                             {"band6", &Eq::band6},
                             {"band7", &Eq::band7},
                             {"level", &Eq::level},
                             {"type", &Eq::type},
                             {"parametric_frequency", &Eq::parametric_frequency},
                             {"parametric_q", &Eq::parametric_q},
                             {"parametric_level", &Eq::parametric_level}};
using Trem = TremoloParameters;
constexpr Field<Trem> kTremolo[] = {
    {"type", &Trem::type}, {"speed", &Trem::speed}, {"depth", &Trem::depth}, {"waveform", &Trem::waveform}};
using Cho = ChorusParameters;
constexpr Field<Cho> kChorus[] = {{"type", &Cho::type},
                                  {"speed", &Cho::speed},
                                  {"depth", &Cho::depth},
                                  {"mix", &Cho::mix},
                                  {"delay", &Cho::delay}};
using Fla = FlangerParameters;
constexpr Field<Fla> kFlanger[] = {{"type", &Fla::type},   {"speed", &Fla::speed},
                                   {"depth", &Fla::depth}, {"delay", &Fla::delay},
                                   {"sweep", &Fla::sweep}, {"regeneration", &Fla::regeneration},
                                   {"phase", &Fla::phase}};
using Pha = PhaserParameters;
constexpr Field<Pha> kPhaser[] = {{"type", &Pha::type},   {"speed", &Pha::speed},
                                  {"depth", &Pha::depth}, {"sweep", &Pha::sweep},
                                  {"regeneration", &Pha::regeneration}, {"stages", &Pha::stages}};
using Ech = EchoParameters;
constexpr Field<Ech> kEcho[] = {{"type", &Ech::type},
                                {"delay", &Ech::delay},
                                {"feedback", &Ech::feedback},
                                {"directlevel", &Ech::directlevel},
                                {"delaylevel", &Ech::delaylevel},
                                {"style", &Ech::style},
                                {"filter_input", &Ech::filter_input},
                                {"tails_on", &Ech::tails_on}};
using Rev = ReverbParameters;
constexpr Field<Rev> kReverb[] = {{"enable", &Rev::enable}, {"type", &Rev::type}, {"level", &Rev::level}};
using Filt = FilterParameters;
constexpr Field<Filt> kFilter[] = {{"enable", &Filt::enable},
                                   {"type", &Filt::type},
                                   {"frequency", &Filt::frequency},
                                   {"q", &Filt::q},
                                   {"level", &Filt::level}};
using TubeP = TubeParameters;
constexpr Field<TubeP> kTube[] = {{"enable", &TubeP::enable},     {"gain", &TubeP::gain},
                                  {"invert", &TubeP::invert},     {"clipping", &TubeP::clipping},
                                  {"symmetry", &TubeP::symmetry}, {"offset", &TubeP::offset},
                                  {"dynamic", &TubeP::dynamic},   {"shelf", &TubeP::shelf},
                                  {"frequency", &TubeP::frequency}};
using Tw = TonewrightParameters;
constexpr Field<Tw> kPreset[] = {{"enable", &Tw::enable},
                                 {"upsampler_enabled", &Tw::upsampler_enabled},
                                 {"boost_enabled", &Tw::boost_enabled},
                                 {"deep_enabled", &Tw::deep_enabled},
                                 {"bright_enabled", &Tw::bright_enabled},
                                 {"lowcut_type", &Tw::lowcut_type},
                                 {"master_level", &Tw::master_level}};

// Layout texts: white space the formats put between children.
constexpr std::string_view kPresetGap = "\n\n\t";
constexpr std::string_view kPreampGap = "\n\n\t";
constexpr std::string_view kGainGap = "\n\t\t";

template <typename R, size_t N>
void writeElement(XmlWriter& w, const char* tag, const R& r, const Field<R> (&fields)[N])
{
    w.Open(tag);
    writeFields(w, r, fields);
    w.Close();
}

template <typename R, size_t N>
void writePlaced(XmlWriter& w, const char* tag, const PlacedParameters<R>& placed, const Field<R> (&fields)[N])
{
    w.Open(tag);
    w.Attribute("enable", placed.enable);
    w.Attribute("post", placed.post);
    writeFields(w, placed.parameters, fields);
    w.Close();
}

template <typename R, size_t N>
void readPlaced(const pugi::xml_node& e, PlacedParameters<R>& placed, const Field<R> (&fields)[N])
{
    placed.enable = ReadBool(e, "enable");
    placed.post = ReadBool(e, "post");
    readFields(e, placed.parameters, fields);
}

bool isElement(const pugi::xml_node& n) { return n.type() == pugi::node_element; }

void unexpected(const char* tag)
{
    system::Complainf("Quarrystone TWR:: Found Unexpected XML Token in Preamp file: %s", tag);
}

// ---- the cabinet element ----

uint32_t sampleCode(double x)
{
    if (!std::isfinite(x)) return 8388608u;
    const double v = std::floor((x + 1.0) * 0.5 * 16777216.0);
    return static_cast<uint32_t>(std::clamp(v, 0.0, 16777215.0));
}

double codeSample(uint32_t v) { return (v * (1.0 / 16777216.0) - 0.5) * 2.0; }

void useDefaultImpulse(CabinetProcessorParameters& c, const char* why)
{
    system::Complainf("Quarrystone TWR:: Cabinet impulse in preset unusable (%s); the program gets \"None\".", why);
    c.SetImpulse(CabinetImpulse::Unit());
}

void writeCabinet(XmlWriter& w, const CabinetProcessorParameters& c)
{
    w.Open("Cabinet");
    w.Attribute("enable", c.enable);
    w.Attribute("samplerate", c.SampleRate());
    w.Attribute("length", c.Length());
    w.Attribute("windowsize", c.windowsize);
    w.Attribute("mono", c.Mono());
    w.Attribute("forcedmono", c.forcedmono);
    w.Attribute("minphase", c.minphase);
    w.Attribute("name", c.GetName());
    w.RawText("\n\t\t");
    w.Open("DIBox");
    w.Attribute("enable", c.dibox.enable);
    w.Attribute("frequency", c.dibox.frequency);
    w.Attribute("q", c.dibox.q);
    w.Close();
    w.RawText("\n\t\t");
    const std::vector<uint8_t> bytes = XMLEncodeCabinet(c);
    const size_t chars = base64::EncodedLength(bytes.size(), kBase64Line);
    std::string text;
    text.reserve(chars + 4);
    text += '\n';
    text.resize(1 + chars);
    base64::Encode(bytes.data(), bytes.size(), text.data() + 1, kBase64Line);
    text += "\n\t\t";
    w.Open("Data");
    w.Attribute("size", static_cast<int>(chars + 4));
    w.RawText(text);
    w.Close();
    w.RawText("\n\t");
    w.Close();
}

void readCabinet(const pugi::xml_node& e, CabinetProcessorParameters& c)
{
    c.enable = ReadBool(e, "enable");
    c.windowsize = ReadInt(e, "windowsize");
    c.forcedmono = ReadBool(e, "forcedmono");
    c.minphase = ReadBool(e, "minphase");
    const double rate = ReadDouble(e, "samplerate", 44100.0);
    const int length = ReadInt(e, "length");
    const bool mono = ReadBool(e, "mono");
    const std::string name = ReadText(e, "name");

    bool taken = false;
    const char* why = "no data";
    for (pugi::xml_node child : e.children()) {
        if (!isElement(child)) continue;
        if (SameName(child.name(), "DIBox")) {
            c.dibox.enable = ReadBool(child, "enable");
            c.dibox.frequency = ReadDouble(child, "frequency", 4500.0);
            c.dibox.q = ReadDouble(child, "q", 0.7071);
        } else if (SameName(child.name(), "Data")) {
            const std::string_view text = child.child_value();
            const int size = ReadInt(child, "size");
            if (size <= 0 || text.empty()) continue;
            if (length < 1 || length > kLargestImpulse) {
                why = "bad length";
                continue;
            }
            bool ok = false;
            const std::vector<uint8_t> bytes = base64::Decode(text.substr(0, size_t(size)), &ok);
            // The program's impulse changes only when the whole impulse is
            // there.
            if (ok && XMLDecodeCabinet(c, bytes.data(), bytes.size(), length, mono, rate, name.c_str())) {
                taken = true;
            } else {
                why = "wrong sample count";
            }
        }
    }
    if (!taken) useDefaultImpulse(c, why);
}

}  // namespace

// ---- presets ----

void AddPresetToXML(const TonewrightParameters& p, XmlWriter& w, const std::function<void(XmlWriter&)>& extra)
{
    writeFields(w, p, kPreset);
    if (extra) extra(w);
    w.RawText("\n");
    w.Open("Preamp");
    AddPreampToXML(p.preamp, w);
    w.Close();
    w.RawText(kPresetGap);
    writeElement(w, "Gate", p.gate, kGate);
    w.RawText(kPresetGap);
    writeElement(w, "Wah", p.wah, kWah);
    w.RawText(kPresetGap);
    writeElement(w, "Sustainer", p.sustainer, kSustainer);
    w.RawText(kPresetGap);
    writeElement(w, "PowerAmp", p.poweramp, kPowerAmp);
    w.RawText(kPresetGap);
    writePlaced(w, "EQ", p.eq, kEq);
    w.RawText(kPresetGap);
    writePlaced(w, "Tremolo", p.tremolo, kTremolo);
    w.RawText(kPresetGap);
    writePlaced(w, "Chorus", p.chorus, kChorus);
    w.RawText(kPresetGap);
    writePlaced(w, "Flanger", p.flanger, kFlanger);
    w.RawText(kPresetGap);
    writePlaced(w, "Phaser", p.phaser, kPhaser);
    w.RawText(kPresetGap);
    writePlaced(w, "Echo", p.echo, kEcho);
    w.RawText(kPresetGap);
    writeElement(w, "Reverb", p.reverb, kReverb);
    w.RawText(kPresetGap);
    writeCabinet(w, p.cabinet);
    w.RawText("\n");
}

void GetPresetFromXML(TonewrightParameters& p, const pugi::xml_node& element)
{
    readFields(element, p, kPreset);
    for (pugi::xml_node child : element.children()) {
        if (!isElement(child)) continue;
        const char* tag = child.name();
        if (SameName(tag, "Preamp")) GetPreampFromXML(p.preamp, child, false);
        else if (SameName(tag, "Gate")) readFields(child, p.gate, kGate);
        else if (SameName(tag, "Wah")) readFields(child, p.wah, kWah);
        else if (SameName(tag, "Sustainer")) readFields(child, p.sustainer, kSustainer);
        else if (SameName(tag, "PowerAmp")) readFields(child, p.poweramp, kPowerAmp);
        else if (SameName(tag, "EQ")) readPlaced(child, p.eq, kEq);
        else if (SameName(tag, "Tremolo")) readPlaced(child, p.tremolo, kTremolo);
        else if (SameName(tag, "Chorus")) readPlaced(child, p.chorus, kChorus);
        else if (SameName(tag, "Flanger")) readPlaced(child, p.flanger, kFlanger);
        else if (SameName(tag, "Phaser")) readPlaced(child, p.phaser, kPhaser);
        else if (SameName(tag, "Echo")) readPlaced(child, p.echo, kEcho);
        else if (SameName(tag, "Reverb")) readFields(child, p.reverb, kReverb);
        else if (SameName(tag, "Cabinet")) readCabinet(child, p.cabinet);
        else if (!SameName(tag, "Tweak")) unexpected(tag);
    }
    // What the host shows is what plays: chunks, presets and banks all
    // read through here.
    ClampToHostRanges(p);
}

// ---- preamps ----

void AddPreampToXML(const PreampParameters& p, XmlWriter& w)
{
    w.Attribute("enable", p.enable);
    w.Attribute("name", p.name);
    w.RawText("\n\t");
    for (int s = 0; s < 4; ++s) {
        const GainStageParameters& stage = p.stages[s];
        w.Open("Gain");
        w.Attribute("stage", s + 1);
        w.Attribute("enable", stage.enable);
        w.RawText(kGainGap);
        writeElement(w, "PreFilter", stage.preFilter, kFilter);
        w.RawText(kGainGap);
        writeElement(w, "Tube", stage.tube, kTube);
        w.RawText(kGainGap);
        writeElement(w, "PostFilter", stage.postFilter, kFilter);
        w.RawText("\n\t");
        w.Close();
        w.RawText(kPreampGap);
    }
    w.Open("GainControl");
    w.Attribute("type", p.gainControl.type);
    w.Attribute("wiper", p.gainControl.wiper);
    w.Attribute("location", p.gainControlLocation);
    w.Close();
    w.RawText(kPreampGap);
    w.Open("ToneControl");
    w.Attribute("type", p.toneControl.type);
    w.Attribute("bass", p.toneControl.bass);
    w.Attribute("mids", p.toneControl.mids);
    w.Attribute("treble", p.toneControl.treble);
    w.Attribute("presence", p.toneControl.presence);
    w.Attribute("location", p.toneControlLocation);
    w.Close();
    w.RawText("\n");
}

void GetPreampFromXML(PreampParameters& p, const pugi::xml_node& element, bool keepEnable)
{
    if (!keepEnable) p.enable = ReadBool(element, "enable");
    copyBounded(p.name, ReadText(element, "name").c_str());
    for (pugi::xml_node child : element.children()) {
        if (!isElement(child)) continue;
        const char* tag = child.name();
        if (SameName(tag, "Gain")) {
            const int stage = ReadInt(child, "stage");
            if (stage < 1 || stage > 4) {
                system::Complainf(
                    "Quarrystone TWR:: Found Unexpected Reference to gain stage %d while parsing Preamp file.", stage);
                return;
            }
            GainStageParameters& g = p.stages[stage - 1];
            g.enable = ReadBool(child, "enable");
            for (pugi::xml_node part : child.children()) {
                if (!isElement(part)) continue;
                if (SameName(part.name(), "PreFilter")) readFields(part, g.preFilter, kFilter);
                else if (SameName(part.name(), "Tube")) readFields(part, g.tube, kTube);
                else if (SameName(part.name(), "PostFilter")) readFields(part, g.postFilter, kFilter);
                else
                    system::Complainf("Quarrystone TWR:: Found Unexpected XML Token in Preamp file Gain Stage %d: %s",
                                      stage - 1, part.name());
            }
        } else if (SameName(tag, "GainControl")) {
            p.gainControl.type = ReadInt(child, "type");
            p.gainControl.wiper = ReadDouble(child, "wiper");
            p.gainControlLocation = ReadInt(child, "location");
        } else if (SameName(tag, "ToneControl")) {
            p.toneControl.type = ReadInt(child, "type");
            p.toneControl.bass = ReadDouble(child, "bass");
            p.toneControl.mids = ReadDouble(child, "mids");
            p.toneControl.treble = ReadDouble(child, "treble");
            p.toneControl.presence = ReadDouble(child, "presence");
            p.toneControlLocation = ReadInt(child, "location");
        } else {
            unexpected(tag);
        }
    }
}

// ---- banks ----

void AddBankToXML(const EffectProgram* programs, XmlWriter& w)
{
    w.RawText("\n");
    for (int i = 0; i < kBankSize; ++i) {
        w.Open("TWRPreset");
        AddPresetToXML(programs[i].params, w, [&](XmlWriter& x) { x.Attribute("name", programs[i].name); });
        w.Close();
        w.RawText("\n\n");
    }
}

void GetBankFromXML(EffectProgram* programs, const pugi::xml_node& element)
{
    int i = 0;
    for (pugi::xml_node child : element.children()) {
        if (!isElement(child)) continue;
        if (i >= kBankSize) break;
        if (SameName(child.name(), "TWRPreset")) {
            copyBounded(programs[i].name, ReadText(child, "name").c_str());
            GetPresetFromXML(programs[i].params, child);
        }
        ++i;
    }
}

// ---- the cabinet codec ----

std::vector<uint8_t> XMLEncodeCabinet(const CabinetProcessorParameters& c)
{
    const CabinetImpulse& impulse = *c.Impulse();
    const auto minimum = impulse.StoredMinimumPhase();
    if (!minimum) return {};
    const int n = impulse.Length();
    std::vector<const double*> arrays = {impulse.Left().data()};
    if (!impulse.Mono()) arrays.push_back(impulse.Right().data());
    arrays.push_back((*minimum)[0].data());
    if (!impulse.Mono()) arrays.push_back((*minimum)[1].data());
    std::vector<uint8_t> bytes(size_t(n) * 3 * arrays.size());
    uint8_t* out = bytes.data();
    for (const double* a : arrays) {
        for (int i = 0; i < n; ++i) {
            const uint32_t v = sampleCode(a[i]);
            *out++ = uint8_t(v >> 16);
            *out++ = uint8_t(v >> 8);
            *out++ = uint8_t(v);
        }
    }
    return bytes;
}

int XMLDecodeCabinet(CabinetProcessorParameters& c, const uint8_t* bytes, size_t count, int length, bool mono,
                     double samplerate, const char* name)
{
    if (length < 1 || length > kLargestImpulse || count != size_t(length) * (mono ? 6 : 12)) return 0;
    const int arrays = mono ? 2 : 4;
    std::vector<double> decoded[4];
    for (int k = 0; k < arrays; ++k) {
        decoded[k].resize(size_t(length));
        for (int i = 0; i < length; ++i, bytes += 3)
            decoded[k][size_t(i)] = codeSample((uint32_t(bytes[0]) << 16) | (uint32_t(bytes[1]) << 8) | bytes[2]);
    }
    // Mono: left and its minimum phase; stereo: left, right, then both.
    const std::vector<double>& left = decoded[0];
    const std::vector<double>& right = mono ? decoded[0] : decoded[1];
    const std::vector<double>& minLeft = mono ? decoded[1] : decoded[2];
    const std::vector<double>& minRight = mono ? decoded[1] : decoded[3];
    auto made = CabinetImpulse::Make(left.data(), right.data(), length, mono, samplerate, name, minLeft.data(),
                                     minRight.data());
    if (!made) return 0;
    c.SetImpulse(std::move(made));
    return 1;
}

// ---- texts and files ----

std::string PresetFileText(const TonewrightParameters& p, const char* name)
{
    std::string text(kHeader);
    XmlWriter w(text);
    w.Open("TWRPreset");
    w.Attribute("name", name);
    AddPresetToXML(p, w);
    w.Close();
    return text;
}

std::string PreampFileText(const PreampParameters& p)
{
    std::string text(kHeader);
    XmlWriter w(text);
    w.Open("TWRPreamp");
    AddPreampToXML(p, w);
    w.Close();
    return text;
}

std::string BankElementText(const EffectProgram* programs)
{
    std::string text;
    XmlWriter w(text);
    w.Open("TWRBank");
    AddBankToXML(programs, w);
    w.Close();
    return text;
}

std::string BankFileText(const EffectProgram* programs) { return std::string(kHeader) + BankElementText(programs); }

namespace {

// The root element of `text` when the text is well-formed XML and the root's
// tag is exactly `root`; otherwise one line says what is wrong and where
// (`source` names the text: its file).
bool rootOf(pugi::xml_document& doc, std::string_view text, const char* source, const char* root,
            pugi::xml_node& element)
{
    XmlFault fault;
    if (!ParseXml(doc, text, &fault)) {
        const std::string where = fault.line > 0 ? ", line " + std::to_string(fault.line) : std::string();
        system::Complainf("Quarrystone TWR:: Invalid XML in %s%s: %s. Should be an <%s> object.", source,
                          where.c_str(), fault.what.c_str(), root);
        return false;
    }
    element = doc.document_element();
    if (std::string_view(element.name()) == root) return true;
    constexpr size_t kLongestShownTag = 64;
    system::Complainf("Quarrystone TWR:: %s holds an <%s> object. Should be an <%s> object.", source,
                      std::string(element.name()).substr(0, kLongestShownTag).c_str(), root);
    return false;
}

// The file's root element as rootOf finds it; a file that cannot be read has
// its line from the reader.
bool loadRoot(pugi::xml_document& doc, const char* path, const char* root, pugi::xml_node& element)
{
    std::string text;
    if (!system::ReadWholeFile(path ? path : "", text, kLargestXmlText, system::IfMissing::report)) return false;
    return rootOf(doc, text, path, root, element);
}

}  // namespace

bool SavePresetAsXML(const TonewrightParameters& p, const char* path, const char* name)
{
    return path && system::WriteFileAtomically(path, PresetFileText(p, name));
}

bool LoadPresetFromXML(TonewrightParameters& p, const char* path, std::string* name)
{
    pugi::xml_document doc;
    pugi::xml_node root;
    if (!loadRoot(doc, path, "TWRPreset", root)) return false;
    if (name) *name = ReadText(root, "name");
    GetPresetFromXML(p, root);
    return true;
}

bool SavePreampAsXML(const PreampParameters& p, const char* path)
{
    return path && system::WriteFileAtomically(path, PreampFileText(p));
}

bool LoadPreampFromXML(PreampParameters& p, const char* path)
{
    pugi::xml_document doc;
    pugi::xml_node root;
    if (!loadRoot(doc, path, "TWRPreamp", root)) return false;
    GetPreampFromXML(p, root, true);
    // The preamp is named after its file: the last path component without
    // its last extension.
    std::string_view file(path);
    if (const size_t slash = file.rfind('/'); slash != std::string_view::npos) file.remove_prefix(slash + 1);
    if (const size_t dot = file.rfind('.'); dot != std::string_view::npos) file = file.substr(0, dot);
    copyBounded(p.name, std::string(file).c_str());
    return true;
}

bool SaveBankAsXML(const EffectProgram* programs, const char* path)
{
    return path && system::WriteFileAtomically(path, BankFileText(programs));
}

bool LoadBankFromXML(EffectProgram* programs, const char* path)
{
    std::string text;
    if (!system::ReadWholeFile(path ? path : "", text, kLargestXmlText, system::IfMissing::report)) return false;
    return LoadBankFromText(programs, text, path);
}

bool LoadBankFromText(EffectProgram* programs, std::string_view text, const char* source)
{
    pugi::xml_document doc;
    pugi::xml_node root;
    if (!rootOf(doc, text, source ? source : "the bank", "TWRBank", root)) return false;
    GetBankFromXML(programs, root);
    return true;
}

}  // namespace tonewright
