// The committed factory bank and preamp descriptions, as the plug-in will
// install and load them: every program named and complete, and every file
// written again to the very bytes it came from (the bank comparison that
// tells a user about unsaved changes relies on that).

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "plugin/PresetXml.h"

namespace {

namespace fs = std::filesystem;
using namespace tonewright;

fs::path resources()
{
    const char* root = std::getenv("TONEWRIGHT_SOURCE_DIR");
    return fs::path(root ? root : ".") / "resources";
}

std::string bytesOf(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

TEST(FactoryBank, PreampDescriptionsLoadUnderTheirFileNamesAndSaveToTheSameBytes)
{
    std::set<std::string> families;
    int count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(resources() / "preamps")) {
        if (!entry.is_regular_file()) continue;
        const fs::path path = entry.path();
        SCOPED_TRACE(path.string());
        EXPECT_EQ(path.extension(), ".xml");
        PreampParameters p;
        std::memset(p.name, 0, sizeof p.name);
        ASSERT_TRUE(LoadPreampFromXML(p, path.c_str()));
        EXPECT_EQ(std::string(p.name), path.stem().string());
        EXPECT_EQ(PreampFileText(p), bytesOf(path));
        families.insert(path.parent_path().filename().string());
        ++count;
    }
    EXPECT_GE(count, 6);
    EXPECT_GE(families.size(), 3u);
}

TEST(FactoryBank, Holds128DistinctlyNamedProgramsEachWithAVoicingAndACabinetAndSavesToTheSameBytes)
{
    const fs::path path = resources() / "banks" / "QS Factory.xml";
    const std::string bytes = bytesOf(path);
    ASSERT_FALSE(bytes.empty()) << path;

    std::set<std::string> voicings;
    for (const auto& entry : fs::recursive_directory_iterator(resources() / "preamps"))
        if (entry.is_regular_file()) voicings.insert(entry.path().stem().string());

    auto programs = std::make_unique<EffectProgram[]>(kBankSize);
    for (int i = 0; i < kBankSize; ++i) programs[size_t(i)].name[0] = '\0';
    ASSERT_TRUE(LoadBankFromXML(programs.get(), path.c_str()));

    std::set<std::string> names;
    for (int i = 0; i < kBankSize; ++i) {
        const EffectProgram& p = programs[size_t(i)];
        SCOPED_TRACE(i);
        const std::string name = p.name;
        EXPECT_FALSE(name.empty());
        EXPECT_LE(name.size(), 23u);
        EXPECT_TRUE(names.insert(name).second) << name << " is used twice";
        EXPECT_EQ(voicings.count(p.params.preamp.name), 1u) << p.params.preamp.name << " has no preamp file";
        EXPECT_GE(p.params.master_level, -24.0);
        EXPECT_LE(p.params.master_level, 18.0);
    }
    EXPECT_EQ(BankFileText(programs.get()), bytes);

    // Each program embeds one of the synthetic cabinets, cut short (read
    // from the text, whatever the record keeps).
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(bytes.c_str()));
    int cabinets = 0;
    for (pugi::xml_node preset : doc.child("TWRBank").children("TWRPreset")) {
        const pugi::xml_node cab = preset.child("Cabinet");
        SCOPED_TRACE(preset.attribute("name").value());
        EXPECT_TRUE(fs::exists(resources() / "impulses" / cab.attribute("name").value()));
        EXPECT_GT(cab.attribute("length").as_int(), 1000);
        EXPECT_LE(cab.attribute("length").as_int(), 2048);
        EXPECT_GT(std::strlen(cab.child("Data").text().get()), 1000u);
        ++cabinets;
    }
    EXPECT_EQ(cabinets, kBankSize);
}
