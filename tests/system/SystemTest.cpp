// Files written whole or not at all, folders made with their parents, and
// preferences read user-first from stores the environment points at.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "system/AtomicFile.h"
#include "system/Folders.h"
#include "system/Preferences.h"

using namespace tonewright::system;
namespace fs = std::filesystem;

namespace {

class TempFolder {
public:
    TempFolder()
    {
        std::string name = (fs::temp_directory_path() / "twr-system-XXXXXX").string();
        path = ::mkdtemp(name.data());
    }
    ~TempFolder() { fs::remove_all(path); }
    fs::path path;
};

std::string contents(const fs::path& p)
{
    std::string s;
    EXPECT_TRUE(ReadWholeFile(p, s));
    return s;
}

size_t entries(const fs::path& folder) { return size_t(std::distance(fs::directory_iterator(folder), {})); }

TEST(AtomicFile, ReplacesWholeOrLeavesTheOldFile)
{
    TempFolder t;
    const auto file = t.path / "bank.xml";
    ASSERT_TRUE(WriteFileAtomically(file, "first"));
    ASSERT_TRUE(WriteFileAtomically(file, std::string(100000, 'x')));
    EXPECT_EQ(contents(file), std::string(100000, 'x'));
    // A target whose folder is a file cannot be written: failure, nothing
    // else changes and no temporary is left.
    std::ofstream(t.path / "plain") << "keep";
    EXPECT_FALSE(WriteFileAtomically(t.path / "plain" / "x.xml", "y"));
    EXPECT_EQ(contents(t.path / "plain"), "keep");
    EXPECT_EQ(entries(t.path), 2u);
}

TEST(AtomicFile, OnlyOneOfManyRacingInstallersWinsAndNoneOverwrites)
{
    TempFolder t;
    const auto file = t.path / "QS Factory.xml";
    for (int round = 0; round < 20; ++round) {
        fs::remove(file);
        std::vector<std::thread> threads;
        std::vector<int> won(8, 0);
        for (int i = 0; i < 8; ++i)
            threads.emplace_back([&, i] { won[size_t(i)] = WriteFileIfAbsent(file, std::string(50000, char('a' + i))); });
        for (auto& th : threads) th.join();
        int winners = 0, winner = -1;
        for (int i = 0; i < 8; ++i)
            if (won[size_t(i)]) winners++, winner = i;
        ASSERT_EQ(winners, 1);
        EXPECT_EQ(contents(file), std::string(50000, char('a' + winner)));
        EXPECT_EQ(entries(t.path), 1u);
    }
    EXPECT_FALSE(WriteFileIfAbsent(file, "other"));
}

TEST(AtomicFile, WritesThroughLinksKeepThemAndPlacedFilesReplaceNothing)
{
    TempFolder t;
    const auto banks = t.path / "Banks", real = t.path / "music" / "Live.xml";
    fs::create_directories(banks), fs::create_directories(real.parent_path());
    fs::create_symlink(real, banks / "Absolute"), fs::create_symlink("../music/Live.xml", banks / "Relative");
    fs::create_symlink("Relative", banks / "Chain"), fs::create_symlink("Loop", banks / "Loop");
    for (const char* link : {"Absolute", "Relative", "Chain"})
        EXPECT_TRUE(WriteFileAtomically(banks / link, link) && fs::is_symlink(banks / link) && contents(real) == link) << link;
    EXPECT_FALSE(WriteFileAtomically(banks / "Loop", "x"));
    EXPECT_EQ(entries(banks) * 10 + entries(real.parent_path()), 41u);  // the links, no temporaries
    // Placed in turn (Rock.xml and Rock 3.xml there already): where the bytes went, whether a file was made.
    std::ofstream(t.path / "Rock.xml") << "edited", std::ofstream(t.path / "Rock 3.xml") << "import";
    const struct { const char* name; const char* bytes; const char* placed; } cases[] = {
        {"Rock.xml", "edited", "Rock.xml kept"}, {"Rock.xml", "import", "Rock 2.xml made"}, {"Rock.xml", "import", "Rock 2.xml kept"},
        {"Rock.xml", "third", "Rock 4.xml made"}, {"Rock", "x", "Rock made"}, {"Rock", "y", "Rock 2 made"}, {".hidden", "h", ".hidden made"}};
    for (const auto& c : cases) {
        const PlacedFile placed = PlaceFile(t.path, c.name, c.bytes);
        EXPECT_EQ(placed.file.filename().string() + (placed.created ? " made" : " kept") + contents(placed.file),
                  c.placed + std::string(c.bytes));
    }
    EXPECT_EQ(contents(t.path / "Rock.xml") + contents(t.path / "Rock 3.xml"), "editedimport");
    // A folder that cannot be written: nothing placed or replaced, errno given.
    SimulateReadOnlyFolder(t.path);
    const bool refused = PlaceFile(t.path, "New.xml", "x").error == EROFS && !WriteFileAtomically(t.path / "Rock.xml", "lost");
    SimulateReadOnlyFolder({});
    EXPECT_TRUE(refused && contents(t.path / "Rock.xml") == "edited" && !fs::exists(t.path / "New.xml"));
}

TEST(Folders, MadeWithEveryMissingParent)
{
    TempFolder t;
    const auto deep = t.path / "a" / "b" / "c";
    EXPECT_TRUE(MakeFolders(deep));
    EXPECT_TRUE(IsFolder(deep));
    EXPECT_TRUE(MakeFolders(deep));
    std::ofstream(t.path / "file") << "x";
    EXPECT_FALSE(IsFolder(t.path / "file"));
    EXPECT_FALSE(MakeFolders(t.path / "file" / "sub"));
}

TEST(Folders, FollowTheEnvironment)
{
    TempFolder t;
    ::setenv("XDG_DATA_HOME", t.path.c_str(), 1);
    ::setenv("XDG_CONFIG_DIRS", "/one:relative:/two", 1);
    EXPECT_EQ(SupportFolder(), t.path / "Quarrystone/TWR/");
    EXPECT_EQ(SharedConfigFolders(), (std::vector<fs::path>{"/one", "/two"}));
    ::setenv("XDG_DATA_HOME", "relative", 1);
    EXPECT_EQ(SupportFolder(), fs::path(std::getenv("HOME")) / ".local/share/Quarrystone/TWR/");
    ::setenv("TONEWRIGHT_SUPPORT_FOLDER", "/bench/support", 1);
    EXPECT_EQ(SupportFolder(), fs::path("/bench/support/"));
    ::setenv("TONEWRIGHT_SUPPORT_FOLDER", "relative", 1);
    EXPECT_EQ(SupportFolder(), fs::path(std::getenv("HOME")) / ".local/share/Quarrystone/TWR/");
    ::unsetenv("TONEWRIGHT_SUPPORT_FOLDER");
    ::unsetenv("XDG_DATA_HOME");
    ::unsetenv("XDG_CONFIG_DIRS");
}

TEST(Preferences, UserStoreFirstThenSharedAndWritesOnlyTheUserStore)
{
    TempFolder user, shared1, shared2;
    ::setenv("XDG_CONFIG_HOME", user.path.c_str(), 1);
    ::setenv("XDG_CONFIG_DIRS", (shared1.path.string() + ":" + shared2.path.string()).c_str(), 1);
    const std::string domain = "com.quarrystone.twr";
    EXPECT_FALSE(ReadPreference(domain, "MIDIMap"));
    std::ofstream(shared2.path / (domain + ".conf")) << "MIDIMap=shared\n";
    EXPECT_EQ(ReadPreference(domain, "MIDIMap"), "shared");
    ASSERT_TRUE(WritePreference(domain, "MIDIMap", "user"));
    ASSERT_TRUE(WritePreference(domain, "Other", "x=y"));
    EXPECT_EQ(ReadPreference(domain, "MIDIMap"), "user");
    EXPECT_EQ(ReadPreference(domain, "Other"), "x=y");
    EXPECT_EQ(contents(shared2.path / (domain + ".conf")), "MIDIMap=shared\n");
    // Nothing that would break the store's lines or escape its folder.
    EXPECT_FALSE(WritePreference(domain, "MIDIMap", "two\nlines"));
    EXPECT_FALSE(WritePreference("../escape", "MIDIMap", "v"));
    EXPECT_FALSE(WritePreference(domain, "a=b", "v"));
    EXPECT_EQ(ReadPreference(domain, "MIDIMap"), "user");
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("XDG_CONFIG_DIRS");
}

TEST(Preferences, WritersInManyThreadsKeepEachOthersKeysAndALockHeldTooLongIsReported)
{
    TempFolder user;
    ::setenv("XDG_CONFIG_HOME", user.path.c_str(), 1);
    const std::string domain = "com.quarrystone.twr";
    std::vector<std::thread> writers;
    for (int i = 0; i < 8; ++i)
        writers.emplace_back([&, i] {
            for (int round = 0; round < 20; ++round) EXPECT_TRUE(WritePreference(domain, "K" + std::to_string(i), std::to_string(round)));
        });
    for (auto& w : writers) w.join();
    for (int i = 0; i < 8; ++i) EXPECT_EQ(ReadPreference(domain, "K" + std::to_string(i)), "19") << i;
    auto update = [&](const char* value) {  // appended to what is stored now
        return UpdatePreference(domain, "K1", [value](const std::optional<std::string>& v) { return v.value_or("") + value; });
    };
    {
        const FileLock other(user.path / (domain + ".conf.lock"), std::chrono::milliseconds(0));
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(update("busy"), PreferenceWrite::busy);
        EXPECT_GE(std::chrono::steady_clock::now() - start, kPreferenceLockWait);
    }
    SimulateReadOnlyFolder(user.path);
    EXPECT_EQ(update("refused"), PreferenceWrite::failed);
    SimulateReadOnlyFolder({});
    EXPECT_EQ(update("+"), PreferenceWrite::written);
    EXPECT_EQ(ReadPreference(domain, "K1"), "19+");
    ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
