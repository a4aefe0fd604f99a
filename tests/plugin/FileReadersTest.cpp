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
// object; the harness's own home afterwards.
struct FreshHome {
    FreshHome()
    {
        std::string name = (fs::temp_directory_path() / "twr-readers-XXXXXX").string();
        root = ::mkdtemp(name.data());
        ::setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    }
    ~FreshHome()
    {
        ::setenv("XDG_DATA_HOME", (TestHome() / "no-data" / "share").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (TestHome() / "config").c_str(), 1);
        fs::remove_all(root);
    }
    fs::path banks() const { return root / "data/Quarrystone/TWR/Banks"; }
    fs::path root;
};

}  // namespace

TEST(FileReaders, AFifoInThePreferencesTheMarkOrTheFactoryBankNeverHoldsUpANewInstance)
{
    struct Case {
        const char* fifo;  // below the fresh home
        const char* bank;  // the bank the new instance is bound to
    };
    // Whatever it finds, a new instance starts with the factory programs.
    for (const Case& c : {Case{"config/com.quarrystone.twr.conf", "QS Factory.xml"},
                          Case{"data/Quarrystone/TWR/.installed", "QS Factory.xml"},
                          Case{"data/Quarrystone/TWR/Banks/QS Factory.xml", ""}}) {
        SCOPED_TRACE(c.fifo);
        FreshHome home;
        const fs::path fifo = home.root / c.fifo;
        ASSERT_TRUE(testkit::MakeFifo(fifo));
        std::unique_ptr<Plugin> p;
        testing::internal::CaptureStderr();
        EXPECT_TRUE(testkit::ReturnsPromptly([&] { p = std::make_unique<Plugin>(); }, {fifo}));
        const std::string said = testing::internal::GetCapturedStderr();
        ASSERT_TRUE(p);
        EXPECT_NE(said.find("Quarrystone TWR:: Cannot read " + fifo.string() + ": it is not a regular file."),
                  std::string::npos)
            << said;
        EXPECT_EQ(p->text(effGetProgramNameIndexed, 0, 0), "Classic Crunch");
        EXPECT_EQ(p->effect().getBankName(), c.bank);
        // A bank's FIFO is the user's to remove: it is never replaced.
        EXPECT_TRUE(fs::is_fifo(fifo) || fifo.filename() == ".installed");
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
    EXPECT_TRUE(testkit::ReturnsPromptly([&] { setChunk(p, chunk); }, {home.banks() / "pipe.xml"}));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(p.effect().getBankName(), "pipe.xml");
    EXPECT_TRUE(p.effect().isBankModified());
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
        bool (Effect::*load)(const char*);
        const char* huge;
    };
    for (const Command& command : {Command{&Effect::loadBank, "huge.xml"}, Command{&Effect::loadPreamp, "huge.xml"},
                                   Command{&Effect::importPreset, "huge.xml"},
                                   Command{&Effect::loadCabinetImpulse, "huge.wav"}}) {
        struct File {
            fs::path path;
            const char* why;
        };
        for (const File& file : {File{pipe, "it is not a regular file"}, File{"/dev/zero", "it is not a regular file"},
                                 File{home.root / "folder.xml", "it is a folder"},
                                 File{home.root / command.huge, "it is larger than this reader takes"}}) {
            SCOPED_TRACE(file.path.string());
            bool loaded = true;
            testing::internal::CaptureStderr();
            EXPECT_TRUE(testkit::ReturnsPromptly([&] { loaded = (p.effect().*command.load)(file.path.c_str()); },
                                                 {pipe}));
            const std::string said = testing::internal::GetCapturedStderr();
            EXPECT_FALSE(loaded);
            EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
            EXPECT_NE(said.find(file.path.string() + ": " + file.why + "."), std::string::npos) << said;
            EXPECT_TRUE(chunkOf(p) == before);
        }
    }
}
