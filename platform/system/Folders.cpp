#include "system/Folders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace tonewright::system {

namespace {

std::filesystem::path home()
{
    if (const char* h = std::getenv("HOME"); h && *h) return h;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/tmp";
}

// An XDG variable counts only when it holds an absolute path.
std::filesystem::path fromEnvironment(const char* variable, const std::filesystem::path& fallback)
{
    const char* value = std::getenv(variable);
    if (value && value[0] == '/') return value;
    return fallback;
}

}  // namespace

std::filesystem::path SupportFolder()
{
    // Benchmarks inside a host that sets its own XDG folders point this
    // elsewhere (a path that cannot be made runs with the factory programs
    // the plug-in carries, bound to no bank file).
    if (const char* folder = std::getenv("TONEWRIGHT_SUPPORT_FOLDER"); folder && folder[0] == '/')
        return std::filesystem::path(folder) / "";
    return fromEnvironment("XDG_DATA_HOME", home() / ".local/share") / "Quarrystone" / "TWR" / "";
}

std::filesystem::path UserConfigFolder() { return fromEnvironment("XDG_CONFIG_HOME", home() / ".config"); }

std::vector<std::filesystem::path> SharedConfigFolders()
{
    const char* value = std::getenv("XDG_CONFIG_DIRS");
    const std::string list = value && *value ? value : "/etc/xdg";
    std::vector<std::filesystem::path> folders;
    size_t start = 0;
    while (start <= list.size()) {
        const size_t end = std::min(list.find(':', start), list.size());
        const std::string item = list.substr(start, end - start);
        if (!item.empty() && item[0] == '/') folders.emplace_back(item);
        start = end + 1;
    }
    return folders;
}

bool IsFolder(const std::filesystem::path& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeFolders(const std::filesystem::path& path)
{
    if (path.empty()) return false;
    std::filesystem::path partial;
    for (const auto& part : path.lexically_normal()) {
        if (part.empty()) continue;
        partial /= part;
        if (IsFolder(partial)) continue;
        if (::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    return IsFolder(path);
}

}  // namespace tonewright::system
