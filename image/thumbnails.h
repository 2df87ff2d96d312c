// The settings thumbnail: a 128 x 128 Rgba8 picture of what the settings do, made from
// the centred square of the rendered preview, with a grey ramp as its default content.
#pragma once

#include <cstdint>
#include <memory>

#include "image/preview.h"
#include "image/tiled_image.h"

namespace mirel::image {

constexpr std::int32_t kThumbnailImageSide = 128;

// A new thumbnail image with the default content and its pyramid; null when out of memory.
std::unique_ptr<TiledImage> createThumbnailImage();

// Level 0 becomes the default ramp: row r is grey 255 - r, opaque. The pyramid is not
// rebuilt. Nothing happens to an image without tiles.
void resetThumbnail(TiledImage& thumbnail);

// One preview pixel as normalised floats, (x, y) clamped into the buffer. One or two
// planes read as grey; alpha is 1. An empty buffer reads as opaque black.
Rgba readPreviewPixel(const PreviewBuffer& preview, std::int32_t x, std::int32_t y);

// Replaces the thumbnail by the centred square of the preview, resampled to 128 x 128.
// Stops without a change when the thumbnail has no tiles or the host cannot deliver
// pixels (no advanceState); after the reset, a preview with nothing to show leaves the
// default content.
void makeThumbnailFromPreview(TiledImage& thumbnail, const PreviewBuffer& preview,
                              bool hostHasAdvanceState);

}  // namespace mirel::image
