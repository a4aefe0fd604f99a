// Files written whole or not at all, read only when they are regular files of
// a bounded size, folders made with their parents, and preferences read
// user-first from stores the environment points at.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "Promptly.h"
#include "system/AtomicFile.h"
#include "system/Diagnostics.h"
#include "system/Folders.h"
#include "system/Preferences.h"
#include "system/ReadableFile.h"

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

TEST(Diagnostics, EveryLineGoesToStandardErrorAndToTheInnermostRecordOfItsOwnThreadOnly)
{
    testing::internal::CaptureStderr();
    Complain("Quarrystone TWR:: before any record");
    std::vector<std::string> inner, outer;
    {
        const FailureRecord first;
        Complainf("Quarrystone TWR:: %s %d", "one", 1);
        {
            const FailureRecord second;
            Complain("Quarrystone TWR:: two");
            std::thread([] { Complain("Quarrystone TWR:: elsewhere"); }).join();
            inner = second.lines();
        }
        Complainf("Quarrystone TWR:: %s", std::string(3000, 'x').c_str());  // longer than any buffer
        outer = first.lines();
    }
    Complain("Quarrystone TWR:: after");
    EXPECT_EQ(inner, std::vector<std::string>{"Quarrystone TWR:: two"});
    ASSERT_EQ(outer.size(), 2u);
    EXPECT_EQ(outer[0], "Quarrystone TWR:: one 1");
    EXPECT_EQ(outer[1].size(), 3018u);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Quarrystone TWR:: before any record\nQuarrystone TWR:: one 1\n"
              "Quarrystone TWR:: two\nQuarrystone TWR:: elsewhere\n" + outer[1] + "\nQuarrystone TWR:: after\n");
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

TEST(ReadableFile, RefusesAtOnceWhatIsNotARegularFileOfItsSizeWithOneLineNamingIt)
{
    TempFolder t;
    ASSERT_TRUE(testkit::MakeFifo(t.path / "pipe"));
    ASSERT_TRUE(testkit::MakeSparseFile(t.path / "huge", 1025));
    fs::create_directory(t.path / "folder");
    struct Case {
        fs::path file;
        const char* why;
    };
    const Case cases[] = {
        {t.path / "pipe", "it is not a regular file"},
        {"/dev/zero", "it is not a regular file"},
        {t.path / "folder", "it is a folder"},
        {t.path / "huge", "it is larger than this reader takes"},
        {t.path / "missing", "it does not exist"},
        {t.path / "huge" / "below", "it does not exist"},
        {"", "no path was given"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.string());
        std::string bytes = "kept";
        bool read = true;
        testing::internal::CaptureStderr();
        EXPECT_TRUE(testkit::ReturnsPromptly([&] { read = ReadWholeFile(c.file, bytes, 1024, IfMissing::report); },
                                             {c.file}));
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(read);
        EXPECT_EQ(bytes, "kept");
        const std::string name = c.file.empty() ? "(no path)" : c.file.string();
        EXPECT_EQ(said, "Quarrystone TWR:: Cannot read " + name + ": " + c.why + ".\n");
        const ReadableFile file(c.file, 1024);
        EXPECT_FALSE(file.isOpen());
        EXPECT_STREQ(file.refusal(), c.why);
    }

    // A regular file within its size is read whole, and read at any offset
    // only where its bytes are; a missing one read quietly says nothing.
    std::ofstream(t.path / "plain") << "twelve bytes";
    std::string bytes;
    EXPECT_TRUE(ReadWholeFile(t.path / "plain", bytes, 12));
    EXPECT_EQ(bytes, "twelve bytes");
    const ReadableFile file(t.path / "plain", 12);
    char part[6] = {};
    ASSERT_TRUE(file.isOpen());
    EXPECT_EQ(file.size(), 12u);
    EXPECT_TRUE(file.read(7, part, 5));
    EXPECT_STREQ(part, "bytes");
    EXPECT_FALSE(file.read(8, part, 5));
    EXPECT_FALSE(file.read(13, part, 0));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(ReadWholeFile(t.path / "missing", bytes));
    EXPECT_FALSE(ReadWholeFile(t.path / "plain", bytes, 11));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Quarrystone TWR:: Cannot read " + (t.path / "plain").string() +
                                                          ": it is larger than this reader takes.\n");
    EXPECT_EQ(bytes, "twelve bytes");
}

TEST(Preferences, AUserStoreThatCannotBeReadIsNeitherWaitedForNorReplaced)
{
    TempFolder user, shared;
    ::setenv("XDG_CONFIG_HOME", user.path.c_str(), 1);
    ::setenv("XDG_CONFIG_DIRS", shared.path.c_str(), 1);
    const std::string domain = "com.quarrystone.twr";
    const fs::path store = user.path / (domain + ".conf");
    std::ofstream(shared.path / (domain + ".conf")) << "MIDIMap=shared\n";
    const std::function<bool()> makers[] = {[&] { return testkit::MakeFifo(store); },
                                            [&] { return testkit::MakeSparseFile(store, 2 << 20); },
                                            [&] { return fs::create_directory(store); }};
    for (const auto& make : makers) {
        fs::remove_all(store);
        ASSERT_TRUE(make());
        const auto before = fs::status(store);
        const auto size = fs::is_regular_file(before) ? fs::file_size(store) : 0;
        std::optional<std::string> value;
        bool written = true;
        testing::internal::CaptureStderr();
        EXPECT_TRUE(testkit::ReturnsPromptly([&] { value = ReadPreference(domain, "MIDIMap"); }, {store}));
        EXPECT_TRUE(testkit::ReturnsPromptly([&] { written = WritePreference(domain, "MIDIMap", "user"); }, {store}));
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(value, "shared");
        EXPECT_FALSE(written);
        EXPECT_EQ(fs::status(store).type(), before.type());
        if (size) {
            EXPECT_EQ(fs::file_size(store), size);
        }
        EXPECT_NE(said.find("Quarrystone TWR:: Cannot read " + store.string() + ": "), std::string::npos) << said;
    }
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("XDG_CONFIG_DIRS");
}

}  // namespace
