// The product editor's commands against a support folder of the test's own
// and the scripted file dialogs: what each menu, button and dialog does to
// the programs, the sound, the names, the files and the flags, failures
// included (they change nothing and copy nothing).

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <algorithm>

#include "EditorTestSupport.h"
#include "ProductTestSupport.h"
#include "dsp/StringUtil.h"
#include "plugin/PresetXml.h"
#include "system/FileDialog.h"

using namespace producttest;
using namespace tonewright;
using tonewright::system::ScriptedFileDialogs;

namespace {

const fs::path kResources = fs::path(TONEWRIGHT_SOURCE_PATH) / "resources";

std::vector<std::string> titles(const COptionMenu* menu)
{
    std::vector<std::string> out;
    for (long i = 0; menu && i < menu->getNbEntries(); ++i) out.emplace_back(menu->getEntry(i)->getTitle());
    return out;
}

bool lists(const COptionMenu* menu, const std::string& title)
{
    const auto t = titles(menu);
    return std::find(t.begin(), t.end(), title) != t.end();
}

// A bank file: the factory bank with program 0 renamed (and its master at
// `master`).
std::string bankNamed(const fs::path& factory, const char* first)
{
    auto programs = std::make_unique<EffectProgram[]>(kBankSize);
    LoadBankFromXML(programs.get(), factory.c_str());
    copyBounded(programs[0].name, first);
    return BankFileText(programs.get());
}

int lines(const std::string& text, const std::string& start)
{
    int n = 0;
    for (size_t at = text.find(start); at != std::string::npos; at = text.find(start, at + 1)) ++n;
    return n;
}

}  // namespace

TEST(ProductEditor, FirstRunInstallsTheSupportFilesAndTheOpenWindowListsAndShowsThem)
{
    Product p;
    // The carried files, byte for byte.
    int carried = 0;
    for (const auto& entry : fs::recursive_directory_iterator(kResources / "preamps")) {
        if (!entry.is_regular_file()) continue;
        ++carried;
        EXPECT_EQ(contents(p.home.preamps() / fs::relative(entry.path(), kResources / "preamps")), contents(entry.path()));
    }
    for (const auto& entry : fs::directory_iterator(kResources / "impulses")) {
        ++carried;
        EXPECT_EQ(contents(p.home.impulses() / entry.path().filename()), contents(entry.path()));
    }
    EXPECT_EQ(carried, 16);

    auto* e = p.editor;
    EXPECT_EQ(titles(e->bankMenu), (std::vector<std::string>{"QS Factory", "-", "Load Bank...", "Import..."}));
    EXPECT_EQ(titles(e->preampMenu), (std::vector<std::string>{"Class A", "Clean", "Crunch", "High Gain", "Overdrive",
                                                                "-", "Import..."}));
    EXPECT_EQ(titles(e->preampMenu->getSubMenu(3)),
              (std::vector<std::string>{"American High Gain", "Modded British", "Modern High Gain", "-", "Import..."}));
    EXPECT_EQ(titles(e->impulseMenu),
              (std::vector<std::string>{"Closed 2x12 Stereo.wav", "Closed 2x12.wav", "Closed 4x12 Stereo.wav",
                                        "Closed 4x12.wav", "Open 1x12 Stereo.wav", "Open 1x12.wav", "-",
                                        "Load Impulse...", "Import..."}));
    for (CMyFileMenu* programs : {e->presetMenu, e->saveAsMenu}) {
        ASSERT_EQ(programs->getNbEntries(), 128);
        EXPECT_EQ(std::string(programs->getEntry(0)->getTitle()), "001 - " + p.programName(0));
        EXPECT_EQ(std::string(programs->getEntry(127)->getTitle()), "128 - " + p.programName(127));
        EXPECT_EQ(programs->getCurrentIndex(), 0);
    }
    std::string preamp, impulse;
    p.effect.getSoundNames(preamp, impulse);
    EXPECT_EQ(Product::caption(e->bankMenu), "QS Factory");
    EXPECT_EQ(Product::caption(e->presetMenu), "001");
    EXPECT_EQ(Product::caption(e->preampMenu), preamp);
    EXPECT_EQ(Product::caption(e->impulseMenu) + ".wav", impulse);
    EXPECT_EQ(std::string(e->nameEdit->getText()), p.programName(0));
    EXPECT_FALSE(e->isMoreScreenShown());
    EXPECT_FALSE(p.effect.moreScreenVisible.load());
}

TEST(ProductEditor, UsersFilesAreNeverReplacedAndDeletedOnesStayDeleted)
{
    SupportHome home;
    { harness::Plugin first; }
    write(home.preamps() / "Clean" / "American Clean.xml", "mine");
    fs::remove(home.impulses() / "Open 1x12.wav");
    { harness::Plugin second; }
    EXPECT_EQ(contents(home.preamps() / "Clean" / "American Clean.xml"), "mine");
    EXPECT_FALSE(fs::exists(home.impulses() / "Open 1x12.wav"));
    // Without the mark (a folder made by hand) the missing files come back.
    fs::remove(home.support() / ".installed");
    { harness::Plugin third; }
    EXPECT_EQ(contents(home.preamps() / "Clean" / "American Clean.xml"), "mine");
    EXPECT_EQ(contents(home.impulses() / "Open 1x12.wav"), contents(kResources / "impulses" / "Open 1x12.wav"));
}

TEST(ProductEditor, ProgramsFromThePresetMenuTheNameFieldAndTheSaveButtons)
{
    Product p;
    auto* e = p.editor;
    ASSERT_TRUE(p.choose(e->presetMenu, {"006 - " + p.programName(5)}));
    EXPECT_EQ(p.effect.getProgram(), 5);
    EXPECT_EQ(Product::caption(e->presetMenu), "006");
    EXPECT_EQ(std::string(e->nameEdit->getText()), p.programName(5));
    EXPECT_EQ(e->saveAsMenu->getCurrentIndex(), 5);

    // A change: the program is modified and the save button blinks at 2 Hz.
    p.plugin.set(30, 0.125f);
    ASSERT_TRUE(p.effect.programModified.load());
    std::chrono::steady_clock::time_point now(std::chrono::seconds(100));
    e->setClock([&] { return now; });
    std::vector<int> lit;
    for (int ms = 0; ms <= 1000; ms += 125) {
        now = std::chrono::steady_clock::time_point(std::chrono::seconds(100) + std::chrono::milliseconds(ms));
        p.idle();
        lit.push_back(e->flashButton->getFlash());
    }
    EXPECT_EQ(lit, (std::vector<int>{0, 0, 1, 1, 0, 0, 1, 1, 0}));

    // The name field renames the stored program only once it is saved.
    const std::string stored = p.programName(5);
    e->nameEdit->setText("My Sound");
    e->valueChanged(e->nameEdit);
    EXPECT_EQ(p.programName(5), stored);
    p.click(kGUIParamPresetSaveButton, false);  // released elsewhere: cancelled
    EXPECT_EQ(p.programName(5), stored);
    p.click(kGUIParamPresetSaveButton);
    EXPECT_EQ(p.programName(5), "My Sound");
    EXPECT_FALSE(p.effect.programModified.load());
    now += std::chrono::milliseconds(250);
    p.idle();
    EXPECT_FALSE(e->flashButton->getFlash());
    EXPECT_EQ(std::string(e->presetMenu->getEntry(5)->getTitle()), "006 - My Sound");
    p.effect.setProgram(0);
    p.effect.setProgram(5);
    EXPECT_FLOAT_EQ(p.plugin.get(30), 0.125f);  // the sound was stored with it

    // Save as: into the chosen slot, which becomes current.
    e->nameEdit->setText("Copy");
    e->valueChanged(e->nameEdit);
    ASSERT_TRUE(p.choose(e->saveAsMenu, {"010 - " + p.programName(9)}));
    EXPECT_EQ(p.programName(9), "Copy");
    EXPECT_EQ(p.effect.getProgram(), 9);
    EXPECT_EQ(Product::caption(e->presetMenu), "010");
    EXPECT_EQ(p.programName(5), "My Sound");
    // An empty name is refused.
    e->nameEdit->setText("");
    e->valueChanged(e->nameEdit);
    p.click(kGUIParamPresetSaveButton);
    EXPECT_EQ(p.programName(9), "Copy");
}

TEST(ProductEditor, BanksFromTheMenuAndTheDialogsAndBackToTheirFiles)
{
    Product p;
    ScriptedFileDialogs dialogs;
    auto* e = p.editor;
    const fs::path factory = p.home.banks() / "QS Factory.xml";
    write(p.home.banks() / "Rock.xml", bankNamed(factory, "Rock Zero"));
    write(p.home.banks() / "Broken.xml", "<TWRBank><TWRPreset");
    e->close();
    e->open(nullptr);

    // Program 0 is current and still the new bank's program 0 is applied.
    const float master = p.plugin.get(30);
    p.plugin.set(30, master < 0.5f ? 0.9f : 0.1f);
    p.effect.setWorkingProgramName("Edited");
    ASSERT_TRUE(p.choose(e->bankMenu, {"Rock"}));
    EXPECT_EQ(p.plugin.get(30), master);
    EXPECT_EQ(p.programName(0), "Rock Zero");
    EXPECT_EQ(std::string(e->nameEdit->getText()), "Rock Zero");
    EXPECT_EQ(p.effect.getBankName(), "Rock.xml");
    EXPECT_EQ(Product::caption(e->bankMenu), "Rock");

    // A bank that cannot be read changes nothing and says so once.
    testing::internal::CaptureStderr();
    ASSERT_TRUE(p.choose(e->bankMenu, {"Broken"}));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(lines(said, "Quarrystone TWR:: "), 1) << said;
    EXPECT_EQ(p.programName(0), "Rock Zero");
    EXPECT_EQ(Product::caption(e->bankMenu), "Rock");
    EXPECT_EQ(p.effect.getBankFile(), p.home.banks() / "Rock.xml");

    // Imported from the desktop: copied into Banks, made current, listed.
    write(p.home.desktop() / "Gig.xml", bankNamed(factory, "Gig Zero"));
    dialogs.Choose((p.home.desktop() / "Gig.xml").string());
    ASSERT_TRUE(p.choose(e->bankMenu, {"Import..."}));
    p.idle();
    EXPECT_EQ(contents(p.home.banks() / "Gig.xml"), contents(p.home.desktop() / "Gig.xml"));
    EXPECT_EQ(p.programName(0), "Gig Zero");
    EXPECT_EQ(p.effect.getBankFile(), p.home.banks() / "Gig.xml");
    EXPECT_TRUE(lists(e->bankMenu, "Gig"));
    EXPECT_EQ(Product::caption(e->bankMenu), "Gig");
    EXPECT_EQ(dialogs.Requests().back().title, "Import Bank");
    EXPECT_EQ(dialogs.Requests().back().start, "~/Desktop");
    EXPECT_EQ(dialogs.Requests().back().extensions, std::vector<std::string>{"xml"});
    // One that cannot be read: nothing copied, nothing changed.
    write(p.home.desktop() / "Junk.xml", "not a bank");
    dialogs.Choose((p.home.desktop() / "Junk.xml").string());
    ASSERT_TRUE(p.choose(e->bankMenu, {"Import..."}));
    p.idle();
    EXPECT_FALSE(fs::exists(p.home.banks() / "Junk.xml"));
    EXPECT_EQ(p.effect.getBankName(), "Gig.xml");

    // Loaded from elsewhere: used where it lies, and saved there.
    write(p.home.desktop() / "Away.xml", bankNamed(factory, "Away Zero"));
    dialogs.Choose((p.home.desktop() / "Away.xml").string());
    ASSERT_TRUE(p.choose(e->bankMenu, {"Load Bank..."}));
    p.idle();
    EXPECT_EQ(dialogs.Requests().back().title, "Load Bank");
    EXPECT_FALSE(fs::exists(p.home.banks() / "Away.xml"));
    EXPECT_EQ(Product::caption(e->bankMenu), "Away");
    p.effect.saveCurrentToBank("Changed", 3);
    e->rebuildUI();
    EXPECT_EQ(Product::caption(e->bankMenu), "Away*");
    p.click(kGUIParamBankSaveButton);
    EXPECT_EQ(contents(p.home.desktop() / "Away.xml"), BankFileText(p.effect.programs));
    EXPECT_EQ(Product::caption(e->bankMenu), "Away");
    EXPECT_FALSE(p.effect.bankModified.load());

    // A save that fails leaves the old file and the star.
    p.effect.saveCurrentToBank("Again", 4);
    e->rebuildUI();
    const std::string before = contents(p.home.desktop() / "Away.xml");
    struct rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ::setrlimit(RLIMIT_FSIZE, &small);
    p.click(kGUIParamBankSaveButton);
    ::setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(contents(p.home.desktop() / "Away.xml"), before);
    EXPECT_EQ(Product::caption(e->bankMenu), "Away*");
    EXPECT_TRUE(p.effect.bankModified.load());

    // Exported into Banks it is listed (".xml" added); elsewhere no menu
    // changes; the bank keeps its own file.
    dialogs.Choose((p.home.banks() / "Export").string());
    p.click(kGUIParamBankExportButton);
    p.idle();
    EXPECT_EQ(dialogs.Requests().back().kind, system::FileDialogKind::save);
    EXPECT_EQ(dialogs.Requests().back().start, "~/Desktop/Bank.xml");
    EXPECT_EQ(contents(p.home.banks() / "Export.xml"), BankFileText(p.effect.programs));
    EXPECT_TRUE(lists(e->bankMenu, "Export"));
    const size_t entries = titles(e->bankMenu).size();
    dialogs.Choose((p.home.desktop() / "Out.xml").string());
    p.click(kGUIParamBankExportButton);
    p.idle();
    EXPECT_TRUE(fs::exists(p.home.desktop() / "Out.xml"));
    EXPECT_EQ(titles(e->bankMenu).size(), entries);
    EXPECT_EQ(p.effect.getBankFile(), p.home.desktop() / "Away.xml");
}

TEST(ProductEditor, PreampsAndCabinetsFromTheirMenusAndDialogs)
{
    Product p;
    ScriptedFileDialogs dialogs;
    auto* e = p.editor;
    write(p.home.preamps() / "Clean" / "Broken.xml", "<TWRPreset/>");
    write(p.home.impulses() / "bad.wav", "RIFF junk");
    e->close();
    e->open(nullptr);
    EXPECT_FALSE(lists(e->impulseMenu, "bad.wav"));  // the reader refuses it

    p.effect.programModified = false;
    ASSERT_TRUE(p.choose(e->preampMenu, {"Clean", "American Clean"}));
    std::string preamp, impulse;
    p.effect.getSoundNames(preamp, impulse);
    EXPECT_EQ(preamp, "American Clean");
    EXPECT_EQ(Product::caption(e->preampMenu), "American Clean");
    EXPECT_TRUE(p.effect.programModified.load());
    // A broken description changes nothing.
    testing::internal::CaptureStderr();
    ASSERT_TRUE(p.choose(e->preampMenu, {"Clean", "Broken"}));
    EXPECT_EQ(lines(testing::internal::GetCapturedStderr(), "Quarrystone TWR:: "), 1);
    p.effect.getSoundNames(preamp, impulse);
    EXPECT_EQ(preamp, "American Clean");
    EXPECT_EQ(Product::caption(e->preampMenu), "American Clean");
    // Imported in a sub-menu: it lands in that folder.
    fs::copy_file(kResources / "preamps" / "Overdrive" / "Boutique Overdrive.xml", p.home.desktop() / "Mine.xml");
    dialogs.Choose((p.home.desktop() / "Mine.xml").string());
    ASSERT_TRUE(p.choose(e->preampMenu, {"Crunch", "Import..."}));
    p.idle();
    EXPECT_EQ(dialogs.Requests().back().title, "Import Preamp");
    EXPECT_TRUE(fs::exists(p.home.preamps() / "Crunch" / "Mine.xml"));
    EXPECT_TRUE(lists(e->preampMenu->getSubMenu(2), "Mine"));
    p.effect.getSoundNames(preamp, impulse);
    EXPECT_EQ(preamp, "Mine");

    // Another cabinet sounds different; the same one the same.
    const double before[] = {p.levelAt(1500), p.levelAt(4000)};
    const double again[] = {p.levelAt(1500), p.levelAt(4000)};
    p.effect.programModified = false;
    ASSERT_TRUE(p.choose(e->impulseMenu, {"Open 1x12.wav"}));
    const double after[] = {p.levelAt(1500), p.levelAt(4000)};
    for (int k = 0; k < 2; ++k) EXPECT_NEAR(again[k], before[k], 0.1);
    EXPECT_GT(std::max(std::fabs(after[0] - before[0]), std::fabs(after[1] - before[1])), 1.0)
        << before[0] << " " << after[0] << " / " << before[1] << " " << after[1];
    p.effect.getSoundNames(preamp, impulse);
    EXPECT_EQ(impulse, "Open 1x12.wav");
    EXPECT_EQ(Product::caption(e->impulseMenu), "Open 1x12");
    EXPECT_TRUE(p.effect.programModified.load());

    // Imported: copied, listed, playing. A file the reader refuses: said,
    // not copied, and the cabinet plays on.
    fs::copy_file(kResources / "impulses" / "Closed 2x12.wav", p.home.desktop() / "Mic.wav");
    dialogs.Choose((p.home.desktop() / "Mic.wav").string());
    ASSERT_TRUE(p.choose(e->impulseMenu, {"Import..."}));
    p.idle();
    EXPECT_EQ(dialogs.Requests().back().extensions, (std::vector<std::string>{"wav", "aif", "aiff"}));
    EXPECT_TRUE(lists(e->impulseMenu, "Mic.wav"));
    p.effect.getSoundNames(preamp, impulse);
    EXPECT_EQ(impulse, "Mic.wav");
    write(p.home.desktop() / "noise.wav", "RIFF");
    dialogs.Choose((p.home.desktop() / "noise.wav").string());
    ASSERT_TRUE(p.choose(e->impulseMenu, {"Import..."}));
    testing::internal::CaptureStderr();
    p.idle();
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Import Impulse " + (p.home.desktop() / "noise.wav").string() +
                                                          " failed.\n"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(p.home.impulses() / "noise.wav"));
    p.effect.getSoundNames(preamp, impulse);
    EXPECT_EQ(impulse, "Mic.wav");
    // Loaded from elsewhere: not copied.
    fs::copy_file(kResources / "impulses" / "Closed 4x12.wav", p.home.desktop() / "Far.wav");
    dialogs.Choose((p.home.desktop() / "Far.wav").string());
    ASSERT_TRUE(p.choose(e->impulseMenu, {"Load Impulse..."}));
    p.idle();
    p.effect.getSoundNames(preamp, impulse);
    EXPECT_EQ(impulse, "Far.wav");
    EXPECT_FALSE(fs::exists(p.home.impulses() / "Far.wav"));
}

TEST(ProductEditor, PresetsGoOutAndComeBackThroughTheDialogs)
{
    Product p;
    ScriptedFileDialogs dialogs;
    auto* e = p.editor;
    p.plugin.set(30, 0.25f);
    e->nameEdit->setText("Lead/Solo");
    e->valueChanged(e->nameEdit);
    dialogs.Choose((p.home.desktop() / "solo").string());
    p.click(kGUIParamPresetExportButton);
    p.idle();
    EXPECT_EQ(dialogs.Requests().back().start, "~/Desktop/Lead-Solo.xml");
    EXPECT_EQ(dialogs.Requests().back().kind, system::FileDialogKind::save);
    const std::string file = contents(p.home.desktop() / "solo.xml");
    EXPECT_NE(file.find("name=\"Lead/Solo\""), std::string::npos);

    p.plugin.set(30, 0.75f);
    e->nameEdit->setText("Other");
    e->valueChanged(e->nameEdit);
    dialogs.CancelNext();
    p.click(kGUIParamPresetImportButton);
    p.idle();
    EXPECT_FLOAT_EQ(p.plugin.get(30), 0.75f);  // cancelled: nothing
    dialogs.Choose((p.home.desktop() / "solo.xml").string());
    p.click(kGUIParamPresetImportButton);
    p.idle();
    EXPECT_EQ(dialogs.Requests().back().title, "Import Preset");
    EXPECT_FLOAT_EQ(p.plugin.get(30), 0.25f);
    EXPECT_EQ(std::string(e->nameEdit->getText()), "Lead/Solo");
    EXPECT_TRUE(p.effect.programModified.load());
    // One that cannot be read changes nothing and says so once.
    write(p.home.desktop() / "junk.xml", "<TWRBank/>");
    dialogs.Choose((p.home.desktop() / "junk.xml").string());
    p.click(kGUIParamPresetImportButton);
    testing::internal::CaptureStderr();
    p.idle();
    EXPECT_EQ(lines(testing::internal::GetCapturedStderr(), "Quarrystone TWR:: "), 1);
    EXPECT_FLOAT_EQ(p.plugin.get(30), 0.25f);
    EXPECT_EQ(std::string(e->nameEdit->getText()), "Lead/Solo");
    // An empty name is not exported.
    const size_t asked = dialogs.Requests().size();
    e->nameEdit->setText("");
    e->valueChanged(e->nameEdit);
    p.click(kGUIParamPresetExportButton);
    EXPECT_EQ(dialogs.Requests().size(), asked);
    EXPECT_EQ(ExportName(std::string(300, 'x')).size(), 200u);
    EXPECT_EQ(WithXmlExtension("/a/b.XML"), "/a/b.XML");
}

TEST(ProductEditor, DialogsLeaveTheWindowRunningAndOneAtATime)
{
    Product p;
    ScriptedFileDialogs dialogs;
    auto* e = p.editor;
    write(p.home.desktop() / "Slow.xml", contents(p.home.banks() / "QS Factory.xml"));
    dialogs.Choose((p.home.desktop() / "Slow.xml").string(), 5);
    ASSERT_TRUE(p.choose(e->bankMenu, {"Load Bank..."}));
    p.idle(3);
    EXPECT_TRUE(e->isDialogOpen());
    // Another command that needs a dialog waits its turn: refused.
    p.click(kGUIParamPresetImportButton);
    EXPECT_EQ(dialogs.Requests().size(), 1u);
    p.idle(3);
    EXPECT_FALSE(e->isDialogOpen());
    EXPECT_EQ(p.effect.getBankName(), "Slow.xml");
    // Closing the window drops a dialog still open.
    dialogs.Choose((p.home.desktop() / "Slow.xml").string(), 100);
    p.click(kGUIParamPresetImportButton);
    EXPECT_TRUE(e->isDialogOpen());
    e->close();
    EXPECT_FALSE(e->isDialogOpen());
    e->open(nullptr);
    p.idle(3);
    EXPECT_FALSE(e->isDialogOpen());
    // No dialog program at all: the command stops, nothing changes.
    ScriptedFileDialogs none;  // answers nothing
    p.click(kGUIParamBankExportButton);
    EXPECT_FALSE(e->isDialogOpen());
}

TEST(ProductEditor, AKickButtonActsOnItsWayToOnOnly)
{
    editortest::TestSkin skin;
    skin.description(R"(<skin>
        <CMyKickButton x=10 y=10 width=20 height=20 tag=kGUIParamPresetImportButton heightofoneimage=20/>
    </skin>)");
    Product p;
    ScriptedFileDialogs dialogs;
    dialogs.Choose("/nowhere.xml", 100);
    CControl* kick = p.view(kGUIParamPresetImportButton);
    ASSERT_NE(kick, nullptr);
    CPoint in(20, 20), out(200, 200);
    kick->onMouseDown(in, kLButton);
    kick->onMouseMoved(out, kLButton);
    kick->onMouseUp(out, kLButton);  // cancelled: it only went back to off
    EXPECT_TRUE(dialogs.Requests().empty());
    testing::internal::CaptureStderr();
    kick->onMouseDown(in, kLButton);
    kick->onMouseUp(in, kLButton);  // on, then off again: one command
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(dialogs.Requests().size(), 1u);
    EXPECT_TRUE(p.editor->isDialogOpen());
}
