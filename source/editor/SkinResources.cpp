#include "editor/SkinResources.h"

#include <cstdlib>
#include <cstring>

#include "gui/Bitmap.h"
#include "plugin/XmlReader.h"
#include "system/AtomicFile.h"

namespace tonewright {

namespace {

class BundledLocator : public CResourceLocator {
public:
    bool findPNG(long id, const unsigned char** data, size_t* size) override
    {
        for (const SkinResource& r : BundledSkinBitmaps())
            if (r.id == id) {
                *data = r.begin;
                *size = static_cast<size_t>(r.end - r.begin);
                return true;
            }
        return false;
    }
};

BundledLocator locator;

}  // namespace

bool LoadSkinDescription(const char* name, std::string& text)
{
    if (!name || !*name || std::strchr(name, '/')) return false;
    const char* folder = std::getenv("TONEWRIGHT_GUI_BITMAPS");
    // A description missing from the folder is the bundled one, quietly.
    if (folder && *folder && system::ReadWholeFile(std::string(folder) + "/" + name + ".xml", text, kLargestXmlText))
        return true;
    const SkinResource& bundled = BundledSkinDescription();
    if (std::strcmp(name, "ui") != 0 || !bundled.begin) return false;
    text.assign(reinterpret_cast<const char*>(bundled.begin), static_cast<size_t>(bundled.end - bundled.begin));
    return true;
}

void InstallSkinResourceLocator()
{
    if (!CBitmap::getResourceLocator()) CBitmap::setResourceLocator(&locator);
}

}  // namespace tonewright
