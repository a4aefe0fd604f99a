// Folder menus: the trees made from folders on disk (sorted, hidden files,
// links, depth, the closing commands known by place), what a choice
// resolves to, the extensions behind the entries, captions cut, shortened
// and starred, and what the closed menu draws. (The program menus are the
// product editor's tests'.)

#include <gtest/gtest.h>

#include <unistd.h>

#include <cairo.h>

#include <filesystem>
#include <fstream>

#include "PluginHarness.h"
#include "editor/FileMenu.h"
#include "gui/Bitmap.h"
#include "gui/DrawContext.h"

namespace fs = std::filesystem;

namespace {

// A fresh folder below the test home, filled with the given files (a name
// ending in '/' is a folder).
fs::path tree(const std::string& name, std::initializer_list<const char*> entries)
{
    const fs::path root = harness::TestHome() / "menus" / name;
    fs::remove_all(root);
    fs::create_directories(root);
    for (const char* entry : entries) {
        const std::string e = entry;
        if (e.back() == '/')
            fs::create_directories(root / e);
        else
            std::ofstream(root / e) << "x";
    }
    return root;
}

// The menu as text: entries by title, sub-menus in brackets, separators as
// "-" (a file named "-" shows as "file -").
std::string menuShape(const COptionMenu* menu)
{
    std::string out;
    for (long i = 0; i < menu->getNbEntries(); ++i) {
        const CMenuItem* item = menu->getEntry(i);
        if (i) out += ", ";
        if (item->getSubmenu())
            out += std::string(item->getTitle()) + " [" + menuShape(item->getSubmenu()) + "]";
        else if (item->isSeparator())
            out += "-";
        else
            out += std::string(std::strcmp(item->getTitle(), "-") == 0 ? "file " : "") + item->getTitle();
    }
    return out;
}

CMyFileMenu* makeMenu(long tag = 86) { return new CMyFileMenu(CRect(0, 0, 100, 14), nullptr, tag, 0, ""); }

// Chooses entry `index` of the menu as a click does, then resolves it.
int choose(CMyFileMenu* menu, long index, const fs::path& folder, CMyFileMenu* top, std::string& path,
           std::string& name, bool withPrefix = false)
{
    menu->setValue(static_cast<float>(index));
    return HandleFileMenu(menu, path, name, folder.string(), top, nullptr, 22, withPrefix);
}

uint32_t at(CBitmap* bitmap, int x, int y)
{
    cairo_surface_t* s = bitmap->getSurface();
    cairo_surface_flush(s);
    return reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s))[x];
}

bool isRed(uint32_t p) { return ((p >> 16) & 0xFF) > 0x80 && ((p >> 8) & 0xFF) < 0x60 && (p & 0xFF) < 0x60; }

}  // namespace

TEST(FileMenus, TreesOfBanksPreampsAndImpulsesWithTheirClosingCommands)
{
    const fs::path banks = tree("Banks", {"Clean.xml", "notes.txt", "Old/", "Old/Inside.xml", "Lead.XML"});
    CMyFileMenu* bank = makeMenu();
    populate_menu_from_folder(banks.string(), bank, "", IsValidXMLFile, FolderMenu::banks);
    EXPECT_EQ(menuShape(bank), "Clean, Lead, -, Load Bank..., Import...");

    const fs::path preamps = tree("Preamps", {"Clean/", "Clean/Crunch.xml", "Clean/Glass.xml", "Empty/", "a.xml",
                                              ".hidden.xml", "Z.xml", "readme.txt"});
    CMyFileMenu* preamp = makeMenu(82);
    populate_menu_from_folder(preamps.string(), preamp, "", IsValidXMLFile, FolderMenu::plain);
    EXPECT_EQ(menuShape(preamp), "a, Clean [Crunch, Glass, -, Import...], Empty [-, Import...], Z, -, Import...");
    EXPECT_STREQ(preamp->getSubMenu(1)->isTypeOf("CMyFileMenu") ? static_cast<CMyFileMenu*>(preamp->getSubMenu(1))->getPath() : "", "Clean/");
    EXPECT_EQ(preamp->getSubMenu(1)->getTag(), 82);

    const fs::path impulses = tree("Impulses", {"cab.wav", "Open/", "Open/room.aif", "notes.txt"});
    CMyFileMenu* impulse = makeMenu(83);
    populate_menu_from_folder(impulses.string(), impulse, "", IsValidForImpulseMenuTree, FolderMenu::impulses);
    EXPECT_EQ(menuShape(impulse), "cab.wav, notes.txt, Open [room.aif, -, Load Impulse..., Import...], -, "
                              "Load Impulse..., Import...");
    // The impulse reader refuses these files (they are not audio).
    CMyFileMenu* checked = makeMenu(83);
    populate_menu_from_folder(impulses.string(), checked, "", IsValidImpulse, FolderMenu::impulses);
    EXPECT_EQ(menuShape(checked), "Open [-, Load Impulse..., Import...], -, Load Impulse..., Import...");

    // A folder that cannot be read still gives the commands.
    CMyFileMenu* missing = makeMenu();
    populate_menu_from_folder((banks / "nowhere").string(), missing, "", IsValidXMLFile, FolderMenu::banks);
    EXPECT_EQ(menuShape(missing), "-, Load Bank..., Import...");
    for (CMyFileMenu* m : {bank, preamp, impulse, checked, missing}) m->forget();
}

TEST(FileMenus, ChoicesResolveToFilesAndCommandsByPlaceNeverByTitle)
{
    const fs::path banks = tree("Choices", {"Clean.xml", "Lead.XML", "Import....xml", "-.xml", "Rock.xml"});
    CMyFileMenu* bank = makeMenu();
    populate_menu_from_folder(banks.string(), bank, "", IsValidXMLFile, FolderMenu::banks);
    ASSERT_EQ(menuShape(bank), "file -, Clean, Import..., Lead, Rock, -, Load Bank..., Import...");
    std::string path = "before", name = "before";
    EXPECT_EQ(choose(bank, 1, banks, bank, path, name, true), kFileChosen);
    EXPECT_EQ(path, banks.string() + "/Clean.xml");
    EXPECT_EQ(bank->getText(), "Clean");
    EXPECT_EQ(choose(bank, 3, banks, bank, path, name), kFileChosen);
    EXPECT_EQ(path, banks.string() + "/Lead.XML");  // the extension as written
    // A file named like a command, and one named like a separator, are files.
    EXPECT_EQ(choose(bank, 2, banks, bank, path, name), kFileChosen);
    EXPECT_EQ(path, banks.string() + "/Import....xml");
    EXPECT_EQ(choose(bank, 0, banks, bank, path, name), kFileChosen);
    EXPECT_EQ(path, banks.string() + "/-.xml");
    // The commands at the end.
    EXPECT_EQ(choose(bank, 6, banks, bank, path, name), kLoadChosen);
    EXPECT_EQ(path, banks.string() + "/");
    EXPECT_EQ(choose(bank, 7, banks, bank, path, name), kImportChosen);
    // Not a menu of files, or nothing chosen: nothing set.
    path = "kept";
    EXPECT_EQ(HandleFileMenu(nullptr, path, name, banks.string(), bank, nullptr, 22, false), kNotAFileMenu);
    COptionMenu plain(CRect(0, 0, 10, 10), nullptr, 86);
    EXPECT_EQ(HandleFileMenu(&plain, path, name, banks.string(), bank, nullptr, 22, false), kNotAFileMenu);
    EXPECT_EQ(choose(bank, 5, banks, bank, path, name), kNotAFileMenu);  // the separator
    EXPECT_EQ(path, "kept");
    // A path longer than a path may be is no choice.
    EXPECT_EQ(choose(bank, 1, std::string(kMaxPathText, 'a'), bank, path, name), kNotAFileMenu);
    EXPECT_EQ(path, "kept");

    // In a sub-menu: the file inside its folder, the caption on the top menu;
    // "Import..." there stands for that folder.
    const fs::path preamps = tree("SubChoices", {"Clean/", "Clean/Crunch.xml", "Empty/"});
    CMyFileMenu* preamp = makeMenu(82);
    populate_menu_from_folder(preamps.string(), preamp, "", IsValidXMLFile, FolderMenu::plain);
    auto* clean = static_cast<CMyFileMenu*>(preamp->getSubMenu(0));
    EXPECT_EQ(choose(clean, 0, preamps, preamp, path, name), kFileChosen);
    EXPECT_EQ(path, preamps.string() + "/Clean/Crunch.xml");
    EXPECT_EQ(name, "Crunch");
    EXPECT_EQ(preamp->getText(), "Crunch");
    EXPECT_EQ(choose(clean, 0, preamps, preamp, path, name, true), kFileChosen);
    EXPECT_EQ(name, "Clean/Crunch");
    auto* empty = static_cast<CMyFileMenu*>(preamp->getSubMenu(1));
    EXPECT_EQ(choose(empty, 1, preamps, preamp, path, name), kImportChosen);
    EXPECT_EQ(path, preamps.string() + "/Empty/");
    bank->forget();
    preamp->forget();
}

TEST(FileMenus, SortedHiddenSkippedLinksNotFollowedAndDepthCapped)
{
    const fs::path root = tree("Order", {"b.xml", "A.xml", "a.xml", "C/", ".git/", ".git/x.xml", "c.xml"});
    fs::create_directory_symlink(root / "C", root / "Linked");
    fs::create_symlink(root / "b.xml", root / "bee.xml");
    fs::path deep = root / "C";
    for (int level = 1; level <= 10; ++level) {
        deep /= "L" + std::to_string(level);
        fs::create_directories(deep);
    }
    std::ofstream(deep / "deepest.xml") << "x";
    CMyFileMenu* menu = makeMenu(82);
    populate_menu_from_folder(root.string(), menu, "", IsValidXMLFile, FolderMenu::plain);
    // Case aside, then bytes; the linked folder is left out, the linked file in.
    std::string top;
    for (long i = 0; i < menu->getNbEntries(); ++i) top += std::string(menu->getEntry(i)->getTitle()) + "|";
    EXPECT_EQ(top, "A|a|b|bee|C|c|-|Import...|");
    // Folders below the eighth level are not listed.
    const COptionMenu* level = menu->getSubMenu(4);
    int depth = 1;
    while (level && level->getNbEntries() > 2) {
        level = level->getSubMenu(0);
        ++depth;
    }
    EXPECT_EQ(depth, kMaxMenuDepth);
    menu->forget();
}

TEST(FileMenus, ExtensionsBelongToTheirEntriesUntilTheMenuIsEmptied)
{
    CMyFileMenu* menu = makeMenu();
    menu->addExt("xml");
    menu->addEntry("A");
    CMyFileMenu* sub = makeMenu();
    menu->addEntry(sub, "B");
    sub->forget();
    menu->addExt("XML");
    menu->addEntry("C");
    const char* expected[] = {"xml", nullptr, "XML"};
    for (long i = 0; i < 3; ++i) {
        menu->setValue(static_cast<float>(i));
        if (expected[i])
            EXPECT_STREQ(menu->getExt(), expected[i]) << i;
        else
            EXPECT_EQ(menu->getExt(), nullptr) << i;
    }
    // Removing an entry moves the later ones' extensions with them.
    menu->removeEntry(0);
    menu->setValue(1.0f);
    EXPECT_STREQ(menu->getExt(), "XML");
    menu->removeAllEntry();
    menu->addEntry("D");
    menu->setValue(0.0f);
    EXPECT_EQ(menu->getExt(), nullptr);
    menu->forget();
}

TEST(FileMenus, CaptionsAreCutShortenedToTheirWidthAndStarredOnce)
{
    CMyFileMenu* menu = makeMenu();
    char buffer[256] = "junk";
    menu->getText(buffer);
    EXPECT_STREQ(buffer, "");
    setMenuDisplay(menu, "My.Bank", nullptr);
    EXPECT_EQ(menu->getText(), "My");
    setMenuDisplay(menu, "Rock.xml", nullptr);
    setMenuDisplayStarred(menu, true);
    setMenuDisplayStarred(menu, true);
    EXPECT_EQ(menu->getText(), "Rock*");
    setMenuDisplayStarred(menu, false);
    setMenuDisplayStarred(menu, false);
    EXPECT_EQ(menu->getText(), "Rock");
    setMenuDisplay(menu, "", nullptr);
    setMenuDisplayStarred(menu, false);
    EXPECT_EQ(menu->getText(), "");
    setMenuDisplayStarred(menu, true);
    EXPECT_EQ(menu->getText(), "*");
    setMenuDisplay(menu, "100%.xml", nullptr);
    EXPECT_EQ(menu->getText(), "100%");

    // With a context the text fits the width, ending in "...", one
    // character of its own at least.
    auto* surface = new CBitmap(10, 10);
    {
        CDrawContext context(surface);
        context.setFont(kNormalFont);
        const CCoord full = context.getStringWidth("A long preset name");
        std::string text = "A long preset name.xml";
        trimStringForDisplay(text, full, &context);
        EXPECT_EQ(text, "A long preset name");
        text = "A long preset name";
        trimStringForDisplay(text, full - 1, &context);
        EXPECT_EQ(text, "A long preset ...");  // one pass: one character less
        text = "A long preset name";
        trimStringForDisplay(text, 40, &context);
        EXPECT_LE(context.getStringWidth(text.c_str()), 40);
        EXPECT_EQ(text.substr(text.size() - 3), "...");
        text = "Wide";
        trimStringForDisplay(text, 1, &context);
        EXPECT_EQ(text, "Wide");  // nothing to give up
        text = "Wider";
        trimStringForDisplay(text, 1, &context);
        EXPECT_EQ(text, "W...");
        // Characters, not bytes, are given up.
        for (CCoord width = 1; width < 80; width += 3) {
            text = "ÄÖÜ äöü ßßß";
            trimStringForDisplay(text, width, &context);
            ASSERT_GE(text.size(), 4u);
            EXPECT_EQ(std::string("ÄÖÜ äöü ßßß").rfind(text.substr(0, text.size() - 3), 0), 0u) << text;
            EXPECT_NE(static_cast<unsigned char>(text[text.size() - 4]) & 0xC0, 0xC0) << text;  // no cut sequence
        }
    }
    surface->forget();
    menu->forget();
}

TEST(FileMenus, TheClosedMenuDrawsItsCaptionOrEntryWithinItsStyle)
{
    const struct {
        long style;
        bool caption;
        bool entry;
        uint32_t left, right;  // pixel (1, 7) and (95, 7)
    } cases[] = {
        {0, true, true, 0xFF000000, 0xFF000000},                       // filled to the right edge
        {kFileMenuArrowStyle, true, true, 0xFF000000, 0xFFFFFFFF},     // the arrow's 20 pixels kept
        {kFileMenuHiddenStyle, true, true, 0xFFFFFFFF, 0xFFFFFFFF},    // nothing at all
    };
    for (const auto& c : cases) {
        auto* target = new CBitmap(100, 14);
        auto* menu = new CMyFileMenu(CRect(0, 0, 100, 14), nullptr, 86, c.style, "");
        menu->setFontColor(kRedCColor);
        menu->addEntry("Entry");
        menu->setText("QS Factory");
        {
            CDrawContext context(target);
            context.setFillColor(kWhiteCColor);
            context.drawRect(CRect(0, 0, 100, 14), kDrawFilled);
            menu->draw(&context);
        }
        EXPECT_EQ(at(target, 1, 7), c.left) << c.style;
        EXPECT_EQ(at(target, 95, 7), c.right) << c.style;
        // Red text somewhere in the middle, unless hidden.
        bool red = false;
        for (int x = 20; x < 80; ++x)
            for (int y = 0; y < 14; ++y) red = red || isRed(at(target, x, y));
        EXPECT_EQ(red, c.style != kFileMenuHiddenStyle) << c.style;
        EXPECT_FALSE(menu->isDirty());
        menu->forget();
        target->forget();
    }
    // With no caption the current entry shows; with no entry, nothing.
    auto* target = new CBitmap(100, 14);
    auto* menu = new CMyFileMenu(CRect(0, 0, 100, 14), nullptr, 86, 0, "");
    menu->setFontColor(kRedCColor);
    auto redPixels = [&] {
        CDrawContext context(target);
        menu->draw(&context);
        int n = 0;
        for (int x = 0; x < 100; ++x)
            for (int y = 0; y < 14; ++y) n += isRed(at(target, x, y));
        return n;
    };
    EXPECT_EQ(redPixels(), 0);
    menu->addEntry("Shown");
    menu->setValue(0.0f);
    EXPECT_GT(redPixels(), 10);
    menu->forget();
    target->forget();
}
