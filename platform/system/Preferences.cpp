#include "system/Preferences.h"

#include <optional>
#include <sstream>
#include <system_error>
#include <vector>

#include "system/AtomicFile.h"
#include "system/Folders.h"

namespace tonewright::system {

namespace {

constexpr size_t kLargestStore = 1 << 20;

std::filesystem::path storeIn(const std::filesystem::path& folder, const std::string& domain)
{
    return folder / (domain + ".conf");
}

bool plainName(const std::string& s)
{
    if (s.empty() || s == "." || s == "..") return false;
    for (char c : s)
        if (c == '/' || c == '=' || c == '\n' || c == '\r' || c == '\0') return false;
    return true;
}

using Entries = std::vector<std::pair<std::string, std::string>>;

// The store's entries: none when there is no store; nothing when something
// is there that cannot be read (never to be replaced by a write).
std::optional<Entries> readStore(const std::filesystem::path& file)
{
    Entries entries;
    std::string text;
    if (!ReadWholeFile(file, text, kLargestStore)) {
        std::error_code error;
        if (std::filesystem::exists(std::filesystem::symlink_status(file, error))) return std::nullopt;
        return entries;
    }
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos || eq == 0) continue;
        entries.emplace_back(line.substr(0, eq), line.substr(eq + 1));
    }
    return entries;
}

std::optional<std::string> lookUp(const std::filesystem::path& file, const std::string& key)
{
    for (auto& [k, v] : readStore(file).value_or(Entries{}))
        if (k == key) return v;
    return std::nullopt;
}

}  // namespace

std::optional<std::string> ReadPreference(const std::string& domain, const std::string& key)
{
    if (!plainName(domain) || !plainName(key)) return std::nullopt;
    if (auto value = lookUp(storeIn(UserConfigFolder(), domain), key)) return value;
    for (const auto& folder : SharedConfigFolders())
        if (auto value = lookUp(storeIn(folder, domain), key)) return value;
    return std::nullopt;
}

PreferenceWrite UpdatePreference(const std::string& domain, const std::string& key,
                                 const std::function<std::string(const std::optional<std::string>&)>& change)
{
    if (!plainName(domain) || !plainName(key)) return PreferenceWrite::failed;
    const auto folder = UserConfigFolder();
    if (!MakeFolders(folder)) return PreferenceWrite::failed;
    const auto file = storeIn(folder, domain);
    const FileLock lock(folder / (domain + ".conf.lock"), kPreferenceLockWait);
    if (lock.state() != FileLock::State::held)
        return lock.state() == FileLock::State::busy ? PreferenceWrite::busy : PreferenceWrite::failed;
    const std::string value = change(ReadPreference(domain, key));
    if (value.find_first_of("\n\r", 0) != std::string::npos || value.find('\0') != std::string::npos)
        return PreferenceWrite::failed;
    // A store that is there but cannot be read is never replaced.
    auto stored = readStore(file);
    if (!stored) return PreferenceWrite::failed;
    Entries& entries = *stored;
    bool replaced = false;
    for (auto& [k, v] : entries)
        if (k == key) {
            v = value;
            replaced = true;
        }
    if (!replaced) entries.emplace_back(key, value);
    std::string text;
    for (const auto& [k, v] : entries) text += k + "=" + v + "\n";
    return WriteFileAtomically(file, text) ? PreferenceWrite::written : PreferenceWrite::failed;
}

bool WritePreference(const std::string& domain, const std::string& key, const std::string& value)
{
    return UpdatePreference(domain, key, [&value](const std::optional<std::string>&) { return value; }) ==
           PreferenceWrite::written;
}

}  // namespace tonewright::system
