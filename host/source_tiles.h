// Loading the host's source picture into level 0 of the source TiledImage,
// one 512-column tile at a time.
#pragma once

#include <cstdint>

#include "platform/pi/pi.h"

namespace mirel {

namespace image {
struct TiledImage;
}

// The image format a host picture is kept in: Rgba16 for the 16-bit modes,
// RgbaFloat for the 32-bit ones, Rgba8 otherwise.
std::int32_t sourceFormatCodeFor(const pi::FilterRecord& record);

// Fills level 0 of `image` from the host, tile by tile in tile order, with
// the host's request state saved before and put back after. On a host error
// the fill stops at once, the error is returned, the request is not put back
// and contentState stays as it was; otherwise contentState becomes 1. The
// pyramid is not built here.
std::int16_t fillFromHost(image::TiledImage& image, pi::FilterRecord& record);

}  // namespace mirel
