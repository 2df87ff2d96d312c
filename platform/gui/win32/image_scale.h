// Pictures made ready for GDI: resampled smoothly to the size they are shown
// at (GDI's own stretching does not filter), as premultiplied pixels for
// AlphaBlend, and as icons and cursors. Private to platform/gui.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "platform/gui/image.h"

namespace mirel::gui::win32 {

// `image` at width x height: a tent filter as wide as one source pixel when
// enlarging (bilinear) and as wide as the shrink when shrinking, so that
// nothing aliases; colours are weighted by their alpha, so transparent
// pixels lend no colour to their neighbours. Empty for an empty image or size.
Image resampled(const Image& image, int width, int height);

// Blue, green, red, alpha, each colour premultiplied by alpha, rows top-down
// without padding: what AlphaBlend takes from a 32-bit DIB.
std::vector<std::uint8_t> premultipliedBgra(const Image& image);
bool isOpaque(const Image& image);

// A 32-bit top-down DIB section holding `pixels` (width x height x 4 bytes);
// null when it cannot be made. The caller deletes it.
HBITMAP createDibSection(int width, int height, const std::uint8_t* pixels);

// An icon (or a cursor with its hot spot) of `image` at its own size, with
// its alpha; null when it cannot be made. The caller destroys it.
HICON createIconFrom(const Image& image, bool cursor, Point hotSpot = {});

}  // namespace mirel::gui::win32
