// File dialogs as other processes: stand-ins for zenity and kdialog on PATH
// record the argument vector they get and answer as the real ones do; then
// the scripted stand-in the editor tests use.

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "system/FileDialog.h"

using namespace tonewright::system;
namespace fs = std::filesystem;

namespace {

// PATH holds only the stand-ins made here, HOME is /home/player.
class FakeDialogs {
public:
    FakeDialogs()
    {
        std::string name = (fs::temp_directory_path() / "twr-dialog-XXXXXX").string();
        folder = ::mkdtemp(name.data());
        fs::create_directories(folder / "bin");
        ::setenv("PATH", (folder / "bin").c_str(), 1);
        ::setenv("HOME", "/home/player", 1);
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
        std::ofstream(folder / "bin" / name) << "#!/bin/sh\necho $$ > '" << (folder / "pid").string() << "'\n"
                                             << "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" << (folder / "argv").string()
                                             << "'\n/bin/sleep " << wait << "\nprintf '%s' '" << answer << "'\nexit " << code << "\n";
        fs::permissions(folder / "bin" / name, fs::perms::owner_all);
    }
    std::string argv() const { return read("argv"); }
    pid_t pid() const { return static_cast<pid_t>(std::atoi(read("pid").c_str())); }

    fs::path folder;

private:
    std::string read(const char* file) const
    {
        std::ostringstream all;
        all << std::ifstream(folder / file).rdbuf();
        return all.str();
    }
    std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "", oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
};

// Processes of the group that are not zombies.
int livingInGroup(pid_t group)
{
    int living = 0;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        std::ifstream in(entry.path() / "stat");
        std::string line;
        char state = 0;
        int parent = 0, pgrp = 0;
        // pid (comm) state ppid pgrp ...: after the last ')'.
        if (std::getline(in, line) && line.rfind(')') != std::string::npos &&
            std::sscanf(line.c_str() + line.rfind(')') + 1, " %c %d %d", &state, &parent, &pgrp) == 3)
            living += pgrp == group && state != 'Z';
    }
    return living;
}

// Polls every 10 ms until the dialog is no longer running (at most 5 s).
FileDialogState waitFor(FileDialog& dialog, std::string& path, int* runningPolls = nullptr)
{
    const auto give = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int running = 0;
    FileDialogState state = FileDialogState::running;
    for (; (state = dialog.Poll(path)) == FileDialogState::running && std::chrono::steady_clock::now() < give; ++running)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (runningPolls) *runningPolls = running;
    return state;
}

FileDialogRequest request(FileDialogKind kind, const char* title, const char* start, std::vector<std::string> extensions)
{
    return FileDialogRequest{kind, title, start, std::move(extensions)};
}

}  // namespace

TEST(FileDialog, ZenityThenKdialogAskedWithAnArgumentVectorWhileTheCallerGoesOn)
{
    const struct {
        const char* program;  // zenity rows have kdialog beside them
        FileDialogRequest request;
        std::string answer, argv;
    } cases[] = {
        {"zenity", request(FileDialogKind::open, "Import Preset", "~/Desktop", {"xml"}), "/home/player/Desktop/My Lead;$(x).xml",
         "--file-selection\n--title=Import Preset\n--filename=/home/player/Desktop/\n--file-filter=xml files | *.xml *.XML\n"},
        {"zenity", request(FileDialogKind::save, "Export Bank", "~/Desktop/Bank.xml", {"wav", "aif"}), "/tmp/x.wav",
         "--file-selection\n--title=Export Bank\n--save\n--confirm-overwrite\n--filename=/home/player/Desktop/Bank.xml\n"
         "--file-filter=wav, aif files | *.wav *.WAV *.aif *.AIF\n"},
        {"kdialog", request(FileDialogKind::open, "Load Impulse", "~/Desktop", {"wav", "aif", "aiff"}), "/home/player/Desktop/cab.wav",
         "--title\nLoad Impulse\n--getopenfilename\n/home/player/Desktop/\n*.wav *.WAV *.aif *.AIF *.aiff *.AIFF|wav, aif, aiff files\n"},
    };
    for (const auto& c : cases) {
        FakeDialogs fake;
        if (c.program == std::string("zenity")) fake.program("kdialog", "/never", 0);
        fake.program(c.program, c.answer + "\n", 0, 0.3);
        auto dialog = MakeProgramFileDialog();
        ASSERT_TRUE(dialog->Start(c.request));
        std::string path = "untouched";
        int running = 0;
        EXPECT_EQ(waitFor(*dialog, path, &running), FileDialogState::chosen);
        EXPECT_GE(running, 10);  // polled on while the dialog waited 0.3 s
        EXPECT_EQ(path, c.answer);
        EXPECT_EQ(fake.argv(), c.argv);
    }
    // Neither: Start fails and nothing is chosen.
    FakeDialogs none;
    auto dialog = MakeProgramFileDialog();
    EXPECT_FALSE(dialog->Start(request(FileDialogKind::open, "Load Impulse", "~/Desktop", {"wav"})));
    std::string path = "untouched";
    EXPECT_EQ(dialog->Poll(path), FileDialogState::cancelled);
    EXPECT_EQ(path, "untouched");
}

TEST(FileDialog, CancelsFailuresAndAnswersThatCannotBeTakenLeaveThePathAlone)
{
    FakeDialogs fake;
    const std::string longest = "/" + std::string(kMaxDialogPath - 1, 'b');
    const struct {
        std::string answer;
        int code;
        FileDialogState state;
    } cases[] = {
        {"", 1, FileDialogState::cancelled},                                        // cancelled
        {"/home/player/a.xml", 1, FileDialogState::cancelled},                      // a failing status
        {"", 0, FileDialogState::cancelled},                                        // nothing chosen
        {"/" + std::string(kMaxDialogPath, 'a'), 0, FileDialogState::cancelled},  // longer than a path may be
        {"relative.xml", 0, FileDialogState::cancelled},                            // not a path of a file
        {"/a.xml\n/b.xml", 0, FileDialogState::cancelled},                          // two files
        {longest, 0, FileDialogState::chosen},                                      // the longest taken
    };
    for (const auto& c : cases) {
        fake.program("zenity", c.answer, c.code);
        auto dialog = MakeProgramFileDialog();
        ASSERT_TRUE(dialog->Start(request(FileDialogKind::open, "Load Bank", "~/Desktop", {"xml"})));
        std::string path = "untouched";
        EXPECT_EQ(waitFor(*dialog, path), c.state) << c.answer;
        EXPECT_EQ(path, c.state == FileDialogState::chosen ? c.answer : "untouched");
    }
}

TEST(FileDialog, CancellingAShownDialogEndsItsProcessAndWhatItStarted)
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
    EXPECT_NE(::kill(pid, 0), 0);  // gone and reaped; its sleep at most a zombie of its adopter
    for (int i = 0; i < 100 && livingInGroup(pid) > 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(livingInGroup(pid), 0);
    EXPECT_EQ(dialog->Poll(path), FileDialogState::cancelled);
    // The destructor of a running dialog does the same.
    ASSERT_TRUE(MakeProgramFileDialog()->Start(request(FileDialogKind::open, "Import Bank", "~/Desktop", {"xml"})));
}

TEST(FileDialog, TheScriptedStandInAnswersInTurnAfterItsPolls)
{
    ScriptedFileDialogs script;
    script.Choose("/a.xml", 2);
    script.CancelNext();
    auto first = MakeFileDialog(), second = MakeFileDialog();
    ASSERT_TRUE(first->Start(request(FileDialogKind::save, "Export Bank", "~/Desktop/Bank.xml", {"xml"})));
    std::string path;
    for (FileDialogState state : {FileDialogState::running, FileDialogState::running, FileDialogState::chosen})
        EXPECT_EQ(first->Poll(path), state);
    EXPECT_EQ(path, "/a.xml");
    ASSERT_TRUE(second->Start(request(FileDialogKind::open, "Import Bank", "~/Desktop", {"xml"})));
    EXPECT_EQ(second->Poll(path), FileDialogState::cancelled);
    // Nothing left to answer: as with no dialog program.
    EXPECT_FALSE(MakeFileDialog()->Start(request(FileDialogKind::open, "Load Bank", "~/Desktop", {"xml"})));
    const auto asked = script.Requests();
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[0].title + asked[2].title, "Export BankLoad Bank");
    EXPECT_EQ(ExpandHome("~/Desktop"), std::string(std::getenv("HOME")) + "/Desktop");
    EXPECT_EQ(ExpandHome("~user/x"), "~user/x");
}
