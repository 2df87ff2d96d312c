// The cell grid of a render job: one CellRecord per pixel corner of the tile plus
// a one-cell border, the corner pass, and the per-pixel evaluation that turns the
// corners into smoothed, shaded pixels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "render/surface.h"

namespace mirel::render {

// What a corner outside the grid compares as, so that a missing neighbour
// always makes the pixel an edge pixel.
constexpr std::int32_t kKindOutsideGrid = -10003;
constexpr std::int32_t kRegionOutsideGrid = -10002;

}  // namespace mirel::render
