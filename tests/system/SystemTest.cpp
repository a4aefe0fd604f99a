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

}  // namespace
