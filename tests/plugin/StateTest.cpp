// What the plug-in remembers: state chunks for the host, the factory bank in
// the support folder, the bank comparison, and MIDI control with a learn map
// kept as a preference.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "DspTestKit.h"
#include "PluginHarness.h"
#include "dsp/StringUtil.h"
#include "plugin/Base64.h"
#include "plugin/PresetXml.h"
#include "system/AtomicFile.h"
#include "system/Preferences.h"

using namespace harness;
namespace fs = std::filesystem;

namespace {

// XDG_DATA_HOME (or another folder variable: XDG_CONFIG_HOME for the MIDI
// map's store) at a fresh folder for the life of the object.
class DataHome {
public:
    explicit DataHome(const char* name = "XDG_DATA_HOME") : variable(name)
    {
        std::string folder = (fs::temp_directory_path() / "twr-data-XXXXXX").string();
        path = ::mkdtemp(folder.data());
        const char* old = std::getenv(variable);
        previous = old ? old : "";
        ::setenv(variable, path.c_str(), 1);
    }
    ~DataHome()
    {
        ::setenv(variable, previous.c_str(), 1);
        fs::remove_all(path);
    }
    fs::path banks() const { return path / "Quarrystone/TWR/Banks"; }
    fs::path path;

private:
    const char* variable;
    std::string previous;
};

// Learning for `target`, then controller c moves: the binding is made.
void learn(const Plugin& p, int controller, int target)
{
    p.effect().setMIDILearnControl(target), send(p, {midi(0xB0, static_cast<unsigned char>(controller), 64)});
}

// The bindings of controllers from..to-1 as a fresh instance finds them stored.
std::vector<int> storedMap(int from = 0, int to = 256)
{
    Plugin p;
    std::vector<int> map;
    for (int c = from; c < to; ++c) map.push_back(p.effect().getMIDIMap(false)[c].load());
    return map;
}

std::string fileText(const fs::path& p)
{
    std::string s;
    tonewright::system::ReadWholeFile(p, s);
    return s;
}

// Half a second of silence (every fade ends), then a second of a chord.
std::vector<float> render(const Plugin& p)
{
    const int n = 44100;
    const size_t half = static_cast<size_t>(n / 2), all = static_cast<size_t>(n);
    std::vector<float> silence(half, 0.0f), out(half), outR(half);
    p.run(silence.data(), nullptr, out.data(), outR.data(), n / 2);
    std::vector<float> in(all), left(all), right(all);
    for (int i = 0; i < n; ++i)
        in[size_t(i)] = float(0.2 * std::sin(2 * M_PI * 110 * i / 44100.0) + 0.1 * std::sin(2 * M_PI * 277 * i / 44100.0));
    for (int start = 0; start < n; start += 512)
        p.run(&in[size_t(start)], nullptr, &left[size_t(start)], &right[size_t(start)], std::min(512, n - start));
    left.insert(left.end(), right.begin(), right.end());
    return left;
}


TEST(Chunk, BankChunkHoldsTheBankThenTheCurrentSettings)
{
    DataHome home;
    Plugin p;
    StartFromDefaultSound(p);
    p.effect().saveCurrentToBank("Edge & \"Grit\"", 3);
    p.set(30, 0.25f);
    const std::string text = chunkOf(p, false);
    ASSERT_EQ(text.rfind("<TWRChunk><TWRBank name=\"QS Factory.xml\">\n<TWRPreset ", 0), 0u);
    const size_t current = text.find("</TWRBank><TWRCurrent enable=\"true\"");
    ASSERT_NE(current, std::string::npos);
    EXPECT_NE(text.find("master_level=\"-12\" name=\"Default Program\" modified=\"true\" prognum=\"3\">\n<Preamp",
                        current),
              std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 24), "</TWRCurrent></TWRChunk>");
    EXPECT_EQ(text.find('\0'), std::string::npos);
    EXPECT_NE(text.find("name=\"Edge &amp; &quot;Grit&quot;\">\n<Preamp"), std::string::npos);
    // The bank element is the bank file's, with the name first.
    auto programs = std::make_unique<EffectProgram[]>(kBankSize);
    pugi::xml_document doc;
    ASSERT_TRUE(ParseXml(doc, text));
    GetBankFromXML(programs.get(), doc.document_element().child("TWRBank"));
    EXPECT_STREQ(programs[3].name, "Edge & \"Grit\"");
    const std::string bank = BankElementText(programs.get());
    EXPECT_EQ(text.substr(10, current + 10 - 10), "<TWRBank name=\"QS Factory.xml\"" + bank.substr(8));
    // The program form is the preset element without a name.
    EXPECT_EQ(chunkOf(p, true).rfind("<TWRPreset enable=\"true\" upsampler_enabled=\"true\"", 0), 0u);
}

TEST(Chunk, RoundTripIntoAFreshInstanceGivesTheSameStateAndSound)
{
    DataHome home;
    Plugin a;
    a.dispatch(effSetProgram, 0, 5);
    // Values whose physical settings are exact in the stored notation.
    a.set(30, 0.25f);  // master -12 dB
    a.set(74, 1.0f);   // reverb on
    a.set(62, 1.0f);   // tremolo on
    a.set(1, 0.0f);    // oversampling off: carried by the chunk
    const std::string chunk = chunkOf(a, false);

    Plugin b;
    setChunk(b, chunk, false);
    EXPECT_TRUE(chunkOf(b, false) == chunk);
    EXPECT_EQ(b.dispatch(effGetProgram), 5);
    EXPECT_EQ(b.text(effGetProgramName), a.text(effGetProgramName));
    EXPECT_EQ(b.effect().getBankName(), a.effect().getBankName());
    EXPECT_EQ(b.effect().isProgramModified(), a.effect().isProgramModified());
    for (int i = 0; i < 80; ++i) EXPECT_EQ(b.get(i), a.get(i)) << i;
    const auto soundA = render(a);
    const auto soundB = render(b);
    ASSERT_EQ(soundA.size(), soundB.size());
    size_t differing = 0;
    for (size_t i = 0; i < soundA.size(); ++i) differing += soundA[i] != soundB[i];
    EXPECT_EQ(differing, 0u);
}

TEST(Chunk, NamesAreCutAtTheirSizesAndBadNumbersKeepWhatWasThere)
{
    DataHome home;
    Plugin p;
    StartFromDefaultSound(p);
    p.dispatch(effSetProgram, 0, 7);
    std::string chunk = chunkOf(p, false);
    const std::string longName(300, 'x');
    auto replaceAttribute = [&](const std::string& from, const std::string& to) {
        const size_t at = chunk.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        chunk.replace(at, from.size(), to);
    };
    replaceAttribute("<TWRBank name=\"QS Factory.xml\"", "<TWRBank name=\"../escape.xml\"");
    replaceAttribute("prognum=\"7\"", "prognum=\"300\"");
    replaceAttribute("name=\"Default Program\" modified", "name=\"" + longName + "\xC3\xA9\" modified");
    replaceAttribute("master_level=\"0\" name=\"Default Program\">", "master_level=\"0\" name=\"" + longName + "\">");
    setChunk(p, chunk, false);
    EXPECT_EQ(p.effect().getBankName(), "");
    EXPECT_EQ(p.dispatch(effGetProgram), 7);
    pugi::xml_document doc;
    ASSERT_TRUE(ParseXml(doc, chunkOf(p, false)));
    EXPECT_EQ(std::strlen(doc.document_element().child("TWRCurrent").attribute("name").value()), 255u);
    EXPECT_EQ(p.text(effGetProgramNameIndexed, 0, -1).size(), 23u);
}

TEST(Chunk, HostileChunksChangeNothingAndNeverCrash)
{
    Plugin p;
    p.dispatch(effSetProgram, 0, 4);
    p.set(30, 0.75f);
    const std::string before = chunkOf(p, false);
    // Not XML, the wrong root, cut short: nothing changes.
    for (std::string text : {std::string("garbage"), std::string("<TWRChunk>"), std::string("<TWRPreset/>"),
                             std::string("<TWRBank></TWRBank>"), before.substr(0, before.size() / 2),
                             std::string(100000, '<'), std::string("\xff\xfe<\0\0", 5)}) {
        p.dispatch(effSetChunk, 0, VstIntPtr(text.size()), text.data());
        EXPECT_TRUE(chunkOf(p, false) == before) << text.substr(0, 40);
    }
    p.dispatch(effSetChunk, 0, 0, nullptr);
    p.dispatch(effSetChunk, 0, -5, const_cast<char*>("x"));
    EXPECT_TRUE(chunkOf(p, false) == before);
    // Entities a document declares are never expanded.
    std::string entity = "<!DOCTYPE x [<!ENTITY e \"boom\">]><TWRChunk><TWRBank name=\"&e;\"/></TWRChunk>";
    p.dispatch(effSetChunk, 0, VstIntPtr(entity.size()), entity.data());
    EXPECT_NE(p.effect().getBankName(), "boom");
    // Random damage may leave well-formed XML that sets other values; the
    // state stays whole: a program still current, a chunk still well-formed.
    std::mt19937 rng(3);
    for (int i = 0; i < 20; ++i) {
        std::string damaged = before;
        for (int k = 0; k < 5; ++k) damaged[rng() % damaged.size()] = char(rng());
        p.dispatch(effSetChunk, i % 2, VstIntPtr(damaged.size()), damaged.data());
    }
    EXPECT_GE(p.dispatch(effGetProgram), 0);
    EXPECT_LT(p.dispatch(effGetProgram), 128);
    pugi::xml_document doc;
    EXPECT_TRUE(ParseXml(doc, chunkOf(p, false)));

    // The host's memory is only read: a read-only page is fine.
    Plugin q;
    const std::string good = chunkOf(q, false);
    const size_t pages = (good.size() + 4095) / 4096 * 4096;
    void* map = ::mmap(nullptr, pages, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    std::memcpy(map, good.data(), good.size());
    ::mprotect(map, pages, PROT_READ);
    q.dispatch(effSetChunk, 0, VstIntPtr(good.size()), map);
    EXPECT_TRUE(chunkOf(q, false) == good);
    ::munmap(map, pages);
}

TEST(FactoryBank, FirstRunMakesTheFoldersAndInstallsTheBankWhichIsThenKept)
{
    DataHome home;
    {
        Plugin p;
        for (const char* sub : {"Banks", "Impulses", "Preamps"})
            EXPECT_TRUE(fs::is_directory(home.path / "Quarrystone/TWR" / sub)) << sub;
        EXPECT_EQ(fileText(home.banks() / "QS Factory.xml"), std::string(FactoryBankText()));
        auto bank = std::make_unique<EffectProgram[]>(kBankSize);
        ASSERT_TRUE(LoadBankFromXML(bank.get(), (home.banks() / "QS Factory.xml").c_str()));
        for (int i = 0; i < kBankSize; i += 31) EXPECT_EQ(p.text(effGetProgramNameIndexed, i, -1), bank[i].name);
        EXPECT_EQ(p.text(effGetProgramName), std::string(bank[0].name).substr(0, 23));
        EXPECT_FALSE(p.effect().isBankModified());
    }
    // An edited bank is loaded as it is and never replaced.
    auto edited = std::make_unique<EffectProgram[]>(kBankSize);
    copyBounded(edited[0].name, "My Own Sound");
    ASSERT_TRUE(SaveBankAsXML(edited.get(), (home.banks() / "QS Factory.xml").c_str()));
    const std::string mine = fileText(home.banks() / "QS Factory.xml");
    Plugin again;
    EXPECT_EQ(again.text(effGetProgramName), "My Own Sound");
    EXPECT_EQ(fileText(home.banks() / "QS Factory.xml"), mine);
}

TEST(FactoryBank, ComparisonFollowsEdits)
{
    DataHome home;
    Plugin p;
    EXPECT_FALSE(p.effect().isBankModified());
    p.set(30, 0.1f), p.effect().saveCurrentToBank("Changed", 0);
    EXPECT_TRUE(p.effect().isBankModified());
}

// Whatever Banks holds, an instance starts with the factory programs; it is
// bound to the bank file (and saves to it) only when it read that file.
TEST(FactoryBank, AnInstanceStartsWithTheCarriedProgramsAndNeverSavesOverABankItDidNotRead)
{
    auto factory = std::make_unique<EffectProgram[]>(kBankSize);
    ASSERT_TRUE(LoadBankFromText(factory.get(), FactoryBankText()));
    const std::string text(FactoryBankText()), carried = std::string(factory[0].name) + "|" + factory[127].name + "|";
    auto started = [](const Plugin& p) {  // program 0, the last name, the bank's name, whether a save went through
        p.effect().saveCurrentToBank("Edited", 5);
        return p.text(effGetProgramName) + "|" + p.text(effGetProgramNameIndexed, 127, -1) + "|" + p.effect().getBankName() +
               (p.effect().saveBank() ? "|saved" : "|refused");
    };
    const struct { std::string what, bytes; } cases[] = {{"damaged", text.substr(0, text.size() / 2)}, {"empty", ""},
        {"another root", "<TWRPreset/>"}, {"a folder", ""}, {"missing, read-only", ""}, {"Banks a file", ""}};
    for (const auto& [what, bytes] : cases) {
        DataHome home;
        const fs::path file = home.banks() / "QS Factory.xml";
        fs::create_directories(what == "a folder" ? file : what == "Banks a file" ? home.banks().parent_path() : home.banks());
        if (what == "Banks a file") std::ofstream(home.banks()) << "x";
        else if (what == "missing, read-only") system::SimulateReadOnlyFolder(home.banks());
        else if (what != "a folder") std::ofstream(file, std::ios::binary) << bytes;
        EXPECT_EQ(started(Plugin()), carried + "|refused") << what;
        system::SimulateReadOnlyFolder({});
        EXPECT_TRUE(fileText(file) == bytes) << what;  // byte for byte (megabytes: no diff printed)
    }
    // A full disk on the first run (in a child, with a file size limit): nothing installed, nothing bound; the next
    // instance installs the bank.
    DataHome home;
    EXPECT_EQ(RunInChild([&] {
                  const struct rlimit small = {65536, 65536};
                  ::signal(SIGXFSZ, SIG_IGN), ::setrlimit(RLIMIT_FSIZE, &small);
                  return started(Plugin()) == carried + "|refused" ? 0 : 1;
              }),
              0);
    EXPECT_FALSE(fs::exists(home.banks() / "QS Factory.xml"));
    EXPECT_EQ(started(Plugin()), carried + "QS Factory.xml|saved");
}

TEST(FactoryBank, InstancesMadeTogetherAllSeeTheWholeBank)
{
    DataHome home;
    std::vector<std::string> first(4);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&, i] {
            Plugin p;
            first[size_t(i)] = p.text(effGetProgramNameIndexed, kBankSize - 1, -1);
        });
    for (auto& t : threads) t.join();
    auto bank = std::make_unique<EffectProgram[]>(kBankSize);
    ASSERT_TRUE(LoadBankFromXML(bank.get(), (home.banks() / "QS Factory.xml").c_str()));
    for (const auto& name : first) EXPECT_EQ(name, bank[kBankSize - 1].name);
    EXPECT_EQ(fileText(home.banks() / "QS Factory.xml"), std::string(FactoryBankText()));
}

TEST(Midi, ProgramChangesOnAnyChannelAndControllersThroughTheMap)
{
    Plugin p;
    for (unsigned char channel : {0, 9, 15}) {
        const int program = 10 + channel;
        send(p, {midi(0xC0 | channel, static_cast<unsigned char>(program), 0)});
        p.effect().waitForWorker();
        EXPECT_EQ(p.dispatch(effGetProgram), program) << int(channel);
    }
    // Unbound controllers, notes and pitch bend change nothing.
    const float gain = p.get(5);
    send(p, {midi(0xB0, 7, 100), midi(0x90, 60, 100), midi(0xE0, 0, 127), midi(0x80, 60, 0)});
    EXPECT_EQ(p.get(5), gain);
    p.effect().updateMIDIMap(7, 5);
    send(p, {midi(0xB3, 7, 64)});
    EXPECT_FLOAT_EQ(p.get(5), 64.0f / 127.0f);
    // Bytes out of range are masked, never used as indices past the map.
    send(p, {midi(0xB0, 0xFF, 0xFF), midi(0xC0, 0xFF, 0)});
    p.effect().waitForWorker();
    EXPECT_EQ(p.dispatch(effGetProgram), 127);
}

TEST(Midi, LearnBindsTheNextControllerAndTheMapPersists)
{
    {
        Plugin p;
        p.effect().setMIDILearnControl(12);
        {
            VstMidiEvent learn = midi(0xB2, 7, 127);
            EventList list;
            list.numEvents = 1;
            list.events[0] = reinterpret_cast<VstEvent*>(&learn);
            testkit::AllocationCounter allocations;
            p.dispatch(effProcessEvents, 0, 0, &list);
            EXPECT_EQ(allocations.count(), 0);
            EXPECT_EQ(allocations.freed(), 0);
        }
        EXPECT_EQ(p.effect().getMIDIMap(false)[7].load(), 12);
        EXPECT_EQ(p.effect().midiLearnTarget(), -1);
        EXPECT_EQ(p.get(12), 1.0f);
        p.effect().waitForWorker();
    }
    {
        Plugin second;
        EXPECT_EQ(second.effect().getMIDIMap(false)[7].load(), 12);
        for (int c : {0, 6, 8, 255}) EXPECT_EQ(second.effect().getMIDIMap(false)[c].load(), -1) << c;
    }
    // A damaged map is ignored; entries outside the known targets unbind.
    char text[2048];
    uint8_t bytes[1024];
    for (int c = 0; c < 256; ++c) {
        const int32_t v = c == 1 ? 999 : c == 2 ? 40 : -1;
        for (int k = 0; k < 4; ++k) bytes[4 * c + k] = uint8_t(uint32_t(v) >> (8 * k));
    }
    std::string good = tonewright::base64::Encode(bytes, 1024);
    ASSERT_TRUE(SetRegistryKey(kPreferenceDomain, kMidiMapKey, good.c_str()));
    {
        Plugin p;
        EXPECT_EQ(p.effect().getMIDIMap(false)[1].load(), -1);
        EXPECT_EQ(p.effect().getMIDIMap(false)[2].load(), 40);
    }
    for (const std::string& bad : {good.substr(0, 100), good + "AAAA", std::string("!!!!")}) {
        ASSERT_TRUE(SetRegistryKey(kPreferenceDomain, kMidiMapKey, bad.c_str()));
        Plugin p;
        for (int c = 0; c < 256; ++c) EXPECT_EQ(p.effect().getMIDIMap(false)[c].load(), -1) << c;
    }
    ASSERT_TRUE(GetRegistryKey(kPreferenceDomain, kMidiMapKey, text));
}

// Learned just before the instance goes: stored all the same.
TEST(Midi, AControllerLearnedAsTheInstanceClosesIsStored)
{
    DataHome config("XDG_CONFIG_HOME");
    std::vector<int> learned;
    for (int c = 0; c < 30; ++c) learn(Plugin(), c, c + 40), learned.push_back(c + 40);
    EXPECT_EQ(storedMap(0, 30), learned);
}

// Instances (and processes) learning at once each store their own changes
// into the stored map: none loses another's.
TEST(Midi, InstancesAndProcessesLearningAtOnceKeepEveryBinding)
{
    DataHome config("XDG_CONFIG_HOME");
    {
        Plugin a, b;
        learn(a, 1, 5), learn(b, 2, 6), a.effect().waitForWorker(), b.effect().waitForWorker();
        EXPECT_TRUE(a.effect().updateMIDIMap(3, 7));
        EXPECT_EQ(storedMap(1, 4), (std::vector<int>{5, 6, 7}));
        EXPECT_TRUE(b.effect().updateMIDIMap(1, -1));  // unlearning: one change too
    }
    EXPECT_EQ(storedMap(1, 4), (std::vector<int>{-1, 6, 7}));
    std::vector<pid_t> children;
    for (int k = 0; k < 4; ++k)
        children.push_back(StartChild([k] {
            Plugin p;
            for (int c = 60 * k; c < 60 * k + 60; ++c) learn(p, c, c % 80);
            return 0;
        }));
    for (pid_t child : children) EXPECT_EQ(WaitForChild(child), 0);
    const std::vector<int> map = storedMap();
    int kept = 0;
    for (int c = 0; c < 256; ++c) kept += map[size_t(c)] == (c < 240 ? c % 80 : -1);
    EXPECT_EQ(kept, 256);
}

// A map that cannot be stored (a read-only or full folder, a lock held too
// long) says so, keeps the binding in the instance and is stored later.
TEST(Midi, AMapThatCannotBeStoredIsReportedAndStoredLater)
{
    DataHome config("XDG_CONFIG_HOME");
    Plugin p;
    Effect& fx = p.effect();
    auto said = [](auto act) { testing::internal::CaptureStderr(), act(); return testing::internal::GetCapturedStderr(); };
    system::SimulateReadOnlyFolder(config.path);
    std::string text = said([&] { EXPECT_FALSE(fx.updateMIDIMap(4, 9)); }) + said([&] { learn(p, 5, 10), fx.waitForWorker(); });
    system::SimulateReadOnlyFolder({});
    const std::string line = "Quarrystone TWR:: The MIDI map cannot be stored in " +
                             (config.path / "com.quarrystone.twr.conf").string() + "; the new bindings hold in this instance and are tried again with the next change.\n";
    EXPECT_EQ(text, line + line);
    EXPECT_EQ(std::vector<int>({fx.getMIDIMap(false)[4].load(), fx.getMIDIMap(false)[5].load(), storedMap(4, 5)[0]}), (std::vector<int>{9, 10, -1}));
    {
        const system::FileLock other(config.path / "com.quarrystone.twr.conf.lock", std::chrono::milliseconds(0));
        text = said([&] { EXPECT_FALSE(fx.updateMIDIMap(6, 11)); });
        EXPECT_NE(text.find("stayed locked for more than 1000 ms"), std::string::npos) << text;
    }
    EXPECT_TRUE(fx.updateMIDIMap(7, 12));  // and the three before it
    EXPECT_EQ(storedMap(4, 8), (std::vector<int>{9, 10, 11, 12}));
    EXPECT_EQ(RunInChild([&] {  // a full disk: a child with a file size limit
                  const struct rlimit none = {0, 0};
                  ::signal(SIGXFSZ, SIG_IGN), ::setrlimit(RLIMIT_FSIZE, &none);
                  return fx.updateMIDIMap(8, 13) ? 1 : 0;
              }),
              0);
    EXPECT_EQ(storedMap(8, 9)[0], -1);
}

}  // namespace
