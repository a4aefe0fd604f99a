// Folder menus: the trees made from folders on disk, what a choice resolves to, captions, the closed menu drawn.

#include <gtest/gtest.h>

#include <cairo.h>

#include <filesystem>
#include <fstream>

#include "PluginHarness.h"
#include "editor/FileMenu.h"
#include "gui/Bitmap.h"
#include "gui/DrawContext.h"

namespace fs = std::filesystem;

namespace {

// A fresh folder below the test home with the files ("x/" is a folder).
fs::path tree(const std::string& name, std::initializer_list<std::string> entries)
{
    const fs::path root = harness::TestHome() / "menus" / name;
    fs::remove_all(root);
    fs::create_directories(root);
    for (const std::string& e : entries)
        if (e.back() == '/') fs::create_directories(root / e);
        else std::ofstream(root / e) << "x";
    return root;
}

// The menu as text: sub-menus in brackets, separators as "-", a file named "-" as "file -".
std::string menuShape(const COptionMenu* menu)
{
    std::string out;
    for (long i = 0; i < menu->getNbEntries(); ++i) {
        const CMenuItem* item = menu->getEntry(i);
        const std::string title = item->getTitle();
        out += (i ? ", " : "") + (item->getSubmenu() ? title + " [" + menuShape(item->getSubmenu()) + "]"
                                  : item->isSeparator() ? "-" : title == "-" ? "file -" : title);
    }
    return out;
}

CMyFileMenu* blank(long style = 0) { return new CMyFileMenu(CRect(0, 0, 100, 14), nullptr, 82, style, ""); }

CMyFileMenu* populated(const fs::path& folder, AcceptFile accept, FolderMenu kind, CMyFileMenu* menu = blank())
{
    populate_menu_from_folder(folder.string(), menu, "", accept, kind);
    return menu;
}

}  // namespace

TEST(FileMenus, TreesSortedHiddenSkippedLinksNotFollowedDepthCappedWithTheirClosingCommands)
{
    const fs::path impulses = tree("Impulses", {"cab.wav", "Open/", "Open/room.aif", "notes.txt"});
    const struct { fs::path folder; AcceptFile accept; FolderMenu kind; const char* shape; } cases[] = {
        {tree("Banks", {"Clean.xml", "notes.txt", "Old/", "Old/Inside.xml", "Lead.XML"}), IsValidXMLFile, FolderMenu::banks,
         "Clean, Lead, -, Load Bank..., Import..."},
        {tree("Preamps", {"Clean/", "Clean/Crunch.xml", "Clean/Glass.xml", "Empty/", "a.xml", ".hidden.xml", "Z.xml", "readme.txt"}),
         IsValidXMLFile, FolderMenu::plain, "a, Clean [Crunch, Glass, -, Import...], Empty [-, Import...], Z, -, Import..."},
        {impulses, IsValidForImpulseMenuTree, FolderMenu::impulses,
         "cab.wav, notes.txt, Open [room.aif, -, Load Impulse..., Import...], -, Load Impulse..., Import..."},
        // The impulse reader refuses these files (not audio); an unreadable folder still gives the commands.
        {impulses, IsValidImpulse, FolderMenu::impulses, "Open [-, Load Impulse..., Import...], -, Load Impulse..., Import..."},
        {impulses / "nowhere", IsValidXMLFile, FolderMenu::banks, "-, Load Bank..., Import..."},
    };
    for (const auto& c : cases) {
        CMyFileMenu* menu = populated(c.folder, c.accept, c.kind);
        EXPECT_EQ(menuShape(menu), c.shape);
        menu->forget();
    }
    // An impulse the reader takes is listed whatever its name; files that are
    // not WAV or AIFF at all are passed over without a word.
    const fs::path named = tree("Named", {"Open/", "notes.txt", "x.wav"});
    const fs::path wav = fs::path(TONEWRIGHT_SOURCE_PATH) / "resources" / "impulses" / "Closed 2x12.wav";
    fs::copy_file(wav, named / "Cab IR");
    fs::copy_file(wav, named / "Open" / "room take 2.WAV1");
    testing::internal::CaptureStderr();
    CMyFileMenu* menu = populated(named, IsValidImpulse, FolderMenu::impulses);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(menuShape(menu), "Cab IR, Open [room take 2.WAV1, -, Load Impulse..., Import...], -, Load Impulse..., Import...");
    menu->forget();
    // Case aside, then bytes; hidden folders skipped, the linked folder out, the linked file in; eight levels at most.
    const fs::path root = tree("Order", {"b.xml", "A.xml", "a.xml", "C/", ".git/", ".git/x.xml", "c.xml"});
    fs::create_directory_symlink(root / "C", root / "Linked");
    fs::create_symlink(root / "b.xml", root / "bee.xml");
    fs::path deep = root / "C";
    for (int level = 1; level <= 10; ++level) fs::create_directories(deep /= "L" + std::to_string(level));
    std::ofstream(deep / "deepest.xml") << "x";
    menu = populated(root, IsValidXMLFile, FolderMenu::plain);
    std::string chain = "-, Import...";
    for (int level = kMaxMenuDepth - 1; level >= 1; --level) chain = "L" + std::to_string(level) + " [" + chain + "], -, Import...";
    EXPECT_EQ(menuShape(menu), "A, a, b, bee, C [" + chain + "], c, -, Import...");
    menu->forget();
}

TEST(FileMenus, ChoicesResolveToFilesAndCommandsByPlaceNeverByTitle)
{
    const fs::path banks = tree("Choices", {"Clean.xml", "Lead.XML", "Import....xml", "-.xml", "Rock.xml"});
    const fs::path preamps = tree("SubChoices", {"Clean/", "Clean/Crunch.xml", "Empty/", "Z.xml"});
    // Filled again: no extension of the first filling is left behind.
    CMyFileMenu* bank = populated(banks, IsValidXMLFile, FolderMenu::banks, populated(preamps, IsValidXMLFile, FolderMenu::banks));
    CMyFileMenu* preamp = populated(preamps, IsValidXMLFile, FolderMenu::plain);
    ASSERT_EQ(menuShape(bank), "file -, Clean, Import..., Lead, Rock, -, Load Bank..., Import...");
    auto* clean = static_cast<CMyFileMenu*>(preamp->getSubMenu(0));
    const struct {
        CMyFileMenu *menu, *top;
        long index;
        std::string folder;
        bool withPrefix;
        int result;
        std::string path, name;  // "kept": left alone
    } cases[] = {
        {bank, bank, 1, banks, true, kFileChosen, banks / "Clean.xml", "Clean"},
        {bank, bank, 3, banks, false, kFileChosen, banks / "Lead.XML", "Lead"},  // the extension as written
        {bank, bank, 2, banks, false, kFileChosen, banks / "Import....xml", "Import..."},  // files named like a command
        {bank, bank, 0, banks, false, kFileChosen, banks / "-.xml", "-"},                  // or a separator
        {bank, bank, 6, banks, false, kLoadChosen, banks.string() + "/", "kept"},
        {bank, bank, 7, banks, false, kImportChosen, banks.string() + "/", "kept"},
        {bank, bank, 5, banks, false, kNotAFileMenu, "kept", "kept"},                           // the separator
        {bank, bank, 1, std::string(kMaxPathText, 'a'), false, kNotAFileMenu, "kept", "kept"},  // too long a path
        // In a sub-menu: the file in its folder, the caption on the top; "Import..." for that folder. Past sub-menus.
        {clean, preamp, 0, preamps, false, kFileChosen, preamps / "Clean" / "Crunch.xml", "Crunch"},
        {clean, preamp, 0, preamps, true, kFileChosen, preamps / "Clean" / "Crunch.xml", "Clean/Crunch"},
        {static_cast<CMyFileMenu*>(preamp->getSubMenu(1)), preamp, 1, preamps, false, kImportChosen, preamps.string() + "/Empty/", "kept"},
        {preamp, preamp, 2, preamps, false, kFileChosen, preamps / "Z.xml", "Z"},
    };
    for (const auto& c : cases) {
        std::string path = "kept", name = "kept";
        c.top->setText("before");
        c.menu->setValue(static_cast<float>(c.index));
        EXPECT_EQ(HandleFileMenu(c.menu, path, name, c.folder, c.top, nullptr, 22, c.withPrefix), c.result) << c.path;
        EXPECT_EQ(path + " " + name, c.path + " " + c.name);
        const std::string caption = c.index == 2 && c.top == bank ? c.name : c.top->getText();  // a caption of dots aside
        const std::string wanted = c.result == kFileChosen ? c.name : "before";
        // Wider than the menu less the margin (Clean/Crunch), it shows its start and "...", even with no context.
        const bool cut = caption != wanted && caption.ends_with("...") && wanted.starts_with(caption.substr(0, caption.size() - 3));
        EXPECT_TRUE(caption == wanted || cut) << caption;
        EXPECT_EQ(cut, c.withPrefix && c.menu == clean) << caption;
    }
    std::string path = "kept", name;  // not a menu of files: nothing set
    COptionMenu plain(CRect(0, 0, 10, 10), nullptr, 86);
    for (CControl* menu : {static_cast<CControl*>(nullptr), static_cast<CControl*>(&plain)})
        EXPECT_EQ(HandleFileMenu(menu, path, name, banks.string(), bank, nullptr, 22, false), kNotAFileMenu);
    EXPECT_EQ(path, "kept");
    bank->forget();
    preamp->forget();
}

TEST(FileMenus, CaptionsAreCutShortenedToTheirWidthStarredOnceAndDrawnWithinTheMenusStyle)
{
    CMyFileMenu* menu = blank();
    // Text (nullptr: kept), star set twice (-1: not), caption.
    const struct { const char* text; int star; const char* caption; } cases[] = {
        {"My.Bank", -1, "My"}, {"Rock.xml", 1, "Rock*"}, {nullptr, 0, "Rock"}, {"", 0, ""}, {nullptr, 1, "*"}, {"100%.xml", -1, "100%"}};
    for (const auto& c : cases) {
        if (c.text) setMenuDisplay(menu, c.text, nullptr);
        for (int twice = 0; twice < 2 && c.star >= 0; ++twice) setMenuDisplayStarred(menu, c.star == 1);
        EXPECT_EQ(menu->getText(), c.caption);
    }
    // Without a drawing context a caption is fitted all the same, in the menu's font, on character boundaries.
    for (const std::string& text : {std::string("Quote's \"double\" über alles.xml"), std::string("ÄÖÜÄÖÜÄÖÜÄÖÜÄÖÜÄÖÜ")}) {
        setMenuDisplay(menu, text, nullptr);
        const std::string caption = menu->getText();
        CDrawContext measuring;
        measuring.setFont(menu->getFont());
        EXPECT_LE(measuring.getStringWidth(caption.c_str()), 100 - 22) << caption;
        ASSERT_TRUE(caption.ends_with("...")) << caption;
        EXPECT_TRUE(text.starts_with(caption.substr(0, caption.size() - 3))) << caption;
        EXPECT_NE(static_cast<unsigned char>(caption[caption.size() - 4]) & 0xC0, 0xC0) << caption;
    }
    menu->forget();
    // With a context the text fits, ending in "..." after one character at least; characters, not bytes, go.
    auto* surface = new CBitmap(10, 10);
    {
        CDrawContext context(surface);
        context.setFont(kNormalFont);
        const CCoord full = context.getStringWidth("A long preset name");
        const std::tuple<std::string, CCoord, std::string> fits[] = {{"A long preset name.xml", full, "A long preset name"},
            {"A long preset name", full - 1, "A long preset ..."}, {"A long preset name", 40, "..."}, {"Wide", 1, "Wide"},
            {"Wider", 1, "W..."}};
        for (auto [text, width, fitted] : fits) {
            trimStringForDisplay(text, width, &context);
            EXPECT_TRUE(context.getStringWidth(text.c_str()) <= width || text.size() == 4) << text;  // 4: nothing to give up
            EXPECT_TRUE(text == fitted || (fitted == "..." && text.ends_with(fitted))) << text;
        }
        for (CCoord width = 1; width < 80; width += 3) {
            std::string text = "ÄÖÜ äöü ßßß";
            trimStringForDisplay(text, width, &context);
            ASSERT_GE(text.size(), 4u);
            EXPECT_TRUE(std::string("ÄÖÜ äöü ßßß").starts_with(text.substr(0, text.size() - 3))) << text;
            EXPECT_NE(static_cast<unsigned char>(text[text.size() - 4]) & 0xC0, 0xC0) << text;  // no cut sequence
        }
    }
    surface->forget();

    // Drawn closed, pixels (1, 7) and (95, 7): filled to the right edge, the arrow's 20 pixels kept, nothing at all.
    const struct { long style; uint32_t left, right; } styles[] = {
        {0, 0xFF000000, 0xFF000000}, {kFileMenuArrowStyle, 0xFF000000, 0xFFFFFFFF}, {kFileMenuHiddenStyle, 0xFFFFFFFF, 0xFFFFFFFF}};
    for (const auto& c : styles) {
        auto* target = new CBitmap(100, 14);
        CMyFileMenu* styled = blank(c.style);
        styled->setFontColor(kRedCColor);
        const uint32_t* pixels = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(target->getSurface()));
        auto redDrawn = [&] {  // red pixels drawn over white
            CDrawContext context(target);
            context.setFillColor(kWhiteCColor);
            context.drawRect(CRect(0, 0, 100, 14), kDrawFilled);
            styled->draw(&context);
            cairo_surface_flush(target->getSurface());
            auto red = [](uint32_t p) { return (p >> 16 & 0xFF) > 0x80 && (p >> 8 & 0xFF) < 0x60 && (p & 0xFF) < 0x60; };
            return std::ranges::count_if(pixels, pixels + 100 * 14, red);
        };
        // With no caption the current entry shows; with no entry, nothing.
        EXPECT_EQ(redDrawn(), 0) << c.style;
        styled->addEntry("Shown");
        styled->setValue(0.0f);
        EXPECT_EQ(redDrawn() > 10, c.style != kFileMenuHiddenStyle) << c.style;
        styled->setText("QS Factory");
        EXPECT_EQ(redDrawn() > 10, c.style != kFileMenuHiddenStyle) << c.style;
        EXPECT_EQ(std::pair(pixels[7 * 100 + 1], pixels[7 * 100 + 95]), std::pair(c.left, c.right)) << c.style;
        EXPECT_FALSE(styled->isDirty());
        styled->forget();
        target->forget();
    }
}
