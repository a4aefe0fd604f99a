// The plug-in's memory: the factory bank on first run, state chunks for the
// host, and the comparison that tells whether the bank in memory still
// matches its file.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "dsp/StringUtil.h"
#include "plugin/Effect.h"
#include "plugin/PresetXml.h"
#include "system/AtomicFile.h"

namespace tonewright {

namespace {

// A bank name from outside counts only as a plain file name inside Banks.
std::string plainFileName(const std::string& name)
{
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
        name.find('\0') != std::string::npos)
        return {};
    return name;
}

}  // namespace

void Effect::createSupportFolders()
{
    folders = SupportFolders::Current();
    folders.Create();
    InstallSupportFiles(folders);
}

void Effect::installAndLoadFactoryBank()
{
    // The factory programs are the ones the plug-in carries unless the
    // file in Banks reads as a bank; only then is the bank bound to it, so a
    // damaged or missing file is never the target of a save. A file is
    // installed only where none is.
    const auto file = folders.banks / kFactoryBankName;
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(file, error)) && !unpack_factory_settings(file)) {
        const int why = errno;
        // Without a Banks folder at all (none can be made) this is no news.
        if (folder_exists(folders.banks))
            std::fprintf(stderr, "Quarrystone TWR:: The factory bank cannot be installed as %s: %s.\n", file.c_str(),
                         std::strerror(why));
    }
    const bool present = std::filesystem::exists(std::filesystem::symlink_status(file, error));
    if (present && LoadBankFromXML(programs, file.c_str())) {
        bankFile = file;
        copyBounded(bankName, kFactoryBankName);
        return;
    }
    bankFile.clear();
    bankName[0] = '\0';
    if (present)
        std::fprintf(stderr,
                     "Quarrystone TWR:: %s cannot be read as a bank: the factory programs the plug-in carries are "
                     "used, and the file is left as it is.\n",
                     file.c_str());
    LoadBankFromText(programs, FactoryBankText());
}

void Effect::CompareBank()
{
    const auto control = lockControl();
    compareBankLocked();
}

void Effect::compareBankLocked()
{
    if (bankName[0] == '\0') return;
    // What cannot be compared (unreadable, or no memory to compare with)
    // counts as changed: the star asks the user to save.
    try {
        std::string file;
        if (!system::ReadWholeFile(bankFile, file)) {
            bankModified = true;
            return;
        }
        const size_t lineEnd = file.find('\n');
        if (lineEnd == std::string::npos) {
            bankModified = true;
            return;
        }
        const std::string_view stored = std::string_view(file).substr(lineEnd + 1);
        bankModified = stored != BankElementText(programs);
    } catch (const std::bad_alloc&) {
        bankModified = true;
    }
}

VstInt32 Effect::getChunk(void** data, bool isPreset)
{
    if (!data) return 0;
    *data = nullptr;
    const auto control = lockControl();
    std::string text;
    XmlWriter w(text);
    if (isPreset) {
        w.Open("TWRPreset");
        AddPresetToXML(sound, w);
        w.Close();
    } else {
        w.Open("TWRChunk");
        w.Open("TWRBank");
        w.Attribute("name", bankName);
        AddBankToXML(programs, w);
        w.Close();
        w.Open("TWRCurrent");
        AddPresetToXML(sound, w, [this](XmlWriter& x) {
            x.Attribute("name", currentProgramName);
            x.Attribute("modified", programModified.load());
            x.Attribute("prognum", static_cast<int>(curProgram.load()));
        });
        w.Close();
        w.Close();
    }
    auto fresh = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(fresh.get(), text.c_str(), text.size() + 1);
    chunk.swap(fresh);
    chunkSize = static_cast<int32_t>(text.size());
    *data = chunk.get();
    return chunkSize;
}

VstInt32 Effect::setChunk(void* data, VstInt32 byteSize, bool isPreset)
{
    if (!data || byteSize <= 0) return 0;
    // Parsed from a private copy: the host's memory is only read.
    pugi::xml_document doc;
    if (!ParseXml(doc, std::string_view(static_cast<const char*>(data), size_t(byteSize)))) {
        std::fprintf(stderr, "Quarrystone TWR:: State chunk refused: it is not well-formed XML.\n");
        return 0;
    }
    const pugi::xml_node root = doc.document_element();
    const std::string_view rootName = root.name();
    if (rootName != (isPreset ? "TWRPreset" : "TWRChunk")) {
        std::fprintf(stderr, "Quarrystone TWR:: State chunk refused: its root is <%s>.\n", root.name());
        return 0;
    }

    float before[kNumParameters];
    {
        const auto control = lockControl();
        snapshotValues(before);
        TonewrightParameters next = sound;
        if (isPreset) {
            GetPresetFromXML(next, root);
            playSoundLocked(next);
        } else {
            // Everything is read into copies first; the programs, names and
            // sound change together once the whole chunk has been read.
            auto bank = std::make_unique<EffectProgram[]>(kNumPrograms);
            for (int i = 0; i < kNumPrograms; ++i) bank[i] = programs[i];
            std::string newBankName = bankName;
            std::string newProgramName = currentProgramName;
            bool modified = false;
            int current = curProgram.load();
            for (pugi::xml_node child : root.children()) {
                if (child.type() != pugi::node_element) continue;
                const std::string_view tag = child.name();
                if (tag == "TWRBank") {
                    GetBankFromXML(bank.get(), child);
                    newBankName = plainFileName(ReadText(child, "name"));
                } else if (tag == "TWRCurrent") {
                    GetPresetFromXML(next, child);
                    newProgramName = ReadText(child, "name");
                    modified = ReadBool(child, "modified");
                    // A program number that is missing or out of range
                    // keeps the current one.
                    if (const auto k = parseLeadingInt(ReadText(child, "prognum").c_str());
                        k && validProgramIndex(*k))
                        current = *k;
                }
            }
            char name[256];
            copyBounded(name, newBankName.c_str());
            std::filesystem::path file = name[0] ? folders.banks / name : std::filesystem::path();
            Change change = prepareChangeLocked(nullptr, PrepareTable(bank.get(), rate), Prepare(next, rate, true));
            for (int i = 0; i < kNumPrograms; ++i) programs[i] = bank[i];
            copyBounded(bankName, name);
            bankFile.swap(file);
            copyBounded(currentProgramName, newProgramName.c_str());
            curProgram = current;
            commitChangeLocked(std::move(change));
            programModified = modified;
            compareBankLocked();
        }
    }
    // The host restored this itself: it reads the values again, and the
    // restored program keeps the modified flag it was saved with.
    announce(Origin::host, before);
    editorRefresh.store(true);
    return 0;
}

}  // namespace tonewright
