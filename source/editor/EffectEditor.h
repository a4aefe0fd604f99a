#pragma once
// The product's editor: the skin editor on the skin "ui", 579 x 375 pixels,
// with the product's element types, the preset, bank, preamp and impulse
// menus (folder menus, editor/FileMenu.h), the name field, the save,
// import and export commands, the More page with the meters and the tuner,
// the clip light, the flashing save button and the MIDI-learn gesture
// (Shift+Alt click on a parameter's control arms it; again on the armed
// control unlearns it). One per Effect, made by the factory the plug-in's
// entry installs (EditorEntry.cpp).
//
// Threads as SkinEditor: everything on the user-interface thread. What the
// effect learns on other threads (a program change from MIDI, a learned
// controller, a state restore) it leaves as notices that idle takes; file
// dialogs and questions are other processes whose answers idle takes too,
// so the window keeps drawing while one is open. Nothing the user saved is
// lost without a question: a bank with unsaved changes is replaced, and an
// existing file exported over, only after a yes. What went wrong in a
// command (the first "Quarrystone TWR:: ..." line said while it ran, which
// also goes to standard error) shows in the message line for a few seconds.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "editor/FileMenu.h"
#include "editor/SkinEditor.h"
#include "editor/SkinViews.h"
#include "system/FileDialog.h"

namespace tonewright {

class Effect;

class EffectEditor : public SkinEditor {
public:
    static constexpr long kWidth = 579;
    static constexpr long kHeight = 375;
    // The displays are brought up to date at most this often.
    static constexpr std::chrono::milliseconds kUpdatePeriod{50};
    // The save button blinks with this half period while the program is
    // modified (2 Hz).
    static constexpr std::chrono::milliseconds kFlashHalfPeriod{250};
    static constexpr const char* kVersion = "1.5";
    // How long the message line says what went wrong.
    static constexpr std::chrono::seconds kMessageShown{6};

    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    explicit EffectEditor(Effect* effect);
    ~EffectEditor() override;

    // The factory the plug-in's entry installs.
    static AEffEditor* create(Effect& effect);

    // Builds the skin "ui", shows the effect's values, fills the menus and
    // shows or hides the More page as it was last left.
    bool open(void* parent) override;
    using SkinEditor::open;
    // Also drops a dialog still open.
    void close() override;
    // The effect's notices, a finished dialog, then (at most every 50 ms)
    // clip light, meters, tuner and the save button's blink; then the frame.
    void idle() override;
    CView* CreateUIElement(const char* name, const CRect& rect, CControlListener* listener, long tag, CFrame* frame,
                           const CPoint& offset, const CPoint& offset2, const SkinAttributes& attributes) override;

    // Forwards the control (the impulse menu excepted) and runs its command.
    void valueChanged(CControl* control) override;
    // Shift+Alt: the learn gesture (returns 1: the control ignores the
    // click); it arms only parameter controls (tags 0..79). Any other
    // modifier click is an ordinary click (0).
    long controlModifierClicked(CControl* control, long button) override;
    // The effect bound a controller to `tag`: its learn frame goes.
    virtual void midiLearned(int tag, int on);
    // The name field, both program menus and the captions from the
    // effect's current program, bank and sound.
    virtual void rebuildUI(CDrawContext* context = nullptr, bool unused = false);
    // The impulse, preamp and bank menus' current entries: the files that
    // play (none where no entry is the file).
    void markCurrentFiles();
    // The effect changed its program: the menus follow, while open.
    virtual void setProgram(int program);

    virtual void showMoreScreen();
    virtual void hideMoreScreen();

    long getLearnTag() const { return learnTag; }
    bool isMoreScreenShown() const { return moreScreenShown; }
    bool isDialogOpen() const { return dialog != nullptr; }
    // The time idle goes by (tests set their own).
    void setClock(Clock clock) { now = std::move(clock); }

    CMyFileMenu* impulseMenu = nullptr;
    CMyFileMenu* preampMenu = nullptr;
    CMyFileMenu* bankMenu = nullptr;
    CMyFileMenu* presetMenu = nullptr;
    CMyFileMenu* saveAsMenu = nullptr;
    CFlashButton* flashButton = nullptr;
    CTextEdit* nameEdit = nullptr;
    CMyMessageLine* messageLine = nullptr;

private:
    // What the answer of the open dialog is for (in the order of the
    // dialogs' titles in openDialog).
    enum class DialogUse {
        importPreamp,
        importImpulse,
        loadImpulse,
        importBank,
        loadBank,
        importPreset,
        exportPreset,
        exportBank,
    };
    struct PendingDialog {
        explicit PendingDialog(DialogUse what, std::string to = {}, std::string named = {})
            : use(what), destination(std::move(to)), name(std::move(named))
        {
        }
        DialogUse use;
        std::string destination;  // where an import copies to
        std::string name;         // the preset name an export writes
        // A yes/no question about `file` (chosen already) before the use
        // goes on; answered yes, the use runs `confirmed`.
        bool question = false;
        bool confirmed = false;
        std::string file;
    };

    void findViews();
    void fillFolderMenus();
    void refillMenu(CMyFileMenu* menu);
    void takeNotices();
    void updateDisplays(std::chrono::steady_clock::time_point time);
    void runCommand(CControl* control);
    void preampMenuChosen(CControl* control);
    void impulseMenuChosen(CControl* control);
    void bankMenuChosen(CControl* control);
    // Shows the dialog the use calls for (its title, kind, start and file
    // types); false when it cannot be shown or one is open already.
    bool openDialog(PendingDialog next);
    // Asks `text` before `next` goes on with `file`; false when no question
    // can be shown.
    bool ask(PendingDialog next, const std::string& file, const char* title, const std::string& text);
    bool startDialog(const system::FileDialogRequest& request, PendingDialog next);
    void dialogAnswered(const PendingDialog& pending, const std::string* path);
    // A bank from `file` (the menu's, a loaded or an imported one), once the
    // unsaved changes of the current one may go.
    void bankChosen(const PendingDialog& done, const std::string& file);
    // Writes the preset or bank export to `chosen` (".xml" added), once an
    // existing file there may be replaced.
    void exportChosen(const PendingDialog& done, const std::string& chosen);
    // Copies `chosen` into the import's folder (under a free name) and loads
    // the copy; a copy that does not load is removed again. A copy that
    // cannot be made loads `chosen` itself when `orOriginal`, else nothing.
    bool importFile(const PendingDialog& done, const std::string& chosen, bool orOriginal,
                    const std::function<bool(const char*)>& load);
    // The name field's text: a save or export with an empty name is refused.
    std::string programName() const;
    // A file the running command is about: the message line names it by its
    // name alone.
    void involve(std::string path);
    // Runs a command with a record of what is said meanwhile; the first line
    // said shows in the message line.
    void runRecorded(const std::function<void()>& command);
    void showMessage(const std::string& line);

    Effect* owner;
    long learnTag = -1;
    bool firstOpen = true;
    bool moreScreenShown = false;
    Clock now = [] { return std::chrono::steady_clock::now(); };
    std::chrono::steady_clock::time_point lastUpdate{};
    std::unique_ptr<system::FileDialog> dialog;
    PendingDialog pending{DialogUse::importPreamp};
    std::vector<std::string> involved;
    std::chrono::steady_clock::time_point messageShownAt{};
};

// Copies the file `source` whole into the folder of `destination`, under
// its name when that is free (or holds the same bytes already), else as
// "<name> 2.<ext>", "<name> 3.<ext>", ...: no file there is replaced.
struct CopyResult {
    std::string file;     // where the bytes are, empty when the copy failed
    bool created = false; // a file was made for them
    std::string error;    // the "Quarrystone TWR:: ..." text when it failed
};
CopyResult SyntheticCopy(const std::string& source, const std::string& destination);

// The name a file is exported under: '/' and control characters replaced,
// at most 200 bytes, never empty.
std::string ExportName(const std::string& name);
// The path with ".xml" appended unless it ends in it (any case).
std::string WithXmlExtension(const std::string& path);

}  // namespace tonewright
