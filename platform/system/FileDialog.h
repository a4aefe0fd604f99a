#pragma once
// File dialogs and yes/no questions that do not stop the caller: the dialog is another process
// (zenity, else kdialog, found on PATH and started with an argument vector,
// never a shell), and the caller polls it from its idle, so the editor keeps
// drawing and the host stays responsive while the user looks for a file.
// Tests install a scripted stand-in for every dialog made afterwards.
//
// Threads. A dialog object belongs to the thread that starts and polls it;
// the factory setting is process-wide and safe from any thread.

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "system/Folders.h"

namespace tonewright::system {

// Longer paths than this are not taken from a dialog: the choice fails.
constexpr size_t kMaxDialogPath = kMaxPath;

// A question offers yes and no instead of files.
enum class FileDialogKind { open, save, question };

struct FileDialogRequest {
    FileDialogKind kind = FileDialogKind::open;
    std::string title;
    // The folder an open dialog starts in; a save dialog's proposed file.
    std::string start;
    // Offered extensions without their dot ("xml"), any case matching.
    std::vector<std::string> extensions;
    // What a question asks (plain text, no markup).
    std::string text = {};
};

enum class FileDialogState { running, chosen, cancelled };

class FileDialog {
public:
    virtual ~FileDialog() = default;
    // Shows the dialog. False when none can be shown; nothing runs then.
    virtual bool Start(const FileDialogRequest& request) = 0;
    // running while the user decides; chosen with `path` set to the one file
    // chosen; cancelled when the user cancelled, the dialog failed or gave a
    // path that cannot be taken (then `path` is left alone). A question
    // answered yes is chosen, anything else cancelled; `path` stays alone.
    virtual FileDialogState Poll(std::string& path) = 0;
    // Closes a dialog still shown; its answer is dropped.
    virtual void Cancel() = 0;
};

// The system's dialog program: zenity, else kdialog. The choice is made at
// Start from PATH; none found makes Start fail.
std::unique_ptr<FileDialog> MakeProgramFileDialog();

// What MakeFileDialog makes: the program dialog unless a factory is set.
using FileDialogFactory = std::function<std::unique_ptr<FileDialog>()>;
void SetFileDialogFactory(FileDialogFactory factory);
std::unique_ptr<FileDialog> MakeFileDialog();

// "~" and "~/..." with $HOME; other texts unchanged.
std::string ExpandHome(const std::string& path);

// A stand-in for tests: every dialog it makes answers from a queue of
// answers given beforehand (a path or a yes, or none for a cancel or a no),
// after `polls` polls each, and records every request. No answer queued: Start fails,
// as on a machine with no dialog program.
class ScriptedFileDialogs {
public:
    struct Answer {
        std::optional<std::string> path;
        int polls = 0;
    };

    // Installs itself as the factory; the destructor removes it again.
    ScriptedFileDialogs();
    ~ScriptedFileDialogs();
    ScriptedFileDialogs(const ScriptedFileDialogs&) = delete;
    ScriptedFileDialogs& operator=(const ScriptedFileDialogs&) = delete;

    void Choose(const std::string& path, int polls = 0);
    // Yes to the next question.
    void Confirm(int polls = 0);
    void CancelNext(int polls = 0);
    std::vector<FileDialogRequest> Requests() const;
    size_t Pending() const;

private:
    class Dialog;
    struct Shared {
        mutable std::mutex mutex;
        std::deque<Answer> answers;
        std::vector<FileDialogRequest> requests;
    };
    std::shared_ptr<Shared> shared = std::make_shared<Shared>();
};

}  // namespace tonewright::system
