// Pictures for the sampling tests: uniform and patterned images in every format,
// with their pyramid built on a chosen number of threads.
#pragma once

#include <memory>

#include "image/tiled_image.h"

namespace mirel::image::testing {

constexpr SampleFormat kAllFormats[] = {SampleFormat::Rgba8, SampleFormat::Rgba16,
                                        SampleFormat::RgbaFloat};

// Every pixel the same normalised value; pyramid built.
std::unique_ptr<TiledImage> uniformImage(int width, int height, SampleFormat format,
                                         const Rgba& value);

// A deterministic busy pattern (hashed noise plus gradients, alpha included);
// pyramid built on `threads` threads (0: processor count).
std::unique_ptr<TiledImage> patternImage(int width, int height, SampleFormat format,
                                         int threads = 0);

// A stored pixel in the image's native scale (0..255, 0..32768, as stored).
Rgba nativePixel(const TiledImage& image, int x, int y, int level);

// The filtered read worked out pixel by pixel from clamped reads and the weight
// tables, independent of the tile fast path.
Rgba referenceFilteredRead(const TiledImage& image, int level, float x, float y);

}  // namespace mirel::image::testing
