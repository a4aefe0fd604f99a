// File dialogs as other processes: stand-ins for zenity and kdialog on PATH
// record the argument vector they get and answer as the real ones do, so
// the exact words, the answer, the polling while the dialog runs, cancels,
// nonsense answers, the choice between the two and the lack of both are
// seen; then the scripted stand-in the editor tests use.

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "system/FileDialog.h"

using namespace tonewright::system;
namespace fs = std::filesystem;

namespace {

class FakeDialogs {
public:
    FakeDialogs()
    {
        std::string name = (fs::temp_directory_path() / "twr-dialog-XXXXXX").string();
        folder = ::mkdtemp(name.data());
        oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
        oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
        ::setenv("PATH", (folder / "bin").c_str(), 1);
        ::setenv("HOME", "/home/player", 1);
        fs::create_directories(folder / "bin");
    }
    ~FakeDialogs()
    {
        ::setenv("PATH", oldPath.c_str(), 1);
        ::setenv("HOME", oldHome.c_str(), 1);
        fs::remove_all(folder);
    }
    // A program that writes its arguments (one a line) and its pid, waits,
    // prints `answer` and exits with `code`.
    void program(const char* name, const std::string& answer, int code, double wait = 0.0)
    {
        const fs::path path = folder / "bin" / name;
        std::ofstream script(path);
        script << "#!/bin/sh\necho $$ > '" << (folder / "pid").string() << "'\n"
               << "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" << (folder / "argv").string() << "'\n"
               << "/bin/sleep " << wait << "\nprintf '%s' '" << answer << "'\nexit " << code << "\n";
        script.close();
        fs::permissions(path, fs::perms::owner_all);
    }
    std::string argv() const { return read(folder / "argv"); }
    pid_t pid() const { return static_cast<pid_t>(std::atoi(read(folder / "pid").c_str())); }

    fs::path folder;

private:
    static std::string read(const fs::path& file)
    {
        std::ifstream in(file);
        std::string all, line;
        while (std::getline(in, line)) all += line + "\n";
        return all;
    }
    std::string oldPath, oldHome;
};

// Processes of the group that are not zombies.
int livingInGroup(pid_t group)
{
    int living = 0;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        std::ifstream in(entry.path() / "stat");
        std::string line;
        if (!std::getline(in, line)) continue;
        // pid (comm) state ppid pgrp ...: after the last ')'.
        const size_t close = line.rfind(')');
        if (close == std::string::npos) continue;
        char state = 0;
        int parent = 0, pgrp = 0;
        if (std::sscanf(line.c_str() + close + 1, " %c %d %d", &state, &parent, &pgrp) == 3 && pgrp == group &&
            state != 'Z')
            ++living;
    }
    return living;
}

// Polls until the dialog is no longer running (at most 5 s); counts polls.
FileDialogState waitFor(FileDialog& dialog, std::string& path, int* runningPolls = nullptr)
{
    const auto give = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int running = 0;
    FileDialogState state = FileDialogState::running;
    while ((state = dialog.Poll(path)) == FileDialogState::running && std::chrono::steady_clock::now() < give) {
        ++running;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (runningPolls) *runningPolls = running;
    return state;
}

FileDialogRequest request(FileDialogKind kind, const char* title, const char* start,
                          std::vector<std::string> extensions)
{
    FileDialogRequest r;
    r.kind = kind;
    r.title = title;
    r.start = start;
    r.extensions = std::move(extensions);
    return r;
}

}  // namespace

TEST(FileDialog, ZenityIsAskedWithAnArgumentVectorAndAnswersWhileTheCallerGoesOn)
{
    FakeDialogs fake;
    fake.program("zenity", "/home/player/Desktop/My Lead;$(x).xml\n", 0, 0.3);
    fake.program("kdialog", "/never", 0);
    auto dialog = MakeProgramFileDialog();
    ASSERT_TRUE(dialog->Start(request(FileDialogKind::open, "Import Preset", "~/Desktop", {"xml"})));
    std::string path = "untouched";
    int running = 0;
    EXPECT_EQ(waitFor(*dialog, path, &running), FileDialogState::chosen);
    // The caller polled on while the dialog waited (0.3 s of 10 ms polls).
    EXPECT_GE(running, 10);
    EXPECT_EQ(path, "/home/player/Desktop/My Lead;$(x).xml");
    EXPECT_EQ(fake.argv(), "--file-selection\n--title=Import Preset\n--filename=/home/player/Desktop/\n"
                           "--file-filter=xml files | *.xml *.XML\n");

    // A save dialog proposes its file; the audio types in both cases.
    fake.program("zenity", "/tmp/x.wav", 0);
    ASSERT_TRUE(dialog->Start(request(FileDialogKind::save, "Export Bank", "~/Desktop/Bank.xml", {"wav", "aif"})));
    EXPECT_EQ(waitFor(*dialog, path), FileDialogState::chosen);
    EXPECT_EQ(fake.argv(), "--file-selection\n--title=Export Bank\n--save\n--confirm-overwrite\n"
                           "--filename=/home/player/Desktop/Bank.xml\n--file-filter=wav, aif files | *.wav *.WAV *.aif *.AIF\n");
}

TEST(FileDialog, CancelsFailuresAndAnswersThatCannotBeTakenLeaveThePathAlone)
{
    FakeDialogs fake;
    const std::string tooLong = "/" + std::string(kMaxDialogPath, 'a');
    const struct {
        std::string answer;
        int code;
    } cases[] = {
        {"", 1},                          // cancelled
        {"/home/player/a.xml", 1},        // an answer with a failing status
        {"", 0},                          // nothing chosen
        {tooLong, 0},                     // longer than a path may be
        {"relative.xml", 0},              // not a path of a file
        {"/a.xml\n/b.xml", 0},            // two files
    };
    for (const auto& c : cases) {
        fake.program("zenity", c.answer, c.code);
        auto dialog = MakeProgramFileDialog();
        ASSERT_TRUE(dialog->Start(request(FileDialogKind::open, "Load Bank", "~/Desktop", {"xml"})));
        std::string path = "untouched";
        EXPECT_EQ(waitFor(*dialog, path), FileDialogState::cancelled) << c.answer;
        EXPECT_EQ(path, "untouched");
    }
    // The longest path that is taken.
    const std::string longest = "/" + std::string(kMaxDialogPath - 1, 'b');
    fake.program("zenity", longest, 0);
    auto dialog = MakeProgramFileDialog();
    ASSERT_TRUE(dialog->Start(request(FileDialogKind::open, "Load Bank", "/", {"xml"})));
    std::string path;
    EXPECT_EQ(waitFor(*dialog, path), FileDialogState::chosen);
    EXPECT_EQ(path, longest);
}

TEST(FileDialog, KdialogWhenThereIsNoZenityAndNothingWhenThereIsNeither)
{
    FakeDialogs fake;
    fake.program("kdialog", "/home/player/Desktop/cab.wav\n", 0);
    auto dialog = MakeProgramFileDialog();
    ASSERT_TRUE(dialog->Start(request(FileDialogKind::open, "Load Impulse", "~/Desktop", {"wav", "aif", "aiff"})));
    std::string path;
    EXPECT_EQ(waitFor(*dialog, path), FileDialogState::chosen);
    EXPECT_EQ(path, "/home/player/Desktop/cab.wav");
    EXPECT_EQ(fake.argv(), "--title\nLoad Impulse\n--getopenfilename\n/home/player/Desktop/\n"
                           "*.wav *.WAV *.aif *.AIF *.aiff *.AIFF|wav, aif, aiff files\n");

    fs::remove(fake.folder / "bin" / "kdialog");
    auto none = MakeProgramFileDialog();
    EXPECT_FALSE(none->Start(request(FileDialogKind::open, "Load Impulse", "~/Desktop", {"wav"})));
    path = "untouched";
    EXPECT_EQ(none->Poll(path), FileDialogState::cancelled);
    EXPECT_EQ(path, "untouched");
}

TEST(FileDialog, CancellingAShownDialogEndsItsProcess)
{
    FakeDialogs fake;
    fake.program("zenity", "/late.xml", 0, 30);
    auto dialog = MakeProgramFileDialog();
    ASSERT_TRUE(dialog->Start(request(FileDialogKind::open, "Import Bank", "~/Desktop", {"xml"})));
    std::string path;
    for (int i = 0; i < 100 && fake.pid() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const pid_t pid = fake.pid();
    ASSERT_GT(pid, 0);
    EXPECT_EQ(dialog->Poll(path), FileDialogState::running);
    const auto start = std::chrono::steady_clock::now();
    dialog->Cancel();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_NE(::kill(pid, 0), 0);   // gone and reaped
    // And so is what it started (left at most as a zombie of its adopter).
    for (int i = 0; i < 100 && livingInGroup(pid) > 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(livingInGroup(pid), 0);
    EXPECT_EQ(dialog->Poll(path), FileDialogState::cancelled);
    // The destructor of a running dialog does the same.
    {
        auto other = MakeProgramFileDialog();
        ASSERT_TRUE(other->Start(request(FileDialogKind::open, "Import Bank", "~/Desktop", {"xml"})));
    }
}

TEST(FileDialog, TheScriptedStandInAnswersInTurnAfterItsPolls)
{
    ScriptedFileDialogs script;
    script.Choose("/a.xml", 2);
    script.CancelNext();
    auto first = MakeFileDialog();
    ASSERT_TRUE(first->Start(request(FileDialogKind::save, "Export Bank", "~/Desktop/Bank.xml", {"xml"})));
    std::string path;
    EXPECT_EQ(first->Poll(path), FileDialogState::running);
    EXPECT_EQ(first->Poll(path), FileDialogState::running);
    EXPECT_EQ(first->Poll(path), FileDialogState::chosen);
    EXPECT_EQ(path, "/a.xml");
    auto second = MakeFileDialog();
    ASSERT_TRUE(second->Start(request(FileDialogKind::open, "Import Bank", "~/Desktop", {"xml"})));
    EXPECT_EQ(second->Poll(path), FileDialogState::cancelled);
    // Nothing left to answer: as with no dialog program.
    EXPECT_FALSE(MakeFileDialog()->Start(request(FileDialogKind::open, "Load Bank", "~/Desktop", {"xml"})));
    const auto asked = script.Requests();
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[0].title, "Export Bank");
    EXPECT_EQ(asked[2].title, "Load Bank");
    EXPECT_EQ(ExpandHome("~/Desktop"), std::string(std::getenv("HOME")) + "/Desktop");
    EXPECT_EQ(ExpandHome("~user/x"), "~user/x");
}
