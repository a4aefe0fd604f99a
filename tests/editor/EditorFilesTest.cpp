// What the editor reads itself: the skin description in the toolkit's
// folder, and the file an import copies into the support folder. Handed a
// FIFO, a folder, a device or a huge file, each returns at once.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "GuiHarness.h"
#include "PluginHarness.h"
#include "Promptly.h"
#include "editor/EffectEditor.h"
#include "editor/SkinResources.h"
#include "system/AtomicFile.h"

using namespace tonewright;
namespace fs = std::filesystem;

TEST(EditorFiles, ASkinDescriptionInTheFolderThatIsNotARegularFileGivesTheBundledOneAtOnce)
{
    guitest::BitmapFolder folder;
    const fs::path ui = fs::path(std::getenv("TONEWRIGHT_GUI_BITMAPS")) / "ui.xml";
    const SkinResource& bundled = BundledSkinDescription();
    const std::string expected(reinterpret_cast<const char*>(bundled.begin), size_t(bundled.end - bundled.begin));
    const std::function<bool()> makers[] = {[&] { return testkit::MakeFifo(ui); },
                                            [&] { return fs::create_directory(ui); }};
    for (const auto& make : makers) {
        fs::remove_all(ui);
        ASSERT_TRUE(make());
        std::string text;
        bool found = false;
        testing::internal::CaptureStderr();
        EXPECT_TRUE(testkit::ReturnsPromptly([&] { found = LoadSkinDescription("ui", text); }, {ui}));
        EXPECT_NE(testing::internal::GetCapturedStderr().find("Quarrystone TWR:: Cannot read " + ui.string()),
                  std::string::npos);
        EXPECT_TRUE(found);
        EXPECT_TRUE(text == expected);
    }
}

TEST(EditorFiles, AnImportCopiesARegularFileExactlyAndRefusesAnythingElseAtOnce)
{
    const fs::path root = harness::TestHome() / "imports";
    fs::create_directories(root / "folder.xml");
    ASSERT_TRUE(testkit::MakeFifo(root / "pipe.xml"));
    ASSERT_TRUE(testkit::MakeSparseFile(root / "huge.xml", (256ull << 20) + 1));
    const fs::path copy = root / "copy.xml";
    for (const fs::path& source : {root / "pipe.xml", fs::path("/dev/zero"), root / "folder.xml", root / "huge.xml",
                                  root / "missing.xml"}) {
        SCOPED_TRACE(source.string());
        CopyResult copied;
        copied.file = "unchanged";
        testing::internal::CaptureStderr();
        EXPECT_TRUE(testkit::ReturnsPromptly([&] { copied = SyntheticCopy(source, copy); }, {root / "pipe.xml"}));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // the caller says it
        EXPECT_EQ(copied.file, "");
        EXPECT_FALSE(fs::exists(copy));
        EXPECT_EQ(copied.error.rfind("Quarrystone TWR:: Cannot read " + source.string() + ": ", 0), 0u) << copied.error;
        EXPECT_EQ(copied.error.find('\n'), std::string::npos);
    }
    const std::string bytes("<TWRPreset/>\0\xff", 14);
    std::ofstream(root / "preset.xml", std::ios::binary) << bytes;
    ASSERT_EQ(SyntheticCopy(root / "preset.xml", copy).file, copy.string());
    std::string read;
    ASSERT_TRUE(system::ReadWholeFile(copy, read));
    EXPECT_TRUE(read == bytes);
}
