#include "system/FileDialog.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace tonewright::system {

namespace {

// The output a dialog program may give before it counts as nonsense.
constexpr size_t kMaxOutput = 4 * (kMaxDialogPath + 1);

std::string findOnPath(const char* program)
{
    const char* list = std::getenv("PATH");
    const std::string path = list && *list ? list : "/usr/local/bin:/usr/bin:/bin";
    for (size_t begin = 0; begin <= path.size();) {
        size_t end = path.find(':', begin);
        if (end == std::string::npos) end = path.size();
        const std::string folder = path.substr(begin, end - begin);
        begin = end + 1;
        // A relative entry would make the answer depend on the host's
        // working folder: not searched.
        if (folder.empty() || folder[0] != '/') continue;
        const std::string candidate = folder + "/" + program;
        struct stat st;
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

// "*.xml *.XML" for the extensions, each in its own case and in capitals.
std::string patterns(const std::vector<std::string>& extensions)
{
    std::string out;
    for (const std::string& e : extensions) {
        std::string upper = e;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        out += (out.empty() ? "*." : " *.") + e;
        if (upper != e) out += " *." + upper;
    }
    return out;
}

std::string label(const std::vector<std::string>& extensions)
{
    std::string out;
    for (const std::string& e : extensions) out += (out.empty() ? "" : ", ") + e;
    return out + " files";
}

// An open dialog starts inside the folder (zenity wants its final slash).
std::string startText(const FileDialogRequest& r)
{
    std::string start = ExpandHome(r.start);
    if (r.kind == FileDialogKind::open && !start.empty() && start.back() != '/') start += '/';
    return start;
}

std::vector<std::string> zenityArguments(const FileDialogRequest& r)
{
    if (r.kind == FileDialogKind::question) return {"zenity", "--question", "--title=" + r.title, "--text=" + r.text, "--no-markup"};
    std::vector<std::string> args = {"zenity", "--file-selection", "--title=" + r.title};
    if (r.kind == FileDialogKind::save) {
        args.emplace_back("--save");
        args.emplace_back("--confirm-overwrite");
    }
    if (const std::string start = startText(r); !start.empty()) args.push_back("--filename=" + start);
    if (!r.extensions.empty()) args.push_back("--file-filter=" + label(r.extensions) + " | " + patterns(r.extensions));
    return args;
}

std::vector<std::string> kdialogArguments(const FileDialogRequest& r)
{
    if (r.kind == FileDialogKind::question) return {"kdialog", "--title", r.title, "--yesno", r.text};
    std::vector<std::string> args = {"kdialog", "--title", r.title};
    args.emplace_back(r.kind == FileDialogKind::save ? "--getsavefilename" : "--getopenfilename");
    args.push_back(startText(r));
    if (!r.extensions.empty()) args.push_back(patterns(r.extensions) + "|" + label(r.extensions));
    return args;
}

class ProgramFileDialog final : public FileDialog {
public:
    ~ProgramFileDialog() override { Cancel(); }

    bool Start(const FileDialogRequest& request) override
    {
        if (child > 0) return false;
        std::vector<std::string> args;
        std::string program = findOnPath("zenity");
        if (!program.empty()) {
            args = zenityArguments(request);
        } else if (!(program = findOnPath("kdialog")).empty()) {
            args = kdialogArguments(request);
        } else {
            return false;
        }
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);

        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return false;
        posix_spawn_file_actions_t actions;
        posix_spawnattr_t attributes;
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        // The host's blocked and ignored signals are not the dialog's.
        sigset_t none, defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        for (int s : {SIGPIPE, SIGCHLD, SIGINT, SIGTERM, SIGHUP}) sigaddset(&defaults, s);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        // A group of its own, so that a cancel ends whatever it started.
        posix_spawnattr_setpgroup(&attributes, 0);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
        pid_t pid = 0;
        const int failed = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        ::close(fds[1]);
        if (failed != 0) {
            ::close(fds[0]);
            return false;
        }
        child = pid;
        question = request.kind == FileDialogKind::question;
        output.clear();
        tooLong = false;
        ::fcntl(fds[0], F_SETFL, ::fcntl(fds[0], F_GETFL) | O_NONBLOCK);
        reader = fds[0];
        return true;
    }

    FileDialogState Poll(std::string& path) override
    {
        if (child <= 0) return FileDialogState::cancelled;
        if (reader >= 0 && !drain()) return FileDialogState::running;
        int status = 0;
        const pid_t reaped = ::waitpid(child, &status, WNOHANG);
        if (reaped == 0) return FileDialogState::running;  // output closed, not gone yet
        // A host that reaps its children itself leaves no status: the output
        // alone tells.
        const bool succeeded = reaped < 0 || (WIFEXITED(status) && WEXITSTATUS(status) == 0);
        child = 0;
        if (question) return succeeded ? FileDialogState::chosen : FileDialogState::cancelled;
        std::string answer = output;
        if (!answer.empty() && answer.back() == '\n') answer.pop_back();
        if (!succeeded || tooLong || answer.empty() || answer.size() > kMaxDialogPath || answer[0] != '/' ||
            answer.find('\n') != std::string::npos || answer.find('\0') != std::string::npos)
            return FileDialogState::cancelled;
        path = answer;
        return FileDialogState::chosen;
    }

    void Cancel() override
    {
        if (reader >= 0) ::close(reader);
        reader = -1;
        if (child <= 0) return;
        ::kill(-child, SIGTERM);
        int status = 0;
        const auto give = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while (::waitpid(child, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > give) {
                ::kill(-child, SIGKILL);
                while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
                }
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        child = 0;
    }

private:
    // Reads what the program wrote so far; true once its output has ended.
    bool drain()
    {
        char buffer[1024];
        for (;;) {
            const ssize_t n = ::read(reader, buffer, sizeof buffer);
            if (n > 0) {
                if (output.size() + size_t(n) > kMaxOutput)
                    tooLong = true;
                else
                    output.append(buffer, size_t(n));
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return false;
            ::close(reader);
            reader = -1;
            return true;
        }
    }

    pid_t child = 0;
    int reader = -1;
    std::string output;
    bool tooLong = false;
    bool question = false;
};

struct FactorySlot {
    std::mutex mutex;
    FileDialogFactory factory;
};

FactorySlot& factorySlot()
{
    static FactorySlot slot;
    return slot;
}

}  // namespace

std::unique_ptr<FileDialog> MakeProgramFileDialog() { return std::make_unique<ProgramFileDialog>(); }

void SetFileDialogFactory(FileDialogFactory factory)
{
    FactorySlot& slot = factorySlot();
    std::lock_guard<std::mutex> lock(slot.mutex);
    slot.factory = std::move(factory);
}

std::unique_ptr<FileDialog> MakeFileDialog()
{
    FileDialogFactory factory;
    {
        FactorySlot& slot = factorySlot();
        std::lock_guard<std::mutex> lock(slot.mutex);
        factory = slot.factory;
    }
    return factory ? factory() : MakeProgramFileDialog();
}

std::string ExpandHome(const std::string& path)
{
    if (path.empty() || path[0] != '~' || (path.size() > 1 && path[1] != '/')) return path;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + path.substr(1);
}

// ---- the scripted stand-in ----

class ScriptedFileDialogs::Dialog final : public FileDialog {
public:
    explicit Dialog(std::shared_ptr<Shared> script) : shared(std::move(script)) {}

    bool Start(const FileDialogRequest& request) override
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->requests.push_back(request);
        if (running || shared->answers.empty()) return false;
        answer = shared->answers.front();
        shared->answers.pop_front();
        running = true;
        question = request.kind == FileDialogKind::question;
        return true;
    }

    FileDialogState Poll(std::string& path) override
    {
        if (!running) return FileDialogState::cancelled;
        if (answer.polls-- > 0) return FileDialogState::running;
        running = false;
        if (!answer.path || answer.path->size() > kMaxDialogPath) return FileDialogState::cancelled;
        if (question) return FileDialogState::chosen;
        // A yes is no file, as the programs give none.
        if (answer.path->empty()) return FileDialogState::cancelled;
        path = *answer.path;
        return FileDialogState::chosen;
    }

    void Cancel() override { running = false; }

private:
    std::shared_ptr<Shared> shared;
    Answer answer;
    bool running = false;
    bool question = false;
};

ScriptedFileDialogs::ScriptedFileDialogs()
{
    std::shared_ptr<Shared> script = shared;
    SetFileDialogFactory([script] { return std::make_unique<Dialog>(script); });
}

ScriptedFileDialogs::~ScriptedFileDialogs() { SetFileDialogFactory(nullptr); }

void ScriptedFileDialogs::Choose(const std::string& path, int polls)
{
    std::lock_guard<std::mutex> lock(shared->mutex);
    shared->answers.push_back({path, polls});
}

void ScriptedFileDialogs::Confirm(int polls)
{
    std::lock_guard<std::mutex> lock(shared->mutex);
    shared->answers.push_back({std::string(), polls});
}

void ScriptedFileDialogs::CancelNext(int polls)
{
    std::lock_guard<std::mutex> lock(shared->mutex);
    shared->answers.push_back({std::nullopt, polls});
}

std::vector<FileDialogRequest> ScriptedFileDialogs::Requests() const
{
    std::lock_guard<std::mutex> lock(shared->mutex);
    return shared->requests;
}

size_t ScriptedFileDialogs::Pending() const
{
    std::lock_guard<std::mutex> lock(shared->mutex);
    return shared->answers.size();
}

}  // namespace tonewright::system
