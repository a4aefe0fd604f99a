#include "PluginHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "plugin/PresetXml.h"
#include "plugin/XmlReader.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "dsp/StringUtil.h"

namespace harness {

namespace {

// Every test program gets a home of its own before any plug-in is made:
// preferences go to a fresh temporary folder, never to the real home, and
// programs running side by side never share one. The support folder cannot
// be made there (its parent is a file), so plug-ins start with the factory
// programs they carry, bound to no bank file, unless a test points
// XDG_DATA_HOME at a folder of its own.
struct TemporaryHome {
    TemporaryHome()
    {
        std::string name = (std::filesystem::temp_directory_path() / "twr-test-home-XXXXXX").string();
        if (!::mkdtemp(name.data())) return;
        root = name;
        std::FILE* blocker = std::fopen((root / "no-data").c_str(), "w");
        if (blocker) std::fclose(blocker);
        ::setenv("XDG_DATA_HOME", (root / "no-data" / "share").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        ::setenv("XDG_CONFIG_DIRS", (root / "shared").c_str(), 1);
    }
    ~TemporaryHome()
    {
        std::error_code ignored;
        if (!root.empty()) std::filesystem::remove_all(root, ignored);
    }
    std::filesystem::path root;
};

const TemporaryHome temporaryHome;

}  // namespace

std::filesystem::path TestHome() { return temporaryHome.root; }

Host::Host() : room(std::make_unique<Call[]>(kRoom)) {}

Host& Host::instance()
{
    static Host host;
    return host;
}

VstIntPtr Host::callback(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void*, float opt)
{
    Host& h = instance();
    const size_t at = h.used.fetch_add(1, std::memory_order_relaxed);
    if (at < kRoom) h.room[at] = {opcode, index, value, opt};
    return opcode == audioMasterVersion ? h.versionAnswer : 0;
}

std::vector<Call> Host::calls()
{
    const size_t n = std::min(used.load(), kRoom);
    return std::vector<Call>(room.get(), room.get() + n);
}

void Host::clear() { used.store(0); }

Plugin::Plugin(double rate, int block) : Plugin(VSTPluginMain(Host::callback), rate, block) {}

Plugin::Plugin(AEffect* made, double rate, int block) : e(made)
{
    if (!e) throw std::runtime_error("VSTPluginMain made no effect");
    dispatch(effOpen);
    dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
    dispatch(effSetBlockSize, 0, block);
    dispatch(effMainsChanged, 0, 1);
}

Plugin::~Plugin()
{
    dispatch(effMainsChanged, 0, 0);
    dispatch(effClose);
}

std::string Plugin::text(VstInt32 opcode, VstInt32 index, VstIntPtr value) const
{
    char buffer[256];
    std::memset(buffer, 'x', sizeof buffer);
    buffer[sizeof buffer - 1] = '\0';
    dispatch(opcode, index, value, buffer);
    return buffer;
}

void Plugin::run(const float* in0, const float* in1, float* out0, float* out1, int n) const
{
    float* inputs[2] = {const_cast<float*>(in0), const_cast<float*>(in1)};
    float* outputs[2] = {out0, out1};
    e->processReplacing(e, inputs, outputs, n);
}

pid_t StartChild(const std::function<int()>& body)
{
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child != 0) return child;
    int code = 1;
    try {
        code = body();
    } catch (...) {
    }
    // No atexit handlers or static destructors of the parent's copy.
    std::fflush(nullptr);
    ::_exit(code);
}

int WaitForChild(pid_t child)
{
    if (child < 0) return -1;
    int status = 0;
    while (::waitpid(child, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

CommandResult runCommand(const std::string& command)
{
    CommandResult result;
    const std::filesystem::path errors = TestHome() / "command-stderr";
    if (FILE* pipe = popen((command + " 2>'" + errors.string() + "'").c_str(), "r")) {
        char buffer[4096];
        while (size_t got = fread(buffer, 1, sizeof buffer, pipe)) result.out.append(buffer, got);
        const int status = pclose(pipe);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    if (FILE* f = std::fopen(errors.c_str(), "rb")) {
        char buffer[4096];
        while (size_t got = fread(buffer, 1, sizeof buffer, f)) result.err.append(buffer, got);
        std::fclose(f);
    }
    return result;
}

void StartFromDefaultSound(const Plugin& p)
{
    const auto fresh = std::make_unique<Tonewright>();
    std::vector<std::pair<int, TonewrightParameters>> defaults;
    for (int k = 0; k < kNumPrograms; ++k) defaults.emplace_back(k, *fresh->GetParameters());
    StorePrograms(p.effect(), defaults, "Default Program");
    p.dispatch(effSetProgram, 0, 1);
    p.dispatch(effSetProgram, 0, 0);
}

std::string chunkOf(const Plugin& p, bool preset)
{
    void* data = nullptr;
    const VstIntPtr size = p.dispatch(effGetChunk, preset ? 1 : 0, 0, &data);
    return data && size > 0 ? std::string(static_cast<const char*>(data), size_t(size)) : std::string();
}

void setChunk(const Plugin& p, std::string text, bool preset)
{
    p.dispatch(effSetChunk, preset ? 1 : 0, VstIntPtr(text.size()), text.data());
}

VstMidiEvent midi(unsigned char status, unsigned char a, unsigned char b)
{
    VstMidiEvent e{};
    e.type = kVstMidiType, e.byteSize = sizeof e;
    e.midiData[0] = char(status), e.midiData[1] = char(a), e.midiData[2] = char(b);
    return e;
}

void send(const Plugin& p, std::vector<VstMidiEvent> events)
{
    EventList list{.numEvents = VstInt32(std::min<size_t>(events.size(), 8))};
    for (VstInt32 i = 0; i < list.numEvents; ++i) list.events[i] = reinterpret_cast<VstEvent*>(&events[size_t(i)]);
    p.dispatch(effProcessEvents, 0, 0, &list);
}

namespace {

// The effect's programs as its bank chunk holds them.
std::unique_ptr<EffectProgram[]> bankOf(Effect& fx, pugi::xml_document& doc)
{
    void* data = nullptr;
    const VstInt32 size = fx.getChunk(&data, false);
    auto bank = std::make_unique<EffectProgram[]>(kNumPrograms);
    EXPECT_TRUE(ParseXml(doc, std::string_view(static_cast<const char*>(data), size_t(size))));
    GetBankFromXML(bank.get(), doc.document_element().child("TWRBank"));
    return bank;
}

}  // namespace

std::string BankText(Effect& fx)
{
    pugi::xml_document doc;
    return BankFileText(bankOf(fx, doc).get());
}

void StorePrograms(Effect& fx, const std::vector<std::pair<int, TonewrightParameters>>& sounds, const char* name)
{
    pugi::xml_document doc;
    auto bank = bankOf(fx, doc);
    const pugi::xml_node root = doc.document_element();
    const pugi::xml_node stored = root.child("TWRBank");
    for (const auto& [slot, sound] : sounds) {
        bank[slot].params = sound;
        if (name) copyBounded(bank[slot].name, name);
    }
    const pugi::xml_node current = root.child("TWRCurrent");
    TonewrightParameters now = fx.currentSound();
    std::string text;
    XmlWriter w(text);
    w.Open("TWRChunk");
    w.Open("TWRBank");
    w.Attribute("name", stored.attribute("name").value());
    AddBankToXML(bank.get(), w);
    w.Close();
    w.Open("TWRCurrent");
    AddPresetToXML(now, w, [&](XmlWriter& x) {
        x.Attribute("name", current.attribute("name").value());
        x.Attribute("modified", std::string_view(current.attribute("modified").value()) == "true");
        x.Attribute("prognum", current.attribute("prognum").as_int());
    });
    w.Close();
    w.Close();
    fx.setChunk(text.data(), VstInt32(text.size()), false);
}

}  // namespace harness
