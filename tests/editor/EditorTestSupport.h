#pragma once
// What the editor tests share beyond the toolkit's harness (tests/gui) and
// the plug-in's (tests/plugin): a skin of the test's own in the toolkit's
// bitmap folder, and the lists of an open skin editor.

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <typeinfo>
#include <vector>

#include "GuiHarness.h"
#include "editor/ParameterNames.h"
#include "editor/SkinEditor.h"

namespace tonewright::editortest {

// ui.xml and <id>.png in the folder TONEWRIGHT_GUI_BITMAPS names while the
// object lives.
class TestSkin : public guitest::BitmapFolder {
public:
    TestSkin() { GetParamIDFromParamNameStr("", ParamEnumStr); }
    void description(const std::string& xml, const char* name = "ui")
    {
        const std::string path = std::string(std::getenv("TONEWRIGHT_GUI_BITMAPS")) + "/" + name + ".xml";
        std::FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(xml.data(), 1, xml.size(), f);
        std::fclose(f);
    }
    // A solid image.
    void solid(long id, int width, int height, uint32_t colour)
    {
        write(id, width, height, [colour](int, int) { return colour; });
    }
};

// "Class tag" of every listed view in list order, the class being the
// view's own (most derived), without namespace.
inline std::vector<std::string> listed(SkinEditor& editor)
{
    std::vector<std::string> out;
    for (int i = 0; i < editor.numberOfViews(); ++i) {
        CControl* view = editor.getView(i);
        int status = 0;
        char* name = abi::__cxa_demangle(typeid(*view).name(), nullptr, nullptr, &status);
        std::string cls = status == 0 && name ? name : "?";
        std::free(name);
        if (const size_t colon = cls.rfind(':'); colon != std::string::npos) cls = cls.substr(colon + 1);
        out.push_back(cls + " " + std::to_string(editor.getTagForView(i)));
    }
    return out;
}

}  // namespace tonewright::editortest
