// Files the plug-in reads that are not regular files of a readable size (a
// FIFO nobody writes, a folder, a device, a huge file), wherever they lie:
// the preference store, the support folder's mark, the factory bank, a
// bank a state chunk names, and every file the editor's commands load.
// Each call returns at once, refuses with a line naming the file, and
// changes nothing.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "PluginHarness.h"
#include "Promptly.h"

using namespace harness;
namespace fs = std::filesystem;

namespace {

// XDG_DATA_HOME and XDG_CONFIG_HOME at fresh folders for the life of the
// object; the plug-in harness's own home afterwards.
class FreshHome {
public:
    FreshHome()
    {
        std::string name = (fs::temp_directory_path() / "twr-readers-XXXXXX").string();
        root = ::mkdtemp(name.data());
        for (const char* variable : {"XDG_DATA_HOME", "XDG_CONFIG_HOME"}) {
            const char* old = std::getenv(variable);
            previous.emplace_back(variable, old ? old : "");
        }
        ::setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    }
    ~FreshHome()
    {
        for (const auto& [variable, value] : previous) ::setenv(variable.c_str(), value.c_str(), 1);
        fs::remove_all(root);
    }
    fs::path support() const { return root / "data/Quarrystone/TWR"; }
    fs::path banks() const { return support() / "Banks"; }
    fs::path store() const { return root / "config/com.quarrystone.twr.conf"; }
    fs::path root;

private:
    std::vector<std::pair<std::string, std::string>> previous;
};

std::string chunkOf(const Plugin& p)
{
    void* data = nullptr;
    const VstIntPtr size = p.dispatch(effGetChunk, 0, 0, &data);
    return data && size > 0 ? std::string(static_cast<const char*>(data), size_t(size)) : std::string();
}

}  // namespace

TEST(FileReaders, AFifoInThePreferencesTheMarkOrTheFactoryBankNeverHoldsUpANewInstance)
{
    struct Case {
        const char* what;
        std::function<fs::path(const FreshHome&)> fifo;
        const char* program;  // what the new instance's program 0 is called
    };
    const Case cases[] = {
        {"preference store", [](const FreshHome& h) { return h.store(); }, "Classic Crunch"},
        {"installed mark", [](const FreshHome& h) { return h.support() / ".installed"; }, "Classic Crunch"},
        {"factory bank", [](const FreshHome& h) { return h.banks() / "QS Factory.xml"; }, "Default Program"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FreshHome home;
        const fs::path fifo = c.fifo(home);
        ASSERT_TRUE(testkit::MakeFifo(fifo));
        std::unique_ptr<Plugin> p;
        testing::internal::CaptureStderr();
        EXPECT_TRUE(testkit::ReturnsPromptly([&] { p = std::make_unique<Plugin>(); }, {fifo}));
        const std::string said = testing::internal::GetCapturedStderr();
        ASSERT_TRUE(p);
        EXPECT_NE(said.find("Quarrystone TWR:: Cannot read " + fifo.string() + ": it is not a regular file."),
                  std::string::npos)
            << said;
        EXPECT_EQ(p->text(effGetProgramNameIndexed, 0, 0), c.program);
        // The bank's FIFO is the user's to remove: it is never replaced.
        if (fifo.filename() == "QS Factory.xml") {
            EXPECT_TRUE(fs::is_fifo(fifo));
        }
    }
}

TEST(FileReaders, ABankChunkNamingAFifoInBanksIsTakenWithoutWaitingAndCountsAsModified)
{
    FreshHome home;
    Plugin p;
    ASSERT_TRUE(testkit::MakeFifo(home.banks() / "pipe.xml"));
    std::string chunk = chunkOf(p);
    const std::string named = "<TWRBank name=\"QS Factory.xml\"";
    ASSERT_NE(chunk.find(named), std::string::npos);
    chunk.replace(chunk.find(named), named.size(), "<TWRBank name=\"pipe.xml\"");
    testing::internal::CaptureStderr();
    EXPECT_TRUE(testkit::ReturnsPromptly(
        [&] { p.dispatch(effSetChunk, 0, VstIntPtr(chunk.size()), chunk.data()); }, {home.banks() / "pipe.xml"}));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(p.effect().getBankName(), "pipe.xml");
    EXPECT_TRUE(p.effect().bankModified.load());
}

TEST(FileReaders, TheEditorsCommandsRefuseAnythingButARegularFileOfTheirSizeAtOnceAndChangeNothing)
{
    FreshHome home;
    Plugin p;
    p.set(30, 0.3f);
    const std::string before = chunkOf(p);
    const fs::path pipe = home.root / "pipe.xml";
    ASSERT_TRUE(testkit::MakeFifo(pipe));
    fs::create_directory(home.root / "folder.xml");
    // Sparse: one byte more than each reader takes, at no cost in disk.
    ASSERT_TRUE(testkit::MakeSparseFile(home.root / "huge.xml", (256ull << 20) + 1));
    ASSERT_TRUE(testkit::MakeSparseFile(home.root / "huge.wav", (1ull << 30) + 1));
    struct Command {
        const char* name;
        bool (Effect::*load)(const char*);
        const char* huge;
    };
    const Command commands[] = {{"loadBank", &Effect::loadBank, "huge.xml"},
                                {"loadPreamp", &Effect::loadPreamp, "huge.xml"},
                                {"importPreset", &Effect::importPreset, "huge.xml"},
                                {"loadCabinetImpulse", &Effect::loadCabinetImpulse, "huge.wav"}};
    for (const Command& command : commands) {
        struct File {
            fs::path path;
            const char* why;
        };
        const File files[] = {{pipe, "it is not a regular file"},
                              {"/dev/zero", "it is not a regular file"},
                              {home.root / "folder.xml", "it is a folder"},
                              {home.root / command.huge, "it is larger than this reader takes"}};
        for (const File& file : files) {
            SCOPED_TRACE(std::string(command.name) + " " + file.path.string());
            bool loaded = true;
            testing::internal::CaptureStderr();
            EXPECT_TRUE(testkit::ReturnsPromptly([&] { loaded = (p.effect().*command.load)(file.path.c_str()); },
                                                 {pipe}));
            const std::string said = testing::internal::GetCapturedStderr();
            EXPECT_FALSE(loaded);
            EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
            EXPECT_EQ(said.rfind("Quarrystone TWR:: Cannot read ", 0), 0u) << said;
            EXPECT_NE(said.find(file.path.string() + ": " + file.why + "."), std::string::npos) << said;
            EXPECT_TRUE(chunkOf(p) == before);
        }
    }
}
