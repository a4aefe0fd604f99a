// The stored XML formats: exact bytes of what a fresh record writes, round
// trips of presets and banks, the cabinet sample code, and what the readers
// make of partial, odd and broken input.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>

#include "dsp/StringUtil.h"
#include "plugin/Base64.h"
#include "plugin/PresetXml.h"

using namespace tonewright;
namespace fs = std::filesystem;

namespace {

// Written out from the formats' definition, not from the writer: a new
// record's preset element.
const char* const kFreshPreset =
    "<TWRPreset enable=\"true\" upsampler_enabled=\"true\" boost_enabled=\"true\" deep_enabled=\"true\""
    " bright_enabled=\"true\" lowcut_type=\"1\" master_level=\"0\">\n"
    "<Preamp enable=\"true\" name=\"Default\">\n\t"
    "<Gain stage=\"1\" enable=\"true\">\n\t\t"
    "<PreFilter enable=\"false\" type=\"0\" frequency=\"1000\" q=\"1\" level=\"1\"></PreFilter>\n\t\t"
    "<Tube enable=\"true\" gain=\"50\" invert=\"true\" clipping=\"0.9\" symmetry=\"0\" offset=\"0\" dynamic=\"true\""
    " shelf=\"-12\" frequency=\"550\"></Tube>\n\t\t"
    "<PostFilter enable=\"false\" type=\"0\" frequency=\"1000\" q=\"1\" level=\"1\"></PostFilter>\n\t"
    "</Gain>\n\n\t"
    "<Gain stage=\"2\" enable=\"false\">\n\t\t"
    "<PreFilter enable=\"false\" type=\"0\" frequency=\"1000\" q=\"1\" level=\"1\"></PreFilter>\n\t\t"
    "<Tube enable=\"true\" gain=\"10\" invert=\"true\" clipping=\"0.9\" symmetry=\"0\" offset=\"0\" dynamic=\"true\""
    " shelf=\"-12\" frequency=\"550\"></Tube>\n\t\t"
    "<PostFilter enable=\"false\" type=\"0\" frequency=\"1000\" q=\"1\" level=\"1\"></PostFilter>\n\t"
    "</Gain>\n\n\t"
    "<Gain stage=\"3\" enable=\"false\">\n\t\t"
    "<PreFilter enable=\"false\" type=\"0\" frequency=\"1000\" q=\"1\" level=\"1\"></PreFilter>\n\t\t"
    "<Tube enable=\"true\" gain=\"10\" invert=\"true\" clipping=\"0.9\" symmetry=\"0\" offset=\"0\" dynamic=\"true\""
    " shelf=\"-12\" frequency=\"550\"></Tube>\n\t\t"
    "<PostFilter enable=\"false\" type=\"0\" frequency=\"1000\" q=\"1\" level=\"1\"></PostFilter>\n\t"
    "</Gain>\n\n\t"
    "<Gain stage=\"4\" enable=\"false\">\n\t\t"
    "<PreFilter enable=\"false\" type=\"0\" frequency=\"1000\" q=\"1\" level=\"1\"></PreFilter>\n\t\t"
    "<Tube enable=\"true\" gain=\"10\" invert=\"true\" clipping=\"0.9\" symmetry=\"0\" offset=\"0\" dynamic=\"true\""
    " shelf=\"-12\" frequency=\"550\"></Tube>\n\t\t"
    "<PostFilter enable=\"false\" type=\"0\" frequency=\"1000\" q=\"1\" level=\"1\"></PostFilter>\n\t"
    "</Gain>\n\n\t"
    "<GainControl type=\"1\" wiper=\"0.5\" location=\"1\"></GainControl>\n\n\t"
    "<ToneControl type=\"2\" bass=\"0.5\" mids=\"0.5\" treble=\"0.5\" presence=\"0.5\" location=\"2\"></ToneControl>\n"
    "</Preamp>\n\n\t"
    "<Gate enable=\"false\" threshold=\"-80\" gating=\"0\" attack=\"0.001\" release=\"0.009\"></Gate>\n\n\t"
    "<Wah enable=\"false\" type=\"0\" pedal=\"0.5\"></Wah>\n\n\t"
    "<Sustainer enable=\"false\" type=\"1\" amount=\"0.5\" attack=\"0.001\" release=\"0.05\"></Sustainer>\n\n\t"
    "<PowerAmp enable=\"true\" type=\"1\" drive=\"1\" bias=\"0.5\" dynamics=\"1\"></PowerAmp>\n\n\t"
    "<EQ enable=\"true\" post=\"false\" band1=\"0\" band2=\"0\" band3=\"0\" band4=\"0\" band5=\"0\" band6=\"0\""
    " band7=\"0\" level=\"0\" type=\"0\" parametric_frequency=\"1000\" parametric_q=\"0.666\""
    " parametric_level=\"0\"></EQ>\n\n\t"
    "<Tremolo enable=\"true\" post=\"false\" type=\"1\" speed=\"1\" depth=\"1\" waveform=\"0\"></Tremolo>\n\n\t"
    "<Chorus enable=\"true\" post=\"false\" type=\"1\" speed=\"1\" depth=\"0.5\" mix=\"0.5\" delay=\"0.01\"></Chorus>\n\n\t"
    "<Flanger enable=\"true\" post=\"false\" type=\"1\" speed=\"1\" depth=\"0.5\" delay=\"0.003\" sweep=\"0.5\""
    " regeneration=\"0.5\" phase=\"true\"></Flanger>\n\n\t"
    "<Phaser enable=\"true\" post=\"false\" type=\"1\" speed=\"1\" depth=\"0.5\" sweep=\"2\" regeneration=\"0.5\""
    " stages=\"1\"></Phaser>\n\n\t"
    "<Echo enable=\"true\" post=\"false\" type=\"1\" delay=\"0.375\" feedback=\"0.7\" directlevel=\"0\""
    " delaylevel=\"0\" style=\"1\" filter_input=\"false\" tails_on=\"true\"></Echo>\n\n\t"
    "<Reverb enable=\"false\" type=\"2\" level=\"0\"></Reverb>\n\n\t"
    "<Cabinet enable=\"true\" samplerate=\"44100\" length=\"16\" windowsize=\"8192\" mono=\"true\""
    " forcedmono=\"false\" minphase=\"false\" name=\"None\">\n\t\t"
    "<DIBox enable=\"true\" frequency=\"4500\" q=\"0.7071\"></DIBox>\n\t\t"
    "<Data size=\"133\">\n"
    "////gAAAgAAAgAAAgAAAgAAAgAAAgAAAgAAAgAAAgAAAgAAAgAAAgAAAgAAAgAAA\n"
    "////gAAAgAAAgAAAgAAAgAAAgAAAgAAAgAAAgAAAgAAAgAAAgAAAgAAAgAAAgAAA\n\t\t"
    "</Data>\n\t"
    "</Cabinet>\n"
    "</TWRPreset>";

std::string presetText(const TonewrightParameters& p)
{
    std::string text;
    XmlWriter w(text);
    w.Open("TWRPreset");
    AddPresetToXML(p, w);
    w.Close();
    return text;
}

TonewrightParameters readPreset(const std::string& text, TonewrightParameters p = {})
{
    pugi::xml_document doc;
    EXPECT_TRUE(ParseXml(doc, text));
    GetPresetFromXML(p, doc.document_element());
    return p;
}

// A record far from the defaults, with a stereo impulse of random samples.
TonewrightParameters unusual(unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    TonewrightParameters p;
    p.master_level = 3.25 + seed % 14;  // inside the host range of +-18 dB
    p.upsampler_enabled = false;
    p.gate.threshold = -42.5;
    p.echo.post = true;
    p.echo.parameters.delay = 0.123456789;
    p.preamp.stages[2].tube.gain = 33.3;
    p.preamp.toneControlLocation = 3;
    copyBounded(p.preamp.name, "Brit <\"&'> \t\n");
    const size_t n = 1000 + seed;
    std::vector<double> arrays[4];
    for (auto& a : arrays) {
        a.resize(n);
        for (double& x : a) x = u(rng);
    }
    p.cabinet.SetImpulse(CabinetImpulse::Make(arrays[0].data(), arrays[1].data(), int(n), false, 48000.0,
                                              "Room & Mic.wav", arrays[2].data(), arrays[3].data()));
    return p;
}

class TempFolder {
public:
    TempFolder()
    {
        std::string name = (fs::temp_directory_path() / "twr-xml-XXXXXX").string();
        path = ::mkdtemp(name.data());
    }
    ~TempFolder() { fs::remove_all(path); }
    std::string file(const char* name) const { return (path / name).string(); }
    fs::path path;
};

TEST(PresetXml, FreshRecordWritesTheDefinedBytes)
{
    EXPECT_EQ(presetText(TonewrightParameters()), kFreshPreset);
}

TEST(PresetXml, FileAndBankFormsWrapThePresetElement)
{
    TonewrightParameters fresh;
    const std::string body = std::string(kFreshPreset).substr(std::string("<TWRPreset").size());
    EXPECT_EQ(PresetFileText(fresh, "Clean"), "<?xml version=\"1.0\" ?>\n<TWRPreset name=\"Clean\"" + body);

    auto programs = std::make_unique<EffectProgram[]>(kBankSize);
    copyBounded(programs[5].name, "Lead & \"Solo\"");
    const std::string bank = BankFileText(programs.get());
    ASSERT_EQ(bank.rfind("<?xml version=\"1.0\" ?>\n<TWRBank>\n<TWRPreset ", 0), 0u);
    ASSERT_EQ(bank.substr(bank.size() - 24), "</TWRPreset>\n\n</TWRBank>");
    const std::string named = std::string(kFreshPreset).insert(std::string(kFreshPreset).find(">\n<Preamp"),
                                                                " name=\"Lead &amp; &quot;Solo&quot;\"");
    EXPECT_NE(bank.find("\n\n" + named + "\n\n"), std::string::npos);
    EXPECT_EQ(bank.size(), 23 + std::string("<TWRBank>\n</TWRBank>").size() + 128 * (std::strlen(kFreshPreset) + 2) +
                               127 * std::strlen(" name=\"Default Program\"") + std::strlen(" name=\"Lead &amp; &quot;Solo&quot;\""));
}

TEST(PresetXml, PresetAndBankRoundTripByteForByte)
{
    for (unsigned seed : {1u, 2u}) {
        const TonewrightParameters p = unusual(seed);
        const std::string text = presetText(p);
        EXPECT_EQ(presetText(readPreset(text)), text);
    }
    TempFolder t;
    auto programs = std::make_unique<EffectProgram[]>(kBankSize);
    for (int i = 0; i < kBankSize; i += 17) {
        programs[i].params = unusual(unsigned(i));
        copyBounded(programs[i].name, ("Program " + std::to_string(i)).c_str());
    }
    ASSERT_TRUE(SaveBankAsXML(programs.get(), t.file("bank.xml").c_str()));
    auto loaded = std::make_unique<EffectProgram[]>(kBankSize);
    ASSERT_TRUE(LoadBankFromXML(loaded.get(), t.file("bank.xml").c_str()));
    EXPECT_EQ(BankFileText(loaded.get()), BankFileText(programs.get()));
    EXPECT_STREQ(loaded[17].name, "Program 17");
    EXPECT_EQ(loaded[17].params.cabinet.Length(), 1017);
    EXPECT_FALSE(loaded[17].params.cabinet.Mono());
}

TEST(CabinetCode, TwentyFourBitOffsetBinaryMostSignificantFirst)
{
    const double samples[] = {1.0, -1.0, 0.0, 0.5, 2.0, -3.0, 1.0 - 1.0 / 8388608, 0.25};
    const uint32_t codes[] = {16777215, 0, 8388608, 12582912, 16777215, 0, 16777215, 10485760};
    const double stored[8] = {0.0};
    CabinetProcessorParameters c;
    c.SetImpulse(CabinetImpulse::Make(samples, nullptr, 8, true, 44100.0, "x", stored, nullptr));
    const auto bytes = XMLEncodeCabinet(c);
    ASSERT_EQ(bytes.size(), 8u * 6);
    for (int i = 0; i < 16; ++i) {
        const uint32_t v = (uint32_t(bytes[size_t(3 * i)]) << 16) | (uint32_t(bytes[size_t(3 * i + 1)]) << 8) |
                           bytes[size_t(3 * i + 2)];
        EXPECT_EQ(v, i < 8 ? codes[i] : 8388608u) << i;
    }
    CabinetProcessorParameters back;
    ASSERT_EQ(XMLDecodeCabinet(back, bytes.data(), bytes.size(), 8, true, 48000.0, "y"), 1);
    const std::vector<double>& left = back.ImpulseLeft();
    EXPECT_EQ(left[0], 1.0 - 1.0 / 8388608);
    EXPECT_EQ(left[1], -1.0);
    EXPECT_EQ(left[2], 0.0);
    EXPECT_EQ(left[3], 0.5);
    EXPECT_EQ(back.SampleRate(), 48000.0);
    EXPECT_STREQ(back.GetName(), "y");
    // Decoded samples code to the same bytes again.
    EXPECT_EQ(XMLEncodeCabinet(back), bytes);
    // A count that does not match changes nothing.
    EXPECT_EQ(XMLDecodeCabinet(back, bytes.data(), bytes.size() - 1, 8, true, 44100.0, "z"), 0);
    EXPECT_EQ(XMLDecodeCabinet(back, bytes.data(), bytes.size(), 8, false, 44100.0, "z"), 0);
    EXPECT_STREQ(back.GetName(), "y");
}

TEST(CabinetCode, DataSizeOfThousandSampleImpulses)
{
    std::vector<double> samples(1000, 0.1);
    for (bool mono : {true, false}) {
        TonewrightParameters p;
        p.cabinet.SetImpulse(samples.data(), samples.data(), 1000, mono, 44100.0, "k");
        const std::string text = presetText(p);
        // 6000 or 12000 bytes: 8000 or 16000 characters in lines of 64.
        const char* expected = mono ? "<Data size=\"8128\">" : "<Data size=\"16253\">";
        EXPECT_NE(text.find(expected), std::string::npos) << mono;
    }
}

TEST(PresetXml, ReadersTakeWhatIsThereWithTheFormatsDefaults)
{
    TonewrightParameters before;
    before.gate.threshold = -33;
    // No Gate element: the gate stays; a bare Wah reads every default.
    TonewrightParameters p = readPreset("<TWRPreset><Wah/><Reverb enable=\"TRUE\" type=\"1\"/></TWRPreset>", before);
    EXPECT_EQ(p.gate.threshold, -33);
    EXPECT_FALSE(p.wah.enable);
    EXPECT_EQ(p.wah.type, 0);
    EXPECT_EQ(p.wah.pedal, 0.5);
    EXPECT_TRUE(p.reverb.enable);
    EXPECT_EQ(p.master_level, 0.5);
    for (const char* value : {"true", "True", "TRUE"})
        EXPECT_TRUE(readPreset(std::string("<p><Gate enable=\"") + value + "\"/></p>").gate.enable) << value;
    for (const char* value : {"1", "yes", "truth", ""})
        EXPECT_FALSE(readPreset(std::string("<p><Gate enable=\"") + value + "\"/></p>").gate.enable) << value;
    // Tags ignoring case; a later element wins.
    p = readPreset("<p><gAtE threshold=\"-20\"/><GATE threshold=\"-30\"/><Tweak/><Bogus/></p>");
    EXPECT_EQ(p.gate.threshold, -30);
}

TEST(PresetXml, PreampReadingStopsAtABadStageNumber)
{
    PreampParameters pre;
    pugi::xml_document doc;
    ASSERT_TRUE(ParseXml(doc, "<Preamp enable=\"true\" name=\"Hot\"><Gain stage=\"2\" enable=\"true\"><Tube gain=\"77\"/>"
                              "</Gain><Gain stage=\"9\"/><GainControl wiper=\"0.9\"/></Preamp>"));
    GetPreampFromXML(pre, doc.document_element(), false);
    EXPECT_STREQ(pre.name, "Hot");
    EXPECT_TRUE(pre.stages[1].enable);
    EXPECT_EQ(pre.stages[1].tube.gain, 77);
    EXPECT_FALSE(pre.stages[1].tube.enable);
    EXPECT_EQ(pre.stages[1].tube.clipping, 0.5);
    EXPECT_EQ(pre.gainControl.wiper, 0.5);  // after the bad stage: not read
}

TEST(PresetXml, CabinetWithoutUsableDataGetsTheDefaultImpulse)
{
    TonewrightParameters p = unusual(3);
    const std::string good = presetText(p);
    // Truncate the data: one line short of what length and mono call for.
    std::string damaged = good;
    const size_t data = damaged.find("<Data");
    damaged.erase(damaged.find('\n', data + 30), 65);
    const TonewrightParameters q = readPreset(damaged, p);
    EXPECT_EQ(q.cabinet.Impulse(), CabinetImpulse::Unit());
    // Absent rate and DI values read as 44100 Hz, 4500 Hz and Q 0.7071.
    const TonewrightParameters r =
        readPreset("<p><Cabinet length=\"1\" mono=\"true\"><DIBox/><Data size=\"12\">\n////gAAA\n\t\t</Data></Cabinet></p>");
    EXPECT_EQ(r.cabinet.SampleRate(), 44100);
    EXPECT_EQ(r.cabinet.dibox.frequency, 4500);
    EXPECT_EQ(r.cabinet.dibox.q, 0.7071);
    EXPECT_EQ(r.cabinet.Length(), 1);
    EXPECT_EQ(r.cabinet.ImpulseLeft()[0], 1.0 - 1.0 / 8388608);
}

TEST(PresetXml, FilesWithTheWrongRootChangeNothing)
{
    TempFolder t;
    TonewrightParameters p = unusual(4);
    ASSERT_TRUE(SavePresetAsXML(p, t.file("x.xml").c_str(), "Name"));
    auto programs = std::make_unique<EffectProgram[]>(kBankSize);
    copyBounded(programs[0].name, "Keep");
    EXPECT_FALSE(LoadBankFromXML(programs.get(), t.file("x.xml").c_str()));
    EXPECT_STREQ(programs[0].name, "Keep");
    EXPECT_FALSE(LoadBankFromXML(programs.get(), t.file("missing.xml").c_str()));
    std::string name;
    TonewrightParameters q;
    ASSERT_TRUE(LoadPresetFromXML(q, t.file("x.xml").c_str(), &name));
    EXPECT_EQ(name, "Name");
    EXPECT_EQ(presetText(q), presetText(p));

    // A bank whose third child is something else leaves program 2 alone.
    std::string bank = BankElementText(programs.get());
    const size_t third = bank.find("<TWRPreset", bank.find("<TWRPreset", bank.find("<TWRPreset") + 1) + 1);
    bank.replace(third + 1, 9, "Something");
    bank.replace(bank.find("</TWRPreset>", third), 12, "</Something>");
    std::ofstream(t.file("b.xml")) << bank;
    auto other = std::make_unique<EffectProgram[]>(kBankSize);
    copyBounded(other[2].name, "Untouched");
    ASSERT_TRUE(LoadBankFromXML(other.get(), t.file("b.xml").c_str()));
    EXPECT_STREQ(other[2].name, "Untouched");
    EXPECT_STREQ(other[3].name, "Default Program");

    PreampParameters pre;
    ASSERT_TRUE(SavePreampAsXML(p.preamp, t.file("Crunch.old.xml").c_str()));
    ASSERT_TRUE(LoadPreampFromXML(pre, t.file("Crunch.old.xml").c_str()));
    EXPECT_STREQ(pre.name, "Crunch.old");
    EXPECT_EQ(pre.stages[2].tube.gain, 33.3);
}

TEST(PresetXml, TextThatIsNotWellFormedIsRefusedWithItsFileTheLineAndWhatIsWrongThere)
{
    const std::string tail = ". Should be an <TWRBank> object.\n";
    const std::pair<std::string, std::string> cases[] = {
        {"<TWRBank>\n<TWRPreset name=\"cut", "Invalid XML in x.xml, line 2: the file ends inside a tag (it is cut short)"},
        {"<TWRBank>\n<TWRPreset>\n", "Invalid XML in x.xml, line 2: the file ends before its elements are closed (it is cut short)"},
        {"<TWRBank>\n\n<a></b>\n</TWRBank>", "Invalid XML in x.xml, line 3: an end tag does not match the element it closes"},
        {"<TWRBank x=1/>", "Invalid XML in x.xml, line 1: an attribute is malformed"},
        {"<TWRBank><!-- open", "Invalid XML in x.xml, line 1: a comment is not closed"},
        {"", "Invalid XML in x.xml: the file is empty"},
        {" \n\t", "Invalid XML in x.xml: the file is empty"},
        {"junk", "Invalid XML in x.xml, line 1: no element starts it"},
        {"<TWRPreset/>", "x.xml holds an <TWRPreset> object"},
    };
    auto programs = std::make_unique<EffectProgram[]>(kBankSize);
    copyBounded(programs[0].name, "Keep");
    for (const auto& [text, line] : cases) {
        testing::internal::CaptureStderr();
        EXPECT_FALSE(LoadBankFromText(programs.get(), text, "x.xml")) << text;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "Quarrystone TWR:: " + line + tail);
    }
    EXPECT_STREQ(programs[0].name, "Keep");
}

}  // namespace
