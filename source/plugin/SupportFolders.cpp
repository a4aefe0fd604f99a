#include "plugin/SupportFolders.h"

#include <cstring>

#include "system/AtomicFile.h"
#include "system/Folders.h"
#include "system/Preferences.h"

namespace tonewright {

namespace {
constexpr size_t kPreferenceBuffer = 2048;
}

SupportFolders SupportFolders::Current()
{
    SupportFolders f;
    f.root = system::SupportFolder();
    f.banks = f.root / "Banks";
    f.impulses = f.root / "Impulses";
    f.preamps = f.root / "Preamps";
    return f;
}

void SupportFolders::Create() const
{
    for (const auto* folder : {&root, &banks, &impulses, &preamps})
        if (!folder_exists(*folder)) create_folder(*folder);
}

bool folder_exists(const std::filesystem::path& path) { return system::IsFolder(path); }

bool create_folder(const std::filesystem::path& path) { return system::MakeFolders(path); }

bool unpack_factory_settings(const std::filesystem::path& path)
{
    const std::string_view bank = FactoryBankText();
    return !bank.empty() && system::WriteFileIfAbsent(path, bank);
}

namespace {
// Records in the support folder that the carried files were installed.
constexpr const char* kInstalledMark = ".installed";
}  // namespace

bool InstallSupportFiles(const SupportFolders& folders)
{
    if (folders.root.empty() || !folder_exists(folders.root)) return false;
    const auto mark = folders.root / kInstalledMark;
    std::string probe;
    if (system::ReadWholeFile(mark, probe, 64)) return true;
    bool complete = true;
    for (const BundledFile& file : BundledSupportFiles()) {
        const auto target = folders.root / file.path;
        if (!folder_exists(target.parent_path())) create_folder(target.parent_path());
        const std::string_view bytes(reinterpret_cast<const char*>(file.begin), size_t(file.end - file.begin));
        std::error_code error;
        if (!system::WriteFileIfAbsent(target, bytes) && !std::filesystem::exists(std::filesystem::symlink_status(target, error)))
            complete = false;
    }
    // An incomplete install (a full disk) is tried again by the next instance.
    return complete && system::WriteFileAtomically(mark, "1\n");
}

bool GetRegistryKey(const char* domain, const char* key, char* out)
{
    if (!domain || !key || !out) return false;
    const auto value = system::ReadPreference(domain, key);
    if (!value || value->size() >= kPreferenceBuffer) return false;
    std::memcpy(out, value->c_str(), value->size() + 1);
    return true;
}

bool SetRegistryKey(const char* domain, const char* key, const char* value)
{
    return domain && key && value && std::strlen(value) < kPreferenceBuffer &&
           system::WritePreference(domain, key, value);
}

}  // namespace tonewright

extern "C" {
extern const char tonewright_factory_bank_begin[];
extern const char tonewright_factory_bank_end[];
}

namespace tonewright {

std::string_view FactoryBankText()
{
    return {tonewright_factory_bank_begin, size_t(tonewright_factory_bank_end - tonewright_factory_bank_begin)};
}

}  // namespace tonewright
