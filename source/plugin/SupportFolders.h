#pragma once
// The product's folders on this machine and its one preference. The
// support folder ($XDG_DATA_HOME/Quarrystone/TWR/) holds Banks, Impulses and
// Preamps; the preference store holds the MIDI learn map. Paths are read
// from the environment when asked for, so every instance made after a
// change of XDG_DATA_HOME sees the new place.

#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace tonewright {

struct SupportFolders {
    std::filesystem::path root;  // with its final slash
    std::filesystem::path banks;
    std::filesystem::path impulses;
    std::filesystem::path preamps;

    static SupportFolders Current();
    // Creates each folder that is missing, with its parents.
    void Create() const;
};

// The name of the factory bank in Banks.
constexpr const char* kFactoryBankName = "QS Factory.xml";
// The preference domain and the MIDI map's key.
constexpr const char* kPreferenceDomain = "com.quarrystone.twr";
constexpr const char* kMidiMapKey = "MIDIMap";

// True when path names a folder.
bool folder_exists(const std::filesystem::path& path);
// Creates the folder and its missing parents.
bool create_folder(const std::filesystem::path& path);
// Writes the factory bank the plug-in carries to path, unless a file is
// already there (a user's edited bank is never replaced). True when it wrote.
bool unpack_factory_settings(const std::filesystem::path& path);
// The bank text the plug-in carries.
std::string_view FactoryBankText();

// A file the plug-in carries for the support folder, by its path inside it
// ("Preamps/Clean/American Clean.xml", "Impulses/Open 1x12.wav").
struct BundledFile {
    const char* path;
    const unsigned char* begin;
    const unsigned char* end;
};
// The generated table (cmake/Bundle.cmake).
std::span<const BundledFile> BundledSupportFiles();
// The first time the support folder is used, writes the carried preamp
// descriptions and cabinets into it, each only where no file of its name
// exists (a user's file is never replaced); a hidden mark in the folder
// then records that it was done, so files the user deletes stay deleted.
// True when the files are in place (now or before).
bool InstallSupportFiles(const SupportFolders& folders);

// A string preference: the user's value, else the shared one. At most 2047
// characters are copied into out (2048 with the terminator); false, out
// untouched, when absent or longer.
bool GetRegistryKey(const char* domain, const char* key, char* out);
// Writes the user's value; false when it could not be stored.
bool SetRegistryKey(const char* domain, const char* key, const char* value);

}  // namespace tonewright
