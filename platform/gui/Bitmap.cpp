#include "gui/Bitmap.h"

#include <cairo.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gui/DrawContext.h"
#include "system/AtomicFile.h"

namespace {

CResourceLocator* gLocator = nullptr;

struct PngReader {
    const unsigned char* data;
    size_t size;
    size_t at;
};

// Larger files are not read (a PNG of the largest image is far smaller).
constexpr size_t kLargestPNGFile = size_t(64) << 20;

uint32_t bigEndian(const unsigned char* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// Whether the image the PNG header announces is small enough to decode;
// says why not on standard error. Bytes that are no PNG are left to the
// decoder, which refuses them.
bool withinBounds(long id, const unsigned char* data, size_t size)
{
    static constexpr unsigned char kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (size < 24 || std::memcmp(data, kSignature, 8) != 0 || std::memcmp(data + 12, "IHDR", 4) != 0) return true;
    const uint32_t width = bigEndian(data + 16);
    const uint32_t height = bigEndian(data + 20);
    if (width <= uint32_t(CBitmap::kLargestSide) && height <= uint32_t(CBitmap::kLargestSide) &&
        uint64_t(width) * height <= uint64_t(CBitmap::kLargestPixelCount))
        return true;
    std::fprintf(stderr,
                 "Quarrystone TWR:: Bitmap %ld is %u x %u pixels, more than the largest of %d x %d and %ld pixels; "
                 "it is not shown.\n",
                 id, width, height, CBitmap::kLargestSide, CBitmap::kLargestSide, CBitmap::kLargestPixelCount);
    return false;
}

cairo_status_t readPng(void* closure, unsigned char* out, unsigned int length)
{
    auto* reader = static_cast<PngReader*>(closure);
    if (reader->size - reader->at < length) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(out, reader->data + reader->at, length);
    reader->at += length;
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

CBitmap::CBitmap(long id) : resourceID(id)
{
    if (const char* folder = std::getenv("TONEWRIGHT_GUI_BITMAPS"); folder && *folder) {
        loadPNGFile((std::string(folder) + "/" + std::to_string(id) + ".png").c_str());
        if (surface) return;
    }
    const unsigned char* data = nullptr;
    size_t bytes = 0;
    if (gLocator && gLocator->findPNG(id, &data, &bytes) && data) loadPNG(data, bytes);
}

CBitmap::CBitmap(CCoord w, CCoord h)
{
    const int iw = w > 0 ? static_cast<int>(w) : 0;
    const int ih = h > 0 ? static_cast<int>(h) : 0;
    if (iw > 0 && ih > 0 && iw <= 32767 && ih <= 32767)
        adopt(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, iw, ih));
}

CBitmap::~CBitmap()
{
    if (surface) cairo_surface_destroy(surface);
}

void CBitmap::setResourceLocator(CResourceLocator* locator) { gLocator = locator; }
CResourceLocator* CBitmap::getResourceLocator() { return gLocator; }

bool CBitmap::isTypeOf(const char* type) const
{
    return (type && std::strcmp(type, "CBitmap") == 0) || CBaseObject::isTypeOf(type);
}

void CBitmap::loadPNG(const unsigned char* data, size_t bytes)
{
    if (!withinBounds(resourceID, data, bytes)) return;
    PngReader reader{data, bytes, 0};
    adopt(cairo_image_surface_create_from_png_stream(readPng, &reader));
}

void CBitmap::loadPNGFile(const char* path)
{
    // Read as every file of ours is: a FIFO or a device named here would
    // otherwise stop the editor's thread.
    std::string bytes;
    if (path && tonewright::system::ReadWholeFile(path, bytes, kLargestPNGFile))
        loadPNG(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

void CBitmap::adopt(cairo_surface_t* loaded)
{
    if (!loaded) return;
    if (cairo_surface_status(loaded) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(loaded);
        return;
    }
    if (surface) cairo_surface_destroy(surface);
    surface = loaded;
    width = cairo_image_surface_get_width(loaded);
    height = cairo_image_surface_get_height(loaded);
}

void CBitmap::draw(CDrawContext* context, const CRect& destination, const CPoint& offset)
{
    drawAlphaBlend(context, destination, offset, 255);
}

void CBitmap::drawTransparent(CDrawContext* context, const CRect& destination, const CPoint& offset)
{
    drawAlphaBlend(context, destination, offset, 255);
}

void CBitmap::drawAlphaBlend(CDrawContext* context, const CRect& destination, const CPoint& offset,
                             unsigned char alpha)
{
    if (!surface || !context || !context->getCairo() || destination.isEmpty()) return;
    cairo_t* cr = context->getCairo();
    const CPoint origin = context->getOffset();
    const double x = destination.left + origin.x;
    const double y = destination.top + origin.y;
    cairo_save(cr);
    cairo_rectangle(cr, x, y, destination.width(), destination.height());
    cairo_clip(cr);
    cairo_set_source_surface(cr, surface, x - offset.x, y - offset.y);
    // Whole-pixel copies stay exact; never blur an image by resampling.
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    const double a = alpha / 255.0 * context->getGlobalAlpha();
    if (a >= 1.0)
        cairo_paint(cr);
    else
        cairo_paint_with_alpha(cr, a);
    cairo_restore(cr);
}
