// The product editor's commands against a support folder of the test's own
// and scripted file dialogs: what each menu, button and dialog does to the
// programs, the sound, the names, the files and the flags, failures included
// (they change nothing and copy nothing).

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
using Titles = std::vector<std::string>;

namespace {

const fs::path kResources = fs::path(TONEWRIGHT_SOURCE_PATH) / "resources";

Titles titles(const COptionMenu* menu)
{
    Titles out;
    for (long i = 0; menu && i < menu->getNbEntries(); ++i) out.emplace_back(menu->getEntry(i)->getTitle());
    return out;
}

bool lists(const COptionMenu* menu, const std::string& title)
{
    const Titles t = titles(menu);
    return std::find(t.begin(), t.end(), title) != t.end();
}

// The factory bank with program 0 renamed, as a bank file.
std::string bankNamed(const Product& p, const char* first)
{
    auto programs = std::make_unique<EffectProgram[]>(kBankSize);
    LoadBankFromXML(programs.get(), (p.home.banks() / "QS Factory.xml").c_str());
    copyBounded(programs[0].name, first);
    return BankFileText(programs.get());
}

// How many of the product's complaints `act` writes to standard error.
template <class Act>
int complaints(Act act)
{
    testing::internal::CaptureStderr();
    act();
    const std::string said = testing::internal::GetCapturedStderr();
    int n = 0;
    for (size_t at = said.find("Quarrystone TWR:: "); at != std::string::npos; at = said.find("Quarrystone TWR:: ", at + 1)) ++n;
    return n;
}

// Scripted dialogs whose next one answers with `file` (written first when
// bytes are given); the command then runs to the window's idle.
struct Dialogs : system::ScriptedFileDialogs {
    Product& p;
    explicit Dialogs(Product& product) : p(product) {}
    Dialogs& with(const fs::path& file, const std::string& bytes = {})
    {
        if (!bytes.empty()) write(file, bytes);
        Choose(file.string());
        return *this;
    }
    void menu(CMyFileMenu* m, const Titles& t) { EXPECT_TRUE(p.choose(m, t)); p.idle(); }
    void click(long tag) { p.click(tag); p.idle(); }
    // The last request: title, kind, start and extensions.
    std::string asked() const
    {
        const system::FileDialogRequest r = Requests().back();
        std::string out = r.title + (r.kind == system::FileDialogKind::save ? " save " : " open ") + r.start;
        for (const std::string& extension : r.extensions) out += " " + extension;
        return out;
    }
};

}  // namespace

TEST(ProductEditor, FirstRunInstallsTheSupportFilesOnceAndTheWindowListsThem)
{
    Product p;
    int carried = 0;  // byte for byte
    for (const auto& [from, to] : {std::pair{"preamps", p.home.preamps()}, {"impulses", p.home.impulses()}})
        for (const auto& entry : fs::recursive_directory_iterator(kResources / from)) {
            if (!entry.is_regular_file()) continue;
            ++carried;
            EXPECT_EQ(contents(to / fs::relative(entry.path(), kResources / from)), contents(entry.path()));
        }
    EXPECT_EQ(carried, 16);
    auto* e = p.editor;
    EXPECT_EQ(titles(e->bankMenu), (Titles{"QS Factory", "-", "Load Bank...", "Import..."}));
    EXPECT_EQ(titles(e->preampMenu), (Titles{"Class A", "Clean", "Crunch", "High Gain", "Overdrive", "-", "Import..."}));
    EXPECT_EQ(titles(e->preampMenu->getSubMenu(3)),
              (Titles{"American High Gain", "Modded British", "Modern High Gain", "-", "Import..."}));
    EXPECT_EQ(titles(e->impulseMenu), (Titles{"Closed 2x12 Stereo.wav", "Closed 2x12.wav", "Closed 4x12 Stereo.wav",
                                              "Closed 4x12.wav", "Open 1x12 Stereo.wav", "Open 1x12.wav", "-",
                                              "Load Impulse...", "Import..."}));
    for (CMyFileMenu* programs : {e->presetMenu, e->saveAsMenu}) {
        ASSERT_EQ(programs->getNbEntries(), 128);
        EXPECT_EQ(std::string(programs->getEntry(127)->getTitle()), "128 - " + p.programName(127));
        EXPECT_EQ(programs->getCurrentIndex(), 0);
    }
    EXPECT_EQ(Titles({Product::caption(e->bankMenu), Product::caption(e->presetMenu), Product::caption(e->preampMenu),
                      Product::caption(e->impulseMenu) + ".wav", p.name()}),
              Titles({"QS Factory", "001", p.sounds().first, p.sounds().second, p.programName(0)}));
    EXPECT_FALSE(e->isMoreScreenShown() || p.effect.moreScreenVisible.load());

    // Later instances keep the user's changes and deletions; without the
    // mark (a folder made by hand) missing files come back.
    const fs::path mine = p.home.preamps() / "Clean" / "American Clean.xml", gone = p.home.impulses() / "Open 1x12.wav";
    write(mine, "mine");
    fs::remove(gone);
    { harness::Plugin second; }
    EXPECT_FALSE(fs::exists(gone));
    fs::remove(p.home.support() / ".installed");
    { harness::Plugin third; }
    EXPECT_EQ(contents(mine), "mine");
    EXPECT_EQ(contents(gone), contents(kResources / "impulses" / "Open 1x12.wav"));
}

TEST(ProductEditor, ProgramsFromThePresetMenuTheNameFieldAndTheSaveButtons)
{
    Product p;
    auto* e = p.editor;
    ASSERT_TRUE(p.choose(e->presetMenu, {"006 - " + p.programName(5)}));
    EXPECT_EQ(p.effect.getProgram(), 5);
    EXPECT_EQ(Titles({Product::caption(e->presetMenu), p.name()}), Titles({"006", p.programName(5)}));
    EXPECT_EQ(e->saveAsMenu->getCurrentIndex(), 5);

    // A change: the program is modified and the save button blinks at 2 Hz.
    p.plugin.set(30, 0.125f);
    ASSERT_TRUE(p.effect.programModified.load());
    std::chrono::steady_clock::time_point now(std::chrono::seconds(100));
    e->setClock([&] { return now; });
    std::vector<int> lit;
    for (int ms = 0; ms <= 1000; ms += 125, now += std::chrono::milliseconds(125)) {
        p.idle();
        lit.push_back(e->flashButton->getFlash());
    }
    EXPECT_EQ(lit, (std::vector<int>{0, 0, 1, 1, 0, 0, 1, 1, 0}));

    // The name field renames the stored program only once it is saved (a
    // click released elsewhere saves nothing), with its sound.
    const std::string stored = p.programName(5);
    p.rename("My Sound");
    p.click(kGUIParamPresetSaveButton, false);
    EXPECT_EQ(p.programName(5), stored);
    p.click(kGUIParamPresetSaveButton);
    EXPECT_EQ(p.programName(5), "My Sound");
    EXPECT_FALSE(p.effect.programModified.load());
    now += std::chrono::milliseconds(125);  // a lit phase
    p.idle();
    EXPECT_FALSE(e->flashButton->getFlash());
    EXPECT_EQ(std::string(e->presetMenu->getEntry(5)->getTitle()), "006 - My Sound");
    p.effect.setProgram(0);
    p.effect.setProgram(5);
    EXPECT_FLOAT_EQ(p.plugin.get(30), 0.125f);

    // Save as: into the chosen slot, which becomes current; an empty name
    // is refused.
    p.rename("Copy");
    ASSERT_TRUE(p.choose(e->saveAsMenu, {"010 - " + p.programName(9)}));
    EXPECT_EQ(Titles({p.programName(9), p.programName(5), Product::caption(e->presetMenu)}),
              Titles({"Copy", "My Sound", "010"}));
    EXPECT_EQ(p.effect.getProgram(), 9);
    p.rename("");
    p.click(kGUIParamPresetSaveButton);
    EXPECT_EQ(p.programName(9), "Copy");
}

TEST(ProductEditor, BanksFromTheMenuAndTheDialogsAndBackToTheirFiles)
{
    Product p;
    Dialogs dialogs(p);
    auto* e = p.editor;
    const fs::path desk = p.home.desktop(), banks = p.home.banks();
    write(banks / "Rock.xml", bankNamed(p, "Rock Zero"));
    write(banks / "Broken.xml", "<TWRBank><TWRPreset");
    e->close();
    e->open(nullptr);
    auto state = [&] { return Titles({p.programName(0), p.effect.getBankFile(), Product::caption(e->bankMenu)}); };

    // Program 0 is current and still the new bank's program 0 is applied;
    // a bank that cannot be read changes nothing and says so once.
    const float master = p.plugin.get(30);
    p.plugin.set(30, master < 0.5f ? 0.9f : 0.1f);
    p.effect.setWorkingProgramName("Edited");
    ASSERT_TRUE(p.choose(e->bankMenu, {"Rock"}));
    EXPECT_EQ(p.plugin.get(30), master);
    EXPECT_EQ(p.name(), "Rock Zero");
    EXPECT_EQ(state(), Titles({"Rock Zero", banks / "Rock.xml", "Rock"}));
    EXPECT_EQ(complaints([&] { ASSERT_TRUE(p.choose(e->bankMenu, {"Broken"})); }), 1);
    EXPECT_EQ(state(), Titles({"Rock Zero", banks / "Rock.xml", "Rock"}));

    // Imported from the desktop: copied into Banks, made current, listed;
    // one that cannot be read: nothing copied, nothing changed.
    const std::string gig = bankNamed(p, "Gig Zero");
    dialogs.with(desk / "Gig.xml", gig).menu(e->bankMenu, {"Import..."});
    EXPECT_EQ(dialogs.asked(), "Import Bank open ~/Desktop xml");
    EXPECT_EQ(contents(banks / "Gig.xml"), gig);
    EXPECT_EQ(state(), Titles({"Gig Zero", banks / "Gig.xml", "Gig"}));
    EXPECT_TRUE(lists(e->bankMenu, "Gig"));
    dialogs.with(desk / "Junk.xml", "not a bank").menu(e->bankMenu, {"Import..."});
    EXPECT_FALSE(fs::exists(banks / "Junk.xml"));
    EXPECT_EQ(state(), Titles({"Gig Zero", banks / "Gig.xml", "Gig"}));

    // Loaded from elsewhere: used where it lies, starred when changed, and
    // saved there.
    dialogs.with(desk / "Away.xml", bankNamed(p, "Away Zero")).menu(e->bankMenu, {"Load Bank..."});
    EXPECT_EQ(dialogs.asked(), "Load Bank open ~/Desktop xml");
    EXPECT_FALSE(fs::exists(banks / "Away.xml"));
    EXPECT_EQ(state(), Titles({"Away Zero", desk / "Away.xml", "Away"}));
    p.effect.saveCurrentToBank("Changed", 3);
    e->rebuildUI();
    EXPECT_EQ(Product::caption(e->bankMenu), "Away*");
    p.click(kGUIParamBankSaveButton);
    EXPECT_EQ(contents(desk / "Away.xml"), BankFileText(p.effect.programs));
    EXPECT_EQ(Product::caption(e->bankMenu), "Away");
    EXPECT_FALSE(p.effect.bankModified.load());

    // A save that fails leaves the old file and the star.
    p.effect.saveCurrentToBank("Again", 4);
    e->rebuildUI();
    const std::string before = contents(desk / "Away.xml");
    struct rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ::setrlimit(RLIMIT_FSIZE, &small);
    p.click(kGUIParamBankSaveButton);
    ::setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(contents(desk / "Away.xml"), before);
    EXPECT_EQ(Product::caption(e->bankMenu), "Away*");
    EXPECT_TRUE(p.effect.bankModified.load());

    // Exported into Banks it is listed (".xml" added); elsewhere no menu
    // changes; the bank keeps its own file.
    dialogs.with(banks / "Export").click(kGUIParamBankExportButton);
    EXPECT_EQ(dialogs.asked(), "Export Bank save ~/Desktop/Bank.xml xml");
    EXPECT_EQ(contents(banks / "Export.xml"), BankFileText(p.effect.programs));
    EXPECT_TRUE(lists(e->bankMenu, "Export"));
    const size_t entries = titles(e->bankMenu).size();
    dialogs.with(desk / "Out.xml").click(kGUIParamBankExportButton);
    EXPECT_TRUE(fs::exists(desk / "Out.xml"));
    EXPECT_EQ(titles(e->bankMenu).size(), entries);
    EXPECT_EQ(p.effect.getBankFile(), desk / "Away.xml");
}

TEST(ProductEditor, PreampsAndCabinetsFromTheirMenusAndDialogs)
{
    Product p;
    Dialogs dialogs(p);
    auto* e = p.editor;
    const fs::path desk = p.home.desktop();
    write(p.home.preamps() / "Clean" / "Broken.xml", "<TWRPreset/>");
    write(p.home.impulses() / "bad.wav", "RIFF junk");
    e->close();
    e->open(nullptr);
    EXPECT_FALSE(lists(e->impulseMenu, "bad.wav"));  // the reader refuses it

    // A preamp chosen is modified program; a broken one changes nothing
    // and says so once; one imported in a sub-menu lands in that folder.
    p.effect.programModified = false;
    ASSERT_TRUE(p.choose(e->preampMenu, {"Clean", "American Clean"}));
    EXPECT_EQ(Titles({p.sounds().first, Product::caption(e->preampMenu)}), Titles({"American Clean", "American Clean"}));
    EXPECT_TRUE(p.effect.programModified.load());
    EXPECT_EQ(complaints([&] { ASSERT_TRUE(p.choose(e->preampMenu, {"Clean", "Broken"})); }), 1);
    EXPECT_EQ(Titles({p.sounds().first, Product::caption(e->preampMenu)}), Titles({"American Clean", "American Clean"}));
    dialogs.with(desk / "Mine.xml", contents(kResources / "preamps" / "Overdrive" / "Boutique Overdrive.xml"))
        .menu(e->preampMenu, {"Crunch", "Import..."});
    EXPECT_EQ(dialogs.asked(), "Import Preamp open ~/Desktop xml");
    EXPECT_TRUE(fs::exists(p.home.preamps() / "Crunch" / "Mine.xml"));
    EXPECT_TRUE(lists(e->preampMenu->getSubMenu(2), "Mine"));
    EXPECT_EQ(p.sounds().first, "Mine");

    // Another cabinet sounds different; the same one the same.
    const double before[] = {p.levelAt(1500), p.levelAt(4000)}, again[] = {p.levelAt(1500), p.levelAt(4000)};
    p.effect.programModified = false;
    ASSERT_TRUE(p.choose(e->impulseMenu, {"Open 1x12.wav"}));
    const double after[] = {p.levelAt(1500), p.levelAt(4000)};
    for (int k = 0; k < 2; ++k) EXPECT_NEAR(again[k], before[k], 0.1);
    EXPECT_GT(std::max(std::fabs(after[0] - before[0]), std::fabs(after[1] - before[1])), 1.0)
        << before[0] << " " << after[0] << " / " << before[1] << " " << after[1];
    EXPECT_EQ(Titles({p.sounds().second, Product::caption(e->impulseMenu)}), Titles({"Open 1x12.wav", "Open 1x12"}));
    EXPECT_TRUE(p.effect.programModified.load());

    // Imported: copied, listed, playing. A file the reader refuses: said,
    // not copied, and the cabinet plays on. Loaded from elsewhere: not copied.
    dialogs.with(desk / "Mic.wav", contents(kResources / "impulses" / "Closed 2x12.wav")).menu(e->impulseMenu, {"Import..."});
    EXPECT_EQ(dialogs.asked(), "Import Impulse open ~/Desktop wav aif aiff");
    EXPECT_TRUE(lists(e->impulseMenu, "Mic.wav"));
    EXPECT_EQ(p.sounds().second, "Mic.wav");
    testing::internal::CaptureStderr();
    dialogs.with(desk / "noise.wav", "RIFF").menu(e->impulseMenu, {"Import..."});
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Import Impulse " + (desk / "noise.wav").string() + " failed.\n"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(p.home.impulses() / "noise.wav"));
    EXPECT_EQ(p.sounds().second, "Mic.wav");
    dialogs.with(desk / "Far.wav", contents(kResources / "impulses" / "Closed 4x12.wav")).menu(e->impulseMenu, {"Load Impulse..."});
    EXPECT_EQ(p.sounds().second, "Far.wav");
    EXPECT_FALSE(fs::exists(p.home.impulses() / "Far.wav"));
}

TEST(ProductEditor, PresetsGoOutAndComeBackThroughTheDialogs)
{
    Product p;
    Dialogs dialogs(p);
    const fs::path desk = p.home.desktop();
    p.plugin.set(30, 0.25f);
    p.rename("Lead/Solo");
    dialogs.with(desk / "solo").click(kGUIParamPresetExportButton);
    EXPECT_EQ(dialogs.asked(), "Export Preset save ~/Desktop/Lead-Solo.xml xml");
    EXPECT_NE(contents(desk / "solo.xml").find("name=\"Lead/Solo\""), std::string::npos);

    // Cancelled: nothing. Imported: the sound and the name, modified. One
    // that cannot be read changes nothing and says so once.
    p.plugin.set(30, 0.75f);
    p.rename("Other");
    dialogs.CancelNext();
    dialogs.click(kGUIParamPresetImportButton);
    EXPECT_FLOAT_EQ(p.plugin.get(30), 0.75f);
    dialogs.with(desk / "solo.xml").click(kGUIParamPresetImportButton);
    EXPECT_EQ(dialogs.asked(), "Import Preset open ~/Desktop xml");
    EXPECT_FLOAT_EQ(p.plugin.get(30), 0.25f);
    EXPECT_EQ(p.name(), "Lead/Solo");
    EXPECT_TRUE(p.effect.programModified.load());
    EXPECT_EQ(complaints([&] { dialogs.with(desk / "junk.xml", "<TWRBank/>").click(kGUIParamPresetImportButton); }), 1);
    EXPECT_FLOAT_EQ(p.plugin.get(30), 0.25f);
    EXPECT_EQ(p.name(), "Lead/Solo");

    // An empty name is not exported; long names are cut, and the extension
    // is not doubled.
    const size_t asked = dialogs.Requests().size();
    p.rename("");
    p.click(kGUIParamPresetExportButton);
    EXPECT_EQ(dialogs.Requests().size(), asked);
    EXPECT_EQ(ExportName(std::string(300, 'x')).size(), 200u);
    EXPECT_EQ(WithXmlExtension("/a/b.XML"), "/a/b.XML");
}

TEST(ProductEditor, DialogsLeaveTheWindowRunningAndOneAtATime)
{
    Product p;
    system::ScriptedFileDialogs dialogs;
    auto* e = p.editor;
    write(p.home.desktop() / "Slow.xml", contents(p.home.banks() / "QS Factory.xml"));
    dialogs.Choose((p.home.desktop() / "Slow.xml").string(), 5);
    ASSERT_TRUE(p.choose(e->bankMenu, {"Load Bank..."}));
    p.idle(3);
    EXPECT_TRUE(e->isDialogOpen());
    p.click(kGUIParamPresetImportButton);  // refused while one is open
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
    system::ScriptedFileDialogs none;  // no dialog program: the command stops
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
    system::ScriptedFileDialogs dialogs;
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
