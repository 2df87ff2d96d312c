// Pictures the dialogs draw: 8-bit RGBA pixels in memory, and the decoding of
// the image files among the resources (bitmaps, icons, cursors, PNG).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/gui/dialog_template.h"

namespace mirel::gui {

// Rows top-down without padding; each pixel red, green, blue, alpha with
// straight (not premultiplied) alpha.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;
    // Pixels per client pixel the picture was drawn for: 2 for the 200 %
    // picture of an icon that also holds one at 100 %.
    double density = 1.0;

    bool empty() const {
        return width <= 0 || height <= 0 || rgba.size() < std::size_t(width) * height * 4;
    }
};

// A 24-bit bitmap laid out as the system's device-independent bitmaps are:
// rows top-down, each pixel blue, green, red, each row padded to rowBytes.
// Borrows its bytes.
struct Bgr24View {
    int width = 0;
    int height = 0;
    std::int64_t rowBytes = 0;
    const std::uint8_t* bits = nullptr;
};

// Decodes a BMP, ICO, CUR or PNG file. For an icon or cursor with several
// pictures the largest is taken, with the density that makes it as large as
// the smallest; `hotSpot`, when given, gets a cursor's hot spot in client
// pixels (0, 0 for anything else). False, with `out` empty, when the bytes
// are no picture these formats hold.
bool decodeImage(std::span<const std::uint8_t> bytes, Image& out, Point* hotSpot = nullptr);

}  // namespace mirel::gui
