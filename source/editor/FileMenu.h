#pragma once
// Menus that mirror folders: CMyFileMenu shows a caption of its own in
// place of its chosen entry, knows the sub-folder it stands for, and
// remembers for each entry the ".xml" cut from its file name and whether it
// is one of the commands that close every such menu ("Import...", "Load
// Bank...", "Load Impulse..."). Commands are known by their place, never by
// their title, so a file named "Import..." is a file. The free functions
// fill such menus from folders or the effect's programs, resolve a choice
// into a path, and set captions. User-interface thread only.

#include <string>
#include <vector>

#include "gui/Controls.h"
#include "system/Folders.h"

namespace tonewright {

class Effect;

// Style bits of CMyFileMenu: the caption leaves the arrow at the right
// alone, or nothing is drawn (the skin paints the button).
constexpr long kFileMenuArrowStyle = 0x8000;
constexpr long kFileMenuHiddenStyle = 0x10000;

// What a closing entry of a folder menu does.
enum class MenuCommand { none, load, import };

// Its current entry is marked when it pops up (kCheckStyle); emptied, it has
// none.
class CMyFileMenu : public COptionMenu {
public:
    // Captions are bounded copies (longer texts are cut); paths are kept
    // whole, however deep.
    static constexpr size_t kMaxText = 255;

    CMyFileMenu(const CRect& size, CControlListener* listener, long tag, long style, const char* path);
    bool isTypeOf(const char* type) const override;

    // The caption shown in place of the chosen entry; none shows the entry.
    virtual void setText(const char* text);
    // Copies the caption into buffer (at least 256 bytes); "" when unset.
    virtual void getText(char* buffer) const;
    const std::string& getText() const { return text; }
    // The menu's folder inside the tree it mirrors ("Clean/"); "" at the top.
    virtual const char* getPath() const { return path.c_str(); }
    // The extension ("xml" as written) of the entry added next.
    virtual void addExt(const char* extension);
    // The extension of the current entry, or none.
    virtual const char* getExt() const;
    // The entry added next is this closing command.
    virtual void addCommand(MenuCommand command);
    MenuCommand getCommand(long index) const;
    const char* getExtAt(long index) const;

    using COptionMenu::addEntry;
    CMenuItem* addEntry(CMenuItem* item, long index = -1) override;
    bool removeEntry(long index) override;
    bool removeAllEntry() override;
    void draw(CDrawContext* context) override;

private:
    struct EntryInfo {
        std::string extension;
        bool hasExtension = false;
        MenuCommand command = MenuCommand::none;
    };
    std::string path;
    std::string text;
    bool hasText = false;
    std::vector<EntryInfo> info;  // by entry index
    EntryInfo next;
};

// Which closing entries a folder menu gets and whether sub-folders count.
enum class FolderMenu {
    plain,     // sub-folders; "-", "Import..."
    impulses,  // sub-folders; "-", "Load Impulse...", "Import..."
    banks,     // files only; "-", "Load Bank...", "Import..."
};

using AcceptFile = bool (*)(const std::string& path);

// Sub-folders deeper than this below the menu's folder are not listed.
constexpr int kMaxMenuDepth = 8;

// Empties the menu and fills it from `folder` (a full path without a final
// '/'): entries sorted without regard to case, names starting with '.'
// skipped, linked folders not followed, files the predicate refuses left
// out, a sub-menu per sub-folder (none in a bank menu) whose path is
// `prefix` + name + '/', entries whose path the system cannot open (longer
// than kMaxPathText) left out; ".xml" is cut from titles and remembered. Every
// menu and sub-menu ends with its closing entries, even when the folder
// cannot be read.
void populate_menu_from_folder(const std::string& folder, CMyFileMenu* menu, const std::string& prefix,
                               AcceptFile accept, FolderMenu kind);
// 128 entries "001 - <name>" .. "128 - <name>" of the effect's programs.
void BuildPresetMenuFromEffect(Effect* effect, CMyFileMenu* menu);
// Makes the entry for the file named `file` (its title, or its title with
// the extension cut from it) the menu's current one: the first such entry of
// the menu itself, else of its sub-menus in order, whose entries in their
// parents then are current too. False, and no entry current in this menu,
// when no entry names it.
bool MarkCurrentEntry(CMyFileMenu* menu, const std::string& file);

// What a choice in a folder menu asks for.
enum FileMenuResult { kFileChosen = 0, kNotAFileMenu = 1, kImportChosen = 2, kLoadChosen = 3 };
// Resolves the current entry of `control` (a folder menu or one of its
// sub-menus): a file gives its full path in `path` (with its cut ".xml"),
// its name in `name` (behind the menu's path when nameWithPrefix), and the
// name without extension as the top menu's caption (fitted to its width
// less `margin` when a context is given); a closing command gives the
// folder it stands for ("<folder>/<sub-path>"). A path longer than
// kMaxPathText (the longest the system opens; such files are not listed)
// counts as no choice (kNotAFileMenu, nothing set).
int HandleFileMenu(CControl* control, std::string& path, std::string& name, const std::string& folder,
                   CMyFileMenu* top, CDrawContext* context, int margin, bool nameWithPrefix);
constexpr size_t kMaxPathText = system::kMaxPath;

// Cuts the text at its last '.'; with a context, shortens it further to
// `width` pixels in the context's font, ending in "..." (never fewer than
// three characters are left).
void trimStringForDisplay(std::string& text, CCoord width, CDrawContext* context);
// The text trimmed to `width` in the menu's font: with the context given, or
// without one with a context that only measures (so captions fit whoever
// asks).
std::string fittedCaption(CMyFileMenu* menu, std::string text, CCoord width, CDrawContext* context);
// The text, trimmed to the menu's width less 22 pixels, as its caption.
void setMenuDisplay(CMyFileMenu* menu, const std::string& text, CDrawContext* context);
// Adds or removes the one trailing '*' of the caption.
void setMenuDisplayStarred(CMyFileMenu* menu, bool starred);

// The accept predicates.
bool IsValidXMLFile(const std::string& path);
// A WAV or AIFF file the impulse reader takes (its header is checked).
bool IsValidImpulse(const std::string& path);
bool IsValidForImpulseMenuTree(const std::string& path);

// The part of a path after its last '/'.
std::string filename(const std::string& path);

}  // namespace tonewright
