#pragma once
// Images of the skin: PNG files decoded by cairo, found by integer resource
// id. Where the bytes of an id come from is the plug-in's business: it
// installs a CResourceLocator (the skin's images are compiled into the
// shared object). When the environment variable TONEWRIGHT_GUI_BITMAPS names
// a folder, "<folder>/<id>.png" is tried first, so tests and artists can
// point the editor at loose files.
//
// A bitmap whose id has no image is empty (0 x 0) and draws nothing; so is
// one whose image is larger than the bounds below (refused from its PNG
// header, before anything is decoded, with a line on standard error).
// Bitmaps are reference counted (CBaseObject); every view that shows one
// holds a reference. User-interface thread only.

#include <cstddef>
#include <cstdint>

#include "gui/BaseObject.h"
#include "gui/Geometry.h"

class CDrawContext;
struct _cairo_surface;

class CResourceLocator {
public:
    virtual ~CResourceLocator() = default;
    // The PNG bytes of resource `id`; false when there is none. The bytes
    // stay owned by the locator and must outlive the call.
    virtual bool findPNG(long id, const unsigned char** data, size_t* size) = 0;
};

class CBitmap : public CBaseObject {
public:
    // The largest image decoded (the skin's largest is 280 x 6324): at most
    // this wide and this high, and at most this many pixels (64 MB).
    static constexpr int kLargestSide = 16384;
    static constexpr long kLargestPixelCount = 16L << 20;

    // The image of resource `id` (see above); empty when there is none.
    explicit CBitmap(long resourceID);
    // A transparent image of the given size, to draw into with a context
    // made on it (CDrawContext(CBitmap*)).
    CBitmap(CCoord width, CCoord height);
    ~CBitmap() override;

    // The locator every later bitmap asks; none by default. Not owned.
    static void setResourceLocator(CResourceLocator* locator);
    static CResourceLocator* getResourceLocator();

    bool isTypeOf(const char* type) const override;

    bool isLoaded() const { return surface != nullptr; }
    long getResourceID() const { return resourceID; }
    CCoord getWidth() const { return width; }
    CCoord getHeight() const { return height; }

    // Copies the part of the image that starts at `offset` into `destination`
    // (the part's size is the destination's); pixels outside the image are
    // left alone. Alpha in the image composites over what is there.
    virtual void draw(CDrawContext* context, const CRect& destination, const CPoint& offset = CPoint(0, 0));
    // As draw; images carry their own alpha, so this is the same.
    virtual void drawTransparent(CDrawContext* context, const CRect& destination,
                                 const CPoint& offset = CPoint(0, 0));
    // As draw, with the image's alpha scaled by alpha / 255.
    virtual void drawAlphaBlend(CDrawContext* context, const CRect& destination, const CPoint& offset = CPoint(0, 0),
                                unsigned char alpha = 128);

    // The cairo image surface (ARGB32), or none when empty.
    _cairo_surface* getSurface() const { return surface; }

private:
    void loadPNG(const unsigned char* data, size_t size);
    void loadPNGFile(const char* path);
    void adopt(_cairo_surface* loaded);

    long resourceID = -1;
    CCoord width = 0;
    CCoord height = 0;
    _cairo_surface* surface = nullptr;
};
