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

TEST(AtomicFile, WritesThroughLinksToTheFileTheyNameAndKeepTheLinks)
{
    TempFolder t;
    fs::create_directories(t.path / "music" / "sub");
    const auto real = t.path / "music" / "sub" / "Live.xml";
    std::ofstream(real) << "old";
    fs::create_directories(t.path / "Banks");
    fs::create_symlink(real, t.path / "Banks" / "Absolute.xml");
    fs::create_symlink("../music/sub/Live.xml", t.path / "Banks" / "Relative.xml");
    fs::create_symlink("Relative.xml", t.path / "Banks" / "Chain.xml");
    fs::create_symlink("Loop.xml", t.path / "Banks" / "Loop.xml");
    for (const char* link : {"Absolute.xml", "Relative.xml", "Chain.xml"}) {
        ASSERT_TRUE(WriteFileAtomically(t.path / "Banks" / link, link)) << link;
        EXPECT_TRUE(fs::is_symlink(t.path / "Banks" / link)) << link;
        EXPECT_EQ(contents(real), link);
    }
    EXPECT_EQ(entries(t.path / "Banks"), 4u);  // no temporaries left
    EXPECT_EQ(entries(t.path / "music" / "sub"), 1u);
    EXPECT_FALSE(WriteFileAtomically(t.path / "Banks" / "Loop.xml", "x"));
    EXPECT_TRUE(fs::is_symlink(t.path / "Banks" / "Loop.xml"));
}

TEST(AtomicFile, PlacedFilesNeverReplaceOthersAndReuseTheSameBytes)
{
    TempFolder t;
    std::ofstream(t.path / "Rock.xml") << "edited";
    std::ofstream(t.path / "Rock 3.xml") << "import";
    std::ofstream(t.path / "Cab") << "other";
    // In turn: name, bytes, where they went and whether a file was made for them.
    const struct { const char* name; const char* bytes; const char* placed; } cases[] = {
        {"Rock.xml", "edited", "Rock.xml kept"}, {"Rock.xml", "import", "Rock 2.xml made"},
        {"Rock.xml", "import", "Rock 2.xml kept"}, {"Rock.xml", "third", "Rock 4.xml made"},
        {"Rock.xml", "third", "Rock 4.xml kept"}, {"Cab", "mine", "Cab 2 made"},
        {"Closed 2x12.wav", "wav", "Closed 2x12.wav made"}, {".hidden", "h", ".hidden made"},
    };
    for (const auto& c : cases) {
        const PlacedFile placed = PlaceFile(t.path, c.name, c.bytes);
        EXPECT_EQ(placed.file.filename().string() + (placed.created ? " made" : " kept"), c.placed) << c.bytes;
        EXPECT_EQ(contents(placed.file), c.bytes);
    }
    EXPECT_EQ(contents(t.path / "Rock.xml") + contents(t.path / "Rock 3.xml") + contents(t.path / "Cab"), "editedimportother");
    // A folder that cannot be written: nothing placed, errno given.
    SimulateReadOnlyFolder(t.path);
    const PlacedFile refused = PlaceFile(t.path, "New.xml", "x");
    EXPECT_TRUE(refused.file.empty());
    EXPECT_EQ(refused.error, EROFS);
    EXPECT_FALSE(WriteFileAtomically(t.path / "Rock.xml", "lost"));
    SimulateReadOnlyFolder({});
    EXPECT_EQ(contents(t.path / "Rock.xml"), "edited");
    EXPECT_FALSE(fs::exists(t.path / "New.xml"));
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
            for (int round = 0; round < 20; ++round)
                EXPECT_TRUE(WritePreference(domain, "K" + std::to_string(i), std::to_string(round)));
        });
    for (auto& w : writers) w.join();
    for (int i = 0; i < 8; ++i) EXPECT_EQ(ReadPreference(domain, "K" + std::to_string(i)), "19") << i;
    // The change sees what is stored now.
    EXPECT_EQ(UpdatePreference(domain, "K0", [](const std::optional<std::string>& v) { return v.value_or("") + "+"; }),
              PreferenceWrite::written);
    EXPECT_EQ(ReadPreference(domain, "K0"), "19+");
    {
        const FileLock other(user.path / (domain + ".conf.lock"), std::chrono::milliseconds(0));
        ASSERT_EQ(other.state(), FileLock::State::held);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(UpdatePreference(domain, "K1", [](const auto&) { return "late"; }), PreferenceWrite::busy);
        EXPECT_GE(std::chrono::steady_clock::now() - start, kPreferenceLockWait);
    }
    SimulateReadOnlyFolder(user.path);
    EXPECT_EQ(UpdatePreference(domain, "K1", [](const auto&) { return "refused"; }), PreferenceWrite::failed);
    SimulateReadOnlyFolder({});
    EXPECT_EQ(ReadPreference(domain, "K1"), "19");
    EXPECT_TRUE(WritePreference(domain, "K1", "now"));
    ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
