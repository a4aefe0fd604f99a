#include "editor/SkinResources.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "gui/Bitmap.h"

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

bool readFile(const std::string& path, std::string& text)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::string bytes;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    if (ok) text = std::move(bytes);
    return ok;
}

}  // namespace

bool LoadSkinDescription(const char* name, std::string& text)
{
    if (!name || !*name || std::strchr(name, '/')) return false;
    const char* folder = std::getenv("TONEWRIGHT_GUI_BITMAPS");
    if (folder && *folder && readFile(std::string(folder) + "/" + name + ".xml", text)) return true;
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
