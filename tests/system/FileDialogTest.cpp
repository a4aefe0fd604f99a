// File dialogs as other processes: stand-ins for zenity and kdialog on PATH record the argument vector they
// get and answer as the real ones do.

#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "system/FileDialog.h"

using namespace tonewright::system;
namespace fs = std::filesystem;
using State = FileDialogState;

namespace {

// PATH holds only the stand-ins made here; HOME is /home/player.
struct FakeDialogs {
    std::string pattern = (fs::temp_directory_path() / "twr-dialog-XXXXXX").string();
    const fs::path folder = ::mkdtemp(pattern.data());
    const std::string oldPath = std::getenv("PATH"), oldHome = std::getenv("HOME") ? std::getenv("HOME") : "/";

    FakeDialogs()
    {
        fs::create_directories(folder / "bin");
        ::setenv("PATH", (folder / "bin").c_str(), 1), ::setenv("HOME", "/home/player", 1);
    }
    ~FakeDialogs() { ::setenv("PATH", oldPath.c_str(), 1), ::setenv("HOME", oldHome.c_str(), 1), fs::remove_all(folder); }
    // Writes its arguments (one a line) and its pid, waits, prints `answer`, exits with `code`.
    void program(const char* name, const std::string& answer, int code, double wait = 0.0)
    {
        std::ofstream(folder / "bin" / name) << "#!/bin/sh\necho $$ > '" << (folder / "pid").string()
                                             << "'\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" << (folder / "argv").string()
                                             << "'\n/bin/sleep " << wait << "\nprintf '%s' '" << answer << "'\nexit " << code << "\n";
        fs::permissions(folder / "bin" / name, fs::perms::owner_all);
    }
    std::string read(const char* file) const { std::ostringstream all; all << std::ifstream(folder / file).rdbuf(); return all.str(); }
};

// Processes of the group that are not zombies ("pid (comm) state ppid pgrp" in /proc/N/stat).
int livingInGroup(pid_t group)
{
    int living = 0, parent = 0, pgrp = 0;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        std::ifstream in(entry.path() / "stat");
        std::string line;
        char state = 0;
        if (std::getline(in, line) && line.rfind(')') != std::string::npos &&
            std::sscanf(line.c_str() + line.rfind(')') + 1, " %c %d %d", &state, &parent, &pgrp) == 3)
            living += pgrp == group && state != 'Z';
    }
    return living;
}

// Polls every 10 ms until the dialog is no longer running (at most 5 s).
State waitFor(FileDialog& dialog, std::string& path, int* running)
{
    const auto give = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    State state = State::running;
    for (*running = 0; (state = dialog.Poll(path)) == State::running && std::chrono::steady_clock::now() < give; ++*running)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return state;
}

const FileDialogRequest kLoadBank{FileDialogKind::open, "Load Bank", "~/Desktop", {"xml"}};

}  // namespace

TEST(FileDialog, ZenityThenKdialogAskedWithAnArgumentVectorWhileTheCallerGoesOnAndOnlyOnePathTaken)
{
    const std::string longest = "/" + std::string(kMaxDialogPath - 1, 'b');
    const struct { const char* program; FileDialogRequest request; std::string answer; int code; bool taken; std::string argv; } cases[] = {
        {"zenity", {FileDialogKind::open, "Import Preset", "~/Desktop", {"xml"}}, "/home/player/Desktop/My Lead;$(x).xml", 0, true,
         "--file-selection\n--title=Import Preset\n--filename=/home/player/Desktop/\n--file-filter=xml files | *.xml *.XML\n"},
        {"zenity", {FileDialogKind::save, "Export Bank", "~/Desktop/Bank.xml", {"wav", "aif"}}, "/tmp/x.wav", 0, true,
         "--file-selection\n--title=Export Bank\n--save\n--confirm-overwrite\n--filename=/home/player/Desktop/Bank.xml\n"
         "--file-filter=wav, aif files | *.wav *.WAV *.aif *.AIF\n"},
        {"kdialog", {FileDialogKind::open, "Load Impulse", "~/Desktop", {"wav", "aif", "aiff"}}, "/home/player/Desktop/cab.wav", 0, true,
         "--title\nLoad Impulse\n--getopenfilename\n/home/player/Desktop/\n*.wav *.WAV *.aif *.AIF *.aiff *.AIFF|wav, aif, aiff files\n"},
        // Cancelled, failed, nothing, too long, relative, two files: the path is left alone. The longest is taken.
        {"zenity", kLoadBank, "", 1, false, ""}, {"zenity", kLoadBank, "/home/player/a.xml", 1, false, ""},
        {"zenity", kLoadBank, "", 0, false, ""}, {"zenity", kLoadBank, longest + "b", 0, false, ""},
        {"zenity", kLoadBank, "relative.xml", 0, false, ""}, {"zenity", kLoadBank, "/a.xml\n/b.xml", 0, false, ""},
        {"zenity", kLoadBank, longest, 0, true, ""},
    };
    for (const auto& c : cases) {
        FakeDialogs fake;
        if (c.program == std::string("zenity")) fake.program("kdialog", "/never", 0);  // zenity first
        fake.program(c.program, c.answer + "\n", c.code, c.argv.empty() ? 0.0 : 0.3);
        auto dialog = MakeProgramFileDialog();
        ASSERT_TRUE(dialog->Start(c.request));
        std::string path = "untouched";
        int running = 0;
        EXPECT_EQ(waitFor(*dialog, path, &running), c.taken ? State::chosen : State::cancelled) << c.answer;
        EXPECT_EQ(path, c.taken ? c.answer : "untouched");
        if (c.argv.empty()) continue;
        EXPECT_GE(running, 10);  // polled on while the dialog waited 0.3 s
        EXPECT_EQ(fake.read("argv"), c.argv);
    }
    FakeDialogs none;  // neither program: nothing starts, nothing is chosen
    auto dialog = MakeProgramFileDialog();
    EXPECT_FALSE(dialog->Start(kLoadBank));
    std::string path = "untouched";
    EXPECT_EQ(dialog->Poll(path), State::cancelled);
    EXPECT_EQ(path, "untouched");
    EXPECT_EQ(ExpandHome("~/Desktop") + ExpandHome("~user/x"), "/home/player/Desktop~user/x");
}

TEST(FileDialog, QuestionsAskZenityOrKdialogAndOnlyAYesIsChosen)
{
    const FileDialogRequest ask{FileDialogKind::question, "Unsaved Bank", "", {}, "Load <Rock> & lose it?"};
    const struct { const char* program; int code; std::string argv; } cases[] = {
        {"zenity", 0, "--question\n--title=Unsaved Bank\n--text=Load <Rock> & lose it?\n--no-markup\n"}, {"zenity", 1, ""},
        {"kdialog", 0, "--title\nUnsaved Bank\n--yesno\nLoad <Rock> & lose it?\n"}, {"kdialog", 1, ""}};
    for (const auto& c : cases) {
        FakeDialogs fake;
        fake.program(c.program, "", c.code);
        auto dialog = MakeProgramFileDialog();
        ASSERT_TRUE(dialog->Start(ask));
        std::string path = "untouched";
        int running = 0;
        EXPECT_EQ(waitFor(*dialog, path, &running), c.code == 0 ? State::chosen : State::cancelled) << c.program << c.code;
        EXPECT_EQ(path + (c.argv.empty() ? "" : fake.read("argv")), "untouched" + c.argv);
    }
    ScriptedFileDialogs scripted;  // the stand-in: a yes is chosen, a cancel is a no, a yes is no file
    scripted.Confirm(), scripted.CancelNext(), scripted.Confirm();
    for (const auto& [request, expected] : {std::pair{ask, State::chosen}, {ask, State::cancelled}, {kLoadBank, State::cancelled}}) {
        auto dialog = MakeFileDialog();
        std::string path = "untouched";
        EXPECT_TRUE(dialog->Start(request) && dialog->Poll(path) == expected && path == "untouched");
    }
}

TEST(FileDialog, CancellingAShownDialogEndsItsProcessAndWhatItStarted)
{
    FakeDialogs fake;
    fake.program("zenity", "/late.xml", 0, 30);
    auto dialog = MakeProgramFileDialog();
    ASSERT_TRUE(dialog->Start(kLoadBank));
    for (int i = 0; i < 100 && fake.read("pid").empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const pid_t pid = std::atoi(fake.read("pid").c_str());
    ASSERT_GT(pid, 0);
    std::string path;
    EXPECT_EQ(dialog->Poll(path), State::running);
    const auto start = std::chrono::steady_clock::now();
    dialog->Cancel();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_NE(::kill(pid, 0), 0);  // gone and reaped; its sleep at most a zombie of its adopter
    for (int i = 0; i < 100 && livingInGroup(pid) > 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(livingInGroup(pid), 0);
    EXPECT_EQ(dialog->Poll(path), State::cancelled);
    ASSERT_TRUE(MakeProgramFileDialog()->Start(kLoadBank));  // its destructor does the same
}
