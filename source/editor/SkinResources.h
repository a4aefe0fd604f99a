#pragma once
// The skin compiled into the plug-in: the description "ui" and the bitmaps
// by integer id (resources/skin, bundled by cmake/Bundle.cmake). When the
// view toolkit's folder variable TONEWRIGHT_GUI_BITMAPS names a folder, a
// description "<folder>/<name>.xml" there is read instead, as the toolkit
// reads "<folder>/<id>.png" before the bundled bitmaps.

#include <cstddef>
#include <span>
#include <string>

namespace tonewright {

struct SkinResource {
    long id;
    const unsigned char* begin;
    const unsigned char* end;
};

// The generated table.
std::span<const SkinResource> BundledSkinBitmaps();
const SkinResource& BundledSkinDescription();

// The text of the skin description `name`; false when there is none.
bool LoadSkinDescription(const char* name, std::string& text);

// Makes the bundled bitmaps the ones the toolkit finds by id, unless a
// locator is installed already. Idempotent; call on the user-interface
// thread before bitmaps are made.
void InstallSkinResourceLocator();

}  // namespace tonewright
