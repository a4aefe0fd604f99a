#include <cmath>
#include <cstring>

#include "gui/Bitmap.h"
#include "gui/Controls.h"
#include "gui/Frame.h"

// --- CMenuItem -------------------------------------------------------------

CMenuItem::CMenuItem(const char* itemTitle, long itemFlags, COptionMenu* menu) : flags(itemFlags)
{
    setTitle(itemTitle);
    setSubmenu(menu);
}

CMenuItem::~CMenuItem() { setSubmenu(nullptr); }

void CMenuItem::setTitle(const char* newTitle)
{
    title = newTitle ? newTitle : "";
    if (title == "-") flags |= kSeparator;
}

void CMenuItem::setSubmenu(COptionMenu* menu)
{
    if (menu) menu->remember();
    if (submenu) submenu->forget();
    submenu = menu;
}

// --- COptionMenu -----------------------------------------------------------

COptionMenu::COptionMenu(const CRect& rect, CControlListener* menuListener, long menuTag, CBitmap* background,
                         CBitmap* clicked, const long menuStyle)
    : CParamDisplay(rect, background, menuStyle), bgWhenClick(clicked)
{
    listener = menuListener;
    tag = menuTag;
    if (bgWhenClick) bgWhenClick->remember();
    vmin = 0;
    vmax = 0;
    defaultValue = 0;
}

COptionMenu::~COptionMenu()
{
    for (CMenuItem* item : entries) delete item;
    if (bgWhenClick) bgWhenClick->forget();
}

bool COptionMenu::isTypeOf(const char* type) const
{
    return (type && std::strcmp(type, "COptionMenu") == 0) || CParamDisplay::isTypeOf(type);
}

CMenuItem* COptionMenu::addEntry(CMenuItem* item, long index)
{
    if (!item) return nullptr;
    if (index < 0 || index > getNbEntries())
        entries.push_back(item);
    else
        entries.insert(entries.begin() + index, item);
    vmax = static_cast<float>(getNbEntries() - 1);
    setDirty(true);
    return item;
}

CMenuItem* COptionMenu::addEntry(const char* title, long index, long itemFlags)
{
    return addEntry(new CMenuItem(title, itemFlags), index);
}

CMenuItem* COptionMenu::addEntry(COptionMenu* submenu, const char* title)
{
    return addEntry(new CMenuItem(title, CMenuItem::kNoFlags, submenu));
}

CMenuItem* COptionMenu::addSeparator() { return addEntry(new CMenuItem("-", CMenuItem::kSeparator)); }

bool COptionMenu::removeEntry(long index)
{
    if (index < 0 || index >= getNbEntries()) return false;
    delete entries[static_cast<size_t>(index)];
    entries.erase(entries.begin() + index);
    vmax = static_cast<float>(std::max(0L, getNbEntries() - 1));
    setDirty(true);
    return true;
}

bool COptionMenu::removeAllEntry()
{
    for (CMenuItem* item : entries) delete item;
    entries.clear();
    vmax = 0;
    setDirty(true);
    return true;
}

CMenuItem* COptionMenu::getEntry(long index) const
{
    if (index < 0 || index >= getNbEntries()) return nullptr;
    return entries[static_cast<size_t>(index)];
}

COptionMenu* COptionMenu::getSubMenu(long index) const
{
    CMenuItem* item = getEntry(index);
    return item ? item->getSubmenu() : nullptr;
}

bool COptionMenu::checkEntry(long index, bool state)
{
    CMenuItem* item = getEntry(index);
    if (!item || item->isSeparator()) return false;
    item->setChecked(state);
    return true;
}

bool COptionMenu::checkEntryAlone(long index)
{
    if (!getEntry(index)) return false;
    for (long i = 0; i < getNbEntries(); ++i) entries[static_cast<size_t>(i)]->setChecked(i == index);
    return true;
}

long COptionMenu::getCurrentIndex() const
{
    if (!std::isfinite(value)) return -1;
    const long index = std::lround(value);
    return index >= 0 && index < getNbEntries() ? index : -1;
}

long COptionMenu::getCurrent(char* txt, bool countSeparator) const
{
    const long index = getCurrentIndex();
    if (txt) {
        txt[0] = 0;
        if (CMenuItem* item = getEntry(index)) {
            std::strncpy(txt, item->getTitle(), 255);
            txt[255] = 0;
        }
    }
    if (index < 0 || countSeparator) return index;
    long counted = 0;
    for (long i = 0; i < index; ++i)
        if (!entries[static_cast<size_t>(i)]->isSeparator()) ++counted;
    return counted;
}

bool COptionMenu::setCurrent(long index, bool countSeparator)
{
    long target = index;
    if (!countSeparator) {
        target = -1;
        for (long i = 0, counted = 0; i < getNbEntries(); ++i) {
            if (entries[static_cast<size_t>(i)]->isSeparator()) continue;
            if (counted++ == index) {
                target = i;
                break;
            }
        }
    }
    if (!getEntry(target)) return false;
    setValue(static_cast<float>(target));
    return true;
}

void COptionMenu::setValue(float val)
{
    if (val == value) return;
    CParamDisplay::setValue(val);
    setDirty(true);
}

COptionMenu* COptionMenu::getLastItemMenu(long& idxInMenu) const
{
    idxInMenu = lastMenu ? lastMenu->getLastResult() : -1;
    return lastMenu;
}

bool COptionMenu::choose(COptionMenu* menu, long index)
{
    if (!menu) return false;
    CMenuItem* item = menu->getEntry(index);
    if (!item || !item->isEnabled() || item->isSeparator() || item->isTitle() || item->getSubmenu()) return false;
    remember();
    menu->remember();
    beginEdit();
    menu->setValue(static_cast<float>(index));
    menu->lastResult = index;
    menu->lastMenu = menu;
    lastResult = index;
    lastMenu = menu;
    if (CControlListener* target = menu->getListener() ? menu->getListener() : listener) target->valueChanged(menu);
    invalid();
    endEdit();
    menu->forget();
    forget();
    return true;
}

void COptionMenu::draw(CDrawContext* context)
{
    CMenuItem* item = getEntry(getCurrentIndex());
    drawText(context, item ? item->getTitle() : "", popupOpen && bgWhenClick ? bgWhenClick : nullptr);
    setDirty(false);
}

CMouseEventResult COptionMenu::onMouseDown(CPoint&, const long& buttons)
{
    if (!(buttons & (kLButton | kRButton))) return kMouseEventNotHandled;
    if (modifierClickTaken(buttons)) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    CFrame* frame = getFrame();
    if (!frame || getNbEntries() == 0) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    popupOpen = true;
    setDirty(true);
    if (!frame->popupMenu(this)) popupOpen = false;
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

void COptionMenu::takeFocus()
{
    if (popupOpen || !getFrame() || getNbEntries() == 0) return;
    popupOpen = true;
    setDirty(true);
    if (!getFrame()->popupMenu(this)) popupOpen = false;
}

void COptionMenu::looseFocus() {}

void COptionMenu::popupClosed()
{
    popupOpen = false;
    setDirty(true);
}
