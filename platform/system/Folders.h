#pragma once
// Where the product keeps its files on this machine: the support folder
// under $XDG_DATA_HOME (default ~/.local/share) and the preference stores
// under $XDG_CONFIG_HOME (default ~/.config) and $XDG_CONFIG_DIRS (default
// /etc/xdg), read from the environment at each call.

#include <cstddef>
#include <filesystem>
#include <vector>

namespace tonewright::system {

// The longest path the system opens (PATH_MAX less the terminator).
constexpr size_t kMaxPath = 4095;

// $XDG_DATA_HOME/Quarrystone/TWR/ (with the final slash), or
// $TONEWRIGHT_SUPPORT_FOLDER when that holds an absolute path.
std::filesystem::path SupportFolder();
// $XDG_CONFIG_HOME, the user's configuration folder.
std::filesystem::path UserConfigFolder();
// The folders of $XDG_CONFIG_DIRS in order of preference.
std::vector<std::filesystem::path> SharedConfigFolders();

// True when path names a folder (following links).
bool IsFolder(const std::filesystem::path& path);
// Creates the folder and every missing parent (mode 0755); true when the
// folder exists afterwards.
bool MakeFolders(const std::filesystem::path& path);

}  // namespace tonewright::system
