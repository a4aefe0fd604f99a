// The editor's skin is generated: make-skin must write the same bytes on
// every run, exactly the files committed in resources/skin, and the
// description must hold together: one control of the right kind for every
// parameter under its enumeration name, the views the product editor looks
// up by tag with the classes it casts them to, every bitmap named at the
// size its elements imply with every image of a strip telling its value
// apart, and every view inside its container without covering another.

#include <gtest/gtest.h>

#include <cairo.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

fs::path sourceDir()
{
    const char* root = std::getenv("TONEWRIGHT_SOURCE_DIR");
    return fs::path(root ? root : ".");
}

std::string bytesOf(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::string bytes(static_cast<size_t>(std::max<std::streamoff>(0, in.tellg())), '\0');
    in.seekg(0);
    in.read(bytes.data(), std::streamsize(bytes.size()));
    return bytes;
}

std::map<std::string, std::string> filesIn(const fs::path& dir)
{
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(dir)) files[e.path().filename().string()] = bytesOf(e.path());
    return files;
}

// The parameters in index order with the control each should get:
// b an on/off button, s a stepped switch, r a rotary of steps, k a knob.
struct ExpectedParameter {
    const char* tag;
    char kind;
    int positions = 0;
};

const ExpectedParameter kParameters[80] = {
    {"kParamAmpBypass", 'b'}, {"kParamUpsamplerBypass", 'b'}, {"kParamLowcutType", 's', 3},
    {"kParamDeepBypass", 'b'}, {"kParamBrightBypass", 'b'}, {"kParamGain", 'k'}, {"kParamBoostBypass", 'b'},
    {"kParamBass", 'k'}, {"kParamMids", 'k'}, {"kParamTreb", 'k'}, {"kParamPres", 'k'},
    {"kParamPowerType", 's', 4}, {"kParamPowerDrive", 'k'}, {"kParamCabinetBypass", 'b'},
    {"kParamCabinetMinimumPhaseBypass", 'b'}, {"kParamCabinetFilterLen", 'r', 6}, {"kParamCabinetDIFreq", 'k'},
    {"kParamGraphicBypass", 'b'}, {"kParamGraphicType", 's', 3}, {"kParamGraphicPrePost", 'b'},
    {"kParamGraphicBand1", 'k'}, {"kParamGraphicBand2", 'k'}, {"kParamGraphicBand3", 'k'},
    {"kParamGraphicBand4", 'k'}, {"kParamGraphicBand5", 'k'}, {"kParamGraphicBand6", 'k'},
    {"kParamGraphicBand7", 'k'}, {"kParamGraphicGain", 'k'}, {"kParamParaFreq", 'k'}, {"kParamParaGain", 'k'},
    {"kParamMasterVolume", 'k'}, {"kParamWahBypass", 'b'}, {"kParamWahFreq", 'k'},
    {"kParamSustainerBypass", 'b'}, {"kParamSustainerAmt", 'k'}, {"kParamSustainerAttk", 'k'},
    {"kParamSustainerMode", 's', 2}, {"kParamChorusPrePost", 'b'}, {"kParamChorusBypass", 'b'},
    {"kParamChorusSpeed", 'k'}, {"kParamChorusSweep", 'k'}, {"kParamChorusDepth", 'k'},
    {"kParamChorusVoices", 's', 3}, {"kParamChorusDelay", 'k'}, {"kParamFlangerPrePost", 'b'},
    {"kParamFlangerBypass", 'b'}, {"kParamFlangerSpeed", 'k'}, {"kParamFlangerSweep", 'k'},
    {"kParamFlangerDepth", 'k'}, {"kParamFlangerDelay", 'k'}, {"kParamFlangerRegen", 'k'},
    {"kParamFlangerMono", 's', 2}, {"kParamFlangerPhase", 'b'}, {"kParamPhaserPrePost", 'b'},
    {"kParamPhaserBypass", 'b'}, {"kParamPhaserSpeed", 'k'}, {"kParamPhaserSweep", 'k'},
    {"kParamPhaserDepth", 'k'}, {"kParamPhaserStages", 's', 3}, {"kParamPhaserRegen", 'k'},
    {"kParamPhaserMono", 's', 2}, {"kParamTremoloPrePost", 'b'}, {"kParamTremoloBypass", 'b'},
    {"kParamTremoloSpeed", 'k'}, {"kParamTremoloDepth", 'k'}, {"kParamTremoloType", 's', 2},
    {"kParamTremoloWave", 'k'}, {"kParamDelayPrePost", 'b'}, {"kParamDelayBypass", 'b'},
    {"kParamDelayDelay", 'k'}, {"kParamDelayRepeat", 'k'}, {"kParamDelayLevel", 'k'}, {"kParamDelayType", 's', 2},
    {"kParamDelayStyle", 'k'}, {"kParamReverbBypass", 'b'}, {"kParamReverbType", 's', 3},
    {"kParamReverbLevel", 'k'}, {"kParamGateBypass", 'b'}, {"kParamGateThresh", 'k'}, {"kParamGateSlope", 'k'},
};

// Editor tags the window must carry; where the product editor casts the
// first view of the tag, the classes it accepts.
const std::map<std::string, std::set<std::string>> kEditorViews = {
    {"kGUIParamAmpModel", {"CMyFileMenu"}},
    {"kGUIParamCabImpulse", {"CMyFileMenu"}},
    {"kGUIParamPreset", {"CMyFileMenu"}},
    {"kGUIParamName", {"CTextEdit", "CRedTextEdit"}},
    {"kGUIParamBank", {"CMyFileMenu"}},
    {"kGUIParamPresetSaveButton", {"CFlashButton"}},
    {"kGUIParamPresetSaveAsButton", {"CMyFileMenu"}},
    {"kGUIParamPresetImportButton", {}},
    {"kGUIParamPresetExportButton", {}},
    {"kGUIParamBankSaveButton", {}},
    {"kGUIParamBankExportButton", {}},
    {"kGUIParamMoreButton", {}},
    {"kGUIParamClipLight", {}},
    {"kGUIMoreScreen", {"Page"}},
    {"kGUITunerDisplay", {}},
    {"kGUITunerKeyDisplay", {"CTextEdit", "CRedTextEdit"}},
    {"kGUIInputVU", {}},
    {"kGUIOutputVU", {}},
    {"kGUIMoreScreenCLOSE", {}},
    {"kGUIParamVersionNumber", {"CMyTextLabel"}},
    {"kGUIMessageLine", {"CMyMessageLine"}},
};

const std::set<std::string> kContainers = {"CGViewContainer", "Group", "Page"};
const std::set<std::string> kStrips = {"CMyAnimKnob", "CMyVU", "CMyVerticalSwitch", "CMyHorizontalSwitch",
                                       "CAnimKnob2", "CVerticalSwitch2", "CHorizontalSwitch2", "CMovieBitmap2"};
const std::set<std::string> kTwoImages = {"CMyOnOffButton", "COnOffButton", "CFlashButton"};
const std::set<std::string> kOneImage = {"CTextEdit", "CRedTextEdit", "CParamDisplay", "CTextLabel"};
const std::set<std::string> kDisplays = {"CMyFileMenu", "PageTurn", "CMyTextLabel", "CMyMessageLine"};  // no bitmap

struct Image {
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface{nullptr, &cairo_surface_destroy};
    int width = 0, height = 0;
};

Image loadPng(const fs::path& path)
{
    Image image;
    image.surface.reset(cairo_image_surface_create_from_png(path.c_str()));
    if (cairo_surface_status(image.surface.get()) != CAIRO_STATUS_SUCCESS) return Image{};
    image.width = cairo_image_surface_get_width(image.surface.get());
    image.height = cairo_image_surface_get_height(image.surface.get());
    return image;
}

// The pixels of image k of a strip of images of height h.
std::string frame(const Image& image, int k, int h)
{
    cairo_surface_t* s = image.surface.get();
    cairo_surface_flush(s);
    const int stride = cairo_image_surface_get_stride(s);
    const auto* data = reinterpret_cast<const char*>(cairo_image_surface_get_data(s));
    return std::string(data + size_t(k) * size_t(h) * size_t(stride), size_t(h) * size_t(stride));
}

int runGenerator(const fs::path& out)
{
    return std::system(("'" TONEWRIGHT_SKIN_PATH "' '" + out.string() + "'").c_str());
}

class Skin : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = fs::temp_directory_path() / ("tw-skin-" + std::to_string(getpid()));
        fs::remove_all(dir);
        ASSERT_EQ(runGenerator(dir / "first"), 0);
        ASSERT_EQ(runGenerator(dir / "second"), 0);
        ASSERT_TRUE(document.load_file((dir / "first" / "ui.xml").c_str()));
    }
    static void TearDownTestSuite() { fs::remove_all(dir); }

    static fs::path dir;
    static pugi::xml_document document;

    static pugi::xml_node window() { return document.document_element().first_child(); }

    // Every element with its rectangle in window coordinates, depth first.
    struct View {
        pugi::xml_node node;
        int x, y, w, h;
    };
    static std::vector<View> views()
    {
        std::vector<View> out;
        const auto walk = [&](auto&& self, pugi::xml_node parent, int ox, int oy) -> void {
            for (pugi::xml_node n : parent.children()) {
                if (n.type() != pugi::node_element) continue;
                const View v{n, ox + n.attribute("x").as_int(), oy + n.attribute("y").as_int(),
                             n.attribute("width").as_int(), n.attribute("height").as_int()};
                out.push_back(v);
                self(self, n, v.x, v.y);
            }
        };
        walk(walk, document.document_element(), 0, 0);
        return out;
    }
};

fs::path Skin::dir;
pugi::xml_document Skin::document;

TEST_F(Skin, IsTheSameOnEveryRunAndIsWhatIsCommitted)
{
    const auto first = filesIn(dir / "first");
    EXPECT_EQ(first, filesIn(dir / "second"));
    const auto committed = filesIn(sourceDir() / "resources" / "skin");
    EXPECT_EQ(first.size(), committed.size());
    for (const auto& [name, bytes] : first) {
        const auto it = committed.find(name);
        EXPECT_TRUE(it != committed.end() && it->second == bytes) << name << " differs from resources/skin";
    }
    const Image preview = loadPng(dir / "first" / "preview.png");
    EXPECT_EQ(preview.width, 579);
    EXPECT_EQ(preview.height, 375);
}

TEST_F(Skin, GivesEveryParameterOneControlOfItsKindUnderItsEnumerationName)
{
    std::map<std::string, std::vector<pugi::xml_node>> byTag;
    for (const View& v : views())
        if (const char* tag = v.node.attribute("tag").as_string(nullptr)) byTag[tag].push_back(v.node);

    for (const ExpectedParameter& p : kParameters) {
        SCOPED_TRACE(p.tag);
        ASSERT_EQ(byTag[p.tag].size(), 1u);
        const pugi::xml_node n = byTag[p.tag].front();
        const std::string type = n.name();
        const int frames = n.attribute("subpixmaps").as_int();
        switch (p.kind) {
        case 'b': EXPECT_EQ(type, "CMyOnOffButton"); break;
        case 's':
            EXPECT_EQ(type, "CMyVerticalSwitch");
            EXPECT_EQ(n.attribute("maxpositions").as_int(), p.positions);
            EXPECT_EQ(frames, p.positions);
            break;
        case 'r':
            EXPECT_EQ(type, "CMyAnimKnob");
            EXPECT_EQ(frames, p.positions);
            break;
        default:
            EXPECT_EQ(type, "CMyAnimKnob");
            EXPECT_GE(frames, 32);
        }
    }

    // Every tag is a name of the enumeration, and the editor finds its views.
    std::set<std::string> known;
    for (const ExpectedParameter& p : kParameters) known.insert(p.tag);
    for (const auto& [tag, classes] : kEditorViews) {
        known.insert(tag);
        SCOPED_TRACE(tag);
        ASSERT_FALSE(byTag[tag].empty());
        if (!classes.empty()) {
            EXPECT_TRUE(classes.count(byTag[tag].front().name()));
        }
    }
    for (const auto& [tag, nodes] : byTag) EXPECT_TRUE(known.count(tag)) << tag;

    // The More page starts hidden, opens at value 1 and lies over the whole panel.
    const pugi::xml_node page = byTag["kGUIMoreScreen"].front();
    EXPECT_EQ(page.attribute("pagenum").as_int(), 1);
    EXPECT_EQ(byTag["kGUIParamMoreButton"].front().attribute("pagenum").as_int(), 1);
    EXPECT_EQ(page.next_sibling(), pugi::xml_node());
    EXPECT_EQ(std::string(byTag["kGUIParamVersionNumber"].front().attribute("text").as_string()), "1.5");
}

TEST_F(Skin, LabelsEachControlWithWhatItDrivesAndOneWordForOneFunctionInEverySection)
{
    // Written out from what each parameter drives (the engine's record field it sets), not from the generator: the
    // modulations' sweep range is SWEEP and their wet share DEPTH, the delay's tone control is its STYLE, a stage's
    // switch is named after the stage, a choice among kinds is the TYPE where its host name says so.
    const std::map<std::string, std::string> words = {
        {"kParamAmpBypass", "PREAMP"}, {"kParamUpsamplerBypass", "HI-FI"}, {"kParamLowcutType", "LOW CUT"},
        {"kParamDeepBypass", "DEEP"}, {"kParamBrightBypass", "BRIGHT"}, {"kParamGain", "GAIN"},
        {"kParamBoostBypass", "BOOST"}, {"kParamBass", "BASS"}, {"kParamMids", "MIDDLE"}, {"kParamTreb", "TREBLE"},
        {"kParamPres", "PRESENCE"}, {"kParamPowerType", "TYPE"}, {"kParamPowerDrive", "DRIVE"},
        {"kParamCabinetBypass", "CABINET"}, {"kParamCabinetMinimumPhaseBypass", "MIN PHASE"},
        {"kParamCabinetFilterLen", "LENGTH"}, {"kParamCabinetDIFreq", "DI FREQ"}, {"kParamGraphicBypass", "GRAPHIC EQ"},
        {"kParamGraphicType", "RANGE"}, {"kParamGraphicPrePost", "PRE/POST"}, {"kParamGraphicBand1", "100"},
        {"kParamGraphicBand2", "200"}, {"kParamGraphicBand3", "400"}, {"kParamGraphicBand4", "800"},
        {"kParamGraphicBand5", "1.6K"}, {"kParamGraphicBand6", "3.2K"}, {"kParamGraphicBand7", "6.4K"},
        {"kParamGraphicGain", "LEVEL"}, {"kParamParaFreq", "MID FREQ"}, {"kParamParaGain", "MID GAIN"},
        {"kParamMasterVolume", "VOLUME"}, {"kParamWahBypass", "WAH"}, {"kParamWahFreq", "PEDAL"},
        {"kParamSustainerBypass", "SUSTAIN"}, {"kParamSustainerAmt", "AMOUNT"}, {"kParamSustainerAttk", "ATTACK"},
        {"kParamSustainerMode", "MODE"}, {"kParamChorusPrePost", "PRE/POST"}, {"kParamChorusBypass", "CHORUS"},
        {"kParamChorusSpeed", "SPEED"}, {"kParamChorusSweep", "SWEEP"}, {"kParamChorusDepth", "DEPTH"},
        {"kParamChorusVoices", "VOICES"}, {"kParamChorusDelay", "DELAY"}, {"kParamFlangerPrePost", "PRE/POST"},
        {"kParamFlangerBypass", "FLANGER"}, {"kParamFlangerSpeed", "SPEED"}, {"kParamFlangerSweep", "SWEEP"},
        {"kParamFlangerDepth", "DEPTH"}, {"kParamFlangerDelay", "DELAY"}, {"kParamFlangerRegen", "REGEN"},
        {"kParamFlangerMono", "WIDTH"}, {"kParamFlangerPhase", "INVERT"}, {"kParamPhaserPrePost", "PRE/POST"},
        {"kParamPhaserBypass", "PHASER"}, {"kParamPhaserSpeed", "SPEED"}, {"kParamPhaserSweep", "SWEEP"},
        {"kParamPhaserDepth", "DEPTH"}, {"kParamPhaserStages", "STAGES"}, {"kParamPhaserRegen", "REGEN"},
        {"kParamPhaserMono", "WIDTH"}, {"kParamTremoloPrePost", "PRE/POST"}, {"kParamTremoloBypass", "TREMOLO"},
        {"kParamTremoloSpeed", "SPEED"}, {"kParamTremoloDepth", "DEPTH"}, {"kParamTremoloType", "TYPE"},
        {"kParamTremoloWave", "WAVE"}, {"kParamDelayPrePost", "PRE/POST"}, {"kParamDelayBypass", "DELAY"},
        {"kParamDelayDelay", "TIME"}, {"kParamDelayRepeat", "REPEAT"}, {"kParamDelayLevel", "LEVEL"},
        {"kParamDelayType", "TYPE"}, {"kParamDelayStyle", "STYLE"}, {"kParamReverbBypass", "REVERB"},
        {"kParamReverbType", "TYPE"}, {"kParamReverbLevel", "LEVEL"}, {"kParamGateBypass", "GATE"},
        {"kParamGateThresh", "THRESH"}, {"kParamGateSlope", "SLOPE"}};
    std::map<std::string, std::string> labelled;
    for (const View& v : views())
        if (const char* tag = v.node.attribute("tag").as_string(nullptr); tag && v.node.attribute("label"))
            labelled[tag] = v.node.attribute("label").as_string();
    EXPECT_EQ(labelled, words);
    EXPECT_EQ(labelled.size(), 80u);
    // The words are what the backgrounds show: a label changed in the generator shows as changed pixels there,
    // which the byte comparison with the committed files holds to.
}

TEST_F(Skin, NamesBitmapsThatExistAtTheSizeTheirElementsImply)
{
    std::map<int, std::string> stripOf;  // bitmap id -> the element type that first used it
    int named = 0;
    for (const View& v : views()) {
        const std::string type = v.node.name();
        SCOPED_TRACE(type + " " + v.node.attribute("tag").as_string());
        const pugi::xml_attribute background = v.node.attribute("background");
        if (kDisplays.count(type)) {
            EXPECT_FALSE(background);
            continue;
        }
        ASSERT_TRUE(background);
        ++named;
        const fs::path png = dir / "first" / (std::to_string(background.as_int()) + ".png");
        const Image image = loadPng(png);
        ASSERT_TRUE(image.surface) << png;
        EXPECT_EQ(image.width, v.w);
        if (kContainers.count(type) || kOneImage.count(type)) {
            EXPECT_EQ(image.height, v.h);
        } else if (kTwoImages.count(type)) {
            ASSERT_EQ(image.height, 2 * v.h);
            EXPECT_NE(frame(image, 0, v.h), frame(image, 1, v.h));
        } else {
            ASSERT_TRUE(kStrips.count(type));
            const int frames = v.node.attribute("subpixmaps").as_int();
            EXPECT_EQ(v.node.attribute("heightofoneimage").as_int(), v.h);
            ASSERT_EQ(image.height, frames * v.h);
            // Every value shows; the tuner's needle only from its lowest reading, 0.08, up.
            const bool tuner = std::string(v.node.attribute("tag").as_string()) == "kGUITunerDisplay";
            for (int k = tuner ? int(0.08 * (frames - 1)) : 0; k + 1 < frames; ++k)
                EXPECT_NE(frame(image, k, v.h), frame(image, k + 1, v.h)) << "image " << k;
        }
    }
    EXPECT_GT(named, 80);
}

TEST_F(Skin, PlacesEveryViewInsideItsContainerWithoutCoveringAnother)
{
    const pugi::xml_node top = window();
    EXPECT_EQ(std::string(top.name()), "CGViewContainer");
    EXPECT_EQ(top.attribute("x").as_int(), 0);
    EXPECT_EQ(top.attribute("y").as_int(), 0);
    EXPECT_EQ(top.attribute("width").as_int(), 579);
    EXPECT_EQ(top.attribute("height").as_int(), 375);
    EXPECT_EQ(top.next_sibling(), pugi::xml_node());

    const auto check = [&](auto&& self, pugi::xml_node parent, int width, int height) -> void {
        std::vector<pugi::xml_node> siblings;
        for (pugi::xml_node n : parent.children())
            if (n.type() == pugi::node_element) siblings.push_back(n);
        for (size_t i = 0; i < siblings.size(); ++i) {
            const pugi::xml_node n = siblings[i];
            const std::string type = n.name();
            SCOPED_TRACE(type + " " + n.attribute("tag").as_string());
            for (const char* name : {"x", "y", "width", "height"}) {
                const std::string text = n.attribute(name).as_string();
                ASSERT_FALSE(text.empty()) << name;
                EXPECT_EQ(text.find_first_not_of("0123456789"), std::string::npos) << name << "=" << text;
            }
            const int x = n.attribute("x").as_int(), y = n.attribute("y").as_int();
            const int w = n.attribute("width").as_int(), h = n.attribute("height").as_int();
            EXPECT_GT(w, 0);
            EXPECT_GT(h, 0);
            EXPECT_LE(x + w, width);
            EXPECT_LE(y + h, height);
            if (!n.first_child().empty()) {
                ASSERT_TRUE(kContainers.count(type)) << "children under a view that is no container";
                self(self, n, w, h);
            }
            // Only the More page, and the message line while it says something, may lie over other views.
            for (size_t j = i + 1; j < siblings.size(); ++j) {
                const pugi::xml_node m = siblings[j];
                const auto over = [](const std::string& t) { return t == "Page" || t == "CMyMessageLine"; };
                if (over(type) || over(m.name())) continue;
                const int mx = m.attribute("x").as_int(), my = m.attribute("y").as_int();
                const bool apart = mx >= x + w || x >= mx + m.attribute("width").as_int() || my >= y + h ||
                                   y >= my + m.attribute("height").as_int();
                EXPECT_TRUE(apart) << "overlaps " << m.name() << " " << m.attribute("tag").as_string();
            }
        }
    };
    check(check, document.document_element(), 579, 375);
}

}  // namespace
