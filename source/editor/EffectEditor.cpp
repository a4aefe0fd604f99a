#include "editor/EffectEditor.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <strings.h>

#include "dsp/DspMath.h"
#include "dsp/StringUtil.h"
#include "gui/Controls.h"
#include "gui/DrawContext.h"
#include "plugin/Effect.h"
#include "system/AtomicFile.h"
#include "system/Diagnostics.h"
#include "system/Folders.h"
#include "editor/HighlightControls.h"
#include "editor/ParameterNames.h"

namespace tonewright {

namespace {

// Files larger than this are not copied into the support folder.
constexpr size_t kLargestCopy = size_t(256) << 20;
constexpr size_t kLargestExportName = 200;

// Where the dialogs start: the desktop folder when there is one, else home.
std::string desktop()
{
    return system::IsFolder(system::ExpandHome("~/Desktop")) ? "~/Desktop" : "~";
}

std::string joined(const std::string& folder, const std::string& name)
{
    return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

// Whether the file lies directly in the folder, names compared without
// regard to case.
bool inFolder(const std::string& file, const std::filesystem::path& folder)
{
    const size_t slash = file.rfind('/');
    return slash != std::string::npos && strcasecmp(file.substr(0, slash).c_str(), folder.c_str()) == 0;
}

}  // namespace

CopyResult SyntheticCopy(const std::string& source, const std::string& destination)
{
    CopyResult copy;
    std::string bytes;
    if (!system::ReadWholeFile(source, bytes, kLargestCopy, copy.error)) return copy;
    const std::filesystem::path wanted(destination);
    const system::PlacedFile placed = system::PlaceFile(wanted.parent_path(), wanted.filename().string(), bytes);
    if (placed.file.empty()) {
        copy.error = "Quarrystone TWR:: Cannot copy " + source + " into " + wanted.parent_path().string() + ": " +
                     std::strerror(placed.error) + ".";
        return copy;
    }
    copy.file = placed.file.string();
    copy.created = placed.created;
    return copy;
}

std::string ExportName(const std::string& name)
{
    std::string out = name;
    for (char& c : out)
        if (c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '-';
    char bounded[kLargestExportName + 1];
    copyBounded(bounded, out.c_str());
    return bounded;
}

std::string WithXmlExtension(const std::string& path)
{
    return IsValidXMLFile(path) ? path : path + ".xml";
}

// ---- life ----

EffectEditor::EffectEditor(Effect* plugin) : SkinEditor(plugin, kWidth, kHeight), owner(plugin) {}

EffectEditor::~EffectEditor()
{
    if (frame) EffectEditor::close();
}

AEffEditor* EffectEditor::create(Effect& plugin) { return new EffectEditor(&plugin); }

bool EffectEditor::open(void* parent)
{
    GetParamIDFromParamNameStr("", ParamEnumStr);
    if (!SkinEditor::open(parent, "ui")) return false;
    if (!owner) return true;
    for (int i = 0; i < kNumParameters; ++i) setParameter(i, owner->getParameter(i));
    findViews();
    fillFolderMenus();
    // Whatever the effect noted while the window was closed, the window now
    // shows as it is.
    owner->clearEditorNotices();
    rebuildUI();
    firstOpen = false;
    // The page and the audio thread's meters stay in step across opens.
    if (moreScreenShown)
        showMoreScreen();
    else
        hideMoreScreen();
    // An armed control shows its frame again; one learned meanwhile is not
    // armed any more.
    if (learnTag != -1 && owner->midiLearnTarget() == learnTag)
        SetControlLearning(learnTag, 1, 1);
    else
        learnTag = -1;
    lastUpdate = {};
    return true;
}

void EffectEditor::close()
{
    if (dialog) dialog->Cancel();
    dialog.reset();
    SkinEditor::close();
    impulseMenu = preampMenu = bankMenu = presetMenu = saveAsMenu = nullptr;
    flashButton = nullptr;
    nameEdit = nullptr;
    messageLine = nullptr;
}

void EffectEditor::findViews()
{
    auto first = [this](long tag) { return getView(getViewByTag(tag, -1)); };
    presetMenu = dynamic_cast<CMyFileMenu*>(first(kGUIParamPreset));
    bankMenu = dynamic_cast<CMyFileMenu*>(first(kGUIParamBank));
    preampMenu = dynamic_cast<CMyFileMenu*>(first(kGUIParamAmpModel));
    impulseMenu = dynamic_cast<CMyFileMenu*>(first(kGUIParamCabImpulse));
    nameEdit = dynamic_cast<CTextEdit*>(first(kGUIParamName));
    saveAsMenu = dynamic_cast<CMyFileMenu*>(first(kGUIParamPresetSaveAsButton));
    flashButton = dynamic_cast<CFlashButton*>(first(kGUIParamPresetSaveButton));
    messageLine = dynamic_cast<CMyMessageLine*>(first(kGUIMessageLine));
    // The tuner's note shows what the tuner hears; nobody types into it.
    if (auto* note = dynamic_cast<CTextEdit*>(first(kGUITunerKeyDisplay))) {
        note->setMouseEnabled(false);
        note->setWantsFocus(false);
    }
}

void EffectEditor::fillFolderMenus()
{
    for (CMyFileMenu* menu : {bankMenu, preampMenu, impulseMenu}) refillMenu(menu);
}

void EffectEditor::refillMenu(CMyFileMenu* menu)
{
    if (!menu || !owner) return;
    // What the listing says about files that do not load is no failure of
    // the command that refills the menu.
    const system::FailureRecord listing;
    const SupportFolders& f = owner->supportFolders();
    if (menu == bankMenu) populate_menu_from_folder(f.banks, menu, "", IsValidXMLFile, FolderMenu::banks);
    if (menu == preampMenu) populate_menu_from_folder(f.preamps, menu, "", IsValidXMLFile, FolderMenu::plain);
    if (menu == impulseMenu) populate_menu_from_folder(f.impulses, menu, "", IsValidImpulse, FolderMenu::impulses);
}

// ---- idle ----

void EffectEditor::idle()
{
    if (!frame) return;
    if (owner) {
        takeNotices();
        if (dialog) {
            std::string path;
            const system::FileDialogState state = dialog->Poll(path);
            if (state != system::FileDialogState::running) {
                dialog.reset();
                PendingDialog done = pending;
                const bool chosen = state == system::FileDialogState::chosen;
                if (!done.question) {
                    runRecorded([&] { dialogAnswered(done, chosen ? &path : nullptr); });
                } else if (chosen) {
                    done.question = false;
                    done.confirmed = true;
                    runRecorded([&] { dialogAnswered(done, &done.file); });
                } else {
                    rebuildUI();  // a no: the captions show what plays
                }
                markCurrentFiles();
            }
        }
        const auto time = now();
        if (messageLine && messageLine->isShown() && (time - messageShownAt >= kMessageShown || time < messageShownAt))
            messageLine->hide();
        if (time - lastUpdate >= kUpdatePeriod || time < lastUpdate) {
            lastUpdate = time;
            updateDisplays(time);
        }
    }
    SkinEditor::idle();
}

void EffectEditor::takeNotices()
{
    int32_t previous = -1, learned = -1;
    if (owner->takeLearnedNotice(previous, learned)) {
        if (previous >= 0) midiLearned(previous, 0);
        midiLearned(learned, 0);
    } else if (learnTag != -1 && owner->midiLearnTarget() == -1) {
        // Disarmed by other means: the frame goes all the same.
        midiLearned(static_cast<int>(learnTag), 0);
    }
    const bool refresh = owner->takeRefreshNotice();
    if (const int program = owner->takeProgramNotice(); program >= 0)
        setProgram(program);
    else if (refresh)
        rebuildUI();
}

void EffectEditor::updateDisplays(std::chrono::steady_clock::time_point time)
{
    setParameter(kGUIParamClipLight, owner->clipHeard() ? 1.0f : 0.0f);
    if (moreScreenShown) {
        int note = 0;
        double needle = 0.0;
        char name[8] = {};
        owner->tunerReading(&note, &needle, name);
        setParameter(kGUITunerDisplay, static_cast<float>(needle));
        if (auto* key = dynamic_cast<CTextEdit*>(getView(getViewByTag(kGUITunerKeyDisplay, -1))))
            if (std::strcmp(key->getText(), name) != 0) key->setText(name);
        setParameter(kGUIInputVU, static_cast<float>(owner->inputLevel() - 1) / 3.0f);
        setParameter(kGUIOutputVU, static_cast<float>(owner->outputLevel() - 1) / 3.0f);
    }
    if (flashButton) {
        const bool lit = (time.time_since_epoch() / kFlashHalfPeriod) % 2 == 1;
        flashButton->setFlash(owner->isProgramModified() && lit);
    }
}

// ---- the More page ----

void EffectEditor::showMoreScreen()
{
    if (owner) owner->showMeters(true);
    moreScreenShown = true;
    if (auto* label = dynamic_cast<CMyTextLabel*>(getView(getViewByTag(kGUIParamVersionNumber, -1)))) {
        label->setText(kVersion);
        label->setFontColor(kBlackCColor);
        label->setFont(kNormalFontVeryBig);
    }
    setParameter(kGUIMoreScreen, 1.0f);
    if (frame) frame->invalid();
}

void EffectEditor::hideMoreScreen()
{
    if (owner) owner->showMeters(false);
    moreScreenShown = false;
    setParameter(kGUIMoreScreen, 0.0f);
    if (frame) frame->invalid();
}

// ---- building ----

CView* EffectEditor::CreateUIElement(const char* name, const CRect& r, CControlListener* l, long tag, CFrame* parentFrame,
                                     const CPoint& offset, const CPoint& offset2, const SkinAttributes& a)
{
    auto is = [name](const char* type) { return SameName(name, type); };
    auto bitmap = [&a](const char* attribute) { return getBitmap(a.GetTagAsInt(attribute)); };
    auto integer = [&a](const char* attribute) { return a.GetTagAsInt(attribute); };
    // Page turns talk to this editor whatever listener the builder passes.
    CControlListener* self = this;

    if (is("CMyKickButton"))
        return new CMyKickButton(r, l, tag, integer("heightofoneimage"), bitmap("background"), offset);
    if (is("Group")) return new nPage(r, parentFrame, -1, 0.0f, bitmap("background"));
    if (is("Page")) return new nPage(r, parentFrame, tag, a.GetTagAsFloat("pagenum"), bitmap("background"));
    if (is("PageTurn")) return new nPageSelect(r, self, tag, a.GetTagAsFloat("pagenum"));
    if (is("CFlashButton"))
        return new CFlashButton(r, self, tag, a.GetTagAsFloat("pagenum"), bitmap("background"));
    if (is("CMyVerticalSwitch"))
        return new CMyVerticalSwitch(r, l, tag, integer("subpixmaps"), integer("heightofoneimage"),
                                     integer("maxpositions"), bitmap("background"), offset);
    if (is("CMyOnOffButton")) return new CMyOnOffButton(r, l, tag, bitmap("background"), integer("style"));
    if (is("CMyVU"))
        return new CMyVU(r, l, tag, integer("subpixmaps"), integer("heightofoneimage"), bitmap("background"), offset);
    if (is("CMyAnimKnob"))
        return new CMyAnimKnob(r, l, tag, integer("subpixmaps"), integer("heightofoneimage"), bitmap("background"),
                               offset);
    if (is("CMyMovieButton"))
        return new CMyMovieButton(r, l, tag, integer("heightofoneimage"), bitmap("background"), offset);
    if (is("CMyMoviePic"))
        return new CMyMoviePic(r, l, tag, integer("heightofoneimage"), bitmap("background"), offset);
    // The product's sliders take their background offset from offsetx/y.
    if (is("CMyHorizontalSlider"))
        return new CMyHorizontalSlider(r, l, tag, integer("minpos"), integer("maxpos"), bitmap("handle"),
                                       bitmap("background"), offset2, integer("style"));
    if (is("CMyVerticalSlider"))
        return new CMyVerticalSlider(r, l, tag, integer("minpos"), integer("maxpos"), bitmap("handle"),
                                     bitmap("background"), offset2, integer("style"));
    if (is("CMyHorizontalSwitch"))
        return new CMyHorizontalSwitch(r, l, tag, integer("subpixmaps"), integer("heightofoneimage"),
                                       integer("maxpositions"), bitmap("background"), offset);
    if (is("CMyLink")) return new CMyLink(r, a.GetTagAsString("url"));
    if (is("CMyTextLabel")) return new CMyTextLabel(r, l, tag, kRedCColor, a.GetTagAsString("text"), kNormalFontSmall);
    if (is("CRedTextEdit")) {
        auto* edit = new CTextEdit(r, l, tag, a.GetTagAsString("txt"), bitmap("background"), integer("style"));
        edit->setFontColor(kRedCColor);
        return edit;
    }
    if (is("CMyMessageLine")) return new CMyMessageLine(r, tag);
    if (is("CMyFileMenu")) {
        auto* menu = new CMyFileMenu(r, l, tag, integer("style"), "");
        menu->setFontColor(kRedCColor);
        return menu;
    }
    return nullptr;
}

// ---- MIDI learn, programs, rebuild ----

long EffectEditor::controlModifierClicked(CControl* control, long button)
{
    if ((button & (kShift | kAlt)) != (kShift | kAlt)) return 0;
    const long tag = control->getTag();
    // Only parameters are learned; on anything else the gesture does nothing.
    if (!owner || tag < 0 || tag >= kParameterTags) return 1;
    SetControlLearning(learnTag, 0, 0);
    if (tag == learnTag) {
        // The armed control again: unlearn it everywhere.
        std::atomic<int32_t>* map = owner->getMIDIMap(false);
        for (int c = 0; c < Effect::kMidiControllers; ++c)
            if (map[c].load() == learnTag) owner->updateMIDIMap(c, -1);
        learnTag = -1;
    } else {
        learnTag = tag;
        SetControlLearning(tag, 1, 1);
    }
    control->setDirty(true);
    owner->setMIDILearnControl(static_cast<int>(learnTag));
    return 1;
}

void EffectEditor::midiLearned(int tag, int on)
{
    SetControlLearning(tag, static_cast<short>(on), 0);
    // A notice that comes late must not disarm a control armed since.
    if (tag == learnTag) learnTag = -1;
}

void EffectEditor::setProgram(int program)
{
    if (!frame) return;
    if (presetMenu) presetMenu->setValue(static_cast<float>(program));
    rebuildUI();
}

void EffectEditor::rebuildUI(CDrawContext* context, bool)
{
    if (!frame || !owner) return;
    const int program = owner->getProgram();
    char name[256] = {};
    owner->getProgramName(name);
    if (nameEdit && !nameEdit->isEditingText()) nameEdit->setText(name);
    for (CMyFileMenu* menu : {presetMenu, saveAsMenu}) {
        BuildPresetMenuFromEffect(owner, menu);
        if (menu) menu->setValue(static_cast<float>(program));
    }
    if (presetMenu) {
        char number[16];
        std::snprintf(number, sizeof number, "%03d", program + 1);
        presetMenu->setText(number);
    }
    std::string preamp, impulse;
    owner->getSoundNames(preamp, impulse);
    setMenuDisplay(impulseMenu, impulse, context);
    setMenuDisplay(preampMenu, preamp, context);
    setMenuDisplay(bankMenu, owner->getBankName(), context);
    setMenuDisplayStarred(bankMenu, owner->isBankModified());
    markCurrentFiles();
}

void EffectEditor::markCurrentFiles()
{
    if (!owner) return;
    std::string preamp, impulse;
    owner->getSoundNames(preamp, impulse);
    MarkCurrentEntry(impulseMenu, impulse);
    MarkCurrentEntry(preampMenu, preamp);
    // A bank loaded from elsewhere is none of the Banks folder's.
    const std::filesystem::path bank = owner->getBankFile();
    MarkCurrentEntry(bankMenu, inFolder(bank.string(), owner->supportFolders().banks) ? bank.filename().string() : "");
}

// ---- control changes and commands ----

void EffectEditor::valueChanged(CControl* control)
{
    if (!control) return;
    // The impulse menu's entry means nothing to the effect.
    if (control->getTag() != kGUIParamCabImpulse) SkinEditor::valueChanged(control);
    if (!owner || !frame) return;
    runRecorded([&] { runCommand(control); });
    // A file menu's entry chosen (a file or a command) leaves it current
    // only as long as it is what plays.
    if (frame && control->getTag() >= kParameterTags) markCurrentFiles();
}

void EffectEditor::runRecorded(const std::function<void()>& command)
{
    const system::FailureRecord record;
    involved.clear();
    command();
    if (!record.lines().empty()) showMessage(record.lines().front());
}

void EffectEditor::involve(std::string path)
{
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (!path.empty()) involved.push_back(std::move(path));
}

void EffectEditor::showMessage(const std::string& line)
{
    if (!messageLine) return;
    static constexpr std::string_view kPrefix = "Quarrystone TWR:: ";
    std::string text = line.starts_with(kPrefix) ? line.substr(kPrefix.size()) : line;
    // The files the command was about by their names; the user just chose them.
    std::ranges::sort(involved, [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& path : involved) {
        const std::string name = filename(path);
        if (name.empty() || name.size() == path.size()) continue;
        for (size_t at = text.find(path); at != std::string::npos; at = text.find(path, at + name.size()))
            text.replace(at, path.size(), name);
    }
    messageLine->show(text);
    messageShownAt = now();
}

std::string EffectEditor::programName() const
{
    char text[256] = {};
    if (nameEdit) nameEdit->getText(text);
    return text;
}

void EffectEditor::runCommand(CControl* control)
{
    // A button acts once per click: released over it (a page turn), or on
    // its way to on (a kick button, which also reports its way back).
    bool clicked = true;
    if (const auto* turn = dynamic_cast<const nPageSelect*>(control))
        clicked = turn->wasReleasedInside();
    else if (control->isTypeOf("CKickButton"))
        clicked = control->getValue() == control->getMax();
    const auto slot = roundedIntIn(control->getValue(), 0, kNumPrograms - 1);

    switch (control->getTag()) {
    case kGUIParamAmpModel: preampMenuChosen(control); break;
    case kGUIParamCabImpulse: impulseMenuChosen(control); break;
    case kGUIParamBank: bankMenuChosen(control); break;
    case kGUIParamPreset:
        if (slot) owner->loadProgram(*slot);
        rebuildUI();
        break;
    case kGUIParamName:
        if (const auto* edit = dynamic_cast<const CTextEdit*>(control)) owner->setWorkingProgramName(edit->getText());
        break;
    case kGUIParamPresetSaveButton:
    case kGUIParamPresetSaveAsButton: {
        const bool saveAs = control->getTag() == kGUIParamPresetSaveAsButton;
        if (!clicked || (saveAs && !slot)) break;
        const std::string name = programName();
        if (name.empty()) {
            system::Complain("Quarrystone TWR:: A program needs a name to be saved.");
            break;
        }
        owner->saveCurrentToBank(name.c_str(), saveAs ? *slot : -1);
        rebuildUI();
        break;
    }
    case kGUIParamPresetImportButton:
        if (clicked) openDialog(PendingDialog(DialogUse::importPreset));
        break;
    case kGUIParamPresetExportButton: {
        const std::string name = programName();
        if (!clicked) break;
        if (name.empty()) {
            system::Complain("Quarrystone TWR:: A program needs a name to be exported.");
            break;
        }
        openDialog(PendingDialog(DialogUse::exportPreset, "", name));
        break;
    }
    case kGUIParamBankSaveButton:
        involve(owner->getBankFile().string());
        if (clicked && owner->saveBank()) {
            refillMenu(bankMenu);
            rebuildUI();
        }
        break;
    case kGUIParamBankExportButton:
        if (clicked) openDialog(PendingDialog(DialogUse::exportBank));
        break;
    case kGUIParamMoreButton:
        if (clicked) showMoreScreen();
        break;
    case kGUIMoreScreen: frame->invalid(); break;
    case kGUIMoreScreenCLOSE:
        if (clicked) hideMoreScreen();
        break;
    default: break;
    }
}

void EffectEditor::preampMenuChosen(CControl* control)
{
    std::string path, name;
    const int chosen =
        HandleFileMenu(control, path, name, owner->supportFolders().preamps, preampMenu, nullptr, 22, false);
    involve(path);
    switch (chosen) {
    case kFileChosen:
        // Failed, the caption goes back to the preamp that plays.
        owner->loadPreamp(path.c_str());
        rebuildUI();
        break;
    case kImportChosen:
        openDialog(PendingDialog(DialogUse::importPreamp, path));
        break;
    default: break;
    }
}

void EffectEditor::impulseMenuChosen(CControl* control)
{
    std::string path, name;
    const int chosen =
        HandleFileMenu(control, path, name, owner->supportFolders().impulses, impulseMenu, nullptr, 22, false);
    involve(path);
    switch (chosen) {
    case kFileChosen:
        // Loaded, the program is modified; refused, nothing changes.
        if (!owner->loadCabinetImpulse(path.c_str())) system::Complain("SetCabinetImpulse returned false.");
        break;
    case kImportChosen:
        if (openDialog(PendingDialog(DialogUse::importImpulse, path))) return;  // finished when the dialog answers
        break;
    case kLoadChosen:
        if (openDialog(PendingDialog(DialogUse::loadImpulse))) return;
        break;
    default: break;
    }
    rebuildUI();
}

void EffectEditor::bankMenuChosen(CControl* control)
{
    std::string path, name;
    const int chosen = HandleFileMenu(control, path, name, owner->supportFolders().banks, bankMenu, nullptr, 2, true);
    involve(path);
    switch (chosen) {
    case kFileChosen: bankChosen(PendingDialog(DialogUse::loadBank), path); break;
    case kImportChosen:
        openDialog(PendingDialog(DialogUse::importBank, path));
        break;
    case kLoadChosen:
        openDialog(PendingDialog(DialogUse::loadBank));
        break;
    default: break;
    }
}

// ---- dialogs ----

bool EffectEditor::openDialog(PendingDialog next)
{
    static constexpr const char* kTitles[] = {"Import Preamp", "Import Impulse", "Load Impulse", "Import Bank",
                                              "Load Bank",     "Import Preset",  "Export Preset", "Export Bank"};
    const DialogUse use = next.use;
    system::FileDialogRequest request;
    request.title = kTitles[static_cast<int>(use)];
    request.start = desktop();
    request.extensions = {"xml"};
    if (use == DialogUse::importImpulse || use == DialogUse::loadImpulse) request.extensions = {"wav", "aif", "aiff"};
    if (use == DialogUse::exportPreset || use == DialogUse::exportBank) {
        request.kind = system::FileDialogKind::save;
        request.start += "/" + (use == DialogUse::exportBank ? std::string("Bank") : ExportName(next.name)) + ".xml";
    }
    if (startDialog(request, std::move(next))) return true;
    if (!dialog) system::Complain("Quarrystone TWR:: No file dialog can be shown (zenity or kdialog is needed).");
    return false;
}

bool EffectEditor::ask(PendingDialog next, const std::string& file, const char* title, const std::string& text)
{
    system::FileDialogRequest request;
    request.kind = system::FileDialogKind::question;
    request.title = title;
    request.text = text;
    next.question = true;
    next.file = file;
    return startDialog(request, std::move(next));
}

bool EffectEditor::startDialog(const system::FileDialogRequest& request, PendingDialog next)
{
    if (dialog) {
        system::Complain("Quarrystone TWR:: A file dialog is open already.");
        return false;
    }
    std::unique_ptr<system::FileDialog> made = system::MakeFileDialog();
    if (!made || !made->Start(request)) return false;
    dialog = std::move(made);
    pending = std::move(next);
    return true;
}

void EffectEditor::dialogAnswered(const PendingDialog& done, const std::string* path)
{
    const char* chosen = path ? path->c_str() : nullptr;
    if (path) involve(*path);
    involve(done.destination);
    switch (done.use) {
    case DialogUse::importPreamp:
        if (chosen && importFile(done, chosen, true, [this](const char* file) { return owner->loadPreamp(file); }))
            refillMenu(preampMenu);
        rebuildUI();
        break;
    case DialogUse::importImpulse:
    case DialogUse::loadImpulse: {
        // Cancelled or refused: the cabinet plays on and the program is as it was.
        if (!chosen) break;
        const auto load = [this](const char* file) { return owner->loadCabinetImpulse(file); };
        const bool imported = done.use == DialogUse::importImpulse;
        if (imported ? importFile(done, chosen, true, load) : load(chosen)) {
            if (imported) refillMenu(impulseMenu);
        } else {
            system::Complainf(imported ? "Import Impulse %s failed." : "LoadImpulse %s failed.", chosen);
        }
        rebuildUI();
        break;
    }
    case DialogUse::importBank:
    case DialogUse::loadBank:
        if (chosen) bankChosen(done, chosen);
        break;
    case DialogUse::importPreset:
        if (chosen && owner->importPreset(chosen)) rebuildUI();
        break;
    case DialogUse::exportPreset:
    case DialogUse::exportBank:
        if (chosen) exportChosen(done, chosen);
        break;
    }
}

void EffectEditor::bankChosen(const PendingDialog& done, const std::string& file)
{
    if (owner->isBankModified() && !done.confirmed) {
        const std::string current = owner->getBankName();
        const std::string text = "The bank \"" + current + "\" has changes that are not saved. Load \"" +
                                 filename(file) + "\" in its place and lose them?";
        if (!ask(done, file, "Unsaved Bank", text))
            system::Complain("Quarrystone TWR:: The bank " + current +
                             " has unsaved changes and no question can be asked (zenity or kdialog is needed): " +
                             file + " was not loaded. Save or export the bank first.");
        rebuildUI();  // until the answer, the bank that plays
        return;
    }
    const auto load = [this](const char* path) { return owner->loadBank(path); };
    // An imported bank lives on as its copy in the Banks folder; one that
    // cannot be copied there is not loaded at all.
    if (done.use == DialogUse::importBank ? importFile(done, file, false, load) : load(file.c_str()))
        refillMenu(bankMenu);
    rebuildUI();
}

void EffectEditor::exportChosen(const PendingDialog& done, const std::string& chosen)
{
    // The dialog confirmed the name as typed; one it did not see is asked for.
    const std::string file = WithXmlExtension(chosen);
    involve(file);
    std::error_code error;
    if (file != chosen && !done.confirmed && std::filesystem::exists(std::filesystem::symlink_status(file, error))) {
        const std::string text = "\"" + filename(file) + "\" exists already. Replace it?";
        if (!ask(done, chosen, "Replace File", text))
            system::Complain("Quarrystone TWR:: " + file + " exists and no question can be asked (zenity or kdialog "
                             "is needed): nothing was written.");
        return;
    }
    if (done.use == DialogUse::exportPreset) {
        owner->exportPreset(file.c_str(), done.name.c_str());
    } else if (owner->exportBank(file.c_str()) && inFolder(file, owner->supportFolders().banks)) {
        refillMenu(bankMenu);
        rebuildUI();
    }
}

bool EffectEditor::importFile(const PendingDialog& done, const std::string& chosen, bool orOriginal,
                              const std::function<bool(const char*)>& load)
{
    const CopyResult copy = SyntheticCopy(chosen, joined(done.destination, filename(chosen)));
    if (copy.file.empty()) {
        system::Complain(copy.error + (orOriginal ? " It is used from where it lies." : " Nothing was changed."));
        return orOriginal && load(chosen.c_str());
    }
    if (load(copy.file.c_str())) return true;
    std::error_code error;
    if (copy.created) std::filesystem::remove(copy.file, error);
    return false;
}

}  // namespace tonewright
