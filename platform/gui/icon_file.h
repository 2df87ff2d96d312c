// Icon and cursor files (ICO, CUR): a directory of pictures, each with its size
// and, for a cursor, its hot spot. What every backend's picture decoder reads
// before it hands the pictures to its system's decoder.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/gui/dialog_template.h"

namespace mirel::gui {

enum class IconFileType { None = 0, Icon = 1, Cursor = 2 };

// The file's type from its directory; None when the bytes are neither or the
// directory runs past them.
IconFileType iconFileType(std::span<const std::uint8_t> bytes);

// A copy of a cursor file marked as an icon file: decoders know the layout,
// which cursors share, but accept only the icon type.
std::vector<std::uint8_t> cursorAsIcon(std::span<const std::uint8_t> bytes);

// The hot spot of picture `index` of a cursor file (which iconFileType took),
// in client pixels of that picture decoded `decodedWidth` wide at `density`.
Point cursorHotSpot(std::span<const std::uint8_t> bytes, int index, int decodedWidth,
                    double density);

}  // namespace mirel::gui
