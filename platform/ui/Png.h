// PNG files of 32-bit surfaces, for rendering windows without a display and
// for tests. Pixels are written as stored; alpha is kept only when asked,
// since GDI's own drawing leaves alpha at 0.
#pragma once

#include <string>

#include "platform/ui/Gdi.h"

namespace win {

// Writes the area (whole surface when null, clipped to it) of a bitmap; false
// on an empty area, an invalid bitmap or a write error.
bool SavePng(const std::string& path, HBITMAP bitmap, const RECT* area = nullptr, bool withAlpha = false);
bool SavePng(const std::string& path, HDC hdc, const RECT* area = nullptr, bool withAlpha = false);
// A top-down 32-bit DIB section with the image (alpha 255 where the file has none), or null.
HBITMAP LoadPng(const std::string& path);

}  // namespace win
