// The bounds of a selection mask: the rectangle a paint program hands the filter as
// the part of the picture it works on.
#pragma once

#include <optional>

#include "apps/host/picture_store.h"
#include "platform/pi/rects.h"

namespace mirel::hostkit {

// The smallest rectangle holding every pixel the mask selects at all (above 0);
// nullopt when it selects nothing.
std::optional<IntRect> selectionBounds(const PictureStore& mask);

}  // namespace mirel::hostkit
