// The product editor's commands, with a support folder of the test's own and scripted file dialogs: what
// each does to the programs, the sound, the names, the files and the flags; failures change and copy nothing.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "EditorTestSupport.h"
#include "ProductTestSupport.h"
#include "dsp/StringUtil.h"
#include "plugin/PresetXml.h"

using namespace producttest;
using namespace tonewright;
using Titles = std::vector<std::string>;

namespace {

const fs::path kResources = fs::path(TONEWRIGHT_SOURCE_PATH) / "resources";

Titles titles(const COptionMenu* m)
{
    Titles out;
    for (long i = 0; i < m->getNbEntries(); ++i) out.emplace_back(m->getEntry(i)->getTitle());
    return out;
}

bool lists(const COptionMenu* menu, const char* title) { return std::ranges::count(titles(menu), title) == 1; }

std::string bankNamed(const Product& p, const char* first)  // the factory bank, program 0 renamed
{
    auto programs = std::make_unique<EffectProgram[]>(kBankSize);
    LoadBankFromXML(programs.get(), (p.home.banks() / "QS Factory.xml").c_str());
    return copyBounded(programs[0].name, first), BankFileText(programs.get());
}

// The files written, then the window opened again to list them.
void reopenWith(Product& p, const std::vector<std::pair<fs::path, std::string>>& files)
{
    for (const auto& [file, bytes] : files) write(file, bytes);
    p.editor->close(), p.editor->open(nullptr);
}

// What `act` writes to standard error; how many complaints (lines) that is.
template <class Act>
std::string said(Act act) { testing::internal::CaptureStderr(); act(); return testing::internal::GetCapturedStderr(); }
template <class Act>
long complaints(Act act) { const std::string text = said(act); return std::ranges::count(text, '\n'); }

// Scripted dialogs; the next answers `file` (written first when bytes are given), run to the window's idle.
struct Dialogs : system::ScriptedFileDialogs {
    Product& p;
    explicit Dialogs(Product& product) : p(product) {}
    Dialogs& with(const fs::path& file, const std::string& bytes = {})
    {
        if (!bytes.empty()) write(file, bytes);
        Choose(file.string());
        return *this;
    }
    void menu(CMyFileMenu* m, const Titles& t) { EXPECT_TRUE(p.choose(m, t)) << t.back(); p.idle(); }
    void click(long tag) { p.click(tag), p.idle(); }
    std::string asked() const  // the last request: title, kind, start (a question's text), extensions
    {
        if (Requests().empty()) return "nothing";
        const system::FileDialogRequest r = Requests().back();
        if (r.kind == system::FileDialogKind::question) return r.title + " question " + r.text;
        std::string out = r.title + (r.kind == system::FileDialogKind::save ? " save " : " open ") + r.start;
        for (const std::string& extension : r.extensions) out += " " + extension;
        return out;
    }
};

}  // namespace

TEST(ProductEditor, FirstRunInstallsTheSupportFilesOnceAndTheWindowListsThem)
{
    Product p;
    auto* e = p.editor;
    int carried = 0;  // byte for byte
    for (const auto& [from, to] : {std::pair{"preamps", p.home.preamps()}, {"impulses", p.home.impulses()}})
        for (const auto& entry : fs::recursive_directory_iterator(kResources / from))
            carried += entry.is_regular_file() && contents(to / fs::relative(entry.path(), kResources / from)) == contents(entry.path());
    EXPECT_EQ(carried, 16);
    EXPECT_EQ(titles(e->bankMenu), (Titles{"QS Factory", "-", "Load Bank...", "Import..."}));
    EXPECT_EQ(titles(e->preampMenu), (Titles{"Class A", "Clean", "Crunch", "High Gain", "Overdrive", "-", "Import..."}));
    EXPECT_EQ(titles(e->impulseMenu), (Titles{"Closed 2x12 Stereo.wav", "Closed 2x12.wav", "Closed 4x12 Stereo.wav", "Closed 4x12.wav",
                                              "Open 1x12 Stereo.wav", "Open 1x12.wav", "-", "Load Impulse...", "Import..."}));
    for (CMyFileMenu* programs : {e->presetMenu, e->saveAsMenu})
        EXPECT_EQ(titles(programs).back() + std::to_string(programs->getCurrentIndex()), "128 - " + p.programName(127) + "0");
    EXPECT_EQ(Titles({Product::caption(e->bankMenu), Product::caption(e->impulseMenu) + ".wav", p.name()}),
              Titles({"QS Factory", p.sound(true), p.programName(0)}));
    // Later instances keep the user's changes and deletions; without the mark (made by hand) missing files come back.
    const fs::path mine = p.home.preamps() / "Clean" / "American Clean.xml", gone = p.home.impulses() / "Open 1x12.wav";
    write(mine, "mine"), fs::remove(gone), harness::Plugin();
    EXPECT_FALSE(fs::exists(gone));
    fs::remove(p.home.support() / ".installed"), harness::Plugin();
    EXPECT_EQ(contents(mine), "mine");
    EXPECT_EQ(contents(gone), contents(kResources / "impulses" / "Open 1x12.wav"));
}

TEST(ProductEditor, ProgramsFromThePresetMenuTheNameFieldTheSaveButtonsAndPresetFiles)
{
    Product p;
    auto* e = p.editor;
    auto shown = [&] { return Titles({Product::caption(e->presetMenu), p.name(), std::to_string(e->saveAsMenu->getCurrentIndex())}); };
    ASSERT_TRUE(p.choose(e->presetMenu, {"006 - " + p.programName(5)}));
    EXPECT_EQ(shown(), Titles({"006", p.programName(5), "5"}));
    // A change: the program is modified and the save button blinks at 2 Hz.
    p.plugin.set(30, 0.125f);
    std::chrono::steady_clock::time_point now(std::chrono::seconds(100));
    e->setClock([&] { return now; });
    std::vector<int> lit;
    for (int ms = 0; ms <= 1000; ms += 125, now += std::chrono::milliseconds(125)) p.idle(), lit.push_back(e->flashButton->getFlash());
    EXPECT_EQ(lit, (std::vector<int>{0, 0, 1, 1, 0, 0, 1, 1, 0}));
    // The name field renames the stored program, with its sound, once saved (not by a click released away).
    const std::string stored = p.programName(5);
    p.rename("My Sound"), p.click(kGUIParamPresetSaveButton, false);
    EXPECT_EQ(p.programName(5), stored);
    p.click(kGUIParamPresetSaveButton), now += std::chrono::milliseconds(125), p.idle();  // into a lit phase
    EXPECT_FALSE(p.effect.isProgramModified() || e->flashButton->getFlash());
    EXPECT_EQ(titles(e->presetMenu)[5], "006 - My Sound");
    p.effect.setProgram(0), p.effect.setProgram(5);
    EXPECT_FLOAT_EQ(p.plugin.get(30), 0.125f);
    // Save as: into the chosen slot, which becomes current; an empty name is refused.
    p.rename("Copy");
    ASSERT_TRUE(p.choose(e->saveAsMenu, {"010 - " + p.programName(9)}));
    EXPECT_EQ(shown(), Titles({"010", "Copy", "9"}));
    p.rename(""), p.click(kGUIParamPresetSaveButton);
    EXPECT_EQ(Titles({p.programName(5), p.programName(9)}), Titles({"My Sound", "Copy"}));
    // A preset out to a file and back through the dialogs.
    Dialogs dialogs(p);
    const fs::path desk = p.home.desktop();
    p.plugin.set(30, 0.25f), p.rename("Lead/Solo");
    dialogs.with(desk / "solo").click(kGUIParamPresetExportButton);
    EXPECT_EQ(dialogs.asked(), "Export Preset save ~/Desktop/Lead-Solo.xml xml");
    EXPECT_NE(contents(desk / "solo.xml").find("name=\"Lead/Solo\""), std::string::npos);
    // Cancelled: nothing. Imported: the sound and the name, modified. An unreadable one: nothing, said once.
    p.plugin.set(30, 0.75f), p.rename("Other"), dialogs.CancelNext();
    dialogs.click(kGUIParamPresetImportButton);
    EXPECT_FLOAT_EQ(p.plugin.get(30), 0.75f);
    dialogs.with(desk / "solo.xml").click(kGUIParamPresetImportButton);
    EXPECT_TRUE(p.effect.isProgramModified());
    EXPECT_EQ(complaints([&] { dialogs.with(desk / "junk.xml", "<TWRBank/>").click(kGUIParamPresetImportButton); }), 1);
    EXPECT_EQ(std::pair(p.plugin.get(30), p.name()), std::pair(0.25f, std::string("Lead/Solo")));
    // An empty name is not exported; long names are cut, the extension not doubled.
    const size_t asked = dialogs.Requests().size();
    p.rename(""), p.click(kGUIParamPresetExportButton);
    EXPECT_EQ(dialogs.Requests().size(), asked);
    EXPECT_EQ(ExportName(std::string(300, 'x')).size(), 200u);
    EXPECT_EQ(WithXmlExtension("/a/b.XML"), "/a/b.XML");
}

TEST(ProductEditor, BanksFromTheMenuAndTheDialogsAndBackToTheirFiles)
{
    Product p;
    Dialogs dialogs(p);
    auto* e = p.editor;
    const fs::path desk = p.home.desktop(), banks = p.home.banks();
    reopenWith(p, {{banks / "Rock.xml", bankNamed(p, "Rock Zero")}, {banks / "Broken.xml", "<TWRBank><TWRPreset"}});
    auto state = [&] { return Titles({p.programName(0), p.name(), p.effect.getBankFile(), Product::caption(e->bankMenu)}); };
    // Program 0 is current, still the new bank's program 0 is applied; an unreadable bank changes nothing, says so once.
    const float master = p.plugin.get(30);
    p.plugin.set(30, master < 0.5f ? 0.9f : 0.1f), p.effect.setWorkingProgramName("Edited");
    ASSERT_TRUE(p.choose(e->bankMenu, {"Rock"}));
    EXPECT_EQ(p.plugin.get(30), master);
    EXPECT_EQ(complaints([&] { dialogs.menu(e->bankMenu, {"Broken"}); }), 1);
    EXPECT_EQ(state(), Titles({"Rock Zero", "Rock Zero", banks / "Rock.xml", "Rock"}));
    // Imported: copied into Banks, made current, listed (an unreadable one: nothing). Loaded: used where it lies.
    const struct { const char* file; std::string bytes, command; bool copied; Titles after; } commands[] = {
        {"Gig.xml", bankNamed(p, "Gig Zero"), "Import...", true, {"Gig Zero", "Gig Zero", banks / "Gig.xml", "Gig"}},
        {"Junk.xml", "not a bank", "Import...", false, {"Gig Zero", "Gig Zero", banks / "Gig.xml", "Gig"}},
        {"Away.xml", bankNamed(p, "Away Zero"), "Load Bank...", false, {"Away Zero", "Away Zero", desk / "Away.xml", "Away"}}};
    for (const auto& c : commands) {
        dialogs.with(desk / c.file, c.bytes).menu(e->bankMenu, {c.command});
        EXPECT_EQ(contents(banks / c.file), c.copied ? c.bytes : "") << c.file;
        EXPECT_EQ(state(), c.after) << c.file;
        // The menu's current entry is the bank that plays (none for one from elsewhere), not the command chosen.
        const long current = e->bankMenu->getCurrentIndex();
        const bool inBanks = fs::path(c.after[2]).parent_path() == banks;
        EXPECT_EQ(current < 0 ? std::string("none") : e->bankMenu->getEntry(current)->getTitle(), inBanks ? c.after[3] : "none");
    }
    EXPECT_TRUE(lists(e->bankMenu, "Gig"));
    // Changed: starred; saved where it lies; a save that fails leaves the old file and the star.
    struct rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old), ::signal(SIGXFSZ, SIG_IGN);
    for (const bool fails : {false, true}) {
        p.effect.saveCurrentToBank(fails ? "Again" : "Changed", 3), e->rebuildUI();
        EXPECT_EQ(Product::caption(e->bankMenu), "Away*");
        const std::string before = contents(desk / "Away.xml");
        const struct rlimit small {fails ? rlim_t(4096) : old.rlim_cur, old.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &small), p.click(kGUIParamBankSaveButton), ::setrlimit(RLIMIT_FSIZE, &old);
        EXPECT_EQ(contents(desk / "Away.xml"), fails ? before : harness::BankText(p.effect));
        EXPECT_EQ(Product::caption(e->bankMenu) + std::to_string(p.effect.isBankModified()), fails ? "Away*1" : "Away0");
    }
    // Exported into Banks it is listed (".xml" added), elsewhere not; the bank keeps its own file.
    for (const auto& [to, listed] : {std::pair{banks / "Export", true}, {desk / "Out.xml", false}}) {
        dialogs.with(to).click(kGUIParamBankExportButton);
        EXPECT_EQ(dialogs.asked(), "Export Bank save ~/Desktop/Bank.xml xml");
        EXPECT_EQ(contents(WithXmlExtension(to)), harness::BankText(p.effect));
        EXPECT_EQ(lists(e->bankMenu, to.stem().c_str()), listed);
    }
    EXPECT_EQ(p.effect.getBankFile(), desk / "Away.xml");
}

TEST(ProductEditor, PreampsAndCabinetsFromTheirMenusAndDialogs)
{
    Product p;
    Dialogs dialogs(p);
    auto* e = p.editor;
    const fs::path desk = p.home.desktop();
    reopenWith(p, {{p.home.preamps() / "Clean" / "Broken.xml", "<TWRPreset/>"}, {p.home.impulses() / "bad.wav", "RIFF junk"}});
    EXPECT_FALSE(lists(e->impulseMenu, "bad.wav"));  // the reader refuses it
    auto state = [&](bool impulse) {
        const bool modified = p.effect.isProgramModified();
        p.effect.setProgramModified(false);
        return Titles({p.sound(impulse), Product::caption(impulse ? e->impulseMenu : e->preampMenu),
                       std::to_string(modified)});
    };
    // A preamp chosen modifies the program; a broken one changes nothing, says so once; one imported lands in its folder.
    ASSERT_TRUE(p.choose(e->preampMenu, {"Clean", "American Clean"}));
    EXPECT_EQ(state(false), Titles({"American Clean", "American Clean", "1"}));
    EXPECT_EQ(complaints([&] { dialogs.menu(e->preampMenu, {"Clean", "Broken"}); }), 1);
    EXPECT_EQ(state(false), Titles({"American Clean", "American Clean", "0"}));
    dialogs.with(desk / "Mine.xml", contents(kResources / "preamps" / "Overdrive" / "Boutique Overdrive.xml"))
        .menu(e->preampMenu, {"Crunch", "Import..."});
    EXPECT_TRUE(fs::exists(p.home.preamps() / "Crunch" / "Mine.xml") && lists(e->preampMenu->getSubMenu(2), "Mine"));
    EXPECT_EQ(p.sound(false), "Mine");
    // Another cabinet sounds different (gains at 1.5 and 4 kHz).
    const double before[] = {p.gain(1500), p.gain(4000)};
    p.effect.setProgramModified(false);
    ASSERT_TRUE(p.choose(e->impulseMenu, {"Open 1x12.wav"}));
    EXPECT_GT(std::max(std::fabs(p.gain(1500) - before[0]), std::fabs(p.gain(4000) - before[1])), 1.0);
    EXPECT_EQ(state(true), Titles({"Open 1x12.wav", "Open 1x12", "1"}));
    // Imported: copied, listed, playing; one the reader refuses: said, not copied; loaded from elsewhere: not copied.
    dialogs.with(desk / "Mic.wav", contents(kResources / "impulses" / "Closed 2x12.wav")).menu(e->impulseMenu, {"Import..."});
    EXPECT_EQ(dialogs.asked(), "Import Impulse open ~/Desktop wav aif aiff");
    EXPECT_TRUE(lists(e->impulseMenu, "Mic.wav"));
    EXPECT_EQ(state(true), Titles({"Mic.wav", "Mic", "1"}));
    EXPECT_TRUE(said([&] { dialogs.with(desk / "noise.wav", "RIFF").menu(e->impulseMenu, {"Import..."}); })
                    .ends_with("\nImport Impulse " + (desk / "noise.wav").string() + " failed.\n"));
    dialogs.CancelNext(), dialogs.menu(e->impulseMenu, {"Load Impulse..."});
    EXPECT_FALSE(fs::exists(p.home.impulses() / "noise.wav"));
    EXPECT_EQ(state(true), Titles({"Mic.wav", "Mic", "0"}));  // neither failure nor cancel modifies the program
    dialogs.with(desk / "Far.wav", contents(kResources / "impulses" / "Closed 4x12.wav")).menu(e->impulseMenu, {"Load Impulse..."});
    EXPECT_TRUE(p.sound(true) == "Far.wav" && !fs::exists(p.home.impulses() / "Far.wav"));
}

TEST(ProductEditor, DialogsLeaveTheWindowRunningOneAtATimeAndKickButtonsActOnTheirWayToOn)
{
    editortest::TestSkin skin;
    skin.description(R"(<skin><CMyKickButton x=10 y=10 width=20 height=20 tag=kGUIParamPresetImportButton heightofoneimage=20/></skin>)");
    Product p;
    system::ScriptedFileDialogs dialogs;
    auto* e = p.editor;
    const fs::path slow = p.home.desktop() / "Slow.xml";
    ASSERT_TRUE(p.effect.exportPreset(slow.c_str(), "Slow"));
    dialogs.Choose(slow.string(), 5);
    auto press = [&](CPoint up) {  // the kick button (made anew by each open)
        CControl* kick = p.view(kGUIParamPresetImportButton);
        ASSERT_NE(kick, nullptr);
        CPoint in(20, 20);
        kick->onMouseDown(in, kLButton), kick->onMouseMoved(up, kLButton), kick->onMouseUp(up, kLButton);
    };
    auto state = [&] { return std::pair{e->isDialogOpen(), dialogs.Requests().size()}; };  // open, requests made
    press(CPoint(200, 200));  // released away: it only went back to off
    EXPECT_EQ(state(), std::pair(false, size_t(0)));
    EXPECT_EQ(said([&] { press(CPoint(20, 20)); }), "");  // on, then off again: one command
    p.idle(3);
    EXPECT_EQ(state(), std::pair(true, size_t(1)));
    EXPECT_EQ(complaints([&] { press(CPoint(20, 20)); }), 1);  // refused while one is open
    p.idle(3);
    char name[256] = {};
    p.effect.getProgramName(name);
    EXPECT_EQ(std::tuple(e->isDialogOpen(), dialogs.Requests().size(), std::string(name)), std::tuple(false, size_t(1), "Slow"));
    // Closing the window drops a dialog still open; with no dialog program the command stops.
    dialogs.Choose(slow.string(), 100), press(CPoint(20, 20));
    EXPECT_EQ(state(), std::pair(true, size_t(2)));
    e->close(), e->open(nullptr), p.idle(3);
    EXPECT_FALSE(e->isDialogOpen());
    system::ScriptedFileDialogs none;
    press(CPoint(20, 20));
    EXPECT_FALSE(e->isDialogOpen());
}

TEST(ProductEditor, ImportsNeverReplaceAFileOfTheSameNameAndABankThatCannotBeCopiedChangesNothing)
{
    Product p;
    Dialogs dialogs(p);
    auto* e = p.editor;
    const fs::path desk = p.home.desktop(), banks = p.home.banks(), preamp = p.home.preamps() / "Crunch" / "British Crunch.xml",
                   cab = p.home.impulses() / "Open 1x12.wav";
    const std::string mine = bankNamed(p, "Rock Edited"), theirs = bankNamed(p, "Rock Import"), own[] = {contents(preamp), contents(cab)};
    write(banks / "Rock.xml", mine);
    auto state = [&] { return Titles({p.programName(0), p.effect.getBankFile(), Product::caption(e->bankMenu)}); };
    // Another bank of the name goes beside it (and the same bytes again are that copy); preamps and cabinets likewise,
    // named after their copies.
    for (int round = 0; round < 2; ++round) dialogs.with(desk / "Rock.xml", theirs).menu(e->bankMenu, {"Import..."});
    EXPECT_EQ(state(), Titles({"Rock Import", banks / "Rock 2.xml", "Rock 2"}));
    EXPECT_TRUE(contents(banks / "Rock.xml") == mine && contents(banks / "Rock 2.xml") == theirs && !fs::exists(banks / "Rock 3.xml"));
    EXPECT_TRUE(lists(e->bankMenu, "Rock") && lists(e->bankMenu, "Rock 2"));
    dialogs.with(desk / preamp.filename(), contents(kResources / "preamps" / "Clean" / "American Clean.xml"))
        .menu(e->preampMenu, {"Crunch", "Import..."});
    dialogs.with(desk / cab.filename(), contents(kResources / "impulses" / "Closed 4x12.wav")).menu(e->impulseMenu, {"Import..."});
    EXPECT_EQ(Titles({p.sound(false), p.sound(true)}), Titles({"British Crunch 2", "Open 1x12 2.wav"}));
    EXPECT_TRUE(contents(preamp) == own[0] && contents(cab) == own[1]);
    // Banks that cannot take the copy: the bank is not loaded or bound, and that is said once.
    system::SimulateReadOnlyFolder(banks);
    const std::string text = said([&] { dialogs.with(desk / "Gig.xml", bankNamed(p, "Gig Zero")).menu(e->bankMenu, {"Import..."}); });
    system::SimulateReadOnlyFolder({});
    EXPECT_EQ(text, "Quarrystone TWR:: Cannot copy " + (desk / "Gig.xml").string() + " into " + banks.string() +
                        ": Read-only file system. Nothing was changed.\n");
    EXPECT_EQ(state(), Titles({"Rock Import", banks / "Rock 2.xml", "Rock 2"}));
}

TEST(ProductEditor, ABankWithUnsavedChangesGivesWayOnlyToAYes)
{
    Product p;
    Dialogs dialogs(p);
    auto* e = p.editor;
    const fs::path desk = p.home.desktop(), banks = p.home.banks();
    reopenWith(p, {{banks / "Rock.xml", bankNamed(p, "Rock Zero")}, {desk / "Away.xml", bankNamed(p, "Away Zero")}});
    p.effect.saveCurrentToBank("Changed", 0), e->rebuildUI();
    auto state = [&] { return Titles({p.programName(0), p.effect.getBankFile(), Product::caption(e->bankMenu)}); };
    const Titles unsaved = {"Changed", banks / "QS Factory.xml", "QS Factory*"};
    // Chosen from the menu, loaded from elsewhere, imported: each asks; a no, or no way to ask, changes nothing.
    dialogs.CancelNext(), dialogs.menu(e->bankMenu, {"Rock"});
    EXPECT_EQ(dialogs.asked(), "Unsaved Bank question The bank \"QS Factory.xml\" has changes that are not saved. "
                               "Load \"Rock.xml\" in its place and lose them?");
    EXPECT_EQ(complaints([&] { dialogs.menu(e->bankMenu, {"Rock"}); }), 1);
    for (const char* command : {"Load Bank...", "Import..."}) {
        dialogs.with(desk / "Away.xml").CancelNext(), dialogs.menu(e->bankMenu, {command}), p.idle();
        EXPECT_EQ(dialogs.asked().substr(0, 22) + std::to_string(fs::exists(banks / "Away.xml")), "Unsaved Bank question 0");
    }
    EXPECT_EQ(state(), unsaved);
    // A yes: the other bank, unstarred; then no more questions until it changes.
    dialogs.Confirm(), dialogs.menu(e->bankMenu, {"Rock"});
    EXPECT_EQ(state(), Titles({"Rock Zero", banks / "Rock.xml", "Rock"}));
    const size_t asked = dialogs.Requests().size();
    dialogs.with(desk / "Away.xml").menu(e->bankMenu, {"Load Bank..."});
    EXPECT_EQ(std::pair(state(), dialogs.Requests().size()), std::pair(Titles({"Away Zero", desk / "Away.xml", "Away"}), asked + 1));
}

TEST(ProductEditor, AnExportToANameTypedWithoutXmlAsksBeforeReplacingTheFileOfThatName)
{
    Product p;
    Dialogs dialogs(p);
    const fs::path desk = p.home.desktop();
    p.rename("Lead");
    for (const long tag : {kGUIParamPresetExportButton, kGUIParamBankExportButton}) {
        write(desk / "Mine.xml", "keep");
        dialogs.with(desk / "Mine").CancelNext(), dialogs.click(tag), p.idle();
        EXPECT_EQ(dialogs.asked(), "Replace File question \"Mine.xml\" exists already. Replace it?");
        EXPECT_EQ(complaints([&] { dialogs.with(desk / "Mine").click(tag); }), 1);  // no question can be asked
        EXPECT_EQ(contents(desk / "Mine.xml"), "keep");
        dialogs.with(desk / "Mine").Confirm(), dialogs.click(tag), p.idle();
        // Typed with ".xml" the dialog asked already; a new name needs no question.
        const size_t asked = dialogs.Requests().size();
        for (const char* name : {"Mine.xml", "New"}) dialogs.with(desk / name).click(tag);
        EXPECT_EQ(contents(desk / "Mine.xml").substr(0, 5) + contents(desk / "New.xml").substr(0, 5) +
                      std::to_string(dialogs.Requests().size() - asked), "<?xml<?xml2") << tag;
        fs::remove(desk / "New.xml");
    }
}

TEST(ProductEditor, TheBankIsSavedThroughItsLinkIntoTheFileItLeadsToAndNeverOverABankThatDidNotLoad)
{
    Product p;
    auto* e = p.editor;
    const fs::path banks = p.home.banks(), real = p.home.desktop() / "Music" / "Live.xml";
    fs::create_symlink("../../../../Desktop/Music/Live.xml", banks / "Live.xml");
    reopenWith(p, {{real, bankNamed(p, "Live Zero")}});
    ASSERT_TRUE(p.choose(e->bankMenu, {"Live"}));
    p.effect.saveCurrentToBank("Edited", 2), e->rebuildUI();
    EXPECT_EQ(Product::caption(e->bankMenu), "Live*");
    p.click(kGUIParamBankSaveButton);
    EXPECT_TRUE(fs::is_symlink(banks / "Live.xml") && contents(real) == harness::BankText(p.effect));  // (megabytes: no diff)
    EXPECT_EQ(Product::caption(e->bankMenu), "Live");
    // A damaged factory bank: the next window shows no bank name, no star after edits, and no save goes there.
    const std::string damaged = contents(banks / "QS Factory.xml").substr(0, 100000);
    write(banks / "QS Factory.xml", damaged);
    harness::Plugin other;
    auto* window = static_cast<EffectEditor*>(other.effect().getEditor());
    window->open(nullptr), other.effect().saveCurrentToBank("Edited", 0), window->rebuildUI();
    EXPECT_EQ(Product::caption(window->bankMenu) + std::to_string(other.effect().saveBank()), "0");
    window->close();
    EXPECT_TRUE(contents(banks / "QS Factory.xml") == damaged);
}

TEST(ProductEditor, FilesNestedDeepLoadFromTheMenusAndAFileThatDoesNotLoadChangesNothing)
{
    Product p;
    auto* e = p.editor;
    const std::string a(100, 'a'), b(100, 'b'), c(100, 'c'), cabinet = contents(kResources / "impulses" / "Closed 2x12.wav");
    reopenWith(p, {{p.home.preamps() / a / b / c / "Deep.xml", contents(kResources / "preamps" / "Crunch" / "Vintage Combo.xml")},
                   {p.home.impulses() / a / b / c / "Deep.wav", cabinet}, {p.home.impulses() / "Gone.wav", cabinet}});
    auto state = [&] {
        const bool modified = p.effect.isProgramModified();
        p.effect.setProgramModified(false);
        return Titles({p.sound(false), p.sound(true), std::to_string(modified)});
    };
    p.effect.setProgramModified(false);
    ASSERT_TRUE(p.choose(e->preampMenu, {a, b, c, "Deep"}) && p.choose(e->impulseMenu, {a, b, c, "Deep.wav"}));
    EXPECT_EQ(state(), Titles({"Deep", "Deep.wav", "1"}));
    // Listed, then gone: said, and neither the cabinet nor the modified flag changes.
    fs::remove(p.home.impulses() / "Gone.wav");
    EXPECT_GE(complaints([&] { p.choose(e->impulseMenu, {"Gone.wav"}); }), 1);
    EXPECT_EQ(state(), Titles({"Deep", "Deep.wav", "0"}));
    EXPECT_EQ(Product::caption(e->impulseMenu), "Deep");
}

TEST(ProductEditor, ACommandThatFailsSaysWhyInTheMessageLineNamingItsFileForAFewSeconds)
{
    Product p;
    Dialogs dialogs(p);
    auto* e = p.editor;
    const fs::path desk = p.home.desktop(), banks = p.home.banks(), preamps = p.home.preamps();
    const std::string bank = contents(banks / "QS Factory.xml");
    const std::string cut = bank.substr(0, bank.find('\n', 5000) + 1);  // whole lines; elements left open
    reopenWith(p, {{banks / "Broken.xml", cut}, {banks / "Empty.xml", " \n"}, {banks / "Preset.xml", "<TWRPreset/>"}});
    ASSERT_EQ(::mkfifo((preamps / "Clean" / "Pipe.xml").c_str(), 0644), 0);
    e->close(), e->open(nullptr);
    auto time = std::chrono::steady_clock::time_point(std::chrono::hours(1));
    e->setClock([&] { return time; });
    const std::string lines = std::to_string(std::ranges::count(cut, '\n'));  // the last, which the file ends in
    const auto modified = [&] { p.effect.saveCurrentToBank("Changed", 0), e->rebuildUI(); };
    const auto readOnly = [&](const fs::path& folder, const std::function<void()>& act) {
        system::SimulateReadOnlyFolder(folder), act(), system::SimulateReadOnlyFolder({});
    };
    // What is done, the first line it says (with the whole path) and what the window says of it.
    const struct { std::function<void()> act; std::string line, shown; } cases[] = {
        {[&] { dialogs.menu(e->bankMenu, {"Broken"}); },
         "Invalid XML in " + (banks / "Broken.xml").string() + ", line " + lines,
         "Invalid XML in Broken.xml, line " + lines + ": the file ends before its elements are closed (it is cut short). "
         "Should be an <TWRBank> object."},
        {[&] { dialogs.menu(e->bankMenu, {"Empty"}); }, "Invalid XML in " + (banks / "Empty.xml").string(),
         "Invalid XML in Empty.xml: the file is empty. Should be an <TWRBank> object."},
        {[&] { dialogs.menu(e->bankMenu, {"Preset"}); }, (banks / "Preset.xml").string() + " holds",
         "Preset.xml holds an <TWRPreset> object. Should be an <TWRBank> object."},
        {[&] { dialogs.menu(e->preampMenu, {"Clean", "Pipe"}); }, "Cannot read " + (preamps / "Clean" / "Pipe.xml").string(),
         "Cannot read Pipe.xml: it is not a regular file."},
        {[&] { dialogs.with(desk / "noise.wav", "RIFF").menu(e->impulseMenu, {"Load Impulse..."}); },
         "Cannot read impulse " + (desk / "noise.wav").string(), "Cannot read impulse noise.wav: "},
        {[&] { readOnly(banks, [&] { dialogs.with(desk / "Gig.xml", bank).menu(e->bankMenu, {"Import..."}); }); },
         "Cannot copy " + (desk / "Gig.xml").string() + " into " + banks.string(),
         "Cannot copy Gig.xml into Banks: Read-only file system. Nothing was changed."},
        {[&] { modified(), readOnly(banks, [&] { p.click(kGUIParamBankSaveButton); }); },
         "Cannot write the bank " + (banks / "QS Factory.xml").string(),
         "Cannot write the bank QS Factory.xml: Read-only file system."},
        {[&] { readOnly(desk, [&] { dialogs.with(desk / "Out.xml").click(kGUIParamBankExportButton); }); },
         "Cannot write the bank " + (desk / "Out.xml").string(), "Cannot write the bank Out.xml: Read-only file system."},
        {[&] { dialogs.Choose((desk / "Gig.xml").string(), 50), dialogs.click(kGUIParamPresetImportButton),
               dialogs.click(kGUIParamPresetImportButton); },
         "A file dialog is open already.", "A file dialog is open already."},
        {[&] { e->close(), e->open(nullptr), dialogs.click(kGUIParamPresetImportButton); },
         "No file dialog can be shown", "No file dialog can be shown (zenity or kdialog is needed)."},
    };
    for (const auto& c : cases) {
        const std::string text = said(c.act);
        EXPECT_EQ(text.rfind("Quarrystone TWR:: " + c.line, 0), 0u) << text;
        ASSERT_NE(e->messageLine, nullptr);
        EXPECT_TRUE(e->messageLine->isShown()) << c.shown;
        EXPECT_EQ(e->messageLine->getText().substr(0, c.shown.size()), c.shown);
        // Shown for six seconds, then gone; a click takes it down sooner.
        time += std::chrono::milliseconds(5900), p.idle();
        EXPECT_TRUE(e->messageLine->isShown()) << c.shown;
        time += std::chrono::milliseconds(100), p.idle();
        EXPECT_FALSE(e->messageLine->isShown()) << c.shown;
    }
    EXPECT_EQ(p.programName(0), "Changed");  // nothing that failed changed the bank
    said([&] { dialogs.menu(e->bankMenu, {"Broken"}); });
    CPoint in(200, 20);
    e->messageLine->onMouseDown(in, kLButton);
    EXPECT_FALSE(e->messageLine->isShown());
    // What a command says of files it lists is not its failure.
    write(p.home.impulses() / "bad.wav", "RIFF junk");
    said([&] { dialogs.with(desk / "Mic.wav", contents(kResources / "impulses" / "Closed 2x12.wav")).menu(e->impulseMenu, {"Import..."}); });
    EXPECT_FALSE(e->messageLine->isShown()) << e->messageLine->getText();
}
