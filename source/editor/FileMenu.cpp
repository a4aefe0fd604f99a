#include "editor/FileMenu.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "cabinet/ImpulseFile.h"
#include "dsp/StringUtil.h"
#include "plugin/Effect.h"

namespace tonewright {

namespace {

std::string bounded(const char* text)
{
    char copy[CMyFileMenu::kMaxText + 1];
    copyBounded(copy, text);
    return copy;
}

bool endsWithNoCase(const std::string& text, const char* tail)
{
    const size_t n = std::strlen(tail);
    return text.size() >= n && strcasecmp(text.c_str() + text.size() - n, tail) == 0;
}

struct FolderEntry {
    std::string name;
    bool folder;
};

// The listable entries of a folder, sorted without regard to case (ties by
// bytes, so that the order never depends on the file system's).
std::vector<FolderEntry> listFolder(const std::string& folder)
{
    std::vector<FolderEntry> out;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return out;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.empty() || name[0] == '.') continue;
        const std::string full = folder + "/" + name;
        struct stat st;
        if (::lstat(full.c_str(), &st) != 0) continue;
        if (S_ISLNK(st.st_mode)) {
            // A linked file is listed; a linked folder is not followed.
            if (::stat(full.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
        }
        out.push_back({name, S_ISDIR(st.st_mode)});
    }
    ::closedir(dir);
    std::sort(out.begin(), out.end(), [](const FolderEntry& a, const FolderEntry& b) {
        const int c = strcasecmp(a.name.c_str(), b.name.c_str());
        return c != 0 ? c < 0 : a.name < b.name;
    });
    return out;
}

void populate(const std::string& folder, CMyFileMenu* menu, const std::string& prefix, AcceptFile accept,
              FolderMenu kind, int depth)
{
    menu->removeAllEntry();
    for (const FolderEntry& entry : listFolder(folder)) {
        const std::string full = folder + "/" + entry.name;
        if (full.size() + (entry.folder ? 1 : 0) > kMaxPathText) continue;
        if (entry.folder) {
            if (kind == FolderMenu::banks || depth >= kMaxMenuDepth) continue;
            const std::string path = prefix + entry.name + "/";
            auto* sub = new CMyFileMenu(menu->getViewSize(), menu->getListener(), menu->getTag(), 0, path.c_str());
            populate(full, sub, path, accept, kind, depth + 1);
            if (sub->getNbEntries() > 0) menu->addEntry(sub, entry.name.c_str());
            sub->forget();  // the entry holds it now
            continue;
        }
        if (accept && !accept(full)) continue;
        std::string title = entry.name;
        if (endsWithNoCase(title, ".xml")) {
            menu->addExt(title.substr(title.size() - 3).c_str());
            title.resize(title.size() - 4);
        }
        auto* item = new CMenuItem(title.c_str());
        // A file named "-" is a file, not a separator.
        item->setFlags(item->getFlags() & ~CMenuItem::kSeparator);
        menu->addEntry(item);
    }
    menu->addSeparator();
    if (kind != FolderMenu::plain) {
        menu->addCommand(MenuCommand::load);
        menu->addEntry(kind == FolderMenu::impulses ? "Load Impulse..." : "Load Bank...");
    }
    menu->addCommand(MenuCommand::import);
    menu->addEntry("Import...");
}

}  // namespace

// ---- CMyFileMenu ----

CMyFileMenu::CMyFileMenu(const CRect& rect, CControlListener* toldListener, long menuTag, long menuStyle,
                         const char* menuPath)
    : COptionMenu(rect, toldListener, menuTag, nullptr, nullptr, menuStyle | kCheckStyle),
      path(menuPath ? menuPath : "")
{
}

bool CMyFileMenu::isTypeOf(const char* type) const
{
    return (type && std::strcmp(type, "CMyFileMenu") == 0) || COptionMenu::isTypeOf(type);
}

void CMyFileMenu::setText(const char* newText)
{
    text = bounded(newText);
    hasText = true;
    setDirty(true);
}

void CMyFileMenu::getText(char* buffer) const
{
    if (buffer) copyBounded(buffer, kMaxText + 1, text.c_str());
}

void CMyFileMenu::addExt(const char* extension)
{
    next.extension = bounded(extension);
    next.hasExtension = true;
}

void CMyFileMenu::addCommand(MenuCommand command) { next.command = command; }

const char* CMyFileMenu::getExtAt(long index) const
{
    if (index < 0 || size_t(index) >= info.size() || !info[size_t(index)].hasExtension) return nullptr;
    return info[size_t(index)].extension.c_str();
}

const char* CMyFileMenu::getExt() const { return getExtAt(getCurrentIndex()); }

MenuCommand CMyFileMenu::getCommand(long index) const
{
    return index >= 0 && size_t(index) < info.size() ? info[size_t(index)].command : MenuCommand::none;
}

CMenuItem* CMyFileMenu::addEntry(CMenuItem* item, long index)
{
    if (!item) return nullptr;
    const long at = index < 0 || index > getNbEntries() ? getNbEntries() : index;
    info.insert(info.begin() + at, next);
    next = {};
    return COptionMenu::addEntry(item, at);
}

bool CMyFileMenu::removeEntry(long index)
{
    if (!COptionMenu::removeEntry(index)) return false;
    info.erase(info.begin() + index);
    return true;
}

bool CMyFileMenu::removeAllEntry()
{
    info.clear();
    next = {};
    // An index into the old entries names nothing among the new ones.
    setValue(-1.0f);
    return COptionMenu::removeAllEntry();
}

void CMyFileMenu::draw(CDrawContext* context)
{
    setDirty(false);
    if (style & kFileMenuHiddenStyle) return;
    CRect area = size;
    if (style & kFileMenuArrowStyle) area.right -= 20;
    context->setFillColor(backColor);
    context->drawRect(area, kDrawFilled);
    std::string shown;
    if (hasText) {
        shown = text;
    } else if (CMenuItem* item = getEntry(getCurrentIndex())) {
        shown = item->getTitle();
    } else {
        return;
    }
    CRect oldClip;
    context->getClipRect(oldClip);
    CRect clip = area;
    clip.bound(oldClip);
    context->setClipRect(clip);
    context->setFont(fontID);
    context->setFontColor(fontColor);
    // Too wide, the caption shows its start; the star of unsaved changes
    // stays in view.
    const bool starred = hasText && shown.size() > 1 && shown.back() == '*';
    if (starred) {
        shown.pop_back();
        shown = context->fitString(shown, area.width() - context->getStringWidth("*")) + "*";
    } else {
        shown = context->fitString(shown, area.width());
    }
    context->drawStringUTF8(shown.c_str(), area, horiTxtAlign, bAntialias);
    context->setClipRect(oldClip);
}

// ---- filling and resolving ----

void populate_menu_from_folder(const std::string& folder, CMyFileMenu* menu, const std::string& prefix,
                               AcceptFile accept, FolderMenu kind)
{
    if (menu) populate(folder, menu, prefix, accept, kind, 0);
}

void BuildPresetMenuFromEffect(Effect* effect, CMyFileMenu* menu)
{
    if (!menu || !effect) return;
    menu->removeAllEntry();
    for (int i = 0; i < kNumPrograms; ++i) {
        char name[64] = {};
        effect->getProgramNameIndexed(0, i, name);
        char title[96];
        std::snprintf(title, sizeof title, "%03d - %s", i + 1, name);
        menu->addEntry(title);
    }
}

namespace {

bool names(const CMyFileMenu* menu, long index, const std::string& file)
{
    const CMenuItem* item = menu->getEntry(index);
    if (item->getSubmenu() || item->isSeparator() || menu->getCommand(index) != MenuCommand::none) return false;
    const std::string title = item->getTitle();
    const char* extension = menu->getExtAt(index);
    return file == title || (extension && file == title + "." + extension);
}

// Marks the file's entry when `search`, else no entry, in the menu and every
// sub-menu.
bool mark(CMyFileMenu* menu, const std::string& file, bool search)
{
    long found = -1;
    for (long i = 0; search && i < menu->getNbEntries() && found < 0; ++i)
        if (names(menu, i, file)) found = i;
    for (long i = 0; i < menu->getNbEntries(); ++i)
        if (auto* sub = dynamic_cast<CMyFileMenu*>(menu->getSubMenu(i)))
            if (mark(sub, file, search && found < 0)) found = i;
    menu->setValue(float(found));
    return found >= 0;
}

}  // namespace

bool MarkCurrentEntry(CMyFileMenu* menu, const std::string& file) { return menu && mark(menu, file, true); }

int HandleFileMenu(CControl* control, std::string& path, std::string& name, const std::string& folder,
                   CMyFileMenu* top, CDrawContext* context, int margin, bool nameWithPrefix)
{
    auto* menu = dynamic_cast<CMyFileMenu*>(control);
    if (!menu) return kNotAFileMenu;
    const long index = menu->getCurrentIndex();
    const CMenuItem* item = menu->getEntry(index);
    if (!item) return kNotAFileMenu;
    const std::string prefix = menu->getPath();
    const std::string here = folder + "/" + prefix;
    const MenuCommand command = menu->getCommand(index);
    if (command != MenuCommand::none) {
        if (here.size() > kMaxPathText) return kNotAFileMenu;
        path = here;
        return command == MenuCommand::import ? kImportChosen : kLoadChosen;
    }
    if (item->getSubmenu() || item->isSeparator()) return kNotAFileMenu;
    const std::string title = item->getTitle();
    std::string file = here + title;
    if (const char* extension = menu->getExtAt(index)) file += std::string(".") + extension;
    if (file.size() > kMaxPathText) return kNotAFileMenu;
    path = file;
    name = nameWithPrefix ? prefix + title : title;
    if (top) top->setText(fittedCaption(top, name, top->getWidth() - margin, context).c_str());
    return kFileChosen;
}

void trimStringForDisplay(std::string& text, CCoord width, CDrawContext* context)
{
    if (const size_t dot = text.rfind('.'); dot != std::string::npos) text.resize(dot);
    if (context) text = context->fitString(text, width);
}

std::string fittedCaption(CMyFileMenu* menu, std::string text, CCoord width, CDrawContext* context)
{
    CDrawContext measuring;
    CDrawContext* fitting = context ? context : &measuring;
    fitting->setFont(menu->getFont());
    trimStringForDisplay(text, width, fitting);
    return text;
}

void setMenuDisplay(CMyFileMenu* menu, const std::string& text, CDrawContext* context)
{
    if (menu) menu->setText(fittedCaption(menu, text, menu->getWidth() - 22, context).c_str());
}

void setMenuDisplayStarred(CMyFileMenu* menu, bool starred)
{
    if (!menu) return;
    std::string caption = menu->getText();
    const bool hasStar = !caption.empty() && caption.back() == '*';
    if (starred && !hasStar) caption += '*';
    if (!starred && hasStar) caption.pop_back();
    menu->setText(caption.c_str());
}

// ---- predicates ----

bool IsValidXMLFile(const std::string& path) { return endsWithNoCase(path, ".xml"); }

bool IsValidImpulse(const std::string& path)
{
    // Whatever the name; files that do not even begin as WAV or AIFF are
    // passed over without the reader's diagnostic line at every open.
    return StartsAsImpulseFile(path.c_str()) && LoadImpulse(path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
}

bool IsValidForImpulseMenuTree(const std::string&) { return true; }

std::string filename(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace tonewright
