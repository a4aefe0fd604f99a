// The factory bank, the preamp descriptions and the bank's documented
// measurements are generated: the generator's --check makes them anew from
// the demo clip (every program rendered and levelled) and must find exactly
// what is committed, and must name every file that is not what it makes:
// a hand-edited preamp, a master level moved by 0.1 dB, a measurement
// changed in the documentation. CI runs it, so a change to the engine's
// sound that moves a program fails until the bank is regenerated.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include <unistd.h>

#include "FileBytes.h"

namespace {

namespace fs = std::filesystem;

fs::path sourceDir()
{
    const char* root = std::getenv("TONEWRIGHT_SOURCE_DIR");
    return fs::path(root ? root : ".");
}

// The check's exit status; its messages in `errors`.
int runCheck(const fs::path& clip, const fs::path& resources, const fs::path& doc, const fs::path& errors)
{
    const std::string command = "'" TONEWRIGHT_FACTORY_BANK_PATH "' --check --doc '" + doc.string() + "' '" +
                                clip.string() + "' '" + (sourceDir() / "resources" / "impulses").string() + "' '" +
                                resources.string() + "' > /dev/null 2> '" + errors.string() + "'";
    return std::system(command.c_str());
}

// Replaces the first `from` in the file by `to`.
bool edit(const fs::path& file, const std::string& from, const std::string& to)
{
    std::string text = bytesOf(file);
    const size_t at = text.find(from);
    if (at == std::string::npos) return false;
    text.replace(at, from.size(), to);
    std::ofstream(file, std::ios::binary) << text;
    return true;
}

}  // namespace

// One run over a copy of the committed files with three of them changed:
// the check must name exactly those three, so everything else it made
// matched what is committed and broke no rule.
TEST(FactoryBankGenerator, ReproducesTheCommittedFilesAndNamesEveryChangedOne)
{
    const fs::path dir = fs::temp_directory_path() / ("tw-factory-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path clip = dir / "clip.wav", errors = dir / "errors.txt";
    ASSERT_EQ(std::system(("'" TONEWRIGHT_DEMO_CLIP_PATH "' '" + clip.string() + "' > /dev/null").c_str()), 0);

    const fs::path copy = dir / "resources", doc = dir / "factory-bank.md";
    fs::create_directories(copy);
    fs::copy(sourceDir() / "resources" / "banks", copy / "banks", fs::copy_options::recursive);
    fs::copy(sourceDir() / "resources" / "preamps", copy / "preamps", fs::copy_options::recursive);
    fs::copy(sourceDir() / "docs" / "factory-bank.md", doc);
    const fs::path preamp = copy / "preamps" / "Clean" / "Studio Clean.xml", bank = copy / "banks" / "QS Factory.xml";
    ASSERT_TRUE(edit(preamp, "wiper=\"0.5\"", "wiper=\"0.6\""));
    // Program 0's master level, one step up.
    ASSERT_TRUE(edit(bank, "master_level=\"-13.1\"", "master_level=\"-13.0\""));
    ASSERT_TRUE(edit(doc, "| 0 | Classic Crunch | crunch |", "| 0 | Classic Crunch | classic rock |"));
    EXPECT_NE(runCheck(clip, copy, doc, errors), 0);

    const std::string prefix = "make-factory-bank: ";
    std::istringstream said(bytesOf(errors));
    std::set<std::string> named;
    for (std::string line; std::getline(said, line);) {
        const size_t at = line.find(" differs from what the generator makes");
        EXPECT_TRUE(at != std::string::npos && line.rfind(prefix, 0) == 0) << line;
        if (at != std::string::npos) named.insert(line.substr(prefix.size(), at - prefix.size()));
    }
    EXPECT_EQ(named, (std::set<std::string>{preamp.string(), bank.string(), doc.string()})) << bytesOf(errors);

    fs::remove_all(dir);
}
