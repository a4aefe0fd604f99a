// The factory bank and preamp descriptions are generated files: the
// generator run on the demo clip must make exactly what is committed (its
// --check mode compares every byte and renders a program of each kind to
// show that the master levels come out as committed), and must notice a
// file that is not what it makes.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

fs::path sourceDir()
{
    const char* root = std::getenv("TONEWRIGHT_SOURCE_DIR");
    return fs::path(root ? root : ".");
}

int runCheck(const fs::path& clip, const fs::path& resources)
{
    const std::string command = "'" TONEWRIGHT_FACTORY_BANK_PATH "' --check '" + clip.string() + "' '" +
                                (sourceDir() / "resources" / "impulses").string() + "' '" + resources.string() +
                                "' > /dev/null 2>&1";
    return std::system(command.c_str());
}

}  // namespace

TEST(FactoryBankGenerator, ReproducesTheCommittedFilesAndRejectsAChangedOne)
{
    const fs::path dir = fs::temp_directory_path() / ("tw-factory-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path clip = dir / "clip.wav";
    ASSERT_EQ(std::system(("'" TONEWRIGHT_DEMO_CLIP_PATH "' '" + clip.string() + "' > /dev/null").c_str()), 0);

    EXPECT_EQ(runCheck(clip, sourceDir() / "resources"), 0);

    // A copy with one preamp value changed by hand.
    const fs::path copy = dir / "resources";
    fs::create_directories(copy);
    fs::copy(sourceDir() / "resources" / "banks", copy / "banks", fs::copy_options::recursive);
    fs::copy(sourceDir() / "resources" / "preamps", copy / "preamps", fs::copy_options::recursive);
    fs::path preamp;
    for (const auto& e : fs::recursive_directory_iterator(copy / "preamps"))
        if (e.is_regular_file()) preamp = e.path();
    ASSERT_FALSE(preamp.empty());
    std::string text;
    {
        std::ifstream in(preamp, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        text = s.str();
    }
    const size_t at = text.find("wiper=\"0.5\"");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 11, "wiper=\"0.6\"");
    std::ofstream(preamp, std::ios::binary) << text;
    EXPECT_NE(runCheck(clip, copy), 0);

    fs::remove_all(dir);
}
